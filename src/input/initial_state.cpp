// Initial state, hotstarts and initial storages.
//
// Depths of the soil accounting are in cm (card values in m x 100), water
// contents in m3/m3, surface depths and elevations in m, volumes in m3.
// Arrays of a process that is off are empty and are left alone; an array is
// written only when it has its GNUM + 1 slots.
#include "input/initial_state.h"

#include <cstdio>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "input/cell_arrays.h"
#include "input/map_reader.h"

namespace {

constexpr double kTiny = 1e-16;            // depths and contents below this count as none
constexpr double kInitialSnowDensity = 0.15;   // density of a fresh pack, g/cm3

template <class T>
bool has_cells(const std::vector<T>& v, int n) {
    return n >= 1 && static_cast<int>(v.size()) == n + 1;
}

// Sizes a per-cell array that its group did not create (a hotstart of a
// process that is off still needs somewhere to go).
void ensure_cells(std::vector<double>& v, int n, const char* name) {
    if (!has_cells(v, n)) size_cell_array(v, n, name);
}

void fail_printed() {
    error_record.code = kErrorPrinted;
    report_error(error_record);
}

// The hotstart file opened by open_run_files, or opened here by its name.
bool hotstart_open(file_object& f, const char* name, const char* what) {
    if (f.is_open()) return true;
    if (open_file_named(f, name, "r")) return true;
    set_error(4, what, name);
    error_record.stop = 1;
    return false;
}

// Reads a real map per cell into `target` and closes the file.
bool read_cell_map(run_state& rs, file_object& f, const char* path, std::vector<double>& target) {
    rs.map_kind = kMapCellReals;
    const bool read = read_map_file(f, path, kMapCellReals, rs.map_north, rs.map_south, rs.map_east,
                                    rs.map_west, rs.map_rows, rs.map_cols, rs.mask, &target,
                                    nullptr, nullptr, rs.rows, rs.cols);
    close_file_object(f);
    return read;
}

bool infiltration_on(const run_state& rs) {
    return rs.green_ampt || rs.inf_redist || rs.inf_layered_soil || rs.inf_richards;
}

bool soil_accounting_on(const run_state& rs) { return rs.inf_redist || rs.inf_layered_soil; }

bool channel_lake_cell(const run_state& rs, int cell) {
    return rs.channel_lakes && has_cells(rs.lake_mask, rs.GNUM) &&
           rs.lake_mask[static_cast<size_t>(cell)] > 0;
}

// Nodes of a cell's Richards column that all of its node arrays hold.
int column_nodes(const run_state& rs, int cell) {
    const size_t c = static_cast<size_t>(cell);
    if (cell < 1 || c >= rs.richards_nodes.size() || c >= rs.richards_theta.size() ||
        c >= rs.richards_dz.size())
        return 0;
    int n = rs.richards_nodes[c];
    const int held = static_cast<int>(rs.richards_theta[c].size()) - 1;
    const int held_dz = static_cast<int>(rs.richards_dz[c].size()) - 1;
    if (n > held) n = held;
    if (n > held_dz) n = held_dz;
    return n > 0 ? n : 0;
}

// Checks the soil type of every cell against the soil table.
bool soil_types_valid(const run_state& rs) {
    for (int j = 1; j <= rs.GNUM; ++j) {
        const int t = rs.soiltype[static_cast<size_t>(j)];
        if (t < 0 || t >= subsurface_state::kSoilTableSize) {
            std::printf("Error: soil type %d of grid cell %d is outside the soil table (0 to %d)\n",
                        t, j, subsurface_state::kSoilTableSize - 1);
            fail_printed();
            return false;
        }
    }
    return true;
}

// Start values of the soil-moisture accounting of one cell (redistribution
// or layered soil); returns the water of its column, cm.
double init_soil_column(run_state& rs, int j) {
    const size_t c = static_cast<size_t>(j);
    const soil_layer_record* soil = nullptr;
    if (rs.inf_layered_soil) soil = &rs.soil_table[rs.soiltype[c]];
    if (has_cells(rs.yes_exfil, rs.GNUM)) rs.yes_exfil[c] = 0;

    // Soil depth d, cm.
    double d = rs.inf_layered_soil ? soil->thickness[0] + soil->thickness[1] : rs.soil_moist_depth;
    if (rs.water_table && has_cells(rs.elevgw, rs.GNUM)) {
        const double ground = rs.elevation[c];
        const double table = rs.elevgw[c];
        if (table < ground) {
            const double to_table = (ground - table) * 100.0;
            if (to_table < d) d = to_table;
        } else {
            // Water table at or above the ground: the soil is saturated.
            if (rs.inf_layered_soil) {
                for (int k = 1; k <= 3; ++k) rs.theta_ml[c][static_cast<size_t>(k)] = soil->porosity[k - 1];
            } else if (has_cells(rs.phi, rs.GNUM)) {
                rs.thi[c] = rs.phi[c];
            }
            d = 0.0;
            if (!channel_lake_cell(rs, j)) {
                if (has_cells(rs.yes_exfil, rs.GNUM)) rs.yes_exfil[c] = 1;
                rs.exfiltration = 1;
            }
        }
    }
    if (rs.gw_simulation && has_cells(rs.gw_inf_redist_theta, rs.GNUM) &&
        has_cells(rs.gw_porosity, rs.GNUM)) {
        rs.gw_inf_redist_theta[c] = rs.gw_porosity[c] * rs.single_unsat_sat;
    }
    if (has_cells(rs.unsat_depth, rs.GNUM)) rs.unsat_depth[c] = d;

    // Water of the column split into the top part and the part below it, cm.
    double top = 0.0;
    double lower = 0.0;
    if (rs.inf_layered_soil) {
        const double l1 = soil->thickness[0];
        const double l2 = soil->thickness[1];
        const double m1 = rs.theta_ml[c][1];
        const double m2 = rs.theta_ml[c][2];
        if (d <= l1) {
            top = d * m1;
        } else if (d < l1 + l2) {
            top = l1 * m1;
            lower = (d - l1) * m2;
        } else {
            top = l1 * m1;
            lower = l2 * m2;
        }
    } else {
        const double theta = rs.thi[c];
        const double layer = rs.top_layer_depth;
        top = (d < layer ? d : layer) * theta;
        lower = d > layer ? (d - layer) * theta : 0.0;
    }
    if (has_cells(rs.root_zone_upper, rs.GNUM)) rs.root_zone_upper[c] = top;
    if (has_cells(rs.root_zone_lower, rs.GNUM)) rs.root_zone_lower[c] = lower;
    if (has_cells(rs.root_zone_water, rs.GNUM)) rs.root_zone_water[c] = top + lower;
    return top + lower;
}

void clear_snow_state(run_state& rs, int j, bool initial_snow) {
    const size_t c = static_cast<size_t>(j);
    const int n = rs.GNUM;
    if (has_cells(rs.snow_ati, n)) rs.snow_ati[c] = 0.0;
    if (has_cells(rs.snow_heat_deficit, n)) rs.snow_heat_deficit[c] = 0.0;
    if (has_cells(rs.snow_liquid, n)) rs.snow_liquid[c] = 0.0;
    if (!initial_snow) {
        if (has_cells(rs.snow_swe, n)) rs.snow_swe[c] = 0.0;
        if (has_cells(rs.snow_ice, n)) rs.snow_ice[c] = 0.0;
    }
    if (has_cells(rs.snow_density, n)) rs.snow_density[c] = kInitialSnowDensity;
    if (has_cells(rs.qlr, n)) {
        for (int k = 1; k <= 6; ++k) rs.qlr[c][static_cast<size_t>(k)] = 0.0;
    }
}

}  // namespace

