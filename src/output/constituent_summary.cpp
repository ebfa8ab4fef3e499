// Constituent sections of the summaries. Every amount printed is a booked
// total of the transport steps (kg), taken over the event (the run totals
// less their values at the event start) or over the run, or a stock summed
// from the stores when the section is written. The balances are formed from
// those amounts on every call and store nothing but their errors, so writing
// a section never changes a total and the final masses are summed once from
// zero.
#include "output/constituent_summary.h"

#include <cstdio>
#include <string>
#include <vector>

#include "core/file_write.h"
#include "output/summary_format.h"
#include "quality/conc_lakes.h"
#include "quality/constituent_setup.h"
#include "quality/contaminant.h"
#include "quality/nutrient_names.h"
#include "quality/nutrients.h"
#include "quality/sediment_bound_step.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

// Value i of a total row, 0 when the row is not sized that far.
double at(const std::vector<double>& row, int i) { return ix(i) < row.size() ? row[ix(i)] : 0.0; }

double row_sum(const std::vector<std::vector<double>>& rows, int i, int first, int last) {
    if (ix(i) >= rows.size()) return 0.0;
    const std::vector<double>& r = rows[ix(i)];
    double s = 0.0;
    for (int j = first; j <= last && ix(j) < r.size(); ++j) s += r[ix(j)];
    return s;
}

// Booked totals and the span member each one fills.
struct flow_member {
    std::vector<double> constituent_totals::*total;
    double con_span::*span;
};

const flow_member kFlows[] = {
    {&constituent_totals::precip, &con_span::precip},
    {&constituent_totals::infil, &con_span::infil},
    {&constituent_totals::ov_decay, &con_span::ov_decay},
    {&constituent_totals::uptake, &con_span::uptake},
    {&constituent_totals::qlat, &con_span::qlat},
    {&constituent_totals::ov_neg, &con_span::ov_neg},
    {&constituent_totals::chan_out, &con_span::chan_out},
    {&constituent_totals::chan_decay, &con_span::chan_decay},
    {&constituent_totals::chan_clip, &con_span::chan_clip},
    {&constituent_totals::soil_decay, &con_span::soil_decay},
    {&constituent_totals::ov_point, &con_span::ov_point},
    {&constituent_totals::ov_exfil, &con_span::ov_exfil},
    {&constituent_totals::soil_seep_down, &con_span::soil_seep_down},
    {&constituent_totals::soil_seep_up, &con_span::soil_seep_up},
    {&constituent_totals::soil_nsm_uptake, &con_span::soil_nsm_uptake},
    {&constituent_totals::soil_sediment, &con_span::soil_sediment},
    {&constituent_totals::ov_sed_source, &con_span::ov_sed_source},
    {&constituent_totals::ov_attached_out, &con_span::ov_attached_out},
    {&constituent_totals::ov_to_lake, &con_span::ov_to_lake},
    {&constituent_totals::ov_nsm_gain, &con_span::ov_nsm_gain},
    {&constituent_totals::ov_nsm_loss, &con_span::ov_nsm_loss},
    {&constituent_totals::chan_point, &con_span::chan_point},
    {&constituent_totals::chan_gw, &con_span::chan_gw},
    {&constituent_totals::chan_nsm_gain, &con_span::chan_nsm_gain},
    {&constituent_totals::chan_nsm_loss, &con_span::chan_nsm_loss},
    {&constituent_totals::chan_sed_exchange, &con_span::chan_sed_exchange},
    {&constituent_totals::chan_attached_qlat, &con_span::chan_attached_qlat},
    {&constituent_totals::chan_attached_out, &con_span::chan_attached_out},
    {&constituent_totals::lake_precip, &con_span::lake_precip},
    {&constituent_totals::lake_point, &con_span::lake_point},
    {&constituent_totals::lake_gw, &con_span::lake_gw},
    {&constituent_totals::lake_decay, &con_span::lake_decay},
    {&constituent_totals::chan_to_lake, &con_span::chan_to_lake},
    {&constituent_totals::lake_to_chan, &con_span::lake_to_chan},
    {&constituent_totals::lake_chan_exchange, &con_span::lake_chan_exchange},
    {&constituent_totals::lake_nsm_gain, &con_span::lake_nsm_gain},
    {&constituent_totals::lake_nsm_loss, &con_span::lake_nsm_loss},
    {&constituent_totals::lake_attached_exchange, &con_span::lake_attached_exchange},
    {&constituent_totals::lake_attached_ov_in, &con_span::lake_attached_ov_in},
    {&constituent_totals::lake_attached_chan_in, &con_span::lake_attached_chan_in},
};

// The first nutrient constituent (type 2 or 3), 0 when there is none.
int first_nutrient_constituent(const run_state& rs) {
    for (int i = 1; i <= rs.num_constituents; ++i)
        if (ix(i) < rs.constituent_type.size() && rs.constituent_type[ix(i)] != 1) return i;
    return 0;
}

// Constituent whose exfiltration mass stands for constituent i in the soil
// balance: its own for a contaminant or without nutrients; for a nutrient,
// the related species (table 0 of related_constituent_offset), 0 for none.
int exfiltration_constituent(const run_state& rs, int i) {
    const int type = ix(i) < rs.constituent_type.size() ? rs.constituent_type[ix(i)] : 1;
    if (type == 1 || !rs.nsm_on) return i;
    const int r = related_constituent_offset(first_nutrient_constituent(rs), i, 0);
    return r < 0 ? 0 : r;
}

// With nutrient soil pools, constituent i of the nutrient block is species i
// in the water and pool i in the soil, and the species hand what infiltrates
// to a related pool: true for such an i.
bool nutrient_pool_books(const run_state& rs, int i) {
    const int b = rs.first_nsm_constituent;
    return rs.nsm_on && rs.soil_con_trans && b >= 1 && nutrient_block_size(rs) == kNsmBlockWithSoil && i >= b &&
           i < b + kNsmBlockWithSoil;
}

