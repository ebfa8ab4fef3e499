// Storm-drain network: set-up at start-up, binding of the outfalls to the
// channel network, and the coupling step of the time loop that exchanges
// water with the surface, the channels and the groundwater and books it.
// Volumes m3, times in days unless said.
#include "stormdrain/superlink.h"

#include <cmath>
#include <cstdio>

#include "core/error.h"
#include "core/file_object.h"
#include "output/output_setup.h"
#include "run/run_state.h"
#include "stormdrain/sd_exchange.h"
#include "stormdrain/sd_input.h"
#include "stormdrain/sd_tile.h"
#include "stormdrain/superlink_solver.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr double kSecondsPerDay = 86400.0;
constexpr int kOutletChannel = 999;
constexpr double kSleepShare = 0.001;   // network water below this share of the event rain lets it sleep

bool due(const run_state& rs, double when) { return std::fabs(when - rs.time) < rs.time_tolerance; }

// The superjunction and superlink node location lists: read here when the
// channel set-up has not read them, and checked against the network.
bool check_locations(run_state& rs) {
    if (rs.superlink_junc_location && rs.sjunc.empty()) read_superjunction_locations(rs);
    if (error_record.code != 0) return false;
    if (rs.superlink_node_location && rs.sl_link.empty()) read_superlink_node_locations(rs);
    if (error_record.code != 0) return false;
    for (int k = 1; k <= rs.num_sjunc_locations; ++k) {
        const int j = rs.sjunc[ix(k)];
        if (j >= 1 && j <= rs.n_sjunc) continue;
        std::printf("Error: location %d of file %s names superjunction %d; the network has %d.\n", k,
                    rs.files.superlink_junc_location, j, rs.n_sjunc);
        error_record.code = kErrorPrinted;
        return false;
    }
    for (int k = 1; k <= rs.num_slnode_locations; ++k) {
        const int l = rs.sl_link[ix(k)], m = rs.sl_node[ix(k)];
        if (l >= 1 && l <= rs.n_slink && m >= 1 && m <= rs.sd_links[ix(l)].pipes_read + 1) continue;
        std::printf("Error: location %d of file %s names superlink %d node %d, which is not a node of the "
                    "network.\n", k, rs.files.superlink_node_location, l, m);
        error_record.code = kErrorPrinted;
        return false;
    }
    return true;
}

}  // namespace

void setup_superlink(run_state& rs) {
    if (!rs.superlink) return;
    file_object f;
    if (!open_file_named(f, rs.files.storm_sewer, "r")) {
        set_error(4, "superlink input", rs.files.storm_sewer);
        return;
    }

    const bool ok = read_superlink_file(rs, f, rs.files.storm_sewer);
    close_file_object(f);
    if (!ok) return;
    if (rs.leaky_pipes) {
        file_object g;
        if (rs.files.grid_pipe[0] == '\0' || !open_file_named(g, rs.files.grid_pipe, "r")) {
            std::printf("\n Since you have leaky pipes you must include the GRID_PIPE card and grid pipe "
                        "input file in your project file\n");
            set_error(4, "tile drain grid pipe", rs.files.grid_pipe);
            return;
        }
        const bool read = read_grid_pipe_file(rs, g, rs.files.grid_pipe);
        close_file_object(g);
        if (!read) return;
    }
    build_computational_pipes(rs, rs.superlink_c_opt != 0);
    if (rs.leaky_pipes && !setup_tile_drains(rs)) return;
    if (!check_locations(rs)) return;
    if (!rs.quiet) std::printf("read superlink pipe file, %d junctions, %d links\n", rs.n_sjunc, rs.n_slink);
    rs.vol_drains_init = init_superlink_state(rs);
    rs.superlink_storage = rs.vol_drains_init;
    rs.superlink_running = 1;
    if (!open_flows_file(rs)) return;
}

