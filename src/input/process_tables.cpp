// Loaders of the mapping-table sections with a layout of their own.
#include "input/process_tables.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "core/text.h"
#include "input/elevation_series.h"
#include "input/map_reader.h"
#include "input/mapping_table.h"
#include "input/table_loader.h"
#include "input/time_series.h"

namespace {

constexpr int kSedimentRowStart = 40;   // 0-based offset of character 41 of a SEDIMENTS row
constexpr double kMmToM = 1.0 / 1000.0;
constexpr double kPerDayToPerSecond = 1.0 / 86400.0;

// A whole token that is a number; false for anything else.
bool parse_number(const char* token, double& value) {
    return parse_real_token(token, value) == number_status::ok;
}

// Truncates a table value to an int; false when it lies outside the int range.
bool truncate_to_int(double value, int& out) {
    if (!std::isfinite(value) || value >= 2147483648.0 || value <= -2147483649.0) return false;
    out = static_cast<int>(value);
    return true;
}

// Row and column of a cell number, found in the mask (for messages).
void cell_position(const run_state& rs, int cell, int& row, int& col) {
    row = 0;
    col = 0;
    if (rs.mask == nullptr) return;
    for (int r = 1; r <= rs.rows; ++r) {
        for (int c = 1; c <= rs.cols; ++c) {
            if (rs.mask[r][c] == cell) {
                row = r;
                col = c;
                return;
            }
        }
    }
}

// Allocates n + 1 zeroed wetland records.
bool struct_alloc(int n, std::vector<wetland_record>& records) {
    try {
        records.assign(static_cast<size_t>(n) + 1, wetland_record());
    } catch (const std::bad_alloc&) {
        std::printf("Problem allocating memory for array of structures in struct_alloc.\n");
        records.clear();
        return false;
    }
    return true;
}

// Opens the table, finds section `code` and reads its NUM_IDS count, the
// column titles and n rows of k values (after building the time-series index
// of the run when asked). 0 on failure (reported); the table is
// closed in every case.
int read_section_table(run_state& rs, const char* table_path, int code, int k, const char* label,
                       bool build_ts_index, std::string& map_file, id_table& table) {
    if (build_ts_index) ensure_time_series_index(rs, table_path);
    file_object f;
    if (!open_mapping_table(f, table_path)) return 0;
    int n = find_mapping_section(f, code, map_file) ? read_num_ids(f) : 0;
    if (n <= 0) {
        close_file_object(f);
        report_missing_section(code);
        return 0;
    }
    skip_table_heading(f);
    int good = read_id_table(f, n, k, label, table);
    close_file_object(f);
    return good;
}

// Checks the soil IDs of cells 1..GNUM read from a soil index map.
bool check_soil_ids(const run_state& rs, const std::vector<int>& soiltype, const char* map_path) {
    for (int cell = 1; cell <= rs.GNUM; ++cell) {
        int id = soiltype[static_cast<size_t>(cell)];
        if (id >= 1 && id <= kMaxTableId) continue;
        int row = 0;
        int col = 0;
        cell_position(rs, cell, row, col);
        report_table_failure("Error: soil index map %s, row %d, column %d (cell %d): the soil ID %d "
                             "is outside 1 to %d.\n", map_path, row, col, cell, id, kMaxTableId);
        return false;
    }
    return true;
}

// Reads a soil index map (map kind 4) into soiltype and checks its IDs.
// -1 when the map does not open (code `open_code` set, not reported) or cannot be read.
int read_soil_index_map(run_state& rs, const std::string& map_file, int open_code,
                        std::vector<int>& soiltype) {
    file_object map;
    if (map_file.empty() || !open_file_named(map, map_file.c_str(), "r")) {
        set_error(open_code, nullptr, map_file.c_str());
        return -1;
    }
    rs.map_kind = kMapCellIds;
    soiltype.assign(static_cast<size_t>(rs.GNUM > 0 ? rs.GNUM : 0) + 1, 0);
    bool read = rs.mask != nullptr &&
                read_map_file(map, map_file.c_str(), kMapCellIds, rs.map_north, rs.map_south,
                              rs.map_east, rs.map_west, rs.map_rows, rs.map_cols, rs.mask, nullptr,
                              nullptr, &soiltype, rs.rows, rs.cols);
    close_file_object(map);
    if (!read) {
        if (rs.mask == nullptr) {
            report_table_failure("Error: soil index map %s cannot be read before the watershed "
                                 "mask.\n", map_file.c_str());
        }
        return -1;
    }
    return check_soil_ids(rs, soiltype, map_file.c_str()) ? 0 : -1;
}

// Soil section shared by the Richards and multi-layer loaders.
int load_soil_section(run_state& rs, const char* table_path, int code, int open_code,
                      std::vector<int>& soiltype, const soil_table_reader& reader) {
    file_object f;
    std::string map_file;
    if (open_file_named(f, table_path, "r")) find_mapping_section(f, code, map_file);
    if (read_soil_index_map(rs, map_file, open_code, soiltype) < 0) {
        close_file_object(f);
        return -1;
    }
    int result = reader ? reader(f) : -1;
    close_file_object(f);
    return result;
}

// Lines from the position of the open file to its end (a last line without a
// newline counts); the position is kept.
long lines_left(file_object& f) {
    const long here = std::ftell(f.handle);
    long lines = 0;
    int c = 0;
    int last = '\n';
    while ((c = std::fgetc(f.handle)) != EOF) {
        if (c == '\n') ++lines;
        last = c;
    }
    if (last != '\n') ++lines;
    std::fseek(f.handle, here, SEEK_SET);
    return lines;
}

// The soil fractions of the size classes (columns first + 1 .. first + classes
// of every row) must be at least 0 and add up to 1 within kFractionSumTolerance:
// otherwise a message names the table, the line and the ID (code 4000).
constexpr double kFractionSumTolerance = 1e-3;
bool soil_fractions_sound(const id_table& table, const char* table_path, int first, int classes) {
    for (int r = 0; r < table.rows(); ++r) {
        const int line = table.lines[static_cast<size_t>(r)];
        const int id = table.ids[static_cast<size_t>(r)];
        double sum = 0.0;
        for (int c = 1; c <= classes; ++c) {
            const double v = table.at(r, first + c);
            if (v < 0.0) {
                report_table_failure("Error: mapping table %s, line %d: soil fraction %d of ID %d "
                                     "of the SOIL_EROSION_PROPS table is negative.\n",
                                     table_path, line, c, id);
                return false;
            }
            sum += v;
        }
        if (classes > 0 && std::fabs(sum - 1.0) > kFractionSumTolerance) {
            report_table_failure("Error: mapping table %s, line %d: the soil fractions of ID %d of "
                                 "the SOIL_EROSION_PROPS table add up to %g, not 1.\n",
                                 table_path, line, id, sum);
            return false;
        }
    }
    return true;
}

}  // namespace