// Nutrient species whose infiltration feeds soil pool i (ascending), empty
// unless nutrient_pool_books(rs, i).
std::vector<int> species_feeding_pool(const run_state& rs, int i) {
    std::vector<int> from;
    if (!nutrient_pool_books(rs, i)) return from;
    const int b = rs.first_nsm_constituent;
    for (int k = b; k < b + kNsmSpecies; ++k)
        if (related_constituent_offset(b, k, 1) == i) from.push_back(k);
    return from;
}

// A nutrient species that no soil pool takes (NO2, algae, CBOD, DO) keeps
// what it infiltrates, or leaves in cells that fall dry, in the cell's land
// store: true for such an i when the run has soil pools.
bool land_store_species(const run_state& rs, int i) {
    return nutrient_pool_books(rs, i) && ix(i) < rs.constituent_type.size() && rs.constituent_type[ix(i)] == 2 &&
           related_constituent_offset(rs.first_nsm_constituent, i, 1) < 0;
}

// Adds a signed amount to `in` when positive, its magnitude to `out` otherwise.
void add_signed(con_balance& b, double v) {
    if (v > 0.0)
        b.in += v;
    else
        b.out -= v;
}

con_balance finish(con_balance b, double threshold) {
    b.error = summary_percent(b.in - b.out, b.in, threshold);
    return b;
}

double stock_total(const constituent_stocks& s) {
    return s.water + s.land + s.soil + s.channel + s.lake + s.ov_attached + s.chan_attached;
}

// Name of constituent i in a heading: the contaminant's description, or the
// nutrient species (soil pool) name counted from the first nutrient constituent.
std::string constituent_name(const run_state& rs, int i, bool soil_pools) {
    const int type = ix(i) < rs.constituent_type.size() ? rs.constituent_type[ix(i)] : 1;
    if (type == 1) return ix(i) < rs.contamdescriptions.size() ? rs.contamdescriptions[ix(i)] : "";
    char name[128];
    const int first = first_nutrient_constituent(rs);
    if (get_constituent_display_name(name, sizeof name, i - first, soil_pools ? 1 : 0)) return name;
    std::snprintf(name, sizeof name, "constituent %d", i);
    return name;
}

// Budget lines of the event report: "%14.2lf" or "%14.4lf", 0 or 1 extra line end.
void put(file_object& f, const char* label, double v, int extra = 0) {
    format_summary_line(f, label, v, "%14.2lf", extra);
}
void put4(file_object& f, const char* label, double v, int extra = 0) {
    format_summary_line(f, label, v, "%14.4lf", extra);
}

void size_errors(run_state& rs) {
    const size_t n = ix(rs.num_constituents) + 1;
    constituent_errors& e = rs.con_errors;
    for (std::vector<double>* v : {&e.soil, &e.overland, &e.channel, &e.lake, &e.global}) v->assign(n, 0.0);
}

// ---- event report ----------------------------------------------------------

void write_event_soil(run_state& rs, file_object& f, int i) {
    const con_summary_flags fl = constituent_summary_flags(rs, i);
    const con_span s = constituent_event_span(rs, i);
    const double error = rs.con_errors.soil[ix(i)];
    file_printf(f, "\n\n");
    file_printf(f, "Soil Contaminant Transport Summary for %s \n", constituent_name(rs, i, true).c_str());
    file_printf(f, "\n");
    put(f, "Initial Mass in Soil Column", s.start.soil);
    put(f, "Final Mass in Soil Column", s.end.soil, 1);
    put(f, "Mass added by infiltration", s.infil + s.soil_infil_shift, 1);
    if (fl.water_table) put(f, "Exfiltration mass loss", s.exfil_related);
    put(f, "Mass seepage to water table", s.soil_seep_down);
    if (fl.water_table) put(f, "Mass seepage from water table", s.soil_seep_up);
    if (fl.table && fl.type == 1) {
        put(f, "Soil decay mass", s.soil_decay);
        put(f, "Surface water exchange from soil", s.uptake > 0.0 ? s.uptake : 0.0);
        put(f, "Surface water exchange to soil", s.uptake < 0.0 ? -s.uptake : 0.0);
    }
    if (fl.nsm && fl.type != 1) {
        // What the pool gave the water under rain is its exchange from the soil.
        put(f, "NSM surface water exchange from soil", (s.uptake > 0.0 ? s.uptake : 0.0) + s.soil_nsm_uptake);
        put(f, "NSM surface water exchange to soil", s.uptake < 0.0 ? -s.uptake : 0.0);
    }
    if (fl.sediment) put(f, "Sediment eroded(-)/deposited(+)", s.soil_sediment);
    file_printf(f, "\n");
    put4(f, "Soil mass balance error", error);
    if (fl.static_soil)
        file_printf(f, "When using static soil concentrations, mass balance errors represent implied "
                       "additions to soil top layer \n");
}

// Mass the overland water gives to or takes from the land or soil surface is
// a term of the overland balance for these constituents.
bool overland_uptake(const con_summary_flags& fl) {
    return (fl.type == 1 && (!fl.soil || fl.table)) || (fl.type == 2 && fl.nsm);
}

