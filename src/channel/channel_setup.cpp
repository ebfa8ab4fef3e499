// Channel network set-up at model initialisation and the initial channel state.
#include <cmath>
#include "input/grid.h"
#include <cstdio>
#include <cstring>
#include <vector>

#include "channel/chan_input.h"
#include "channel/chan_messages.h"
#include "channel/channel.h"
#include "channel/channel_lakes_aquifer.h"
#include "channel/explicit_routing.h"
#include "channel/channel_records.h"
#include "channel/network_checks.h"
#include "channel/xsection.h"
#include "core/error.h"
#include "core/file_object.h"
#include "quality/channel_sediment.h"
#include "run/run_state.h"
#include "core/text.h"
#include "input/time_series.h"
#include "output/output_setup.h"

namespace {

constexpr double kZero = 1e-16;          // depths at or below count as dry, m
constexpr double kMinNodeSpacing = 1e-4; // smallest node spacing of a routed link, m

inline size_t ix(int i) { return static_cast<size_t>(i); }

// Lake links, structure links and channel links a lake has overtaken have no
// hotstart lines and hold no channel water.
bool skipped_link(int type) {
    return (type & (kLtLake | kLtStructure)) != 0 ||
           ((type & kLtChannel) != 0 && (type & kLtOvertaken) != 0);
}

bool has_erodible_trapezoid(const run_state& rs) {
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if ((type & kLtTrapezoid) && (type & kLtErodible)) return true;
    }
    return false;
}

bool stopped() { return error_record.stop != 0; }

// With the two-dimensional groundwater model only stream cells coded 4 in
// the boundary map exchange water with the aquifer: the others are named,
// so that a stream that exchanges nothing does not pass unseen.
void warn_stream_cells_without_exchange(run_state& rs) {
    if (!rs.gw_simulation || !rs.stream_exchange || !rs.stream_cell_on ||
        rs.gwbound.size() <= ix(rs.GNUM))
        return;
    int count = 0, first = 0;
    for (int k = 1; k <= rs.num_stream_cells; ++k) {
        for (int g = 1; g <= rs.gst_ncellsingrid[ix(k)]; ++g) {
            const int c = rs.gst_gnum[ix(k)][ix(g)];
            if (c < 1 || c > rs.GNUM || rs.gwbound[ix(c)] == 4) continue;
            if (rs.channel_lakes && rs.lake_mask.size() > ix(c) && rs.lake_mask[ix(c)] > 0) continue;
            if (first == 0) first = c;
            ++count;
        }
    }
    if (count == 0) return;
    fill_cell_rows(rs);
    char text[400];
    std::snprintf(text, sizeof text,
                  "Warning: %d stream cell segment(s) of the grid-stream file lie on cells that the "
                  "groundwater boundary map does not code 4 (the first on cell %d, row %d, column "
                  "%d); their channel exchanges no water with the aquifer.\n",
                  count, first, rs.cell_row[first], rs.cell_col[first]);
    chan_say("%s", text);
}

void allocate_node_state(run_state& rs) {
    const size_t R = ix(rs.maxnodes) + 2, C = ix(rs.links) + 2;
    for (node_array* a : {&rs.yp_max_flood, &rs.chan_node_depth, &rs.area, &rs.area_old, &rs.conv,
                          &rs.dconv, &rs.stdummy, &rs.topw, &rs.qlat}) {
        a->assign(R, C, 0.0);
    }
}

// Grid row and column of every active cell, from one walk over the mask.
void cell_positions(const run_state& rs, std::vector<int>& row_of, std::vector<int>& col_of) {
    row_of.assign(ix(rs.GNUM) + 1, 0);
    col_of.assign(ix(rs.GNUM) + 1, 0);
    if (rs.mask == nullptr) return;
    for (int r = 1; r <= rs.rows; ++r) {
        for (int c = 1; c <= rs.cols; ++c) {
            const int cell = rs.mask[r][c];
            if (cell >= 1 && cell <= rs.GNUM) {
                row_of[ix(cell)] = r;
                col_of[ix(cell)] = c;
            }
        }
    }
}

}  // namespace