void connect_superlink_outlets(run_state& rs) {
    if (!rs.superlink || error_record.code != 0) return;
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        sd_junction& s = rs.sd_junctions[ix(j)];
        if (s.inlet != kOutletChannel) continue;
        const int link = s.row, node = s.col;
        const char* problem = nullptr;
        if (!rs.chan_explic) problem = "needs explicit channel routing";
        else if (link < 1 || link > rs.links) problem = "names a channel link that does not exist";
        else if (node < 1 || node > rs.nx[ix(link)]) problem = "names a channel node that does not exist";
        else if (rs.overbank_flow) problem = "cannot be used together with overbank flow";
        if (problem != nullptr) {
            std::printf("\nError: superlink file %s, line %d: the channel outfall of superjunction %d (link %d "
                        "node %d) %s.\n",
                        rs.files.storm_sewer, s.line, j, link, node, problem);
            error_record.code = kErrorPrinted;
            return;
        }
        s.chan_link = link;
        s.chan_node = node;
    }
}

void add_superlink_outflow_to_channels(run_state& rs, double dt_c) {
    if (!rs.superlink || !(dt_c > 0.0)) return;
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        sd_junction& s = rs.sd_junctions[ix(j)];
        if (s.inlet != kOutletChannel || s.delivered == 0.0) continue;
        const size_t li = ix(s.chan_link), ni = ix(s.chan_node);
        rs.qlat(ni, li) += s.delivered / (dt_c * rs.dx[li]);   // m2/s over the node's length
        s.delivered = 0.0;
        rs.chan_active = 1;
    }
}

void run_superlink_coupling(run_state& rs) {
    if (!rs.superlink) return;
    if (rs.superlink_event_begun) {
        rs.superlink_event_begun = 0;
        rs.superlink_running = 1;
        rs.event_vol_drains_init = rs.superlink_storage;
    }
    if (!rs.superlink_running || !due(rs, rs.superlink_next)) return;
    const double dt = (rs.time - rs.superlink_last) * kSecondsPerDay;   // s

    if (rs.chan_explic) {
        for (int j = 1; j <= rs.n_sjunc; ++j) {
            sd_junction& s = rs.sd_junctions[ix(j)];
            if (s.inlet == kOutletChannel)
                s.chan_stage = rs.yp(ix(s.chan_node), ix(s.chan_link));
        }
    }
    if (rs.leaky_pipes) exchange_tile_drains(rs, dt);

    rs.superlink_ov_active = 0;
    rs.superlink_chan_active = 0;
    if (superlink_step(rs, dt) < 0) return;
    ++rs.superlink_calls;

    // Budget of the call.
    const sd_call_tally& t = rs.superlink_tally;
    rs.vol_ov_to_drains += t.captured;
    rs.event_vol_ov_to_superlink += t.captured;
    rs.vol_drains_to_channels += t.delivered;
    rs.event_vol_superlink_to_channels += t.delivered;
    rs.vol_drains_to_ov += t.released + t.returned;
    rs.event_vol_superlink_to_ov += t.released + t.returned;
    rs.vol_gw_to_tile += t.tile;
    rs.event_vol_gw_to_tile += t.tile;
    rs.vol_drains_corrections += t.corrections;
    for (int j = 1; j <= rs.n_sjunc; ++j) rs.sd_junctions[ix(j)].returned = 0.0;
    const double through = t.entered + t.left + std::fabs(t.storage_after - t.storage_before);
    if (through > 0.0) {
        const double residual = (t.storage_after - t.storage_before) -
                                (t.captured + t.tile - t.released - t.delivered - t.returned + t.corrections);
        rs.superlink_worst_balance = std::max(rs.superlink_worst_balance, std::fabs(residual) / through);
    }

    rs.superlink_last = rs.time;
    rs.superlink_next = rs.time + rs.superlink_step_days;

    // Water put on the surface or into a channel wakes their routing.
    if (rs.superlink_ov_active) rs.surface_has_water = 1;
    if (rs.superlink_chan_active) rs.chan_active = 1;

    // Long dry spells of a long-term run: the network sleeps with the surface.
    if (rs.long_term && !rs.surface_has_water && !rs.rain_on && !rs.leaky_pipes) {
        const double rain = rs.event_rain_volume;
        if (rain == 0.0 || rs.superlink_storage < kSleepShare * rain) {
            rs.superlink_next = rs.rain_next;
            rs.superlink_running = 0;
        }
    }
}
