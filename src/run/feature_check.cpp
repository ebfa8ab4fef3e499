#include "run/feature_check.h"
#include <cstdio>
#include "core/error.h"
#include "run/run_state.h"

namespace {

const unbuilt_feature kUnbuilt[] = {
    {"gw_simulation", "two-dimensional groundwater without an infiltration method",
     [](const run_state& rs) {
         return rs.gw_simulation != 0 && !rs.green_ampt && !rs.inf_redist &&
                !rs.inf_layered_soil && !rs.inf_richards;
     }},
    {"chan_drain", "the drain method of channel initialisation",
     [](const run_state& rs) { return rs.chan_drain_only != 0; }},
    {"chan_backwater", "the backwater method of channel initialisation",
     [](const run_state& rs) { return rs.chan_backwater != 0; }},
    {"chan_mesh", "mesh channel routing", [](const run_state& rs) { return rs.chan_mesh != 0; }},
    {"soil_erosion",
     "overland erosion together with overland lakes, or sediment carried as overland "
     "constituents (a value above 9)",
     [](const run_state& rs) {
         return rs.soil_erosion != 0 && (rs.lakes != 0 || rs.cards.soil_erosion > 9);
     }},
    {"chan_con_trans", "channel contaminant transport without explicit channel routing",
     [](const run_state& rs) { return rs.cards.chan_con_trans != 0 && rs.chan_explic == 0; }},
    {"soil_con_trans",
     "soil contaminant transport without an infiltration method, or with two-dimensional "
     "groundwater (the exchange of soil contaminants with the aquifer)",
     [](const run_state& rs) {
         return rs.soil_con_trans != 0 &&
                (!(rs.green_ampt || rs.inf_redist || rs.inf_layered_soil || rs.inf_richards) ||
                 rs.groundwater || rs.gw_simulation);
     }},
    // Paths whose water cannot carry constituent mass yet: refused rather
    // than run with water that is silently clean or mass that is stranded.
    {"storm_sewer",
     "a storm-drain network together with constituent transport (the inlets, tile drains and "
     "outfalls carry no constituent mass)",
     [](const run_state& rs) {
         return rs.cards.storm_sewer_given != 0 && (rs.overland_constituents != 0 || rs.cards.chan_con_trans != 0);
     }},
    {"sacramento",
     "Sacramento accounting together with channel constituent transport (its outflow into the "
     "channels carries no constituent mass)",
     [](const run_state& rs) { return rs.cards.sacramento_given != 0 && rs.cards.chan_con_trans != 0; }},
    {"xybdyinput_ovdep",
     "overland depths of an outer model together with overland constituent transport (the water "
     "the inset boundary puts in or takes out carries no constituent mass)",
     [](const run_state& rs) { return rs.cards.xybdyinput_ovdep[0] != '\0' && rs.overland_constituents != 0; }},
    {"xybdyinput_stflow",
     "stream flows of an outer model together with channel constituent transport (their water "
     "carries no constituent mass)",
     [](const run_state& rs) {
         return (rs.cards.xybdyinput_stflow[0] != '\0' || rs.cards.xybdyinput_sttimeseries[0] != '\0') &&
                rs.cards.chan_con_trans != 0;
     }},
    {"first_order_chan_q",
     "a flow fed into the head links together with channel constituent transport (the water "
     "carries no constituent mass)",
     [](const run_state& rs) { return rs.first_order_chan_q != 0.0 && rs.cards.chan_con_trans != 0; }},
    {"channel_input",
     "time-series point sources of the channel file together with channel constituent transport "
     "(their water carries no constituent mass; give the flows in the file of the card "
     "chan_point_input with their concentrations)",
     [](const run_state& rs) {
         if (rs.cards.chan_con_trans == 0 || rs.stream_pointsource.empty()) return false;
         for (size_t l = 0; l < rs.stream_pointsource.cols(); ++l)
             for (size_t j = 0; j < rs.stream_pointsource.rows(); ++j)
                 if (rs.stream_pointsource(j, l) != nullptr) return true;
         return false;
     }},
};

}  // namespace

const unbuilt_feature* unbuilt_features(int* count) {
    *count = static_cast<int>(sizeof(kUnbuilt) / sizeof(kUnbuilt[0]));
    return kUnbuilt;
}

void check_features_built(run_state& rs) {
    for (const unbuilt_feature& f : kUnbuilt) {
        if (!f.asked(rs)) continue;
        std::printf("\nError: the card %s asks for %s, which is not available yet in this "
                    "version of PLUVO.\n",
                    f.card, f.what);
        error_record.code = kErrorPrinted;
        return;
    }
}