void read_initial_surface_state(run_state& rs) {
    project_cards& cards = rs.cards;
    const int n = rs.GNUM;

    // 1. Snow water equivalent: a map (mode 1) or one value for every cell (mode 3).
    const bool swe_map = cards.init_swe_depth_mode == 1;
    const bool swe_value = cards.init_swe_depth_mode == 3;
    if (swe_map || swe_value) {
        ensure_cells(rs.snow_swe, n, "snow_swe");
        ensure_cells(rs.snow_ice, n, "snow_ice");
        if (swe_map) {
            print_reading_line(rs, "reading initial snow swe map from file: %s\n",
                               cards.init_swe_depth);
            if (!hotstart_open(rs.swe_hotstart_file, cards.init_swe_depth, "SWE input hotstart"))
                return;
            if (!read_cell_map(rs, rs.swe_hotstart_file, cards.init_swe_depth, rs.snow_swe)) return;
        } else {
            for (int j = 1; j <= n; ++j) rs.snow_swe[static_cast<size_t>(j)] = cards.init_swe_depth_value;
        }
        // The ice of the pack (mm) is set by the snow routine at its first whole hour.
        for (int j = 1; j <= n; ++j) rs.snow_ice[static_cast<size_t>(j)] = 0.0;
        rs.snow = 1;
    }

    // 2. Overland depth hotstart.
    if (cards.ov_init_depth_given) {
        print_reading_line(rs, "reading overland hotstart map from file: %s\n", cards.ov_init_depth);
        if (!hotstart_open(rs.ov_hotstart_file, cards.ov_init_depth, "overland hotstart")) return;
        ensure_cells(rs.ov_depth, n, "ov_depth");
        if (!read_cell_map(rs, rs.ov_hotstart_file, cards.ov_init_depth, rs.ov_depth)) return;
        ensure_cells(rs.ov_depth_prev, n, "ov_depth_prev");
        for (int j = 1; j <= n; ++j) rs.ov_depth_prev[static_cast<size_t>(j)] = rs.ov_depth[static_cast<size_t>(j)];
    }

    // 3. Uniform initial water surface (m): cells whose ground lies below it fill up to it.
    if (cards.init_elev_head_given && has_cells(rs.elevation, n)) {
        ensure_cells(rs.ov_depth, n, "ov_depth");
        ensure_cells(rs.ov_depth_prev, n, "ov_depth_prev");
        for (int j = 1; j <= n; ++j) {
            const size_t c = static_cast<size_t>(j);
            if (rs.elevation[c] < cards.init_elev_head) {
                rs.ov_depth[c] = cards.init_elev_head - rs.elevation[c];
                rs.ov_depth_prev[c] = rs.ov_depth[c];
            }
        }
    }

    // 4. Long-term runs start their processes at once when water or snow lies.
    if (rs.long_term) {
        if (has_cells(rs.ov_depth, n)) {
            for (int j = 1; j <= n; ++j) {
                if (rs.ov_depth[static_cast<size_t>(j)] > kTiny) {
                    rs.surface_water_present = 1;
                    break;
                }
            }
        }
        if (has_cells(rs.snow_swe, n)) {
            for (int j = 1; j <= n; ++j) {
                if (rs.snow_swe[static_cast<size_t>(j)] > kTiny) {
                    rs.snow = 1;
                    break;
                }
            }
        }
    }
}

