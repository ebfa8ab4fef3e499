// Richards soils: hydraulic functions, soil table and column start-up.
#include "subsurface/richards_soil.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "core/text.h"
#include "input/map_reader.h"
#include "input/mapping_table.h"
#include "input/process_tables.h"
#include "input/time_series.h"
#include "run/run_state.h"
#include "subsurface/richards.h"

namespace {

constexpr int kSoilIdLimit = 9999;          // soil ids lie in 1..kSoilIdLimit
constexpr int kMappingValueColumn = 87;     // values of a soil's first table line start after this
constexpr int kBrooksValues = 10;           // Ks ths thr thi wp fc thickness lambda hb dz
constexpr int kHavercampValues = 12;        // Ks ths thr thi wp fc thickness alpha beta A B dz
constexpr int kEtValues = 4;                // long-term file form: the soil's ET line
constexpr double kCmPerMetre = 100.0;
constexpr double kSecondsPerHour = 3600.0;
constexpr int kWaterTableExtraNodes = 9;    // nodes added below the aquifer bottom count
constexpr double kDerivedAquiferDz = 0.1;   // node spacing below the soil when not given, m
constexpr int kColumnNodeFactor = 4;        // a column holds at most this x richards_layer_limit nodes
constexpr double kStraddleTolerance = 1e-9; // m: a node bottom this close above the table reaches it

void fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
void fail(const char* format, ...) {
    char text[1200];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    write_report_text(current_summary_file, text);
    set_error(kErrorPrinted);
    report_error(error_record);
}

double sq(double x) { return x * x; }

// Reads up to `want` numbers of a layer line; returns how many were read (a
// token that is not a finite number stops the count, returned as -1).
int read_values(char* text, int want, double* v) {
    char token[kTokenSize];
    for (int k = 0; k < want; ++k) {
        const number_status st = next_checked_double(text, v[k], token);
        if (st == number_status::missing) return k;
        if (st != number_status::ok) return -1;
    }
    return want;
}

// Checks one layer's values (in line order); the complaint, or nullptr.
const char* layer_problem(const double* v, int model) {
    const double ks = v[0], ths = v[1], thr = v[2], thi = v[3], thick = v[6];
    const double dz = model == kRichardsBrooks ? v[9] : v[11];
    if (!(ks > 0.0)) return "the saturated conductivity must be above 0";
    if (!(thr >= 0.0 && ths > thr && ths <= 1.0))
        return "the contents must satisfy 0 <= theta_r < theta_s <= 1";
    if (!(thi > thr && thi <= ths)) return "the initial content must lie above theta_r and at most theta_s";
    if (!(dz > 0.0)) return "the node spacing (last value) must be above 0";
    if (!(thick >= dz)) return "the thickness must hold at least one node spacing";
    if (model == kRichardsBrooks) {
        if (!(v[7] > 0.0)) return "lambda must be above 0";
        if (!(v[8] != 0.0)) return "the bubbling head must not be 0";
    } else {
        for (int k = 7; k <= 10; ++k) {
            if (!(v[k] > 0.0)) return "alpha, beta, A and B must be above 0";
        }
    }
    return nullptr;
}

void store_layer(soil_layer_record& r, int layer, const double* v, int model) {
    r.ksat[layer] = v[0];
    r.porosity[layer] = v[1];
    r.residual[layer] = v[2];
    r.initial_theta[layer] = v[3];
    r.wilting_point[layer] = v[4];
    r.field_capacity[layer] = v[5];
    r.thickness[layer] = v[6];
    if (model == kRichardsBrooks) {
        r.bc_lambda[layer] = v[7];
        r.bc_bubbling[layer] = -std::fabs(v[8]);
        r.node_dz[layer] = v[9];
    } else {
        r.hav_alpha[layer] = v[7];
        r.hav_beta[layer] = v[8];
        r.hav_a[layer] = v[9];
        r.hav_b[layer] = v[10];
        r.node_dz[layer] = v[11];
    }
}

// Layer of node k of a soil: 0, 1 or 2.
int layer_of(const soil_layer_record& soil, int k) {
    if (k <= soil.layer1_end) return 0;
    if (k <= soil.layer2_end) return 1;
    return 2;
}

richards_node_soil node_soil_of(const soil_layer_record& soil, int layer, int model) {
    richards_node_soil s;
    s.ks = soil.ksat[layer];
    s.theta_r = soil.residual[layer];
    s.theta_wp = soil.wilting_point[layer];
    s.theta_fc = soil.field_capacity[layer];
    if (model == kRichardsBrooks) {
        s.lambda = soil.bc_lambda[layer];
        s.hb = soil.bc_bubbling[layer];
        set_brooks_cutoff(s, soil.porosity[layer]);
    } else {
        s.alpha = soil.hav_alpha[layer];
        s.beta = soil.hav_beta[layer];
        s.a = soil.hav_a[layer];
        s.b = soil.hav_b[layer];
    }
    return s;
}

}  // namespace

