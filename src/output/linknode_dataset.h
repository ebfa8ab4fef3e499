// Link/node datasets: text files holding one value per node of every channel
// link for a series of output times (stream depth, flow, stage, velocity,
// sediment flux, storm-drain flows and heads, constituent masses and
// concentrations). The two writers produce the header and one time-step
// block; the `linknode_dataset` record binds a constituent source to a file
// and writes one block per call.
#pragma once
#include <vector>
#include "channel/node_array.h"
#include "core/checked_array.h"
#include "core/file_object.h"

// A [node][link] grid of values (rows are nodes, columns links, both used from 1),
// the channel network's node array type.
using node_grid = node_array;

// Link-type bits of the channel network as the writers read them.
constexpr int kLinkChannelBits = 0x04 | 0x08 | 0x10;  // a channel link with nodes
constexpr int kLinkLakeBit = 0x20;                     // a channel-lake link
constexpr int kLinkStructureBit = 0x40;                // a hydraulic-structure link

// Header kinds passed by the callers (index into the header-word table).
constexpr int kLinknodeStreamDepth = 0, kLinknodeStreamFlow = 1, kLinknodeStreamStage = 2,
              kLinknodeStreamVelocity = 3, kLinknodeFloodStreamDepth = 4,
              kLinknodeSuperlinkFlow = 5, kLinknodeSuperlinkHead = 6,
              kLinknodeSuperlinkTileFlow = 7, kLinknodeMass = 26, kLinknodeConcentration = 27,
              kLinknodeStreamSedFlux = 31;
constexpr int kLinknodeHeaderKinds = 32;

// Write modes of a time-step block.
constexpr int kLinknodePlain = 0;       // first value; lakes "0  -999.999", structures "-2" + node 1
constexpr int kLinknodeDifference = 1;  // first - second (depth = water level - bed); lakes "-1" + lake value
constexpr int kLinknodeRatio = 2;       // first / second (velocity = flow / area), 0 for second <= 1e-7

// Smallest divisor of the ratio mode (flow area, m2); a smaller one writes 0.
constexpr double kLinknodeMinDivisor = 1e-7;

// Header word of a kind 0..31, or null outside.
const char* linknode_header_word(int kind);

// Value of grid[node][link]; 0 when the position lies outside the grid.
double node_grid_value(const node_grid& grid, int node, int link);

// Writes the five header lines (a kind outside 0..31 writes no word line).
// time_step in whole minutes; the last START_TIME field is always 0.
void write_linknode_header(file_object& f, int kind, int links, int time_step, int num_ts, int day,
                           int month, int year, int hour, int minute);

// Arguments of one time-step block. Per-link vectors are used from 1; a
// position outside a vector reads as 0.
struct linknode_step_args {
    int links = 0;                               // links 1..links are written
    const std::vector<int>* node_limit = nullptr;   // node count per link; nodes above it read "0  -999.999"
    const std::vector<int>* listed_nodes = nullptr; // entries per link, or null: the node limit
    const std::vector<int>* link_types = nullptr;   // ltype bits per link
    int step_number = 0;                         // number of the "TS" line
    const node_grid* first = nullptr;            // [node][link] values
    const node_grid* second = nullptr;           // subtrahend or divisor, or null
    int mode = kLinknodePlain;                   // kLinknodePlain, kLinknodeDifference, kLinknodeRatio
    const std::vector<int>* lake_index = nullptr;      // lake number of each lake link
    const std::vector<double>* lake_values = nullptr;  // value of each lake 1..
    double scale = 1.0;                          // factor on every written value (unit conversion)
};

// Writes one time-step block ("TS" line, one line per link, an empty line).
void write_linknode_step(file_object& f, const linknode_step_args& a);

// One time-step block of a storm-drain dataset: "TS    %d\n", then per
// superlink 1..links "%d   " with its entry count and "1  %6.5lf   " per
// entry (values[link][1..count], scaled), "\n"; an empty line after the last.
// An entry outside the values reads 0.
void write_superlink_linknode_step(file_object& f, int step_number, int links,
                                   const std::vector<int>& entries, const node_grid& values,
                                   double scale);

// One constituent or nutrient link/node dataset bound to a source.
struct linknode_dataset {
    int ts_count = 0;                  // number of the next "TS" line
    int source_kind = -1;              // -1 unbound, 1 flat source, 2 grid source
    const std::vector<double>* flat_source = nullptr;  // kind 1: node j of link i at i*stride + j
    const node_grid* grid_source = nullptr;            // kind 2: [node][link]
    file_object file;                  // the dataset file
    int header_kind = 0;               // 0..31
    int links = 0;                     // links written
    const std::vector<int>* node_limit = nullptr;    // nodes at or above it are written as 0
    const std::vector<int>* listed_nodes = nullptr;  // node entries per link
    const std::vector<int>* link_types = nullptr;    // ltype bits per link
    const std::vector<int>* lake_index = nullptr;    // lake number of each lake link
    const std::vector<double>* lake_source = nullptr;  // constituent value of each lake, 1..
    node_grid values;                  // values of the step being written [node][link]
    int stride = 0;                    // node dimension of the flat source (largest node count + 1)
    double factor = 1.0;               // scale of the written values
    int lake_count = 0;                // number of channel lakes
    checked_array<double> lake_values; // per-lake values of the step, 1..lake_count
    int range_error = 0;               // a listed node fell outside the values grid

    linknode_dataset();
    linknode_dataset(const linknode_dataset&) = delete;
    linknode_dataset& operator=(const linknode_dataset&) = delete;
    ~linknode_dataset();
};

// All counts zero, nothing bound, no file, source_kind -1, ts_count 0.
void init_linknode_dataset(linknode_dataset& d);
// Bind a flat (kind 1) or grid (kind 2) source. The bed array of the
// original interface carries nothing the writer needs and is not taken.
void bind_linknode_dataset_1d(linknode_dataset& d, int header_kind,
                              const std::vector<double>* flat_source,
                              const std::vector<int>* node_limit,
                              const std::vector<int>* listed_nodes,
                              const std::vector<int>* link_types,
                              const std::vector<int>* lake_index,
                              const std::vector<double>* lake_source, int lake_count, int links,
                              int stride);
void bind_linknode_dataset_2d(linknode_dataset& d, int header_kind, const node_grid* grid_source,
                              const std::vector<int>* node_limit,
                              const std::vector<int>* listed_nodes,
                              const std::vector<int>* link_types,
                              const std::vector<int>* lake_index,
                              const std::vector<double>* lake_source, int lake_count, int links,
                              int stride);
// Opens folder + name + suffix for writing and writes the fixed header
// (TIME_STEP 15, NUM_TS 15, START_TIME 0 0 0 0 0 0). A file that cannot be
// opened prints "Error: unable to open file %s\n"; the run goes on.
void open_linknode_dataset_files(linknode_dataset& d, const char* folder, const char* name,
                                 const char* suffix, double factor);
// Fills the values of this step from the source and writes one block in mode 0.
void write_linknode_dataset_step(linknode_dataset& d);
// Closes the file, reports a range error of the lake values, frees the arrays.
void free_linknode_dataset(linknode_dataset& d);
