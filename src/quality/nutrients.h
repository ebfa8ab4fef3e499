// Nutrient sub-model: nine species carried in the overland water and the
// channel nodes as constituents numbered after the contaminants (first
// first_nsm_constituent), thirteen soil pools per cell when soil constituents
// are on, the hand-over of infiltrating species into their pools, the soil
// uptake back into the water, and the derived outputs (un-ionised ammonia,
// total N, Kjeldahl N and P).
#pragma once
#include <memory>
#include <vector>
#include "channel/node_array.h"
#include "core/file_object.h"
#include "output/linknode_dataset.h"
#include "output/map_dataset.h"
#include "quality/nutrient_aquatic.h"

struct run_state;

constexpr int kNsmOverlandSpecies = 12;  // no2 no3 nh4 on op dp alg cbod do, doc init, doc foc, dispersion
constexpr int kNsmSpecies = 9;           // no2 no3 nh4 on op dp alg cbod do
constexpr int kNsmNameSize = 1024;       // file-name slot, including the NUL
constexpr int kNsmBlock = 9;             // constituents of the block without soil pools
constexpr int kNsmBlockWithSoil = 13;    // constituents of the block with soil pools
constexpr int kNsmPools = 13;            // soil pools 0..12
constexpr int kNsmUptakePairs = 5;       // (pool, species) pairs of the soil uptake

// Species and parameter slots.
constexpr int kNsmNo2 = 0, kNsmNo3 = 1, kNsmNh4 = 2, kNsmOn = 3, kNsmOp = 4, kNsmDp = 5,
              kNsmAlg = 6, kNsmCbod = 7, kNsmDo = 8, kNsmDoc = 9, kNsmDocFoc = 10,
              kNsmDispersion = 11;

// Initial-value modes of a species.
constexpr int kNsmInitMap = 1;           // map file named
constexpr int kNsmInitNone = 2;          // card given without a value: the mapping table
constexpr int kNsmInitUniform = 3;       // one uniform value

// Mixing depth of the uptake rule: a cell's rain depth P (m) over the
// interval frees the share 1 - exp(-P / kNsmUptakeMixDepth) of each pool's
// top layer into the water, m.
constexpr double kNsmUptakeMixDepth = 0.01;

// Derived outputs of the overland water, g per cell (cells 1..GNUM).
struct nsm_overland_outputs {
    std::vector<double> nh3, total_n, total_p;
};

// Derived outputs of the stream nodes, g per node [node][link].
struct nsm_stream_outputs {
    node_array nh3, total_n, tkn, total_p;
};

// Derived outputs of the channel-network lakes, g per lake (lakes 1..lakes).
struct nsm_lake_outputs {
    std::vector<double> nh3, total_n, tkn, total_p;
};

// The nutrient sub-model container, created by the nutrients card while the
// project file is read; the project-file reader fills the card fields.
struct nsm_model {
    char aq_env[kNsmNameSize] = {};                       // aquatic-environment file
    int ov_init_mode[kNsmOverlandSpecies] = {};           // overland initial-value mode (kNsmInit*)
    double ov_init_value[kNsmOverlandSpecies] = {};       // uniform overland initial value, g/m3 (dispersion m2/s)
    char ov_init_file[kNsmOverlandSpecies][kNsmNameSize] = {};  // overland initial-value map
    int st_init_mode[kNsmSpecies] = {};                   // stream initial-value mode (kNsmInit*)
    double st_init_value[kNsmSpecies] = {};               // uniform stream initial value, g/m3
    char st_init_file[kNsmSpecies][kNsmNameSize] = {};    // stream initial-value map
    int out_ov_given[kNsmSpecies] = {};                   // overland output map wanted
    char out_ov_file[kNsmSpecies][kNsmNameSize] = {};     // overland output map name
    int out_st_given[kNsmSpecies] = {};                   // stream output wanted
    char out_st_file[kNsmSpecies][kNsmNameSize] = {};     // stream output name
    int out_hyd_given[kNsmSpecies] = {};                  // outlet hydrograph output wanted
    char out_hyd_file[kNsmSpecies][kNsmNameSize] = {};    // outlet hydrograph output name
    aquatic_env_tables aquatic;                           // aquatic environment tables (aq_env file)

    // Set up at model initialisation
    int cells = 0;                        // cells of the overland part (GNUM)
    double water_temp = 0.0;              // water temperature of the card water_temp, deg C
    double ph = 7.2;                      // pH of the card chan_ph
    double ka = 0.0;                      // ammonium dissociation constant at water_temp, mol/l
    double h_ion = 0.0;                   // hydrogen ion activity 10^-pH, mol/l
    double km_koc[12] = {};               // half-saturation (6) and organic-carbon partition (6) card values, 0 without a card
    std::vector<double> doc;              // per cell: dissolved organic carbon, g/m3
    std::vector<double> doc_foc;          // per cell: fraction of organic carbon, -
    std::vector<double> dispersion;       // per cell: overland dispersion coefficient, m2/s
    std::vector<double> st_doc, st_doc_foc, st_dispersion;  // per flat node: the same in the streams (g/m3, -, m2/s)
    std::vector<std::vector<double>> soil_km, soil_koc;     // [0..5][cell]: soil half-saturation and partition values, units of the table
    std::vector<std::vector<double>> gw_conc;   // [block offset][cell]: concentration of groundwater entering the cell or the channel, g/m3
    std::vector<double> uptake_book;      // [pair x (GNUM + 1) + cell]: mass the uptake moved in the last step, g
    nsm_overland_outputs ov_out;          // derived outputs of the cells
    nsm_stream_outputs st_out;            // derived outputs of the nodes