int load_sediment_table(const char* table_path, int& class_count, std::vector<double>& spec_grav,
                        std::vector<double>& part_diam, std::vector<std::string>& output_filename,
                        std::vector<double>& f_bind) {
    file_object f;
    if (!open_mapping_table(f, table_path)) return 0;
    class_count = 0;
    int n = find_sediments_section(f) ? read_num_sed(f) : 0;
    if (n <= 0) {
        close_file_object(f);
        return 0;
    }
    text_line line;
    read_line(line, f);   // column titles

    std::vector<double> sg(1, 0.0), pd(1, 0.0), fb(1, 0.0);
    std::vector<std::string> names(1);
    std::vector<char> token(kTokenSize);
    for (int i = 1; i <= n; ++i) {
        long start = std::ftell(f.handle);
        if (!read_line(line, f)) {
            report_table_failure("Error: mapping table %s: the SEDIMENTS table ends after %d of its "
                                 "%d classes.\n", f.name, i - 1, n);
            close_file_object(f);
            return 0;
        }
        double v[3] = {0.0, 0.0, 0.0};
        bool good = std::strlen(line) > static_cast<size_t>(kSedimentRowStart);
        char* rest = line + (good ? kSedimentRowStart : 0);
        for (int c = 0; c < 3 && good; ++c) {
            good = next_word(rest, token.data()) && parse_number(token.data(), v[c]);
        }
        good = good && next_word(rest, token.data());
        if (good && (v[0] <= 1.0 || v[1] <= 0.0)) {
            report_table_failure("Error: mapping table %s, line %d: sediment class %d needs a "
                                 "specific gravity above 1 and a particle diameter above 0.\n",
                                 f.name, file_line_number(f, start), i);
            close_file_object(f);
            return 0;
        }
        if (!good) {
            report_table_failure("Error: mapping table %s, line %d: a row of the SEDIMENTS table "
                                 "must hold, from character 41 on, the specific gravity, the "
                                 "particle diameter (mm), the binding fraction and an output file "
                                 "name.\n", f.name, file_line_number(f, start));
            close_file_object(f);
            return 0;
        }
        sg.push_back(v[0]);
        pd.push_back(v[1]);
        fb.push_back(v[2]);
        names.emplace_back(token.data());
    }
    close_file_object(f);
    spec_grav = std::move(sg);
    part_diam = std::move(pd);
    f_bind = std::move(fb);
    output_filename = std::move(names);
    class_count = n;
    return 1;
}

