// Soil parameter maps and soil tables (start-up of every infiltration method).
#include "subsurface/soils.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "core/text.h"
#include "hydromet/evapo_trans.h"
#include "input/cell_arrays.h"
#include "input/map_reader.h"
#include "input/mapping_table.h"
#include "input/process_tables.h"
#include "input/table_loader.h"
#include "input/time_series.h"
#include "subsurface/infiltration.h"
#include "subsurface/richards.h"
#include "subsurface/water_table.h"

namespace {

constexpr double kCmPerHourPerMetrePerSecond = 360000.0;   // cm/h in 1 m/s
constexpr double kCmPerMetre = 100.0;
constexpr double kZeroDepth = 1e-16;        // m or cm: a depth at most this counts as none
constexpr double kContentMargin = 0.01;     // m3/m3 kept from the residual content and porosity
constexpr int kMultiLayerTokenTries = 87;   // tokens tried for the first value of a soil's line 1
constexpr int kLayerValues = 9;             // values of a layer line of layers 1 and 2 (layer 3: 8)

bool spans(const std::vector<double>& v, int n) {
    return static_cast<int>(v.size()) > n;
}

// A per-cell array of GNUM + 1 slots; an array of that size keeps its values.
void ensure_cells(std::vector<double>& v, int n, const char* name) {
    if (static_cast<int>(v.size()) != n + 1) size_cell_array(v, n, name);
}
void ensure_cells(std::vector<int>& v, int n, const char* name) {
    if (static_cast<int>(v.size()) != n + 1) size_cell_array(v, n, name);
}

// Prints a start-up failure on the console and into the summary file, sets
// code 4000 and reports it, so the run stops at once.
void soil_failure(const char* format, ...) __attribute__((format(printf, 1, 2)));
void soil_failure(const char* format, ...) {
    char text[2600];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    write_report_text(current_summary_file, text);
    set_error(kErrorPrinted);
    report_error(error_record);
}

bool stopped() { return error_record.stop != 0; }

bool soil_id_valid(int id) { return id >= 1 && id <= kSoilIdLimit; }

// Reads a per-cell real map from the open file `f` into `out` and closes it.
bool read_cell_map(run_state& rs, file_object& f, const char* name, std::vector<double>& out,
                   const char* array_name) {
    ensure_cells(out, rs.GNUM, array_name);
    const bool ok = read_map_file(f, name, kMapCellReals, rs.map_north, rs.map_south, rs.map_east,
                                  rs.map_west, rs.map_rows, rs.map_cols, rs.mask, &out, nullptr,
                                  nullptr, rs.rows, rs.cols);
    close_file_object(f);
    return ok;
}

const char* table_path(run_state& rs) { return rs.files.mapping_table; }

bool has_section(const run_state& rs, int flag) {
    return rs.mapping_table_given && rs.mapping_sections[flag] != 0;
}

// One Green-Ampt parameter: from its open map file, else from the mapping
// table (already loaded); `source` receives the name the values came from.
bool read_parameter_map(run_state& rs, file_object& f, const char* name, std::vector<double>& out,
                        const char* array_name, const char* file_line, const char* table_line,
                        const char*& source) {
    if (f.is_open()) {
        print_reading_line(rs, file_line, name);
        source = name;
        return read_cell_map(rs, f, name, out, array_name);
    }
    print_reading_line(rs, table_line, nullptr);
    source = table_path(rs);
    ensure_cells(out, rs.GNUM, array_name);
    return true;
}

// Step 2: the Green-Ampt parameters (green_ampt, inf_redist).
bool read_green_ampt_maps(run_state& rs) {
    const int n = rs.GNUM;
    if (has_section(rs, input_state::kMapGreenAmpt)) {
        ensure_cells(rs.ksat, n, "ksat");
        ensure_cells(rs.cap_drive, n, "cap_drive");
        ensure_cells(rs.phi, n, "phi");
        ensure_cells(rs.pore_dist_index, n, "pore_index");
        ensure_cells(rs.thr, n, "thr");
        ensure_cells(rs.soil_wilting_point, n, "wilting_point");
        const mapping_outputs outputs = {&rs.ksat,           &rs.cap_drive, &rs.phi,
                                         &rs.pore_dist_index, &rs.thr,       &rs.soil_wilting_point,
                                         nullptr};
        if (!load_mapping_table(rs, table_path(rs), kSecGreenAmpt, outputs)) return false;
    }

    const char* ksat_source = "";
    const char* cap_source = "";
    const char* phi_source = "";
    if (rs.conductivity) {
        if (!read_parameter_map(rs, rs.conductivity_file, rs.files.conductivity, rs.ksat, "ksat",
                                "reading saturated hydraulic conductivity map from file: %s\n",
                                "reading saturated hydraulic conductivity table and map from the "
                                "master table file\n",
                                ksat_source))
            return false;
        for (int i = 1; i <= n; ++i) rs.ksat[i] /= kCmPerHourPerMetrePerSecond;
    }
    if (rs.capillary) {
        if (!read_parameter_map(rs, rs.capillary_file, rs.files.capillary, rs.cap_drive,
                                "cap_drive", "reading capillary drive map from file: %s\n",
                                "reading capillary drive map from the master table file\n",
                                cap_source))
            return false;
        for (int i = 1; i <= n; ++i) rs.cap_drive[i] /= kCmPerMetre;
    }
    if (rs.porosity) {
        if (!read_parameter_map(rs, rs.porosity_file, rs.files.porosity, rs.phi, "phi",
                                "reading porosity map from file: %s\n",
                                "reading porosity table and map from the master table file\n",
                                phi_source))
            return false;
    }

    const char* lambda_source = "";
    const char* thr_source = "";
    if (rs.inf_redist) {
        const char*& source = lambda_source;
        if (!rs.pore_index) {
            soil_failure("For infiltration redistribution, pore index map must be specified\n"
                         "Program stopped.\n");
            return false;
        }
        if (!read_parameter_map(rs, rs.pore_index_file, rs.files.pore_index, rs.pore_dist_index,
                                "pore_index", "reading pore distribution index map from file: %s\n",
                                "reading pore distribution index map from master table file\n",
                                source))
            return false;
        if (!rs.residual_sat) {
            soil_failure("Program stopped.\n");
            return false;
        }
        if (!read_parameter_map(rs, rs.residual_sat_file, rs.files.residual_sat, rs.thr, "thr",
                                "reading residual saturation map from file: %s\n",
                                "reading residual saturation map from the master table file\n",
                                thr_source))
            return false;
    }

    // A negative or non-numeric parameter would make the soil give water up
    // or take it without bound: refused with the cell and where it came from.
    for (int i = 1; i <= n; ++i) {
        if (rs.conductivity && !(rs.ksat[i] >= 0.0 && std::isfinite(rs.ksat[i]))) {
            soil_failure("Error: the saturated hydraulic conductivity of cell %d (%g cm/h, from "
                         "%s) must be a number of at least 0.\n",
                         i, rs.ksat[i] * kCmPerHourPerMetrePerSecond, ksat_source);
            return false;
        }
        if (rs.capillary && !(rs.cap_drive[i] >= 0.0 && std::isfinite(rs.cap_drive[i]))) {
            soil_failure("Error: the capillary drive of cell %d (%g cm, from %s) must be a number "
                         "of at least 0.\n",
                         i, rs.cap_drive[i] * kCmPerMetre, cap_source);
            return false;
        }
        if (rs.porosity && !(rs.phi[i] >= 0.0 && rs.phi[i] <= 1.0)) {
            soil_failure("Error: the porosity of cell %d (%g, from %s) must lie between 0 and "
                         "1.\n",
                         i, rs.phi[i], phi_source);
            return false;
        }
        // The redistribution soil functions raise the effective saturation
        // (theta - thr) / (phi - thr) to powers of 1 / lambda.
        if (rs.inf_redist && !(rs.pore_dist_index[i] > 0.0 && std::isfinite(rs.pore_dist_index[i]))) {
            soil_failure("Error: the pore distribution index of cell %d (%g, from %s) must be a "
                         "number above 0.\n",
                         i, rs.pore_dist_index[i], lambda_source);
            return false;
        }
        if (rs.inf_redist && !(rs.thr[i] >= 0.0 && rs.thr[i] < rs.phi[i])) {
            soil_failure("Error: the residual water content of cell %d (%g, from %s) must be at "
                         "least 0 and below its porosity (%g, from %s).\n",
                         i, rs.thr[i], thr_source, rs.phi[i], phi_source);
            return false;
        }
    }
    return true;
}

// Initial water content thi from the moisture map or the mapping table (card
// moisture, or mapping tables on). True when values were loaded.
bool read_initial_soil_moisture(run_state& rs) {
    if (!rs.moisture) return false;
    const int n = rs.GNUM;
    ensure_cells(rs.thi, n, "thi");
    if (rs.moisture_file.is_open()) {
        print_reading_line(rs, "reading soil moisture map from file: %s\n", rs.files.moisture);
        return read_cell_map(rs, rs.moisture_file, rs.files.moisture, rs.thi, "thi");
    }
    print_reading_line(rs, "reading soil moisture table and map from the master table file\n",
                       nullptr);
    if (!has_section(rs, input_state::kMapSoilMoisture)) return false;
    const mapping_outputs outputs = {&rs.thi, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return load_mapping_table(rs, table_path(rs), kSecSoilMoisture, outputs) != 0;
}

// Green-Ampt family: an initial content above the cell's porosity is water
// the soil cannot hold (the deficit phi - theta would be negative and the
// front would give water back): refused naming the cell and the sources.
bool initial_moisture_fits_porosity(run_state& rs) {
    if (!rs.moisture || !spans(rs.thi, rs.GNUM) || !spans(rs.phi, rs.GNUM)) return true;
    const char* moisture_source = rs.moisture_file.is_open() || rs.files.moisture[0] != '\0'
                                      ? rs.files.moisture
                                      : table_path(rs);
    for (int i = 1; i <= rs.GNUM; ++i) {
        if (rs.thi[i] > rs.phi[i]) {
            soil_failure("Error: the initial soil moisture of cell %d (%g, from %s) is above its "
                         "porosity (%g).\n",
                         i, rs.thi[i], moisture_source, rs.phi[i]);
            return false;
        }
    }
    return true;
}

// Green-Ampt family: a negative initial content becomes 0 with a warning.
void clamp_negative_initial_moisture(run_state& rs) {
    for (int i = 1; i <= rs.GNUM; ++i) {
        if (rs.thi[i] < 0.0) {
            char text[200];
            std::snprintf(text, sizeof(text),
                          "Warning: initial soil moisture %lf of cell %d is below 0; set to 0\n",
                          rs.thi[i], i);
            write_report_text(&rs.summary_file, text);
            rs.thi[i] = 0.0;
        }
    }
}

// Reads `count` numbers of a layer line into v; false when the line holds
// fewer. A token that is not wholly a finite number is refused (its text in
// `bad`, the result false): "l.0" for a conductivity is no 0.
bool read_layer_values(char* line, int count, double* v, std::string& bad) {
    bad.clear();
    char token[kTokenSize];
    for (int k = 0; k < count; ++k) {
        const number_status st = next_checked_double(line, v[k], token);
        if (st == number_status::missing) return false;
        if (st != number_status::ok) {
            bad = token;
            return false;
        }
    }
    return true;
}

// The end of a layer-line refusal: the value that is no number, or the count.
std::string layer_complaint(const std::string& bad, int count) {
    if (!bad.empty()) return "the value \"" + bad.substr(0, 63) + "\" is not a finite number";
    return "it needs " + std::to_string(count) + " values";
}

// Values of one layer line in line order: ksat, pore_index, cap_head,
// porosity, field_capacity, wilting_point, residual, initial_theta and, for
// layers 1 and 2, thickness.
void store_layer(soil_layer_record& r, int layer, const double* v) {
    r.ksat[layer] = v[0];
    r.pore_index[layer] = v[1];
    r.cap_head[layer] = v[2];
    r.porosity[layer] = v[3];
    r.field_capacity[layer] = v[4];
    r.wilting_point[layer] = v[5];
    r.residual[layer] = v[6];
    r.initial_theta[layer] = v[7];
    if (layer < 2) r.thickness[layer] = v[8];
}

int values_of_layer(int layer) { return layer < 2 ? kLayerValues : kLayerValues - 1; }

// The layered scheme divides by each layer's deficit and conductivity and
// fills layers 1 and 2 by their thickness: a soil whose values would make
// the front depth or rate meaningless is refused naming the table.
bool layered_soil_valid(const soil_layer_record& soil, int id, const char* source) {
    for (int k = 0; k < 3; ++k) {
        const char* what = nullptr;
        double value = 0.0;
        if (!(soil.porosity[k] > 0.0 && soil.porosity[k] <= 1.0)) {
            what = "a porosity above 0 and at most 1";
            value = soil.porosity[k];
        } else if (!(soil.ksat[k] >= 0.0 && std::isfinite(soil.ksat[k]))) {
            what = "a conductivity of at least 0 cm/h";
            value = soil.ksat[k];
        } else if (!(soil.cap_head[k] >= 0.0 && std::isfinite(soil.cap_head[k]))) {
            what = "a capillary head of at least 0 cm";
            value = soil.cap_head[k];
        } else if (!(soil.initial_theta[k] >= 0.0 && soil.initial_theta[k] <= 1.0)) {
            what = "an initial water content between 0 and 1";
            value = soil.initial_theta[k];
        } else if (k < 2 && !(soil.thickness[k] > 0.0 && std::isfinite(soil.thickness[k]))) {
            what = "a thickness above 0 cm";
            value = soil.thickness[k];
        }
        if (what != nullptr) {
            soil_failure("Error: layer %d of soil %d in %s needs %s (it has %g).\n", k + 1, id,
                         source, what, value);
            return false;
        }
    }
    return true;
}

}  // namespace

bool check_infiltration_method(run_state& rs) {
    if (!rs.green_ampt && !rs.inf_redist) return true;
    const char* method = rs.green_ampt ? "Green & Ampt infiltration (card green_ampt)"
                                       : "Green & Ampt infiltration with redistribution (card "
                                         "inf_redist)";
    struct need {
        int given;
        const char* what;
        const char* card;
    };
    const need needs[] = {{rs.conductivity, "the saturated hydraulic conductivity", "conductivity"},
                          {rs.capillary, "the capillary head", "capillary"},
                          {rs.porosity, "the porosity", "porosity"}};
    for (const need& x : needs) {
        if (!x.given) {
            soil_failure("Error: %s needs %s of every cell: give the card %s or the "
                         "GREEN_AMPT_INFILTRATION section of the mapping table.\n",
                         method, x.what, x.card);
            return false;
        }
    }
    return true;
}

void read_area_reduction_map(run_state& rs) {
    if (!rs.area_reduction) return;
    const int n = rs.GNUM;
    rs.area_reduction_factor.clear();
    if (!size_cell_array(rs.area_reduction_factor, n, "area_reduction")) return;
    const char* name = rs.cards.area_reduction;
    const char* source = name;
    if (name[0] != '\0') {
        file_object f;
        if (!open_file_named(f, name, "r")) {
            soil_failure("Can't open area reduction file named: %s\n", name);
            return;
        }
        print_reading_line(rs, "reading area reduction map from file: %s\n", name);
        if (!read_cell_map(rs, f, name, rs.area_reduction_factor, "area_reduction")) return;
    } else if (has_section(rs, input_state::kMapAreaReduction)) {
        print_reading_line(rs, "reading area reduction map from the mapping table file.\n",
                           nullptr);
        source = table_path(rs);
        const mapping_outputs outputs = {&rs.area_reduction_factor, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr};
        if (!load_mapping_table(rs, source, kSecAreaReduction, outputs)) return;
    }
    for (int i = 1; i <= n; ++i) {
        const double v = rs.area_reduction_factor[i];
        // Outside 0..1 the factor would make a cell give up water or take more than it can.
        if (!(v >= 0.0 && v <= 1.0)) {
            soil_failure("Error: the area reduction of cell %d (%g, from %s) must lie between 0 "
                         "and 1.\n",
                         i, v, source);
            return;
        }
        rs.area_reduction_factor[i] = 1.0 - v;
    }
}

void fork_initial_soil_water(run_state& rs, double content) {
    const int n = rs.GNUM;
    ensure_cells(rs.thi, n, "thi");
    ensure_cells(rs.theta_all, n, "theta_all");
    const bool porous = spans(rs.phi, n);
    const bool residual = rs.residual_sat && spans(rs.thr, n) && porous;
    double* thi = rs.thi.data();
    double* shown = rs.theta_all.data();
    const double* thr = residual ? rs.thr.data() : nullptr;
    const double* phi = porous ? rs.phi.data() : nullptr;
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int i = 1; i <= n; ++i) {
        double v = content;
        if (thr != nullptr) {
            if (v < thr[i]) v = thr[i] + kContentMargin;
            if (v > phi[i]) v = phi[i] - kContentMargin;
        } else if (phi != nullptr && phi[i] > 0.0 && v > phi[i]) {
            // Without residual contents the porosity alone bounds the content.
            v = phi[i] - kContentMargin;
        }
        thi[i] = v;
        shown[i] = content;
    }
}