void read_soil_moisture_hotstart(run_state& rs) {
    project_cards& cards = rs.cards;
    if (!cards.read_sm_hotstart_given) return;
    const int n = rs.GNUM;
    print_reading_line(rs, "reading soil moisture hotstart map from file: %s\n",
                       cards.read_sm_hotstart);
    if (!hotstart_open(rs.sm_hotstart_file, cards.read_sm_hotstart, "soil moisture hotstart")) return;
    ensure_cells(rs.sm_hotstart, n, "sm_hotstart");
    if (!read_cell_map(rs, rs.sm_hotstart_file, cards.read_sm_hotstart, rs.sm_hotstart)) return;

    for (int j = 1; j <= n; ++j) {
        const size_t c = static_cast<size_t>(j);
        const double theta = rs.sm_hotstart[c];
        if (rs.inf_richards) {
            if (column_nodes(rs, j) >= 1) rs.richards_theta[c][1] = theta;
        } else if (rs.green_ampt || rs.inf_redist) {
            if (has_cells(rs.thi, n)) rs.thi[c] = theta;
            if (rs.inf_redist) {
                if (has_cells(rs.redist_theta, n)) rs.redist_theta[c] = theta;
                if (has_cells(rs.redist_theta_prev, n)) rs.redist_theta_prev[c] = theta;
            }
        } else if (rs.inf_layered_soil) {
            if (has_cells(rs.theta_ml, n)) rs.theta_ml[c][1] = theta;
        }
    }
}

