// Mapping-table file: keyword table, section search, count lines, column
// headings and fixed-column ID rows.
#include "input/mapping_table.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "input/time_series.h"

namespace {

// Keywords in matching order (first match wins). GROUNDWATER_BOUNDARY comes
// before GROUNDWATER so that the shorter keyword does not hide the longer one.
// The Havercamp keyword is spelled with "IIO" in the files this system reads.
const mapping_keyword kKeywords[] = {
    {"ROUGHNESS", kSecRoughness},
    {"INTERCEPTION", kSecInterception},
    {"RETENTION", kSecRetention},
    {"GREEN_AMPT_INFILTRATION", kSecGreenAmpt},
    {"GREEN_AMPT_INITIAL_SOIL_MOISTURE", kSecSoilMoisture},
    {"RICHARDS_EQN_INFILTRAIION_HAVERCAMP", kSecRichardsHavercamp},
    {"RICHARDS_EQN_INFILTRATION_BROOKS", kSecRichardsBrooks},
    {"EVAPOTRANSPIRATION", kSecEvapotranspiration},
    {"SEDIMENTS", kSecSediments},
    {"SOIL_EROSION_PROPS", kSecErosion},
    {"MATERIAL_INDEX", kSecMaterialIndex},
    {"NUM_IDS", kLineNumIds},
    {"NUM_CONTAM", kLineNumContam},
    {"NUM_SED", kLineNumSed},
    {"MULTI_LAYER_SOIL", kSecMultiLayer},
    {"RATINGCURVES", kSecRatingCurves},
    {"INDEX_MAP", kLineIndexMap},
    {"CONTAMINANT_TRANSPORT", kSecContaminants},
    {"WETLAND_PROPERTIES", kSecWetlands},
    {"OVERLAND_BOUNDARY", kSecOverlandBoundary},
    {"GROUNDWATER_BOUNDARY", kSecGroundwaterBoundary},
    {"TIME_SERIES_INDEX", kSecTimeSeriesIndex},
    {"WELL_TABLE", kSecWells},
    {"GROUNDWATER", kSecGroundwater},
    {"AREA_REDUCTION", kSecAreaReduction},
    {"NSM_N", kSecNsmN},
    {"NSM_P", kSecNsmP},
    {"NSM_C", kSecNsmC},
    {"NSM_OTH", kSecNsmOther},
    {"DISPERSION", kSecDispersion},
    {"PRECIP_CONC", kLinePrecipConc},
    {"PARTITION", kLinePartition},
    {"NSM_SOIL_C", kSecNsmSoilC},
    {"NSM_SOIL_N", kSecNsmSoilN},
    {"NSM_SOIL_P", kSecNsmSoilP},
    {"NSM_GW_N", kSecNsmGwN},
    {"NSM_GW_P", kSecNsmGwP},
    {"NSM_GW_OTH", kSecNsmGwOther},
    {"NSM_SOIL_KM", kSecNsmSoilKm},
    {"NSM_SOIL_KOC", kSecNsmSoilKoc},
};
constexpr int kKeywordCount = static_cast<int>(sizeof(kKeywords) / sizeof(kKeywords[0]));

// Values per ID row by section code 1..32 (slot 0 unused; 0 = own layout or none).
const int kValuesPerId[kLastSectionCode + 1] = {
    0,
    1,  // 1 ROUGHNESS: Manning n
    2,  // 2 INTERCEPTION: storage and coefficient
    1,  // 3 RETENTION
    7,  // 4 GREEN_AMPT_INFILTRATION
    1,  // 5 GREEN_AMPT_INITIAL_SOIL_MOISTURE
    0,  // 6 Richards Havercamp: own layout
    0,  // 7 Richards Brooks: own layout
    4,  // 8 EVAPOTRANSPIRATION
    0,  // 9 SEDIMENTS: own layout
    5,  // 10 SOIL_EROSION_PROPS (+1 per sediment class)
    8,  // 11 CONTAMINANT_TRANSPORT
    7,  // 12 WETLAND_PROPERTIES
    0,  // 13 MATERIAL_INDEX
    2,  // 14 OVERLAND_BOUNDARY
    1,  // 15 TIME_SERIES_INDEX (a series name)
    3,  // 16 WELL_TABLE
    2,  // 17 GROUNDWATER
    1,  // 18 GROUNDWATER_BOUNDARY
    1,  // 19 AREA_REDUCTION
    4,  // 20 NSM_N
    3,  // 21 NSM_P
    2,  // 22 NSM_C
    3,  // 23 NSM_OTH
    1,  // 24 DISPERSION
    2,  // 25 NSM_SOIL_C
    5,  // 26 NSM_SOIL_N
    6,  // 27 NSM_SOIL_P
    4,  // 28 NSM_GW_N
    4,  // 29 NSM_GW_P
    2,  // 30 NSM_GW_OTH
    6,  // 31 NSM_SOIL_KM
    6,  // 32 NSM_SOIL_KOC
};

// Separators of words in keyword lines and ID rows: blank, tab, newline.
inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Start of the second blank-separated word, or null when there is none.
const char* second_word_start(const char* line) {
    const char* p = line;
    while (*p != '\0' && is_blank(*p)) ++p;
    while (*p != '\0' && !is_blank(*p)) ++p;
    while (*p != '\0' && is_blank(*p)) ++p;
    return *p == '\0' ? nullptr : p;
}

}  // namespace