void write_event_overland(run_state& rs, file_object& f, int i) {
    const con_summary_flags fl = constituent_summary_flags(rs, i);
    if (fl.type == 3) return;
    const con_span s = constituent_event_span(rs, i);
    file_printf(f, "\n \n");
    file_printf(f, "Overland Contaminant Transport Summary for %s \n", constituent_name(rs, i, false).c_str());
    file_printf(f, "Amounts are total mass for event in (Kg) \n \n");
    put(f, "Initial Dissolved Mass on Overland", s.start.water);
    put(f, "Final Dissolved Mass on Overland", s.end.water);
    if (fl.sediment) {
        put(f, "Final attached to susp seds", s.end.ov_attached);
        put(f, "Final total (attached+dissolved)", s.end.ov_attached + s.end.water);
    }
    file_printf(f, "\n");
    if (!fl.soil && fl.table) {
        put(f, "Initial undissolved mass", s.start.land);
        put(f, "Final undissolved mass", s.end.land);
        file_printf(f, "\n");
    }
    put(f, "Point source mass gain", s.ov_point);
    if (fl.water_table) put(f, "Exfiltration gain", s.ov_exfil);
    put(f, "Precipitation gain", s.precip);
    if (fl.type == 1 && overland_uptake(fl)) put(f, "Uptake from soil", s.uptake);
    if (fl.type == 2 && fl.nsm && fl.soil) put(f, "Uptake from soil (NSM)", s.uptake);
    if (fl.type == 2) put4(f, "Gained from NSM kinetics", s.ov_nsm_gain);
    file_printf(f, "\n");
    put(f, "Infiltration", s.infil);
    if (fl.channel_routing) put(f, "Lateral flow to streams", s.qlat);
    if (!fl.channel_routing || fl.boundaries) put(f, "Outlet flux", s.ov_out);
    if (fl.table && fl.type == 1) put(f, "Decay loss", s.ov_decay);
    if (fl.type == 2) put4(f, "Loss to NSM kinetics", s.ov_nsm_loss);
    if (fl.lakes) put(f, "Flux to lake", s.ov_to_lake);
    put(f, "Negative mass", s.ov_neg);
    if (fl.sediment) {
        put(f, "Sediment source", s.ov_sed_source);
        file_printf(f, "\n");
        if (fl.channel_routing)
            put(f, "Attached entering channels", s.chan_attached_qlat);
        else
            put(f, "Attached exiting outlet", s.ov_attached_out);
        if (fl.lakes) put(f, "Attached entering lakes", s.lake_attached_ov_in);
    }
    file_printf(f, "\n");
    put4(f, "Dissolved mass balance error", rs.con_errors.overland[ix(i)]);
}

void write_event_lake(run_state& rs, file_object& f, int i, const con_span& s, const con_summary_flags& fl) {
    file_printf(f, "Lake Contaminant Transport Summary for %s \n", constituent_name(rs, i, false).c_str());
    file_printf(f, "Amounts are total mass for event (Kg) \n \n");
    file_printf(f, "Dissolved State Mass Balance...\n");
    put(f, "Initial Dissolved in Lakes", s.start.lake);
    put(f, "Final Dissolved in Lakes", s.end.lake);
    file_printf(f, "\n");
    put(f, "Precip", s.lake_precip);
    put(f, "Inflow", s.chan_to_lake);
    put(f, "Lake/chan exchange", s.lake_chan_exchange);
    put(f, "Overland flux", s.ov_to_lake);
    put(f, "Point source", s.lake_point);
    put(f, "Groundwater flux", s.lake_gw, 1);
    put(f, "Outflow", s.lake_to_chan);
    put(f, "Dissolved decay loss", s.lake_decay);
    if (fl.sediment) put(f, "Exchange with attached", s.lake_attached_exchange);
    file_printf(f, "\n");
    put4(f, "Dissolved mass balance error", rs.con_errors.lake[ix(i)]);
    if (fl.sediment) {
        file_printf(f, "\n");
        put(f, "Overland inflow", s.lake_attached_ov_in);
        put(f, "Channel inflow", s.lake_attached_chan_in);
        put(f, "Exchange with dissolved", s.lake_attached_exchange);
    }
    file_printf(f, "\n");
    const constituent_lakes& cl = rs.con_lake;
    for (int k = 1; k <= rs.num_channel_lakes; ++k) {
        const double m = ix(i) < cl.mass.size() ? at(cl.mass[ix(i)], k) : 0.0;
        const double c = ix(i) < cl.conc.size() ? at(cl.conc[ix(i)], k) : 0.0;
        file_printf(f, "Final Mass in lake %ld =        %14.2lf \n", static_cast<long>(k), m / 1000.0);
        file_printf(f, "Final Conc in lake (mg/L) %ld = %14.2lf \n \n", static_cast<long>(k), c);
    }
}

void write_event_channel(run_state& rs, file_object& f, int i) {
    const con_summary_flags fl = constituent_summary_flags(rs, i);
    if (fl.type == 3) return;
    const con_span s = constituent_event_span(rs, i);
    file_printf(f, "\n \n");
    file_printf(f, "Channel Contaminant Transport Summary for %s \n", constituent_name(rs, i, false).c_str());
    file_printf(f, "Amounts are total for event in (Kg) \n \n");
    file_printf(f, "Dissolved State Mass Balance... \n \n");
    put(f, "Initial Dissolved Mass in Channels", s.start.channel);
    put(f, "Final Dissolved Mass in Channels", s.end.channel, 1);
    put(f, "Mass gain from overland", s.qlat);
    put(f, "Point source mass gain", s.chan_point);
    if (fl.type == 2) put4(f, "Mass gained in NSM kinetics", s.chan_nsm_gain, 1);
    if (fl.lakes) {
        put(f, "Flow from lake to channel", s.lake_to_chan);
        put(f, "Exchange with lakes (-)", s.lake_chan_exchange);
    }
    if (fl.stream_exchange) put(f, "Groundwater net mass gain(+)/loss(-)", s.chan_gw);
    if (fl.sediment) put(f, "Exhange with sediments", s.chan_sed_exchange);
    if (fl.lakes) put(f, "Flows to lake", s.chan_to_lake);
    put(f, "Outlet mass flux", s.chan_out);
    if (fl.chan_decay) put(f, "Mass decay loss", s.chan_decay);
    if (fl.type == 2) put4(f, "Mass lost in NSM kinetics", s.chan_nsm_loss);
    file_printf(f, "\n");
    put4(f, "Contam mass balance error", rs.con_errors.channel[ix(i)]);
    file_printf(f, "\n");
    if (fl.sediment) {
        file_printf(f, "Contaminants Attached to Sediment Mass Balance...\n \n");
        static const char* const kMiddle[3] = {"Exiting watershed", "Exchange with dissolved",
                                               "Attached to suspended sed"};
        const double middle[3] = {s.chan_attached_out, s.chan_sed_exchange, s.end.chan_attached};
        put(f, "Lateral flow into channels", s.chan_attached_qlat);
        for (int k = 0; k < 3; ++k) put(f, kMiddle[k], middle[k]);
        if (fl.lakes) put(f, "Attached entering lakes", s.lake_attached_chan_in);
        put4(f, "Total (dissolved+attached)", s.end.channel + s.end.chan_attached);
        file_printf(f, "\n");
    }
    if (fl.lakes) write_event_lake(rs, f, i, s, fl);
}