void richards_grid_node(const soil_layer_record& soil, int k, int model, double aquifer_theta_s,
                        double aquifer_dz, richards_node_soil& out, double& theta_s, double& dz) {
    const int layer = layer_of(soil, k);
    out = node_soil_of(soil, layer, model);
    if (k > soil.richards_nodes) {
        theta_s = aquifer_theta_s;
        dz = aquifer_dz;
        if (model == kRichardsBrooks) set_brooks_cutoff(out, theta_s);
        return;
    }
    theta_s = soil.porosity[layer];
    dz = soil.node_dz[layer];
    if (k == soil.layer1_end + 1) {
        out.ks = (soil.node_dz[0] + soil.node_dz[1]) /
                 (soil.node_dz[0] / soil.ksat[0] + soil.node_dz[1] / soil.ksat[1]);
    } else if (k == soil.layer2_end + 1 && soil.layer2_end > soil.layer1_end) {
        out.ks = (soil.node_dz[1] + soil.node_dz[2]) /
                 (soil.node_dz[1] / soil.ksat[1] + soil.node_dz[2] / soil.ksat[2]);
    }
}

namespace {

// Nodes of a cell's column down to the aquifer bottom, with a water table
// (before the walk that stops at the table).
int water_table_nodes(const run_state& rs, const soil_layer_record& soil, int cell) {
    const size_t c = static_cast<size_t>(cell);
    const double s = rs.aquifer_delta_z > 0.0 ? rs.aquifer_delta_z : kDerivedAquiferDz;   // m
    const double soil_depth = (soil.thickness[0] + soil.thickness[1] + soil.thickness[2]) / kCmPerMetre;
    const double b = (rs.elevation[c] - rs.bottom_elev[c]) - soil_depth;   // m
    int nodes = soil.richards_nodes;
    if (b <= 0.0) {
        nodes += 1;
    } else if (b / s < 1.0) {
        nodes += 2;
    } else {
        const double ratio = b / s;
        if (ratio > 1e7) return -1;
        nodes += static_cast<int>(ratio) + 1;
        if (ratio - std::floor(ratio) >= 0.25) nodes += 1;
    }
    return nodes;
}

void size_column(richards_column& col, std::vector<double>& theta, std::vector<double>& dz,
                 std::vector<double>& theta_s, int slots) {
    const size_t n = static_cast<size_t>(slots);
    for (std::vector<double>* v : {&col.head, &col.k_rel, &col.capacity, &col.flux, &col.source,
                                   &theta, &dz, &theta_s}) {
        v->assign(n, 0.0);
    }
    col.soil.assign(n, richards_node_soil{});
}

}  // namespace

void set_brooks_cutoff(richards_node_soil& soil, double theta_s) {
    const double r = 2.0 / soil.lambda;
    const double s = r / (r + 1.0);
    // The cut-off content starts from theta_r, so that both branches of the
    // retention curve give the same content at hc.
    soil.theta_c = soil.theta_r + (theta_s - soil.theta_r) * s;
    soil.hc = soil.hb * std::pow(s, -1.0 / soil.lambda);
}

double richards_theta_of_head(const richards_node_soil& soil, double theta_s, double h, int model) {
    const double range = theta_s - soil.theta_r;
    if (model == kRichardsBrooks) {
        if (h > 0.0) return theta_s;
        if (h <= soil.hc) return soil.theta_r + std::pow(soil.hb / h, soil.lambda) * range;
        const double sc = (soil.theta_c - soil.theta_r) / range;
        const double x = std::sqrt(1.0 - sc) * (h / soil.hb) / std::pow(sc, -1.0 / soil.lambda);
        return soil.theta_r + (1.0 - x * x) * range;
    }
    if (h >= 0.0) return theta_s;
    return soil.theta_r + range / (1.0 + std::pow(-h / soil.alpha, soil.beta));
}

