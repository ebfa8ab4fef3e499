// Time-series output of the storm-drain network: the superjunction and
// superlink node flow series and the pipe_flow, pipe_head and pipe_tile
// link/node dataset blocks. Flows m3/s (ft3/s with English units), depths m.
#include <cstdio>
#include <vector>

#include "output/output.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

double flow_factor(const run_state& rs) { return rs.english_units ? rs.m3_to_ft3 : 1.0; }

// One block: "TS", then per superlink its entry count and entries, an empty line.
template <class Value>
void write_block(file_object& f, int& counter, const run_state& rs, bool nodes_plus_one, Value value) {
    if (!f.is_open()) return;
    FILE* out = f.handle;
    std::fprintf(out, "TS    %d\n", counter++);
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        const int n = s.pipe_count() + (nodes_plus_one ? 1 : 0);
        std::fprintf(out, "%d   ", n);
        for (int k = 1; k <= n; ++k) std::fprintf(out, "1  %6.5lf   ", value(s, k));
        std::fputc('\n', out);
    }
    std::fputc('\n', out);
}

}  // namespace

void write_superlink_location_rows(run_state& rs, double t) {
    if (!rs.superlink) return;
    const double f = flow_factor(rs);
    const char* time_format = rs.long_term ? "%16.8lf " : "%14.8lf ";
    if (rs.superlink_junc_flow && rs.superlink_junc_flow_file.is_open()) {
        FILE* out = rs.superlink_junc_flow_file.handle;
        std::fprintf(out, time_format, t);
        for (int k = 1; k <= rs.num_sjunc_locations; ++k) {
            const int j = rs.sjunc[ix(k)];
            const double q = j >= 1 && j <= rs.n_sjunc ? rs.sd_junctions[ix(j)].inflow : 0.0;
            std::fprintf(out, "%12.6lf ", q * f);
        }
        std::fputc('\n', out);
    }
    if (rs.superlink_node_flow && rs.superlink_node_flow_file.is_open()) {
        FILE* out = rs.superlink_node_flow_file.handle;
        std::fprintf(out, time_format, t);
        for (int k = 1; k <= rs.num_slnode_locations; ++k) {
            const int l = rs.sl_link[ix(k)], m = rs.sl_node[ix(k)];
            double q = 0.0;
            if (l >= 1 && l <= rs.n_slink) {
                const sd_link& s = rs.sd_links[ix(l)];
                // Locations name nodes as read; graded superlinks map them to their computational node.
                if (m >= 1 && ix(m) < s.first_node.size()) q = s.nodes[ix(s.first_node[ix(m)])].inflow;
            }
            std::fprintf(out, "%12.6lf ", q * f);
        }
        std::fputc('\n', out);
    }
}

void write_superlink_dataset_steps(run_state& rs) {
    if (!rs.superlink) return;
    const double f = flow_factor(rs);
    if (rs.cards.pipe_flow_given)
        write_block(rs.superlink_flow_file, rs.pipe_flow_ts, rs, false,
                    [f](const sd_link& s, int k) { return s.nodes[ix(k)].inflow * f; });
    if (rs.cards.pipe_head_given)
        write_block(rs.superlink_head_file, rs.pipe_head_ts, rs, true,
                    [](const sd_link& s, int k) { return s.nodes[ix(k)].depth; });
    if (rs.cards.pipe_tile_given && rs.leaky_pipes)
        write_block(rs.superlink_tile_file, rs.pipe_tile_ts, rs, false,
                    [f](const sd_link& s, int k) { return s.pipes[ix(k)].tile_flow * f; });
}
