#include "channel/network_checks.h"

#include <cstdio>

#include "channel/chan_messages.h"
#include "core/file_object.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

int value_or_zero(const std::vector<int>& v, int i) {
    return i >= 0 && ix(i) < v.size() ? v[ix(i)] : 0;
}

}  // namespace

int cconnect(int GNUM, int rows, int cols, int** mask, const std::vector<int>& cell_chan_link,
             const std::vector<int>& cell_chan_node, int_node_array& con_vect) {
    if (mask == nullptr) return 1;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            const int cell = mask[r][c];
            if (cell > GNUM || cell < 0) {
                chan_say("Error in cconnect: the watershed mask holds cell number %d at row %d, "
                         "column %d, outside the cells 1..%d (vect>GNUM)\n",
                         cell, r, c, GNUM);
                chan_fail();
                return 0;
            }
            if (cell == 0) continue;
            const int link = value_or_zero(cell_chan_link, cell);
            if (link == 0) continue;
            const int node = value_or_zero(cell_chan_node, cell);
            if (!con_vect.has(node, link) || link < 1 || node < 1) {
                chan_say("Error in cconnect: cell %d (row %d, column %d) holds link %d node %d, "
                         "which is not a node of the channel network\n",
                         cell, r, c, link, node);
                chan_fail();
                return 0;
            }
            con_vect(ix(node), ix(link)) = cell;
        }
    }
    return 1;
}

int write_short_links(int links, const std::vector<int>& nx) {
    file_object f;
    if (!open_file_named(f, "short_links.out", "w")) {
        chan_say("Warning: unable to open the file short_links.out\n");
        return 0;
    }
    std::fprintf(f.handle, "Links with 1 node:\n");
    for (int l = 1; l <= links; ++l) {
        if (value_or_zero(nx, l) == 1) std::fprintf(f.handle, "%d\n", l);
    }
    close_file_object(f);
    return 1;
}

int write_bad_thalweg(int stream_cells, const std::vector<int>& gst_ncellsingrid,
                      const std::vector<std::vector<int>>& gst_gnum,
                      const std::vector<std::vector<int>>& gst_link,
                      const std::vector<std::vector<int>>& gst_node,
                      const std::vector<double>& elevation, const node_array& bel) {
    file_object f;
    if (!open_file_named(f, "bad_thalweg.out", "w")) {
        chan_say("Warning: unable to open the file bad_thalweg.out\n");
        return 0;
    }
    std::fprintf(f.handle, "Problem    link    node    thalweg     cell    elev\n");
    std::fprintf(f.handle, "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= "
                           "difference<1.0, 3=difference>3.5\n");
    for (int i = 1; i <= stream_cells && ix(i) < gst_ncellsingrid.size(); ++i) {
        for (int k = 1; k <= gst_ncellsingrid[ix(i)]; ++k) {
            if (ix(i) >= gst_gnum.size() || ix(k) >= gst_gnum[ix(i)].size()) continue;
            const int link = gst_link[ix(i)][ix(k)];
            const int node = gst_node[ix(i)][ix(k)];
            const int cell = gst_gnum[ix(i)][ix(k)];
            if (!bel.has(node, link) || cell < 0 || ix(cell) >= elevation.size()) continue;
            const double bed = bel(ix(node), ix(link));
            if (bed > elevation[ix(cell)]) {
                std::fprintf(f.handle, "0     %4d    %4d   %lf   %d   %lf\n", link, node, bed, cell,
                             elevation[ix(cell)]);
            }
        }
    }
    close_file_object(f);
    return 1;
}