double richards_head_of_theta(const richards_node_soil& soil, double theta_s, double theta,
                              int model) {
    const double range = theta_s - soil.theta_r;
    const double se = (theta - soil.theta_r) / range;
    if (se >= 1.0) return 0.0;
    if (model == kRichardsBrooks) {
        if (theta > soil.theta_c) {
            const double sc = (soil.theta_c - soil.theta_r) / range;
            return soil.hb * std::pow(sc, -1.0 / soil.lambda) * std::sqrt((1.0 - se) / (1.0 - sc));
        }
        return soil.hb / std::pow(se, 1.0 / soil.lambda);
    }
    return -soil.alpha * std::pow(1.0 / se - 1.0, 1.0 / soil.beta);
}

double richards_rel_conductivity(const richards_node_soil& soil, double theta_s, double h,
                                 double theta, int model) {
    if (model == kRichardsBrooks) {
        if (h > 0.0) return 1.0;
        if (h <= soil.hc) return std::pow(h / soil.hb, -(2.0 + 3.0 * soil.lambda));
        const double se = std::clamp((theta - soil.theta_r) / (theta_s - soil.theta_r), 0.0, 1.0);
        return std::pow(se, 3.0 + 2.0 / soil.lambda);
    }
    if (h >= 0.0) return 1.0;
    return soil.a / (soil.a + std::pow(-h, soil.b));
}

double richards_capacity(const richards_node_soil& soil, double theta_s, double h, int model) {
    const double range = theta_s - soil.theta_r;
    if (model == kRichardsBrooks) {
        if (h > 0.0) return 0.0;
        if (h <= soil.hc) {
            return -range * (soil.lambda / soil.hb) * std::pow(h / soil.hb, -(soil.lambda + 1.0));
        }
        const double sc = (soil.theta_c - soil.theta_r) / range;
        return -2.0 * h * range * sq(std::sqrt(1.0 - sc) / (soil.hb * std::pow(sc, -1.0 / soil.lambda)));
    }
    if (h >= 0.0) return 0.0;
    const double x = -h / soil.alpha;
    return std::pow(x, soil.beta - 1.0) * range * soil.beta / soil.alpha / sq(std::pow(x, soil.beta) + 1.0);
}

void richards_update_row(richards_column& col, double* theta, const double* theta_s, int count,
                         int model) {
    for (int k = 1; k <= count; ++k) {
        const richards_node_soil& s = col.soil[static_cast<size_t>(k)];
        const double h = col.head[static_cast<size_t>(k)];
        if (model == kRichardsHavercamp && h >= 0.0) theta[k] = theta_s[k];
        col.k_rel[static_cast<size_t>(k)] = richards_rel_conductivity(s, theta_s[k], h, theta[k], model);
        col.capacity[static_cast<size_t>(k)] = richards_capacity(s, theta_s[k], h, model);
    }
    col.k_rel[0] = col.k_rel[1];
    col.capacity[0] = col.capacity[1];
}

