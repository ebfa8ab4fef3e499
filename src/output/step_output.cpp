#include "output/step_output.h"
#include <cmath>
#include <cstdio>
#include "core/dates.h"
#include "run/run_state.h"
#include "output/k4.h"
#include "output/linknode_dataset.h"
#include "output/output.h"
#include "output/output_setup.h"

namespace {

// Element k of a vector; 0 outside it.
template <class T>
T at_or_zero(const std::vector<T>& v, int k) {
    return (k >= 0 && static_cast<size_t>(k) < v.size()) ? v[static_cast<size_t>(k)] : T();
}

// Cell number of a grid position; 0 outside the grid or the watershed.
int cell_at(const run_state& rs, int row, int col) {
    if (rs.mask == nullptr || row < 1 || row > rs.rows || col < 1 || col > rs.cols) return 0;
    return rs.mask[row][col];
}

double flow_factor(const run_state& rs) { return rs.english_units ? rs.m3_to_ft3 : 1.0; }

// Leading time column of a series row.
void put_series_time(const run_state& rs, FILE* out, double t) {
    std::fprintf(out, rs.long_term ? "%16.8lf " : "%14.8lf ", t);
}

// Discharge of a cell from its two face discharges (m3/s).
double cell_discharge(const run_state& rs, int c) {
    const double qx = at_or_zero(rs.ov_qx, c);
    const double qy = at_or_zero(rs.ov_qy, c);
    return std::sqrt(qx * qx + qy * qy);
}

void write_hydrograph_location_rows(run_state& rs, double t) {
    const double f = flow_factor(rs);
    if (rs.in_hyd_location && rs.hyd_location_out_file.is_open()) {
        FILE* out = rs.hyd_location_out_file.handle;
        put_series_time(rs, out, t);
        for (int k = 1; k <= rs.num_hyd_locations; ++k) {
            const double q = node_grid_value(rs.qp, at_or_zero(rs.hnode, k), at_or_zero(rs.hlink, k));
            std::fprintf(out, "%12.6lf ", q * f);
        }
        std::fputc('\n', out);
    }
    if (rs.in_gwflux_location) {
        // The accumulator holds the per-length exchange summed over the passes of the interval.
        const int steps = output_interval_steps(rs.hydro_write_steps);
        FILE* out = rs.gwflux_location_out_file.handle;
        if (out != nullptr) put_series_time(rs, out, t);
        for (int k = 1; k <= rs.num_gwflux_locations; ++k) {
            double& sum = rs.gwflux_sum[static_cast<size_t>(k)];
            const double q = sum / steps * at_or_zero(rs.dx, at_or_zero(rs.gwflink, k));
            if (out != nullptr) std::fprintf(out, "%12.6lf ", q * f);
            sum = 0.0;
        }
        if (out != nullptr) std::fputc('\n', out);
    }
    if (rs.in_celldepdis_location && rs.celldepdis_location_out_file.is_open()) {
        FILE* out = rs.celldepdis_location_out_file.handle;
        std::fprintf(out, rs.long_term ? "%16.8lf     " : "%14.8lf     ", t);
        if (!rs.english_units) {
            for (int k = 1; k <= rs.num_cell_locations; ++k) {
                std::fprintf(out, "%12.6lf  ", at_or_zero(rs.ov_depth, at_or_zero(rs.gnumlocater, k)));
            }
        }
        std::fputs("        ", out);
        for (int k = 1; k <= rs.num_cell_locations; ++k) {
            std::fprintf(out, "%12.6lf  ", cell_discharge(rs, at_or_zero(rs.gnumlocater, k)) * f);
        }
        std::fputc('\n', out);
    }
}

void write_channel_depth_location_row(run_state& rs, double t) {
    if (!rs.out_dep_location || !rs.dep_location_out_file.is_open()) return;
    FILE* out = rs.dep_location_out_file.handle;
    put_series_time(rs, out, t);
    for (int k = 1; k <= rs.num_hyd_locations; ++k) {
        const int node = at_or_zero(rs.hnode, k);
        const int link = at_or_zero(rs.hlink, k);
        std::fprintf(out, "%12.6lf ", node_grid_value(rs.yp, node, link) -
                                         node_grid_value(rs.bel, node, link));
    }
    std::fputc('\n', out);
}

// Soil moisture at the in_theta_location cells.
void write_soil_moisture_row(run_state& rs, double t) {
    if (!rs.in_theta_location || !rs.theta_location_out_file.is_open()) return;
    FILE* out = rs.theta_location_out_file.handle;
    put_series_time(rs, out, t);
    const bool layered = rs.long_term && (rs.inf_redist || rs.inf_layered_soil);
    for (int k = 1; k <= rs.num_theta_locations; ++k) {
        const int c = at_or_zero(rs.cell_loc, k);
        if (rs.inf_richards) {
            const std::vector<double> none;
            const std::vector<double>& column =
                (c >= 0 && static_cast<size_t>(c) < rs.richards_theta.size())
                    ? rs.richards_theta[static_cast<size_t>(c)]
                    : none;
            const int listed = at_or_zero(rs.cell_num, k);
            for (int j = 1; j <= listed; ++j) {
                const int node = (static_cast<size_t>(k) < rs.theta_nodes.size())
                                     ? at_or_zero(rs.theta_nodes[static_cast<size_t>(k)], j)
                                     : 0;
                std::fprintf(out, "%12.6lf ", at_or_zero(column, node));
            }
        } else if (layered) {
            // Upper layer: the top-layer depth (the soil type's first layer with
            // layered soils); lower layer: the rest of the soil column (cm).
            double upper_depth = rs.top_layer_depth;
            if (rs.inf_layered_soil) {
                const int soil = at_or_zero(rs.soiltype, c);
                if (soil >= 0 && soil < subsurface_state::kSoilTableSize) {
                    upper_depth = rs.soil_table[soil].thickness[0];
                }
            }
            const double soil_depth = at_or_zero(rs.unsat_depth, c);
            const double upper_water = at_or_zero(rs.root_zone_upper, c);
            const double lower_water = at_or_zero(rs.root_zone_lower, c);
            double upper = 0.0;
            double lower = 999.99;
            if (upper_depth >= soil_depth) {
                // No lower layer above the water table.
                upper = soil_depth > 0.0 ? upper_water / soil_depth : 0.0;
            } else {
                upper = upper_depth > 0.0 ? upper_water / upper_depth : 0.0;
                lower = lower_water / (soil_depth - upper_depth);
            }
            std::fprintf(out, "%12.6lf %12.6lf ", upper, lower);
        } else {
            std::fprintf(out, "%12.6lf ", at_or_zero(rs.theta_all, c));
        }
    }
    std::fputc('\n', out);
}

void write_cell_list_rows(run_state& rs, double t) {
    if (rs.gw_well_level && rs.well_level_file.is_open()) {
        FILE* out = rs.well_level_file.handle;
        put_series_time(rs, out, t);
        for (int k = 1; k <= rs.well_count; ++k) {
            const int c = cell_at(rs, at_or_zero(rs.well_row, k), at_or_zero(rs.well_column, k));
            std::fprintf(out, "%12.6lf ", at_or_zero(rs.elevgw, c));
        }
        std::fputc('\n', out);
    }
    if (rs.overland_depths && rs.overland_depths_file.is_open()) {
        FILE* out = rs.overland_depths_file.handle;
        put_series_time(rs, out, t);
        for (int k = 1; k <= rs.overland_depth_count; ++k) {
            const int c = cell_at(rs, at_or_zero(rs.overland_depth_row, k),
                                  at_or_zero(rs.overland_depth_col, k));
            std::fprintf(out, "%12.6lf ", at_or_zero(rs.ov_depth, c));
        }
        std::fputc('\n', out);
    }
    if (rs.overland_wse && rs.overland_wse_file.is_open()) {
        FILE* out = rs.overland_wse_file.handle;
        put_series_time(rs, out, t);
        for (int k = 1; k <= rs.overland_wse_count; ++k) {
            const int c = cell_at(rs, at_or_zero(rs.overland_wse_row, k),
                                  at_or_zero(rs.overland_wse_col, k));
            std::fprintf(out, "%12.6lf ", at_or_zero(rs.ov_depth, c) + at_or_zero(rs.elevation, c));
        }
        std::fputc('\n', out);
    }
}

void write_lake_row(run_state& rs) {
    if (!rs.lake_output || !rs.channel_lakes || !rs.lake_output_file.is_open()) return;
    FILE* out = rs.lake_output_file.handle;
    if (rs.long_term) {
        int year = 0, month = 0, day = 0, hour = 0, minute = 0;
        double seconds = 0.0;
        julian_to_date(rs.time + 1e-7, year, month, day, hour, minute, seconds);
        std::fprintf(out, "%4d %2d %2d %2d %2d ", year, month, day, hour, minute);
    } else {
        std::fprintf(out, "%14.8lf ", rs.elapsed_minutes);
    }
    for (int lake = 1; lake <= rs.num_channel_lakes; ++lake) {
        std::fprintf(out, "%9.3lf  %9.3lf ", at_or_zero(rs.lake_elev, lake),
                     at_or_zero(rs.lake_volume, lake));
    }
    std::fputc('\n', out);
}

// Stream link/node datasets, each with its own step counter.
void write_stream_datasets(run_state& rs) {
    if (!rs.chan_explic) return;
    linknode_step_args a;
    a.links = rs.links;
    a.node_limit = &rs.nx;
    a.link_types = &rs.ltype;
    a.lake_index = &rs.lake2link;
    a.lake_values = &rs.lake_elev;
    if (rs.chan_depth) {
        a.step_number = rs.chan_depth_ts++;
        a.first = &rs.yp;
        a.second = &rs.bel;
        a.mode = kLinknodeDifference;
        write_linknode_step(rs.chan_depth_file, a);
    }
    if (rs.chan_sed_flux && rs.channel_sediment) {
        add_channel_sed_flux(rs);
        a.step_number = rs.chan_sed_flux_ts++;
        a.first = &rs.chan_sed_flux_sum;
        a.second = nullptr;
        a.mode = kLinknodePlain;
        write_linknode_step(rs.chan_sed_flux_file, a);
        rs.chan_sed_flux_sum.fill(0.0);
    }
    if (rs.chan_discharge) {
        a.step_number = rs.chan_discharge_ts++;
        a.first = &rs.qp;
        a.second = nullptr;
        a.mode = kLinknodePlain;
        a.scale = flow_factor(rs);
        write_linknode_step(rs.chan_discharge_file, a);
        a.scale = 1.0;
    }
    if (rs.chan_velocity) {
        a.step_number = rs.chan_velocity_ts++;
        a.first = &rs.qp;
        a.second = &rs.area;
        a.mode = kLinknodeRatio;
        write_linknode_step(rs.chan_velocity_file, a);
    }
    if (rs.chan_stage) {
        a.step_number = rs.chan_stage_ts++;
        a.first = &rs.yp;
        a.second = nullptr;
        a.mode = kLinknodePlain;
        write_linknode_step(rs.chan_stage_file, a);
    }
}

}  // namespace

