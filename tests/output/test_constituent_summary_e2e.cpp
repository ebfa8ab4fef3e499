// Constituent sections of a whole run: the bundled valley with two
// contaminants over a soil layer, with decay, exchange and channel
// transport, run inside the test so that the final state can be read. The
// sections of the event report and of the run end are compared line by line
// with lines built from their formats and the run's totals; the final masses
// with sums over the final state; every store's books close; 1 and 8 threads
// write the same summary. A long-term run reports each event's own amounts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "constituent_summary_lines.h"
#include "fixture.h"
#include "model_run.h"
#include "output/constituent_summary.h"
#include "pluvo_test.h"
#include "quality/constituent_setup.h"
#include "run/run_state.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

std::string id_row(const std::string& values) {
    std::string line = "1     row";
    line.resize(86, ' ');
    return line + values + "\n";
}

// What the test keeps of a run: per constituent 1..2 the event and run
// amounts, the flags and the stocks summed here from the final state.
struct valley_run {
    bool ok = false;
    std::string summary;
    con_lines::constituent event[3], run[3];
    constituent_stocks state[3];
};

// Stocks of constituent i summed over the cells, soil layers and transport
// nodes of the final state, kg.
constituent_stocks state_sums(const run_state& rs, int i) {
    constituent_stocks s;
    for (int j = 1; j <= rs.GNUM; ++j) {
        s.water += rs.con.mass[i][j] / 1000.0;
        s.soil += (rs.con.layer_mass[i][j] + rs.con.pend_soil_in[i][j] - rs.con.pend_soil_exchange[i][j]) / 1000.0;
    }
    const constituent_channel& cc = rs.con_chan;
    for (int l = 1; l <= rs.links; ++l) {
        if (!con_transport_link(rs.ltype[l])) continue;
        for (int j = 1; j <= rs.nx[l]; ++j)
            s.channel += (cc.mass[i][cc.stride * l + j] + cc.qlat_mass[i][cc.stride * l + j]) / 1000.0;
    }
    return s;
}

valley_run run_valley(int threads) {
    valley_run out;
    temp_dir dir;
    std::filesystem::create_directory(dir.file("out"));
    for (const char* f : {"example.prj", "mask.asc", "elev.asc", "valley.chn", "valley.gst"})
        write_file(dir.file(f), read_file(std::string(PLUVO_EXAMPLES) + "/" + f));
    grid_spec g;
    g.rows = 30;
    g.cols = 17;
    g.cell = 10.0;
    g.north = 300.0;
    write_grid(dir.file("con.idx"), g, [](int, int) { return 1.0; }, 0);
    // Tracer: rain 10 g/m3, 3 mg/kg in the soil (Kd 2 l/kg), decay 1/day,
    // exchange 0.5 m/day. Salt: rain 2 g/m3, 1 mg/kg (Kd 0.5), initial water
    // 4 g/m3, no decay.
    write_file(dir.file("table.cmt"),
               "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP con.idx \"Con\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 2\n"
               "\"Tracer\" \"Con\" \"tracer\"\nPRECIP_CONC 10\nNUM_IDS 1\nID    DESCRIPTION\n" +
                   id_row("0.5 1 0.5 3 0 0 2 0") +
                   "\"Salt\" \"Con\" \"salt\"\nPRECIP_CONC 2\nNUM_IDS 1\nID    DESCRIPTION\n" +
                   id_row("0.5 0 0.2 1 4 0 0.5 0"));
    std::string prj = read_file(dir.file("example.prj"));
    const struct {
        const char* card;
        const char* file;
        double value;
    } soils[] = {{"CONDUCTIVITY", "ks.asc", 0.5}, {"CAPILLARY", "hc.asc", 10.0},
                 {"POROSITY", "por.asc", 0.45}, {"MOISTURE", "moist.asc", 0.2}};
    for (const auto& m : soils) {
        write_grid(dir.file(m.file), g, [&](int, int) { return m.value; }, 3);
        prj += std::string(m.card) + " " + m.file + "\n";
    }
    prj += "GREEN_AMPT\nSOIL_MOIST_DEPTH 0.3\nMAPPING_TABLE table.cmt\nOV_CON_TRANS\nSOIL_CON_TRANS\n"
           "CHAN_CON_TRANS\nCHAN_DISP_COEF 2\nCHAN_DECAY_COEF 2\nINIT_CHAN_CONC 1\nSUPER_QUIET\nNUM_THREADS " +
           std::to_string(threads) + "\n";
    write_file(dir.file("example.prj"), prj);
    parallel_from_cells many(64);
    out.ok = run_model_in(dir.path(), "example.prj", [&](const run_state& rs) {
        for (int i = 1; i <= 2; ++i) {
            for (con_lines::constituent* c : {&out.event[i], &out.run[i]}) {
                c->name = rs.contamdescriptions[i];
                c->flags = constituent_summary_flags(rs, i);
            }
            out.event[i].span = constituent_event_span(rs, i);
            out.run[i].span = constituent_run_span(rs, i);
            out.state[i] = state_sums(rs, i);
        }
    });
    out.summary = read_file(dir.file("out/valley.sum"));
    return out;
}

}  // namespace

