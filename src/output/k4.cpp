#include "output/k4.h"
#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdio>
#include <new>
#include "core/error.h"
#include "run/run_state.h"
#include "input/cards.h"
#include "input/map_reader.h"
#include "input/project_reader.h"

namespace {

// Prints a message of the set-up about a bad file and leaves code 4000.
void fail_printed() { set_error(kErrorPrinted); }

// Reports a warning at once, so that a later code does not overwrite it.
void warn_now(int code) {
    set_error(code);
    report_error(error_record);
}

// Reads the segment map into k4.seg_map; false when the map could not be
// read (its reader has reported) or holds a segment number outside 0..limit.
bool read_segment_map(k4_data& k4, const char* path, int** mask, int rows, int cols, int cells) {
    file_object f;
    if (!open_file_named(f, path, "r")) {
        set_error(4, "K4 segment map", path);
        return false;
    }
    k4.seg_map.assign(static_cast<size_t>(cells > 0 ? cells + 1 : 1), 0);
    double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
    int map_rows = 0, map_cols = 0;
    const bool ok = read_map_file(f, path, kMapCellIds, north, south, east, west, map_rows,
                                  map_cols, mask, nullptr, nullptr, &k4.seg_map, rows, cols);
    close_file_object(f);
    if (!ok) return false;
    for (int c = 1; c <= cells; ++c) {
        const int s = k4.seg_map[static_cast<size_t>(c)];
        if (s < 0 || s > kK4MaxSegment) {
            std::printf("Error: segment number %d of cell %d in the K4 segment map %s is outside "
                        "0..%d\n",
                        s, c, path, kK4MaxSegment);
            fail_printed();
            return false;
        }
        if (s > k4.max_segment) k4.max_segment = s;
    }
    return true;
}

// Reads the nodes-to-segments rows; false on an error (code left set).
bool read_nodes_to_segments(k4_data& k4, const char* path, int links, const std::vector<int>& nx) {
    k4.pairs = 0;
    if (path == nullptr || path[0] == '\0') return true;   // no file given: no channel rows
    file_object f;
    if (!open_file_named(f, path, "r")) {
        set_error(4, "K4 link-node to segment", path);
        return false;
    }
    int n = 0;
    number_list in(f, "K4 link-node to segment file");
    if (!in.count(n, INT_MAX, "number of rows")) return false;
    if (n == 0) return true;
    // Grown as the rows are read: a count beyond the file ends at its end.
    k4.link.assign(1, 0);
    k4.node.assign(1, 0);
    k4.segment.assign(1, 0);
    for (int k = 1; k <= n; ++k) {
        int link = 0, node = 0, seg = 0;
        char end[1200];
        std::snprintf(end, sizeof end, "End of file reached in file %s, exiting\n", path);
        if (!in.next(link, "link", end) || !in.next(node, "node", end) ||
            !in.next(seg, "segment", end))
            return false;
        const int nodes = (link >= 1 && static_cast<size_t>(link) < nx.size())
                              ? nx[static_cast<size_t>(link)]
                              : 0;
        if (link < 1 || link > links || node < 1 || node > nodes) {
            std::printf("Error: row %d of the K4 link-node to segment file %s names link %d node "
                        "%d, which is not a node of the channel network\n",
                        k, path, link, node);
            fail_printed();
            return false;
        }
        if (seg <= 0 || seg > k4.max_segment ||
            k4.active_array[static_cast<size_t>(seg)] == 0) {
            set_error(97);
            return false;
        }
        k4.link.push_back(link);
        k4.node.push_back(node);
        k4.segment.push_back(seg);
    }
    k4.pairs = n;
    return true;
}

}  // namespace

void k4_data_release::operator()(k4_data* p) const {
    if (p == nullptr) return;
    free_k4_data(*p);
    delete p;
}

bool k4_setup(k4_data& k4, const k4_card_block& cards, int** mask, int rows, int cols, int cells,
              int links, const std::vector<int>& nx) {
    k4.first_output = 1;
    k4.max_segment = 0;
    k4.count = 0;
    bool map_failed = false;
    if (!read_segment_map(k4, cards.k4_segment_map, mask, rows, cols, cells)) {
        if (error_record.stop || error_record.code != 0) return false;
    }
    if (cells <= 0 || k4.max_segment <= 0) {
        warn_now(95);
        map_failed = true;
        k4.max_segment = 0;
    }
    // Slot 0 collects nothing but keeps the arrays non-empty.
    k4.sums.assign(static_cast<size_t>(k4.max_segment) + 1, 0.0);
    k4.active_array.assign(static_cast<size_t>(k4.max_segment) + 1, 0);
    for (int c = 1; c <= cells && !map_failed; ++c) {
        const int s = k4.seg_map[static_cast<size_t>(c)];
        if (s > 0) k4.active_array[static_cast<size_t>(s)] = 1;
    }

    if (!read_nodes_to_segments(k4, cards.k4_nodes_to_segs, links, nx)) return false;
    if (k4.pairs == 0 && map_failed) warn_now(96);

    if (!open_file_named(k4.file, cards.k4_segment_fluxes, "w")) {
        set_error(98, nullptr, cards.k4_segment_fluxes);
        return false;
    }
    std::fprintf(k4.file.handle, "   jday   ");
    for (int s = 1; s <= k4.max_segment; ++s) {
        if (k4.active_array[static_cast<size_t>(s)]) std::fprintf(k4.file.handle, "%-8d  ", s);
    }
    std::fprintf(k4.file.handle, "\n");
    return true;
}