void read_channel_hotstart(run_state& rs) {
    if (!rs.chan_hotstart_read) return;
    file_object& f = rs.chan_depth_hotstart_in_file;
    if (!f.is_open()) return;
    text_line line;
    int number = 0;
    for (int l = 1; l <= rs.links; ++l) {
        const size_t li = ix(l);
        if (skipped_link(rs.ltype[li])) continue;
        for (int k = 1; k <= rs.nx[li]; ++k) {
            const size_t ki = ix(k);
            ++number;
            int a = 0, b = 0;
            double level = 0.0, area = 0.0;
            char token[kTokenSize];
            const bool have = read_line(line, f) != 0;
            const number_status a_status = have ? next_checked_int(line, a, token) : number_status::missing;
            const number_status b_status = next_checked_int(line, b, token);
            const number_status level_status = next_checked_double(line, level, token);
            if (!have || a_status == number_status::missing || b_status == number_status::missing ||
                level_status == number_status::missing) {
                chan_say("\nError in the channel hotstart file %s, line %d: the water level of "
                         "node %d of link %d is missing.\n",
                         f.name, number, k, l);
                chan_fail();
                return;
            }
            if (a_status != number_status::ok || b_status != number_status::ok) {
                chan_say("\nError in the channel hotstart file %s, line %d: the link and node of "
                         "node %d of link %d must be whole numbers.\n",
                         f.name, number, k, l);
                chan_fail();
                return;
            }
            // A level or area that is no finite number is refused: the routing cannot start from it.
            const number_status area_status = next_checked_double(line, area, token);
            if (level_status != number_status::ok ||
                (area_status != number_status::ok && area_status != number_status::missing)) {
                chan_say("\nError in the channel hotstart file %s, line %d: the water level or "
                         "area of node %d of link %d is not a finite number.\n",
                         f.name, number, k, l);
                chan_fail();
                return;
            }
            rs.yp(ki, li) = level;
            if (area_status == number_status::ok) rs.area(ki, li) = area;
            double depth = rs.yp(ki, li) - rs.bel(ki, li);
            if (depth < 0.0) {
                rs.yp(ki, li) = rs.bel(ki, li);
                depth = 0.0;
            }
            rs.chan_node_depth(ki, li) = depth;
            if (depth > kZero) rs.chan_active = 1;
        }
    }
}

void setup_grid_stream(run_state& rs) {
    for (int l = 1; l <= rs.links; ++l) {
        const int type = rs.ltype[ix(l)];
        if (type & (kLtLake | kLtStructure)) continue;
        if (rs.dx[ix(l)] < kMinNodeSpacing) {
            chan_say("\nYour channel node spacing is %f in link %d\n", rs.dx[ix(l)], l);
            chan_say("You must specify a realistic value.  Program terminated.\n");
            chan_fail();
            return;
        }
    }
    const size_t S = ix(rs.num_stream_cells) + 1, W = ix(rs.gst_max_segments) + 1;
    rs.gst_row.assign(S, std::vector<int>(W, 0));
    rs.gst_col.assign(S, std::vector<int>(W, 0));
    rs.gst_qlat.assign(S, std::vector<double>(W, 0.0));
    if (rs.gw_simulation || rs.stream_exchange || rs.chan_con_trans) {
        rs.gst_qriv.assign(S, std::vector<double>(W, 0.0));
        rs.gst_qriv_vol.assign(S, std::vector<double>(W, 0.0));
        rs.gst_Vp.assign(ix(rs.maxnodes) + 2, ix(rs.links) + 2, 0.0);
    }
    // The cell positions are looked up, not searched for, once per entry.
    std::vector<int> row_of, col_of;
    cell_positions(rs, row_of, col_of);
    for (int i = 1; i <= rs.num_stream_cells; ++i) {
        for (int k = 1; k <= rs.gst_ncellsingrid[ix(i)]; ++k) {
            const int cell = rs.gst_gnum[ix(i)][ix(k)];
            if (cell < 1 || cell > rs.GNUM) continue;
            rs.gst_row[ix(i)][ix(k)] = row_of[ix(cell)];
            rs.gst_col[ix(i)][ix(k)] = col_of[ix(cell)];
        }
    }
}

