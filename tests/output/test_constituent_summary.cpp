// Constituent sections of the event and run-end summaries on a hand-made
// state: every line against the section formats and the booked totals, the
// balances' terms as a table of processes, the final masses summed once from
// the stores, writing that never changes a total, and the nutrient lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "constituent_summary_lines.h"
#include "output/constituent_summary.h"
#include "output_test_support.h"
#include "pluvo_test.h"
#include "quality/constituent_setup.h"
#include "quality/nutrients.h"
#include "summary_test_support.h"

using output_test::run_state_owner;
using pluvo_test::read_file;
using pluvo_test::temp_dir;

namespace {

// The run totals that the transport steps book, in the order the tests fill them.
std::vector<std::vector<double>*> booked_rows(constituent_totals& t) {
    return {&t.precip,       &t.infil,          &t.ov_decay,       &t.uptake,        &t.ov_out,
            &t.bc_out,       &t.qlat,           &t.ov_neg,         &t.chan_out,      &t.chan_decay,
            &t.chan_clip,    &t.soil_decay,     &t.ov_point,       &t.ov_exfil,      &t.soil_seep_down,
            &t.soil_seep_up, &t.ov_to_lake,     &t.chan_point,     &t.chan_gw,       &t.lake_precip,
            &t.lake_point,   &t.lake_gw,        &t.lake_decay,     &t.chan_to_lake,  &t.lake_to_chan,
            &t.lake_chan_exchange, &t.ov_nsm_gain, &t.ov_nsm_loss, &t.chan_nsm_gain, &t.chan_nsm_loss,
            &t.lake_nsm_gain, &t.lake_nsm_loss, &t.soil_nsm_uptake};
}

// Two contaminants on the 2 x 3 grid over a soil layer, with a channel link
// of 3 nodes, a channel-network lake and a structure link; every process of
// the sections on. All amounts are multiples of 1/64 kg (stores of 125 g), so
// that event amounts (run total less its event-start value) are exact.
struct sections_case {
    temp_dir dir;
    run_state_owner owner;
    run_state& rs = *owner;
    static constexpr int kN = 2;

    sections_case() {
        output_test::set_small_grid(rs);
        output_test::set_small_network(rs);
        rs.num_constituents = kN;
        rs.constituent_type.assign(kN + 1, 1);
        rs.contamdescriptions = {"", "Tracer", "Salt"};
        alloc_constituent_arrays(rs, kN);
        rs.overland_constituents = rs.ov_con_trans = 1;
        rs.contaminant_table_option = rs.mapping_table_given = 1;
        rs.soil_con_trans = 1;
        rs.water_table_on = 1;
        rs.chan_explic = 1;
        rs.chan_con_trans = rs.global_con_summary = 1;
        rs.stream_exchange = 1;
        rs.mlake_given = 1;
        rs.chan_decay_coef = 2.0;
        constituent_channel& cc = rs.con_chan;
        cc.stride = rs.maxnodes + 1;
        cc.slots = cc.stride * (rs.links + 1);
        for (con_rows* r : {&cc.mass, &cc.qlat_mass, &cc.conc})
            r->assign(kN + 1, std::vector<double>(static_cast<size_t>(cc.slots), 0.0));
        // One lake of the channel network.
        constituent_lakes& cl = rs.con_lake;
        cl.lakes = cl.channel = 1;
        for (con_rows* r : {&cl.mass, &cl.conc}) r->assign(kN + 1, std::vector<double>(2, 0.0));
        for (int i = 1; i <= kN; ++i) {
            for (int j = 1; j <= rs.GNUM; ++j) {
                rs.con.mass[i][j] = 125.0 * (i + j);
                rs.con.layer_mass[i][j] = 1000.0 * (3 * i + j);
                rs.con.pend_soil_in[i][j] = 125.0 * j;
                rs.con.pend_soil_exchange[i][j] = 250.0 * i;
            }
            for (int j = 1; j <= 3; ++j) {
                cc.mass[i][static_cast<size_t>(cc.stride + j)] = 500.0 * (i + j);
                cc.qlat_mass[i][static_cast<size_t>(cc.stride + j)] = 125.0 * i;
            }
            // Node masses of the lake and structure links are not channel mass.
            cc.mass[i][static_cast<size_t>(2 * cc.stride + 1)] = 1e6;
            cc.mass[i][static_cast<size_t>(3 * cc.stride + 1)] = 1e6;
            cl.mass[i][1] = 4000.0 * i;
            cl.conc[i][1] = 1.25 * i;
            constituent_totals& t = rs.con_tot;
            t.ov_init[i] = 2.5 * i;
            t.land_init[i] = 40.0 + i;
            t.chan_init[i] = 1.5 * i;
            t.lake_init[i] = 3.25 * i;
            std::vector<std::vector<double>*> rows = booked_rows(t);
            for (size_t k = 0; k < rows.size(); ++k) (*rows[k])[i] = (k + 1) * 0.625 + i * 0.25;
            t.uptake[i] = i == 1 ? 1.5 : -2.25;   // given by the surface for one, taken for the other
            t.chan_gw[i] = i == 1 ? 0.75 : -0.5;
        }
        // Books of the event start: half of every total, and stocks of their own.
        rs.con_event_start = rs.con_tot;
        for (std::vector<double>* r : booked_rows(rs.con_event_start))
            for (double& v : *r) v *= 0.5;
        rs.con_stocks_start.assign(kN + 1, constituent_stocks{});
        for (int i = 1; i <= kN; ++i) {
            constituent_stocks& s = rs.con_stocks_start[i];
            s.water = 1.5 * i;
            s.soil = 30.0 + i;
            s.channel = 0.75 * i;
            s.lake = 2.0 * i;
        }
    }