int load_erosion_table(run_state& rs, const char* table_path, int sed_classes,
                       const erosion_outputs& outputs,
                       std::vector<std::vector<double>>& class_fraction) {
    if (sed_classes < 0) sed_classes = 0;
    ensure_time_series_index(rs, table_path);
    file_object f;
    if (!open_mapping_table(f, table_path)) return 0;
    std::string map_file;
    int n = find_mapping_section(f, kSecErosion, map_file) ? read_num_ids(f) : 0;
    int table_classes = read_num_sed(f);
    if (n <= 0) {
        close_file_object(f);
        report_missing_section(kSecErosion);
        return 0;
    }
    if (table_classes != sed_classes) {
        close_file_object(f);
        set_error_numbers(91, sed_classes, table_classes);   // reported by the run driver
        return 0;
    }
    skip_table_heading(f);
    id_table table;
    int good = read_id_table(f, n, values_per_id(kSecErosion) + sed_classes,
                             "SOIL_EROSION_PROPS", table);
    close_file_object(f);
    if (!good || !soil_fractions_sound(table, table_path, values_per_id(kSecErosion), sed_classes))
        return 0;

    std::vector<int> cell_ids;
    if (!read_section_index_map(rs, map_file, table.largest_id, zero_ids::refuse, cell_ids)) {
        return 0;
    }
    fill_cells_from_columns(outputs.data(), values_per_id(kSecErosion), table, cell_ids, rs.GNUM);
    std::vector<double> by_id;
    class_fraction.resize(static_cast<size_t>(sed_classes) + 1);
    for (int c = 1; c <= sed_classes; ++c) {
        scatter_by_id(table, values_per_id(kSecErosion) + c, table.largest_id, by_id);
        fill_cells_by_id(class_fraction[static_cast<size_t>(c)], by_id, cell_ids, rs.GNUM);
    }
    return 1;
}

