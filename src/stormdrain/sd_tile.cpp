// Tile drains. Each share of a grid-pipe cell is a piece of tile of the
// share's fraction of its pipe's length; the aquifer exchange gives the flow
// of every piece from the water table above the pipe's hydraulic grade.
// The inflow of a pipe is booked on the first computational pipe of the
// pipe as read. Flows m3/s, volumes m3.
#include "stormdrain/sd_tile.h"

#include <cstdio>

#include "core/error.h"
#include "run/run_state.h"
#include "subsurface/groundwater.h"
#include "subsurface/gw_tile_exchange.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

}  // namespace

bool setup_tile_drains(run_state& rs) {
    tile_network& net = rs.sd_tiles;
    net = tile_network();
    net.computational_nodes = 1;
    net.equivalent_depth_method = rs.superlink_drainmod == 1 ? 1 : 2;
    const size_t links = ix(rs.n_slink) + 1;
    for (auto* t : {&net.conductivity, &net.diameter, &net.multiplier, &net.spacing, &net.flow_depth, &net.invert})
        t->assign(links, std::vector<double>());
    net.node_cell.assign(links, std::vector<int>());
    net.end_node_map.assign(links, std::vector<int>());
    net.property_node_map.assign(links, std::vector<int>());
    rs.sd_tile_result.tile_inflow.assign(links, std::vector<double>());
    rs.sd_tile_result.superlink_inflow.assign(links, 0.0);
    rs.sd_tile_result.cell_rate.assign(ix(rs.GNUM) + 1, 0.0);
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        const size_t n = s.nodes.size();
        net.conductivity[ix(l)].assign(n, 0.0);
        net.diameter[ix(l)].assign(n, 0.0);
        net.multiplier[ix(l)].assign(n, 1.0);
        net.spacing[ix(l)].assign(n, 0.0);
        net.flow_depth[ix(l)].assign(n, 0.0);
        net.invert[ix(l)].assign(n, 0.0);
        net.node_cell[ix(l)].assign(n, 0);
        for (int k = 1; k <= s.pipe_count(); ++k) {
            const sd_pipe& p = s.pipes[ix(k)];
            net.conductivity[ix(l)][ix(k)] = p.conductivity;
            net.diameter[ix(l)][ix(k)] = p.size;
            net.spacing[ix(l)][ix(k)] = p.spacing;
        }
        for (size_t k = 1; k < n; ++k) {
            net.invert[ix(l)][k] = s.nodes[k].invert;
            net.node_cell[ix(l)][k] = s.nodes[k].cell;
        }
        net.end_node_map[ix(l)] = s.first_node;
        net.property_node_map[ix(l)] = s.first_node;
        rs.sd_tile_result.tile_inflow[ix(l)].assign(ix(s.pipes_read) + 2, 0.0);
    }
    for (size_t c = 1; c < rs.sd_pipe_cells.size(); ++c) {
        std::vector<tile_entry> group;
        for (const sd_pipe_share& sh : rs.sd_pipe_cells[c]) {
            const sd_link& s = rs.sd_links[ix(sh.link)];
            const sd_pipe& p = s.read_pipes[ix(sh.pipe)];
            if (p.conductivity <= 0.0) continue;
            for (int end : {sh.pipe, sh.pipe + 1}) {
                if (s.read_nodes[ix(end)].cell == 0) {
                    std::printf("Error: grid-pipe file %s: superlink %d node %d ends a leaky pipe but lies "
                                "in no cell.\n", rs.files.grid_pipe, sh.link, end);
                    error_record.code = kErrorPrinted;
                    return false;
                }
            }
            tile_entry e;
            e.length = sh.share * p.length;
            e.superlink = sh.link;
            e.node = sh.pipe;
            e.cell = sh.cell;
            group.push_back(e);
        }
        net.groups.push_back(group);
    }
    return true;
}

void exchange_tile_drains(run_state& rs, double dt) {
    for (int l = 1; l <= rs.n_slink; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        for (int k = 1; k <= s.pipe_count(); ++k) s.pipes[ix(k)].tile_flow = 0.0;
    }
    // Only an aquifer the groundwater solver moves can give water up.
    if (!gw_aquifer_solved(rs) || rs.elevgw.size() <= ix(rs.GNUM)) return;
    tile_network& net = rs.sd_tiles;
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        for (size_t k = 1; k < s.nodes.size(); ++k) net.flow_depth[ix(l)][k] = s.nodes[k].depth;
    }
    tile_exchange_result& out = rs.sd_tile_result;
    exchange_gw_tile(net, rs.elevgw, rs.bottom_elev, rs.elevation, out);
    if (error_record.code != 0) return;
    for (int l = 1; l <= rs.n_slink; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        for (int k = 1; k <= s.pipes_read; ++k)
            s.pipes[ix(s.first_node[ix(k)])].tile_flow += out.tile_inflow[ix(l)][ix(k)];
    }
    const bool gw_volumes = rs.gw_tile_vol.size() > ix(rs.GNUM);
    for (int c = 1; c <= rs.GNUM; ++c) {
        const double v = out.cell_rate[ix(c)] * dt;
        if (gw_volumes) rs.gw_tile_vol[ix(c)] += v;
    }
}