int read_layered_soil_file(file_object& f, soil_layer_record* soil_table,
                           std::vector<char>* defined) {
    const char* name = f.name;
    text_line line;
    int line_no = 0;
    auto next_line = [&]() {
        ++line_no;
        return read_line(line, f) != 0;
    };
    int n = 0;
    char token[kTokenSize];
    if (!next_line() || next_checked_int(line, n, token) != number_status::ok || n < 0 ||
        n > kSoilIdLimit) {
        soil_failure("Error: soil table %s, line 1: the number of soils must be a whole number "
                     "from 0 to %d.\n",
                     name, kSoilIdLimit);
        return -1;
    }
    if (!next_line()) {
        soil_failure("Error: soil table %s ends at line %d before its first soil.\n", name,
                     line_no);
        return -1;
    }
    for (int s = 1; s <= n; ++s) {
        int id = 0;
        if (!next_line()) {
            soil_failure("Error: soil table %s ends at line %d after %d of its %d soils.\n", name,
                         line_no, s - 1, n);
            return -1;
        }
        if (next_checked_int(line, id, token) != number_status::ok) {
            soil_failure("Error: soil table %s, line %d: the soil id \"%.63s\" is not a whole "
                         "number.\n", name, line_no, token);
            return -1;
        }
        if (!soil_id_valid(id)) {
            soil_failure("Error: soil table %s, line %d: soil id %d lies outside 1..%d.\n", name,
                         line_no, id, kSoilIdLimit);
            return -1;
        }
        for (int layer = 0; layer < 3; ++layer) {
            double v[kLayerValues] = {};
            if (!next_line()) {
                soil_failure("Error: soil table %s ends at line %d inside soil %d.\n", name,
                             line_no, id);
                return -1;
            }
            std::string bad;
            if (!read_layer_values(line, values_of_layer(layer), v, bad)) {
                soil_failure("Error: soil table %s, line %d: layer %d of soil %d: %s.\n", name,
                             line_no, layer + 1, id,
                             layer_complaint(bad, values_of_layer(layer)).c_str());
                return -1;
            }
            store_layer(soil_table[id], layer, v);
        }
        if (defined != nullptr) (*defined)[static_cast<size_t>(id)] = 1;
    }
    return n;
}

