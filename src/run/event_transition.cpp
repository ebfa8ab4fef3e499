// Event transition: in the pass in which an event has ended, hand the
// finished event to the co-run model VEGO and take back its maps, close an
// event of the QRM host, point the rain, infiltration and channel clocks at
// the next event's start, and rebuild the channel cross-sections after the
// event's bed changes. Times are Julian days.
#include <cstdio>
#include <vector>

#include "channel/xsection.h"
#include "core/dates.h"
#include "core/error.h"
#include "run/event_access.h"
#include "run/event_control.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "hydromet/hmet_reader.h"
#include "input/map_reader.h"
#include "output/map_dataset.h"
#include "output/vego_maps.h"

namespace {

constexpr double kCmPerHourPerMps = 360000.0;   // m/s to cm/h

// Prints an exchange-file failure, sets code 4000 and reports it.
void exchange_failure(const char* format, const char* path) {
    std::printf(format, path);
    error_record.code = kErrorPrinted;
    report_error(error_record);
}

// Writes one exchange map for VEGO; false after a reported failure.
bool write_exchange_map(run_state& rs, char* path, const std::vector<double>& values, const char* failure) {
    if (!open_file_object(rs.exchange_file, path, "w")) {
        exchange_failure(failure, path);
        return false;
    }
    write_grass_grid(rs.exchange_file, rs.mask, rs.map_north, rs.map_south, rs.map_east, rs.map_west,
                     rs.map_rows, rs.map_cols, values);
    close_file_object(rs.exchange_file);
    return true;
}

// Step 1: the maps of the finished event for VEGO.
bool write_vego_maps(run_state& rs) {
    if (rs.moist_to_vego_on == 1 &&
        !write_exchange_map(rs, rs.files.moist_to_vego, rs.soil_water,
                            "Can't open soil moisture exchange file %s for writing\n")) {
        return false;
    }
    if (rs.rough_to_vego_on == 1 &&
        !write_exchange_map(rs, rs.files.rough_to_vego, rs.dist_rough,
                            "Can't open roughness exchange file %s for writing\n")) {
        return false;
    }
    if (rs.ksat_to_vego_on == 1) {
        rs.scratch_grid.assign(rs.ksat.size(), 0.0);
        for (size_t j = 0; j < rs.ksat.size(); ++j) rs.scratch_grid[j] = rs.ksat[j] * kCmPerHourPerMps;
        if (!write_exchange_map(rs, rs.files.ksat_to_vego, rs.scratch_grid,
                                "Can't open Ksat exchange file %s for writing\n")) {
            return false;
        }
    }
    if (rs.poros_to_vego_on == 1 &&
        !write_exchange_map(rs, rs.files.poros_to_vego, rs.phi,
                            "Can't open porosity exchange file %s for writing\n")) {
        return false;
    }
    return true;
}

// Step 2: the day numbers of the control file, counted from 31 December of
// the previous year at 01:00.
bool write_vego_control(run_state& rs) {
    const double day_zero = julian_day(rs.year - 1, 12, 31, 1, 0, 0.0);
    rs.vego_today = static_cast<int>(rs.time - day_zero);
    double next = 0.0;
    rs.vego_next_event_day = following_event_start(rs, next) ? static_cast<int>(next - day_zero) : -1;
    if (!open_file_object(rs.vego_control_file, rs.files.vego_file, "w")) {
        std::printf("unable to open vego exchange file for writing\n");
        error_record.code = kErrorPrinted;
        report_error(error_record);
        return false;
    }
    if (rs.num_events == rs.event_index) {
        std::fprintf(rs.vego_control_file.handle, "999 999\n");
    } else {
        std::fprintf(rs.vego_control_file.handle, "%3d %3d\n", rs.vego_today, rs.vego_next_event_day);
    }
    close_file_object(rs.vego_control_file);
    return true;
}

// Step 3: the maps VEGO wrote for the next event.
bool read_vego_maps(run_state& rs) {
    std::printf("reading VEGO exchange maps\n");
    std::fflush(stdout);
    return read_vego_exchange_files(rs, "2");
}

// Step 5: the clocks point at the next event's start s; the first update
// acts when the time reaches s, with an own step of one model step. A run
// that an end test has already stopped (the end_time card, the end of the
// hydrometeorological data) is not restarted, and its clock stays where it is.
void point_clocks_at_next_event(run_state& rs) {
    if (!rs.running) return;
    double s = 0.0;
    if (!following_event_start(rs, s)) {
        // The last event ends the run, but for the hmet data of a long-term run.
        if (!hmet_data_remain(rs)) rs.running = 0;
        return;
    }
    const double d = rs.dt_days;
    rs.time = s - d;
    rs.rain_last = s - d;
    rs.infil_last = s - d;
    rs.rain_next = s;
    rs.infil_next = s;
    if (rs.chan_explic) {
        rs.chan_last = s - d;
        rs.chan_next = s;
        if (rs.chan_con_trans) {
            rs.con_chan_next = s;
            rs.con_chan_last = s - d;
            if (rs.contaminant_count > 0) {
                rs.chan_contam_next = s;
                rs.chan_contam_last = s - d;
            }
            if (rs.nsm_on) {
                rs.nsm_chan_next = s;
                rs.nsm_chan_last = s - d;
            }
            if (rs.stream_exchange) {
                rs.stream_loss_next = s;
                rs.stream_loss_last = s - d;
            }
        }
    }
    if (rs.overland_constituents) {
        rs.ov_con_rain_next = s;
        rs.ov_con_rain_last = s - d;
        rs.ov_con_transport_next = s;
        rs.ov_con_transport_last = s - d;
        rs.ov_con_infil_next = s;
        if (rs.soil_con_trans) {
            rs.soil_con_next = s;
            rs.soil_con_last = s - d;
        }
        if (rs.chan_explic || rs.chan_mesh) {
            rs.ov_con_chan_next = s;
        } else {
            rs.ov_con_outlet_next = s;
        }
        if (rs.contaminant_count > 0) {
            rs.ov_con_exchange_next = s;
            rs.ov_con_decay_next = s;
        }
    }
}

// Entry [node][link] of an array kept as node rows, when it exists (the
// node-array overloads are in core/event_access.h).
double* node_entry(std::vector<std::vector<double>>& a, int node, int link) {
    if (node < 0 || node >= static_cast<int>(a.size())) return nullptr;
    std::vector<double>& row = a[static_cast<size_t>(node)];
    if (link < 0 || link >= static_cast<int>(row.size())) return nullptr;
    return &row[static_cast<size_t>(link)];
}

// Step 6: cross-sections after the event's bed changes.
void rebuild_channel_sections(run_state& rs) {
    if (rs.num_bp_erode_links > 0) {
        xsec_update(rs);
        if (rs.adjust_channel_bed) {
            ex_section(rs, 1);
            const int bp_links = rs.num_bp_erode_links;
            for (int l = 1; l <= rs.links && spans(rs.ltype, l) && spans(rs.nx, l); ++l) {
                const int type = rs.ltype[l];
                if (!((type & kLinkBreakpoint) && (type & kLinkErodible))) continue;
                const int bp = spans(rs.bplink, l) ? rs.bplink[l] : 0;
                if (bp < 1 || bp > bp_links || !spans(rs.max_yp, bp) || !spans(rs.ch_sand_vol0, bp)) continue;
                for (int k = 1; k <= rs.nx[l]; ++k) {
                    const double* y = node_entry(rs.yp, k, l);
                    if (y == nullptr || !spans(rs.max_yp[bp], k) || !spans(rs.ch_sand_vol0[bp], k)) continue;
                    if (*y <= rs.max_yp[bp][k]) continue;
                    if (spans(rs.ch_sand_vol, k) && spans(rs.ch_sand_vol[k], l) && !rs.ch_sand_vol[k][l].empty()) {
                        rs.ch_sand_vol0[bp][k] = rs.ch_sand_vol[k][l][0];
                    }
                }
            }
        }
    }
    if (rs.adjust_channel_bed && rs.links >= 1) {
        bool changed = false;
        for (int l = 1; l <= rs.links && spans(rs.ltype, l) && spans(rs.nx, l); ++l) {
            const int type = rs.ltype[l];
            if (!((type & kLinkTrapezoid) && (type & kLinkErodible))) continue;
            for (int k = 1; k <= rs.nx[l]; ++k) {
                double* b = node_entry(rs.bel, k, l);
                double* y = node_entry(rs.yp, k, l);
                double* bed = node_entry(rs.new_bel, k, l);
                double* depth = node_entry(rs.chan_node_depth, k, l);
                if (!b || !y || !bed || !depth) continue;
                *b = *bed;
                *y = *depth + *b;
                changed = true;
            }
        }
        if (changed) ex_section(rs, 2);
    }
}

}  // namespace

void next_event(run_state& rs) {
    if (rs.event_ended != 1) return;

    // 1-3: exchange with VEGO
    if (rs.qrm_host && rs.vego) {
        if (!write_vego_maps(rs)) return;
        if (!write_vego_control(rs)) return;
        if (rs.event_index < rs.num_events && !rs.qrm_mode && !read_vego_maps(rs)) return;
    }

    if (rs.qrm_mode) {
        // 4: the run ends with the host's event
        std::printf("End of QRM event %d\n", rs.event_index);
        rs.running = 0;
    } else if (!rs.inf_richards && !rs.groundwater && !rs.inf_redist && !rs.lake_level_flag) {
        // 5
        point_clocks_at_next_event(rs);
    }

    // 6
    if (rs.channel_sediment) rebuild_channel_sections(rs);

    // 7
    rs.event_ended = 0;
    rs.finish_pending = 1;
}
