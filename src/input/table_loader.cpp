// Generic mapping-table loader, index maps, time-series index and the
// start-up check of the mapping table.
#include "input/table_loader.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "run/run_state.h"
#include "core/text.h"
#include "input/map_reader.h"
#include "input/mapping_table.h"
#include "input/time_series.h"

namespace {

// The lines of the start-up check, in print order; flag k belongs to entry k - 1.
const mapping_check kChecks[] = {
    {kSecRoughness, "Roughness"},
    {kSecInterception, "Interception"},
    {kSecRetention, "Retention"},
    {kSecGreenAmpt, "G&A Infiltration"},
    {kSecSoilMoisture, "G&A Soil Moisture"},
    {kSecMultiLayer, "Multi layer G&A Infiltration"},
    {kSecRichardsHavercamp, "Richards Havercamp"},
    {kSecRichardsBrooks, "Richards Brooks"},
    {kSecEvapotranspiration, "Evapotranspiration"},
    {kSecSediments, "Sediments"},
    {kSecErosion, "Sediment Erosion Properties"},
    {kSecContaminants, "Contaminants"},
    {kSecWetlands, "Wetlands"},
    {kSecOverlandBoundary, "Overland Boundary"},
    {kSecWells, "Groundwater Wells"},
    {kSecGroundwater, "Groundwater"},
    {kSecGroundwaterBoundary, "Groundwater Boundary"},
    {kSecAreaReduction, "Area Reduction"},
    {kSecNsmN, "NSM Nitrogen"},
    {kSecNsmP, "NSM Phosphorus"},
    {kSecNsmOther, "NSM Other"},
    {kSecNsmC, "NSM Carbon"},
    {kSecDispersion, "NSM Dispersion"},
    {kSecNsmSoilC, "NSM Soil Carbon"},
    {kSecNsmSoilN, "NSM Soil Nitrogen"},
    {kSecNsmSoilP, "NSM Soil Phosphorus"},
    {kSecNsmGwN, "NSM Groundwater Nitrogen"},
    {kSecNsmGwP, "NSM Groundwater Phosphorus"},
    {kSecNsmGwOther, "NSM Groundwater Other"},
    {kSecNsmSoilKm, "NSM Soil Km"},
    {kSecNsmSoilKoc, "NSM Soil Koc"},
};
constexpr int kCheckCount = static_cast<int>(sizeof(kChecks) / sizeof(kChecks[0]));
static_assert(kCheckCount == kMappingSectionFlags - 1, "one check line per section flag");

// Keyword text of a section for messages.
std::string keyword_of(int code) {
    char text[64] = "?";
    mapping_keyword_name(code, text, sizeof text);
    return text;
}

}  // namespace

const mapping_check* mapping_checks(int* count) {
    if (count != nullptr) *count = kCheckCount;
    return kChecks;
}

bool open_mapping_table(file_object& f, const char* table_path) {
    if (open_file_named(f, table_path, "r")) return true;
    set_error(64, nullptr, table_path);
    report_error(error_record);
    return false;
}

void report_missing_section(int code) {
    set_error(66, keyword_of(code).c_str());
    report_error(error_record);
}