    std::string write(void (*writer)(run_state&)) {
        output_test::open_on(rs.summary_file, dir.file("summary"));
        writer(rs);
        close_file_object(rs.summary_file);
        return read_file(dir.file("summary"));
    }

    // Stocks summed here from the stores, kg.
    constituent_stocks stocks(int i) const {
        constituent_stocks s;
        for (int j = 1; j <= rs.GNUM; ++j) {
            s.water += rs.con.mass[i][j] / 1000.0;
            s.soil += (rs.con.layer_mass[i][j] + rs.con.pend_soil_in[i][j] - rs.con.pend_soil_exchange[i][j]) / 1000.0;
        }
        const constituent_channel& cc = rs.con_chan;
        for (int j = 1; j <= 3; ++j)
            s.channel += (cc.mass[i][static_cast<size_t>(cc.stride + j)] + cc.qlat_mass[i][static_cast<size_t>(cc.stride + j)]) / 1000.0;
        s.lake = rs.con_lake.mass[i][1] / 1000.0;
        return s;
    }

    // Constituent i as the expected sections see it; `event` takes the
    // amounts since the event-start books.
    con_lines::constituent expected(int i, bool event) {
        con_lines::constituent c;
        c.name = rs.contamdescriptions[i];
        c.flags = constituent_summary_flags(rs, i);
        constituent_totals& t = rs.con_tot;
        constituent_totals& b = rs.con_event_start;
        auto amount = [&](std::vector<double> constituent_totals::*m) {
            return (t.*m)[i] - (event ? (b.*m)[i] : 0.0);
        };
        con_span& s = c.span;
        if (event) {
            s.start = rs.con_stocks_start[i];
        } else {
            s.start.water = t.ov_init[i];
            s.start.soil = t.land_init[i];
            s.start.channel = t.chan_init[i];
            s.start.lake = t.lake_init[i];
        }
        s.end = stocks(i);
        s.precip = amount(&constituent_totals::precip);
        s.infil = amount(&constituent_totals::infil);
        s.ov_decay = amount(&constituent_totals::ov_decay);
        s.uptake = amount(&constituent_totals::uptake);
        s.ov_out = amount(&constituent_totals::ov_out) + amount(&constituent_totals::bc_out);
        s.qlat = amount(&constituent_totals::qlat);
        s.ov_neg = amount(&constituent_totals::ov_neg);
        s.chan_out = amount(&constituent_totals::chan_out);
        s.chan_decay = amount(&constituent_totals::chan_decay);
        s.soil_decay = amount(&constituent_totals::soil_decay);
        s.ov_point = amount(&constituent_totals::ov_point);
        s.ov_exfil = s.exfil_related = amount(&constituent_totals::ov_exfil);
        s.soil_seep_down = amount(&constituent_totals::soil_seep_down);
        s.soil_seep_up = amount(&constituent_totals::soil_seep_up);
        s.ov_to_lake = amount(&constituent_totals::ov_to_lake);
        s.chan_point = amount(&constituent_totals::chan_point);
        s.chan_gw = amount(&constituent_totals::chan_gw);
        s.lake_precip = amount(&constituent_totals::lake_precip);
        s.lake_point = amount(&constituent_totals::lake_point);
        s.lake_gw = amount(&constituent_totals::lake_gw);
        s.lake_decay = amount(&constituent_totals::lake_decay);
        s.chan_to_lake = amount(&constituent_totals::chan_to_lake);
        s.lake_to_chan = amount(&constituent_totals::lake_to_chan);
        s.lake_chan_exchange = amount(&constituent_totals::lake_chan_exchange);
        c.lake_mass = rs.con_lake.mass[i];
        c.lake_conc = rs.con_lake.conc[i];
        return c;
    }
};

void expect_same_lines(const std::string& got, const std::string& want) {
    const std::vector<std::string> g = pluvo_test::split_lines(got), w = pluvo_test::split_lines(want);
    for (size_t k = 0; k < std::min(g.size(), w.size()); ++k) ASSERT_EQ(g[k], w[k]) << "line " << k + 1;
    EXPECT_EQ(g.size(), w.size());
    EXPECT_EQ(got, want);
}

}  // namespace

