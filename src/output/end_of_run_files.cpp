// Files written once at the normal end of a run: the channel hotstart pair,
// the groundwater head and adjusted elevation maps, the saturated-source map,
// the ZOV hydrograph and the overland depth and soil moisture hotstarts.
// Dataset terminators are written where the datasets are closed
// (close_map_datasets, free_map_dataset); link/node files get none.
#include <cstdio>
#include <string>
#include <vector>
#include "channel/channel_records.h"
#include "core/error.h"
#include "core/file_object.h"
#include "output/map_dataset.h"
#include "output/output_setup.h"
#include "output/run_transport_summary.h"
#include "output/zov_hydrograph.h"
#include "run/run_state.h"

namespace {

size_t ix(int i) { return static_cast<size_t>(i); }

// Lake links, structure links and channel links a lake has overtaken carry
// no channel water, so the hotstart holds no line for them (the reader skips
// the same links).
bool hotstart_link(int type) {
    return (type & (kLtLake | kLtStructure)) == 0 &&
           !((type & kLtChannel) != 0 && (type & kLtOvertaken) != 0);
}

// Level (m) and discharge (m3/s) of every routed node, one line per node:
// "node link value". The level file is what read_channel_hotstart takes back.
void write_channel_hotstart(run_state& rs) {
    file_object& levels = rs.chan_depth_hotstart_out_file;
    file_object& flows = rs.chan_discharge_hotstart_out_file;
    if (!levels.is_open() || !flows.is_open()) return;
    for (int l = 1; l <= rs.links; ++l) {
        if (ix(l) >= rs.ltype.size() || !hotstart_link(rs.ltype[ix(l)])) continue;
        for (int k = 1; k <= rs.nx[ix(l)]; ++k) {
            std::fprintf(levels.handle, "%d %d %lf \n", k, l, rs.yp(ix(k), ix(l)));
            std::fprintf(flows.handle, "%d %d %lf\n", k, l, rs.qp(ix(k), ix(l)));
        }
    }
    close_file_object(levels);
    close_file_object(flows);
}

// One bounds grid of per-cell values into `path`; false after printing
// `message` when the file cannot be opened.
bool write_cell_map(run_state& rs, const char* path, const std::vector<double>& values,
                    const char* message) {
    file_object f;
    if (!open_file_named(f, path, "w")) {
        std::printf(message, path);
        return false;
    }
    write_grass_grid(f, rs.mask, rs.map_north, rs.map_south, rs.map_east, rs.map_west, rs.rows,
                     rs.cols, values);
    close_file_object(f);
    return true;
}

// Cells whose water table reached the ground at some time of the run: 1,
// every other grid position 0.
bool write_saturated_sources(run_state& rs) {
    const char* path = "satsource_file";
    file_object f;
    if (!open_file_named(f, path, "w")) {
        std::printf("Can't open map for writing out sat. source info: %s\n", path);
        return false;
    }
    FILE* out = f.handle;
    std::fprintf(out, "north: %9.2lf\n", rs.map_north);
    std::fprintf(out, "south: %9.2lf\n", rs.map_south);
    std::fprintf(out, "east: %9.2lf\n", rs.map_east);
    std::fprintf(out, "west: %9.2lf\n", rs.map_west);
    std::fprintf(out, "rows: %5d\n", rs.rows);
    std::fprintf(out, "cols: %5d\n", rs.cols);
    for (int r = 1; r <= rs.rows; ++r) {
        for (int c = 1; c <= rs.cols; ++c) {
            const int cell = rs.mask[r][c];
            const int mark = (cell >= 1 && ix(cell) < rs.yes_exfil.size()) ? rs.yes_exfil[ix(cell)] : 0;
            std::fprintf(out, "%d ", mark);
        }
        std::fputc('\n', out);
    }
    close_file_object(f);
    return true;
}

// Closes an output table so that every row reaches its file and gives the
// name it was opened under (run-number prefix and folder included), or the
// card's name when it was not open.
std::string closed_output_name(file_object& f, const char* card_name) {
    if (!f.is_open()) return card_name;
    std::string name = f.name;
    close_file_object(f);
    return name;
}

// The outlet hydrograph and the location hydrographs of the run rewritten as
// one ZOV file.
void write_zov_file(run_state& rs) {
    run_files& n = rs.files;
    const std::string outlet = closed_output_name(rs.outlet_hydro_file, n.outlet_hydro);
    const bool with_points = rs.in_hyd_location != 0 && rs.num_hyd_locations > 0;
    const std::string located =
        with_points ? closed_output_name(rs.hyd_location_out_file, n.out_hyd_location) : "";

    file_object series, points, out;
    bool opened = open_file_named(series, outlet.c_str(), "r");
    if (opened && with_points) opened = open_file_named(points, located.c_str(), "r");
    if (opened) opened = open_file_named(out, n.zov_hydro, "w");
    if (!opened) {
        std::printf("\n\nError: Unable to open files to write the ZOV hydrograph file.\n Write aborted.\n");
        return;
    }
    std::vector<std::string> headers;
    if (with_points) {
        char line[64];
        for (int k = 1; k <= rs.num_hyd_locations; ++k) {
            std::snprintf(line, sizeof(line), "Link %d Node %d", rs.hlink[ix(k)], rs.hnode[ix(k)]);
            headers.emplace_back(line);
        }
    }
    write_zov_hydrograph(series, out.handle, points, headers, rs.start_yyyymmdd, rs.start_hhmm,
                         output_interval_steps(rs.hydro_write_steps), rs.hydro_rows_written);
    close_file_object(out);
}

// Water content of each cell's soil (m3/m3) as the soil moisture hotstart
// reader puts it back: the first Richards node; under redistribution the
// mean content of the soil store (its water over the soil_moist_depth), so
// that a run started from the hotstart holds the soil water this run ended
// with; the initial content of plain Green-Ampt (which keeps its wetting
// front apart); the first layer of the layered scheme; else the content
// shown in the surface moisture maps.
std::vector<double> top_soil_moisture(const run_state& rs) {
    const int n = rs.GNUM;
    std::vector<double> theta(ix(n) + 1, 0.0);
    for (int j = 1; j <= n; ++j) {
        const size_t c = ix(j);
        double v = c < rs.theta_all.size() ? rs.theta_all[c] : 0.0;
        if (rs.inf_richards) {
            if (c < rs.richards_theta.size() && rs.richards_theta[c].size() > 1) v = rs.richards_theta[c][1];
        } else if (rs.inf_redist) {
            const double depth_cm = rs.soil_moist_depth;
            if (c < rs.root_zone_water.size() && depth_cm > 0.0) v = rs.root_zone_water[c] / depth_cm;
            else if (c < rs.redist_theta.size()) v = rs.redist_theta[c];
        } else if (rs.green_ampt) {
            if (c < rs.thi.size()) v = rs.thi[c];
        } else if (rs.inf_layered_soil) {
            if (c < rs.theta_ml.size()) v = rs.theta_ml[c][1];
        }
        theta[c] = v;
    }
    return theta;
}

}  // namespace

