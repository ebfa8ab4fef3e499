// Bad lines end the run cleanly: exit status 1 before the simulation starts,
// a message naming the file and its line (or map row), and every input file
// left as it was. Among them: project headers spoilt by CR LF line ends or a
// byte-order mark, a grid-stream file without its header word, and bad
// values placed beyond 30,000 characters of a line, where a reader that split
// long lines would read something else.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "line_project.h"
#include "pluvo_test.h"

using namespace pluvo_test;
using line_project::file_set;

namespace {

const std::string kBlanks(30000, ' ');

// `text` with the first `from` (which must be there) replaced by `to`.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(BadLinesProgram, RefusedWithAMessageNamingTheFileAndLine) {
    using edit = std::function<void(file_set&)>;
    struct bad_case {
        const char* what;
        edit change;
        std::vector<std::string> messages;   // each must appear in the output
    };
    const bad_case cases[] = {
        {"project file with CR LF line ends",
         [](file_set& f) { f["p.prj"] = line_project::with_crlf(f["p.prj"]); },
         {"Error: project file p.prj, line 1: the header line ends in a carriage return"}},
        {"project file with a byte-order mark",
         [](file_set& f) { f["p.prj"] = "\xEF\xBB\xBF" + f["p.prj"]; },
         {"Error: project file p.prj, line 1: the file begins with a UTF-8 byte-order mark"}},
        {"project file with a byte-order mark and CR LF line ends",
         [](file_set& f) { f["p.prj"] = "\xEF\xBB\xBF" + line_project::with_crlf(f["p.prj"]); },
         {"p.prj, line 1: the file begins with a UTF-8 byte-order mark",
          "p.prj, line 1: the header line ends in a carriage return"}},
        {"empty project file", [](file_set& f) { f["p.prj"] = ""; },
         {"Error: project file p.prj, line 1: the file is empty"}},
        {"grid-stream file without its header word",
         [](file_set& f) { f["chan.gst"] = replaced(f["chan.gst"], "GRIDSTREAMFILE\n", ""); },
         {"Error in the grid-stream file chan.gst, line 1:\n  the file must begin with the word "
          "GRIDSTREAMFILE (its first word is \"STREAMCELLS\")"}},
        {"grid-stream file with CR LF line ends, without its header word",
         [](file_set& f) {
             f["chan.gst"] =
                 line_project::with_crlf(replaced(f["chan.gst"], "GRIDSTREAMFILE\n", ""));
         },
         {"Error in the grid-stream file chan.gst, line 1:\n  the file must begin with the word "
          "GRIDSTREAMFILE (its first word is \"STREAMCELLS\")"}},
        {"grid-stream link beyond the network after 30,000 blanks",
         [](file_set& f) {
             f["chan.gst"] =
                 replaced(f["chan.gst"], "LINKNODE 1 3 1.0", "LINKNODE" + kBlanks + "7 3 1.0");
         },
         {"Error in the grid-stream file chan.gst, line 12:\n  LINKNODE link 7 is outside the "
          "links 1..1"}},
        {"map value that is no number after 30,000 blanks",
         [](file_set& f) {
             f["elev.asc"] = replaced(f["elev.asc"], "100.6 100.3", "100.6" + kBlanks + "x 100.3");
         },
         {"Error: map elev.asc, line 7, row 1, column 3: the elevation \"x\" is not a number."}},
        {"map row with a fifth value after 30,000 blanks, CR LF",
         [](file_set& f) {
             f["elev.asc"] = line_project::with_crlf(
                 replaced(f["elev.asc"], "100.0\n", "100.0" + kBlanks + "99.0\n"));
         },
         {"Error: map elev.asc, line 7, row 1: the row holds more than 4 values (\"99.0\" follows "
          "the last column)."}},
        {"mapping table value that is no number after 30,000 blanks",
         [](file_set& f) {
             f["table.cmt"] = replaced(f["table.cmt"], "0.0800", kBlanks + "0.08x");
         },
         {"Error: mapping table table.cmt, line 8: a row of the ROUGHNESS table must hold"}},
        {"channel node count after 30,000 blanks",
         [](file_set& f) {
             f["chan.chn"] = replaced(f["chan.chn"], "NODES 5", "NODES" + kBlanks + "6");
         },
         {"Error in the channel input file chan.chn, line 10 (NODES card):\n  link 1 has NODES 6"}},
    };
    for (const bad_case& c : cases) {
        file_set files = line_project::watershed_files();
        c.change(files);
        temp_dir dir;
        line_project::write_all(dir, files);
        const run_result r = run_pluvo({"p.prj"}, dir.path());
        const std::string all = r.out + r.err;
        const std::string tail = all.substr(all.size() > 3000 ? all.size() - 3000 : 0);
        EXPECT_EQ(r.status, 1) << c.what << "\n" << tail;
        for (const std::string& m : c.messages) {
            EXPECT_NE(all.find(m), std::string::npos) << c.what << ": " << m << "\n---\n" << tail;
        }
        EXPECT_EQ(r.out.find("Running...."), std::string::npos) << c.what;
        EXPECT_EQ(all.find("Sanitizer"), std::string::npos) << c.what;
        EXPECT_TRUE(line_project::unchanged(dir, files)) << c.what;
    }
}

}  // namespace
