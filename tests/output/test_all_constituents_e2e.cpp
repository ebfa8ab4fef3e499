// One run with every constituent process together (fixture
// tests/cases/all_constituents): a valley of 10 x 7 cells of 20 m over a
// soil layer under Green-Ampt with redistribution, a channel down the middle
// with a pit lake of the channel network in it, eroding planes and channel
// beds, a contaminant that decays, exchanges with the soil and sorbs to the
// sediment, and the nine nutrient species with their thirteen soil pools; a
// long-term run of two days with a rain event on each. The sections of the
// last event report and of the run end are compared line by line with lines
// built from the section formats and the run's totals, every section's error
// line with its printed terms, the run-end final masses with sums over the
// final state; 1 and 8 threads write the same summary and files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "constituent_books.h"
#include "constituent_summary_lines.h"
#include "model_run.h"
#include "output/constituent_summary.h"
#include "pluvo_test.h"
#include "run/run_state.h"
#include "valley.h"

using namespace pluvo_test;

namespace {

constexpr int kConstituents = 14;   // the contaminant, nine species, four soil-only pools
constexpr int kFirstNutrient = 2;

const char* const kSpeciesNames[9] = {
    "Nitrite (NO2-)", "Nitrate (NO3-)", "Ammonium (NH4+)", "Organic Nitrogen (Organic N)",
    "Organic Phosphorous (Organic P)", "Dissolved Phosphorous (Dissolved P)", "Algae",
    "Carbonaceous Biochemical Oxygen Demand", "Dissolved Oxygen (O2)"};
const char* const kPoolNames[13] = {
    "Organic Active Carbon",     "Organic Stable Carbon",       "Ammonium (NH4+)",
    "Nitrate (NO3-)",            "Organic Active Nitrogen",     "Organic Fresh Nitrogen",
    "Organic Stable Nitrogen",   "Mineral Active Phosphorus",   "Mineral Solution Phosphorus",
    "Mineral Stable Phosphorus", "Organic Active Phosphorus",    "Organic Fresh Phosphorus",
    "Organic Stable Phosphorus"};
// Soil pool that takes what species k infiltrates (-1: the cell's land store keeps it).
const int kPoolOfSpecies[9] = {-1, 3, 2, 4, 10, 8, -1, -1, -1};
// The channel links that carry constituents (link 2 is the lake).
const int kTransportLinks[2] = {1, 3};

int type_of(int i) { return i == 1 ? 1 : (i < kFirstNutrient + 9 ? 2 : 3); }

// The processes of the fixture, as its project switches them on.
con_summary_flags fixture_flags(int i) {
    con_summary_flags f;
    f.type = type_of(i);
    f.table = true;
    f.soil = true;
    f.channel_routing = true;
    f.channel_nodes = true;
    f.lakes = true;
    f.chan_decay = f.type == 1;
    f.nsm = true;
    f.sediment = true;
    return f;
}

// Stocks of constituent i summed over the cells, the soil layer, the land
// stores, the transport nodes, the lake and the sorbed stores of the final
// state, with what is on its way into a store, kg.
constituent_stocks state_sums(const run_state& rs, int i) {
    constituent_stocks s;
    const constituent_cells& c = rs.con;
    const int k = i - kFirstNutrient;   // nutrient offset (species 0..8, pools 0..12)
    for (int j = 1; j <= rs.GNUM; ++j) {
        s.water += c.mass[i][j] / 1000.0;
        s.soil += c.layer_mass[i][j] / 1000.0;
        if (i == 1) {
            s.soil += (c.pend_soil_in[i][j] - c.pend_soil_exchange[i][j]) / 1000.0;
            continue;
        }
        // What the species feeding this pool infiltrated and has not been handed over.
        for (int sp = 0; sp < 9; ++sp)
            if (kPoolOfSpecies[sp] == k) s.soil += c.pend_soil_in[kFirstNutrient + sp][j] / 1000.0;
        if (k < 9 && kPoolOfSpecies[k] < 0) s.land += (c.land[i][j] + c.pend_soil_in[i][j]) / 1000.0;
    }
    const constituent_channel& cc = rs.con_chan;
    for (int l : kTransportLinks)
        for (int j = 1; j <= rs.nx[l]; ++j)
            s.channel += (cc.mass[i][cc.stride * l + j] + cc.qlat_mass[i][cc.stride * l + j]) / 1000.0;
    for (int u = 1; u <= rs.num_channel_lakes; ++u) s.lake += rs.con_lake.mass[i][u] / 1000.0;
    const sed_bound_record& sb = rs.sed_bound;
    if (static_cast<size_t>(i) < sb.sorbed.size())
        for (int j = 1; j <= sb.cells; ++j) s.ov_attached += sb.sorbed[i][j] / 1000.0;
    if (static_cast<size_t>(i) < sb.attached.size()) {
        for (size_t f = 0; f < sb.attached[i].size(); ++f)
            s.chan_attached += (sb.attached[i][f] + sb.qlat_attached[i][f]) / 1000.0;
        for (int u = 1; u <= sb.lakes; ++u)
            s.chan_attached += (sb.lake_attached[i][u] + sb.lake_settled[i][u]) / 1000.0;
    }
    return s;
}

struct all_run {
    bool ok = false;
    std::string summary;
    std::vector<std::string> files;
    std::vector<con_lines::constituent> event, run;   // constituents 1..14 at 0..13
    std::vector<constituent_stocks> state;            // the same
    std::vector<section_books> books;                 // every section's closure, in-process
};

const char* const kWritten[] = {"valley.otl",       "sed.out",   "tracer.conc", "tracer.mass",
                                "tracer.chan.conc", "tracer.chan.mass", "no2.conc", "no2.mass",
                                "dpst.conc",        "dpst.mass", "totn",        "new_bed_elevations.txt"};

all_run run_fixture(int threads) {
    all_run out;
    temp_dir dir;
    copy_case("all_constituents", dir.path());
    write_file(dir.file("valley.prj"), read_file(dir.file("valley.prj")) + "NUM_THREADS " + std::to_string(threads) + "\n");
    parallel_from_cells many(16);
    out.ok = run_model_in(dir.path(), "valley.prj", [&](const run_state& rs) {
        EXPECT_EQ(rs.num_constituents, kConstituents);
        for (int i = 1; i <= kConstituents && i <= rs.num_constituents; ++i) {
            con_lines::constituent c;
            const int k = i - kFirstNutrient;
            c.name = i == 1 ? "Tracer" : (k < 9 ? kSpeciesNames[k] : "");
            if (i > 1) c.soil_name = kPoolNames[k];
            c.flags = fixture_flags(i);
            c.lake_mass.assign(static_cast<size_t>(rs.num_channel_lakes) + 1, 0.0);
            c.lake_conc = c.lake_mass;
            for (int u = 1; u <= rs.num_channel_lakes; ++u) {
                c.lake_mass[u] = rs.con_lake.mass[i][u];
                c.lake_conc[u] = rs.con_lake.conc[i][u];
            }
            c.span = constituent_event_span(rs, i);
            out.event.push_back(c);
            c.span = constituent_run_span(rs, i);
            out.run.push_back(c);
            out.state.push_back(state_sums(rs, i));
        }
        out.books = constituent_section_books(rs);
    });
    out.summary = read_file(dir.file("valley.sum"));
    for (const char* f : kWritten) {
        EXPECT_TRUE(file_exists(dir.file(f))) << f;
        out.files.push_back(file_exists(dir.file(f)) ? read_file(dir.file(f)) : "");
    }
    return out;
}

// Value of the fixed-width line starting with `label` in the block that
// starts at the first `heading` at or after `from`, NaN when missing.
double block_value(const std::string& text, const std::string& heading, const std::string& label, size_t from = 0) {
    const size_t h = text.find(heading, from);
    if (h == std::string::npos) return std::nan("");
    const size_t at = text.find("\n" + label, h);
    if (at == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + at + 1 + label.size(), nullptr);
}

}  // namespace