int read_multilayer_soil_table(file_object& f, soil_layer_record* soil_table,
                               std::vector<char>* defined) {
    const char* name = f.name;
    text_line line;
    int n = 0;
    if (!read_line(line, f) || parse_keyword_int(line, n) != number_status::ok || n < 0 ||
        n > kSoilIdLimit) {
        soil_failure("Error: the MULTI_LAYER_SOIL section of mapping table %s needs a count line "
                     "with a number of soils from 0 to %d.\n",
                     name, kSoilIdLimit);
        return -1;
    }
    if (!read_line(line, f)) {
        soil_failure("Error: the MULTI_LAYER_SOIL section of mapping table %s ends after its "
                     "count line.\n",
                     name);
        return -1;
    }
    skip_table_heading(f);   // the line read above holds a number that is not used

    for (int s = 1; s <= n; ++s) {
        int id = 0;
        for (int layer = 0; layer < 3; ++layer) {
            const long start = std::ftell(f.handle);
            if (!read_line(line, f)) {
                soil_failure("Error: the MULTI_LAYER_SOIL section of mapping table %s ends inside "
                             "soil %d of %d.\n",
                             name, s, n);
                return -1;
            }
            double v[kLayerValues] = {};
            int first = 0;   // values read before the plain run of numbers
            if (layer == 0) {
                char token[kTokenSize];
                if (next_checked_int(line, id, token) != number_status::ok || !soil_id_valid(id)) {
                    soil_failure("Error: soil %d of the MULTI_LAYER_SOIL section of mapping table "
                                 "%s, line %d, has the id \"%.63s\", not a whole number from 1 "
                                 "to %d.\n",
                                 s, name, file_line_number(f, start), token, kSoilIdLimit);
                    return -1;
                }
                // Description words between the id and the numbers are passed
                // over, as is a 0 in front of the first value.
                bool found = false;
                for (int k = 0; k < kMultiLayerTokenTries && !found; ++k) {
                    const number_status st = next_checked_double(line, v[0], token);
                    if (st == number_status::missing) break;
                    found = st == number_status::ok && v[0] != 0.0;
                }
                if (!found) {
                    soil_failure("Error: soil %d of the MULTI_LAYER_SOIL section of mapping table "
                                 "%s has no values on its first line.\n",
                                 id, name);
                    return -1;
                }
                first = 1;
            }
            const int count = values_of_layer(layer);
            std::string bad;
            if (!read_layer_values(line, count - first, v + first, bad)) {
                soil_failure("Error: layer %d of soil %d of the MULTI_LAYER_SOIL section of "
                             "mapping table %s, line %d: %s.\n",
                             layer + 1, id, name, file_line_number(f, start),
                             layer_complaint(bad, count).c_str());
                return -1;
            }
            store_layer(soil_table[id], layer, v);
        }
        if (defined != nullptr) (*defined)[static_cast<size_t>(id)] = 1;
    }
    return n;
}