int count_after_keyword(const char* line) {
    if (line == nullptr) return 0;
    const char* p = line;
    while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
    while (*p != '\0' && !std::isspace(static_cast<unsigned char>(*p))) ++p;
    while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* stop = p;
    while (*stop != '\0' && !std::isspace(static_cast<unsigned char>(*stop))) ++stop;
    // The whole word must be the count: "3x" or "2.5" is no count.
    int v = 0;
    const std::string word(p, stop);
    if (parse_int_token(word.c_str(), v) != number_status::ok) return 0;
    return v;
}

const number_field* section_value_fields(int code) {
    // Ranges of the values of the sections whose values have plain physical
    // bounds; the other sections are checked by the process that uses them.
    static const number_field kInterception[] = {{"interception storage", at_least(0)},
                                                 {"interception coefficient", at_least(0)}};
    static const number_field kRetention[] = {{"retention depth", at_least(0)}};
    static const number_field kMoisture[] = {{"initial soil moisture", closed_range(0, 1)}};
    switch (code) {
        case kSecInterception: return kInterception;
        case kSecRetention: return kRetention;
        case kSecSoilMoisture: return kMoisture;
        default: return nullptr;
    }
}

namespace {

// Reads the next line and gives its count when it is a line of `code`.
int read_count_line(file_object& f, int code) {
    text_line line;
    if (!read_line(line, f)) return 0;
    if (mapping_keyword_code(line) != code) return 0;
    return count_after_keyword(line);
}

// Reads lines from the current position (line 2 on) up to the keyword line of
// `code`; true when the line where the reading stopped is that line.
bool scan_to_section(file_object& f, int code) {
    text_line line;
    if (!f.is_open()) return false;
    if (!read_line(line, f) || !is_mapping_header(line)) return false;
    while (read_line(line, f)) {
        if (mapping_keyword_code(line) == code) return true;
    }
    return false;
}

// True when the file has no character left.
bool at_end(file_object& f) {
    if (f.handle == nullptr) return true;
    int c = std::fgetc(f.handle);
    if (c == EOF) return true;
    std::ungetc(c, f.handle);
    return false;
}

}  // namespace

const mapping_keyword* mapping_keywords(int* count) {
    if (count != nullptr) *count = kKeywordCount;
    return kKeywords;
}

int mapping_keyword_code(const char* line) {
    if (line == nullptr) return 0;
    // The first letter first: most lines of a table are rows of numbers.
    for (const mapping_keyword& k : kKeywords) {
        if (line[0] == k.keyword[0] && std::strncmp(line, k.keyword, std::strlen(k.keyword)) == 0)
            return k.code;
    }
    return 0;
}

void mapping_keyword_name(int code, char* text, int size) {
    if (text == nullptr || size <= 0) return;
    for (const mapping_keyword& k : kKeywords) {
        if (k.code != code) continue;
        if (code == kSecMultiLayer || code == kSecRatingCurves) return;
        std::snprintf(text, static_cast<size_t>(size), "%s", k.keyword);
        return;
    }
}

int values_per_id(int code) {
    if (code < 1 || code > kLastSectionCode) return 0;
    return kValuesPerId[code];
}

bool is_mapping_header(const char* line) {
    return line != nullptr &&
           std::strncmp(line, "PLUVO_INDEX_MAP_TABLES", kMappingHeaderLength) == 0;
}

bool parse_index_map_line(const char* line, index_map_entry& entry) {
    entry = index_map_entry();
    const char* start = second_word_start(line);
    if (start == nullptr) return false;
    std::vector<char> copy(start, start + std::strlen(start) + 1);
    char token[kTokenSize];
    if (!next_word(copy.data(), token)) return false;
    entry.file = token;
    entry.name = copy.data();   // what next_word left: the rest after the separators
    return true;
}

