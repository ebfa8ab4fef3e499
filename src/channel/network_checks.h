// Grid-to-channel connection and the diagnostic files of the channel network.
#pragma once
#include <vector>
#include "channel/node_array.h"

// con_vect[node][link] = the active cell that holds the node, from the per-cell
// link and node maps (cells 1..GNUM of the mask rows x cols). A later cell
// overwrites an earlier one for the same node. A mask number beyond GNUM, or a
// cell naming a link or node outside con_vect, prints a message and raises
// code 4000: gives 0; else 1.
int cconnect(int GNUM, int rows, int cols, int** mask, const std::vector<int>& cell_chan_link,
             const std::vector<int>& cell_chan_node, int_node_array& con_vect);

// Writes "short_links.out" (output folder): the header line, then every link
// 1..links whose node count nx is 1. 1 written; 0 when the file does not open.
int write_short_links(int links, const std::vector<int>& nx);

// Writes "bad_thalweg.out" (output folder): the two header lines, then every
// grid-stream segment (stream cells 1..stream_cells) whose node bed lies above
// the ground elevation of its cell. 1 written; 0 when the file does not open.
int write_bad_thalweg(int stream_cells, const std::vector<int>& gst_ncellsingrid,
                      const std::vector<std::vector<int>>& gst_gnum,
                      const std::vector<std::vector<int>>& gst_link,
                      const std::vector<std::vector<int>>& gst_node,
                      const std::vector<double>& elevation, const node_array& bel);