// ---- run end ---------------------------------------------------------------

void write_run_soil(run_state& rs, file_object& f, int i) {
    const con_summary_flags fl = constituent_summary_flags(rs, i);
    const con_span s = constituent_run_span(rs, i);
    const con_balance b = soil_constituent_balance(s, fl, 1e-6);
    rs.con_errors.soil[ix(i)] = b.error;
    file_printf(f, "\n \n");
    file_printf(f, "Soil Constituent Transport Summary for %s \n", constituent_name(rs, i, true).c_str());
    file_printf(f, "\n");
    file_printf(f, "Initial Mass in Soil Column   %14.2lf \n", s.start.soil);
    file_printf(f, "Final Mass in Soil Column     %14.2lf \n \n", s.end.soil);
    file_printf(f, "Mass added by infiltration    %14.2lf \n", s.infil + s.soil_infil_shift);
    file_printf(f, "Mass seepage up from GW       %14.2lf \n \n", s.soil_seep_up);
    if (fl.table && fl.type == 1) {
        file_printf(f, "Uptake from soil              %14.2lf \n", s.uptake);
        file_printf(f, "Soil decay mass               %14.2lf \n", s.soil_decay);
    }
    if (fl.nsm && fl.type != 1) {
        file_printf(f, "Uptake from soil (NSM)        %14.2lf \n", s.soil_nsm_uptake);
        file_printf(f, "NSM decay mass               %14.2lf \n", s.soil_decay);
    }
    if (fl.water_table) file_printf(f, "Exfiltration mass loss        %14.2lf \n", s.exfil_related);
    file_printf(f, "Mass seepage down to GW       %14.2lf \n \n", s.soil_seep_down);
    if (fl.sediment) file_printf(f, "Sediment eroded(-)/deposited  %14.2lf \n \n", s.soil_sediment);
    file_printf(f, "Soil mass balance error       %14.4lf \n", b.error);
    if (fl.static_soil)
        file_printf(f, "When using static soil concentrations, mass balance errors represent implied "
                       "additions to soil top layer \n");
    file_printf(f, "\n");
}

void write_run_overland(run_state& rs, file_object& f, int i) {
    const con_summary_flags fl = constituent_summary_flags(rs, i);
    const con_span s = constituent_run_span(rs, i);
    const con_balance b = overland_constituent_balance(s, fl, kConDry);
    rs.con_errors.overland[ix(i)] = b.error;
    file_printf(f, "\n\n");
    if (fl.type == 3) return;
    if (fl.type == 1) {
        file_printf(f, "Overland Constituent Transport Summary for Constituent %5d (%s)\n", i,
                    constituent_name(rs, i, false).c_str());
    } else {
        file_printf(f, "Overland Constituent Transport Summary for %s \n", constituent_name(rs, i, false).c_str());
    }
    file_printf(f, "Amounts are total for simulations in (Kg) \n \n");
    file_printf(f, "Initial Dissolved mass on ov  %14.2lf \n", s.start.water);
    file_printf(f, "Final Dissolved mass on ov    %14.2lf \n", s.end.water);
    file_printf(f, "\n");
    if (!fl.soil && fl.table) {
        file_printf(f, "Initial undissolved mass      %14.2lf \n", s.start.land);
        file_printf(f, "Final undissolved mass        %14.2lf \n", s.end.land);
        file_printf(f, "\n");
    }
    file_printf(f, "Point source mass gain        %14.2lf \n", s.ov_point);
    if (fl.water_table) file_printf(f, "Exfiltration mass gain        %14.2lf \n", s.ov_exfil);
    file_printf(f, "Precipitation mass gain       %14.2lf \n", s.precip);
    if (overland_uptake(fl)) file_printf(f, "Uptake from soil              %14.2lf \n", s.uptake);
    if (fl.sediment) file_printf(f, "Sediment source               %14.2lf \n", s.ov_sed_source);
    file_printf(f, "\n");
    file_printf(f, "Mass loss to infiltration     %14.2lf \n", s.infil);
    if (fl.channel_routing) file_printf(f, "Mass loss to stream           %14.2lf \n", s.qlat);
    file_printf(f, "Outlet mass flux              %14.2lf \n", s.ov_out);
    if (fl.table && fl.type == 1) file_printf(f, "Mass decay loss on overland   %14.2lf \n", s.ov_decay);
    if (fl.type == 2) {
        file_printf(f, "Mass gained from NSM kinetics   %14.4lf \n", s.ov_nsm_gain);
        file_printf(f, "Mass lost to NSM kinetics       %14.4lf \n", s.ov_nsm_loss);
    }
    if (fl.lakes) file_printf(f, "Lateral flow to lake          %14.2lf \n", s.ov_to_lake);
    file_printf(f, "\n");
    if (fl.sediment) {
        file_printf(f, "Attached to susp sediments    %14.2lf \n", s.end.ov_attached);
        if (fl.channel_routing)
            file_printf(f, "Attached entering streams     %14.2lf \n", s.chan_attached_qlat);
        else
            file_printf(f, "Attached exiting watershed    %14.2lf \n", s.ov_attached_out);
    }
    file_printf(f, "\n");
    file_printf(f, "Contam mass balance error       %14.4lf percent \n", b.error);
}

