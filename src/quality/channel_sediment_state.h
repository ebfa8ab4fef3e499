// Channel sediment of a run with soil erosion and channel routing: the sand
// classes move as bed material from node store to node store, the fine
// classes travel with the water as wash load, channel lakes hold suspended
// sediment and a sand deposit.
//
// Node rows are flat: node k of link l is entry (maxnodes + 1) x l + k, and a
// per-class row of it starts at that entry x (classes + 2) (see row()).
// Sand classes are numbered m = 1..ns in class order, m = ns + 1 being the
// channel's own bed material; fine classes m = 1..nf. Volumes are m3 of
// solids, rates m3/s of solids.
#pragma once
#include <vector>

struct chan_sed_record {
    int on = 0;                    // channel sediment set up for this run
    int links = 0;                 // links of the network the arrays are sized for
    int maxnodes = 0;              // largest node count they are sized for
    int n = 0;                     // size classes
    int nf = 0, ns = 0;            // fine and sand classes
    int lakes = 0;                 // channel lakes the lake arrays are sized for
    std::vector<int> fine_class;   // size class of fine class m = 1..nf
    std::vector<int> sand_class;   // size class of sand class m = 1..ns
    double porosity = 0.0;         // porosity of deposited sediment, -
    double sand_size = 0.0;        // bed grain diameter, mm
    double viscosity = 0.0;        // kinematic viscosity of water, m2/s

    size_t stride = 0;             // classes + 2: doubles of one per-class row
    size_t node_rows = 0;          // maxnodes + 1
    size_t flat_nodes = 0;         // (maxnodes + 1) x (links + 1) + 2
    size_t flat(int node, int link) const {
        return node_rows * static_cast<size_t>(link) + static_cast<size_t>(node);
    }
    double* row(std::vector<double>& a, int node, int link) {
        return a.data() + flat(node, link) * stride;
    }
    const double* row(const std::vector<double>& a, int node, int link) const {
        return a.data() + flat(node, link) * stride;
    }

    // Per flat node and class (rows of `stride`)
    std::vector<double> wash_vol;      // wash load held at a node per fine class m (0 total), m3
    std::vector<double> conc_vol;      // wash load per water volume per fine class m (0 total), -
    std::vector<double> conc_mass;     // wash load per water volume by size class c (0 total), g/m3
    std::vector<double> qlat_sed;      // lateral sediment of the step by size class c, m3
    std::vector<double> qsmax;         // flux at the downstream face: 1..nf wash, nf+m sand m, m3/s
    std::vector<double> qsmax_total;   // per flat node: sum of the class fluxes, m3/s
    std::vector<double> capacity;      // per flat node: sand capacity of the step, m3/s (+ downstream)
    std::vector<double> slope;         // per flat node: slope used by the capacity, m/m
    std::vector<double> org_bel;       // per flat node: bed elevation at the start of the run, m

    // Wash-load passes (per flat node, rows of `stride`, fine classes 1..nf)
    std::vector<double> advect_flux;   // averaged face volume of the step, m3 (0: sum)
    std::vector<double> temp_conc;     // predicted concentration, -
    std::vector<double> temp_flux;     // predictor face volume, m3
    std::vector<double> temp_mass;     // predicted store, m3
    std::vector<double> node_draw;     // per fine class: what a node 1 gives upstream links, m3
    std::vector<double> lake_given;    // per fine class: what a lake gives upstream links, m3
    std::vector<double> through;       // per fine class: what passes a structure link, m3

    // Outlet and lateral rates of the step (per class, 0 the total)
    std::vector<double> outlet_sand_rate;  // sand leaving the outlet per sand class m, m3/s
    std::vector<double> outlet_wash_rate;  // wash load leaving the outlet per fine class m, m3/s
    std::vector<double> lateral_sand;      // sand taken in from the grid per sand class m, m3
    double step_seconds = 0.0;             // length of the last sediment step, s
    double step_time = -1.0;               // time of the last sediment step, Julian days

    // Totals (m3). Run totals cover the run, event totals the current event.
    double sand_init_total = 0.0;          // initial sand stores of the erodible links
    double sand_init_run = 0.0;            // sand in the channels at the start of the run
    double sand_init_event = 0.0;          // sand in the channels at the start of the event
    double wash_init_event = 0.0;          // wash load in the channels at the start of the event
    std::vector<double> to_channels_run;   // per size class sediment into the channels (0 wash sum)
    std::vector<double> to_channels_event; // the same for the event
    double sand_lateral_run = 0.0, sand_lateral_event = 0.0;  // sand from the grid
    double sand_outlet_run = 0.0, sand_outlet_event = 0.0;    // sand through the outlet
    double wash_outlet_run = 0.0, wash_outlet_event = 0.0;    // wash load through the outlet
    double wash_peak_rate = 0.0;           // largest outlet wash-load rate of the event, m3/s

    // Channel lakes, lakes 1..lakes (rows of `stride`)
    std::vector<double> lake_depo;         // sand settled on the lake bed per sand class m
    std::vector<double> lake_depo_event;   // the same for the event
    std::vector<double> ss_vol;            // suspended wash load per fine class m (0 total)
    std::vector<double> ss_conc_vol;       // its volume per water volume, -
    std::vector<double> ss_conc;           // its mass per water volume, g/m3
    std::vector<double> ss_settled;        // settled in the last step per fine class m
    std::vector<double> ss_settled_event, ss_settled_run;      // settled, event and run
    std::vector<double> ss_chan_to_lake_event, ss_chan_to_lake_run;  // from channel nodes
    std::vector<double> ss_lake_to_chan_event, ss_lake_to_chan_run;  // to channel nodes
    std::vector<double> ss_init_event;     // per lake: suspended at the start of the event
    std::vector<int> lake_cells;           // per lake: cells of the lake in the cell lake map

    // Work rows of the hand-over from the grid, sized by the step
    std::vector<double> cell_given;        // per cell: water given to the nodes in the step, m3
    std::vector<double> cell_suspended;    // per cell and class: suspended before the hand-over, m3
    std::vector<double> step_lateral;      // per size class: lateral sediment of the step, m3
};