const index_map_entry* find_index_map_entry(const std::vector<index_map_entry>& list,
                                            const std::string& name) {
    if (name.empty()) return nullptr;
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (it->name == name) return &*it;
    }
    return nullptr;
}

std::string section_map_name(const char* line) {
    const char* start = line ? second_word_start(line) : nullptr;
    return start ? std::string(start) : std::string();
}

int read_index_map_list(file_object& f, text_line& line, std::vector<index_map_entry>& list) {
    list.clear();
    bool have = read_line(line, f) != 0;
    while (have && mapping_keyword_code(line) == kLineIndexMap) {
        index_map_entry entry;
        if (parse_index_map_line(line, entry)) list.push_back(entry);
        have = read_line(line, f) != 0;
    }
    return have ? 1 : 0;
}

int find_mapping_section(file_object& f, int code, std::string& map_file) {
    map_file.clear();
    if (!f.is_open()) return 0;
    text_line line;
    if (!read_line(line, f) || !is_mapping_header(line)) return 0;

    std::vector<index_map_entry> list;
    bool have = read_index_map_list(f, line, list) != 0;
    // The section's keyword line, from the line that ended the list on.
    while (have && mapping_keyword_code(line) != code) have = read_line(line, f) != 0;

    if (code == kSecTimeSeriesIndex || code == kSecContaminants) return 1;
    if (!have) return 0;
    const index_map_entry* entry = find_index_map_entry(list, section_map_name(line));
    if (entry == nullptr) return 0;
    map_file = entry->file;
    return 1;
}

int find_sediments_section(file_object& f) { return scan_to_section(f, kSecSediments) ? 1 : 0; }

int find_ratingcurves_section(file_object& f) {
    return scan_to_section(f, kSecRatingCurves) ? 1 : 0;
}

int read_num_ids(file_object& f) { return read_count_line(f, kLineNumIds); }
int read_num_sed(file_object& f) { return read_count_line(f, kLineNumSed); }
int read_num_contam(file_object& f) { return read_count_line(f, kLineNumContam); }

void skip_table_heading(file_object& f) {
    text_line line;
    while (read_line(line, f)) {
        if (mapping_keyword_code(line) == 0) return;
    }
}

bool table_row_id(const char* line, int& id) {
    char id_text[kRowIdWidth + 1] = {};
    for (int i = 0; i < kRowIdWidth && line[i] != '\0'; ++i) id_text[i] = line[i];
    char* cursor = id_text;
    char word[kTokenSize];
    if (!next_word_at(cursor, word)) return false;
    char rest[kTokenSize];
    if (next_word_at(cursor, rest)) return false;   // "1 2": two words, no ID
    return parse_int_token(word, id) == number_status::ok;
}

int read_table_row(file_object& f, int& id, int k, double* values) {
    text_line line;
    if (!read_line(line, f)) return 0;
    if (!table_row_id(line, id)) return 0;

    // The values: the i-th word counted from character 87.
    if (k <= 0) return 1;
    if (std::strlen(line) <= static_cast<size_t>(kRowValueStart)) return 0;
    const char* p = line + kRowValueStart;
    for (int i = 0; i < k; ++i) {
        while (*p != '\0' && is_blank(*p)) ++p;
        if (*p == '\0') return 0;
        const char* stop = p;
        while (*stop != '\0' && !is_blank(*stop)) ++stop;
        // The whole word is the number: "0,05" or "0.05x" is a bad row, not 0 or
        // 0.05. A carriage return left at the end of the line still ends the word.
        double value = 0.0;
        const number_status s = parse_real_span(p, stop, value);
        if (s == number_status::not_finite) {
            values[i] = std::nan("");   // refused by the caller naming the value
        } else if (s != number_status::ok) {
            return 0;
        } else {
            values[i] = value;
        }
        p = stop;
    }
    return 1;
}

bool read_precip_conc(file_object& f, int n, double* values) {
    text_line line;
    const long start = std::ftell(f.handle);
    if (!read_line(line, f)) return true;
    if (mapping_keyword_code(line) != kLinePrecipConc) return true;   // it was the column title
    std::vector<char> token(kTokenSize);
    next_word(line, token.data());
    input_place at;
    at.kind = "mapping table";
    at.path = f.name;
    at.line = file_line_number(f, start);
    at.card = "PRECIP_CONC";
    for (int i = 1; i <= n; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "concentration %d in rain", i);
        double v = 0.0;
        if (!read_real(line, {name, at_least(0)}, at, v)) {
            report_error(error_record);
            return false;
        }
        if (values != nullptr) values[i] = v;
    }
    read_line(line, f);   // the column-title line, dropped
    return true;
}

