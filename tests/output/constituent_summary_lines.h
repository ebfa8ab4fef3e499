// The constituent sections of the summaries as the tests expect them, built
// line by line from the section formats and one constituent's amounts, with
// the balances formed here from those amounts (in, out and the error
// (in - out) / in x 100), for comparison with what the program writes.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "output/constituent_summary.h"

namespace con_lines {

// A budget line: label, blank, dots to column 50, blanks so that the decimal
// point stands in column 66, the value, then 1 + extra line ends.
inline std::string budget(const std::string& label, double v, int decimals = 2, int extra = 0) {
    char value[64];
    std::snprintf(value, sizeof value, "%14.*f", decimals, v);
    std::string s = label + " ";
    while (s.size() < 50) s += '.';
    const std::string text = value;
    const size_t point = text.find('.');
    s += std::string(point <= 14 ? 15 - point : 1, ' ');
    s += text + std::string(static_cast<size_t>(1 + extra), '\n');
    return s;
}

// A fixed-width line: `format` with one value.
inline std::string fixed(const char* format, double v) {
    char text[256];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

inline double percent(double in, double out, double threshold) {
    return in > threshold ? (in - out) / in * 100.0 : 0.0;
}

inline void signed_term(double v, double& in, double& out) {
    if (v > 0.0)
        in += v;
    else
        out -= v;
}

// One constituent as the sections see it.
struct constituent {
    std::string name;                 // heading name (contaminant description, nutrient species)
    std::string soil_name;            // heading name of the soil section ("": `name`; a nutrient's soil pool)
    con_span span;                    // amounts over the section's span, kg
    con_summary_flags flags;
    std::vector<double> lake_mass;    // per lake 1..n (index 0 unused), g
    std::vector<double> lake_conc;    // per lake, g/m3
    const std::string& soil_heading() const { return soil_name.empty() ? name : soil_name; }
};

// Mass the overland water gives to or takes from the land or soil surface
// counts in the overland balance: a contaminant's exchange, a nutrient species'.
inline bool overland_uptake(const con_summary_flags& f) {
    return (f.type == 1 && (!f.soil || f.table)) || (f.type == 2 && f.nsm);
}

// The balances with their own formulas.
inline double soil_error(const constituent& c, double threshold) {
    const con_span& s = c.span;
    const con_summary_flags& f = c.flags;
    // A nutrient pool takes in what its species infiltrate, not its own number's water.
    double in = s.start.soil + s.infil + s.soil_infil_shift + s.soil_seep_up, out = s.end.soil + s.soil_seep_down;
    if (f.water_table) out += s.exfil_related;
    if (f.table && f.type == 1) {
        out += s.soil_decay;
        signed_term(-s.uptake, in, out);
    }
    if (f.nsm && f.type != 1) {
        signed_term(-s.uptake, in, out);
        out += s.soil_nsm_uptake + s.soil_decay;
    }
    if (f.sediment) signed_term(s.soil_sediment, in, out);
    return percent(in, out, threshold);
}

inline double overland_error(const constituent& c) {
    const con_span& s = c.span;
    const con_summary_flags& f = c.flags;
    if (f.type == 3) return 0.0;
    double in = s.ov_point + s.start.water + s.precip, out = s.infil + s.end.water;
    if (f.water_table) in += s.ov_exfil;
    if (f.table && f.type == 1) out += s.ov_decay;
    if (overland_uptake(f)) signed_term(s.uptake, in, out);
    if (f.channel_routing) out += s.qlat;
    if (!f.channel_routing || f.boundaries) out += s.ov_out;
    if (f.lakes) out += s.ov_to_lake;
    if (f.sediment) signed_term(s.ov_sed_source, in, out);
    if (f.nsm && f.type == 2) {
        out += s.ov_nsm_loss;
        in += s.ov_nsm_gain;
        if (f.soil) out += s.ov_decay;
    }
    return percent(in, out, 1e-16);
}

inline double channel_error(const constituent& c, double threshold) {
    const con_span& s = c.span;
    const con_summary_flags& f = c.flags;
    if (f.type == 3) return 0.0;
    double in = s.chan_point + s.start.channel + s.qlat + s.chan_gw;
    double out = s.chan_decay + s.end.channel + s.chan_out;
    if (f.lakes) {
        in += s.lake_to_chan;
        out += s.chan_to_lake + s.lake_chan_exchange;
    }
    if (f.type == 2) {
        in += s.chan_nsm_gain;
        out += s.chan_nsm_loss;
    }
    if (f.sediment) signed_term(s.chan_sed_exchange, in, out);
    return percent(in, out, threshold);
}

inline double lake_error(const constituent& c) {
    const con_span& s = c.span;
    const con_summary_flags& f = c.flags;
    double in = s.start.lake + s.lake_precip + s.chan_to_lake + s.ov_to_lake + s.lake_chan_exchange + s.lake_point;
    if (f.lake_gw) in += s.lake_gw;
    if (f.sediment) in += s.lake_attached_exchange;
    double out = s.lake_to_chan + s.end.lake + s.lake_decay;
    if (f.type == 2) {
        in += s.lake_nsm_gain;
        out += s.lake_nsm_loss;
    }
    return percent(in, out, 0.0);
}

inline double stock_sum(const constituent_stocks& s) {
    return s.water + s.land + s.soil + s.channel + s.lake + s.ov_attached + s.chan_attached;
}

// Event sections: contaminants, nutrient species and soil pools, with or
// without sorbed constituents.
inline std::string event_sections(const std::vector<constituent>& cs) {
    std::string t;
    const con_summary_flags& f0 = cs.front().flags;
    if (f0.soil) {
        for (const constituent& c : cs) {
            const con_span& s = c.span;
            const con_summary_flags& f = c.flags;
            t += "\n\nSoil Contaminant Transport Summary for " + c.soil_heading() + " \n\n";
            t += budget("Initial Mass in Soil Column", s.start.soil);
            t += budget("Final Mass in Soil Column", s.end.soil, 2, 1);
            t += budget("Mass added by infiltration", s.infil + s.soil_infil_shift, 2, 1);
            if (f.water_table) t += budget("Exfiltration mass loss", s.exfil_related);
            t += budget("Mass seepage to water table", s.soil_seep_down);
            if (f.water_table) t += budget("Mass seepage from water table", s.soil_seep_up);
            if (f.table && f.type == 1) {
                t += budget("Soil decay mass", s.soil_decay);
                t += budget("Surface water exchange from soil", s.uptake > 0 ? s.uptake : 0.0);
                t += budget("Surface water exchange to soil", s.uptake < 0 ? -s.uptake : 0.0);
            }
            if (f.nsm && f.type != 1) {
                // The uptake under rain leaves the pool for the water.
                t += budget("NSM surface water exchange from soil", (s.uptake > 0 ? s.uptake : 0.0) + s.soil_nsm_uptake);
                t += budget("NSM surface water exchange to soil", s.uptake < 0 ? -s.uptake : 0.0);
            }
            if (f.sediment) t += budget("Sediment eroded(-)/deposited(+)", s.soil_sediment);
            t += "\n" + budget("Soil mass balance error", soil_error(c, 1e-16), 4);
        }
    }
    for (const constituent& c : cs) {
        const con_span& s = c.span;
        const con_summary_flags& f = c.flags;
        if (f.type == 3) continue;
        t += "\n \nOverland Contaminant Transport Summary for " + c.name + " \n";
        t += "Amounts are total mass for event in (Kg) \n \n";
        t += budget("Initial Dissolved Mass on Overland", s.start.water);
        t += budget("Final Dissolved Mass on Overland", s.end.water);
        if (f.sediment)
            t += budget("Final attached to susp seds", s.end.ov_attached) +
                 budget("Final total (attached+dissolved)", s.end.ov_attached + s.end.water);
        t += "\n";
        if (!f.soil && f.table)
            t += budget("Initial undissolved mass", s.start.land) + budget("Final undissolved mass", s.end.land) + "\n";
        t += budget("Point source mass gain", s.ov_point);
        if (f.water_table) t += budget("Exfiltration gain", s.ov_exfil);
        t += budget("Precipitation gain", s.precip);
        if (f.type == 1 && overland_uptake(f)) t += budget("Uptake from soil", s.uptake);
        if (f.type == 2 && f.nsm && f.soil) t += budget("Uptake from soil (NSM)", s.uptake);
        if (f.type == 2) t += budget("Gained from NSM kinetics", s.ov_nsm_gain, 4);
        t += "\n" + budget("Infiltration", s.infil);
        if (f.channel_routing) t += budget("Lateral flow to streams", s.qlat);
        if (!f.channel_routing || f.boundaries) t += budget("Outlet flux", s.ov_out);
        if (f.table && f.type == 1) t += budget("Decay loss", s.ov_decay);
        if (f.type == 2) t += budget("Loss to NSM kinetics", s.ov_nsm_loss, 4);
        if (f.lakes) t += budget("Flux to lake", s.ov_to_lake);
        t += budget("Negative mass", s.ov_neg);
        if (f.sediment) {
            t += budget("Sediment source", s.ov_sed_source) + "\n";
            t += f.channel_routing ? budget("Attached entering channels", s.chan_attached_qlat)
                                   : budget("Attached exiting outlet", s.ov_attached_out);
            if (f.lakes) t += budget("Attached entering lakes", s.lake_attached_ov_in);
        }
        t += "\n" + budget("Dissolved mass balance error", overland_error(c), 4);
    }
    t += "\n";
    if (f0.channel_nodes) {
        for (const constituent& c : cs) {
            const con_span& s = c.span;
            const con_summary_flags& f = c.flags;
            if (f.type == 3) continue;
            t += "\n \nChannel Contaminant Transport Summary for " + c.name + " \n";
            t += "Amounts are total for event in (Kg) \n \nDissolved State Mass Balance... \n \n";
            t += budget("Initial Dissolved Mass in Channels", s.start.channel);
            t += budget("Final Dissolved Mass in Channels", s.end.channel, 2, 1);
            t += budget("Mass gain from overland", s.qlat);
            t += budget("Point source mass gain", s.chan_point);
            if (f.type == 2) t += budget("Mass gained in NSM kinetics", s.chan_nsm_gain, 4, 1);
            if (f.lakes) t += budget("Flow from lake to channel", s.lake_to_chan) + budget("Exchange with lakes (-)", s.lake_chan_exchange);
            if (f.stream_exchange) t += budget("Groundwater net mass gain(+)/loss(-)", s.chan_gw);
            if (f.sediment) t += budget("Exhange with sediments", s.chan_sed_exchange);
            if (f.lakes) t += budget("Flows to lake", s.chan_to_lake);
            t += budget("Outlet mass flux", s.chan_out);
            if (f.chan_decay) t += budget("Mass decay loss", s.chan_decay);
            if (f.type == 2) t += budget("Mass lost in NSM kinetics", s.chan_nsm_loss, 4);
            t += "\n" + budget("Contam mass balance error", channel_error(c, 0.0), 4) + "\n";
            if (f.sediment) {
                t += "Contaminants Attached to Sediment Mass Balance...\n \n";
                t += budget("Lateral flow into channels", s.chan_attached_qlat);
                t += budget("Exiting watershed", s.chan_attached_out);
                t += budget("Exchange with dissolved", s.chan_sed_exchange);
                t += budget("Attached to suspended sed", s.end.chan_attached);
                if (f.lakes) t += budget("Attached entering lakes", s.lake_attached_chan_in);
                t += budget("Total (dissolved+attached)", s.end.channel + s.end.chan_attached, 4) + "\n";
            }
            if (f.lakes) {
                t += "Lake Contaminant Transport Summary for " + c.name + " \n";
                t += "Amounts are total mass for event (Kg) \n \nDissolved State Mass Balance...\n";
                t += budget("Initial Dissolved in Lakes", s.start.lake) + budget("Final Dissolved in Lakes", s.end.lake) + "\n";
                t += budget("Precip", s.lake_precip) + budget("Inflow", s.chan_to_lake) +
                     budget("Lake/chan exchange", s.lake_chan_exchange) + budget("Overland flux", s.ov_to_lake) +
                     budget("Point source", s.lake_point) + budget("Groundwater flux", s.lake_gw, 2, 1) +
                     budget("Outflow", s.lake_to_chan) + budget("Dissolved decay loss", s.lake_decay);
                if (f.sediment) t += budget("Exchange with attached", s.lake_attached_exchange);
                t += "\n" + budget("Dissolved mass balance error", lake_error(c), 4);
                if (f.sediment)
                    t += "\n" + budget("Overland inflow", s.lake_attached_ov_in) +
                         budget("Channel inflow", s.lake_attached_chan_in) +
                         budget("Exchange with dissolved", s.lake_attached_exchange);
                t += "\n";
                for (size_t k = 1; k < c.lake_mass.size(); ++k) {
                    char a[160], b[160];
                    std::snprintf(a, sizeof a, "Final Mass in lake %zu =        %14.2f \n", k, c.lake_mass[k] / 1000.0);
                    std::snprintf(b, sizeof b, "Final Conc in lake (mg/L) %zu = %14.2f \n \n", k, c.lake_conc[k]);
                    t += std::string(a) + b;
                }
            }
        }
        t += "\n";
    }
    return t;
}

// Run-end sections: contaminants, nutrient species and soil pools, with or
// without sorbed constituents; constituent k of `cs` is constituent number k + 1.
inline std::string run_sections(const std::vector<constituent>& cs, bool global) {
    std::string t;
    const con_summary_flags& f0 = cs.front().flags;
    if (f0.soil) {
        t += "Soil Contaminant Transport Summary \n \n";
        for (const constituent& c : cs) {
            const con_span& s = c.span;
            const con_summary_flags& f = c.flags;
            t += "\n \nSoil Constituent Transport Summary for " + c.soil_heading() + " \n\n";
            t += fixed("Initial Mass in Soil Column   %14.2f \n", s.start.soil);
            t += fixed("Final Mass in Soil Column     %14.2f \n \n", s.end.soil);
            t += fixed("Mass added by infiltration    %14.2f \n", s.infil + s.soil_infil_shift);
            t += fixed("Mass seepage up from GW       %14.2f \n \n", s.soil_seep_up);
            if (f.table && f.type == 1)
                t += fixed("Uptake from soil              %14.2f \n", s.uptake) +
                     fixed("Soil decay mass               %14.2f \n", s.soil_decay);
            if (f.nsm && f.type != 1)
                t += fixed("Uptake from soil (NSM)        %14.2f \n", s.soil_nsm_uptake) +
                     fixed("NSM decay mass               %14.2f \n", s.soil_decay);
            if (f.water_table) t += fixed("Exfiltration mass loss        %14.2f \n", s.exfil_related);
            t += fixed("Mass seepage down to GW       %14.2f \n \n", s.soil_seep_down);
            if (f.sediment) t += fixed("Sediment eroded(-)/deposited  %14.2f \n \n", s.soil_sediment);
            t += fixed("Soil mass balance error       %14.4f \n", soil_error(c, 1e-6)) + "\n";
        }
    }
    t += "\n\n *************   Overland Transport Summaries   **************** \n\n";
    for (size_t k = 0; k < cs.size(); ++k) {
        const constituent& c = cs[k];
        const con_span& s = c.span;
        const con_summary_flags& f = c.flags;
        t += "\n\n";
        if (f.type == 3) continue;
        char head[256];
        if (f.type == 1)
            std::snprintf(head, sizeof head, "Overland Constituent Transport Summary for Constituent %5d (%s)\n",
                          static_cast<int>(k + 1), c.name.c_str());
        else
            std::snprintf(head, sizeof head, "Overland Constituent Transport Summary for %s \n", c.name.c_str());
        t += std::string(head) + "Amounts are total for simulations in (Kg) \n \n";
        t += fixed("Initial Dissolved mass on ov  %14.2f \n", s.start.water);
        t += fixed("Final Dissolved mass on ov    %14.2f \n", s.end.water) + "\n";
        if (!f.soil && f.table)
            t += fixed("Initial undissolved mass      %14.2f \n", s.start.land) +
                 fixed("Final undissolved mass        %14.2f \n", s.end.land) + "\n";
        t += fixed("Point source mass gain        %14.2f \n", s.ov_point);
        if (f.water_table) t += fixed("Exfiltration mass gain        %14.2f \n", s.ov_exfil);
        t += fixed("Precipitation mass gain       %14.2f \n", s.precip);
        if (overland_uptake(f)) t += fixed("Uptake from soil              %14.2f \n", s.uptake);
        if (f.sediment) t += fixed("Sediment source               %14.2f \n", s.ov_sed_source);
        t += "\n" + fixed("Mass loss to infiltration     %14.2f \n", s.infil);
        if (f.channel_routing) t += fixed("Mass loss to stream           %14.2f \n", s.qlat);
        t += fixed("Outlet mass flux              %14.2f \n", s.ov_out);
        if (f.table && f.type == 1) t += fixed("Mass decay loss on overland   %14.2f \n", s.ov_decay);
        if (f.type == 2)
            t += fixed("Mass gained from NSM kinetics   %14.4f \n", s.ov_nsm_gain) +
                 fixed("Mass lost to NSM kinetics       %14.4f \n", s.ov_nsm_loss);
        if (f.lakes) t += fixed("Lateral flow to lake          %14.2f \n", s.ov_to_lake);
        t += "\n";
        if (f.sediment)
            t += fixed("Attached to susp sediments    %14.2f \n", s.end.ov_attached) +
                 (f.channel_routing ? fixed("Attached entering streams     %14.2f \n", s.chan_attached_qlat)
                                    : fixed("Attached exiting watershed    %14.2f \n", s.ov_attached_out));
        t += "\n" + fixed("Contam mass balance error       %14.4f percent \n", overland_error(c));
    }
    if (f0.channel_nodes) {
        t += "\n\n *************   Channel Transport Summaries   **************** \n\n";
        for (size_t k = 0; k < cs.size(); ++k) {
            const constituent& c = cs[k];
            const con_span& s = c.span;
            const con_summary_flags& f = c.flags;
            char head[256] = "";
            if (f.type == 1)
                std::snprintf(head, sizeof head, "Channel Contaminant Transport Summary for Contaminant %5d \n",
                              static_cast<int>(k + 1));
            else if (f.type == 2)
                std::snprintf(head, sizeof head, "Channel Contaminant Transport Summary for %s \n", c.name.c_str());
            t += std::string("\n \n") + head + "Amounts are total for simulations in (Kg) \n \nDissolved\n";
            t += fixed("Initial Mass in Channels      %14.2f \n", s.start.channel);
            t += fixed("Final Mass in Channels        %14.2f \n \n", s.end.channel);
            t += fixed("Mass gain from overland       %14.2f \n", s.qlat);
            t += fixed("Point source mass gain        %14.2f \n", s.chan_point);
            if (f.lakes) t += fixed("Flux from lake                %14.2f \n", s.lake_to_chan);
            if (f.stream_exchange) t += fixed("Groundwater mass gain/loss    %14.2f \n \n", s.chan_gw);
            t += fixed("Outlet mass flux              %14.2f \n", s.chan_out);
            if (f.chan_decay) t += fixed("Mass decay loss               %14.2f \n", s.chan_decay);
            if (f.type == 2)
                t += fixed("Mass gained from NSM kinetics   %14.6f \n", s.chan_nsm_gain) +
                     fixed("Mass lost to NSM kinetics       %14.6f \n", s.chan_nsm_loss);
            if (f.lakes)
                t += fixed("Flux to lake                  %14.2f \n", s.chan_to_lake) +
                     fixed("Exchange with lake            %14.2f \n", s.lake_chan_exchange);
            if (f.sediment) t += fixed("Exchange with sediment        %14.2f \n", s.chan_sed_exchange);
            t += "\n" + fixed("Dissolved mass balance error       %14.4f percent \n", channel_error(c, 1e-16));
            t += "\nAttached\n";
            if (f.sediment)
                t += fixed("Lateral flow into channels    %14.2f \n", s.chan_attached_qlat) +
                     fixed("Final suspended               %14.2f \n", s.end.chan_attached) +
                     fixed("Exchange with dissolved       %14.2f \n", -s.chan_sed_exchange) +
                     fixed("Exiting outlet                %14.2f \n", s.chan_attached_out);
            t += "\n";
            if (f.lakes) {
                char lhead[128];
                std::snprintf(lhead, sizeof lhead, "Lake Contaminant Transport Summary for Constituent %5d \n",
                              static_cast<int>(k + 1));
                t += std::string("\n \n") + lhead + "Amounts are total for simulations in (Kg) \n \n";
                t += fixed("Initial Mass in Lakes         %14.2f \n", s.start.lake);
                t += fixed("Final Mass in Lakes           %14.2f \n \n", s.end.lake);
                t += fixed("Mass gain from overland       %14.2f \n", s.ov_to_lake);
                t += fixed("Mass channel trib inflow      %14.2f \n", s.chan_to_lake);
                t += fixed("Mass lake outlet flow         %14.2f \n", s.lake_to_chan);
                t += fixed("Lake chan exchange mass       %14.2f \n", s.lake_chan_exchange);
                t += fixed("Point source mass gain        %14.2f \n", s.lake_point);
                t += fixed("Groundwater mass gain/loss    %14.2f \n \n", s.lake_gw);
                t += fixed("Precip mass flux              %14.2f \n", s.lake_precip);
                t += fixed("Mass decay loss               %14.2f \n \n", s.lake_decay);
                if (f.sediment) t += fixed("Exchange with attached        %14.2f \n \n", s.lake_attached_exchange);
                t += fixed("Contam mass balance error       %14.4f percent \n \n", lake_error(c));
                for (size_t l = 1; l < c.lake_mass.size(); ++l) {
                    char a[160], b[160];
                    std::snprintf(a, sizeof a, "Final Mass in lake %zu = %14.2f \n", l, c.lake_mass[l] / 1000.0);
                    std::snprintf(b, sizeof b, "Final Conc in lake %zu = %14.2f \n \n", l, c.lake_conc[l]);
                    t += std::string(a) + b;
                }
            }
        }
    }
    if (global) {
        t += "\n\n *************   Global Transport Summaries   **************** \n\n";
        for (size_t k = 0; k < cs.size(); ++k) {
            const constituent& c = cs[k];
            const con_span& s = c.span;
            const con_summary_flags& f = c.flags;
            const double start = stock_sum(s.start), end = stock_sum(s.end);
            const double gw = s.chan_gw + (f.lake_gw ? s.lake_gw : 0.0);
            double in = start + s.ov_point + s.chan_point + s.lake_point + s.precip + s.lake_precip;
            double gone = s.chan_out + s.ov_out;
            if (!f.channel_nodes) gone += s.qlat;
            if (f.sediment) gone += s.chan_attached_out + (f.channel_routing ? 0.0 : s.ov_attached_out);
            if (f.soil) {
                in += s.soil_seep_up;
                gone += s.soil_seep_down;
            } else {
                if (f.water_table) in += s.ov_exfil;
                gone += s.infil;
            }
            if (f.channel_routing && (f.water_table || f.stream_exchange)) signed_term(gw, in, gone);
            const double decay = s.ov_decay + s.chan_decay + s.soil_decay + s.lake_decay;
            double out = gone + end + s.ov_decay + s.chan_decay + s.soil_decay + s.lake_decay;
            // Nutrients: the kinetics, the soil uptake and what infiltration
            // hands to another number's pool (what a species keeps on its own
            // land is in the final mass); the line shows the net.
            double nsm = 0.0;
            if (f.type == 2) {
                in += s.ov_nsm_gain + s.chan_nsm_gain + s.lake_nsm_gain;
                out += s.ov_nsm_loss + s.chan_nsm_loss + s.lake_nsm_loss;
                nsm += s.ov_nsm_gain - s.ov_nsm_loss + s.chan_nsm_gain - s.chan_nsm_loss + s.lake_nsm_gain -
                       s.lake_nsm_loss;
            }
            if (f.type != 1) {
                out += s.soil_nsm_uptake;
                nsm -= s.soil_nsm_uptake;
                if (f.soil) {
                    signed_term(s.soil_infil_shift + s.land_infil, in, out);
                    nsm += s.soil_infil_shift + s.land_infil;
                }
            }
            char head[256] = "";
            if (f.type == 1)
                std::snprintf(head, sizeof head, "Contaminant Transport Global Summary for Contaminant %5d \n",
                              static_cast<int>(k + 1));
            else if (f.type == 2)
                std::snprintf(head, sizeof head, "Contaminant Transport Global Summary for %s \n", c.name.c_str());
            t += std::string("\n \n") + head + "Amounts are total for simulations in (Kg) \n \n";
            t += fixed("Total initial mass            %14.2f \n", start);
            t += fixed("Total final Mass              %14.2f \n \n", end);
            t += fixed("Point source inputs           %14.2f\n", s.ov_point + s.chan_point + s.lake_point);
            t += fixed("Precipitation inputs          %14.2f \n", s.precip + s.lake_precip);
            t += fixed("Flux from GW to streams       %14.2f \n", gw);
            if (f.soil) t += fixed("Soil mass in from groundwater %14.2f \n \n", s.soil_seep_up);
            t += fixed("Total mass out of system      %14.2f \n \n", gone);
            if (f.type == 1 && (f.table || f.chan_decay)) t += fixed("Mass decay loss               %14.2f \n", decay);
            if (f.type == 2) t += fixed("NSM gain/loss                 %14.2f \n", nsm);
            t += "\n" + fixed("Contam mass balance error       %14.4f percent \n", percent(in, out, 0.0));
        }
    }
    return t;
}

}  // namespace con_lines