// Reference: each section's lines from its formats with the event amounts
// (totals less the event-start books), the stocks summed from the stores,
// and each error line (in - out) / in x 100 of the section's terms.
TEST(ConstituentSummary, EventSectionsFollowTheFormatsAndTheEventTotals) {
    sections_case c;
    const std::string got = c.write(write_event_constituent_sections);
    expect_same_lines(got, con_lines::event_sections({c.expected(1, true), c.expected(2, true)}));
    EXPECT_FALSE(summary_test::has_non_finite_field(got));
}

TEST(ConstituentSummary, RunSectionsFollowTheFormatsAndTheRunTotals) {
    sections_case c;
    const std::string got = c.write(write_run_constituent_sections);
    expect_same_lines(got, con_lines::run_sections({c.expected(1, false), c.expected(2, false)}, true));
}

// Writing a summary forms the final masses from zero each time and changes
// no total: two run-end summaries in a row (after an event report) are the
// same text, and every booked total and store is as it was.
TEST(ConstituentSummary, WritingChangesNoTotalAndFinalMassesAreFormedOnce) {
    sections_case c;
    const constituent_totals before = c.rs.con_tot;
    const con_rows water = c.rs.con.mass, channel = c.rs.con_chan.mass;
    c.write(write_event_constituent_sections);
    const std::string first = c.write(write_run_constituent_sections);
    const std::string second = c.write(write_run_constituent_sections);
    EXPECT_EQ(first, second);
    constituent_totals after = c.rs.con_tot;
    constituent_totals copy = before;
    const std::vector<std::vector<double>*> a = booked_rows(after), b = booked_rows(copy);
    for (size_t k = 0; k < a.size(); ++k) EXPECT_EQ(*a[k], *b[k]) << "total " << k;
    EXPECT_EQ(c.rs.con.mass, water);
    EXPECT_EQ(c.rs.con_chan.mass, channel);
    for (int i = 1; i <= sections_case::kN; ++i) {
        const constituent_stocks s = constituent_stocks_now(c.rs, i), w = c.stocks(i);
        EXPECT_DOUBLE_EQ(s.water, w.water);
        EXPECT_DOUBLE_EQ(s.soil, w.soil);
        EXPECT_DOUBLE_EQ(s.channel, w.channel);
        EXPECT_DOUBLE_EQ(s.lake, w.lake);
    }
}