double decimal_year(int year, int day_of_year, int hour, int minute) {
    const double minutes_of_year = (year & 3) == 0 ? 527040.0 : 525600.0;
    return year + (day_of_year * 1440.0 + hour * 60.0 + minute) / minutes_of_year;
}

double long_term_time(const run_state& rs) {
    if (rs.strict_julian_date) return rs.time;
    return decimal_year(rs.year, rs.day_of_year, rs.hour, rs.minute);
}

double hydrograph_time(const run_state& rs) {
    if (rs.long_term) return long_term_time(rs);
    return rs.strict_julian_date ? rs.time : rs.elapsed_minutes;
}

double series_time(const run_state& rs) {
    return rs.long_term ? long_term_time(rs) : rs.elapsed_minutes;
}

double k4_jday(const run_state& rs) {
    return rs.day_of_year + rs.hour / 24.0 + rs.minute / 1440.0;
}

void write_outlet_hydrograph_rows(run_state& rs, double time) {
    const double q = rs.outlet_flow * flow_factor(rs);
    if (rs.outlet_hydro_file.is_open()) {
        FILE* out = rs.outlet_hydro_file.handle;
        if (rs.long_term) {
            std::fprintf(out, "%16.8lf %11.4lf\n", time, q);
        } else if (rs.strict_julian_date) {
            std::fprintf(out, rs.english_units ? "%16.8lf %10.3lf\n" : "%16.8lf %9.3lf\n", time, q);
        } else {
            std::fprintf(out, rs.english_units ? "%8.2lf %10.3lf\n" : "%8.2lf %9.3lf\n", time, q);
        }
        ++rs.hydro_rows_written;
    }
    if (rs.sig_outlet_hydro && rs.sig_outlet_hydro_file.is_open()) {
        std::fprintf(rs.sig_outlet_hydro_file.handle, "%8.2lf %12.6lf\n", time, q);
    }
}

