#include "output/output.h"
#include <cstdio>
#include <memory>
#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "output/vego_maps.h"
#include "output/xy_output.h"
#include "run/run_state.h"

void read_vego_exchange_maps(run_state& rs) {
    // The host's event clocks are re-armed by set_start_clock, which runs
    // after this step and would overwrite them.
    if (rs.qrm_host && rs.vego && rs.vego_first) read_vego_exchange_files(rs, "1");
}

void setup_xy_outputs(run_state& rs) {
    project_cards& c = rs.cards;
    xy_output& out = c.xy_out;
    if (!c.xybdyoutput_pts_given) return;
    const bool read = c.xybdyoutput_kind == 1 ? read_xy_output_mask(out, c.xybdyoutput_pts)
                                             : read_xy_output_points(out, c.xybdyoutput_pts);
    if (!read) return;
    const xy_grid grid{rs.map_north, rs.map_west, rs.cell_size, rs.rows, rs.cols, rs.mask};
    for (xy_out_point& p : out.points) {
        if (!xy_nearest_cell(grid, p.x, p.y, p)) {
            std::printf("Error: unable to find an active cell near the XY output point "
                        "(x=%.2f, y=%.2f) of %s: the grid has no active cell.\n",
                        p.x, p.y, c.xybdyoutput_pts);
            set_error(kErrorPrinted);
            return;
        }
    }
    if (c.xybdyoutput_gwhead[0] != '\0' && rs.gw_simulation) {
        out.gw_file = std::make_shared<file_object>();
        if (!open_file_named(*out.gw_file, c.xybdyoutput_gwhead, "w")) {
            std::printf("Error: XY Groundwater output file name is not valid\n");
            std::printf("       The file %s cannot be opened for writing.\n", c.xybdyoutput_gwhead);
            set_error(kErrorPrinted);
            return;
        }
        write_xy_ov_header(out, *out.gw_file, "XY_GW_HEAD");
    }
    if (c.xybdyoutput_ovdep[0] != '\0') {
        out.ov_file = std::make_shared<file_object>();
        if (!open_file_named(*out.ov_file, c.xybdyoutput_ovdep, "w")) {
            std::printf("Error: XY Overland Flow output file name is not valid\n");
            std::printf("       The file %s cannot be opened for writing.\n", c.xybdyoutput_ovdep);
            set_error(kErrorPrinted);
            return;
        }
        write_xy_ov_header(out, *out.ov_file);
    }
    if (c.xybdyoutput_stflow[0] != '\0' && rs.chan_explic) {
        // The name the channel set-up opened (resolved against the project folder).
        const char* cif = rs.channel_input_file.name[0] ? rs.channel_input_file.name
                                                        : rs.files.channel_input;
        if (!find_xy_stream_crossings(out, cif)) return;
        for (const xy_crossing& k : out.crossings) {
            if (k.link >= 1 && k.link <= rs.links && k.node >= 1 &&
                k.node <= rs.nx[static_cast<size_t>(k.link)])
                continue;
            std::printf("Error: channel file %s: the inset mask boundary crossing of link %d "
                        "lies at node %d, which the link does not have.\n",
                        cif, k.link, k.node);
            set_error(kErrorPrinted);
            return;
        }
        std::printf("PLUVO identified %d stream link/nodes as crossing the inset mask boundary.\n",
                    static_cast<int>(out.crossings.size()));
        for (const xy_crossing& k : out.crossings) std::printf("%d,%d\t", k.link, k.node);
        std::printf("\n");
        out.st_file = std::make_shared<file_object>();
        if (!open_file_named(*out.st_file, c.xybdyoutput_stflow, "w")) {
            std::printf("Error: unable to open the stream boundary XY hydrograph ouput file\n");
            std::printf("       The file %s cannot be opened for writing.\n", c.xybdyoutput_stflow);
            set_error(kErrorPrinted);
            return;
        }
        write_xy_st_header(out, *out.st_file);
    }
}

void write_xy_output_row(run_state& rs, double julian) {
    xy_output& out = rs.cards.xy_out;
    const bool ov = out.ov_file && out.ov_file->is_open();
    const bool gw = out.gw_file && out.gw_file->is_open();
    const bool st = out.st_file && out.st_file->is_open();
    if (!ov && !gw && !st) return;
    // 0.01 s past the time, so that a time on the minute is labelled by that minute.
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = 0.0;
    julian_to_date(julian + 1.1574074074074074e-7, year, month, day, hour, minute, seconds);
    if (ov) write_xy_ov_values(out, *out.ov_file, year, month, day, hour, minute, rs.ov_depth.data());
    if (gw) write_xy_ov_values(out, *out.gw_file, year, month, day, hour, minute, rs.elevgw.data());
    if (st) {
        file_object& f = *out.st_file;
        file_printf(f, "%4d %02d %02d %02d %02d\t", year, month, day, hour, minute);
        for (const xy_crossing& k : out.crossings)
            file_printf(f, "   %12.4lf", rs.qp(static_cast<size_t>(k.node), static_cast<size_t>(k.link)));
        file_printf(f, "\n");
    }
}
