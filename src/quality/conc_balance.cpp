// Mass balance of each dissolved constituent over the run: what came in,
// what left, what the cells, the soil and the channel hold and what is on its
// way between them, written to the summary file.
#include "core/file_write.h"
#include "quality/conc_lakes.h"
#include "quality/constituent_setup.h"
#include "quality/sediment_bound_step.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

}  // namespace

constituent_balance compute_constituent_balance(const run_state& rs, int i) {
    constituent_balance b;
    const size_t ii = ix(i);
    const constituent_totals& t = rs.con_tot;
    const bool channel = rs.chan_con_trans && rs.con_chan.stride > 0;
    b.initial = t.ov_init[ii] + t.land_init[ii] + t.chan_init[ii] + t.lake_init[ii] + t.pool_init[ii];
    // Nutrients: the soil uptake and the hand-over move mass between the
    // water species and the soil pools, which are numbered alike.
    b.nsm_in = t.nsm_gain[ii] + t.pool_in[ii];
    b.nsm_out = t.nsm_loss[ii] + t.to_pool[ii];
    b.rain = t.precip[ii] + t.lake_precip[ii];
    b.made = t.ov_neg[ii] + t.chan_clip[ii];
    // With soil constituents what infiltrates stays in the soil layer.
    b.infiltrated = rs.soil_con_trans ? 0.0 : t.infil[ii];
    b.decayed = t.ov_decay[ii] + t.chan_decay[ii] + t.soil_decay[ii] + t.lake_decay[ii];
    b.outlet = t.ov_out[ii] + t.chan_out[ii] + (channel ? 0.0 : t.qlat[ii]);
    b.boundaries = t.bc_out[ii];
    if (rs.sed_bound.on) {
        b.outlet_sorbed = t.sed_out[ii];
        b.outlet += b.outlet_sorbed;
        b.sorbed = (sorbed_overland_mass(rs, i) + sorbed_channel_mass(rs, i)) / 1000.0;
        b.lake_settled = ii < t.sed_lake_settled.size() ? t.sed_lake_settled[ii] : 0.0;
    }
    b.point = t.ov_point[ii] + t.chan_point[ii] + t.lake_point[ii];
    b.groundwater = t.ov_exfil[ii] + t.chan_gw[ii] + t.lake_gw[ii];
    b.drained = ii < t.soil_out.size() ? t.soil_out[ii] : 0.0;
    b.held = ii < t.soil_held.size() ? t.soil_held[ii] : 0.0;
    double water = 0.0, land = 0.0, pending = 0.0, pools = 0.0;   // g
    const bool nutrient = ii < rs.constituent_type.size() && rs.constituent_type[ii] != 1;
    for (int j = 1; j <= rs.GNUM; ++j) {
        water += rs.con.mass[ii][ix(j)];
        land += rs.con.land[ii][ix(j)];
        if (nutrient && rs.soil_con_trans) {
            // A pool is its whole column: layer 1 and, under column layers,
            // the layers below (the soil step moves no nutrient between them).
            pools += rs.con.layer_mass[ii][ix(j)];
            for (int k = 2; k <= rs.con.soil_layers; ++k) pools += rs.con.deep_mass[ix(k)][ii][ix(j)];
        }
        // Exchange left the land but has not reached the water yet; with soil
        // constituents, infiltrated mass on its way into the layer.
        pending += rs.con.pend_exchange[ii][ix(j)];
        if (rs.soil_con_trans) pending += rs.con.pend_soil_in[ii][ix(j)];
    }
    double chan = 0.0;
    if (channel) {
        const constituent_channel& cc = rs.con_chan;
        for (int l = 1; l <= rs.links; ++l) {
            if (!con_transport_link(rs.ltype[ix(l)])) continue;
            for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
                const size_t f = static_cast<size_t>(cc.stride * l + j);
                chan += cc.mass[ii][f];
                pending += cc.qlat_mass[ii][f];
            }
        }
    }
    b.water = water / 1000.0;
    b.land = land / 1000.0;
    b.channel = chan / 1000.0;
    b.pending = pending / 1000.0;
    b.lakes = lake_store_mass(rs, i) / 1000.0;
    b.pools = pools / 1000.0;
    b.residual = b.initial + b.rain + b.made + b.nsm_in + b.point + b.groundwater - b.outlet - b.boundaries - b.infiltrated - b.decayed -
                 b.nsm_out - b.water - b.land - b.channel - b.pending - b.pools - b.sorbed - b.lakes - b.drained +
                 b.held - b.lake_settled;
    return b;
}

void write_constituent_balances(run_state& rs) {
    if (!rs.overland_constituents && !channel_constituents_only(rs)) return;
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const constituent_balance b = compute_constituent_balance(rs, i);
        const char* name = ix(i) < rs.contamdescriptions.size() ? rs.contamdescriptions[ix(i)].c_str() : "";
        file_printf(rs.summary_file, "\nConstituent %d (%s) mass balance, kg:\n", i, name);
        file_printf(rs.summary_file, "  initial               %.12e\n", b.initial);
        file_printf(rs.summary_file, "  rain                  %.12e\n", b.rain);
        file_printf(rs.summary_file, "  raised from negative  %.12e\n", b.made);
        if (rs.soil_static_conc)
            file_printf(rs.summary_file, "  held by static soil   %.12e\n", b.held);
        file_printf(rs.summary_file, "  point sources (net)   %.12e\n", b.point);
        file_printf(rs.summary_file, "  from aquifer (net)    %.12e\n", b.groundwater);
        file_printf(rs.summary_file, "  outlet                %.12e\n", b.outlet);
        file_printf(rs.summary_file, "  boundary outflow      %.12e\n", b.boundaries);
        file_printf(rs.summary_file, "  infiltrated           %.12e\n", b.infiltrated);
        file_printf(rs.summary_file, "  decayed               %.12e\n", b.decayed);
        if (rs.con.soil_layers > 0)
            file_printf(rs.summary_file, "  soil column outflow   %.12e\n", b.drained);
        file_printf(rs.summary_file, "  overland water        %.12e\n", b.water);
        file_printf(rs.summary_file, "  land                  %.12e\n", b.land);
        file_printf(rs.summary_file, "  channel               %.12e\n", b.channel);
        file_printf(rs.summary_file, "  in transit            %.12e\n", b.pending);
        if (rs.sed_bound.on) {
            file_printf(rs.summary_file, "  sorbed on sediment    %.12e\n", b.sorbed);
            file_printf(rs.summary_file, "  outlet on sediment    %.12e\n", b.outlet_sorbed);
            if (rs.sed_bound.lakes > 0)
                file_printf(rs.summary_file, "  settled in lakes      %.12e\n", b.lake_settled);
        }
        if (lake_stores_on(rs))
            file_printf(rs.summary_file, "  lakes                 %.12e\n", b.lakes);
        if (ix(i) < rs.constituent_type.size() && rs.constituent_type[ix(i)] != 1) {
            file_printf(rs.summary_file, "  from the other side   %.12e\n", b.nsm_in);
            file_printf(rs.summary_file, "  to the other side     %.12e\n", b.nsm_out);
            file_printf(rs.summary_file, "  soil pool             %.12e\n", b.pools);
        }
        file_printf(rs.summary_file, "  residual              %.12e\n", b.residual);
    }
}
