#include "quality/nutrients.h"
#include "run/run_state.h"

void read_aquatic_env_file(run_state& rs) {
    if (rs.nsm == nullptr) return;
    read_aquatic_env_file(rs.nsm->aquatic, rs.nsm->aq_env, rs);
}

// Not built yet: these steps do nothing.
void alloc_nsm_overland(run_state&) {}
void assign_nsm_overland_params(run_state&) {}
void assign_nsm_gw_params(run_state&) {}
void init_nsm_overland(run_state&) {}
void assign_nsm_soil_params(run_state&) {}
void init_nsm_model(nsm_model&) {}
void free_nsm_model(nsm_model&) {}