void write_run_lake(run_state& rs, file_object& f, int i, const con_span& s, const con_summary_flags& fl) {
    const con_balance b = lake_constituent_balance(s, fl);
    rs.con_errors.lake[ix(i)] = b.error;
    file_printf(f, "\n \n");
    file_printf(f, "Lake Contaminant Transport Summary for Constituent %5ld \n", static_cast<long>(i));
    file_printf(f, "Amounts are total for simulations in (Kg) \n \n");
    file_printf(f, "Initial Mass in Lakes         %14.2lf \n", s.start.lake);
    file_printf(f, "Final Mass in Lakes           %14.2lf \n \n", s.end.lake);
    file_printf(f, "Mass gain from overland       %14.2lf \n", s.ov_to_lake);
    file_printf(f, "Mass channel trib inflow      %14.2lf \n", s.chan_to_lake);
    file_printf(f, "Mass lake outlet flow         %14.2lf \n", s.lake_to_chan);
    file_printf(f, "Lake chan exchange mass       %14.2lf \n", s.lake_chan_exchange);
    file_printf(f, "Point source mass gain        %14.2lf \n", s.lake_point);
    file_printf(f, "Groundwater mass gain/loss    %14.2lf \n \n", s.lake_gw);
    file_printf(f, "Precip mass flux              %14.2lf \n", s.lake_precip);
    file_printf(f, "Mass decay loss               %14.2lf \n \n", s.lake_decay);
    // What the lake's sediment releases into its water is a term of the
    // balance below: it is shown with the others.
    if (fl.sediment) file_printf(f, "Exchange with attached        %14.2lf \n \n", s.lake_attached_exchange);
    file_printf(f, "Contam mass balance error       %14.4lf percent \n \n", b.error);
    const constituent_lakes& cl = rs.con_lake;
    for (int k = 1; k <= rs.num_channel_lakes; ++k) {
        const double m = ix(i) < cl.mass.size() ? at(cl.mass[ix(i)], k) : 0.0;
        const double c = ix(i) < cl.conc.size() ? at(cl.conc[ix(i)], k) : 0.0;
        file_printf(f, "Final Mass in lake %ld = %14.2lf \n", static_cast<long>(k), m / 1000.0);
        file_printf(f, "Final Conc in lake %ld = %14.2lf \n \n", static_cast<long>(k), c);
    }
}

void write_run_channel(run_state& rs, file_object& f, int i) {
    const con_summary_flags fl = constituent_summary_flags(rs, i);
    const con_span s = constituent_run_span(rs, i);
    const con_balance b = channel_constituent_balance(s, fl, kConDry);
    rs.con_errors.channel[ix(i)] = b.error;
    file_printf(f, "\n \n");
    if (fl.type == 1) {
        file_printf(f, "Channel Contaminant Transport Summary for Contaminant %5d \n", i);
    } else if (fl.type == 2) {
        file_printf(f, "Channel Contaminant Transport Summary for %s \n", constituent_name(rs, i, false).c_str());
    }
    file_printf(f, "Amounts are total for simulations in (Kg) \n \n");
    file_printf(f, "Dissolved\n");
    file_printf(f, "Initial Mass in Channels      %14.2lf \n", s.start.channel);
    file_printf(f, "Final Mass in Channels        %14.2lf \n \n", s.end.channel);
    file_printf(f, "Mass gain from overland       %14.2lf \n", s.qlat);
    file_printf(f, "Point source mass gain        %14.2lf \n", s.chan_point);
    if (fl.lakes) file_printf(f, "Flux from lake                %14.2lf \n", s.lake_to_chan);
    if (fl.stream_exchange) file_printf(f, "Groundwater mass gain/loss    %14.2lf \n \n", s.chan_gw);
    file_printf(f, "Outlet mass flux              %14.2lf \n", s.chan_out);
    if (fl.chan_decay) file_printf(f, "Mass decay loss               %14.2lf \n", s.chan_decay);
    if (fl.type == 2) {
        file_printf(f, "Mass gained from NSM kinetics   %14.6lf \n", s.chan_nsm_gain);
        file_printf(f, "Mass lost to NSM kinetics       %14.6lf \n", s.chan_nsm_loss);
    }
    if (fl.lakes) {
        file_printf(f, "Flux to lake                  %14.2lf \n", s.chan_to_lake);
        file_printf(f, "Exchange with lake            %14.2lf \n", s.lake_chan_exchange);
    }
    if (fl.sediment) file_printf(f, "Exchange with sediment        %14.2lf \n", s.chan_sed_exchange);
    file_printf(f, "\n");
    file_printf(f, "Dissolved mass balance error       %14.4lf percent \n", b.error);
    file_printf(f, "\n");
    file_printf(f, "Attached\n");
    if (fl.sediment) {
        file_printf(f, "Lateral flow into channels    %14.2lf \n", s.chan_attached_qlat);
        file_printf(f, "Final suspended               %14.2lf \n", s.end.chan_attached);
        file_printf(f, "Exchange with dissolved       %14.2lf \n", -s.chan_sed_exchange);
        file_printf(f, "Exiting outlet                %14.2lf \n", s.chan_attached_out);
    }
    file_printf(f, "\n");
    if (fl.lakes) write_run_lake(rs, f, i, s, fl);
}