int load_well_table(run_state& rs, const char* table_path, std::vector<well_record>& wells,
                    std::vector<int>& well_ids) {
    std::string map_file;
    id_table table;
    if (!read_section_table(rs, table_path, kSecWells, values_per_id(kSecWells), "WELL_TABLE",
                            true, map_file, table)) {
        return 0;
    }
    std::vector<well_record> list;
    for (int r = 0; r < table.rows(); ++r) {
        well_record w;
        w.id = table.ids[static_cast<size_t>(r)];
        int second = 0;
        if (!truncate_to_int(table.at(r, 1), w.rate_source) ||
            (w.rate_source != 0 && !truncate_to_int(table.at(r, 2), second))) {
            report_table_failure("Error: mapping table %s: the rate source or time-series ID of "
                                 "well %d of the WELL_TABLE is not a whole number in range.\n",
                                 table_path, w.id);
            return 0;
        }
        if (w.rate_source == 0) {
            w.rate = table.at(r, 2);
        } else {
            w.series_id = second;
        }
        list.insert(list.begin(), w);   // newest first: a later row of the same ID is found first
    }
    std::vector<int> ids;
    if (!read_section_index_map(rs, map_file, table.largest_id, zero_ids::allow, ids)) return 0;
    wells = std::move(list);
    well_ids = std::move(ids);
    return 1;
}

int load_wetland_table(run_state& rs, const char* table_path, int& wetland_count,
                       std::vector<wetland_record>& records, std::vector<int>& wetland_mask) {
    std::string map_file;
    id_table table;
    if (!read_section_table(rs, table_path, kSecWetlands, values_per_id(kSecWetlands),
                            "WETLAND_PROPERTIES", false, map_file, table)) {
        return 0;
    }
    const int n = table.rows();
    std::vector<int> ids;
    if (!read_section_index_map(rs, map_file, table.largest_id, zero_ids::allow, ids)) return 0;

    // Wetland numbers in the order in which the IDs first appear in the map.
    int largest = 0;
    for (int cell = 1; cell <= rs.GNUM; ++cell) {
        if (ids[static_cast<size_t>(cell)] > largest) largest = ids[static_cast<size_t>(cell)];
    }
    std::vector<int> number(static_cast<size_t>(largest) + 1, 0);   // "tmp_data"
    int distinct = 0;
    for (int cell = 1; cell <= rs.GNUM; ++cell) {
        int id = ids[static_cast<size_t>(cell)];
        if (id > 0 && number[static_cast<size_t>(id)] == 0) number[static_cast<size_t>(id)] = ++distinct;
    }
    if (distinct != n) {
        set_error_numbers(67, distinct, n);
        report_error(error_record);
        return 0;
    }
    if (largest > kMaxWetlandId) {
        set_error(68);
        report_error(error_record);
        return 0;
    }
    std::vector<wetland_record> list;
    if (!struct_alloc(largest, list)) return 0;
    for (int r = 0; r < n; ++r) {
        int id = table.ids[static_cast<size_t>(r)];
        if (id > largest || number[static_cast<size_t>(id)] == 0) continue;   // not in the map
        wetland_record& w = list[static_cast<size_t>(number[static_cast<size_t>(id)])];
        w.initial_depth = table.at(r, 1) * kMmToM;
        w.threshold_depth = table.at(r, 2) * kMmToM;
        w.linear_coef = table.at(r, 3) * kPerDayToPerSecond;
        w.transition_depth = table.at(r, 4) * kMmToM;
        w.transition_coef = table.at(r, 5) * kPerDayToPerSecond;
        w.wetland_n = table.at(r, 6);
        w.bed_lowering = table.at(r, 7) * kMmToM;
    }
    wetland_mask.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
    for (int cell = 1; cell <= rs.GNUM; ++cell) {
        int id = ids[static_cast<size_t>(cell)];
        if (id > 0) wetland_mask[static_cast<size_t>(cell)] = number[static_cast<size_t>(id)];
    }
    records = std::move(list);
    wetland_count = n;
    return 1;
}

contaminant_outputs run_contaminant_outputs(run_state& rs) {
    contaminant_outputs out;
    out.cells = {&rs.contam_disp_coef, &rs.contam_decay_coef, &rs.contam_uptake_coef,
                 &rs.contam_land_load, &rs.contam_init_conc,  &rs.contam_soil_conc,
                 &rs.contam_soil_kd,   &rs.contam_gw_conc};
    out.precip_conc = &rs.precip_conc;
    out.partition = &rs.water_soil_partition_coef;
    out.descriptions = &rs.contamdescriptions;
    out.output_names = &rs.contamoutputfilenames;
    out.index_map_files = &rs.indexmapfilenames;
    return out;
}

