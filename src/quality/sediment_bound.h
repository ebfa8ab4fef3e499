// Sediment-bound constituents: the split of a constituent in a water body
// (grid cell, channel node or channel lake) between the water and the
// sediment suspended in it, by a linear partition coefficient Kd per
// constituent, and the sorbed mass that eroded sediment takes from the top
// soil layer. Numerical kernels only: they read plain arrays and write the
// body or cell they are given, so callers may run cells in parallel.
//
// Class arrays hold classes + 1 slots used from 1 (slot 0 a total where one
// is kept). A class takes part in sorption when its flag is 0.
#pragma once
#include <cstddef>

// Volumes and depths at most this count as none, m3 or m.
constexpr double kSorbZero = 1e-16;

// Weight of a class in the partition, m3/g: Kd x 1e-6 (Kd l/kg) for a class
// whose flag is 0, 0 for a flagged class.
double sorption_weight(double kd, int class_flag);

// The size classes as the partition sees them (classes + 1 slots, used from 1).
struct sorbing_classes {
    int count = 0;                    // number of size classes
    const double* density = nullptr;  // particle density, g/m3
    const int* flag = nullptr;        // 0 when the class sorbs, nonzero when it carries none
};

// Split of one constituent in one water body.
struct partition_result {
    double dissolved_fraction = 1.0;  // share of the body's mass in the water, -
    double sorbed_fraction = 0.0;     // share sorbed on all classes (ftot), -
    double sorbed_conc_total = 0.0;   // sum of the per-class sorbed concentrations (stot), g per m3 of sediment
    double class_conc_total = 0.0;    // concentration of the sorbing classes in the water, g/m3
    int nan_seen = 0;                 // 1 when a sorbed concentration was not a number
    int partitioned = 0;              // 0 when the body was too small to partition (outputs untouched)
};

// Partitions a body of water volume `volume` (m3) holding `mass` (g) of a
// constituent with coefficient `kd` (l/kg), whose class sediment volumes are
// `sed_volume` (m3). Writes per class (classes + 1 slots) the class
// concentration in the water `class_conc` (g/m3, when non-null), the sorbed
// fraction `fract` (-) and the sorbed concentration `sorbed` (g per m3 of
// class sediment; divide by the density for g per g). A body of volume at
// most 1e-16 m3 keeps its previous fractions: nothing is written and the
// result has `partitioned` 0. `class_conc_override` (g/m3, classes + 1 slots) replaces
// volume x density / volume when non-null (a lake's own class table).
partition_result partition_body(const sorbing_classes& sc, double kd, double volume, double mass,
                                const double* sed_volume, const double* class_conc_override,
                                double* class_conc, double* fract, double* sorbed);

// Splits a lake's constituent between its water and its suspended sediment.
// The lake holds `water` m3 and the class concentrations `class_conc` (g of
// class sediment per m3 of lake water, classes + 1 slots, used from 1); its
// mass is `dissolved` (g, in the water) plus `attached` (g, on the
// sediment). Afterwards dissolved + attached is what it was, the dissolved
// concentration is dissolved / water and each sorbing class holds Kd x 1e-6
// m3/g times it per gram; `sorbed` (classes + 1 slots) receives the sorbed
// mass per m3 of class sediment (g/m3) and `fract` the sorbed shares. A lake
// with at most 1e-16 m3 of water, or with no mass, keeps its masses and gets
// sorbed concentrations 0. Returns the mass passed from the sediment into
// the water, g (negative: sorbed).
double split_lake(const sorbing_classes& sc, double kd, double water, const double* class_conc,
                  double& dissolved, double& attached, double* fract, double* sorbed);

// Sorbed mass (g) that eroded sediment takes from the top soil layer of a
// cell. The layer holds `layer_mass` (g) of which `layer_dissolved` (-) is in
// the pore water; its sorbing solids are the sum over sorbing classes of the
// soil class fractions `soil_fract` (-) x layer depth `layer_depth_cm` (cm)
// / 100 x cell area `area` (m2) x (1 - `porosity`) (m3). Each sorbing class
// takes the layer's sorbed concentration J (g/m3) x its eroded volume
// `eroded` (m3); the per-class amounts go to `taken` (g, classes + 1 slots,
// slot 0 the total). The total never exceeds the layer's sorbed mass
// layer_mass x (1 - layer_dissolved): eroding more than the layer's solids
// takes all of it and no more. A cell without sorbing solids gives 0.
double eroded_sorbed_mass(const sorbing_classes& sc, double layer_mass, double layer_dissolved,
                          const double* soil_fract, double layer_depth_cm, double area,
                          double porosity, const double* eroded, double* taken);

