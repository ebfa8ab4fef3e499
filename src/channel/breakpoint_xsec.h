// Break-point cross-sections: surveyed station-elevation sections turned into
// depth tables of flow area, top width, conveyance and wetted perimeter
// (and, for mesh routing, the first moment of area and dK/dA).
//
// A table t holds steps 1..numhts[t] at depths j x ht_spc[t] above the
// section's lowest point; step 0 is the empty section (all zero). The tables
// live in the run state ([depth step][table], stored table by table).
#pragma once
#include <vector>

struct run_state;

// One surveyed section of a break-point link as read (NPAIRS, NUM_INTERP, X1).
struct bp_section {
    int node = 0;              // node that carries the section
    int npairs = 0;            // NPAIRS
    int num_interp = 0;        // NUM_INTERP (number of depth steps)
    int ordinal = 0;           // section number within its link (1.. in file order)
    std::vector<double> x;     // stations 0..npairs-1, m
    std::vector<double> z;     // bed elevations 0..npairs-1, m
    int given = 0;             // X1 pairs read so far
};

// Depth properties of one section at `steps` levels h_j = zmin + j x delta,
// written to the step arrays [0..steps] (step 0 zero). The mesh arrays may be
// null. Gives 0, or -1 when one level cuts the section into 50 wet pieces.
int fill_depth_table(const double* x, const double* z, int n, int steps, double delta,
                     double zmin, double inv_n, double* area, double* top_width,
                     double* conveyance, double* perimeter, double* first_moment,
                     double* dk_da);

// Value of a table column v[0..steps] at depth d (m): below the first step the
// first value scaled by d / delta, inside the table linear between the two
// steps that bracket d (the top row included, never past it), above the top
// the linear extension of the last two steps.
double table_value_at(const double* v, int steps, double delta, double d);

// Assigns tables to the nodes 1..nx1 of break-point link `link`, builds them
// from the link's sections and, for an erodible link, stores every node's
// section in xbp_lnn / ybp_lnn. `next_table` is the first free table number
// and is advanced past the tables used. 1 done; 0 after an error message and
// code 4000 raised through report_error.
int read_breakpoint_xsecs(run_state& rs, int link, std::vector<bp_section>& sections,
                          int& next_table);

// Rebuilds table table_num[node][link] of an erodible break-point link from
// the node's section in xbp_lnn / ybp_lnn. 1 done; 0 after an error (raised).
int compute_xsec_tables(run_state& rs, int link, int node);

// Number of tables a break-point link needs: nx1 for an erodible link, 1 for a
// single section, else the node span of its sections (last - first + 1).
int breakpoint_table_count(int nx1, bool erodible, int sections, int first_node, int last_node);