int read_richards_soil_table(file_object& f, bool mapping_form, int model, bool long_term,
                             bool water_table, int layer_limit, soil_layer_record* soil_table,
                             std::vector<char>* defined) {
    const char* name = f.name;
    const int want = model == kRichardsBrooks ? kBrooksValues : kHavercampValues;
    text_line line;
    long start = 0;
    int line_no = 0;   // counted in the file form; the table form asks the file
    auto next_line = [&]() {
        start = std::ftell(f.handle);
        ++line_no;
        return read_line(line, f) != 0;
    };
    auto where = [&]() { return mapping_form ? file_line_number(f, start) : line_no; };

    int n = 0;
    if (mapping_form) {
        if (!next_line() || parse_keyword_int(line, n) != number_status::ok || n < 0 ||
            n > kSoilIdLimit) {
            fail("Error: Richards soil table %s, line %d: the count line must give a number of "
                 "soils from 0 to %d.\n", name, where(), kSoilIdLimit);
            return -1;
        }
        if (!next_line()) {
            fail("Error: Richards soil table %s ends after its count line.\n", name);
            return -1;
        }
        skip_table_heading(f);   // the line read above holds a number that is not used
    } else {
        char token[kTokenSize];
        if (!next_line() || next_checked_int(line, n, token) != number_status::ok || n < 0 ||
            n > kSoilIdLimit) {
            fail("Error: Richards soil table %s, line 1: the number of soils must be a whole "
                 "number from 0 to %d.\n", name, kSoilIdLimit);
            return -1;
        }
        if (!next_line()) {
            fail("Error: Richards soil table %s ends at line %d before its first soil.\n", name,
                 line_no);
            return -1;
        }
    }

    for (int s = 1; s <= n; ++s) {
        int id = 0;
        if (!mapping_form) {
            if (!next_line()) {
                fail("Error: Richards soil table %s ends at line %d after %d of its %d soils.\n",
                     name, line_no, s - 1, n);
                return -1;
            }
            char token[kTokenSize];
            if (next_checked_int(line, id, token) != number_status::ok) {
                fail("Error: Richards soil table %s, line %d: the soil id \"%.63s\" is not a "
                     "whole number.\n", name, line_no, token);
                return -1;
            }
            if (id < 1 || id > kSoilIdLimit) {
                fail("Error: Richards soil table %s, line %d: soil id %d lies outside 1..%d.\n",
                     name, line_no, id, kSoilIdLimit);
                return -1;
            }
            if (long_term) {
                if (!next_line() || read_values(line, kEtValues, soil_table[id].et_values) != kEtValues) {
                    fail("Error: Richards soil table %s, line %d: soil %d needs a line of four "
                         "evapotranspiration values.\n", name, line_no, id);
                    return -1;
                }
            }
        }
        soil_layer_record r;
        for (int layer = 0; layer < 3; ++layer) {
            if (!next_line()) {
                fail("Error: Richards soil table %s ends at line %d inside soil %d.\n", name,
                     where(), s);
                return -1;
            }
            char* text = line;
            if (mapping_form && layer == 0) {
                char token[kTokenSize];
                char* cursor = text;
                if (!next_word_at(cursor, token) ||
                    check_int_token(token, closed_range(1, kSoilIdLimit), id) != number_status::ok) {
                    fail("Error: Richards soil table %s, line %d: the line must begin with a soil "
                         "id from 1 to %d.\n", name, where(), kSoilIdLimit);
                    return -1;
                }
                const size_t length = std::strlen(line);
                text = line + std::min(length, static_cast<size_t>(kMappingValueColumn));
            }
            double v[kHavercampValues + 1] = {};   // one more: a surplus value is refused
            const int got = read_values(text, want + 1, v);
            if (got != want) {
                fail("Error: Richards soil table %s, line %d: layer %d of soil %d needs %d "
                     "values (the last the node spacing in cm), %s.\n",
                     name, where(), layer + 1, id, want,
                     got < 0 ? "and one is not a finite number"
                             : (got > want ? "and has more" : "and has fewer"));
                return -1;
            }
            if (const char* problem = layer_problem(v, model)) {
                fail("Error: Richards soil table %s, line %d: layer %d of soil %d: %s.\n", name,
                     where(), layer + 1, id, problem);
                return -1;
            }
            const double nodes = std::floor(v[6] / (model == kRichardsBrooks ? v[9] : v[11]));
            if (nodes > layer_limit) {
                fail("Error: Richards soil table %s, line %d: layer %d of soil %d needs %.0f "
                     "nodes (thickness / node spacing), more than the %d a layer may hold.\n",
                     name, where(), layer + 1, id, nodes, layer_limit);
                return -1;
            }
            store_layer(r, layer, v, model);
        }
        const int b1 = static_cast<int>(r.thickness[0] / r.node_dz[0]);
        const int b2 = static_cast<int>(r.thickness[1] / r.node_dz[1]) + b1;
        r.layer1_end = b1;
        r.layer2_end = b2;
        r.richards_nodes = static_cast<int>(r.thickness[2] / r.node_dz[2]) + b2 + (water_table ? 0 : 1);
        std::memcpy(r.et_values, soil_table[id].et_values, sizeof(r.et_values));
        soil_table[id] = r;
        if (defined != nullptr) (*defined)[static_cast<size_t>(id)] = 1;
    }
    return n;
}