int load_contaminant_table(run_state& rs, const char* table_path, int& count,
                           const contaminant_outputs& outputs) {
    file_object f;
    if (!open_mapping_table(f, table_path)) return 0;
    text_line line;
    if (!read_line(line, f) || !is_mapping_header(line)) {
        close_file_object(f);
        return 0;
    }
    std::vector<index_map_entry> list;
    bool have = read_index_map_list(f, line, list) != 0;
    while (have && mapping_keyword_code(line) != kSecContaminants) have = read_line(line, f) != 0;
    print_message("\nReading contaminant table...  ");
    if (!have) {
        close_file_object(f);
        set_error(69);
        report_error(error_record);
        return 0;
    }
    const long count_line = std::ftell(f.handle);
    int n = read_num_contam(f);
    count = n > 0 ? n : 0;
    print_message("%d contaminants found\n", count);
    if (n <= 0) {
        close_file_object(f);
        return 0;
    }
    // Every contaminant has lines of its own below the count: a count beyond
    // them is refused before the n x cells destinations are sized.
    const long left = lines_left(f);
    if (n > left) {
        report_table_failure("Error: mapping table %s, line %d: NUM_CONTAM %d is more than the %ld "
                             "lines that follow it.\n",
                             f.name, file_line_number(f, count_line), n, left);
        count = 0;
        close_file_object(f);
        return 0;
    }

    // Destinations sized to n contaminants.
    for (checked_array_2d<double>* c : outputs.cells) {
        if (c == nullptr) continue;
        c->release();
        c->row_length = 0;
        c->add_rows(n, rs.GNUM);
    }
    for (checked_array<double>* a : {outputs.precip_conc, outputs.partition}) {
        if (a == nullptr) continue;
        a->release();
        a->grow(n);
    }
    for (std::vector<std::string>* t :
         {outputs.descriptions, outputs.output_names, outputs.index_map_files}) {
        if (t != nullptr) t->assign(static_cast<size_t>(n) + 1, std::string());
    }

    std::vector<char> field;
    std::vector<char> token(kTokenSize);
    bool failed = false;
    for (int j = 1; j <= n && !failed; ++j) {
        // a. name line: description, index map NAME (quotes kept), output file.
        long start = std::ftell(f.handle);
        if (!read_line(line, f)) {
            report_table_failure("Error: mapping table %s: the CONTAMINANT_TRANSPORT table ends "
                                 "before contaminant %d.\n", f.name, j);
            close_file_object(f);
            return 0;
        }
        field.assign(std::strlen(line) + 2, '\0');   // a field and its closing quote fit
        const int field_size = static_cast<int>(field.size());
        split_quoted_field(line, field.data(), field_size);
        remove_quotes(field.data());
        std::string description(field.data());
        split_quoted_field(line, field.data(), field_size);
        std::string map_name(field.data());
        split_quoted_field(line, field.data(), field_size);
        remove_quotes(field.data());
        std::string output_name(field.data());
        if (description.size() > static_cast<size_t>(kContamNameSize)) description.resize(kContamNameSize);
        if (output_name.size() > static_cast<size_t>(kContamNameSize)) output_name.resize(kContamNameSize);
        if (outputs.descriptions) (*outputs.descriptions)[static_cast<size_t>(j)] = description;
        if (outputs.output_names) (*outputs.output_names)[static_cast<size_t>(j)] = output_name;

        // b. PRECIP_CONC line.
        double value = 0.0;
        start = std::ftell(f.handle);
        if (!read_line(line, f) || mapping_keyword_code(line) != kLinePrecipConc ||
            !next_word(line, token.data()) || !next_word(line, token.data()) ||
            !parse_number(token.data(), value)) {
            std::printf("Error in reading the precip concentration of constituent #%d\n", j);
            failed = true;
            break;
        }
        if (outputs.precip_conc) (*outputs.precip_conc)[j] = value;

        // c. optional PARTITION line; any other line stays for the count reader.
        start = std::ftell(f.handle);
        value = 0.0;
        if (read_line(line, f) && mapping_keyword_code(line) == kLinePartition) {
            // A negative Kd would make the water-sediment split meaningless.
            if (!next_word(line, token.data()) || !next_word(line, token.data()) ||
                !parse_number(token.data(), value) || value < 0.0) {
                report_table_failure("Error: mapping table %s, line %d: the PARTITION line of "
                                     "contaminant %d needs a finite number not below 0.\n", f.name,
                                     file_line_number(f, start), j);
                close_file_object(f);
                return 0;
            }
        } else {
            std::fseek(f.handle, start, SEEK_SET);
        }
        if (outputs.partition) (*outputs.partition)[j] = value;

        // d. progress line.
        std::string checking = "  Checking " + description;
        for (size_t c = description.size(); c < 35; ++c) checking += '.';
        print_message("%s", checking.c_str());

        // e. the index map of the contaminant.
        const index_map_entry* entry = find_index_map_entry(list, map_name);
        if (entry == nullptr) {
            std::printf("unable to match index map\n");
            failed = true;
            break;
        }
        if (outputs.index_map_files) (*outputs.index_map_files)[static_cast<size_t>(j)] = entry->file;

        // f. NUM_IDS k and, for k > 0, the ID table bound to the cells.
        start = std::ftell(f.handle);
        if (!read_line(line, f) || mapping_keyword_code(line) != kLineNumIds) {
            report_table_failure("\nError: mapping table %s, line %d: contaminant %d needs a "
                                 "NUM_IDS line.\n", f.name, file_line_number(f, start), j);
            close_file_object(f);
            return 0;
        }
        std::fseek(f.handle, start, SEEK_SET);
        int k = read_num_ids(f);
        if (k <= 0) {
            print_message("no ID table\n");
            continue;
        }
        skip_table_heading(f);
        id_table table;
        if (!read_id_table(f, k, kContamColumns, "CONTAMINANT_TRANSPORT", table)) {
            close_file_object(f);
            return 0;
        }
        std::vector<int> ids;
        file_object map;
        if (!open_file_named(map, entry->file.c_str(), "r")) {
            std::printf("unable to open index map file.\n");
            set_error(65, nullptr, entry->file.c_str());
            report_error(error_record);
            close_file_object(f);
            return 0;
        }
        int read = read_index_map(rs, map, entry->file.c_str(), table.largest_id,
                                  zero_ids::refuse, ids);
        close_file_object(map);
        if (!read) {
            close_file_object(f);
            return 0;
        }
        std::vector<double> by_id;
        for (int c = 1; c <= kContamColumns; ++c) {
            checked_array_2d<double>* dest = outputs.cells[static_cast<size_t>(c - 1)];
            if (dest == nullptr) continue;
            double* row = dest->row(j);
            if (row == nullptr) continue;
            scatter_by_id(table, c, table.largest_id, by_id);
            for (int cell = 1; cell <= rs.GNUM && cell <= dest->row_length; ++cell) {
                int id = ids[static_cast<size_t>(cell)];
                if (id > 0) row[cell] = by_id[static_cast<size_t>(id - 1)];
            }
        }
        print_message("found and read index map\n");
    }
    close_file_object(f);
    if (failed) {
        set_error(69);
        report_error(error_record);
        return 0;
    }
    return 1;
}