int read_index_map(run_state& rs, file_object& map, const char* map_path, int largest_id,
                   zero_ids zero_rule, std::vector<int>& cell_ids) {
    if (!map.is_open()) return 0;
    if (rs.mask == nullptr || rs.rows < 1 || rs.cols < 1 || rs.GNUM < 1) {
        report_table_failure("Error: index map %s cannot be read before the watershed mask.\n",
                             map_path);
        return 0;
    }
    if (largest_id < 0) largest_id = 0;

    // The size must agree with the grid before any value is read.
    map_header h;
    int line = 0;   // the line the next value stands on
    if (!read_map_header(map, map_path, h, line)) {
        report_error(error_record);
        return 0;
    }
    rs.map_north = h.north;
    rs.map_south = h.south;
    rs.map_east = h.east;
    rs.map_west = h.west;
    rs.map_rows = h.rows;
    rs.map_cols = h.cols;
    const int rows = h.rows;
    const int cols = h.cols;
    if (rows != rs.rows || cols != rs.cols) {
        int code = (rows != rs.rows && cols != rs.cols) ? 72 : (rows != rs.rows ? 73 : 74);
        set_error(code, nullptr, map_path);
        report_error(error_record);
        return 0;
    }
    if (!map_body_can_hold(map, map_path, h)) {
        report_error(error_record);
        return 0;
    }

    cell_ids.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
    std::vector<int> count(static_cast<size_t>(largest_id) + 1, 0);
    char token[32];
    int last_line = line;   // the line of the last value read
    ++line;
    const stream_lock lock(map.handle);   // next_stream_int reads the stream unlocked
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            int id = 0;
            const number_status got =
                next_stream_int(map.handle, id, token, static_cast<int>(sizeof token), line);
            if (got == number_status::missing) {
                report_table_failure("Error: index map %s, line %d: the file ends at this line, "
                                     "before row %d, column %d.\n", map_path, last_line, r, c);
                return 0;
            }
            last_line = line;
            if (got != number_status::ok) {
                report_table_failure("Error: index map %s, line %d, row %d, column %d: \"%s\" is "
                                     "not an integer ID.\n", map_path, line, r, c, token);
                return 0;
            }
            int cell = rs.mask[r][c];
            if (cell == 0) continue;   // outside the watershed: read and dropped
            if (cell < 0 || cell > rs.GNUM) {
                report_table_failure("Error: index map %s: the watershed mask holds no valid cell "
                                     "number at row %d, column %d.\n", map_path, r, c);
                return 0;
            }
            if (id > largest_id) {
                set_error(71, nullptr, map_path);
                set_error_numbers(71, r, c);
                report_error(error_record);
                return 0;
            }
            if (id < 0) {
                report_table_failure("Error: index map %s, line %d, row %d, column %d (cell %d): "
                                     "the ID %d is negative.\n", map_path, line, r, c, cell, id);
                return 0;
            }
            if (id == 0 && zero_rule == zero_ids::refuse) {
                report_table_failure("Error: index map %s, line %d, row %d, column %d (cell %d): "
                                     "ID 0 inside the watershed; the cell would get no value from "
                                     "the mapping table.\n", map_path, line, r, c, cell);
                return 0;
            }
            cell_ids[static_cast<size_t>(cell)] = id;
            ++count[static_cast<size_t>(id)];
        }
    }
    for (int id = 1; id <= largest_id; ++id) {
        if (count[static_cast<size_t>(id)] <= 0) continue;
        char text[1400];
        std::snprintf(text, sizeof text, "In map %s category %d has %d values\n", map_path, id,
                      count[static_cast<size_t>(id)]);
        print_message("%s", text);
        file_printf(rs.summary_file, "%s", text);
    }
    return 1;
}

int read_section_index_map(run_state& rs, const std::string& map_file, int largest_id,
                           zero_ids zero_rule, std::vector<int>& cell_ids) {
    file_object map;
    if (!open_file_named(map, map_file.c_str(), "r")) {
        set_error(65, nullptr, map_file.c_str());
        report_error(error_record);
        return 0;
    }
    int result = read_index_map(rs, map, map_file.c_str(), largest_id, zero_rule, cell_ids);
    close_file_object(map);
    return result;
}

void fill_cells_by_id(std::vector<double>& cells, const std::vector<double>& by_id,
                      const std::vector<int>& cell_ids, int cell_count) {
    if (cells.size() < static_cast<size_t>(cell_count) + 1) {
        cells.resize(static_cast<size_t>(cell_count) + 1, 0.0);
    }
    int last = static_cast<int>(cell_ids.size()) - 1;
    if (last > cell_count) last = cell_count;
    for (int i = 1; i <= last; ++i) {
        int id = cell_ids[static_cast<size_t>(i)];
        if (id < 1 || static_cast<size_t>(id) > by_id.size()) continue;
        cells[static_cast<size_t>(i)] = by_id[static_cast<size_t>(id - 1)];
    }
}