void write_step_output(run_state& rs) {
    if (rs.k4) {
        k4_accumulate(*rs.k4, rs.ov_qx, rs.ov_qy, rs.GNUM, rs.rightcon, rs.belowcon,
                      rs.chan_explic != 0, rs.qp);
    }
    if (!output_step_due(rs.step, rs.hydro_write_steps)) return;

    const double t_hyd = hydrograph_time(rs);
    const double t = series_time(rs);

    // 1. Segment-model inflow and segment fluxes.
    const double jday = k4_jday(rs);
    write_k4_flow_row(jday, rs.outlet_flow * flow_factor(rs));
    if (rs.k4) k4_write_step(*rs.k4, jday);

    // 2-3. Outlet hydrograph, then the outlet sediment with the same time value.
    write_outlet_hydrograph_rows(rs, t_hyd);
    if (rs.soil_erosion) write_outlet_sediment_rows(rs, t_hyd);

    // 4-8. Location series.
    write_hydrograph_location_rows(rs, t);
    write_superlink_location_rows(rs, t);

    // 9-11. Channel depth, concentration and mass at the hydrograph locations.
    write_channel_depth_location_row(rs, t);
    write_contaminant_location_rows(rs, t);

    // 12-16. Soil moisture, wells, overland depths and levels, lakes.
    write_soil_moisture_row(rs, t);
    write_cell_list_rows(rs, t);
    write_lake_row(rs);

    // 17-18. Sediment at the sediment locations.
    if (rs.channel_sediment) write_sediment_location_rows(rs, t);

    // 19. The outlet hydrographs reach their files at every row.
    if (rs.outlet_hydro_file.is_open()) std::fflush(rs.outlet_hydro_file.handle);
    if (rs.sig_outlet_hydro_file.is_open()) std::fflush(rs.sig_outlet_hydro_file.handle);

    // 20-21. Link/node datasets of the stream and storm-drain networks.
    write_stream_datasets(rs);
    if (rs.superlink) write_superlink_dataset_steps(rs);

    // 22-24. Nutrient series, constituent datasets, XY outputs.
    if (rs.nsm_on) write_nutrient_point_series(rs);
    if (rs.chan_con_trans) write_contam_linknode_steps(rs);
    write_xy_output_row(rs, rs.time);
}
