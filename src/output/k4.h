// Coupling to the external segment model K4: the outlet inflow file (one
// row per hydrograph interval) and, with the k4_fluxes card, the water flux
// into each segment of a segment map, averaged over each hydrograph interval.
#pragma once
#include <vector>
#include "core/file_object.h"
#include "output/linknode_dataset.h"

struct run_state;
struct k4_card_block;

// The segment flux record of a run.
struct k4_data {
    int max_segment = 0;            // largest segment number of the map; 0 = no segments
    std::vector<int> seg_map;       // segment number of each cell 1..cells, 0 = none
    std::vector<int> active_array;  // 1 for each segment 1..max_segment some cell maps to
    std::vector<double> sums;       // flux accumulated per segment 0..max_segment since the last row, m3/s
    int count = 0;                  // accumulation steps since the last row
    file_object file;               // segment flux output
    int pairs = 0;                  // rows of the nodes-to-segments file
    std::vector<int> link, node, segment;  // channel link, node and receiving segment of rows 1..pairs
    int first_output = 1;           // the next row is the first one
    double first_jday = 0.0;        // day of year of the first row
};

// Largest segment number accepted in a segment map (keeps the per-segment
// arrays of a mistyped map within memory).
constexpr int kK4MaxSegment = 1000000;

// Set-up: reads the segment map (integer per cell) and the nodes-to-segments
// file, opens the segment flux file and writes its header. Channel rows are
// checked against the network (links 1..links, nodes 1..nx[link]).
// Warnings 95 and 96 are reported at once; errors (97, 98, 4, 4000) are left
// in error_record. Returns false on an error.
bool k4_setup(k4_data& k4, const k4_card_block& cards, int** mask, int rows, int cols, int cells,
              int links, const std::vector<int>& nx);

// One time-loop pass: adds |face discharge| (m3/s) of every face between a
// cell inside a segment and a cell outside all segments to the inside
// cell's segment, and with explicit routing |qp| of every listed channel node.
void k4_accumulate(k4_data& k4, const std::vector<double>& x_flow,
                   const std::vector<double>& y_flow, int cells,
                   const std::vector<int>& x_neighbour, const std::vector<int>& y_neighbour,
                   bool explicit_routing, const node_grid& qp);

// One row of the segment flux file (averages since the last row); nothing
// when no step was accumulated.
void k4_write_step(k4_data& k4, double jday);

// Closes the flux file and frees the arrays.
void free_k4_data(k4_data& k4);

// Closes the program-wide inflow file (k4_input).
void close_k4_flow_file();

// Appends one row to the inflow file: "%-8.1lf %-7.1f\n" with jday and the discharge.
void write_k4_flow_row(double jday, double discharge);

// Start-up step of the run driver: with k4_fluxes, creates the run's record and sets it up.
void setup_k4_coupling(run_state& rs);