// The stores and totals that the lake, sorbed-sediment and soil-column steps
// keep under their own names become the sections' stocks and terms: the
// deeper layers of a column add to the soil; a channel-network lake is a
// store of its own while an overland lake is overland water (its initial
// mass and decay the overland's); deposits less erosion go to the soil, the
// sorbed mass handed to the nodes is the attached lateral flow, the
// column's bottom outflow is seepage down. Event amounts are the run totals less the event-start books.
TEST(ConstituentSummary, OtherStepsStoresAndTotalsAreTheSectionsTerms) {
    for (const bool channel_lake : {true, false}) {
        SCOPED_TRACE(channel_lake ? "channel-network lake" : "overland lake");
        sections_case c;
        run_state& rs = c.rs;
        rs.con_lake.channel = channel_lake ? 1 : 0;
        constituent_cells& cells = rs.con;
        cells.soil_layers = 3;
        for (int k = 2; k <= 3; ++k)
            cells.deep_mass[k].assign(sections_case::kN + 1, std::vector<double>(rs.GNUM + 1, 0.0));
        constituent_totals& t = rs.con_tot;
        for (int i = 1; i <= sections_case::kN; ++i) {
            for (int j = 1; j <= rs.GNUM; ++j) {
                cells.deep_mass[2][i][j] = 250.0 * j;
                cells.deep_mass[3][i][j] = 500.0 * i;
            }
            t.sed_to_soil[i] = 3.0 * i;
            t.sed_from_soil[i] = 1.0;
            t.sed_to_chan[i] = 0.5 * i;
            t.soil_out[i] = 0.75 * i;
        }
        // Half of each at the event start.
        for (std::vector<double>* r : {&rs.con_event_start.sed_to_soil, &rs.con_event_start.sed_from_soil,
                                       &rs.con_event_start.sed_to_chan, &rs.con_event_start.soil_out}) {
            r->assign(sections_case::kN + 1, 0.0);
        }
        for (int i = 1; i <= sections_case::kN; ++i) {
            rs.con_event_start.sed_to_soil[i] = 1.5 * i;
            rs.con_event_start.sed_from_soil[i] = 0.5;
            rs.con_event_start.sed_to_chan[i] = 0.25 * i;
            rs.con_event_start.soil_out[i] = 0.375 * i;
        }
        for (int i = 1; i <= sections_case::kN; ++i) {
            SCOPED_TRACE("constituent " + std::to_string(i));
            constituent_stocks w = c.stocks(i);
            double deep = 0.0;   // kg
            for (int j = 1; j <= rs.GNUM; ++j) deep += (250.0 * j + 500.0 * i) / 1000.0;
            w.soil += deep;
            if (!channel_lake) {
                w.water += w.lake;
                w.lake = 0.0;
            }
            const constituent_stocks s = constituent_stocks_now(rs, i);
            EXPECT_DOUBLE_EQ(s.water, w.water);
            EXPECT_DOUBLE_EQ(s.soil, w.soil);
            EXPECT_DOUBLE_EQ(s.lake, w.lake);
            const con_span run = constituent_run_span(rs, i), event = constituent_event_span(rs, i);
            EXPECT_DOUBLE_EQ(run.start.water, t.ov_init[i] + (channel_lake ? 0.0 : t.lake_init[i]));
            EXPECT_DOUBLE_EQ(run.start.lake, channel_lake ? t.lake_init[i] : 0.0);
            EXPECT_DOUBLE_EQ(run.ov_decay, t.ov_decay[i] + (channel_lake ? 0.0 : t.lake_decay[i]));
            EXPECT_DOUBLE_EQ(run.lake_decay, channel_lake ? t.lake_decay[i] : 0.0);
            const struct {
                const char* term;
                double run, event;     // got
                double booked_run;     // the same-named total of the run, kg
                double booked_event;   // its event amount, kg
                double want_run, want_event;
            } terms[] = {
                {"soil_sediment", run.soil_sediment, event.soil_sediment, t.soil_sediment[i],
                 t.soil_sediment[i] - rs.con_event_start.soil_sediment[i], 3.0 * i - 1.0, 1.5 * i - 0.5},
                {"chan_attached_qlat", run.chan_attached_qlat, event.chan_attached_qlat, t.chan_attached_qlat[i],
                 t.chan_attached_qlat[i] - rs.con_event_start.chan_attached_qlat[i], 0.5 * i, 0.25 * i},
                {"soil_seep_down", run.soil_seep_down, event.soil_seep_down, t.soil_seep_down[i],
                 t.soil_seep_down[i] - rs.con_event_start.soil_seep_down[i], 0.75 * i, 0.375 * i},
            };
            for (const auto& e : terms) {
                EXPECT_DOUBLE_EQ(e.run, e.booked_run + e.want_run) << e.term;
                EXPECT_DOUBLE_EQ(e.event, e.booked_event + e.want_event) << e.term;
            }
        }
    }
}