bool read_layered_soil_inputs(run_state& rs) {
    const int n = rs.GNUM;
    ensure_cells(rs.soiltype, n, "soiltype");
    ensure_cells(rs.theta_all, n, "theta_all");
    if (static_cast<int>(rs.theta_ml.size()) != n + 1) {
        rs.theta_ml.assign(static_cast<size_t>(n) + 1, std::array<double, 5>{});
    }
    std::vector<char> defined(static_cast<size_t>(kSoilIdLimit) + 1, 0);
    const char* source = "";

    if (has_section(rs, input_state::kMapMultiLayer)) {
        source = table_path(rs);
        auto reader = [&](file_object& table) {
            return read_multilayer_soil_table(table, rs.soil_table.data(), &defined);
        };
        const int r = load_multilayer_soil_table(rs, source, rs.soiltype, reader);
        if (r < 0) {
            if (error_record.code > 0) report_error(error_record);
            return false;
        }
    } else {
        const char* map_name = rs.files.soil_type_map;
        if (!rs.soil_type_file.is_open() || !rs.soil_layer_file.is_open()) {
            soil_failure("Error: layered soils (card inf_layered_soil) need the soil map (card "
                         "soil_type_map) and the soil table (card soil_layer_input_file).\n");
            return false;
        }
        print_reading_line(rs, "reading soil map from file: %s\n", map_name);
        int** grid = nullptr;
        alloc_int_2d(grid, rs.rows, rs.cols, "soil map");
        if (grid == nullptr) {
            soil_failure("Error: no memory for the soil map %s.\n", map_name);
            return false;
        }
        const bool ok = read_map_file(rs.soil_type_file, map_name, kMapGridInts, rs.map_north,
                                      rs.map_south, rs.map_east, rs.map_west, rs.map_rows,
                                      rs.map_cols, grid, nullptr, nullptr, nullptr, rs.rows,
                                      rs.cols);
        close_file_object(rs.soil_type_file);
        bool good = ok;
        for (int r = 1; r <= rs.rows && good; ++r) {
            for (int c = 1; c <= rs.cols && good; ++c) {
                const int cell = rs.mask[r][c];
                if (cell < 1 || cell > n) continue;
                const int id = grid[r][c];
                if (!soil_id_valid(id)) {
                    soil_failure("Error: soil id %d at row %d, column %d of soil map %s lies "
                                 "outside 1..%d.\n",
                                 id, r, c, map_name, kSoilIdLimit);
                    good = false;
                    break;
                }
                rs.soiltype[static_cast<size_t>(cell)] = id;
            }
        }
        free_block_2d(grid);
        if (!good) return false;
        source = rs.files.soil_layer_input_file;
        const int count = read_layered_soil_file(rs.soil_layer_file, rs.soil_table.data(), &defined);
        close_file_object(rs.soil_layer_file);
        if (count < 0) return false;
    }

    for (int i = 1; i <= n; ++i) {
        const int id = rs.soiltype[static_cast<size_t>(i)];
        if (!soil_id_valid(id) || !defined[static_cast<size_t>(id)]) {
            soil_failure("Error: cell %d has the soil id %d, which the soil table %s does not "
                         "hold.\n",
                         i, id, source);
            return false;
        }
        const soil_layer_record& soil = rs.soil_table[id];
        if (!layered_soil_valid(soil, id, source)) return false;
        rs.theta_all[static_cast<size_t>(i)] = soil.initial_theta[0];
        std::array<double, 5>& layers = rs.theta_ml[static_cast<size_t>(i)];
        for (int k = 1; k <= 3; ++k) layers[static_cast<size_t>(k)] = soil.initial_theta[k - 1];
    }
    return true;
}