    // Outputs
    std::unique_ptr<map_dataset> ov_mass_map[kNsmSpecies];   // species mass maps (out_ov_*)
    std::unique_ptr<map_dataset> ov_conc_map[kNsmSpecies];   // species concentration maps
    std::unique_ptr<map_dataset> total_ov_n_map, total_ov_p_map;  // overland totals
    std::unique_ptr<linknode_dataset> st_mass_set[kNsmSpecies];   // species stream masses (out_st_*)
    std::unique_ptr<linknode_dataset> st_conc_set[kNsmSpecies];   // species stream concentrations
    std::unique_ptr<linknode_dataset> total_chan_n_set, total_chan_kn_set, total_chan_p_set;
    file_object hyd_conc[kNsmSpecies];    // outlet concentration series (out_hyd_*), g/m3
    file_object hyd_mass[kNsmSpecies];    // outlet mass series, g
    nsm_lake_outputs lake_out;            // derived outputs of the channel-network lakes
};

// Constructor and destructor of a newly allocated container.
void init_nsm_model(nsm_model& nsm);
void free_nsm_model(nsm_model& nsm);

// Constituents of the nutrient block of a run (0 without nutrients).
int nutrient_block_size(const run_state& rs);

// The overland side at model initialisation: the aquatic environment file,
// the species' initial overland concentrations, the overland parameters and,
// with soil constituents, the soil pools. Stops the run through the error
// record (nutrients without overland constituent transport are refused).
void setup_nutrient_overland(run_state& rs);

// True when the run's mapping table holds section `code` (kSec* codes).
bool nsm_section_present(const run_state& rs, int code);
// Initial overland values of the nine species and the three parameters
// (mapping-table sections loaded first); the dispersion coefficient becomes
// the species' overland dispersion. False on a stop.
bool assign_nsm_overland_params(run_state& rs);

// Groundwater concentrations of the block from NSM_GW_N (NO2, NO3, NH4,
// ON), NSM_GW_P (OP, DP, Alg) and NSM_GW_OTH (DO, and the first soil-only
// constituent only when the soil pools exist). False on a stop.
bool assign_nsm_gw_params(run_state& rs);

// One compartment's initial values of species or parameter `slot`.
// Overland: mode 3 every cell takes `value`; mode 2 the cells take
// `table_values` (code 119 with the display name when the table has no such
// section: `table` null); mode 1 the map file (code 80 when it does not
// open). conc and mass get GNUM + 1 slots; mass (when given) = conc x depth
// x dx2. Returns false on a stop.
bool assign_nsm_overland_values(run_state& rs, int slot, int mode, double value, const char* file,
                                const std::vector<double>* table, std::vector<double>& conc,
                                std::vector<double>* mass);
// Stream: the nodes 1..nx of every link with bit 0x04, 0x08 or 0x10 take
// the value (mode 3), the stream table values (mode 2; code 120 when absent)
// or the stream map (mode 1; code 80); mass = node spacing x flow area x
// value, and a dry node (no water) holds neither. Flat index
// (maxnodes + 1) x link + node.
bool assign_nsm_stream_values(run_state& rs, int slot, int mode, double value, const char* file,
                              const std::vector<double>* table, std::vector<double>& conc,
                              std::vector<double>* mass);
// Initial stream values of the nine species into the channel stores and the
// initial channel totals; called by the channel constituent set-up.
void assign_nsm_stream_params(run_state& rs);

// Hands the infiltrated and stranded mass of each species (the pending soil
// input) to its related soil pool, once; species without a pool keep it in
// the cell's land store. Books to_pool and pool_in. With soil pools only.
void hand_nutrients_to_soil(run_state& rs);
// The soil uptake over `seconds` s: per wet cell and pair (pool, species)
// the amount min(pool x (1 - exp(-P / mix depth)), pool) leaves the pool's
// top layer and joins the species in the water (P = the cell's rain rate
// below the canopy x seconds while an event's rain falls). Books nsm_loss of
// the pool and nsm_gain of the species.
void fork_nsm_overland_sums(run_state& rs, double seconds);
// The time-loop part: uptake at the nutrient interval (soil pools only).
void step_nutrient_uptake(run_state& rs);

// Derived outputs of the run's cells and nodes into nsm.ov_out and nsm.st_out.
void compute_nsm_overland_outputs(run_state& rs);
void compute_nsm_stream_outputs(run_state& rs);
// The same of the channel-network lakes into nsm.lake_out (water the lake's
// volume); nothing without channel-lake stores.
void compute_nsm_lake_outputs(run_state& rs);