// The balances' terms, one process at a time, on amounts that are distinct
// powers of two so that each term shows in the sums.
TEST(ConstituentSummary, BalanceTermsFollowTheProcesses) {
    con_span s;
    s.start = {1, 2, 4, 8, 16};
    s.end = {32, 64, 128, 256, 512};
    s.infil = 1024;
    s.exfil_related = 2048;
    s.ov_exfil = 4096;
    s.lake_point = 8192;
    s.uptake = -16384;
    s.ov_point = 32768;
    s.chan_nsm_gain = 65536;
    s.chan_nsm_loss = 131072;
    s.lake_nsm_gain = 262144;
    s.precip = 524288;
    struct term_case {
        const char* what;
        con_balance (*balance)(const con_span&, const con_summary_flags&);
        void (*set)(con_summary_flags&);
        double in, out;
    };
    using F = con_summary_flags;
    const term_case cases[] = {
        {"soil, no water table",
         [](const con_span& x, const F& f) { return soil_constituent_balance(x, f, 0.0); },
         [](F&) {}, 4 + 1024, 128},
        {"soil counts a contaminant's exfiltration under a water table",
         [](const con_span& x, const F& f) { return soil_constituent_balance(x, f, 0.0); },
         [](F& f) { f.water_table = true; }, 4 + 1024, 128 + 2048},
        {"soil takes what the water gave it as a gain",
         [](const con_span& x, const F& f) { return soil_constituent_balance(x, f, 0.0); },
         [](F& f) { f.table = true; }, 4 + 1024 + 16384, 128},
        {"overland: the surface took mass (uptake out)",
         [](const con_span& x, const F& f) { return overland_constituent_balance(x, f, 0.0); },
         [](F& f) { f.channel_routing = true; }, 1 + 32768 + 524288, 1024 + 32 + 16384},
        {"overland exfiltration under a water table",
         [](const con_span& x, const F& f) { return overland_constituent_balance(x, f, 0.0); },
         [](F& f) {
             f.channel_routing = true;
             f.water_table = true;
         },
         1 + 32768 + 524288 + 4096, 1024 + 32 + 16384},
        {"overland with soil layers and no exchange leaves the uptake out",
         [](const con_span& x, const F& f) { return overland_constituent_balance(x, f, 0.0); },
         [](F& f) {
             f.channel_routing = true;
             f.soil = true;
         },
         1 + 32768 + 524288, 1024 + 32},
        {"lake counts its point source",
         [](const con_span& x, const F& f) { return lake_constituent_balance(x, f); },
         [](F& f) { f.lakes = true; }, 16 + 8192, 512},
        {"channel counts the nutrient kinetics",
         [](const con_span& x, const F& f) { return channel_constituent_balance(x, f, 0.0); },
         [](F& f) { f.type = 2; }, 8 + 65536, 256 + 131072},
        {"a soil pool has no overland balance",
         [](const con_span& x, const F& f) { return overland_constituent_balance(x, f, 0.0); },
         [](F& f) { f.type = 3; }, 0, 0},
    };
    for (const term_case& t : cases) {
        SCOPED_TRACE(t.what);
        F f;
        t.set(f);
        const con_balance b = t.balance(s, f);
        EXPECT_EQ(b.in, t.in);
        EXPECT_EQ(b.out, t.out);
        EXPECT_DOUBLE_EQ(b.error, t.in > 0 ? (t.in - t.out) / t.in * 100.0 : 0.0);
    }
    // Empty or small inflows give 0, never a quotient: the channel's test is
    // in > 0, the soil's at run end in > 1e-6.
    con_span none;
    EXPECT_EQ(channel_constituent_balance(none, F(), 0.0).error, 0.0);
    none.infil = 1e-7;
    EXPECT_EQ(soil_constituent_balance(none, F(), 1e-6).error, 0.0);
    EXPECT_EQ(soil_constituent_balance(none, F(), 1e-16).error, 100.0);
}

