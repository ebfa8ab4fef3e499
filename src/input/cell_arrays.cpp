// Per-cell array allocation, in groups gated by the process options.
//
// Only the arrays whose names and meaning are settled here are created; the
// work arrays of a process are created by that process's own set-up.
#include "input/cell_arrays.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "run/run_state.h"

namespace {

constexpr char kSizeZeroMessage[] = "Error: Attempting to allocate array of size 0\n";
constexpr int kRichardsLayerLimit = 151;   // most nodes of one Richards soil layer

template <class T>
bool size_array(std::vector<T>& v, int n, const char* name, const T& value) {
    v.clear();
    if (n == 0) return true;
    if (n < 0) {
        std::printf("%s", kSizeZeroMessage);
        return false;
    }
    try {
        v.assign(static_cast<size_t>(n) + 1, value);
    } catch (const std::bad_alloc&) {
        std::printf("Error allocating memory for variable %s\n", name != nullptr ? name : "");
        v.clear();
        v.shrink_to_fit();
        return false;
    }
    return true;
}

// Sets slots 1..n of a per-cell array to value (slot 0 stays 0).
template <class T>
void fill_cells(std::vector<T>& v, int n, const T& value) {
    for (int k = 1; k <= n && k < static_cast<int>(v.size()); ++k) v[static_cast<size_t>(k)] = value;
}

bool infiltration_on(const run_state& rs) {
    return rs.green_ampt || rs.inf_redist || rs.inf_layered_soil || rs.inf_richards;
}

void alloc_overland_groups(run_state& rs, int n) {
    // 1, 3, 5: depth, rain, slopes and face flows.
    size_cell_array(rs.ov_depth, n, "ov_depth");
    size_cell_array(rs.cell_rain_rate, n, "cell_rain_rate");
    size_cell_array(rs.ov_aux, n, "ov_aux");
    size_cell_array(rs.ov_slope_x, n, "ov_slope_x");
    size_cell_array(rs.ov_slope_y, n, "ov_slope_y");
    size_cell_array(rs.ov_qx, n, "ov_qx");
    size_cell_array(rs.ov_qy, n, "ov_qy");
    // The previous-step depth is made by the initial state that fills it
    // (a hotstart or an initial water surface); no step reads it.
    // 6: neighbours; the exfiltration flag only for the soil and groundwater
    // steps that set or read it.
    size_cell_array(rs.belowcon, n, "belowcon");
    size_cell_array(rs.rightcon, n, "rightcon");
    size_cell_array(rs.abovecon, n, "abovecon");
    size_cell_array(rs.leftcon, n, "leftcon");
    if (infiltration_on(rs) || rs.gw_simulation) size_cell_array(rs.yes_exfil, n, "yes_exfil");
}

void alloc_soil_parameter_group(run_state& rs, int n) {
    // 7: each Green-Ampt parameter by its own switch.
    if (rs.conductivity) size_cell_array(rs.ksat, n, "ksat");
    if (rs.capillary) size_cell_array(rs.cap_drive, n, "cap_drive");
    if (rs.porosity) size_cell_array(rs.phi, n, "phi");
    if (rs.pore_index) size_cell_array(rs.pore_dist_index, n, "pore_index");
    if (rs.residual_sat) size_cell_array(rs.thr, n, "thr");
}

void alloc_infiltration_groups(run_state& rs, int n) {
    if (!infiltration_on(rs)) return;
    // 9
    size_cell_array(rs.thi, n, "thi");
    size_cell_array(rs.redist_theta_prev, n, "redist_theta_prev");
    size_cell_array(rs.cum_infil, n, "cum_infil");
    size_cell_array(rs.cum_infil_prev, n, "cum_infil_prev");
    // 10: redistribution
    if (rs.inf_redist) {
        size_cell_array(rs.redist_theta, n, "redist_theta");
        size_cell_array(rs.iter_pond_1, n, "iter_pond_1");
        size_cell_array(rs.iter_n, n, "iter_n");
        size_cell_array(rs.no_wat_prof, n, "no_wat_prof");
        size_cell_array(rs.iter_i_less_k, n, "iter_i_less_k");
        size_cell_array(rs.redist_water, n, "redist_water");
    }
    // 11: soil-moisture accounting
    if (rs.inf_redist || rs.inf_layered_soil) {
        size_cell_array(rs.unsat_depth, n, "unsat_depth");
        size_cell_array(rs.root_zone_upper, n, "root_zone_upper");
        size_cell_array(rs.root_zone_lower, n, "root_zone_lower");
        size_cell_array(rs.root_zone_water, n, "root_zone_water");
        if (rs.gw_simulation) {
            size_cell_array(rs.gw_inf_redist_theta, n, "gw_inf_redist_theta");
            size_cell_array(rs.sm_bottom_loss, n, "sm_bottom_loss");
        }
    }
    // 12: Sacramento with the topographic index
    if (rs.sacramento && rs.sac_topo_index) size_cell_array(rs.topo_dex, n, "topo_dex");
    // 13 to 15: soil types, layered and Richards columns
    if (rs.inf_layered_soil || rs.inf_richards) size_cell_array(rs.soiltype, n, "soiltype");
    if (rs.inf_layered_soil) {
        size_cell_array(rs.wetdep, n, "wetdep");
        size_array(rs.theta_ml, n, "THETA_ML", std::array<double, 5>{});
    }
    if (rs.inf_richards) {
        size_cell_array(rs.volchange, n, "VOLCHANGE");
        size_cell_array(rs.masserror, n, "MASSERROR");
        size_cell_array(rs.dtr, n, "dtr");
        size_cell_array(rs.avgks, n, "avgks");
        size_cell_array(rs.totaldz, n, "totaldz");
        rs.richards_layer_limit = kRichardsLayerLimit;
        size_cell_array(rs.num1, rs.richards_layer_limit, "num1");
        size_cell_array(rs.num2, rs.richards_layer_limit, "num2");
        size_cell_array(rs.num3, rs.richards_layer_limit, "num3");
        size_cell_array(rs.numcells, n, "numcells");
        size_cell_array(rs.numtot, n, "numtot");
        size_cell_array(rs.bound_type, n, "bound_type");
        size_cell_array(rs.elevgw, n, "elevgw");
        size_cell_array(rs.gw_flux, n, "gw_flux");
        size_cell_array(rs.bottom_elev, n, "bottom_elev");
        size_cell_array(rs.inf_rich, n, "inf_rich");
        fill_cells(rs.bound_type, n, 1);
        fill_cells(rs.inf_rich, n, 0.0);
    }
}

void alloc_groundwater_groups(run_state& rs, int n) {
    // 16: water table, stream or lake exchange, channel constituents or sediment
    if (rs.water_table || rs.cards.stream_loss || rs.stream_exchange || rs.chan_con_trans ||
        rs.channel_sediment) {
        size_cell_array(rs.gwbound, n, "gwbound");
        if (!rs.inf_richards) {
            size_cell_array(rs.elevgw, n, "elevgw");
            size_cell_array(rs.gw_flux, n, "gw_flux");
        }
    }
    // 18: two-dimensional groundwater
    if (rs.gw_simulation) {
        size_cell_array(rs.num_unsat_cells, n, "num_unsat_cells");
        size_cell_array(rs.gw_porosity, n, "gw_porosity");
        if (!rs.inf_richards) size_cell_array(rs.bottom_elev, n, "bottom_elev");
    }
}

void alloc_long_term_groups(run_state& rs, int n) {
    if (!rs.long_term) return;
    // 19
    size_cell_array(rs.snow_swe, n, "snow_swe");
    size_cell_array(rs.snow_ice, n, "snow_ice");
    size_array(rs.qlr, n, "QLR", std::array<double, 7>{});
    size_cell_array(rs.scf, n, "scf");
    fill_cells(rs.scf, n, 1.0);
    // 21
    size_cell_array(rs.snow_ati, n, "snow_ati");
    size_cell_array(rs.snow_heat_deficit, n, "snow_heat_deficit");
    size_cell_array(rs.snow_liquid, n, "snow_liquid");
    size_cell_array(rs.snow_density, n, "snow_density");
    size_cell_array(rs.st_event, n, "St_Event");
    size_cell_array(rs.h_val, n, "H_Val");
    size_cell_array(rs.tsnow_p, n, "TSNOW_P");
    size_cell_array(rs.tsnow_t, n, "TSNOW_T");
    size_cell_array(rs.psnow_total, n, "PSNOW_Total");
    size_cell_array(rs.wq, n, "Wq");
    size_cell_array(rs.wi, n, "Wi");
}

void alloc_surface_groups(run_state& rs, int n) {
    // 22: interception
    if (rs.interception) {
        size_cell_array(rs.icep_stor, n, "icep_stor");
        size_cell_array(rs.icep_coef, n, "icep_coef");
        size_cell_array(rs.icep_dep, n, "icep_dep");
        size_cell_array(rs.ri_eff, n, "ri_eff");
    }
    // 23: retention and roughness
    size_cell_array(rs.retent_dep, n, "retent_dep");
    size_cell_array(rs.dist_rough, n, "dist_rough");
    // 24: overland lakes
    if (rs.lakes) {
        size_cell_array(rs.oland_lake_mask, n, "oland_lake_mask");
        size_cell_array(rs.oland_lake_new, n, "oland_lake_new");
    }
}

// The location file opened by open_run_files, or opened here by its name.
bool location_file_open(file_object& f, const char* name, const char* what) {
    if (f.is_open()) return true;
    if (open_file_named(f, name, "r")) return true;
    set_error(4, what, name);
    error_record.stop = 1;
    return false;
}

void fail_printed() {
    error_record.code = kErrorPrinted;
    report_error(error_record);
}

}  // namespace

