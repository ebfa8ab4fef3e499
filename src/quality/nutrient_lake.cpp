// Derived nutrient outputs of the channel-network lakes: un-ionised ammonia
// from each lake's ammonium over its water, and its total N, Kjeldahl N and
// total P, from the species masses the lake stores hold.
#include "quality/conc_lakes.h"
#include "quality/nutrient_derived.h"
#include "quality/nutrients.h"
#include "run/run_state.h"

namespace {
inline size_t ix(int i) { return static_cast<size_t>(i); }
}  // namespace

void compute_nsm_lake_outputs(run_state& rs) {
    if (!rs.nsm_on || rs.nsm == nullptr || rs.first_nsm_constituent < 1) return;
    const constituent_lakes& cl = rs.con_lake;
    if (!cl.channel || cl.lakes < 1 || !lake_stores_on(rs)) return;
    nsm_model& m = *rs.nsm;
    const int b = rs.first_nsm_constituent, lakes = cl.lakes;
    const size_t slots = ix(lakes) + 1;
    nsm_lake_outputs& o = m.lake_out;
    for (std::vector<double>* v : {&o.nh3, &o.total_n, &o.tkn, &o.total_p}) v->assign(slots, 0.0);
    std::vector<double> water(slots, 0.0);   // m3
    for (int u = 1; u <= lakes; ++u) water[ix(u)] = lake_store_water(rs, u);
    const con_rows& M = cl.mass;
    lake_unionised_ammonia(M[ix(b + kNsmNh4)], water, lakes, m.ka, m.h_ion, o.nh3);
    for (int u = 1; u <= lakes; ++u) {
        const size_t c = ix(u);
        o.total_n[c] = nsm_total_n(M[ix(b + kNsmNo2)][c], M[ix(b + kNsmNo3)][c], M[ix(b + kNsmNh4)][c],
                                   M[ix(b + kNsmOn)][c], o.nh3[c]);
        o.tkn[c] = nsm_tkn(M[ix(b + kNsmNh4)][c], M[ix(b + kNsmOn)][c], o.nh3[c]);
        o.total_p[c] = nsm_total_p(M[ix(b + kNsmOp)][c], M[ix(b + kNsmDp)][c]);
    }
}