void write_run_global(run_state& rs, file_object& f, int i) {
    const con_summary_flags fl = constituent_summary_flags(rs, i);
    const con_span s = constituent_run_span(rs, i);
    double out_of_system = 0.0;
    const con_balance b = global_constituent_balance(s, fl, out_of_system);
    rs.con_errors.global[ix(i)] = b.error;
    // The constituent's own nutrient gains less losses (cells, channels,
    // lakes, the soil uptake and what infiltration hands between species and
    // pools), kg.
    const double nsm_net = s.ov_nsm_gain - s.ov_nsm_loss + s.chan_nsm_gain - s.chan_nsm_loss + s.lake_nsm_gain -
                           s.lake_nsm_loss - s.soil_nsm_uptake +
                           (fl.soil ? s.soil_infil_shift + s.land_infil : 0.0);
    file_printf(f, "\n \n");
    if (fl.type == 1) {
        file_printf(f, "Contaminant Transport Global Summary for Contaminant %5d \n", i);
    } else if (fl.type == 2) {
        file_printf(f, "Contaminant Transport Global Summary for %s \n", constituent_name(rs, i, false).c_str());
    }
    file_printf(f, "Amounts are total for simulations in (Kg) \n \n");
    file_printf(f, "Total initial mass            %14.2lf \n", stock_total(s.start));
    file_printf(f, "Total final Mass              %14.2lf \n \n", stock_total(s.end));
    file_printf(f, "Point source inputs           %14.2lf\n", s.ov_point + s.chan_point + s.lake_point);
    file_printf(f, "Precipitation inputs          %14.2lf \n", s.precip + s.lake_precip);
    file_printf(f, "Flux from GW to streams       %14.2lf \n", s.chan_gw + (fl.lake_gw ? s.lake_gw : 0.0));
    if (fl.soil) file_printf(f, "Soil mass in from groundwater %14.2lf \n \n", s.soil_seep_up);
    file_printf(f, "Total mass out of system      %14.2lf \n \n", out_of_system);
    if (fl.type == 1 && (fl.table || fl.chan_decay))
        file_printf(f, "Mass decay loss               %14.2lf \n",
                    s.ov_decay + s.chan_decay + s.soil_decay + s.lake_decay);
    if (fl.type == 2) file_printf(f, "NSM gain/loss                 %14.2lf \n", nsm_net);
    file_printf(f, "\n");
    file_printf(f, "Contam mass balance error       %14.4lf percent \n", b.error);
}

}  // namespace

con_summary_flags constituent_summary_flags(const run_state& rs, int i) {
    con_summary_flags f;
    f.type = ix(i) < rs.constituent_type.size() ? rs.constituent_type[ix(i)] : 1;
    f.table = rs.contaminant_table_option == 1 && rs.mapping_table_given;
    f.soil = rs.soil_con_trans != 0;
    f.static_soil = rs.soil_static_conc != 0;
    f.water_table = rs.water_table_on != 0;
    f.channel_routing = rs.chan_explic == 1;
    f.channel_nodes = rs.chan_con_trans != 0;
    f.boundaries = rs.ov_boundary != 0 || rs.ov_pump != 0;
    f.lakes = rs.channel_lakes != 0;
    f.lake_gw = rs.mlake_given != 0;
    f.stream_exchange = rs.stream_exchange != 0;
    f.chan_decay = f.type == 1 && (f.table || rs.chan_decay_coef > 0.0);
    f.nsm = rs.nsm_on != 0;
    f.sediment = rs.sediment_contam != 0;
    return f;
}

constituent_stocks constituent_stocks_now(const run_state& rs, int i) {
    constituent_stocks s;
    const constituent_cells& c = rs.con;
    const size_t ii = ix(i);
    const int cells = rs.GNUM;
    s.water = row_sum(c.mass, i, 1, cells) / 1000.0;
    if (!rs.soil_con_trans) {
        // What the surface gave and the water has not yet taken is still land mass.
        s.land = (row_sum(c.land, i, 1, cells) + row_sum(c.pend_exchange, i, 1, cells)) / 1000.0;
    } else {
        // The layer, with what infiltrated and what the water took since the
        // layer step last ran (static concentrations keep the layer as it is).
        // A nutrient pool's pending input is what its species infiltrated and
        // has not yet been handed over.
        const bool pool = nutrient_pool_books(rs, i);
        const std::vector<int> feeding = species_feeding_pool(rs, i);
        double g = 0.0;
        for (int j = 1; j <= cells; ++j) {
            if (ii >= c.layer_mass.size() || ix(j) >= c.layer_mass[ii].size()) break;
            g += c.layer_mass[ii][ix(j)];
            // The deeper layers of a soil column.
            for (int k = 2; k <= c.soil_layers; ++k)
                if (ii < c.deep_mass[ix(k)].size()) g += c.deep_mass[ix(k)][ii][ix(j)];
            if (pool) {
                for (int k : feeding) g += c.pend_soil_in[ix(k)][ix(j)];
            } else if (!rs.soil_static_conc) {
                g += c.pend_soil_in[ii][ix(j)] - c.pend_soil_exchange[ii][ix(j)];
            }
        }
        s.soil = g / 1000.0;
        if (land_store_species(rs, i)) {
            // The species' land store, with what it infiltrated and has not yet been handed over.
            double land = 0.0;   // g
            for (int j = 1; j <= cells; ++j) land += c.land[ii][ix(j)] + c.pend_soil_in[ii][ix(j)];
            s.land = land / 1000.0;
        }
    }
    const constituent_channel& cc = rs.con_chan;
    if (rs.chan_con_trans && cc.stride > 0 && ii < cc.mass.size()) {
        double g = 0.0;
        for (int l = 1; l <= rs.links; ++l) {
            if (!con_transport_link(rs.ltype[ix(l)])) continue;
            for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
                const size_t k = static_cast<size_t>(cc.stride * l + j);
                g += cc.mass[ii][k] + cc.qlat_mass[ii][k];
            }
        }
        s.channel = g / 1000.0;
    }
    // A channel-network lake is a store of its own; an overland lake is
    // overland water held in one well-mixed body.
    const double lakes = lake_store_mass(rs, i) / 1000.0;
    (rs.con_lake.channel ? s.lake : s.water) += lakes;
    if (rs.sed_bound.on) {
        s.ov_attached = sorbed_overland_mass(rs, i) / 1000.0;
        // With what settled in the lakes' beds, which stays in the watershed.
        double settled = 0.0;   // g
        const sed_bound_record& sb = rs.sed_bound;
        if (ix(i) < sb.lake_settled.size())
            for (int u = 1; u <= sb.lakes && ix(u) < sb.lake_settled[ix(i)].size(); ++u)
                settled += sb.lake_settled[ix(i)][ix(u)];
        s.chan_attached = (sorbed_channel_mass(rs, i) + settled) / 1000.0;
    }
    return s;
}