void k4_accumulate(k4_data& k4, const std::vector<double>& x_flow,
                   const std::vector<double>& y_flow, int cells,
                   const std::vector<int>& x_neighbour, const std::vector<int>& y_neighbour,
                   bool explicit_routing, const node_grid& qp) {
    if (k4.max_segment <= 0) return;
    ++k4.count;
    // Cells beyond the segment map (or a map never read) take no part.
    const int last = std::min(cells, static_cast<int>(k4.seg_map.size()) - 1);
    // One face direction: faces between a segment cell and a cell outside all segments.
    auto face_pass = [&](const std::vector<double>& flow, const std::vector<int>& neighbour) {
        const int n_cells = std::min(last, static_cast<int>(neighbour.size()) - 1);
        for (int c = 1; c <= n_cells; ++c) {
            const int n = neighbour[static_cast<size_t>(c)];
            if (n <= 0 || n > last) continue;
            const int s1 = k4.seg_map[static_cast<size_t>(c)];
            const int s2 = k4.seg_map[static_cast<size_t>(n)];
            if ((s1 == 0) == (s2 == 0)) continue;   // both inside or both outside
            const double q = static_cast<size_t>(c) < flow.size() ? flow[static_cast<size_t>(c)] : 0.0;
            k4.sums[static_cast<size_t>(s1 > s2 ? s1 : s2)] += std::fabs(q);
        }
    };
    face_pass(x_flow, x_neighbour);
    face_pass(y_flow, y_neighbour);
    if (explicit_routing) {
        for (int k = 1; k <= k4.pairs; ++k) {
            const double q = node_grid_value(qp, k4.node[static_cast<size_t>(k)],
                                             k4.link[static_cast<size_t>(k)]);
            k4.sums[static_cast<size_t>(k4.segment[static_cast<size_t>(k)])] += std::fabs(q);
        }
    }
}

void k4_write_step(k4_data& k4, double jday) {
    if (k4.count <= 0) return;
    if (k4.first_output) {
        k4.first_jday = jday;
        k4.first_output = 0;
    }
    FILE* out = k4.file.handle;
    if (out != nullptr) std::fprintf(out, "%-8.3lf  ", jday - k4.first_jday + 1.0);
    for (int s = 1; s <= k4.max_segment; ++s) {
        if (!k4.active_array[static_cast<size_t>(s)]) continue;
        double& sum = k4.sums[static_cast<size_t>(s)];
        if (out != nullptr) std::fprintf(out, "%-8.2lf  ", sum / k4.count);
        sum = 0.0;
    }
    if (out != nullptr) std::fprintf(out, "\n");
    k4.count = 0;
}

void free_k4_data(k4_data& k4) {
    if (k4.file.is_open()) close_file_object(k4.file);
    k4.seg_map.clear();
    k4.active_array.clear();
    k4.sums.clear();
    k4.link.clear();
    k4.node.clear();
    k4.segment.clear();
    k4.max_segment = 0;
    k4.pairs = 0;
    k4.count = 0;
}

void close_k4_flow_file() {
    if (k4_flow_file.is_open()) close_file_object(k4_flow_file);
}

void write_k4_flow_row(double jday, double discharge) {
    if (!k4_flow_file.is_open()) return;
    std::fprintf(k4_flow_file.handle, "%-8.1lf %-7.1f\n", jday, static_cast<float>(discharge));
}

void setup_k4_coupling(run_state& rs) {
    if (rs.k4_cards == nullptr || !rs.k4_cards->k4_fluxes) return;
    k4_data* record = new (std::nothrow) k4_data();
    if (record == nullptr) {
        std::printf("Error allocating memory for variable %s\n", "k4_data");
        set_error(kErrorPrinted);
        return;
    }
    rs.k4.reset(record);
    k4_setup(*record, *rs.k4_cards, rs.mask, rs.rows, rs.cols, rs.GNUM, rs.links, rs.nx);
}