TEST(ConstituentSummaryRun, SectionsBalancesAndFinalMassesOfAValleyRun) {
    const valley_run one = run_valley(1);
    ASSERT_TRUE(one.ok) << one.summary;
    const std::string& summary = one.summary;

    for (int i = 1; i <= 2; ++i) {
        SCOPED_TRACE("constituent " + std::to_string(i));
        const con_span& run = one.run[i].span;
        // The run-end final masses are the sums over the final state.
        EXPECT_NEAR(run.end.water, one.state[i].water, 1e-12 * (1.0 + one.state[i].water));
        EXPECT_NEAR(run.end.soil, one.state[i].soil, 1e-12 * one.state[i].soil);
        EXPECT_NEAR(run.end.channel, one.state[i].channel, 1e-12 * (1.0 + one.state[i].channel));
        EXPECT_GT(one.state[i].soil, 0.0);
        // Each path moved mass.
        for (double moved : {run.precip, run.infil, run.qlat, run.chan_out})
            EXPECT_GT(moved, 0.0) << summary;
        EXPECT_NE(run.uptake, 0.0);
        if (i == 1) {
            EXPECT_GT(run.ov_decay, 0.0);
            EXPECT_GT(run.soil_decay, 0.0);
            EXPECT_GT(run.chan_decay, 0.0);
        }
        // Every store's books close to 1e-9 of what came in, with the mass
        // that raising negative masses to 0 made (printed as "Negative mass").
        for (const con_lines::constituent* c : {&one.event[i], &one.run[i]}) {
            const con_span& s = c->span;
            const con_summary_flags& f = c->flags;
            const con_balance soil = soil_constituent_balance(s, f, 0.0);
            const con_balance ov = overland_constituent_balance(s, f, 0.0);
            const con_balance ch = channel_constituent_balance(s, f, 0.0);
            double gone = 0.0;
            const con_balance all = global_constituent_balance(s, f, gone);
            EXPECT_NEAR(soil.in - soil.out, 0.0, 1e-9 * soil.in);
            EXPECT_NEAR(ov.in - ov.out + s.ov_neg, 0.0, 1e-9 * ov.in);
            EXPECT_NEAR(ch.in - ch.out + s.chan_clip, 0.0, 1e-9 * ch.in);
            EXPECT_NEAR(all.in - all.out + s.ov_neg + s.chan_clip, 0.0, 1e-9 * all.in);
            EXPECT_NEAR(gone, s.chan_out, 1e-12 * gone);   // only the channel outlet leaves
        }
    }
    // The sections as written: lines from the formats and these totals, the
    // error lines (in - out) / in x 100 of each section's terms.
    const std::string event = con_lines::event_sections({one.event[1], one.event[2]});
    const std::string run = con_lines::run_sections({one.run[1], one.run[2]}, true);
    EXPECT_NE(summary.find(event + "THE FOLLOWING WARNINGS ARE GIVEN:\n"), std::string::npos)
        << "expected:\n" << event << "\nsummary:\n" << summary;
    const size_t at = summary.find("Soil Contaminant Transport Summary \n");
    ASSERT_NE(at, std::string::npos) << summary;
    EXPECT_EQ(summary.substr(at, run.size()), run);

    const valley_run eight = run_valley(8);
    ASSERT_TRUE(eight.ok);
    EXPECT_EQ(without_timing(one.summary), without_timing(eight.summary));
}

namespace {

// Hourly KEV records of `days` days from 1 November 2001, mild and dry.
std::string kev_records(int days) {
    std::string s;
    char line[128];
    for (int h = 0; h < days * 24; ++h) {
        const int d = h / 24;
        std::snprintf(line, sizeof line, "2001 11 %d %d 29.92 60 40 6 50 %.1f %.1f\n", d + 1, h % 24,
                      (h % 24 >= 7 && h % 24 <= 17) ? 300.0 : 0.0, (h % 24 >= 7 && h % 24 <= 17) ? 450.0 : 0.0);
        s += line;
    }
    return s;
}

// Rain events on the given days of November 2001: two hours of 20 and 10 mm/h from 6:00.
std::string rain_events(const std::vector<int>& days) {
    std::string s;
    char line[128];
    for (size_t e = 0; e < days.size(); ++e) {
        s += "EVENT event" + std::to_string(e + 1) + "\nNRGAG 1\nNRPDS 3\nCOORD 450 500\n";
        for (int k = 0; k < 3; ++k) {
            std::snprintf(line, sizeof line, "RATES 2001 11 %d %d 0 %.1f\n", days[e] + 1, 6 + k,
                          k == 0 ? 20.0 : (k == 1 ? 10.0 : 0.0));
            s += line;
        }
    }
    return s;
}

// The number of the budget line `label` in each event section that starts
// with `heading`, in order (the first such line after each heading).
std::vector<double> event_values(const std::string& text, const std::string& heading, const std::string& label) {
    std::vector<double> v;
    const std::string key = label + " .";
    for (size_t h = text.find(heading); h != std::string::npos; h = text.find(heading, h + 1)) {
        const size_t at = text.find(key, h);
        if (at == std::string::npos) break;
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        v.push_back(std::strtod(line.c_str() + line.find_last_of(' ') + 1, nullptr));
    }
    return v;
}

}  // namespace