// Nutrients after a contaminant: the nine species and four soil pools get
// their display names; a soil pool (type 3) gets a soil block only; the dm/dt
// totals are the gains and losses the steps booked; each species' global
// "NSM gain/loss" is its own net, not carried over from the species before.
TEST(ConstituentSummary, NutrientLinesShowTheBookedKinetics) {
    sections_case c;
    run_state& rs = c.rs;
    const int n = 4;   // a contaminant, two species, a soil pool
    rs.num_constituents = n;
    alloc_constituent_arrays(rs, n);
    rs.constituent_type = {0, 1, 2, 2, 3};
    rs.contamdescriptions = {"", "Tracer", "", "", ""};
    rs.nsm_on = 1;
    rs.con_chan.mass.assign(n + 1, std::vector<double>(static_cast<size_t>(rs.con_chan.slots), 0.0));
    rs.con_chan.qlat_mass = rs.con_chan.mass;
    rs.con_lake.lakes = rs.con_lake.channel = 1;
    rs.con_lake.mass.assign(n + 1, std::vector<double>(2, 0.0));
    rs.con_lake.conc = rs.con_lake.mass;
    rs.con_event_start = rs.con_tot;
    rs.con_stocks_start.assign(n + 1, constituent_stocks{});
    constituent_totals& t = rs.con_tot;
    t.ov_nsm_gain[2] = 1.5;
    t.ov_nsm_loss[2] = 0.25;
    t.chan_nsm_gain[2] = 0.5;
    t.ov_nsm_gain[3] = 4.0;
    t.chan_nsm_loss[3] = 1.0;
    t.lake_nsm_gain[3] = 0.125;
    const std::string event = c.write(write_event_constituent_sections);
    EXPECT_EQ(pluvo_test::count_of(event, "Soil Contaminant Transport Summary for"), 4);
    EXPECT_EQ(pluvo_test::count_of(event, "Overland Contaminant Transport Summary for"), 3);
    EXPECT_EQ(pluvo_test::count_of(event, "Channel Contaminant Transport Summary for"), 3);
    EXPECT_NE(event.find("Overland Contaminant Transport Summary for Nitrite (NO2-) \n"), std::string::npos);
    EXPECT_NE(event.find("Overland Contaminant Transport Summary for Nitrate (NO3-) \n"), std::string::npos);
    EXPECT_NE(event.find("Soil Contaminant Transport Summary for Ammonium (NH4+) \n"), std::string::npos);
    EXPECT_NE(event.find(con_lines::budget("Gained from NSM kinetics", 1.5, 4)), std::string::npos);
    EXPECT_NE(event.find(con_lines::budget("Mass lost in NSM kinetics", 1.0, 4)), std::string::npos);

    const std::string run = c.write(write_run_constituent_sections);
    // Each species' own net: 1.5 - 0.25 + 0.5, and 4 - 1 + 0.125 (not the running sum 4.875).
    const std::string net2 = "NSM gain/loss                 " + con_lines::fixed("%14.2f \n", 1.75);
    const std::string net3 = "NSM gain/loss                 " + con_lines::fixed("%14.2f \n", 3.125);
    EXPECT_NE(run.find(net2), std::string::npos) << run;
    EXPECT_NE(run.find(net3, run.find(net2)), std::string::npos) << run;
    EXPECT_EQ(pluvo_test::count_of(run, "NSM gain/loss"), 2);
    EXPECT_NE(run.find("NSM dm/dt Summary\n" + con_lines::fixed("  Total dm/dt in:  %14.4f\n", 1.5 + 0.5 + 4.0 + 0.125) +
                       con_lines::fixed("  Total dm/dt out: %14.4f\n\n", 0.25 + 1.0)),
              std::string::npos)
        << run;
}

