// The records of the hydrometeorological file as the counting call of the
// reader parsed and checked them, and the values remembered to replace
// missing ones. Kept in the run state (hydromet_state::hmet_records).
#pragma once
#include <string>
#include <vector>

// Elements of one record, the index of every per-element array below.
enum hmet_element {
    kHmetPressure,   // barometric pressure, mb
    kHmetHumidity,   // relative humidity, %
    kHmetCloud,      // cloud cover, tenths of sky 0-10
    kHmetWind,       // wind speed, m/s
    kHmetTemp,       // air temperature, degrees C
    kHmetDirect,     // direct radiation, units of the file
    kHmetGlobal,     // global radiation, units of the file
    kHmetElements
};

// One hourly record, values converted to the units above.
struct hmet_raw_record {
    int year = 0, month = 0, day = 0, hour = 0;   // date, hour 0-23
    double value[kHmetElements] = {};             // converted values (units of hmet_element)
    unsigned char missing[kHmetElements] = {};    // 1 where the file marks the value missing
    int line = 0;                                 // line of the hmet file holding the record
};

struct hmet_file_records {
    // KEV, SAMSON, Surface Airways: every record, in file order.
    std::vector<hmet_raw_record> records;
    // Gridded format: the word naming each record's maps, its date and its line.
    std::vector<std::string> grid_words;
    std::vector<hmet_raw_record> grid_dates;      // only the date and line are used
    int served = 0;                               // records handed out by data calls

    // Memory for missing values: last valid value of each element, and per
    // hour of day where the format remembers by hour.
    double last[kHmetElements] = {};
    double by_hour[kHmetElements][24] = {};
    unsigned char hour_known[kHmetElements][24] = {};
    unsigned char per_hour[kHmetElements] = {};   // 1: a missing value takes the same hour's
    // Gridded format: per cell (GNUM+1, used from 1) the last valid value of each element.
    std::vector<double> cell_last[kHmetElements];
    std::vector<unsigned char> cell_known[kHmetElements];

    int orog_line = 0;                            // lines read from the orographic gage file
    char file_name[1024] = {};                    // hmet file as opened, for messages
};