void split_quoted_field(char* line, char* field, int field_size) {
    if (field == nullptr || field_size < 2) return;
    field[0] = '\0';
    if (line == nullptr) return;
    char* q1 = std::strchr(line, '"');
    if (q1 == nullptr) {
        line[0] = '\0';
        std::snprintf(field, static_cast<size_t>(field_size), "\"");
        return;
    }
    char* q2 = std::strchr(q1 + 1, '"');
    size_t length = q2 ? static_cast<size_t>(q2 - q1) : std::strlen(q1);
    if (length > static_cast<size_t>(field_size - 2)) length = static_cast<size_t>(field_size - 2);
    std::memcpy(field, q1, length);
    field[length] = '"';
    field[length + 1] = '\0';
    char* q3 = q2 ? std::strchr(q2 + 1, '"') : nullptr;
    if (q3 == nullptr) {
        line[0] = '\0';
    } else {
        std::memmove(line, q3, std::strlen(q3) + 1);
    }
}

void remove_quotes(char* text) {
    if (text == nullptr) return;
    char* out = text;
    for (const char* in = text; *in != '\0'; ++in) {
        if (*in != '"') *out++ = *in;
    }
    *out = '\0';
}

int read_id_table(file_object& f, int n, int k, const char* section, id_table& table,
                  const number_field* fields) {
    table = id_table();
    table.columns = k;
    std::vector<double> row(static_cast<size_t>(k > 0 ? k : 1), 0.0);
    for (int r = 0; r < n; ++r) {
        if (at_end(f)) {
            report_table_failure("Error: mapping table %s: the %s table ends after %d of its %d ID "
                                 "rows.\n", f.name, section, r, n);
            return 0;
        }
        long start = std::ftell(f.handle);
        int id = 0;
        std::fill(row.begin(), row.end(), 0.0);
        if (!read_table_row(f, id, k, row.data())) {
            report_table_failure("Error: mapping table %s, line %d: a row of the %s table must "
                                 "hold its ID in characters 1 to 6 and %d values from character "
                                 "87 on.\n", f.name, file_line_number(f, start), section, k);
            return 0;
        }
        if (id < 1 || id > kMaxTableId) {
            report_table_failure("Error: mapping table %s, line %d: ID %d of the %s table is "
                                 "outside 1 to %d.\n", f.name, file_line_number(f, start), id,
                                 section, kMaxTableId);
            return 0;
        }
        for (int c = 0; c < k; ++c) {
            const double v = row[static_cast<size_t>(c)];
            if (!std::isfinite(v)) {
                report_table_failure("Error: mapping table %s, line %d: value %d of ID %d of the "
                                     "%s table is not a number.\n", f.name,
                                     file_line_number(f, start), c + 1, id, section);
                return 0;
            }
            if (fields != nullptr && !in_range(v, fields[c].range)) {
                char rule[160];
                describe_range(fields[c].range, rule, sizeof rule);
                report_table_failure("Error: mapping table %s, line %d: value %d of ID %d of the "
                                     "%s table, the %s %g, is outside its range: it must be "
                                     "%s.\n", f.name, file_line_number(f, start), c + 1, id,
                                     section, fields[c].name, v, rule);
                return 0;
            }
        }
        table.ids.push_back(id);
        table.lines.push_back(file_line_number(f, start));
        for (int c = 0; c < k; ++c) table.values.push_back(row[static_cast<size_t>(c)]);
        if (id > table.largest_id) table.largest_id = id;
    }
    return 1;
}

bool scatter_by_id(const id_table& table, int column, int count, std::vector<double>& by_id) {
    by_id.assign(static_cast<size_t>(count > 0 ? count : 0), 0.0);
    if (column < 1 || column > table.columns) return false;
    for (int r = 0; r < table.rows(); ++r) {
        int id = table.ids[static_cast<size_t>(r)];
        if (id < 1 || id > count) {
            std::fill(by_id.begin(), by_id.end(), 0.0);
            return false;
        }
        by_id[static_cast<size_t>(id - 1)] = table.at(r, column);
    }
    return true;
}

void print_check_line(const char* label, int present) {
    std::string text = "  ";
    text += label;
    for (size_t i = std::strlen(label); i < 35; ++i) text += '.';
    text += present ? "Y\n" : "N\n";
    print_message("%s", text.c_str());
}

void report_table_failure(const char* format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    write_report_text(current_summary_file, text);
    set_error(kErrorPrinted);
    report_error(error_record);
}