namespace {

void fill_flows(con_span& s, const run_state& rs, int i, const constituent_totals* base) {
    const constituent_totals& t = rs.con_tot;
    for (const flow_member& m : kFlows)
        s.*m.span = at(t.*m.total, i) - (base ? at(base->*m.total, i) : 0.0);
    // The overland outlet and the boundaries and pumps are the ways out of the cells.
    s.ov_out = at(t.ov_out, i) + at(t.bc_out, i) - (base ? at(base->ov_out, i) + at(base->bc_out, i) : 0.0);
    const int e = exfiltration_constituent(rs, i);
    s.exfil_related = e == 0 ? 0.0 : at(t.ov_exfil, e) - (base ? at(base->ov_exfil, e) : 0.0);
    // Amounts the sorbed-constituent, soil-column and lake steps book under
    // their own names, as the sections' terms.
    const auto span_of = [&](const std::vector<double> constituent_totals::*m) {
        return at(t.*m, i) - (base ? at(base->*m, i) : 0.0);
    };
    s.soil_sediment += span_of(&constituent_totals::sed_to_soil) - span_of(&constituent_totals::sed_from_soil);
    s.chan_attached_qlat += span_of(&constituent_totals::sed_to_chan);
    s.soil_seep_down += span_of(&constituent_totals::soil_out);
    if (nutrient_pool_books(rs, i)) {
        // The uptake under rain: pool i's loss leaves its soil, species i's
        // gain enters its water. What the species infiltrate leaves their
        // water and enters their pools' soil.
        s.soil_nsm_uptake += span_of(&constituent_totals::nsm_loss);
        s.ov_nsm_gain += span_of(&constituent_totals::nsm_gain);
        s.soil_infil_shift = -s.infil;
        for (int k : species_feeding_pool(rs, i))
            s.soil_infil_shift += at(t.infil, k) - (base ? at(base->infil, k) : 0.0);
        // A species without a pool keeps what it infiltrates on its land.
        if (land_store_species(rs, i)) s.land_infil = s.infil;
    }
    if (!rs.con_lake.channel) {
        // Overland lakes decay as overland water.
        s.ov_decay += s.lake_decay;
        s.lake_decay = 0.0;
    }
}

}  // namespace

con_span constituent_event_span(const run_state& rs, int i) {
    con_span s;
    if (ix(i) < rs.con_stocks_start.size()) {
        s.start = rs.con_stocks_start[ix(i)];
        fill_flows(s, rs, i, &rs.con_event_start);
    } else {
        s = constituent_run_span(rs, i);
    }
    s.end = constituent_stocks_now(rs, i);
    return s;
}

con_span constituent_run_span(const run_state& rs, int i) {
    con_span s;
    const constituent_totals& t = rs.con_tot;
    s.start.water = at(t.ov_init, i);
    // With soil constituents the land store at set-up is the soil layer (but
    // for a nutrient species without a pool, whose land store is its own).
    (rs.soil_con_trans && !land_store_species(rs, i) ? s.start.soil : s.start.land) = at(t.land_init, i);
    // A nutrient soil pool's set-up amount.
    if (nutrient_pool_books(rs, i)) s.start.soil += at(t.pool_init, i);
    s.start.channel = at(t.chan_init, i);
    (rs.con_lake.channel ? s.start.lake : s.start.water) += at(t.lake_init, i);
    fill_flows(s, rs, i, nullptr);
    s.end = constituent_stocks_now(rs, i);
    return s;
}

con_balance soil_constituent_balance(const con_span& s, const con_summary_flags& f, double threshold) {
    con_balance b;
    b.in = s.start.soil + s.infil + s.soil_infil_shift + s.soil_seep_up;
    b.out = s.end.soil + s.soil_seep_down;
    if (f.water_table) b.out += s.exfil_related;
    if (f.table && f.type == 1) {
        b.out += s.soil_decay;
        add_signed(b, -s.uptake);   // what the water took is a gain of the soil
    }
    if (f.nsm && f.type != 1) {
        add_signed(b, -s.uptake);
        b.out += s.soil_nsm_uptake + s.soil_decay;
    }
    if (f.sediment) add_signed(b, s.soil_sediment);
    return finish(b, threshold);
}

con_balance overland_constituent_balance(const con_span& s, const con_summary_flags& f, double threshold) {
    con_balance b;
    if (f.type == 3) return b;
    b.in = s.ov_point + s.start.water + s.precip;
    b.out = s.infil + s.end.water;
    if (f.water_table) b.in += s.ov_exfil;
    if (f.table && f.type == 1) b.out += s.ov_decay;
    if (overland_uptake(f)) add_signed(b, s.uptake);
    b.out += f.channel_routing ? s.qlat : 0.0;
    if (!f.channel_routing || f.boundaries) b.out += s.ov_out;
    if (f.lakes) b.out += s.ov_to_lake;
    if (f.sediment) add_signed(b, s.ov_sed_source);
    if (f.nsm && f.type == 2) {
        b.out += s.ov_nsm_loss;
        b.in += s.ov_nsm_gain;
        if (f.soil) b.out += s.ov_decay;
    }
    return finish(b, threshold);
}

con_balance channel_constituent_balance(const con_span& s, const con_summary_flags& f, double threshold) {
    con_balance b;
    if (f.type == 3) return b;
    b.in = s.chan_point + s.start.channel + s.qlat + s.chan_gw;
    b.out = s.chan_decay + s.end.channel + s.chan_out;
    if (f.lakes) {
        b.in += s.lake_to_chan;
        b.out += s.chan_to_lake + s.lake_chan_exchange;
    }
    if (f.type == 2) {
        b.in += s.chan_nsm_gain;
        b.out += s.chan_nsm_loss;
    }
    if (f.sediment) add_signed(b, s.chan_sed_exchange);
    return finish(b, threshold);
}