// Three events of a long-term run, each reported with its own amounts: an
// event starts with the masses the one before ended with, the events' rain
// loads add up to the run's, and each event's error line is (in - out) / in
// x 100 of its printed terms (to the printed precision).
TEST(ConstituentSummaryRun, EventsOfALongTermRunBookTheirOwnAmounts) {
    temp_dir dir;
    const char* soils =
        "1\n0\n1\n0.2 0.12 70 0.1\n"
        "2.0 0.287 0.075 0.09985 0.08 0.15 20 36.936 3.96 1.175e6 4.74 2\n"
        "2.0 0.287 0.075 0.09985 0.08 0.15 20 36.936 3.96 1.175e6 4.74 2\n"
        "2.0 0.287 0.075 0.09985 0.08 0.15 20 36.936 3.96 1.175e6 4.74 2\n";
    project_file p = long_term_valley_project(dir.path(), {10, 4, 100.0, 15, soils, kev_records(15),
                                                           rain_events({2, 6, 10})});
    grid_spec g;
    g.rows = 10;
    g.cols = 9;
    g.cell = 100.0;
    g.north = 1000.0;
    write_grid(dir.file("con.idx"), g, [](int, int) { return 1.0; }, 0);
    write_file(dir.file("table.cmt"),
               "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP con.idx \"Con\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
               "\"Tracer\" \"Con\" \"tracer\"\nPRECIP_CONC 10\nNUM_IDS 1\nID    DESCRIPTION\n" +
                   id_row("0.5 0.5 0 0 2 0 0 0"));
    p.card("MAPPING_TABLE", "table.cmt").card("OV_CON_TRANS").card("CHAN_CON_TRANS").card("CHAN_DECAY_COEF", "1");
    p.write(dir.file("valley.prj"));
    const run_result r = run_pluvo({"valley.prj"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string s = read_file(dir.file("valley.sum"));
    ASSERT_EQ(count_of(s, "Overland Contaminant Transport Summary for Tracer"), 3) << s;
    ASSERT_EQ(count_of(s, "Channel Contaminant Transport Summary for Tracer"), 3) << s;
    auto values = [&](const char* heading, const char* label) {
        const std::vector<double> v = event_values(s, heading, label);
        EXPECT_EQ(v.size(), 3u) << label;
        return v;
    };
    auto ov = [&](const char* label) { return values("Overland Contaminant Transport Summary for", label); };
    auto ch = [&](const char* label) { return values("Channel Contaminant Transport Summary for", label); };
    const std::vector<double> w0 = ov("Initial Dissolved Mass on Overland"), w1 = ov("Final Dissolved Mass on Overland"),
                              point = ov("Point source mass gain"), rain = ov("Precipitation gain"),
                              uptake = ov("Uptake from soil"), infil = ov("Infiltration"),
                              qlat = ov("Lateral flow to streams"), decay = ov("Decay loss"),
                              ov_error = ov("Dissolved mass balance error"),
                              c0 = ch("Initial Dissolved Mass in Channels"), c1 = ch("Final Dissolved Mass in Channels"),
                              c_in = ch("Mass gain from overland"), c_point = ch("Point source mass gain"),
                              c_out = ch("Outlet mass flux"), c_decay = ch("Mass decay loss"),
                              c_error = ch("Contam mass balance error");
    ASSERT_EQ(c_error.size(), 3u);
    double events_rain = 0.0;
    for (int e = 0; e < 3; ++e) {
        SCOPED_TRACE("event " + std::to_string(e + 1));
        EXPECT_GT(rain[e], 0.0);
        events_rain += rain[e];
        // Each error line from the printed terms (each within 0.005 kg).
        double in = point[e] + w0[e] + rain[e], out = infil[e] + w1[e] + decay[e] + qlat[e];
        (uptake[e] > 0.0 ? in : out) += uptake[e] > 0.0 ? uptake[e] : -uptake[e];
        EXPECT_NEAR(ov_error[e], (in - out) / in * 100.0, 100.0 * 8 * 0.005 / in + 5e-5);
        in = c0[e] + c_in[e] + c_point[e];
        out = c1[e] + c_out[e] + c_decay[e];
        if (in > 0.0)
            EXPECT_NEAR(c_error[e], (in - out) / in * 100.0, 100.0 * 5 * 0.005 / in + 5e-5);
        else
            EXPECT_EQ(c_error[e], 0.0);
    }
    // Rain falls only within the events: their loads add up to the run's.
    const size_t at = s.find("Precipitation mass gain");
    ASSERT_NE(at, std::string::npos);
    EXPECT_NEAR(events_rain, std::strtod(s.c_str() + at + 23, nullptr), 4 * 0.005);
}
