// Nutrient sub-model set-up.
#pragma once
#include "quality/nutrient_aquatic.h"

struct run_state;

constexpr int kNsmOverlandSpecies = 12;  // no2 no3 nh4 on op dp alg cbod do, doc init, doc foc, dispersion
constexpr int kNsmSpecies = 9;           // no2 no3 nh4 on op dp alg cbod do
constexpr int kNsmNameSize = 1024;       // file-name slot, including the NUL

// Initial-value modes of a species.
constexpr int kNsmInitMap = 1;           // map file named
constexpr int kNsmInitNone = 2;          // card given without a value
constexpr int kNsmInitUniform = 3;       // one uniform value

// The nutrient sub-model container, created by the nutrients card while the
// project file is read; the project-file reader fills the fields below.
struct nsm_model {
    char aq_env[kNsmNameSize] = {};                       // aquatic-environment file
    int ov_init_mode[kNsmOverlandSpecies] = {};           // overland initial-value mode (kNsmInit*)
    double ov_init_value[kNsmOverlandSpecies] = {};       // uniform overland initial value, species units
    char ov_init_file[kNsmOverlandSpecies][kNsmNameSize] = {};  // overland initial-value map
    int st_init_mode[kNsmSpecies] = {};                   // stream initial-value mode (kNsmInit*)
    double st_init_value[kNsmSpecies] = {};               // uniform stream initial value, species units
    char st_init_file[kNsmSpecies][kNsmNameSize] = {};    // stream initial-value map
    int out_ov_given[kNsmSpecies] = {};                   // overland output map wanted
    char out_ov_file[kNsmSpecies][kNsmNameSize] = {};     // overland output map name
    int out_st_given[kNsmSpecies] = {};                   // stream output wanted
    char out_st_file[kNsmSpecies][kNsmNameSize] = {};     // stream output name
    int out_hyd_given[kNsmSpecies] = {};                  // outlet hydrograph output wanted
    char out_hyd_file[kNsmSpecies][kNsmNameSize] = {};    // outlet hydrograph output name
    aquatic_env_tables aquatic;                           // aquatic environment tables (aq_env file)
};

// Constructor and destructor of a newly allocated container.
void init_nsm_model(nsm_model& nsm);
void free_nsm_model(nsm_model& nsm);

// The aquatic environment file of the container (card aq_env) and its overland ID map.
void read_aquatic_env_file(run_state& rs);
void alloc_nsm_overland(run_state& rs);
void assign_nsm_overland_params(run_state& rs);
void assign_nsm_gw_params(run_state& rs);
void init_nsm_overland(run_state& rs);
void assign_nsm_soil_params(run_state& rs);
