// Reading of the overland point-source file (card OV_POINT_SOURCE) into the
// per-cell point-source rates. The file holds the number of sources on its
// first line, then one line per source: grid row, grid column (from 1) and
// the inflow rate in m3/s (negative: a sink). Sources on the same cell add up.
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "run/run_state.h"
#include "subsurface/point_sources.h"

namespace {

// Reads the file line by line, naming file and line in every refusal.
struct source_reader {
    source_reader(file_object& file, const char* name) : f(file), path(name) {}

    file_object& f;
    const char* path;
    int line_number = 0;
    text_line line;   // the current line, whole

    bool fail(const char* what) {
        std::printf("Error: overland point-source file %s, line %d: %s\n", path, line_number, what);
        set_error(kErrorPrinted);
        return false;
    }

    // The next line with text; false (message printed) at the end of the file.
    bool next_line() {
        while (read_line(line, f)) {
            ++line_number;
            char* p = line.data();
            while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
            if (*p != '\0') return true;
        }
        ++line_number;
        return fail("the file ends before the sources it announces");
    }

    // The next value of the line as a finite number.
    bool number(double& value, const char* what) {
        char token[kTokenSize];
        if (!next_word(line.data(), token)) return fail(what);
        if (parse_real_token(token, value) != number_status::ok) {
            char text[kTokenSize + 64];
            std::snprintf(text, sizeof text, "\"%s\" is not a finite number (%s)", token, what);
            return fail(text);
        }
        return true;
    }

    // The next value of the line as a whole number in [low, high].
    bool whole(int& value, int low, int high, const char* what) {
        double v = 0.0;
        if (!number(v, what)) return false;
        if (v != std::floor(v) || v < low || v > high) {
            char text[160];
            std::snprintf(text, sizeof text, "%s %g is not a whole number from %d to %d", what, v,
                          low, high);
            return fail(text);
        }
        value = static_cast<int>(v);
        return true;
    }
};

constexpr int kMaxSources = 10000000;   // a count beyond this is no point-source list

}  // namespace

void read_overland_point_sources(run_state& rs) {
    if (!rs.ov_point_source) return;
    const char* path = rs.files.ov_point_source;
    file_object f;
    if (!open_file_named(f, path, "r")) {
        std::printf("Error: unable to open the overland point-source file %s (card "
                    "OV_POINT_SOURCE)\n",
                    path);
        set_error(kErrorPrinted);
        return;
    }
    source_reader in(f, path);
    std::vector<double> rate(static_cast<size_t>(rs.GNUM) + 1, 0.0);   // m3/s per cell
    int count = 0;
    bool ok = in.next_line() && in.whole(count, 0, kMaxSources, "number of sources");
    for (int k = 1; ok && k <= count; ++k) {
        int row = 0, col = 0;
        double q = 0.0;
        ok = in.next_line() && in.whole(row, 1, rs.rows, "row") && in.whole(col, 1, rs.cols, "column") &&
             in.number(q, "rate in m3/s");
        if (!ok) break;
        const int cell = rs.mask != nullptr ? rs.mask[row][col] : 0;
        if (cell < 1) {
            ok = in.fail("the cell is not a cell of the watershed");
            break;
        }
        rate[static_cast<size_t>(cell)] += q;
    }
    close_file_object(f);
    if (!ok) return;
    rs.ov_point_source_rate.swap(rate);
}
