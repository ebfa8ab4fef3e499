// Reading of the overland point-source file (card OV_POINT_SOURCE) into the
// per-cell point-source rates. The file holds the number of sources on its
// first line, then one line per source: grid row, grid column (from 1) and
// the inflow rate in m3/s (negative: a sink), then, while overland
// constituents are carried, the concentration (g/m3) of each constituent of
// the run in the water a source brings (a sink may leave them out: it takes
// the cell's). Sources on the same cell add up, their concentrations
// weighted by their inflows.
#include <algorithm>
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

    // The next value of the line as a finite number in `range`.
    bool number(double& value, const char* what, const number_range& range = kAnyNumber) {
        char token[kTokenSize];
        if (!next_word(line.data(), token)) return fail(what);
        if (parse_real_token(token, value) != number_status::ok) {
            char text[kTokenSize + 64];
            std::snprintf(text, sizeof text, "\"%s\" is not a finite number (%s)", token, what);
            return fail(text);
        }
        return within(value, what, range);
    }

    // True when `value` lies in `range`; the message otherwise.
    bool within(double value, const char* what, const number_range& range) {
        if (in_range(value, range)) return true;
        char rule[160];
        char text[400];
        describe_range(range, rule, sizeof rule);
        std::snprintf(text, sizeof text, "the %s %g is outside its range: it must be %s", what,
                      value, rule);
        return fail(text);
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
    const int values = rs.overland_constituents ? std::max(rs.num_constituents, 0) : 0;
    std::vector<double> inflow(static_cast<size_t>(rs.GNUM) + 1, 0.0);   // m3/s of the inflowing sources
    std::vector<std::vector<double>> conc(static_cast<size_t>(values) + 1,
                                          std::vector<double>(static_cast<size_t>(rs.GNUM) + 1, 0.0));
    int count = 0;
    bool ok = in.next_line();
    // A source line takes at least 6 bytes ("1 1 0" and its line end, which
    // the last line may lack).
    const long left = stream_bytes_left(f.handle);
    const long most = std::min<long>(kMaxSources, left < 0 ? 0 : (left + 1) / 6);
    ok = ok && in.whole(count, 0, static_cast<int>(most), "number of sources");
    for (int k = 1; ok && k <= count; ++k) {
        int row = 0, col = 0;
        double q = 0.0;
        ok = in.next_line() && in.whole(row, 1, rs.rows, "row") && in.whole(col, 1, rs.cols, "column") &&
             in.number(q, "rate in m3/s", kPointFlowM3s);
        if (!ok) break;
        const int cell = rs.mask != nullptr ? rs.mask[row][col] : 0;
        if (cell < 1) {
            ok = in.fail("the cell is not a cell of the watershed");
            break;
        }
        rate[static_cast<size_t>(cell)] += q;
        // The concentrations of the water the source brings (flow-weighted on its cell).
        for (int i = 1; ok && i <= values; ++i) {
            char token[kTokenSize];
            if (!next_word(in.line.data(), token)) {
                if (q <= 0.0) break;   // a sink takes the cell's concentrations
                char text[200];
                std::snprintf(text, sizeof text,
                              "the line gives %d of the %d constituent concentrations (g/m3) a "
                              "source brings",
                              i - 1, values);
                ok = in.fail(text);
                break;
            }
            double c = 0.0;
            if (parse_real_token(token, c) != number_status::ok || c < 0.0) {
                char text[kTokenSize + 96];
                std::snprintf(text, sizeof text,
                              "the concentration of constituent %d \"%s\" is not a finite number "
                              "not below 0",
                              i, token);
                ok = in.fail(text);
                break;
            }
            char what[64];
            std::snprintf(what, sizeof what, "concentration of constituent %d (g/m3)", i);
            if (!in.within(c, what, kConcentrationGm3)) {
                ok = false;
                break;
            }
            if (q > 0.0) conc[static_cast<size_t>(i)][static_cast<size_t>(cell)] += q * c;
        }
        if (q > 0.0) inflow[static_cast<size_t>(cell)] += q;
    }
    close_file_object(f);
    if (!ok) return;
    rs.ov_point_source_rate.swap(rate);
    if (values > 0) {
        for (int i = 1; i <= values; ++i)
            for (size_t j = 1; j < inflow.size(); ++j)
                if (inflow[j] > 0.0) conc[static_cast<size_t>(i)][j] /= inflow[j];
        rs.con.point_conc.swap(conc);
        rs.con.point_volume.assign(static_cast<size_t>(rs.GNUM) + 1, 0.0);
    }
}
