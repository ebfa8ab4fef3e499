// Error record, message catalogue and error reporter.
//
// The catalogue below is the one place where the texts of the numeric codes
// stand. A text is a template: literal characters plus the markers {what},
// {file}, {n1} and {n2}, which stand for error_record.what,
// error_record.file_name, error_record.number1 and error_record.number2.
// The texts are the program's own console messages, kept byte for byte,
// including their spelling and their trailing blanks.
#include "core/error.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/file_object.h"

error_info error_record;
file_object* current_summary_file = nullptr;

namespace {

// Ordered by code; each code appears once.
const message_entry kMessages[] = {
    {3, false,
         "Error: The specified project file was not found.\n"},
    {4, false,
         "Error: Unable to open {what} file.\n"
         "  (File: {file})\n"},
    {5, false,
         "Error: PLUVO not compiled with VELT, but VELT file format specified\n"},
    {6, false,
         "Error: You have specified both spatially-varied and uniform Manning roughness\n"
         "using both the ROUGHNESS and MANNING_N project file cards.  Only one of\n"
         "these may be specified.  Select only one option.\n"},
    {7, false,
         "Error: You have specified both the Penman Montieth and Deardorff\n"
         "evapo-transpiration calculation methods.  Only one may be \n"
         "specified for long-term simulations.  Select only one method.\n"},
    {8, false,
         "Error: You have specified two of either the Surface Airways, SAMSON, or KEV\n"
         "hydromet. file input type.  Only one file type may be specified for GINT-\n"
         "term simulations.  Select only one method.  Check your project file.\n"},
    {9, false,
         "Error: You have specified neither the Penman Montieth or Deardorff\n"
         "evapo-transpiration calculation methods.  One method must be \n"
         "specified for long-term simulations.  Select only one method.\n"},
    {10, false,
         "Error: You have specified both a rain gage file, and uniform rainfall\n"
         "options.  These options are mutually exclusive.  Please select\n"
         "only one option.\n"},
    {11, false,
         "Error: You have an error in your input due to one of the following:\n"
         "\n"
         " - You have not specified a precipitation card in your project file.\n"
         "   One of either PRECIP_UNIF or PRECIP_FILE must be specified.\n"
         "   The PRECIP_FILE card must be followed by the name of the precipitation\n"
         "   input data file.  If PRECIP_UNIF is specified, then the RAIN_DURATION\n"
         "   and RAIN_INTENSITY cards must also be given, followed by the proper values\n"
         " - You have specified spatially-uniform rainfall with either a zero\n"
         "   rate or duration.  Please check that your rain rate in mm/h or\n"
         "   rain duration in minutes are both non-zero.\n"},
    {20, false,
         "Error: For long-term simulations, you must specify the redistribution form\n"
         "of the Green and Ampt infiltration equation.  Redistribution requires\n"
         "values of pore distribution index and residual saturation in addition\n"
         "to the 4 standard Green and Ampt parameters (hydraulic conductivity,\n"
         "capillary head, porosity, and initial soil moisture content).\n"
         "\n"
         "Change the infiltration option to Green & Ampt with redistribution\n"
         "and specify the 6 required parameters.\n"},
    {21, false,
         "Error: Albedo values not specified for long term simulation. Check project file.\n"},
    {22, false,
         "Error: Vegetation height values not specified for Penman-Montieth long term simulation.\n"
         " Check project file.\n"},
    {23, false,
         "Error: Transmission coeff. values not specified for Penman-Montieth long term simulation.\n"
         " Check project file.\n"},
    {24, false,
         "Error: stomatal resistance values not specified for Penman-Montieth long term simulation.\n"
         " Check project file.\n"},
    {25, false,
         "Error: Wilting point values not specified for Penman-Montieth long term simulation.\n"
         " Check project file.\n"},
    {26, false,
         "Error: You have specified both Green and Ampt and multi-layered\n"
         "soil infiltration.  Please select only one in the \n"
         "project file.\n"},
    {27, false,
         "Error: You have specified both redistribution and multi-layered\n"
         "soil infiltration.  Please select only one in the \n"
         "project file. \n"},
    {28, false,
         "Error: You have specified both Layered Soil and Richards\n"
         "soil infiltration.  Please select only one in the \n"
         "project file. \n"},
    {29, false,
         "Error: You have specified both Green and Ampt and Richards\n"
         "soil infiltration.  Please select only one in the \n"
         "project file. \n"},
    {30, false,
         "Error: You have specified both redistribution and Richards\n"
         "soil infiltration.  Please select only one in the \n"
         "project file. \n"},
    {32, false,
         "Error: Groundwater cell vertical grid size not specified in project file.\n"
         "If you are simulating the influence of the water table on Richards\n"
         "equation, you must put the AQUIFER_DELTA_Z card in the project file.\n"},
    {33, false,
         "Error: You have chosen both Green and Ampt and Redististribution\n"
         "Choose one or the other and try again\n"},
    {34, false,
         "Error: Both the drain and backwater channel initialization methods have been\n"
         "selected.  Only one method may be specified. \n"},
    {35, false,
         "Error: Preissmann implicit channel routing is not supported by PLUVO.\n"
         "Select explicit channel routing method. \n"},
    {37, false,
         "Error: Both the explicit and mesh channel routing methods have been\n"
         "selected.  Only one method may be specified.  Program terminated\n"},
    {38, false,
         "You have specified both spatially-varied and uniform porosity for\n"
         "groundwater soil using both the gw_unif_porosity and gw_porosity_map\n"
         "project file cards. Only one of these may be specified.\n"
         "Select only one option.\n"},
    {39, true,
         "Warning: You have specified neither spatially-varied, uniform, or mapping table porosity for\n"
         "groundwater soil without using both the gw_unif_porosity and\n"
         "gw_porosity_map project file cards. Groundwater porosities will be the.\n"
         "same as those in the last layer of your soil input table.\n"},
    {40, false,
         "You have specified both spatially-varied and uniform hydraulic\n"
         "conductivity for groundwater soil using both the gw_unif_hycond and\n"
         "gw_hycond_map project file cards. Only one of these may be specified.\n"
         "Select only one option.\n"},
    {41, true,
         "Warning: You have specified neither spatially-varied, uniform, or mapping table hydraulic \n"
         "conductivity for groundwater soil without using both the gw_unif_hycond\n"
         "and gw_hycond_map project file cards. Groundwater hydraulic conductivies \n"
         "will be taken from the soil input table.\n"},
    {42, false,
         "Error: You have specified both groundwater routing and Sacramento soil moisture\n"
         "accounting.  These two methods are mutually-exclusive.  Use one or the other.\n"},
    {43, false,
         "Error: You have specified that PLUVO is being run within QRM, but you did\n"
         "not specify the model(s) that are being co-run.  The present options are:\n"
         "VEGO.  If you want to run with VEGO for instance, you must place the VEGO\n"
         "project file card in the project file. \n"},
    {44, false,
         "Error: PLUVO is running within QRM in event mode.  The QRM_EVENT_NUM card\n"
         "was placed in the PLUVO project file without an argument.  The\n"
         "QRM_EVENT_NUM card must be followed by a GINT int argument that specifies\n"
         "the event number to be simulated.  If 'QRM_EVENT_NUM 0' is specified,\n"
         "then PLUVO writes out all available precip. events into the file named\n"
         "QRM_PRECIP.SUM, and terminates.  If the QRM_EVENT_NUM argument is greater than\n"
         "0, then that particular event is simulated.  Check the project file. \n"},
    {45, false,
         "Error: Groundwater simulations in PLUVO within the QRM environment\n"
         "are not yet supported. \n"},
    {46, false,
         "Error: You have specified that PLUVO is being run with VEGO, but you did\n"
         "not specify that PLUVO is being run within the QRM environment.\n"
         "PLUVO only runs with VEGO in the QRM environment.  You must place the\n"
         "QRM project file card in the project file, and pay close attention to\n"
         "start-up conditions. (e.g. QRM_EVENT_NUM card). \n"},
    {48, false,
         "Error: Can't open theta location output file: {file}\n"
         "You specify the name of the output file which will contain the soil moisture\n"
         "ordinates at the points specified in the file {what}\n"
         "This is done by using the OUT_THETA_LOCATION card in the project file.\n"},
    {49, false,
         "Error: Can't open concentration location output file: {what}\n"
         "You specify the name of the output file which will contain the concentration\n"
         "ordinates at the points specified in the file {file}\n"
         "This is done by using the OUT_CON_LOCATION card in the project file.\n"},
    {50, false,
         "Error: Can't open depth location output file: {what}\n"
         "You specify the name of the output file which will contain the depth\n"
         "ordinates at the points specified in the file {file}\n"
         "This is done by using the OUT_DEP_LOCATION card in the project file.\n"},
    {51, false,
         "Error: Can't open hydrograph location output file: {what}\n"
         "You specify the name of the output file which will contain the hydrograph\n"
         "ordinates at the points specified in the file {file}\n"
         "This is done by using the OUT_HYD_LOCATION card in the project file.\n"},
    {52, false,
         "Error: Time step is 0 seconds.\n"},
    {55, true,
         "Warning: Write hydrograph time step not specified, defaulting to 1 hour.\n"},
    {56, false,
         "Error: Outlet slope not specified.\n"},
    {57, false,
         "Error: Latitude and longitude of basin centroid required for long-term simulations.\n"
         "Specify these in the project file using keywords 'latitude' and 'longitude'\n"},
    {58, false,
         "Error: GMT time offset required for long-term simulations.\n"
         "Specify the offset in the project file using keyword 'GMT'\n"},
    {59, false,
         "Error: Can't open output file: {file}\n"},
    {64, false,
         "Unable to open Mapping Table file: {file}\n"},
    {65, false,
         "Unable to open index file {file}\n"},
    {66, false,
         "Problem reading mapping table file -- no entries found in table {what} (NUM_IDS is 0)\n"},
    {67, false,
         "There is a problem with the wetlands index map.  It contains\n"
         "{n1} ID's, while the mapping table file contains {n2} ID's.\n"
         "The index map and mapping table file must have the same number\n"
         "of ID's. \n"},
    {68, false,
         "The number of wetland ids specified in the master table file \n"
         "is over 300!  This is highly unusual.  I'm bombing... in a   \n"
         "dazed and confused state.  So many wetlands!\n"},
    {69, false,
         "Error reading the contaminant transport tables in the mapping table file.\n"},
    {71, false,
         "Index ID exceeds table limit, file: {file} [row {n1}:col {n2}]\n"},
    {72, false,
         "Incorrect number of rows and columns in map: {file}\n"},
    {73, false,
         "Incorrect number of rows in map: {file}\n"},
    {74, false,
         "Incorrect number of columns in map: {file}\n"},
    {76, false,
         "Error: unable to open the aquatic environment file {file}.\n"},
    {77, false,
         "Error: The header for the aquatic environment file is invalid or does not match \n"
         " the current version. \n"
         " The aquatic environment file specified is: {file}\n"
         " The header should be : {what}\n"},
    {78, false,
         "Error: An index [{n1}] in the aquatic environment table is greater than the\n"
         "number of IDs specified [{n2}]\n"
         " (File: {file})\n"},
    {79, false,
         "Error: The NUTRIENTS card in the project file must be specified before the {what} card\n"},
    {80, false,
         "Error: Unable to open the nutrient file {file}\n"},
    {81, false,
         "Error: Unable to open the overland Aquatic Environment map.\n"},
    {83, false,
         "Error: Unable to open the overland pump file\n"},
    {84, false,
         "Error: The OV_BOUNDARY card has been specified in the project file but the \n"
         "       OVERLAND_BOUNDARY table was not found...\n"},
    {85, false,
         "Error: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE \"elev series name\"\n"
         "The elevation series is missing\n"},
    {86, false,
         "Error: The elevation series for a RATING_CURVE card is not found. Make sure that the elevation series\n"
         " file is in the project file before the channel input file and that the elevation series is defined."},
    {87, false,
         "Error: Incorrect usage of the SCHEDULED_RELEASE card. It should be STRUCTTYPE SCHEDULED_RELEASE \"time series name\"\n"
         "The time series is missing\n"},
    {88, false,
         "Error: The time series for a SCHEDULED_RELEASE card is not found. Make sure that the time series\n"
         " file is in the project file before the channel input file and that the time series is defined."},
    {89, false,
         "Error: Incorrect usage of the RULE_CURVE card. It should be STRUCTTYPE RULE_CURVE \"elev series name\"\n"
         "The elevation series is missing\n"},
    {90, false,
         "Error: The elevation series for a RULE_CURVE card is not found. Make sure that the elevation series\n"
         " file is in the project file before the channel input file and that the elevation series is defined."},
    {91, false,
         "Error: The number of sediments specified in the SEDIMENTS table is {n1} while the number of sediments \n"
         "specified in the SED_EROS_PROPS table is {n2}. The values must match.\n"},
    {92, false,
         "Error: Sediment transport specified but sediments table missing in the .cmt file.\n"},
    {93, false,
         "Error: Unable to read the soil erosion properties table from mapping table file\n"},
    {95, true,
         "Warning: There are no segments in the K4 segment map.\n"},
    {96, true,
         "Warning: The PLUVO to K4 internal segment flux option is turned on\n"
         "But there are no segments in the K4 segment map or in the link-node to segment file.\n"},
    {97, false,
         "Error: In the K4 internal stream flux to segment file, some link/node pairs \n"
         "refer to a segment of 0 or a segment that is not in the segment map file.\n"},
    {98, false,
         "Error: Unable to open the K4 internal flux output file [{file}].\n"},
    {99, false,
         "Too many super-junctions (>1000!) in superlink.  Your network is too large.\n"},
    {100, false,
         "Too many nodes (>1000!) in one link in superlink.  Your network is too large.\n"},
    {101, false,
         "Too many superlinks (>1000!) in superlink.  Your network is too large.\n"},
    {102, false,
         "Error in creating radar mapping to grid.\n"},
    {103, false,
         "Error: unable to read value for CALIB_COMP_DATA. Please provide one of DAILY, EVENT. \n"},
    {104, false,
         "Error: unable to read value for CALIB_OBJ_FUNC. Please provide one of RMSE, HMLE. \n"},
    {115, false,
         "Unable to open stream map file {file}\n"},
    {116, false,
         "Stream map file does not use correct header (file: {file})\n"},
    {117, false,
         "NLINKS or MAXNODES card in stream map file does not match channel input file (file: {file})\n"},
    {118, false,
         "Error reading data from stream map file. Check to make sure that the correct number of \n"
         "data points exist for each link. (file: {file})\n"},
    {119, false,
         "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Grid): {what}\n"},
    {120, false,
         "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Stream): {what}\n"},
    {122, false,
         "no convergence in culvert critical depth routine\n"},
    {123, false,
         "arch culverts not yet supported in subroutine crit_calc() \n"},
    {125, false,
         "Error: The number of contaminants is not a positive value.\n"},
    {126, false,
         "Error: the mapping table for the groundwater table is not set up correctly. Check index map file names.\n"},
    {127, false,
         "Error: Stream head boundary time series ({what}) can not be found. Check project file.\n"},
    {131, false,
         "Error: Pipe invert must be above the bottom of the aquifer\n"},
    {132, false,
         "You are trying to simulate Richards' Equation soil dynamics but without using a valid soil type index map.\n"
         "Index map filename = {file}\n"},
    {133, false,
         "Error: NaN error in groundwater tile exchange\n"},
    {134, false,
         "PLUVO crashed during an update of Superlink, Check your Superlink/Supernode network/numbering {file}\n"},
    {135, false,
         "Error: observed data file improperly formatted.\n"},
    {136, false,
         "You are trying to simulate MLGA soil dynamics but without using a valid soil type index map.\n"
         "Index map filename = {file}\n"},
    {280, false,
         "Error: Time step is {what} seconds; it must be more than 0.001 seconds (card TIMESTEP, or "
         "ST_TIME_STEP when that is shorter).\n"},
    {281, false,
         "Error: Outlet slope {what} is below 1e-9 m/m (card OUTSLOPE).\n"},
    {350, false,
         "Error: {what}: the folder {file} for its output does not exist, nor does the folder\n"
         "above it (pluvo makes one missing folder level only).\n"},
    {351, false,
         "Error: {what}: {file} is not a folder, so the output cannot be written in it.\n"},
    {352, false,
         "Error: {what}: the folder {file} for its output cannot be written.\n"},
    {353, false,
         "Error: {what}: the folder {file} for its output cannot be made.\n"},
    {354, false,
         "Error: map {file} is an ESRI ASCII grid (its header begins with \"{what}\").\n"
         "pluvo reads a header of six lines, each a word and a value, in this order:\n"
         "north:, south:, east:, west: (the edges, m), rows:, cols: (the counts);\n"
         "the README section \"From a GIS grid to a run\" converts an ESRI grid.\n"},
    {356, true,
         "Warning: {n2} cells of the watershed mask {file} hold the value {n1}; every value\n"
         "other than 0 marks a watershed cell (no-data cells outside the watershed must hold 0).\n"},
    {357, true,
         "Warning: {n2} further cells of the watershed mask {file} hold {n1} more values\n"
         "other than 0 and 1.\n"},
};

constexpr int kMessageCount = static_cast<int>(sizeof(kMessages) / sizeof(kMessages[0]));

// Length of a text field that is normally NUL-terminated; never reads past
// the field even when a caller filled it to the last byte.
size_t field_length(const char* field, size_t width) {
    size_t n = 0;
    while (n < width && field[n] != '\0') ++n;
    return n;
}

// Appends the message of `entry` with the fields of `rec` to `out`.
void append_message(const message_entry& entry, const error_info& rec, std::string& out) {
    const char* p = entry.text;
    while (*p) {
        if (*p == '{') {
            if (std::strncmp(p, "{what}", 6) == 0) {
                out.append(rec.what, field_length(rec.what, sizeof(rec.what)));
                p += 6;
                continue;
            }
            if (std::strncmp(p, "{file}", 6) == 0) {
                out.append(rec.file_name, field_length(rec.file_name, sizeof(rec.file_name)));
                p += 6;
                continue;
            }
            if (std::strncmp(p, "{n1}", 4) == 0) {
                out += std::to_string(rec.number1);
                p += 4;
                continue;
            }
            if (std::strncmp(p, "{n2}", 4) == 0) {
                out += std::to_string(rec.number2);
                p += 4;
                continue;
            }
        }
        out += *p++;
    }
}

// Copies `text` into the field `field` of `width` bytes, cut to width-1
// characters and always NUL-terminated.
void copy_field(char* field, size_t width, const char* text) {
    const size_t n = field_length(text, width - 1);
    std::memcpy(field, text, n);
    field[n] = '\0';
}

bool is_warning_code(int code) {
    const message_entry* entry = find_message(code);
    return entry != nullptr && entry->warning;
}

}  // namespace

