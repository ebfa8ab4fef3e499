#include "channel/chan_keywords.h"

#include <cstring>
#include <strings.h>

#include "core/text.h"

namespace {

struct keyword_entry {
    const char* word;
    int code;
};

// Synonyms follow their first word and share its code.
const keyword_entry kKeywords[] = {
    {"ALPHA", kChanAlpha},
    {"BETA", kChanBeta},
    {"THETA", kChanTheta},
    {"DX", kChanDx},
    {"LINKS", kChanLinks},
    {"MAXNODES", kChanMaxnodes},
    {"CONNECT", kChanConnect},
    {"LINK", kChanLink},
    {"NODES", kChanNodes},
    {"NODE", kChanNode},
    {"TRAPEZOID", kChanTrapezoid},
    {"SUBSURFACE_TRAPEZOID", kChanSubsurfaceTrapezoid},
    {"TRAPEZOID_SUBSURFACE", kChanSubsurfaceTrapezoid},
    {"TRAP_ERODE", kChanTrapErode},
    {"TRAPEZOID_ERODE", kChanTrapErode},
    {"TRAPEZOID_SUBSURFACE_ERODE", kChanTrapSubsurfaceErode},
    {"TRAPEZOID_ERODE_SUBSURFACE", kChanTrapSubsurfaceErode},
    {"SUBSURFACE_TRAP_ERODE", kChanTrapSubsurfaceErode},
    {"BREAKPOINT", kChanBreakpoint},
    {"SUBSURFACE_BREAKPOINT", kChanSubsurfaceBreakpoint},
    {"BREAKPOINT_SUBSURFACE", kChanSubsurfaceBreakpoint},
    {"BREAK_ERODE", kChanBreakErode},
    {"BREAKPOINT_ERODE", kChanBreakErode},
    {"BREAKPOINT_SUBSURFACE_ERODE", kChanBreakSubsurfaceErode},
    {"BREAKPOINT_ERODE_SUBSURFACE", kChanBreakSubsurfaceErode},
    {"LAKE", kChanLake},
    {"STRUCTURE", kChanStructure},
    {"ERODIBLE", kChanErodible},
    {"ERODE", kChanErodible},
    {"SUBSURFACE", kChanSubsurface},
    {"MANNINGS_N", kChanManningsN},
    {"MAX_EROSION", kChanMaxErosion},
    {"GW_BED_CONDUCTIVITY", kChanKRiver},
    {"K_RIVER", kChanKRiver},
    {"GW_BED_THICKNESS", kChanMRiver},
    {"M_RIVER", kChanMRiver},
    {"DISPERSION_COEFF", kChanDispersionCoeff},
    {"DECAY_COEFF", kChanDecayCoeff},
    {"NUM_OUTLETS", kChanNumOutlets},
    {"ELEV", kChanElev},
    {"XSEC", kChanXsec},
    {"BOTTOM_WIDTH", kChanBottomWidth},
    {"BANKFULL_DEPTH", kChanBankfullDepth},
    {"SIDE_SLOPE", kChanSideSlope},
    {"X_Y", kChanXY},
    {"POINTSOURCE", kChanPointsource},
    {"PUMPTO", kChanPumpto},
    {"NPAIRS", kChanNpairs},
    {"NUM_INTERP", kChanNumInterp},
    {"X1", kChanX1},
    {"MINWSE", kChanMinwse},
    {"INITWSE", kChanInitwse},
    {"MAXWSE", kChanMaxwse},
    {"NUMPTS", kChanNumpts},
    {"MLAKE", kChanMlake},
    {"NUMSTRUCTS", kChanNumstructs},
    {"STRUCTTYPE", kChanStructtype},
    {"UPINVERT", kChanUpinvert},
    {"DOWNINVERT", kChanDowninvert},
    {"INLET_DISCH_COEFF", kChanInletDischCoeff},
    {"REV_FLOW_DISCH_COEFF", kChanRevFlowDischCoeff},
    {"SLOPE", kChanSlope},
    {"LENGTH", kChanLength},
    {"WIDTH", kChanWidth},
    {"HEIGHT", kChanHeight},
    {"DIAMETER", kChanDiameter},
    {"ROUGH_COEFF", kChanRoughCoeff},
    {"A_VALUE", kChanAValue},
    {"B_VALUE", kChanBValue},
    {"CREST_LENGTH", kChanCrestLength},
    {"CREST_LOW_ELEV", kChanCrestLowElev},
    {"CREST_LOW_LOC", kChanCrestLowLoc},
    {"DISCHARGE_COEFF_FORWARD", kChanDischargeCoeffForward},
    {"DISCHARGE_COEFF_REVERSE", kChanDischargeCoeffReverse},
    {"STEEP_SLOPE", kChanSteepSlope},
    {"SHALLOW_SLOPE", kChanShallowSlope},
    {"STREAMCELLS", kChanStreamcells},
    {"NUMNODES", kChanNumnodes},
    {"CELLIJ", kChanCellij},
    {"LINKNODE", kChanLinknode},
};

inline bool ends_word(char c) {
    return c == '\0' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

int chan_keyword_code(char* line) {
    if (line == nullptr) return kChanNone;
    size_t p = 0;
    while (line[p] == ' ' || line[p] == '\t' || line[p] == '\n') ++p;
    size_t end = p;
    while (!ends_word(line[end])) ++end;
    const size_t len = end - p;
    if (len == 0) return kChanNone;
    for (const keyword_entry& k : kKeywords) {
        if (std::strlen(k.word) == len && strncasecmp(line + p, k.word, len) == 0) {
            cut_front(line, static_cast<int>(end));
            return k.code;
        }
    }
    return kChanNone;
}

const char* chan_keyword_name(int code) {
    for (const keyword_entry& k : kKeywords) {
        if (k.code == code) return k.word;
    }
    return "";
}