void set_initial_state(run_state& rs) {
    const int n = rs.GNUM;
    const double area = rs.cell_size * rs.cell_size;   // m2

    // 1. Layer depths of the Green-Ampt family (cm) default to the depths above them.
    if (rs.green_ampt || rs.inf_redist) {
        if (rs.top_layer_depth < kTiny) rs.top_layer_depth = rs.soil_moist_depth;
        if (rs.mixing_layer_depth < kTiny) rs.mixing_layer_depth = rs.top_layer_depth;
    }

    const bool infiltration = infiltration_on(rs) && has_cells(rs.elevation, n);
    const bool accounting = infiltration && soil_accounting_on(rs) && has_cells(rs.thi, n);
    if (accounting && rs.inf_layered_soil) {
        if (!has_cells(rs.soiltype, n) || !has_cells(rs.theta_ml, n)) {
            std::printf("Error: the layered soil has no soil types for its %d cells\n", n);
            fail_printed();
            return;
        }
        if (!soil_types_valid(rs)) return;
    }
    const bool initial_snow = rs.cards.init_swe_depth_mode == 1 || rs.cards.init_swe_depth_mode == 3;

    // 2. Per cell.
    rs.vol_soil_moist_init = 0.0;
    for (int j = 1; j <= n; ++j) {
        const size_t c = static_cast<size_t>(j);
        if (!infiltration) continue;
        if (has_cells(rs.cum_infil, n)) rs.cum_infil[c] = 0.0;
        if (has_cells(rs.cum_infil_prev, n)) rs.cum_infil_prev[c] = 0.0;
        if (rs.inf_richards) {
            if (has_cells(rs.bound_type, n)) rs.bound_type[c] = 1;
            if (has_cells(rs.inf_rich, n)) rs.inf_rich[c] = 0.0;
        }
        if (rs.inf_redist) {
            for (std::vector<int>* counter : {&rs.iter_pond_1, &rs.iter_n, &rs.no_wat_prof,
                                              &rs.iter_i_less_k}) {
                if (has_cells(*counter, n)) (*counter)[c] = 0;
            }
            if (has_cells(rs.thi, n)) {
                if (has_cells(rs.redist_theta, n)) rs.redist_theta[c] = rs.thi[c];
                if (has_cells(rs.redist_theta_prev, n)) rs.redist_theta_prev[c] = rs.thi[c];
            }
            if (has_cells(rs.redist_water, n)) rs.redist_water[c] = 0.0;
        }
        if (accounting) {
            const double column_water = init_soil_column(rs, j);   // cm
            rs.vol_soil_moist_init += column_water / 100.0 * area;
        }
        if (rs.inf_layered_soil && has_cells(rs.wetdep, n)) rs.wetdep[c] = 0.0;
        if (rs.long_term) clear_snow_state(rs, j, initial_snow);
    }

    // 3. Volumes.
    if (rs.gw_simulation && has_cells(rs.elevgw, n) && has_cells(rs.bottom_elev, n) &&
        has_cells(rs.gw_porosity, n)) {
        rs.gw_vol_start = 0.0;
        for (int j = 1; j <= n; ++j) {
            const size_t c = static_cast<size_t>(j);
            rs.gw_vol_start += (rs.elevgw[c] - rs.bottom_elev[c]) * rs.gw_porosity[c] * area;
        }
    }
    if (rs.lakes && has_cells(rs.oland_lake_mask, n) && has_cells(rs.elevation, n)) {
        rs.vol_ovlake_init = 0.0;
        for (int j = 1; j <= n; ++j) {
            const size_t c = static_cast<size_t>(j);
            const int lake = rs.oland_lake_mask[c];
            if (lake < 1) continue;
            if (lake >= static_cast<int>(rs.overland_lakes.size())) {
                std::printf("Error: grid cell %d lies in lake %d, which the lake file does not "
                            "define\n",
                            j, lake);
                fail_printed();
                return;
            }
            const double level = rs.overland_lakes[static_cast<size_t>(lake)].initial_level;
            const double depth = level - rs.elevation[c];
            if (depth < 0.0) {
                std::printf("\nWARNING: initial water surface elevation in lake %d is %f which is\n",
                            lake, level);
                std::printf("less than the land surface elevation in grid cell %d, %f.\n", j,
                            rs.elevation[c]);
                std::printf("You should either raise your initial lake elevation or lower that grid\n");
                std::printf("cell elevation.  Program stopped.\n");
                fail_printed();
                return;
            }
            rs.vol_ovlake_init += depth * area;
        }
    }
    if (accounting) {
        // Soil columns, plus the water between the column bottom and the water table.
        double volume = rs.vol_soil_moist_init;
        if (rs.water_table && has_cells(rs.elevgw, n) && has_cells(rs.unsat_depth, n) &&
            has_cells(rs.gw_inf_redist_theta, n)) {
            for (int j = 1; j <= n; ++j) {
                const size_t c = static_cast<size_t>(j);
                const double to_table = rs.elevation[c] - rs.elevgw[c];   // m
                const double soil = rs.unsat_depth[c] / 100.0;             // m
                if (to_table > soil) volume += (to_table - soil) * rs.gw_inf_redist_theta[c] * area;
            }
        }
        rs.vol_soil_init = volume;
    }
    if (rs.inf_richards) {
        double volume = 0.0;
        for (int j = 1; j <= n; ++j) {
            const size_t c = static_cast<size_t>(j);
            // Nodes 1..n-1 as at the run end: node n is the bottom boundary
            // (the saturated node at a water table, or a copy of n-1).
            const int nodes = column_nodes(rs, j);
            for (int k = 1; k <= nodes - 1; ++k) {
                volume += rs.richards_theta[c][static_cast<size_t>(k)] *
                          rs.richards_dz[c][static_cast<size_t>(k)] / 100.0 * area;
            }
        }
        rs.vol_soil_init = volume;
    }
}