void write_end_of_run_files(run_state& rs) {
    const project_cards& c = rs.cards;
    if (rs.chan_explic) write_channel_hotstart(rs);

    if (rs.gw_simulation &&
        !write_cell_map(rs, "hotstart_file", rs.elevgw,
                        "Can't open gw hot start map for writing out hotstart info: %s\n")) {
        set_error(kErrorPrinted);
        return;
    }
    if (c.adjust_elev_given &&
        !write_cell_map(rs, c.adjust_elev, rs.elevation,
                        "Can't open adjusted elevation map for writing: %s\n")) {
        set_error(kErrorPrinted);
        return;
    }
    if (rs.write_satsource_map && rs.exfiltration && !write_saturated_sources(rs)) {
        set_error(kErrorPrinted);
        return;
    }
    if (rs.zov_hydro) write_zov_file(rs);

    // A hotstart that cannot be written is told and the run's end goes on.
    if (c.write_ov_hotstart_given)
        write_cell_map(rs, c.write_ov_hotstart, rs.ov_depth,
                       "Can't open overland hotstart file for writing: %s\n");
    if (c.write_sm_hotstart_given)
        write_cell_map(rs, c.write_sm_hotstart, top_soil_moisture(rs),
                       "Can't open overland hotstart file for writing: %s\n");
}