namespace {

// Soil ids and the soil table: from the mapping-table section of the chosen
// soil model, else from the soil map and the file of soil_layer_input_file.
bool read_richards_soils(run_state& rs, std::vector<char>& defined) {
    const int model = rs.richards_c_option;
    const bool long_term = rs.long_term != 0;
    const bool water_table = rs.water_table != 0;
    const int limit = rs.richards_layer_limit;
    const int section = model == kRichardsBrooks ? input_state::kMapRichardsBrooks
                                                  : input_state::kMapRichardsHavercamp;
    if (rs.soil_layer_file.is_open()) {
        if (!rs.soil_type_file.is_open()) {
            fail("Error: Richards infiltration with the soil table %s needs the soil map (card "
                 "soil_type_map).\n", rs.files.soil_layer_input_file);
            return false;
        }
        const char* map_name = rs.files.soil_type_map;
        print_reading_line(rs, "reading soil map from file: %s\n", map_name);
        rs.soiltype.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
        const bool ok = read_map_file(rs.soil_type_file, map_name, kMapCellIds, rs.map_north,
                                      rs.map_south, rs.map_east, rs.map_west, rs.map_rows,
                                      rs.map_cols, rs.mask, nullptr, nullptr, &rs.soiltype,
                                      rs.rows, rs.cols);
        close_file_object(rs.soil_type_file);
        if (!ok) {
            if (error_record.code > 0 && !error_record.stop) report_error(error_record);
            return false;
        }
        const int count = read_richards_soil_table(rs.soil_layer_file, false, model, long_term,
                                                   water_table, limit, rs.soil_table.data(), &defined);
        close_file_object(rs.soil_layer_file);
        return count >= 0;
    }
    if (rs.mapping_table_given && rs.mapping_sections[section] != 0) {
        auto reader = [&](file_object& table) {
            return read_richards_soil_table(table, true, model, long_term, water_table, limit,
                                            rs.soil_table.data(), &defined);
        };
        const int r = load_richards_soil_table(rs, rs.files.mapping_table, model, rs.soiltype, reader);
        if (r < 0 && error_record.code > 0 && !error_record.stop) report_error(error_record);
        return r >= 0;
    }
    fail("Error: Richards infiltration (card inf_richards) needs a soil table: the card "
         "soil_layer_input_file with the card soil_type_map, or the %s section of the mapping "
         "table.\n",
         model == kRichardsBrooks ? "RICHARDS_EQN_INFILTRATION_BROOKS"
                                  : "RICHARDS_EQN_INFILTRAIION_HAVERCAMP");
    return false;
}

// The settings of the column solver that would leave it without a pass or
// without a sub-step are refused naming the card.
bool check_richards_settings(const run_state& rs) {
    if (rs.richards_iter_max < 1) {
        fail("Error: card richards_iter_max has the value %d; the Richards solver needs at least "
             "1 pass per sub-step.\n", rs.richards_iter_max);
        return false;
    }
    if (!(rs.richards_dtheta_max > 0.0)) {
        fail("Error: card richards_dtheta_max has the value %g; the largest water-content change "
             "per Richards sub-step must be above 0.\n", rs.richards_dtheta_max);
        return false;
    }
    if (!(rs.richards_weight >= 0.0 && rs.richards_weight <= 1.0)) {
        fail("Error: card richards_weight has the value %g; the weight of the upper node's "
             "conductivity must lie between 0 and 1.\n", rs.richards_weight);
        return false;
    }
    if (rs.richards_c_option != kRichardsBrooks && rs.richards_c_option != kRichardsHavercamp) {
        fail("Error: Richards infiltration needs the card richards_c_option with brooks or "
             "havercamp.\n");
        return false;
    }
    return true;
}

// Column of one cell from its soil, without or above a water table.
bool fill_column(run_state& rs, int cell, const soil_layer_record& soil) {
    const size_t c = static_cast<size_t>(cell);
    const int model = rs.richards_c_option;
    const bool table = rs.water_table != 0;
    int count = soil.richards_nodes;
    if (table) {
        count = water_table_nodes(rs, soil, cell);
        const int cap = kColumnNodeFactor * rs.richards_layer_limit;
        if (count < 0 || count + kWaterTableExtraNodes > cap) {
            fail("Error: cell %d: its Richards column down to the aquifer bottom needs more than "
                 "%d nodes; raise aquifer_delta_z or check the aquifer bottom map.\n", cell, cap);
            return false;
        }
        rs.numcells[c] = count;
        count += kWaterTableExtraNodes;
    }
    rs.numtot[c] = count;
    richards_column& col = rs.richards_columns[c];
    std::vector<double>& theta = rs.richards_theta[c];
    std::vector<double>& dz = rs.richards_dz[c];
    std::vector<double>& ths = rs.richards_theta_s[c];
    size_column(col, theta, dz, ths, count + 2);

    const double s_cm = (rs.aquifer_delta_z > 0.0 ? rs.aquifer_delta_z : kDerivedAquiferDz) * kCmPerMetre;
    const int soil_nodes = soil.richards_nodes;
    rs.totaldz[c] = soil.thickness[0] + soil.thickness[1] + soil.thickness[2];
    rs.avgks[c] = (soil.ksat[0] * soil.thickness[0] + soil.ksat[1] * soil.thickness[1] +
                   soil.ksat[2] * soil.thickness[2]) / rs.totaldz[c];
    for (int k = 1; k <= count; ++k) {
        const size_t kk = static_cast<size_t>(k);
        const int layer = layer_of(soil, k);
        col.soil[kk] = node_soil_of(soil, layer, model);
        ths[kk] = soil.porosity[layer];
        theta[kk] = soil.initial_theta[layer];
        dz[kk] = (table && k > soil_nodes) ? s_cm : soil.node_dz[layer];
    }
    // Under two-dimensional groundwater the nodes below the soil take the
    // aquifer's material once its maps are read (couple_richards_to_aquifer).
    for (int k = 1; k <= count; ++k) {
        const size_t kk = static_cast<size_t>(k);
        col.head[kk] = richards_head_of_theta(col.soil[kk], ths[kk], theta[kk], model);
    }
    // Harmonic-mean conductivity at the top of layers 2 and 3.
    const int b1 = soil.layer1_end;
    const int b2 = soil.layer2_end;
    if (b1 + 1 <= count) {
        col.soil[static_cast<size_t>(b1 + 1)].ks =
            (soil.node_dz[0] + soil.node_dz[1]) / (soil.node_dz[0] / soil.ksat[0] + soil.node_dz[1] / soil.ksat[1]);
    }
    if (b2 + 1 <= count && b2 > b1) {
        col.soil[static_cast<size_t>(b2 + 1)].ks =
            (soil.node_dz[1] + soil.node_dz[2]) / (soil.node_dz[1] / soil.ksat[1] + soil.node_dz[2] / soil.ksat[2]);
    }

    rs.yes_exfil[c] = 0;
    if (table) {
        const double ground = rs.elevation[c];   // m
        const double wt = rs.elevgw[c];          // m
        if (wt >= ground) {
            // Water table at or above the ground: one saturated node.
            col.head[1] = dz[1] * 0.5 + (wt - ground) * kCmPerMetre;
            theta[1] = ths[1];
            count = 1;
            rs.yes_exfil[c] = 1;
        } else {
            double top = ground;
            int walked = 0;
            for (int k = 1; k < count; ++k) {
                const size_t kk = static_cast<size_t>(k);
                const double bottom = top - dz[kk] / kCmPerMetre;
                const bool assign = !rs.gw_assign_theta || k > soil_nodes;
                if (bottom > wt + kStraddleTolerance) {
                    col.head[kk] = (wt - 0.5 * (top + bottom)) * kCmPerMetre;
                } else {
                    dz[kk] = (top - wt) * kCmPerMetre;
                    col.head[kk] = -0.5 * dz[kk];
                    walked = k + 1;
                }
                if (assign) {
                    theta[kk] = richards_theta_of_head(col.soil[kk], ths[kk], col.head[kk], model);
                } else {
                    col.head[kk] = richards_head_of_theta(col.soil[kk], ths[kk], theta[kk], model);
                }
                if (walked > 0) break;
                top = bottom;
            }
            if (walked == 0) {
                fail("Error: cell %d: the water table (%g m) lies below the %d nodes of its "
                     "Richards column; check the water table and aquifer bottom maps.\n",
                     cell, wt, count);
                return false;
            }
            const size_t last = static_cast<size_t>(walked);
            col.head[last] = 0.5 * dz[last];
            theta[last] = ths[last];
            count = walked;
        }
    } else {
        // Free drainage: the bottom node copies its neighbour.
        const size_t last = static_cast<size_t>(count);
        if (count > 1) {
            col.head[last] = col.head[last - 1];
            theta[last] = theta[last - 1];
        }
    }
    rs.richards_nodes[c] = count;
    col.soil[0] = col.soil[1];
    dz[0] = dz[1];
    ths[0] = ths[1];
    theta[0] = theta[1];
    col.head[0] = col.head[1];
    col.flux[0] = 0.0;
    richards_update_row(col, theta.data(), ths.data(), count, model);
    return true;
}

}  // namespace