con_balance lake_constituent_balance(const con_span& s, const con_summary_flags& f) {
    con_balance b;
    b.in = s.start.lake + s.lake_precip + s.chan_to_lake + s.ov_to_lake + s.lake_chan_exchange + s.lake_point;
    if (f.lake_gw) b.in += s.lake_gw;
    if (f.sediment) b.in += s.lake_attached_exchange;
    b.out = s.lake_to_chan + s.end.lake + s.lake_decay;
    if (f.type == 2) {
        b.in += s.lake_nsm_gain;
        b.out += s.lake_nsm_loss;
    }
    return finish(b, 0.0);
}

con_balance global_constituent_balance(const con_span& s, const con_summary_flags& f, double& mass_out) {
    con_balance b;
    b.in = stock_total(s.start) + s.ov_point + s.chan_point + s.lake_point + s.precip + s.lake_precip;
    mass_out = s.chan_out + s.ov_out;
    if (!f.channel_nodes) mass_out += s.qlat;
    if (f.sediment) mass_out += s.chan_attached_out + (f.channel_routing ? 0.0 : s.ov_attached_out);
    if (f.soil) {
        b.in += s.soil_seep_up;
        mass_out += s.soil_seep_down;
    } else {
        if (f.water_table) b.in += s.ov_exfil;
        mass_out += s.infil;
    }
    const double gw = s.chan_gw + (f.lake_gw ? s.lake_gw : 0.0);
    if (f.channel_routing && (f.water_table || f.stream_exchange)) {
        if (gw > 0.0)
            b.in += gw;
        else
            mass_out -= gw;
    }
    b.out = mass_out + stock_total(s.end) + s.ov_decay + s.chan_decay + s.soil_decay + s.lake_decay;
    if (f.type == 2) {
        b.in += s.ov_nsm_gain + s.chan_nsm_gain + s.lake_nsm_gain;
        b.out += s.ov_nsm_loss + s.chan_nsm_loss + s.lake_nsm_loss;
    }
    if (f.type != 1) {
        // The soil uptake and what infiltration moves between a nutrient
        // species' water and another constituent's soil pool (what stays on
        // the species' own land is held, in the final mass).
        b.out += s.soil_nsm_uptake;
        if (f.soil) add_signed(b, s.soil_infil_shift + s.land_infil);
    }
    return finish(b, 0.0);
}

void start_constituent_event_books(run_state& rs) {
    if (!rs.overland_constituents) return;
    rs.con_event_start = rs.con_tot;
    rs.con_stocks_start.assign(ix(rs.num_constituents) + 1, constituent_stocks{});
    for (int i = 1; i <= rs.num_constituents; ++i) rs.con_stocks_start[ix(i)] = constituent_stocks_now(rs, i);
}

void compute_event_constituent_errors(run_state& rs) {
    if (!rs.overland_constituents || rs.num_constituents < 1) return;
    size_errors(rs);
    constituent_errors& e = rs.con_errors;
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const con_summary_flags f = constituent_summary_flags(rs, i);
        const con_span s = constituent_event_span(rs, i);
        if (rs.soil_con_trans) e.soil[ix(i)] = soil_constituent_balance(s, f, kConDry).error;
        e.overland[ix(i)] = overland_constituent_balance(s, f, kConDry).error;
        if (rs.chan_con_trans) {
            e.channel[ix(i)] = channel_constituent_balance(s, f, 0.0).error;
            if (f.lakes) e.lake[ix(i)] = lake_constituent_balance(s, f).error;
        }
    }
}

void write_event_constituent_sections(run_state& rs) {
    if (!rs.overland_constituents || rs.num_constituents < 1) return;
    file_object& f = rs.summary_file;
    // Formed again here, so that the lines always show the current totals.
    compute_event_constituent_errors(rs);
    if (rs.soil_con_trans)
        for (int i = 1; i <= rs.num_constituents; ++i) write_event_soil(rs, f, i);
    for (int i = 1; i <= rs.num_constituents; ++i) write_event_overland(rs, f, i);
    file_printf(f, "\n");
    if (rs.chan_con_trans) {
        for (int i = 1; i <= rs.num_constituents; ++i) write_event_channel(rs, f, i);
        file_printf(f, "\n");
    }
}

void write_run_constituent_sections(run_state& rs) {
    if (!rs.overland_constituents || rs.num_constituents < 1) return;
    file_object& f = rs.summary_file;
    size_errors(rs);
    const int n = rs.num_constituents;
    if (rs.soil_con_trans) {
        file_printf(f, "Soil Contaminant Transport Summary \n \n");
        for (int i = 1; i <= n; ++i) write_run_soil(rs, f, i);
    }
    file_printf(f, "\n\n *************   Overland Transport Summaries   **************** \n\n");
    for (int i = 1; i <= n; ++i) write_run_overland(rs, f, i);
    if (rs.chan_con_trans) {
        file_printf(f, "\n\n *************   Channel Transport Summaries   **************** \n\n");
        for (int i = 1; i <= n; ++i) write_run_channel(rs, f, i);
    }
    if (rs.global_con_summary) {
        file_printf(f, "\n\n *************   Global Transport Summaries   **************** \n\n");
        for (int i = 1; i <= n; ++i) write_run_global(rs, f, i);
    }
    if (rs.nsm_on) {
        double gained = 0.0, lost = 0.0;   // kg
        for (int i = 1; i <= n; ++i) {
            if (ix(i) >= rs.constituent_type.size() || rs.constituent_type[ix(i)] != 2) continue;
            const con_span s = constituent_run_span(rs, i);
            gained += s.ov_nsm_gain + s.chan_nsm_gain + s.lake_nsm_gain;
            lost += s.ov_nsm_loss + s.chan_nsm_loss + s.lake_nsm_loss;
        }
        file_printf(f, "NSM dm/dt Summary\n");
        file_printf(f, "  Total dm/dt in:  %14.4lf\n", gained);
        file_printf(f, "  Total dm/dt out: %14.4lf\n\n", lost);
    }
}