void read_soil_maps(run_state& rs) {
    // Without an infiltration method a water table only meets the streams.
    if (!rs.green_ampt && !rs.inf_redist && !rs.inf_layered_soil && !rs.inf_richards) {
        read_water_table_maps(rs);
        return;
    }
    if (!check_infiltration_method(rs)) return;
    const int n = rs.GNUM;
    init_infiltration_arrays(rs);

    read_area_reduction_map(rs);
    if (stopped()) return;

    if (rs.green_ampt || rs.inf_redist) {
        if (!read_green_ampt_maps(rs)) return;
    }
    if (rs.inf_layered_soil && !read_layered_soil_inputs(rs)) return;

    const bool moisture_loaded = read_initial_soil_moisture(rs);
    if (stopped()) return;
    read_water_table_maps(rs);
    if (stopped()) return;
    init_richards(rs);
    if (stopped()) return;
    read_et_maps(rs);
    if (stopped()) return;

    if (rs.green_ampt || rs.inf_redist) {
        if (moisture_loaded && !initial_moisture_fits_porosity(rs)) return;
        clamp_negative_initial_moisture(rs);
        // The shown content (and the working contents of the redistribution
        // scheme) start from the initial content just read.
        ensure_cells(rs.theta_all, n, "theta_all");
        for (int i = 1; i <= n; ++i) rs.theta_all[i] = rs.thi[i];
        if (rs.inf_redist) {
            ensure_cells(rs.redist_theta, n, "redist_theta");
            ensure_cells(rs.redist_theta_prev, n, "redist_theta_prev");
            for (int i = 1; i <= n; ++i) {
                rs.redist_theta[i] = rs.thi[i];
                rs.redist_theta_prev[i] = rs.thi[i];
            }
        }
    }

    // Uniform initial content: asked for when no initial moisture was given
    // by a map or by the mapping table.
    if (!moisture_loaded && !rs.inf_layered_soil) {
        if (!rs.quiet) print_message("initializing uniform initial soil water content\n");
        fork_initial_soil_water(rs, rs.soil_coefficient);
    }
}