bool initial_soil_volumes(run_state& rs) {
    const int n = rs.GNUM;
    const size_t slots = static_cast<size_t>(n) + 1;
    rs.richards_columns.assign(slots, richards_column{});
    rs.richards_theta.assign(slots, {});
    rs.richards_dz.assign(slots, {});
    rs.richards_theta_s.assign(slots, {});
    rs.richards_nodes.assign(slots, 0);
    for (std::vector<int>* v : {&rs.numcells, &rs.numtot, &rs.bound_type, &rs.yes_exfil}) {
        if (v->size() < slots) v->resize(slots, 0);
    }
    for (std::vector<double>* v : {&rs.totaldz, &rs.avgks, &rs.dtr, &rs.masserror, &rs.inf_rich,
                                   &rs.gw_recharge_depth, &rs.infil_rate, &rs.cum_infil}) {
        if (v->size() < slots) v->resize(slots, 0.0);
    }
    if (rs.water_table) {
        for (std::vector<double>* v : {&rs.elevgw, &rs.elevation, &rs.bottom_elev}) {
            if (v->size() < slots) {
                fail("Error: Richards columns over a water table need the water table, ground "
                     "and aquifer bottom of every cell.\n");
                return false;
            }
        }
    }
    const double area = rs.cell_size * rs.cell_size;   // m2
    const double root_cm = rs.soil_moist_depth;        // cm
    double root_zone = 0.0, column = 0.0;              // m3
    for (int i = 1; i <= n; ++i) {
        const int id = rs.soiltype[static_cast<size_t>(i)];
        if (id < 1 || id > kSoilIdLimit || rs.soil_table[id].richards_nodes < 1) {
            fail("Error: cell %d has the soil id %d, which the Richards soil table does not "
                 "hold.\n", i, id);
            return false;
        }
        if (!fill_column(rs, i, rs.soil_table[id])) return false;
        const std::vector<double>& theta = rs.richards_theta[static_cast<size_t>(i)];
        const std::vector<double>& dz = rs.richards_dz[static_cast<size_t>(i)];
        double depth = 0.0;
        for (int k = 1; k < rs.richards_nodes[static_cast<size_t>(i)]; ++k) {
            const double w = theta[static_cast<size_t>(k)] * dz[static_cast<size_t>(k)] / kCmPerMetre * area;
            if (depth + 0.5 * dz[static_cast<size_t>(k)] <= root_cm) root_zone += w;
            column += w;
            depth += dz[static_cast<size_t>(k)];
        }
    }
    file_printf(rs.summary_file, "Inital volume of water in root zone= %lf \n \n", root_zone);
    file_printf(rs.summary_file, "Inital volume of water in soil column= %lf \n \n", column);
    return true;
}