void fill_cells_from_columns(std::vector<double>* const* outputs, int count, const id_table& table,
                             const std::vector<int>& cell_ids, int cell_count) {
    std::vector<double> by_id;
    for (int i = 1; i <= count; ++i) {
        std::vector<double>* out = outputs[static_cast<size_t>(i - 1)];
        if (out == nullptr) continue;
        scatter_by_id(table, i, table.largest_id, by_id);
        fill_cells_by_id(*out, by_id, cell_ids, cell_count);
    }
}

int load_mapping_table(run_state& rs, const char* table_path, int code,
                       const mapping_outputs& outputs, int precip_count,
                       std::vector<double>* precip_conc) {
    const int k = values_per_id(code);
    if (k < 1 || k > static_cast<int>(outputs.size()) || code == kSecTimeSeriesIndex ||
        code == kSecContaminants) {
        report_table_failure("Error: the %s section of the mapping table cannot be loaded into "
                             "per-cell arrays.\n", keyword_of(code).c_str());
        return 0;
    }
    ensure_time_series_index(rs, table_path);

    file_object f;
    if (!open_mapping_table(f, table_path)) return 0;
    std::string map_file;
    int n = find_mapping_section(f, code, map_file) ? read_num_ids(f) : 0;
    if (precip_count > 0 && precip_conc != nullptr) {
        if (precip_conc->size() < static_cast<size_t>(precip_count) + 1) {
            precip_conc->resize(static_cast<size_t>(precip_count) + 1, 0.0);
        }
        if (!read_precip_conc(f, precip_count, precip_conc->data())) {
            close_file_object(f);
            return 0;
        }
    } else {
        skip_table_heading(f);
    }
    if (n <= 0) {
        close_file_object(f);
        report_missing_section(code);
        return 0;
    }

    id_table table;
    int good = read_id_table(f, n, k, keyword_of(code).c_str(), table, section_value_fields(code));
    close_file_object(f);
    if (!good) return 0;

    std::vector<int> cell_ids;
    if (!read_section_index_map(rs, map_file, table.largest_id, zero_ids::refuse, cell_ids)) {
        return 0;
    }
    fill_cells_from_columns(outputs.data(), k, table, cell_ids, rs.GNUM);
    return 1;
}

int load_time_series_index(run_state& rs, const char* table_path) {
    rs.ts_index_built = 1;
    file_object f;
    if (!open_mapping_table(f, table_path)) return 0;
    std::string unused;
    find_mapping_section(f, kSecTimeSeriesIndex, unused);
    int n = read_num_ids(f);
    if (n > 0) skip_table_heading(f);

    text_line line;
    std::vector<char> name(kTokenSize);
    for (int i = 0; i < n; ++i) {
        long start = std::ftell(f.handle);
        int have = read_line(line, f);
        int id = 0;
        if (!have || !table_row_id(line, id) || id < 1) {
            report_table_failure("Error: mapping table %s, line %d: a row of the TIME_SERIES_INDEX "
                                 "table must hold an ID above 0 in characters 1 to 6 and a series "
                                 "name.\n", f.name, file_line_number(f, start));
            close_file_object(f);
            return 0;
        }
        name[0] = '\0';
        if (std::strlen(line) > static_cast<size_t>(kRowIdWidth)) {
            next_word(line + kRowIdWidth, name.data());
        }
        print_message("Adding table to list: %s... ", name.data());
        time_series* series = name[0] != '\0' ? find_time_series(name.data()) : nullptr;
        print_message(series ? "Success!\n" : "Failure, table not found.\n");
        add_time_series_index(id, series);
    }
    close_file_object(f);
    return 1;
}

void ensure_time_series_index(run_state& rs, const char* table_path) {
    if (!rs.ts_index_built) load_time_series_index(rs, table_path);
}