bool distribute_layer_moisture(int cell, double upper_water, double lower_water,
                               double water_table, double ground, const double* layer_thickness,
                               bool use_water_table, const soil_layer_record* soil_table,
                               const std::vector<int>& soiltype, int n_layers, double* theta_out,
                               double* porosity_out) {
    if (n_layers < 2 || n_layers > 3) return false;
    if (cell < 0 || cell >= static_cast<int>(soiltype.size())) return false;
    const int id = soiltype[static_cast<size_t>(cell)];
    if (!soil_id_valid(id)) return false;
    for (int k = 1; k <= n_layers; ++k) {
        if (!(layer_thickness[k] > 0.0)) return false;
    }
    const soil_layer_record& soil = soil_table[id];
    const double p1 = soil.porosity[0];
    const double p2 = soil.porosity[1];
    const double u1 = upper_water;
    const double u2 = lower_water;
    const double z = use_water_table ? (ground - water_table) * kCmPerMetre
                                     : soil.thickness[0] + soil.thickness[1] + 1.0;
    double theta[4] = {};
    double por[4] = {};
    if (n_layers == 2) {
        por[1] = p1;
        por[2] = p2;
    } else {
        por[1] = p1;
        por[2] = p1;
        por[3] = p2;
    }
    const double a = kCmPerMetre * layer_thickness[1];
    const double b = kCmPerMetre * layer_thickness[2];
    if (z <= kZeroDepth) {
        for (int k = 1; k <= n_layers; ++k) theta[k] = por[k];
    } else if (n_layers == 2) {
        theta[1] = (u1 + std::max(0.0, a - z) * p1) / a;
        if (z < a) theta[2] = p2;
        else if (z < a + b) theta[2] = ((a + b - z) * p2 + u2) / b;
        else theta[2] = u2 / b;
    } else {
        const double c = kCmPerMetre * layer_thickness[3];
        const double l1 = layer_thickness[1];
        const double l2 = layer_thickness[2];
        if (z > a + b) theta[1] = (l1 / (l1 + l2)) * u1 / a;
        else if (z < a) theta[1] = ((a - z) * p1 + u1) / a;
        else theta[1] = (a / z) * u1 / a;
        if (z < a) theta[2] = p1;
        else if (z < a + b) theta[2] = ((z - a) / z * u1 + (a + b - z) * p1) / b;
        else theta[2] = (l2 / (l1 + l2)) * u1 / b;
        if (z < a + b) theta[3] = p2;
        else if (z < a + b + c) theta[3] = ((a + b + c - z) * p2 + u2) / c;
        else theta[3] = u2 / c;
    }
    for (int k = 1; k <= n_layers; ++k) {
        theta_out[k] = theta[k];
        porosity_out[k] = por[k];
    }
    return true;
}