const message_entry* message_catalogue(int* count) {
    if (count) *count = kMessageCount;
    return kMessages;
}

const message_entry* find_message(int code) {
    int lo = 0;
    int hi = kMessageCount - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        if (kMessages[mid].code == code) return &kMessages[mid];
        if (kMessages[mid].code < code) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return nullptr;
}

void compose_message(int code, const error_info& rec, char* out, int out_size) {
    if (out == nullptr || out_size <= 0) return;
    out[0] = '\0';
    const message_entry* entry = find_message(code);
    if (entry == nullptr) return;
    std::string text;
    append_message(*entry, rec, text);
    const size_t n = text.size() < static_cast<size_t>(out_size - 1) ? text.size()
                                                                      : static_cast<size_t>(out_size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

int write_report_text(file_object* summary, const char* text) {
    if (text == nullptr) return 0;
    const size_t n = std::strlen(text);
    // fwrite, not printf: inserted file names may hold '%' or '\'.
    const size_t written = std::fwrite(text, 1, n, stdout);
    std::fflush(stdout);
    if (summary != nullptr && summary->handle != nullptr) {
        std::fwrite(text, 1, n, summary->handle);
        std::fflush(summary->handle);
    }
    return static_cast<int>(written);
}

void report_error(error_info& rec) {
    if (rec.code > 0) {
        write_report_text(current_summary_file, "\n");
        rec.stop = 1;
    }
    const message_entry* entry = find_message(rec.code);
    if (entry != nullptr) {
        std::string text;
        append_message(*entry, rec, text);
        write_report_text(current_summary_file, text.c_str());
    }
    if (is_warning_code(rec.code)) rec.stop = 0;
    rec.code = 0;
}

void set_error(int code, const char* what, const char* file_name) {
    error_record.code = code;
    if (what != nullptr) copy_field(error_record.what, sizeof(error_record.what), what);
    if (file_name != nullptr) {
        copy_field(error_record.file_name, sizeof(error_record.file_name), file_name);
    }
}

void set_error_numbers(int code, int number1, int number2) {
    error_record.code = code;
    error_record.number1 = number1;
    error_record.number2 = number2;
}