bool size_cell_array(std::vector<double>& v, int n, const char* name, double value) {
    return size_array(v, n, name, value);
}

bool size_cell_array(std::vector<int>& v, int n, const char* name, int value) {
    return size_array(v, n, name, value);
}

bool read_location_list(file_object& f, const char* path, int grid_rows, int grid_cols, int& count,
                        std::vector<int>& rows, std::vector<int>& cols, const char* row_name,
                        const char* col_name) {
    const char* shown = path != nullptr ? path : "";
    count = 0;
    rows.clear();
    cols.clear();
    if (f.handle == nullptr) return false;
    int n = 0;
    const long long cells = static_cast<long long>(grid_rows) * grid_cols;
    number_list in(f, "location file");
    if (!in.count(n, cells, "number of locations")) {
        report_error(error_record);
        return false;
    }
    // The positions are gathered as they are read: a count beyond what the
    // file holds ends at its end, not in an allocation of that size.
    std::vector<int> read_rows(1, 0);
    std::vector<int> read_cols(1, 0);
    for (int k = 1; k <= n; ++k) {
        int row = 0;
        int col = 0;
        char what[2][48];
        std::snprintf(what[0], sizeof what[0], "row of location %d", k);
        std::snprintf(what[1], sizeof what[1], "column of location %d", k);
        if (!in.next(row, what[0]) || !in.next(col, what[1])) {
            report_error(error_record);
            return false;
        }
        if (row < 1 || row > grid_rows || col < 1 || col > grid_cols) {
            std::printf("Error: location %d (row %d, column %d) in file %s lies outside the grid "
                        "of %d rows and %d columns (line %d)\n",
                        k, row, col, shown, grid_rows, grid_cols, in.line());
            fail_printed();
            return false;
        }
        read_rows.push_back(row);
        read_cols.push_back(col);
    }
    if (!size_array(rows, n + 1, row_name, 0) || !size_array(cols, n + 1, col_name, 0)) {
        rows.clear();
        cols.clear();
        fail_printed();
        return false;
    }
    std::copy(read_rows.begin(), read_rows.end(), rows.begin());
    std::copy(read_cols.begin(), read_cols.end(), cols.begin());
    count = n;
    return true;
}