void richards_index_map_name(const char* table_path, int kind, char* file_name, int size) {
    if (file_name == nullptr || size <= 0) return;
    file_name[0] = '\0';
    file_object f;
    if (!open_file_named(f, table_path, "r")) return;
    std::string map_file;
    if (find_mapping_section(f, kind == 1 ? kSecRichardsBrooks : kSecRichardsHavercamp, map_file)) {
        std::snprintf(file_name, static_cast<size_t>(size), "%s", map_file.c_str());
    }
    close_file_object(f);
}

int load_richards_soil_table(run_state& rs, const char* table_path, int kind,
                             std::vector<int>& soiltype, const soil_table_reader& reader) {
    if (kind != 1 && kind != 2) {
        report_table_failure("Error: Richards soil table kind %d is neither 1 (Brooks) nor 2 "
                             "(Havercamp).\n", kind);
        return -1;
    }
    return load_soil_section(rs, table_path, kind == 1 ? kSecRichardsBrooks : kSecRichardsHavercamp,
                             132, soiltype, reader);
}

int load_multilayer_soil_table(run_state& rs, const char* table_path, std::vector<int>& soiltype,
                               const soil_table_reader& reader) {
    return load_soil_section(rs, table_path, kSecMultiLayer, 136, soiltype, reader);
}

