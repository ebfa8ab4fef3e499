// End-of-run summary, water balance sections: the final storages of the run
// from the state arrays, the groundwater section, the Sacramento section,
// the global water mass balance and the lake and storm-drain balances.
// Volumes are m3, the cell area is cell_size^2 (m2), soil and Sacramento
// depths are cm and mm as noted.
//
// Initial and final storages are compared like with like: the snow and the
// storm-drain water that the final storage holds are also counted in the
// initial storage, so a run whose snow melts (or whose drains empty) into
// the outlet balances. Every quotient is 0 when its denominator is empty.
#include "output/run_summary.h"

#include <cstdio>
#include <vector>

#include "calibration/calibration.h"
#include "core/error.h"
#include "run/event_control.h"
#include "core/file_write.h"
#include "run/run_state.h"
#include "output/k4.h"
#include "output/map_output.h"
#include "output/output_setup.h"
#include "output/run_transport_summary.h"
#include "quality/sediment_output.h"
#include "output/summary_format.h"
#include "subsurface/groundwater.h"
#include "subsurface/gw_soil.h"
#include "subsurface/infiltration.h"
#include "subsurface/sacramento.h"

namespace {

constexpr int kMapTypeNotWritten = 4;   // map_type whose K4 inflow file is never opened

template <class T>
bool spans(const std::vector<T>& v, int n) {
    return n >= 0 && static_cast<int>(v.size()) > n;
}

bool channel_lake_cell(const run_state& rs, int j) {
    return rs.channel_lakes && spans(rs.lake_mask, j) && rs.lake_mask[static_cast<size_t>(j)] > 0;
}

// Water of the channel-network lakes at the start of the run, m3.
double perennial_lakes_init(const run_state& rs) { return rs.channel_lakes ? rs.lakes_init_volume : 0.0; }
// And at the end (completed by complete_final_storages), m3.
double perennial_lakes_final(const run_state& rs) { return rs.channel_lakes ? rs.event_lake_final : 0.0; }

// Water of the overland lakes above the ground (their cells hold no depth), m3.
double overland_lakes_init(const run_state& rs) { return rs.lakes ? rs.vol_ovlake_init : 0.0; }
// At the end of the run (the event end's value when the lake arrays are not there).
double overland_lakes_now(const run_state& rs) {
    if (!spans(rs.oland_lake_new, rs.GNUM) || !spans(rs.elevation, rs.GNUM)) return rs.vol_ovlake_final;
    const double area = rs.cell_size * rs.cell_size;
    double volume = 0.0;
    for (int j = 1; j <= rs.GNUM; ++j) {
        const int u = rs.oland_lake_new[static_cast<size_t>(j)];
        if (u >= 1 && spans(rs.overland_lakes, u))
            volume += (rs.overland_lakes[static_cast<size_t>(u)].level - rs.elevation[static_cast<size_t>(j)]) * area;
    }
    return volume;
}

// Water stored in the storm drains at the start and end of the run, m3.
double drains_init(const run_state& rs) { return rs.superlink ? rs.vol_drains_init : 0.0; }
double drains_final(const run_state& rs) { return rs.superlink ? rs.vol_drains_final : 0.0; }

// Depth of the simple soil store of a cell, m: the soil_moist_depth card, or
// with layered soils the two upper layers of the cell's soil (the sampling
// depth of the event accounting).
double simple_soil_depth(const run_state& rs, int j) {
    double depth_cm = rs.soil_moist_depth;
    if (rs.inf_layered_soil && spans(rs.soiltype, j)) {
        const int type = rs.soiltype[static_cast<size_t>(j)];
        if (type >= 0 && type < subsurface_state::kSoilTableSize) {
            const soil_layer_record& soil = rs.soil_table[type];
            depth_cm = soil.thickness[0] + soil.thickness[1];
        }
    }
    return depth_cm / 100.0;
}

// Steps 1-8: the final storages of the run.
void complete_final_storages(run_state& rs) {
    const int n = rs.GNUM;
    const double area = rs.cell_size * rs.cell_size;

    // 1. Channel-network lakes.
    if (rs.channel_lakes) {
        double lakes = 0.0;
        for (int i = 1; i <= rs.num_channel_lakes && spans(rs.lake_volume, i); ++i) {
            lakes += rs.lake_volume[static_cast<size_t>(i)];
        }
        rs.event_lake_final = lakes;
    }

    // 2. Direct evaporation not yet booked (long-term runs that compute recharge,
    // and the surface water the Richards columns evaporated since the last event end).
    if (rs.long_term && (rs.recharge_computed || rs.inf_richards)) {
        for (int j = 1; j <= n && spans(rs.direct_evaporation, j); ++j) {
            double& depth = rs.direct_evaporation[static_cast<size_t>(j)];   // cm
            rs.vol_direct_evaporation += depth / 100.0 * area;
            depth = 0.0;   // booked: a second call adds nothing
        }
    }

    // Drainage of the soil columns since the last event end.
    book_pending_drainage(rs);

    // 3. Groundwater above the aquifer bottom, with the water in transit since its last step.
    if (rs.gw_simulation) {
        book_pending_groundwater(rs);
        double stored = 0.0;
        if (spans(rs.elevgw, n) && spans(rs.bottom_elev, n) && spans(rs.gw_porosity, n)) {
            for (int j = 1; j <= n; ++j) {
                const size_t c = static_cast<size_t>(j);
                stored += (rs.elevgw[c] - rs.bottom_elev[c]) * rs.gw_porosity[c] * area;
            }
        }
        rs.gw_vol_end = stored;
        // Solved heads: the stored water as the solver moved it, each change at its storage coefficient.
        if (gw_aquifer_solved(rs)) rs.gw_vol_end = rs.gw_vol_start + rs.gw_vol_storage_change;
        const double change = rs.gw_vol_end - rs.gw_vol_start - rs.gw_vol_inputs - rs.gw_vol_boundary_flux -
                              rs.vol_xy_gain + rs.vol_xy_loss - rs.gw_vol_floor_lift;
        rs.gw_mass_balance_error = summary_percent(change, rs.gw_vol_start);
    }

    // 4. Surface water outside the channel-network lakes.
    rs.vol_surface_final = 0.0;
    for (int j = 1; j <= n && spans(rs.ov_depth, j); ++j) {
        if (!channel_lake_cell(rs, j)) rs.vol_surface_final += rs.ov_depth[static_cast<size_t>(j)] * area;
    }

    // 5. Soil water.
    rs.vol_soil_final = 0.0;
    rs.vol_soil_moist_final = 0.0;
    if (rs.inf_richards) {
        for (int j = 1; j <= n && spans(rs.richards_nodes, j); ++j) {
            const size_t c = static_cast<size_t>(j);
            if (!spans(rs.richards_theta, j) || !spans(rs.richards_dz, j)) continue;
            const std::vector<double>& theta = rs.richards_theta[c];
            const std::vector<double>& dz = rs.richards_dz[c];   // cm
            const int nodes = rs.richards_nodes[c];
            if (nodes <= 1) continue;
            for (int k = 1; k <= nodes - 1 && spans(theta, k) && spans(dz, k); ++k) {
                rs.vol_soil_final += theta[static_cast<size_t>(k)] * dz[static_cast<size_t>(k)] / 100.0 * area;
            }
        }
    } else if (rs.recharge_computed) {
        for (int j = 1; j <= n; ++j) {
            const size_t c = static_cast<size_t>(j);
            const double water = spans(rs.root_zone_water, j) ? rs.root_zone_water[c] / 100.0 * area : 0.0;
            rs.vol_soil_final += water;
            rs.vol_soil_moist_final += water;
            if (rs.water_table && spans(rs.elevation, j) && spans(rs.elevgw, j) && spans(rs.gw_inf_redist_theta, j)) {
                const double to_table = rs.elevation[c] - rs.elevgw[c];   // m
                const double soil = simple_soil_depth(rs, j);             // m
                if (to_table > soil) rs.vol_soil_final += (to_table - soil) * rs.gw_inf_redist_theta[c] * area;
            }
        }
    }

    // 6. Channel water.
    if (rs.chan_explic) {
        double volume = 0.0;
        for (int l = 1; l <= rs.links && spans(rs.ltype, l) && spans(rs.nx, l); ++l) {
            const size_t link = static_cast<size_t>(l);
            if (!ordinary_link(rs.ltype[link])) continue;
            const double length = spans(rs.dx, l) ? rs.dx[link] : 0.0;
            for (int k = 1; k <= rs.nx[link]; ++k) {
                if (rs.area.has(k, l)) volume += rs.area(static_cast<size_t>(k), link) * length;
            }
        }
        rs.vol_channel_final = volume;
    }

    // 7. Snow water equivalent (m) over the cells.
    rs.vol_snow_final = 0.0;
    for (int j = 1; j <= n && spans(rs.snow_swe, j); ++j) {
        rs.vol_snow_final += rs.snow_swe[static_cast<size_t>(j)] * area;
    }

    // Overland lakes.
    if (rs.lakes) rs.vol_ovlake_final = overland_lakes_now(rs);

    // 8. Overland boundaries.
    if (rs.ov_boundary || rs.xy_ov_boundary) {
        rs.vol_bc_gain_total = rs.vol_discharge_bc_gain + rs.vol_head_bc_gain;
        rs.vol_bc_loss_total = rs.vol_slope_bc_loss + rs.vol_head_bc_loss + rs.vol_discharge_bc_loss;
    }
}

// Steps 9-12: totals and balance errors of the run (replaced for
// Sacramento runs by write_sacramento_section).
void compute_run_balances(run_state& rs) {
    const double lakes_init = perennial_lakes_init(rs) + overland_lakes_init(rs);
    const double lakes_final = perennial_lakes_final(rs) + (rs.lakes ? rs.vol_ovlake_final : 0.0);
    rs.vol_total_final = rs.vol_channel_final + rs.vol_surface_final + rs.vol_soil_final + rs.gw_vol_end +
                         rs.vol_snow_final + lakes_final + drains_final(rs);
    rs.vol_total_init = rs.vol_channel_init + rs.vol_surface_init + rs.vol_soil_init + rs.gw_vol_start +
                        lakes_init + rs.vol_snow_init + drains_init(rs);

    double inputs = rs.vol_precip + rs.gw_vol_boundary_flux + rs.vol_ov_point_sources + rs.vol_gw_to_lake +
                    rs.vol_stream_point_sources + rs.vol_lake_point_sources + rs.vol_bc_gain_total +
                    rs.vol_xy_stream_boundary;
    // Water the Richards column solver created by resetting contents.
    inputs += rs.vol_richards_column_error;
    // Water an overland scheme created by raising a negative depth to zero.
    inputs += rs.vol_ov_depth_clip;
    // Water the storm-drain depth and head floors added.
    inputs += rs.superlink ? rs.vol_drains_corrections : 0.0;
    // Water asked of the overland lakes beyond what they held.
    inputs += rs.vol_ovlake_shortfall;
    // Water the held heads of an outer model stored in (or took from) the aquifer.
    inputs += rs.vol_xy_gain - rs.vol_xy_loss;
    // Net water of the overland pumps (negative when they put water on).
    double outputs = rs.vol_ov_pumps + rs.vol_evaporation + rs.vol_discharge + rs.vol_bc_loss_total +
                     rs.vol_lake_to_gw +
                     rs.vol_lake_evaporation + rs.vol_stream_point_sinks + rs.vol_lake_point_sinks;
    if (gw_aquifer_solved(rs)) {
        inputs += rs.gw_vol_floor_lift;
        outputs += rs.vol_unsat_downward - rs.gw_vol_recharge + rs.gw_vol_leakage + rs.gw_vol_pumping;
    } else {
        outputs += (rs.green_ampt ? rs.vol_infiltration : rs.vol_unsat_downward) + rs.vol_river_to_gw;
        inputs += rs.vol_gw_to_river;
    }
    const double supplied = rs.vol_total_init + inputs;
    rs.overall_mass_balance_error = summary_percent(supplied - (rs.vol_total_final + outputs), supplied);

    const double surface_inputs = rs.vol_gw_to_river + rs.vol_precip + rs.vol_gw_to_lake + rs.vol_exfiltration +
                                  rs.vol_ov_point_sources + rs.vol_stream_point_sources +
                                  rs.vol_lake_point_sources + rs.vol_drains_to_channels + rs.vol_drains_to_ov + rs.vol_bc_gain_total +
                                  rs.vol_ov_depth_clip + rs.vol_ovlake_shortfall + rs.vol_xy_stream_boundary;
    rs.surface_mass_balance_error = 0.0;
    if (surface_inputs > 0.0) {
        const double held = rs.vol_snow_final + rs.vol_channel_final + rs.vol_surface_final + lakes_final;
        const double start = rs.vol_channel_init + rs.vol_surface_init + lakes_init + rs.vol_snow_init;
        const double removed = rs.vol_ov_pumps + rs.vol_river_to_gw + rs.vol_lake_to_gw + rs.vol_direct_evaporation +
                               rs.vol_discharge + rs.vol_infiltration + rs.vol_bc_loss_total +
                               rs.vol_lake_evaporation + rs.vol_ov_to_drains + rs.vol_stream_point_sinks +
                               rs.vol_lake_point_sinks;
        rs.surface_mass_balance_error =
            summary_percent(start + surface_inputs - (removed + held), held + surface_inputs);
    }

    rs.soil_mass_balance_error = 0.0;
    if (rs.recharge_computed && rs.vol_soil_init > 0.0) {
        const double soil_evaporation = rs.vol_evaporation - rs.vol_direct_evaporation - rs.vol_evaporation_excluded;
        const double change = rs.vol_infiltration + rs.vol_soil_moist_init - rs.vol_soil_moist_final -
                              soil_evaporation - rs.vol_unsat_downward;
        rs.soil_mass_balance_error = summary_percent(change, rs.vol_infiltration + rs.vol_soil_init);
    }
}

void write_groundwater_section(run_state& rs, file_object& f) {
    file_printf(f, "\n \n");
    file_printf(f, "GROUNDWATER CALCULATIONS \n\n");
    file_printf(f, "GW volume start =                %14.2lf \n", rs.gw_vol_start);
    file_printf(f, "GW volume end =                  %14.2lf \n", rs.gw_vol_end);
    file_printf(f, "Sat/unsat. trickery (into gw) =  %14.2lf \n", rs.gw_vol_sat_unsat);
    file_printf(f, "Exfiltration back on overland =  %14.2lf \n", rs.vol_exfiltration);
    file_printf(f, "Recharge to groundwater =        %14.2lf \n", rs.gw_vol_recharge);
    file_printf(f, "Total inputs to groundwater=     %14.2lf \n", rs.gw_vol_inputs);
    file_printf(f, "Flux across head boundaries=     %14.2lf \n", rs.gw_vol_boundary_flux);
    file_printf(f, "Leakage to deep aquifer+         %14.2lf \n", rs.gw_vol_leakage);
    file_printf(f, "Pumping                          %14.2lf \n", rs.gw_vol_pumping);
    file_printf(f, "To tile drains                   %14.2lf \n", rs.vol_gw_to_tile);
    file_printf(f, "Gain from XY boundaries          %14.2lf \n", rs.vol_xy_gain);
    file_printf(f, "Loss to XY boundaries            %14.2lf \n", rs.vol_xy_loss);
    file_printf(f, "Mass Balance error =             %14.2lf %%  \n", rs.gw_mass_balance_error);
    file_printf(f, "\n");
    file_printf(f, "If you have any head boundaries \n");
    file_printf(f, "Mass balance errors are likely due to flux across boundary \n");
    file_printf(f, "Which is not exactly calculated \n");
}

// One zone storage line: the storage (mm) and its share of the capacity.
void write_sac_zone(file_object& f, const char* format, double storage, double capacity) {
    file_printf(f, format, storage, summary_percent(storage, capacity));
}

void write_sac_zones(file_object& f, const sacramento_state& s, const char* last_format) {
    write_sac_zone(f, "uztwc:  %10.3lf mm, %8.2lf%%\n", s.uztwc, s.uztwm);
    write_sac_zone(f, "uzfwc:  %10.3lf mm, %8.2lf%%\n", s.uzfwc, s.uzfwm);
    write_sac_zone(f, "lztwc:  %10.3lf mm, %8.2lf%%\n", s.lztwc, s.lztwm);
    write_sac_zone(f, "lzfpc:  %10.3lf mm, %8.2lf%%\n", s.lzfpc, s.lzfpm);
    write_sac_zone(f, last_format, s.lzfsc, s.lzfsm);
}

// The Sacramento section; afterwards the global totals and errors are
// those of the Sacramento accounting.
void write_sacramento_section(run_state& rs, file_object& f) {
    const sacramento_state& now = rs.sac_state;
    const sacramento_state& start = rs.sac_state_start;
    const double final_storage = now.uztwc + now.uzfwc + now.lztwc + now.lzfsc + now.lzfpc;   // mm
    rs.sac_final_storage = final_storage;

    file_printf(f, "\n\nSimulation summary for the Sacramento Soil Moisture Accounting Model\n");
    file_printf(f, "as run within the physically based distributed hydrologic model\n");
    file_printf(f, "(PLUVO) Model.  Internal SAC-SMA mass conservation check.\n\n");
    file_printf(f, "Initial state variable values:\n");
    write_sac_zones(f, start, "lzfsc:  %10.3lf mm, %8.2lf%%\n");
    file_printf(f, "Final state variable values:\n");
    write_sac_zones(f, now, "lzfsc:  %10.3lf mm, %8.2lf%%\n\n");

    file_printf(f, "\nMass Balance Information:\n\n");
    file_printf(f, "Initial subsurface storage(mm):        %10.3lf\n", rs.sac_init_storage);
    file_printf(f, "Input rainfall (mm):                   %10.3lf\n", rs.sac_rainfall);
    file_printf(f, "PET calculated by PLUVO (mm):          %10.3lf\n", rs.sac_pet);
    file_printf(f, "AET calculated by Sacramento (mm):     %10.3lf\n", rs.sac_aet);
    file_printf(f, "Subsurface runoff (mm):                %10.3lf\n", rs.sac_subsurface_runoff);
    file_printf(f, "Recharge to deep g.w. (mm):            %10.3lf\n", rs.sac_deep_recharge);
    file_printf(f, "Final volume of subsurface water (mm): %10.3lf\n", final_storage);
    file_printf(f, "Residual (neg. means mass created (mm):%10.3lf\n",
                rs.sac_init_storage + rs.sac_rainfall - rs.sac_aet - rs.sac_subsurface_runoff -
                    rs.sac_deep_recharge - final_storage);
    file_printf(f, "\n");
    file_printf(f, "Sacramento simulation total residual water balance: %18.16f mm\n", rs.sac_residual);

    // mm over the watershed to m3
    const double c = rs.cell_size * rs.cell_size * rs.GNUM / 1000.0;
    file_printf(f, "\nSacramento storages and fluxes expressed as volumes (m^3):\n");
    file_printf(f, "Initial volume=   %10.1lf\n", rs.sac_avg_init_storage * c);
    file_printf(f, "Volume of ET=     %10.1lf\n", rs.sac_avg_et * c);
    file_printf(f, "Volume of precip= %10.1lf\n", rs.sac_avg_precip * c);
    file_printf(f, "Volume of outflow=%10.1lf\n", rs.sac_subsurface_runoff * c);
    file_printf(f, "Final volume=     %10.1lf\n", final_storage * c);
    file_printf(f, "Residual=         %10.1lf\n",
                (rs.sac_avg_init_storage - rs.sac_avg_et + rs.sac_avg_precip - rs.sac_subsurface_runoff -
                 final_storage) * c);

    // The Sacramento zones stand for the soil and the groundwater of the run.
    const double a = rs.watershed_area / 1000.0;   // m3 per mm over the watershed
    rs.vol_soil_init = (start.uztwc + start.lztwc) * a;
    rs.gw_vol_start = (start.lzfsc + start.uzfwc + start.lzfpc) * a;
    rs.vol_soil_final = (now.lztwc + now.uztwc) * a;
    // Water between the stores and their neighbours: infiltrated but not yet
    // taken by an accounting step, and outflow the channels have not taken in.
    const double in_transit = sacramento_in_transit(rs);
    rs.gw_vol_end = (now.lzfsc + now.uzfwc + now.lzfpc) * a + in_transit;
    // Evapotranspiration: the accounting's from its stores and the direct
    // evaporation of ponded water on the surface.
    rs.vol_evaporation = rs.sac_aet * a + rs.vol_direct_evaporation;
    rs.vol_river_to_gw = rs.sac_river_to_gw;
    rs.sac_deep_recharge *= a;   // now m3

    const double lakes_init = perennial_lakes_init(rs);
    const double lakes_final = perennial_lakes_final(rs);
    rs.vol_total_init = rs.vol_channel_init + rs.vol_surface_init + rs.vol_soil_init + rs.gw_vol_start +
                        lakes_init + rs.vol_snow_init;
    rs.vol_total_final = rs.vol_channel_final + rs.vol_surface_final + rs.vol_soil_final + rs.gw_vol_end +
                         rs.vol_snow_final + lakes_final;

    const double unexplained = rs.vol_total_final - rs.vol_total_init - rs.vol_precip + rs.vol_evaporation +
                               rs.vol_discharge - rs.gw_vol_boundary_flux - rs.vol_ov_point_sources -
                               rs.vol_xy_gain + rs.vol_xy_loss;
    rs.overall_mass_balance_error = summary_percent(unexplained, rs.vol_precip + rs.vol_total_init);

    const double surface = rs.vol_precip + rs.vol_surface_init + rs.vol_channel_init + rs.vol_snow_init +
                           (rs.vol_gw_to_river - rs.vol_river_to_gw) + rs.vol_ov_point_sources +
                           rs.sac_vol_to_channels -
                           (rs.vol_direct_evaporation + rs.vol_discharge + rs.vol_infiltration +
                            rs.vol_channel_final + rs.vol_snow_final + rs.vol_surface_final);
    rs.surface_mass_balance_error = summary_percent(surface, rs.vol_precip);
}

void write_global_section(run_state& rs, file_object& f) {
    const bool sacramento = rs.sacramento != 0;
    const bool lakes = rs.channel_lakes != 0;
    const bool simple_soil = rs.recharge_computed && !rs.gw_simulation;

    file_printf(f, "\n \n");
    file_printf(f, "SIMULATION TOTALS");
    file_printf(f, "\n");
    file_printf(f, "GLOBAL MASS BALANCE CALCULATIONS \n");
    file_printf(f, "All volumes are in cubic meters \n \n");

    file_printf(f, "Initial volume on surface=                      %14.2lf \n", rs.vol_surface_init);
    file_printf(f, "Initial volume in channels=                     %14.2lf \n", rs.vol_channel_init);
    if (simple_soil) {
        file_printf(f, "Initial volume in soil over simple soil depth   %14.2lf \n", rs.vol_soil_init);
    } else {
        file_printf(f, "Initial volume in soils=                        %14.2lf \n", rs.vol_soil_init);
    }
    file_printf(f, "Initial volume in groundwater=                  %14.2lf \n", rs.gw_vol_start);
    if (lakes) file_printf(f, "Initial volume in perennial lakes               %14.2lf \n", perennial_lakes_init(rs));
    file_printf(f, "\n");

    file_printf(f, "Final volume on surface=                        %14.2lf\n", rs.vol_surface_final);
    file_printf(f, "Final volume on surface in pits=                %14.2lf\n", rs.vol_pits_final);
    file_printf(f, "  (%d pit cells, whose ground lies below every neighbour across their 4 faces;\n"
                "  they hold %.2lf m3 up to their lowest neighbours, the deepest %.3lf m)\n",
                rs.pit_cells, rs.pit_capacity, rs.pit_deepest);
    if (rs.lakes) file_printf(f, "Final volume in overland lakes=                 %14.2lf\n", rs.vol_ovlake_final);
    file_printf(f, "Final volume in channels=                       %14.2lf\n", rs.vol_channel_final);
    if (rs.superlink) file_printf(f, "Final volume in drains=                         %14.2lf\n", rs.vol_drains_final);
    if (simple_soil) {
        file_printf(f, "Final volume in soil over simple soil depth     %14.2lf\n", rs.vol_soil_final);
    } else {
        file_printf(f, "Final volume in soils=                          %14.2lf\n", rs.vol_soil_final);
    }
    file_printf(f, "Final volume in groundwater=                    %14.2lf\n", rs.gw_vol_end);
    file_printf(f, "Final volume of snow=                           %14.2lf\n", rs.vol_snow_final);
    if (lakes) file_printf(f, "Final volume in perennial lakes                 %14.2lf\n", perennial_lakes_final(rs));
    file_printf(f, "\n");

    file_printf(f, "Total amount of precip=                         %14.2lf\n", rs.vol_precip);
    file_printf(f, "Total amount of interception=                   %14.2lf\n", rs.vol_interception);
    file_printf(f, "Total amount of infiltration=                   %14.2lf\n", rs.vol_infiltration);
    file_printf(f, "Total amount of evaporation=                    %14.2lf\n", rs.vol_evaporation);
    file_printf(f, "Total direct evaporation=                       %14.2lf\n", rs.vol_direct_evaporation);
    if (!sacramento) file_printf(f, "Total amount of exfiltration=                   %14.2lf\n", rs.vol_exfiltration);
    file_printf(f, "\n");

    if (!sacramento) {
        if (rs.gw_simulation) {
            file_printf(f, "Total recharge inputs to groundwater=           %14.2lf\n", rs.gw_vol_recharge);
            file_printf(f, "Total pumping from groundwater=                 %14.2lf\n", rs.gw_vol_pumping);
        }
        file_printf(f, "Total downward flux from unsaturated zone=      %14.2lf\n", rs.vol_unsat_downward);
        file_printf(f, "Total flux of gw across bounds=                 %14.2lf\n", rs.gw_vol_boundary_flux);
    } else {
        file_printf(f, "Total recharge to deep g.w.=                    %14.2lf\n", rs.sac_deep_recharge);
    }

    if (rs.inf_richards) {
        file_printf(f, "Richards columns (m3): initial %.12e final %.12e infiltrated %.12e drained %.12e "
                    "column error %.12e evapotranspired %.12e\n",
                    rs.vol_soil_init, rs.vol_soil_final, rs.vol_infiltration, rs.vol_unsat_downward,
                    rs.vol_richards_column_error, rs.vol_richards_soil_et);
    }
    if (rs.long_term) {
        // Every term of the long-term water balance to full precision.
        file_printf(f, "Long-term volumes (m3): precipitation %.12e discharge %.12e "
                    "evapotranspiration %.12e drained %.12e surface %.12e %.12e channels %.12e "
                    "%.12e soils %.12e %.12e snow %.12e %.12e\n",
                    rs.vol_precip, rs.vol_discharge, rs.vol_evaporation, rs.vol_unsat_downward,
                    rs.vol_surface_init, rs.vol_surface_final, rs.vol_channel_init,
                    rs.vol_channel_final, rs.vol_soil_init, rs.vol_soil_final, rs.vol_snow_init,
                    rs.vol_snow_final);
        if (lakes) {
            // The channel-network lakes' storage and their open-water evaporation.
            file_printf(f, "Long-term channel lakes (m3): initial %.12e final %.12e evaporation %.12e\n",
                        perennial_lakes_init(rs), perennial_lakes_final(rs), rs.vol_lake_evaporation);
        }
    }
    file_printf(f, "Total overland point sources=                   %14.2lf\n", rs.vol_ov_point_sources);
    file_printf(f, "Total channel point sources=                    %14.2lf\n", rs.vol_stream_point_sources);
    if (rs.chan_points_on) {
        file_printf(f, "Total channel point sinks=                      %14.2lf\n", rs.vol_stream_point_sinks);
        file_printf(f, "Total lake point sources=                       %14.2lf\n", rs.vol_lake_point_sources);
        file_printf(f, "Total lake point sinks=                         %14.2lf\n", rs.vol_lake_point_sinks);
        file_printf(f, "Point withdrawals unmet=                        %14.2lf\n",
                    rs.vol_stream_point_unmet + rs.vol_lake_point_unmet);
    }
    file_printf(f, "\n");

    if (rs.ov_boundary || rs.xy_ov_boundary) {
        file_printf(f, "Volume lost to specified head boundary:         %14.2lf\n", rs.vol_head_bc_loss);
        file_printf(f, "Volume gained from specified head boundary:     %14.2lf\n", rs.vol_head_bc_gain);
        if (rs.ov_boundary) {
            file_printf(f, "Volume lost to specified slope boundary:        %14.2lf\n", rs.vol_slope_bc_loss);
            file_printf(f, "Volume gained from specified discharge boundary:%14.2lf\n", rs.vol_discharge_bc_gain);
            file_printf(f, "Volume lost from specified discharge boundary:  %14.2lf\n", rs.vol_discharge_bc_loss);
            file_printf(f, "Volume of specified discharge boundary unmet:   %14.2lf\n", rs.vol_discharge_bc_unmet);
        }
        file_printf(f, "\n");
    }
    if (rs.ov_pump) {
        file_printf(f, "Volume taken by overland pumps (net):           %14.2lf\n\n", rs.vol_ov_pumps);
    }

    file_printf(f, "Total lateral inflow into channels=             %14.2lf\n", rs.vol_lateral_inflow);
    file_printf(f, "Total amount of discharge=                      %14.2lf\n", rs.vol_discharge);
    if (rs.stream_exchange) {
        file_printf(f, "Total flux from river to gw=                    %14.2lf\n", rs.vol_river_to_gw);
        if (rs.water_table) file_printf(f, "Total flux from gw to river=                    %14.2lf\n", rs.vol_gw_to_river);
    }

    if (lakes) {
        file_printf(f, "\n");
        file_printf(f, "Volume precip to lakes=                         %14.2lf\n", rs.vol_precip_to_lakes);
        file_printf(f, "Volume of flow into lakes=                      %14.2lf\n", rs.vol_lake_inflow);
        file_printf(f, "Volume of flow from lakes=                      %14.2lf\n", rs.vol_lake_outflow);
        file_printf(f, "Volume of lake evap=                            %14.2lf\n", rs.vol_lake_evaporation);
        if (rs.mlake_given) {
            file_printf(f, "Total flux from lakes to gw=                    %14.2lf\n", rs.vol_lake_to_gw);
            file_printf(f, "Total flux from gw to lakes=                    %14.2lf\n", rs.vol_gw_to_lake);
        }
    }
    if (rs.superlink) {
        file_printf(f, "\n");
        file_printf(f, "Volume of overland to subsurface drains         %14.2lf\n", rs.vol_ov_to_drains);
        file_printf(f, "Volume of subsurface drains to overland         %14.2lf\n", rs.vol_drains_to_ov);
        file_printf(f, "Volume of subsurface drains to channels         %14.2lf\n", rs.vol_drains_to_channels);
        file_printf(f, "Volume of groundwater to tile drains            %14.2lf\n", rs.vol_gw_to_tile);
        file_printf(f, "Volume added by subsurface drain depth floors   %14.6lf\n", rs.vol_drains_corrections);
        file_printf(f, "Largest drain balance error per call (share)    %14.3e\n", rs.superlink_worst_balance);
    }
    if (xy_gw_points_given(rs.cards.xy_in)) {
        file_printf(f, "\n");
        file_printf(f, "Volume gained from XY boundaries                %14.2lf\n", rs.vol_xy_gain);
        file_printf(f, "Volume lost to XY boundaries                    %14.2lf\n", rs.vol_xy_loss);
    }
    if (!rs.cards.xy_in.stpts.empty()) {
        file_printf(f, "\n");
        file_printf(f, "Volume gained from stream XY boundaries         %14.6lf\n",
                    rs.vol_xy_stream_boundary);
    }

    file_printf(f, "\n");
    file_printf(f, "Mass balance error of surface components =              %10.6lf percent\n\n",
                rs.surface_mass_balance_error);
    if (!sacramento) {
        file_printf(f, "Overall mass balance error =                        %14.6lf percent\n \n",
                    rs.overall_mass_balance_error);
        file_printf(f, "Overall balance, relative error =                   %14.3e\n \n",
                    rs.overall_mass_balance_error / 100.0);
    } else {
        file_printf(f, "Overall mass balance error =                    %10.6lf percent\n \n",
                    rs.overall_mass_balance_error);
        file_printf(f, "*overall mass balance error will not be zero when using the Sacramento\n");
        file_printf(f, "model because of errors associated with interpolating hourly outflows to\n");
        file_printf(f, "the channel routing time step, which is generally much less than one\n");
        file_printf(f, "hour.  However, this error should be less than one percent, except for\n");
        file_printf(f, "simulations of very short events (only a few hours long).\n \n");
    }
    if (rs.recharge_computed) {
        file_printf(f, "Simple soil moisture mass balance =             %19.6lf percent \n\n",
                    rs.soil_mass_balance_error);
    }
}

// Steps 15-17: overland lakes, channel-network lakes and storm drains (m3).
void write_store_balances(run_state& rs, file_object& f) {
    if (rs.lakes) {
        rs.ovlake_mass_error = rs.vol_ovlake_init + rs.vol_ovlake_inflow - rs.vol_ovlake_final - rs.vol_ovlake_outflow;
        file_printf(f, "Volume of flow into overland lakes:             %14.2lf\n", rs.vol_ovlake_inflow);
        file_printf(f, "Volume of flow from overland lakes:             %14.2lf\n", rs.vol_ovlake_outflow);
        file_printf(f, "Volume of evaporation from lakes:               %14.2lf\n", rs.vol_lake_evaporation);
        file_printf(f, "Overland lake mass bal error m^3:               %14.2lf\n\n", rs.ovlake_mass_error);
    }
    if (rs.channel_lakes) {
        rs.chan_lake_mass_error = rs.vol_lake_inflow - rs.vol_lake_outflow - perennial_lakes_final(rs) +
                                  perennial_lakes_init(rs) - rs.vol_lake_evaporation;
        file_printf(f, "Perennial lake mass bal error m^3=              %14.2lf\n\n", rs.chan_lake_mass_error);
    }
    if (rs.superlink) {
        // The water the drains held at the start counts with what they took in.
        rs.drain_mass_error = drains_init(rs) + rs.vol_ov_to_drains + rs.vol_gw_to_tile +
                              rs.vol_drains_corrections - rs.vol_drains_to_ov - rs.vol_drains_to_channels -
                              rs.vol_drains_final;
        file_printf(f, "Subsurface drain mass bal error m^3=            %14.2lf\n\n", rs.drain_mass_error);
    }
}

// When the maps of the map interval were written, and where the end state is.
void write_map_timing(const run_state& rs, file_object& f) {
    if (!map_output_on(rs)) return;
    const int every = rs.map_write_steps > 0 ? rs.map_write_steps : 1;
    file_printf(f, "MAP OUTPUT (MAP_FREQ): %d time(s), after the first time step (minute %.2lf),\n"
                "then every %d time steps (%.2lf minutes); the last at minute %.2lf of %.2lf.\n",
                rs.map_outputs, rs.dt / 60.0, every, every * rs.dt / 60.0, rs.map_last_minutes,
                rs.elapsed_minutes);
    file_printf(f, "The state at the end of the run is in the hotstart maps (WRITE_OV_HOTSTART\n"
                "for the depths), not in these maps.\n\n");
}

}  // namespace

void write_run_summary(run_state& rs) {
    file_object& f = rs.summary_file;

    complete_final_storages(rs);
    compute_run_balances(rs);
    if (rs.gw_simulation) write_groundwater_section(rs, f);
    if (rs.sacramento) write_sacramento_section(rs, f);
    write_global_section(rs, f);
    write_store_balances(rs, f);
    write_map_timing(rs, f);

    write_run_sediment_summary(rs);
    write_run_transport_summaries(rs);
    if (error_record.stop) return;   // the bed-elevation file could not be written
    write_calibration_total(rs);

    write_flood_grid(rs);
    close_map_datasets(rs);
    write_end_of_run_files(rs);
    if (rs.cards.k4.k4_input_given && rs.settings.map_type != kMapTypeNotWritten) close_k4_flow_file();
    if (f.is_open()) std::fflush(f.handle);
}