// Nutrients with soil pools: NO2 (constituent 1 here, beside carbon pool 0)
// has no pool, so what it infiltrates stays in its cells' land store, and
// NO3 (constituent 2) hands its infiltration to pool 3 (constituent 4). The
// land store (with what is on its way there) is NO2's final land mass; its
// overland, soil and global sections close; its global section holds the
// land store in the final mass and shows no nutrient loss, while NO3's shows
// the hand-over to the pool as a loss.
TEST(ConstituentSummary, SpeciesWithoutAPoolKeepTheirInfiltrationOnTheLand) {
    sections_case c;
    run_state& rs = c.rs;
    nsm_model nutrients;
    rs.nsm = &nutrients;
    rs.nsm_on = 1;
    rs.contaminant_table_option = 0;
    alloc_constituent_arrays(rs, 0);
    const int n = rs.num_constituents;
    ASSERT_EQ(n, 13);
    ASSERT_EQ(rs.first_nsm_constituent, 1);
    rs.con_chan.mass.assign(n + 1, std::vector<double>(static_cast<size_t>(rs.con_chan.slots), 0.0));
    rs.con_chan.qlat_mass = rs.con_chan.mass;
    rs.con_lake.mass.assign(n + 1, std::vector<double>(2, 0.0));
    rs.con_lake.conc = rs.con_lake.mass;
    constituent_totals& t = rs.con_tot;
    // 625 g per cell of each species' initial water soaked in; NO2's lies on
    // the land (500 g) or waits to get there (125 g); NO3's reached pool 3.
    for (int j = 1; j <= rs.GNUM; ++j) {
        rs.con.land[1][j] = 500.0;
        rs.con.pend_soil_in[1][j] = 125.0;
        rs.con.layer_mass[4][j] = 625.0;
    }
    const double soaked = 0.625 * rs.GNUM;   // kg
    for (int i : {1, 2}) {
        t.ov_init[i] = soaked;
        t.infil[i] = soaked;
    }
    const std::string run = c.write(write_run_constituent_sections);
    for (int i : {1, 2}) {
        SCOPED_TRACE("constituent " + std::to_string(i));
        const con_summary_flags f = constituent_summary_flags(rs, i);
        const con_span s = constituent_run_span(rs, i);
        EXPECT_DOUBLE_EQ(s.end.land, i == 1 ? soaked : 0.0);
        EXPECT_DOUBLE_EQ(s.end.soil, 0.0);
        double gone = 0.0;
        for (const con_balance& b : {overland_constituent_balance(s, f, 0.0), soil_constituent_balance(s, f, 0.0),
                                     global_constituent_balance(s, f, gone)})
            EXPECT_NEAR(b.in - b.out, 0.0, 1e-12);
        EXPECT_EQ(gone, 0.0);
    }
    const size_t no2 = run.find("Contaminant Transport Global Summary for Nitrite (NO2-) \n");
    const size_t no3 = run.find("Contaminant Transport Global Summary for Nitrate (NO3-) \n");
    ASSERT_NE(no2, std::string::npos) << run;
    ASSERT_NE(no3, std::string::npos) << run;
    const std::string final_mass = "Total final Mass              ";
    const std::string nsm = "NSM gain/loss                 ";
    EXPECT_EQ(run.find(final_mass + con_lines::fixed("%14.2f \n", soaked), no2), run.find(final_mass, no2));
    EXPECT_EQ(run.find(nsm + con_lines::fixed("%14.2f \n", 0.0), no2), run.find(nsm, no2));
    EXPECT_EQ(run.find(final_mass + con_lines::fixed("%14.2f \n", 0.0), no3), run.find(final_mass, no3));
    EXPECT_EQ(run.find(nsm + con_lines::fixed("%14.2f \n", -soaked), no3), run.find(nsm, no3));
}