TEST(AllConstituentsRun, SectionsBalancesFinalMassesAndThreads) {
    const all_run one = run_fixture(1);
    ASSERT_TRUE(one.ok) << one.summary;
    ASSERT_EQ(one.run.size(), static_cast<size_t>(kConstituents));
    const std::string& summary = one.summary;

    // Two events, each reported with its sections.
    EXPECT_EQ(count_of(summary, "Overland Contaminant Transport Summary for Nitrite (NO2-) \n"), 2);
    EXPECT_EQ(count_of(summary, "Lake Contaminant Transport Summary for Tracer \n"), 2);

    // The run-end final masses are the sums over the final state; every
    // store of the run holds some of the mass (rel. 1e-12).
    constituent_stocks held;   // over all constituents, kg
    for (int i = 1; i <= kConstituents; ++i) {
        SCOPED_TRACE("constituent " + std::to_string(i));
        const constituent_stocks& end = one.run[i - 1].span.end;
        const constituent_stocks& sum = one.state[i - 1];
        const struct {
            const char* store;
            double got, want;
            double constituent_stocks::*member;
        } stores[] = {{"water", end.water, sum.water, &constituent_stocks::water},
                      {"land", end.land, sum.land, &constituent_stocks::land},
                      {"soil", end.soil, sum.soil, &constituent_stocks::soil},
                      {"channel", end.channel, sum.channel, &constituent_stocks::channel},
                      {"lake", end.lake, sum.lake, &constituent_stocks::lake},
                      {"sorbed on the cells", end.ov_attached, sum.ov_attached, &constituent_stocks::ov_attached},
                      {"sorbed in the channels", end.chan_attached, sum.chan_attached,
                       &constituent_stocks::chan_attached}};
        for (const auto& s : stores) {
            EXPECT_NEAR(s.got, s.want, 1e-12 * (1.0 + s.want)) << s.store;
            held.*s.member += s.want;
        }
    }
    for (double v : {held.water, held.land, held.soil, held.channel, held.lake, held.ov_attached, held.chan_attached})
        EXPECT_GT(v, 0.0);

    // A species without a soil pool keeps what it infiltrates on its land:
    // NO2 (constituent 2) started in 1 cm of water, which soaked in. The
    // global section holds that land store in its final mass and shows no
    // nutrient loss for it.
    const double no2_land = one.state[1].land;
    EXPECT_GT(no2_land, 0.1);
    EXPECT_NEAR(no2_land, one.run[1].span.infil, 1e-9 * no2_land);
    const std::string no2_global = "Contaminant Transport Global Summary for Nitrite (NO2-) \n";
    const std::string at_run_end = "Global Transport Summaries";
    const size_t globals = summary.find(at_run_end);
    ASSERT_NE(globals, std::string::npos);
    const constituent_stocks& no2 = one.state[1];
    EXPECT_NEAR(block_value(summary, no2_global, "Total final Mass", globals),
                no2.water + no2.land + no2.soil + no2.channel + no2.lake + no2.ov_attached + no2.chan_attached, 0.005);
    EXPECT_EQ(block_value(summary, no2_global, "NSM gain/loss", globals), 0.0);

    // Every section of the last event and of the run closes to 1e-9 of what
    // came in (with the mass made by raising negative masses to 0).
    ASSERT_GE(one.books.size(), 2u * (kConstituents + 10 * 4));
    for (const section_books& b : one.books) EXPECT_NEAR(b.residual, 0.0, 1e-9 * b.in) << b.what;

    // The sections as written: the last event's and the run end's, line by
    // line from the formats and the totals.
    const std::string event = con_lines::event_sections(one.event);
    EXPECT_NE(summary.find(event), std::string::npos) << "expected:\n" << event << "\nsummary:\n" << summary;
    const std::string run = con_lines::run_sections(one.run, true);
    const size_t at = summary.find("Soil Contaminant Transport Summary \n");
    ASSERT_NE(at, std::string::npos) << summary;
    EXPECT_EQ(summary.substr(at, run.size()), run);
    // Both events and the run end: each error line is (in - out) / in x 100
    // of its section's printed terms.
    expect_sections_match_their_terms(summary, 2 * (kConstituents + 10 * 3) + 2 * kConstituents + 10 * 3);

    // Eight threads write the same summary and files, byte for byte.
    const all_run eight = run_fixture(8);
    ASSERT_TRUE(eight.ok);
    EXPECT_EQ(without_timing(one.summary), without_timing(eight.summary));
    for (size_t f = 0; f < one.files.size(); ++f) {
        EXPECT_GT(one.files[f].size(), 0u) << kWritten[f];
        EXPECT_TRUE(one.files[f] == eight.files[f]) << kWritten[f];
    }
}
