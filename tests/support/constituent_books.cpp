#include "constituent_books.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "output/constituent_summary.h"
#include "run/run_state.h"

namespace pluvo_test {

std::vector<section_books> constituent_section_books(const run_state& rs) {
    std::vector<section_books> out;
    for (int i = 1; i <= rs.num_constituents; ++i) {
        const con_summary_flags f = constituent_summary_flags(rs, i);
        for (int run = 0; run < 2; ++run) {
            const con_span s = run ? constituent_run_span(rs, i) : constituent_event_span(rs, i);
            const std::string at = std::string(run ? "run " : "event ");
            auto add = [&](const char* name, const con_balance& b, double made) {
                out.push_back({at + name + " " + std::to_string(i), b.in, b.in - b.out + made, b.error});
            };
            // Soil held at fixed concentrations gives what the water takes
            // and the decay counts, and swallows what infiltrates: its soil
            // error stands for that.
            const std::vector<double>& held = rs.con_tot.soil_held;
            double given = static_cast<size_t>(i) < held.size() ? held[static_cast<size_t>(i)] : 0.0;
            if (!run && static_cast<size_t>(i) < rs.con_event_start.soil_held.size())
                given -= rs.con_event_start.soil_held[static_cast<size_t>(i)];
            if (rs.soil_con_trans) add("soil", soil_constituent_balance(s, f, 0.0), rs.soil_static_conc ? given : 0.0);
            if (f.type == 3) continue;
            add("overland", overland_constituent_balance(s, f, 0.0), s.ov_neg);
            if (rs.chan_con_trans) {
                add("channel", channel_constituent_balance(s, f, 0.0), s.chan_clip);
                if (f.lakes) add("lake", lake_constituent_balance(s, f), 0.0);
            }
            double gone = 0.0;
            add("global", global_constituent_balance(s, f, gone),
                s.ov_neg + s.chan_clip + (rs.soil_static_conc ? given : 0.0));
        }
    }
    return out;
}

namespace {

enum role { kIn, kOut, kGain, kLoss };   // kGain: signed, positive in; kLoss: signed, positive out

struct term {
    const char* label;
    role r;
};

// Printed labels of each section kind (event and run-end labels together).
const term kSoil[] = {{"Initial Mass in Soil Column", kIn}, {"Final Mass in Soil Column", kOut},
                      {"Mass added by infiltration", kIn}, {"Mass seepage from water table", kIn},
                      {"Mass seepage up from GW", kIn}, {"Exfiltration mass loss", kOut},
                      {"Mass seepage to water table", kOut}, {"Mass seepage down to GW", kOut},
                      {"Soil decay mass", kOut}, {"Surface water exchange from soil", kOut},
                      {"Surface water exchange to soil", kIn}, {"NSM surface water exchange from soil", kOut},
                      {"NSM surface water exchange to soil", kIn}, {"Uptake from soil", kLoss},
                      {"Uptake from soil (NSM)", kOut}, {"NSM decay mass", kOut},
                      {"Sediment eroded(-)/deposited(+)", kGain}, {"Sediment eroded(-)/deposited", kGain}};
const term kOverland[] = {{"Initial Dissolved Mass on Overland", kIn}, {"Initial Dissolved mass on ov", kIn},
                          {"Final Dissolved Mass on Overland", kOut}, {"Final Dissolved mass on ov", kOut},
                          {"Point source mass gain", kIn}, {"Exfiltration gain", kIn},
                          {"Exfiltration mass gain", kIn}, {"Precipitation gain", kIn},
                          {"Precipitation mass gain", kIn}, {"Uptake from soil", kGain},
                          {"Uptake from soil (NSM)", kGain}, {"Gained from NSM kinetics", kIn},
                          {"Mass gained from NSM kinetics", kIn}, {"Sediment source", kGain},
                          {"Infiltration", kOut}, {"Mass loss to infiltration", kOut},
                          {"Lateral flow to streams", kOut}, {"Mass loss to stream", kOut},
                          {"Outlet flux", kOut}, {"Outlet mass flux", kOut}, {"Decay loss", kOut},
                          {"Mass decay loss on overland", kOut}, {"Loss to NSM kinetics", kOut},
                          {"Mass lost to NSM kinetics", kOut}, {"Flux to lake", kOut},
                          {"Lateral flow to lake", kOut}};
const term kChannel[] = {{"Initial Dissolved Mass in Channels", kIn}, {"Initial Mass in Channels", kIn},
                         {"Final Dissolved Mass in Channels", kOut}, {"Final Mass in Channels", kOut},
                         {"Mass gain from overland", kIn}, {"Point source mass gain", kIn},
                         {"Mass gained in NSM kinetics", kIn}, {"Mass gained from NSM kinetics", kIn},
                         {"Flow from lake to channel", kIn}, {"Flux from lake", kIn},
                         {"Exchange with lakes (-)", kOut}, {"Exchange with lake", kOut},
                         {"Groundwater net mass gain(+)/loss(-)", kIn}, {"Groundwater mass gain/loss", kIn},
                         {"Exhange with sediments", kGain}, {"Exchange with sediment", kGain},
                         {"Flows to lake", kOut}, {"Flux to lake", kOut}, {"Outlet mass flux", kOut},
                         {"Mass decay loss", kOut}, {"Mass lost in NSM kinetics", kOut},
                         {"Mass lost to NSM kinetics", kOut}};
const term kLake[] = {{"Initial Dissolved in Lakes", kIn}, {"Initial Mass in Lakes", kIn},
                      {"Final Dissolved in Lakes", kOut}, {"Final Mass in Lakes", kOut},
                      {"Precip", kIn}, {"Precip mass flux", kIn}, {"Inflow", kIn},
                      {"Mass channel trib inflow", kIn}, {"Lake/chan exchange", kIn},
                      {"Lake chan exchange mass", kIn}, {"Overland flux", kIn},
                      {"Mass gain from overland", kIn}, {"Point source", kIn},
                      {"Point source mass gain", kIn}, {"Groundwater flux", kIn},
                      {"Groundwater mass gain/loss", kIn}, {"Outflow", kOut},
                      {"Mass lake outlet flow", kOut}, {"Dissolved decay loss", kOut},
                      {"Mass decay loss", kOut}, {"Exchange with attached", kIn}};
const term kGlobal[] = {{"Total initial mass", kIn}, {"Total final Mass", kOut},
                        {"Point source inputs", kIn}, {"Precipitation inputs", kIn},
                        {"Flux from GW to streams", kGain}, {"Soil mass in from groundwater", kIn},
                        {"Total mass out of system", kOut}, {"Mass decay loss", kOut},
                        {"NSM gain/loss", kGain}};

struct kind {
    const char* heading;   // start of the heading line
    const term* terms;
    size_t count;
};

template <size_t N>
kind kind_of(const char* heading, const term (&t)[N]) {
    return {heading, t, N};
}

}  // namespace

std::vector<printed_section> printed_constituent_sections(const std::string& summary) {
    const kind kinds[] = {kind_of("Soil Contaminant Transport Summary for", kSoil),
                          kind_of("Soil Constituent Transport Summary for", kSoil),
                          kind_of("Overland Contaminant Transport Summary for", kOverland),
                          kind_of("Overland Constituent Transport Summary for", kOverland),
                          kind_of("Channel Contaminant Transport Summary for", kChannel),
                          kind_of("Lake Contaminant Transport Summary for", kLake),
                          kind_of("Contaminant Transport Global Summary for", kGlobal)};
    std::vector<printed_section> out;
    const kind* open = nullptr;
    size_t at = 0;
    while (at < summary.size()) {
        size_t end = summary.find('\n', at);
        if (end == std::string::npos) end = summary.size();
        const std::string line = summary.substr(at, end - at);
        at = end + 1;
        bool heading = false;
        for (const kind& k : kinds) {
            if (line.compare(0, std::string(k.heading).size(), k.heading) == 0) {
                open = &k;
                out.push_back({line, 0.0, 0.0, 0, 0.0});
                heading = true;
            }
        }
        if (heading || open == nullptr) continue;
        // The value ends the line; the label is what stands before it, less
        // the dots and blanks that lead to it.
        size_t v = line.find_last_not_of(" ");
        if (v == std::string::npos) continue;
        std::string text = line.substr(0, v + 1);
        if (text.size() > 8 && text.compare(text.size() - 8, 8, " percent") == 0) text.resize(text.size() - 8);
        const size_t number = text.find_last_of(' ');
        if (number == std::string::npos) continue;
        char* stop = nullptr;
        const double value = std::strtod(text.c_str() + number + 1, &stop);
        if (stop == text.c_str() + number + 1 || *stop != '\0') continue;
        std::string label = text.substr(0, number);
        while (!label.empty() && (label.back() == ' ' || label.back() == '.')) label.pop_back();
        printed_section& s = out.back();
        if (label.find("balance error") != std::string::npos) {
            s.error = value;
            open = nullptr;   // the section's terms end at its error line
            continue;
        }
        for (size_t t = 0; t < open->count; ++t) {
            if (label != open->terms[t].label) continue;
            const role r = open->terms[t].r;
            if (r == kIn || (r == kGain && value > 0.0) || (r == kLoss && value < 0.0))
                s.in += r == kLoss ? -value : value;
            else
                s.out += r == kGain ? -value : value;
            ++s.terms;
            break;
        }
    }
    return out;
}

void expect_sections_match_their_terms(const std::string& summary, size_t least) {
    const std::vector<printed_section> sections = printed_constituent_sections(summary);
    EXPECT_GE(sections.size(), least) << summary;
    for (const printed_section& s : sections) {
        EXPECT_GT(s.terms, 1) << s.heading;
        if (s.in > 0.0) {
            EXPECT_NEAR(s.error, (s.in - s.out) / s.in * 100.0, 100.0 * s.terms * 0.005 / s.in + 5e-5)
                << s.heading << ": in " << s.in << ", out " << s.out;
        } else {
            EXPECT_EQ(s.error, 0.0) << s.heading;
        }
    }
}

}  // namespace pluvo_test
