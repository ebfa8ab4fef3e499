// Records of the channel network that are more than one number: the
// hydraulic structure elements of structure links, the element range of each
// link, and the channel pumps of PUMPTO cards.
#pragma once

struct time_series;
struct elevation_series;

// Link type bits of `ltype`.
constexpr int kLtSubsurface = 0x01;   // exchanges water with the aquifer
constexpr int kLtErodible = 0x02;     // bed sediment tracked
constexpr int kLtTrapezoid = 0x04;    // trapezoid channel link
constexpr int kLtBreakpoint = 0x08;   // break-point channel link
constexpr int kLtThirdKind = 0x10;    // third channel-link kind (never set by the reader)
constexpr int kLtLake = 0x20;         // lake link
constexpr int kLtStructure = 0x40;    // hydraulic structure link
constexpr int kLtOvertaken = 0x80;    // channel link currently overtaken by a lake
constexpr int kLtChannel = kLtTrapezoid | kLtBreakpoint | kLtThirdKind;

// True for a link that routing moves water through: a channel link that no
// lake has overtaken (lake and structure links are not routed).
inline bool routed_link(int type) {
    return (type & kLtChannel) != 0 && (type & (kLtLake | kLtStructure | kLtOvertaken)) == 0;
}

// Kinds of a link by its type bits: a lake link, a structure link, and a
// channel link that a lake has overtaken.
inline bool is_lake(int type) { return (type & kLtLake) != 0; }
inline bool is_structure(int type) { return (type & kLtStructure) != 0; }
inline bool is_overtaken(int type) {
    return (type & kLtChannel) != 0 && (type & kLtOvertaken) != 0;
}

// Structure element types (STRUCTTYPE words, in this order).
constexpr int kStructWeir = 1, kStructSagWeir = 2, kStructRoundCulvert = 3,
              kStructOvalCulvert = 4, kStructRectCulvert = 5, kStructRatingCurve = 6,
              kStructScheduledRelease = 7, kStructRuleCurve = 8;

// One element of a structure link (elements 1..num_struct_elements over the file).
struct hydraulic_structure {
    int first_word = 0;            // not set by the reader, 0
    int structtype = 0;            // 1..8 (kStruct*)
    double length = 0.0;           // culvert barrel length or weir crest length, m
    double upinvert = 0.0;         // upstream invert, or sag weir crest low point elevation, m
    double downinvert = 0.0;       // downstream invert, m
    double slope = 0.0;            // barrel slope, m/m
    double spare_a = 0.0;          // not set by the reader
    double fwd_coeff = 0.0;        // forward (inlet) discharge coefficient, -
    double rev_coeff = 0.0;        // reverse-flow discharge coefficient, -
    double spare_b = 0.0;          // not set by the reader
    double width = 0.0;            // width, diameter, A value or steep slope (by type), m or -
    double height = 0.0;           // height, B value or shallow slope (by type), m or -
    double crest_low_loc = 0.0;    // station of a sag weir's crest low point, m
    double roughness = 0.0;        // culvert barrel Manning roughness, s/m^(1/3)
    elevation_series* elev_series = nullptr;  // rating curve or rule curve (not owned)
    time_series* release_series = nullptr;    // scheduled release (not owned)
};

// The structure elements of one link: first..last (first 10000 and last 0 when none).
struct link_structure {
    int numstructs = 0;            // NUMSTRUCTS of the link
    int first = 10000;             // first element number
    int last = 0;                  // last element number
};

// One channel pump of a PUMPTO card (kept for the run; no step moves water with it).
struct chan_pump {
    int value_a = 0;               // first integer of the card
    int value_b = 0;               // second integer (1 when the card's link has type exactly 4)
    int is_time_series = 0;        // 1 "TS" pump, 0 "ELEV" pump
    time_series* ts = nullptr;     // series of a TS pump (not owned)
    elevation_series* es = nullptr;  // series of an ELEV pump (not owned)
};