// The grid and the sediment of one overland step as the sorbed-mass movement
// sees them. Per-cell-and-class arrays are flat, cell-major (entry
// cell x stride + class, cells 1..cells, classes 1..n).
struct sorbed_grid {
    int cells = 0;                    // number of cells
    std::size_t stride = 0;               // classes + 1
    double dx = 0.0;                  // cell size, m
    const int* right = nullptr;       // neighbour to the right (0 none), per cell
    const int* below = nullptr;       // neighbour below (0 none), per cell
    const int* left = nullptr;        // neighbour to the left (0 none), per cell
    const int* above = nullptr;       // neighbour above (0 none), per cell
    const int* lake = nullptr;        // lake number per cell (0 none; null without lakes)
    const double* depth = nullptr;    // water depth per cell, m
    const double* start_volume = nullptr;  // suspended class volumes before the step, m3
    const double* end_volume = nullptr;    // suspended class volumes after the step, m3
    const double* eroded = nullptr;   // class volume taken up in the step, m3
    const double* deposited = nullptr;  // class volume settled in the step, m3
    const double* face_x = nullptr;   // class volume moved to the right neighbour (negative: from it), m3
    const double* face_y = nullptr;   // class volume moved to the lower neighbour (negative: from it), m3
    const double* soil_fract = nullptr;  // class share of the parent soil, -
    double layer_depth_cm = 0.0;      // depth of the top soil layer, cm
    double porosity = 0.0;            // porosity of the top soil layer, -
    const double* cell_porosity = nullptr;  // porosity of the top soil layer per cell (null: porosity above), -
    int outlet = 0;                   // cell that drains off the grid (0 none)
    const double* outlet_volume = nullptr;  // class volume leaving through the outlet in the step (classes + 1), m3
    bool parallel = false;            // run the cell loops on the team of threads
};

// Stores of one constituent that the movement changes.
struct sorbed_stores {
    double kd = 0.0;                  // partition coefficient, l/kg
    double* total = nullptr;          // water plus sorbed mass per cell, g
    const double* water = nullptr;    // dissolved mass per cell, g
    double* pending = nullptr;        // change of the dissolved mass waiting for transport, g
    double* soil_exchange = nullptr;  // mass moved from the cell into the top soil layer (negative: taken), g
    const double* layer_mass = nullptr;       // constituent mass of the top soil layer per cell, g
    const double* layer_dissolved = nullptr;  // dissolved share of that mass per cell, -
    double* dissolved_fraction = nullptr;     // dissolved share of the cell's mass per cell, -
    double* fract = nullptr;          // sorbed fraction per cell and class (slot 0 the sum), -
    double* sorbed = nullptr;         // sorbed concentration per cell and class, g per m3 of sediment
    const double* lake_sorbed = nullptr;  // sorbed concentration per lake and class (stride as cells), g/m3
    double* lake_source = nullptr;    // sorbed mass handed to each lake from the grid, g (per lake)
    double out_of_grid = 0.0;         // sorbed mass that left through the outlet, g
    int nan_seen = 0;                 // 1 when a sorbed concentration was not a number
};

// One overland step of the sorbed mass of one constituent: erosion takes
// sorbed mass from the top soil layer, the cells are partitioned, sorbed mass
// moves across faces with the class volumes (each face carries the sorbed
// concentration of the cell it leaves, a lake face that of the lake when the
// sediment leaves the lake), deposition returns it to the soil, the outlet
// takes its share, and the dissolved part after the last partition becomes
// the pending change of the water mass. `work` is a per-cell-and-class
// scratch (cells + 1) x stride. No store goes below 0 and no mass is made:
// outgoing sorbed mass is limited to what the cell holds on the class.
void move_sediment_bound_mass(const sorbing_classes& sc, const sorbed_grid& g, sorbed_stores& st,
                              double* work);