void init_richards(run_state& rs) {
    if (!rs.inf_richards) return;
    if (!check_richards_settings(rs)) return;
    if (rs.richards_layer_limit < 1) rs.richards_layer_limit = 151;
    if (!rs.quiet) print_message("Reading Soil Table");
    std::vector<char> defined(static_cast<size_t>(kSoilIdLimit) + 1, 0);
    if (rs.soiltype.size() < static_cast<size_t>(rs.GNUM) + 1) rs.soiltype.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
    if (!read_richards_soils(rs, defined)) return;
    for (int i = 1; i <= rs.GNUM; ++i) {
        const int id = rs.soiltype[static_cast<size_t>(i)];
        if (id < 1 || id > kSoilIdLimit || !defined[static_cast<size_t>(id)]) {
            fail("Error: cell %d has the soil id %d, which the Richards soil table does not "
                 "hold.\n", i, id);
            return;
        }
    }
    if (!rs.quiet) print_message("   Done\n");
    if (!rs.quiet) print_message("Initialize Richards Params");
    if (!initial_soil_volumes(rs)) return;
    const double first_dt = rs.settings.timestep / kSecondsPerHour;   // h
    for (int i = 1; i <= rs.GNUM; ++i) {
        const size_t c = static_cast<size_t>(i);
        rs.dtr[c] = first_dt;
        rs.bound_type[c] = 1;
        if (rs.water_table && rs.yes_exfil[c] == 1) rs.exfiltration = 1;
        if (rs.theta_all.size() > c) rs.theta_all[c] = rs.richards_theta[c][1];
    }
    if (!rs.quiet) print_message("   Done\n");
}