void compute_initial_surface_volume(run_state& rs) {
    const int n = rs.GNUM;
    rs.vol_surface_init = 0.0;
    if (!has_cells(rs.ov_depth, n)) return;
    const bool skip_overland_lakes = rs.lakes && has_cells(rs.oland_lake_mask, n);
    const bool skip_channel_lakes = !rs.lakes && rs.channel_lakes && has_cells(rs.lake_mask, n);
    const double area = rs.cell_size * rs.cell_size;
    for (int j = 1; j <= n; ++j) {
        const size_t c = static_cast<size_t>(j);
        if (skip_overland_lakes && rs.oland_lake_mask[c] >= 1) {
            rs.ov_depth[c] = 0.0;   // the lake holds the water of its cells; they hold no depth
            continue;
        }
        if (skip_channel_lakes && rs.lake_mask[c] >= 1) continue;
        rs.vol_surface_init += rs.ov_depth[c] * area;
    }
    // Snow water equivalent (m) at the start, for the run balance.
    rs.vol_snow_init = 0.0;
    if (has_cells(rs.snow_swe, n)) {
        for (int j = 1; j <= n; ++j) rs.vol_snow_init += rs.snow_swe[static_cast<size_t>(j)] * area;
    }
}

double richards_sampled_saturation(const run_state& rs, int cell, double depth) {
    const int nodes = column_nodes(rs, cell);
    if (nodes < 2) return 0.0;
    const size_t c = static_cast<size_t>(cell);
    const std::vector<double>& theta = rs.richards_theta[c];
    const std::vector<double>& dz = rs.richards_dz[c];
    const std::vector<double>* theta_s =
        c < rs.richards_theta_s.size() ? &rs.richards_theta_s[c] : nullptr;
    double water = 0.0;       // sum of theta/theta_s x dz over nodes 1..K, cm
    double thickness = 0.0;   // thickness of nodes 2..K+1, cm
    // K + 1 never passes the last node of the column.
    for (int k = 1; k + 1 <= nodes; ++k) {
        const size_t kk = static_cast<size_t>(k);
        const double saturated =
            (theta_s != nullptr && kk < theta_s->size()) ? (*theta_s)[kk] : 0.0;
        if (saturated > 0.0) water += theta[kk] / saturated * dz[kk];
        thickness += dz[kk + 1];
        if (thickness >= depth) break;
    }
    return thickness > 0.0 ? water / thickness : 0.0;
}
