// The program reads every input the same with LF and with CR LF line ends: a
// watershed run whose inputs are written with CR LF line ends, one file at a
// time and all at once, gives the same console text and output files as the
// run with LF line ends. The project file keeps its LF header line, which must
// stand alone on its line; its card lines end in CR LF.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "line_project.h"
#include "pluvo_test.h"

using namespace pluvo_test;
using line_project::file_set;

namespace {

// The console text without the lines that give run times.
std::string console_without_times(const std::string& out) {
    std::string kept;
    for (const std::string& line : split_lines(out)) {
        if (line.find("time to init(s)") != std::string::npos) continue;
        if (line.find("Run time:") != std::string::npos) continue;
        kept += line + "\n";
    }
    return kept;
}

struct run_outputs {
    int status = -1;
    std::string console;     // standard output without run times
    std::string errors;      // standard error
    std::string outlet;      // outlet hydrograph
    std::string link_flow;   // channel node discharges
    std::string summary;
};

run_outputs run_on(const file_set& files) {
    temp_dir dir;
    line_project::write_all(dir, files);
    const run_result r = run_pluvo({"p.prj"}, dir.path());
    run_outputs o;
    o.status = r.status;
    o.console = console_without_times(r.out);
    o.errors = r.err;
    o.outlet = read_file(dir.file("outlet.otl"));
    o.link_flow = read_file(dir.file("flow.lnd"));
    o.summary = read_file(dir.file("summ.sum"));
    EXPECT_TRUE(line_project::unchanged(dir, files));
    return o;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Largest discharge of a two-column hydrograph (m3/s).
double peak_of(const std::string& hydrograph) {
    double peak = 0.0;
    for (const std::string& line : split_lines(hydrograph)) {
        double t = 0.0, q = 0.0;
        if (std::sscanf(line.c_str(), "%lf %lf", &t, &q) == 2 && q > peak) peak = q;
    }
    return peak;
}

TEST(LineEndsProgram, EveryInputReadsTheSameWithCrLfAsWithLf) {
    const file_set lf = line_project::watershed_files();
    const run_outputs base = run_on(lf);
    // The LF run read every file: the roughness classes, the channel link and
    // its stream cells, the gage rain; the long comment is one ignored line.
    ASSERT_EQ(base.status, 0) << base.console << base.errors;
    EXPECT_EQ(base.errors, "");
    EXPECT_FALSE(has(base.console, "unknown card")) << base.console.substr(0, 2000);
    EXPECT_FALSE(has(base.console, "Warning")) << base.console;
    EXPECT_TRUE(has(base.console, "In map land.idx category 2 has 2 values\n"));
    EXPECT_TRUE(has(base.console, "number of trapezoidal links:           1\n"));
    EXPECT_TRUE(has(base.console, "Finished reading non-orthogonal channel information"));
    EXPECT_TRUE(has(base.console, "reading precip data from file: rain.gag\n"));
    EXPECT_GT(peak_of(base.outlet), 0.05);
    EXPECT_EQ(count_of(base.link_flow, "\nTS "), 19);

    using edit = std::function<void(file_set&)>;
    auto crlf = [](const std::string& name, int keep = 0) -> edit {
        return [name, keep](file_set& f) { f[name] = line_project::with_crlf(f[name], keep); };
    };
    struct line_end_case {
        const char* what;
        edit change;
    };
    const line_end_case cases[] = {
        {"project card lines", crlf("p.prj", 1)},
        {"mask map", crlf("mask.asc")},
        {"elevation map", crlf("elev.asc")},
        {"elevation row ending in a blank, CR LF",
         [](file_set& f) {
             std::string& text = f["elev.asc"];
             text.insert(text.size() - 1, " ");   // the row ends "100.0 \n"
             text = line_project::with_crlf(text);
         }},
        {"index map", crlf("land.idx")},
        {"mapping table", crlf("table.cmt")},
        {"precipitation file", crlf("rain.gag")},
        {"channel file", crlf("chan.chn")},
        {"grid-stream file", crlf("chan.gst")},
        {"every file",
         [](file_set& f) {
             for (auto& [name, text] : f) text = line_project::with_crlf(text, name == "p.prj");
         }},
    };
    for (const line_end_case& c : cases) {
        file_set files = lf;
        c.change(files);
        ASSERT_NE(files, lf) << c.what;
        const run_outputs o = run_on(files);
        EXPECT_EQ(o.status, 0) << c.what << "\n" << o.console << o.errors;
        EXPECT_EQ(o.errors, base.errors) << c.what;
        EXPECT_EQ(o.console, base.console) << c.what;
        EXPECT_EQ(o.outlet, base.outlet) << c.what;
        EXPECT_EQ(o.link_flow, base.link_flow) << c.what;
        EXPECT_EQ(o.summary, base.summary) << c.what;
    }
}

}  // namespace