void alloc_cell_arrays(run_state& rs) {
    const int n = rs.GNUM;
    alloc_overland_groups(rs, n);
    alloc_soil_parameter_group(rs, n);
    alloc_infiltration_groups(rs, n);
    alloc_groundwater_groups(rs, n);
    alloc_long_term_groups(rs, n);
    alloc_surface_groups(rs, n);

    // 25 and 26: overland output locations
    if (rs.overland_depths) {
        if (!location_file_open(rs.overland_depth_location_file, rs.files.overland_depth_location,
                                "overland depth locations"))
            return;
        if (!read_location_list(rs.overland_depth_location_file, rs.files.overland_depth_location,
                                rs.rows, rs.cols, rs.overland_depth_count, rs.overland_depth_row,
                                rs.overland_depth_col, "overland_depth_row", "overland_depth_col"))
            return;
    }
    if (rs.overland_wse) {
        if (!location_file_open(rs.overland_wse_location_file, rs.files.overland_wse_location,
                                "overland wse locations"))
            return;
        read_location_list(rs.overland_wse_location_file, rs.files.overland_wse_location, rs.rows,
                           rs.cols, rs.overland_wse_count, rs.overland_wse_row, rs.overland_wse_col,
                           "overland_wse_row", "overland_wse_col");
    }
}