void setup_channel_network(run_state& rs) {
    if (!rs.chan_explic) return;
    const char* name = rs.channel_input_file.name[0] ? rs.channel_input_file.name : rs.files.channel_input;
    if (chan_console_on(rs) && run_number <= 1) {
        std::printf("reading channel input data from file %s\n", name);
    }
    if (rs.summary_file.handle != nullptr) {
        std::fprintf(rs.summary_file.handle, "reading channel input data from file %s\n", name);
    }
    const int sediment_asked = rs.channel_sediment;

    if (!rs.channel_input_file.is_open()) {
        chan_say("\nError: the channel input file %s is not open; explicit channel routing needs "
                 "it.\n",
                 name);
        chan_fail();
        return;
    }
    rs.mlake_given = read_chan_input(rs, rs.channel_input_file);
    if (stopped()) return;

    rs.yp_max_flood.assign(ix(rs.maxnodes) + 2, ix(rs.links) + 2, 0.0);
    const bool erodible = has_erodible_trapezoid(rs);
    rs.channel_sediment = sediment_asked && erodible ? 1 : 0;

    if (rs.channel_lakes) {
        for (int k = 1; k <= rs.num_channel_lakes; ++k) rs.lakes_init_volume += rs.lake_volume[ix(k)];
        if (rs.gw_simulation) rs.og_gwbound_type = rs.gwbound;
    }

    allocate_node_state(rs);
    read_channel_hotstart(rs);
    if (stopped()) return;

    if (rs.stream_exchange || rs.chan_con_trans) {
        rs.qriv.assign(ix(rs.maxnodes) + 2, ix(rs.links) + 2, 0.0);
        rs.av_qriv.assign(ix(rs.maxnodes) + 2, ix(rs.links) + 2, 0.0);
    }
    if (rs.channel_lakes && rs.mlake_given) {
        rs.lake_source.assign(ix(rs.GNUM) + 1, 0.0);
        rs.lake_gw_step_volume.assign(ix(rs.num_channel_lakes) + 1, 0.0);
        check_lake_beds(rs);
        if (stopped()) return;
    }

    if (sediment_asked && !erodible) {
        std::fprintf(stderr, "\nYou have selected overland erosion with channel routing.  The channel\n");
        std::fprintf(stderr, "input file does not contain any erodable trapezoidal links (linktype 30).\n");
        std::fprintf(stderr, "You must edit all link types and convert them to erodable trapezoidal\n");
        std::fprintf(stderr, "links.  At present PLUVO only performs sediment routing in erodable\n");
        std::fprintf(stderr, "trapezoidal channels.  PLUVO exiting.\n\n");
        chan_fail();
        return;
    }

    // Output location lists, now that the network is known.
    for (void (*reader)(run_state&) : {read_hydrograph_locations, read_gw_flux_locations,
                                       read_sediment_hydrograph_locations,
                                       read_superjunction_locations,
                                       read_superlink_node_locations}) {
        reader(rs);
        if (stopped()) return;
    }

    rs.num_head_links = 0;
    for (int l = 1; l <= rs.links; ++l) {
        if (rs.ndep[ix(l)] == 0) ++rs.num_head_links;
    }

    rs.con_vect.assign(ix(rs.maxnodes) + 2, ix(rs.links) + 2, 0);
    chan_status(rs, "Setting up the grid-stream data... ");
    setup_grid_stream(rs);
    if (stopped()) return;
    chan_status(rs, "done.\n");
    if (rs.channel_sediment) alloc_channel_sediment_arrays(rs);

    const bool grid_stream = rs.stream_cell_on && rs.num_stream_cells > 0;
    if (!grid_stream) {
        if (rs.cell_chan_link.size() <= ix(rs.GNUM)) rs.cell_chan_link.assign(ix(rs.GNUM) + 1, 0);
        if (rs.cell_chan_node.size() <= ix(rs.GNUM)) rs.cell_chan_node.assign(ix(rs.GNUM) + 1, 0);
        if (!cconnect(rs.GNUM, rs.rows, rs.cols, rs.mask, rs.cell_chan_link, rs.cell_chan_node,
                      rs.con_vect))
            return;
    }
    write_short_links(rs.links, rs.nx);
    write_bad_thalweg(rs.num_stream_cells, rs.gst_ncellsingrid, rs.gst_gnum, rs.gst_link,
                      rs.gst_node, rs.elevation, rs.bel);
    warn_stream_cells_without_exchange(rs);
}

int apply_stream_head_boundary(run_state& rs) {
    if (rs.links < 1) return 0;
    const double head = rs.bound_ts ? time_series_value(rs.time, rs.head_series) : rs.bound_depth;
    const size_t l = ix(rs.links), k = ix(rs.nx[l]);
    if (!rs.yp.has(static_cast<long>(k), static_cast<long>(l)) ||
        !rs.chan_node_depth.has(static_cast<long>(k), static_cast<long>(l)))
        return 0;
    rs.yp(k, l) = rs.bel(k, l) + head;
    rs.chan_node_depth(k, l) = head;
    return 0;
}

void init_channel_state(run_state& rs) {
    rs.chan_active = 0;
    if (!rs.chan_explic || rs.links < 1) return;
    if (!check_channel_routing_settings(rs)) return;   // refused before the loop starts
    if (rs.head_bound) {
        if (rs.bound_ts) {
            rs.head_series = find_time_series(rs.files.bound_ts);
            if (rs.head_series == nullptr) {
                set_error(127, rs.files.bound_ts);
                return;
            }
        }
        apply_stream_head_boundary(rs);
        rs.chan_active = 1;
    }
    if (!ex_section(rs, kSectionFromLevel, rs.area)) return;
    rs.vol_channel_init = 0.0;
    for (int l = 1; l <= rs.links; ++l) {
        const size_t li = ix(l);
        if (skipped_link(rs.ltype[li])) continue;
        const double* a = rs.area.link_data(li);
        const double* y = rs.yp.link_data(li);
        const double* bed = rs.bel.link_data(li);
        double sum = 0.0;
        for (int k = 1; k <= rs.nx[li]; ++k) {
            sum += a[k];
            // Water standing in the channels from the hotstart keeps them active.
            if (y[k] - bed[k] > kZero) rs.chan_active = 1;
        }
        rs.vol_channel_init += sum * rs.dx[li];
    }
    init_chan_point_inputs(rs);
}
