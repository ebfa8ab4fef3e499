// Green-Ampt with redistribution and multi-layer Green-Ampt through the
// program: a plane under rain heavier than the soil's conductivity, whose
// summary balance (rain = outlet + surface + soil change) closes for each
// method, whose outputs are the same with 1 and 8 threads, and soil inputs
// that the methods cannot use stop the run naming the map or table.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

#include "fixture.h"
#include "pluvo_test.h"

using namespace pluvo_test;

namespace {

double number_after(const std::string& text, const std::string& label) {
    const size_t pos = text.rfind(label);
    if (pos == std::string::npos) return std::nan("");
    return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

enum class method { redistribution, layered };

// Soil inputs of one method on the plane; `edit` may change a map value.
struct soil_values {
    double ks = 1.0;         // cm/h
    double psi = 11.0;       // cm
    double porosity = 0.45;
    double moisture = 0.15;
    double pore_index = 0.3;
    double residual = 0.05;
    double layer1_porosity = 0.45;   // layered soil, layer 1
};

// Adds the cards and files of `m` to a plane case project.
void add_soil(project_file& p, const temp_dir& dir, const grid_spec& g, method m,
              const soil_values& v = {}) {
    auto map = [&](const char* card, const char* file, double value, int decimals = 3) {
        write_grid(dir.file(file), g, [&](int, int) { return value; }, decimals);
        p.card(card, file);
    };
    if (m == method::redistribution) {
        map("CONDUCTIVITY", "ks.asc", v.ks);
        map("CAPILLARY", "hc.asc", v.psi);
        map("POROSITY", "por.asc", v.porosity);
        map("MOISTURE", "moist.asc", v.moisture);
        map("PORE_INDEX", "pi.asc", v.pore_index);
        map("RESIDUAL_SAT", "thr.asc", v.residual);
        p.card("INF_REDIST");
        return;
    }
    map("SOIL_TYPE_MAP", "soil.asc", 4.0, 0);
    // Per layer: ksat, pore index, capillary head, porosity, field capacity,
    // wilting point, residual, initial content and (layers 1, 2) thickness.
    char text[400];
    std::snprintf(text, sizeof(text),
                  "1\nsoils\n4\n"
                  "1.0 0.3 11.0 %g 0.3 0.1 0.05 0.15 5.0\n"
                  "3.0 0.3 5.0 0.40 0.3 0.1 0.05 0.25 10.0\n"
                  "0.2 0.3 20.0 0.35 0.3 0.1 0.05 0.20\n",
                  v.layer1_porosity);
    write_file(dir.file("layers.txt"), text);
    p.card("SOIL_LAYER_INPUT_FILE", "layers.txt").card("INF_LAYERED_SOIL");
}

const char* name_of(method m) { return m == method::redistribution ? "redistribution" : "layered"; }

}  // namespace

// Rain of 5 cm/h for 40 min on soils of about 1 cm/h: water infiltrates,
// ponds and runs off; every volume moved is booked, so the overall, surface
// and soil balances of the summary close (printed to 1e-8 relative), and
// the soil gained what infiltrated.
TEST(LayeredRedistProgram, SummaryBalanceCloses) {
    for (method m : {method::redistribution, method::layered}) {
        SCOPED_TRACE(name_of(m));
        temp_dir dir;
        plane_case c;
        c.grid.rows = 10;
        c.grid.cols = 5;
        c.rain_mm_h = 50.0;
        c.rain_minutes = 40;
        c.total_minutes = 120;
        c.timestep = 10.0;
        project_file p = write_plane_case(dir.path(), c);
        add_soil(p, dir, c.grid, m);
        p.write(dir.file("plane.prj"));
        run_result r = run_pluvo({"plane.prj"}, dir.path());
        ASSERT_EQ(r.status, 0) << r.out << r.err;

        const std::string s = read_file(dir.file("summ.out"));
        const double area = c.grid.rows * c.grid.cols * c.grid.cell * c.grid.cell;
        const double rain = c.rain_mm_h / 1000.0 * c.rain_minutes / 60.0 * area;
        const double infiltrated = number_after(s, "Total amount of infiltration=");
        const double discharged = number_after(s, "volume of discharge:");
        const double soil_start = number_after(s, "Initial volume in soil over simple soil depth");
        const double soil_end = number_after(s, "Final volume in soil over simple soil depth");
        // Some water soaked in (at least 1 cm/h over the rain), some ran off.
        EXPECT_GT(infiltrated, 0.01 * c.rain_minutes / 60.0 * area);
        EXPECT_GT(discharged, 1.0);
        EXPECT_GT(soil_start, 0.0);
        EXPECT_NEAR(soil_end - soil_start, infiltrated, 0.011) << s;
        const double in = number_after(s, "Mass input + original mass:");
        const double out = number_after(s, "Mass output + final mass:");
        EXPECT_NEAR(in, rain, 1e-9 * rain + 1e-6);
        EXPECT_NEAR(out, in, 1e-9 * in + 1e-6) << s;
        // Percentages printed with six decimals: below 1e-8 relative.
        EXPECT_LT(std::fabs(number_after(s, "Overall mass balance error =")), 1e-6) << s;
        EXPECT_LT(std::fabs(number_after(s, "Mass balance error of surface components =")), 1e-6);
        EXPECT_LT(std::fabs(number_after(s, "Simple soil moisture mass balance =")), 1e-6) << s;
    }
}

TEST(LayeredRedistProgram, OneAndEightThreadsWriteIdenticalFiles) {
    for (method m : {method::redistribution, method::layered}) {
        SCOPED_TRACE(name_of(m));
        std::string outputs[2];
        const int threads[2] = {1, 8};
        for (int k = 0; k < 2; ++k) {
            temp_dir dir;
            plane_case c;
            c.grid.rows = 30;
            c.grid.cols = 70;   // enough cells for the loops to run in parallel
            c.slope = 0.005;
            c.rain_minutes = 10;
            c.total_minutes = 20;
            c.timestep = 10.0;
            c.threads = threads[k];
            project_file p = write_plane_case(dir.path(), c);
            add_soil(p, dir, c.grid, m);
            p.card("SIG_OUTLET_HYDRO", "outlet6.hyd").card("MAP_TYPE", "1");
            p.card("DEPTH", "depth").card("INF_DEPTH", "infdep").card("RATE_OF_INFIL", "infrate");
            p.remove("MAP_FREQ").card("MAP_FREQ", "5").write(dir.file("plane.prj"));
            run_result r = run_pluvo({"plane.prj"}, dir.path());
            ASSERT_EQ(r.status, 0) << r.out << r.err;
            const std::string s = read_file(dir.file("summ.out"));
            outputs[k] = read_file(dir.file("outlet6.hyd")) + "\n--\n" +
                         read_file(dir.file("depth")) + "\n--\n" + read_file(dir.file("infdep")) +
                         "\n--\n" + read_file(dir.file("infrate")) + "\n--\n" +
                         s.substr(s.find("GLOBAL MASS BALANCE"));
            EXPECT_GT(read_file(dir.file("infdep")).size(), 1000u);
        }
        EXPECT_TRUE(outputs[0] == outputs[1]) << "outputs differ between 1 and 8 threads";
    }
}

// Soil inputs the methods cannot use: the run stops with exit status 1 and
// a message naming the map or table the value came from.
TEST(LayeredRedistProgram, UnusableSoilInputsAreRefusedNamingTheirFile) {
    struct bad_case {
        const char* what;
        method m;
        soil_values values;
        const char* message;   // expected in the output
        const char* file;      // named in the same message
    };
    soil_values no_lambda;
    no_lambda.pore_index = 0.0;
    soil_values negative_lambda;
    negative_lambda.pore_index = -0.2;
    soil_values thr_at_phi;
    thr_at_phi.residual = 0.45;
    soil_values thr_above_phi;
    thr_above_phi.residual = 0.5;
    soil_values no_porosity;
    no_porosity.layer1_porosity = 0.0;
    const bad_case cases[] = {
        {"pore index 0", method::redistribution, no_lambda,
         "Error: the pore distribution index of cell 1 (0, from pi.asc)", "pi.asc"},
        {"pore index below 0", method::redistribution, negative_lambda,
         "Error: the pore distribution index of cell 1 (-0.2, from pi.asc)", "pi.asc"},
        {"residual at porosity", method::redistribution, thr_at_phi,
         "Error: the residual water content of cell 1 (0.45, from thr.asc)", "por.asc"},
        {"residual above porosity", method::redistribution, thr_above_phi,
         "Error: the residual water content of cell 1 (0.5, from thr.asc)", "por.asc"},
        {"layer without porosity", method::layered, no_porosity,
         "Error: layer 1 of soil 4 in layers.txt needs a porosity above 0", "layers.txt"},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.what);
        temp_dir dir;
        plane_case pc;
        pc.grid.rows = 3;
        pc.grid.cols = 3;
        pc.total_minutes = 10;
        project_file p = write_plane_case(dir.path(), pc);
        add_soil(p, dir, pc.grid, c.m, c.values);
        p.write(dir.file("plane.prj"));
        run_result r = run_pluvo({"plane.prj"}, dir.path());
        EXPECT_EQ(r.status, 1) << r.out;
        const size_t at = r.out.find(c.message);
        ASSERT_NE(at, std::string::npos) << r.out;
        const std::string line = r.out.substr(at, r.out.find('\n', at) - at);
        EXPECT_NE(line.find(c.file), std::string::npos) << line;
    }
}