int load_rating_curves(const char* table_path, const std::vector<int>& boundary_type,
                       const std::vector<double>& boundary_value, int cell_count,
                       std::vector<ov_boundary_record>& records) {
    if (cell_count < 0) cell_count = 0;
    records.assign(static_cast<size_t>(cell_count) + 1, ov_boundary_record());
    if (boundary_type.size() < static_cast<size_t>(cell_count) + 1 ||
        boundary_value.size() < static_cast<size_t>(cell_count) + 1) {
        report_table_failure("Error: the overland boundary arrays hold fewer than %d cells.\n",
                             cell_count);
        return 0;
    }
    bool needed = false;
    for (int i = 1; i <= cell_count && !needed; ++i) {
        needed = boundary_type[static_cast<size_t>(i)] == 6 || boundary_type[static_cast<size_t>(i)] == 7;
    }
    if (!needed) return 1;

    // The RATINGCURVES rows: ID and elevation-series name.
    file_object f;
    if (!open_mapping_table(f, table_path)) return 0;
    std::vector<std::pair<int, std::string>> rows;
    int n = find_ratingcurves_section(f) ? read_num_ids(f) : 0;
    if (n > 0) skip_table_heading(f);
    text_line line;
    std::vector<char> name(kTokenSize);
    for (int r = 0; r < n; ++r) {
        long start = std::ftell(f.handle);
        int have = read_line(line, f);
        int id = 0;
        const bool id_read = have && table_row_id(line, id);
        name[0] = '\0';
        if (have && std::strlen(line) > static_cast<size_t>(kRowIdWidth)) {
            next_word(line + kRowIdWidth, name.data());
        }
        if (!id_read || name[0] == '\0') {
            report_table_failure("Error: mapping table %s, line %d: a RATINGCURVES row must hold "
                                 "its ID in characters 1 to 6 and an elevation series name.\n",
                                 f.name, file_line_number(f, start));
            close_file_object(f);
            return 0;
        }
        rows.emplace_back(id, std::string(name.data()));
    }
    close_file_object(f);

    int result = 1;
    for (int i = 1; i <= cell_count; ++i) {
        int type = boundary_type[static_cast<size_t>(i)];
        if (type != 6 && type != 7) continue;
        int id = 0;
        if (!truncate_to_int(boundary_value[static_cast<size_t>(i)], id)) {
            report_table_failure("Error: the rating-curve ID of the overland boundary of cell %d "
                                 "is not a number in range.\n", i);
            return 0;
        }
        const std::string* series_name = nullptr;
        for (const auto& row : rows) {
            if (row.first == id) series_name = &row.second;   // a later row of the same ID wins
        }
        if (series_name == nullptr) {
            report_table_failure("Error: mapping table %s: no RATINGCURVES row has the ID %d of the "
                                 "overland boundary of cell %d.\n", table_path, id, i);
            return 0;
        }
        elevation_series* s = find_elevation_series(series_name->c_str());
        if (s == nullptr) {
            set_error(86);   // reported by the run driver after the input stage
            error_record.stop = 1;
            result = 0;
            continue;
        }
        records[static_cast<size_t>(i)].rating_curve = s;
    }
    return result;
}