void check_mapping_section(int& flag, int code, file_object& table, const char* label) {
    flag = 0;
    if (table.is_open()) {
        std::rewind(table.handle);
        std::string map_file;
        if (code == kSecSediments) {
            flag = (find_sediments_section(table) && read_num_sed(table) > 0) ? 1 : 0;
        } else if (code == kSecContaminants) {
            flag = (find_mapping_section(table, code, map_file) && read_num_contam(table) > 0) ? 1 : 0;
        } else if (find_mapping_section(table, code, map_file)) {
            file_object map;
            flag = open_file_named(map, map_file.c_str(), "r") ? 1 : 0;
            close_file_object(map);
        }
    }
    print_check_line(label, flag);
}

namespace {

// The first keyword line of each code in a mapping table, found in one pass.
struct section_line {
    bool found = false;
    std::string name;   // what follows the keyword (the index map's name)
    long after = -1;    // file position just after the line
};

// Reads the table once from its top as find_mapping_section reads it for
// every section: the header, the index-map list, then the lines from the
// one that ended the list on. False when the header is not the table's.
bool scan_mapping_table(file_object& f, std::vector<index_map_entry>& list,
                        std::vector<section_line>& first) {
    std::rewind(f.handle);
    text_line line;
    if (!read_line(line, f) || !is_mapping_header(line)) return false;
    bool have = read_index_map_list(f, line, list) != 0;
    while (have) {
        const int code = mapping_keyword_code(line);
        if (code > 0 && static_cast<size_t>(code) < first.size() &&
            !first[static_cast<size_t>(code)].found) {
            section_line& s = first[static_cast<size_t>(code)];
            s.found = true;
            s.name = section_map_name(line);
            s.after = std::ftell(f.handle);
        }
        have = read_line(line, f) != 0;
    }
    return true;
}

// The flag check_mapping_section gives `code`, from the one pass.
int section_flag(file_object& f, int code, bool table, const std::vector<index_map_entry>& list,
                 const std::vector<section_line>& first) {
    if (!table) return 0;
    const section_line none;
    const section_line& s =
        static_cast<size_t>(code) < first.size() ? first[static_cast<size_t>(code)] : none;
    if (code == kSecSediments || code == kSecContaminants) {
        // The count line right after the section line (for contaminants
        // without a section, the reader stood at the end of the file).
        if (!s.found) return 0;
        std::fseek(f.handle, s.after, SEEK_SET);
        return (code == kSecSediments ? read_num_sed(f) : read_num_contam(f)) > 0 ? 1 : 0;
    }
    std::string map_file;   // empty for the sections that name no map
    if (code != kSecTimeSeriesIndex) {
        if (!s.found) return 0;
        const index_map_entry* entry = find_index_map_entry(list, s.name);
        if (entry == nullptr) return 0;
        map_file = entry->file;
    }
    file_object map;
    const int flag = open_file_named(map, map_file.c_str(), "r") ? 1 : 0;
    close_file_object(map);
    return flag;
}

}  // namespace

void check_mapping_tables(const char* path, int* flags) {
    // One open and one read of the table for all its sections: each section
    // takes the first keyword line of its code after the index-map list.
    file_object f;
    if (!open_mapping_table(f, path)) return;
    print_message("\nChecking 2D grid mapping tables...\n");
    int codes = 0;
    int top = 0;
    const mapping_keyword* words = mapping_keywords(&codes);
    for (int k = 0; k < codes; ++k) top = std::max(top, words[k].code);
    std::vector<index_map_entry> list;
    std::vector<section_line> first(static_cast<size_t>(top) + 1);
    const bool table = scan_mapping_table(f, list, first);
    for (int i = 0; i < kCheckCount; ++i) {
        const int flag = section_flag(f, kChecks[i].code, table, list, first);
        print_check_line(kChecks[i].label, flag);
        if (flags != nullptr) flags[i + 1] = flag;
    }
    close_file_object(f);
}
