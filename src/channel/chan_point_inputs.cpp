// Channel point inputs: the file reader (start-up), the record clock (time
// loop) and the lake share of the inputs.
//
// File layout (keywords compared on their first five letters, any case;
// values separated by blanks, tabs or commas):
//   NUMPT p
//   POINT node link flow c1..cn     p lines, flow in m3/s (< 0 a withdrawal)
//   NRPDS m                         (may be left out: no dated changes)
//   INPUT year month day hour minute
//   flow c1..cn                     one line per point, in POINT order
//   ...                             m INPUT blocks, dates strictly increasing
// A year below 100 is 1900 + year. c1..cn are the concentrations (g/m3) of
// the n constituents the channels carry (none without channel constituent
// transport, when further values are not read); a line whose flow takes
// water out may leave them out: a withdrawal takes the node's
// concentrations.
#include "channel/chan_point_inputs.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "channel/channel_records.h"
#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "quality/conc_lakes.h"
#include "run/run_state.h"

namespace {

constexpr int kSearchTokens = 10000;   // tokens searched for a keyword before giving up
constexpr int kMaxPoints = 1000000;    // a point count beyond this is no point list
constexpr int kMaxChanges = 100000000; // a record count beyond this is no record list

inline size_t ix(int i) {
    return static_cast<size_t>(i);
}

// Token reader over the file that knows the line of the token it gave.
struct point_reader {
    point_reader(file_object& file, const char* name) : f(file), path(name) {}

    file_object& f;
    const char* path;
    int line_number = 0;
    text_line line;
    char* cursor = nullptr;   // next unread character of the current line, null: none

    bool fail(const char* what) {
        std::printf("Error: channel point-source file %s, line %d: %s\n", path, line_number, what);
        set_error(kErrorPrinted);
        return false;
    }

    bool end_of_file(const char* what) {
        std::printf("Unexpected end of file in chan point data file.\n");
        std::printf("Check the format of the data file.\nProgram terminated.\n");
        return fail(what);
    }

    // The next token of the file, across line ends; false at the end of the file.
    bool token(char* tok) {
        for (;;) {
            if (cursor != nullptr && next_word_at(cursor, tok)) return true;
            if (!read_line(line, f)) {
                cursor = nullptr;
                return false;
            }
            ++line_number;
            cursor = line.data();
        }
    }

    // The next token of the current line only; false when the line is used up.
    bool token_on_line(char* tok) { return cursor != nullptr && next_word_at(cursor, tok); }

    // The rest of the current line is not read.
    void skip_line_end() { cursor = nullptr; }

    // Searches for `keyword` (first five letters); 1 found, 0 not within the
    // search limit (message printed), -1 end of file (nothing printed).
    int search(const char* keyword, const char* cannot) {
        char tok[kTokenSize];
        for (int n = 0; n < kSearchTokens; ++n) {
            if (!token(tok)) return -1;
            if (same_five(tok, keyword)) return 1;
        }
        std::printf("There is a problem with your channel source input file.  PLUVO cannot\n%s\n\n",
                    cannot);
        char text[200];
        std::snprintf(text, sizeof text, "no %s card within %d words", keyword, kSearchTokens);
        fail(text);
        return 0;
    }

    static bool same_five(const char* tok, const char* keyword) {
        for (int k = 0; k < 5; ++k) {
            const char a = static_cast<char>(std::tolower(static_cast<unsigned char>(tok[k])));
            if (a != keyword[k]) return false;
            if (a == '\0') return true;
        }
        return true;
    }

    // The next value on the current line as an int in [low, high].
    bool whole(int& value, int low, int high, const char* what) {
        char tok[kTokenSize];
        char text[kTokenSize + 160];
        if (!token_on_line(tok)) {
            std::snprintf(text, sizeof text, "the %s is missing", what);
            return fail(text);
        }
        const number_status st = parse_int_token(tok, value);
        if (st != number_status::ok) {
            std::snprintf(text, sizeof text, "the %s \"%s\" %s", what, tok, number_status_words(st));
            return fail(text);
        }
        if (value < low || value > high) {
            std::snprintf(text, sizeof text, "the %s %d is outside %d..%d", what, value, low, high);
            return fail(text);
        }
        return true;
    }

    // The next value on the current line as a finite real in `range`.
    bool real(double& value, const char* what, const number_range& range) {
        char tok[kTokenSize];
        char text[kTokenSize + 160];
        if (!token_on_line(tok)) {
            std::snprintf(text, sizeof text, "the %s is missing", what);
            return fail(text);
        }
        const number_status st = parse_real_token(tok, value);
        if (st != number_status::ok) {
            std::snprintf(text, sizeof text, "the %s \"%s\" %s", what, tok, number_status_words(st));
            return fail(text);
        }
        return in_range_or_fail(value, what, range);
    }

    // True when `value` lies in `range`; the message otherwise.
    bool in_range_or_fail(double value, const char* what, const number_range& range) {
        if (in_range(value, range)) return true;
        char rule[160];
        char text[kTokenSize + 400];
        describe_range(range, rule, sizeof rule);
        std::snprintf(text, sizeof text, "the %s %g is outside its range: it must be %s", what,
                      value, rule);
        return fail(text);
    }

    // Bytes left after the current position (0 when the stream cannot tell):
    // bounds the counts the rest of the file can hold.
    long bytes_left() const {
        const long n = stream_bytes_left(f.handle);
        const long here = cursor != nullptr ? static_cast<long>(std::strlen(cursor)) : 0;
        return (n < 0 ? 0 : n) + here;
    }
};

constexpr number_range kPointFlow = kPointFlowM3s;
constexpr number_range kPointConcentration = kConcentrationGm3;

// Checks that a point may sit on node `node` of link `link`.
bool check_point_place(const run_state& rs, point_reader& in, int node, int link) {
    char text[200];
    if (link < 1 || link > rs.links) {
        std::snprintf(text, sizeof text, "link %d is not a link of the network (1..%d)", link,
                      rs.links);
        return in.fail(text);
    }
    const int type = rs.ltype[ix(link)];
    if (is_structure(type)) {
        std::snprintf(text, sizeof text,
                      "link %d is a hydraulic-structure link, which holds no water for a point "
                      "input",
                      link);
        return in.fail(text);
    }
    const int nodes = rs.nx[ix(link)];
    if (node < 1 || node > nodes) {
        std::snprintf(text, sizeof text, "node %d is not a node of link %d (1..%d)", node, link,
                      nodes);
        return in.fail(text);
    }
    return true;
}

// The constituent values after the flow `q` of entry `at` (record x count +
// point - 1) on the current line: each a finite concentration not below 0;
// all of them unless the flow takes water out.
bool read_point_values(run_state& rs, point_reader& in, size_t at, double q) {
    const int n = rs.chan_point_values;
    char text[kTokenSize + 160];
    for (int c = 1; c <= n; ++c) {
        char tok[kTokenSize];
        double& v = rs.chan_point_conc[at * ix(n) + ix(c - 1)];
        v = 0.0;
        if (!in.token_on_line(tok)) {
            if (q <= 0.0) return true;   // a withdrawal takes the node's concentrations
            std::snprintf(text, sizeof text,
                          "the line gives %d of the %d constituent concentrations (g/m3) an inflow "
                          "carries",
                          c - 1, n);
            return in.fail(text);
        }
        const number_status st = parse_real_token(tok, v);
        if (st != number_status::ok) {
            std::snprintf(text, sizeof text, "the concentration of constituent %d \"%s\" %s", c, tok,
                          number_status_words(st));
            return in.fail(text);
        }
        if (v < 0.0) {
            std::snprintf(text, sizeof text, "the concentration of constituent %d is %g, below 0", c, v);
            return in.fail(text);
        }
        std::snprintf(text, sizeof text, "concentration of constituent %d (g/m3)", c);
        if (!in.in_range_or_fail(v, text, kPointConcentration)) return false;
    }
    return true;
}

// Reads one dated record: the INPUT line and one flow line per point.
bool read_record(run_state& rs, point_reader& in, int r, std::vector<double>& flows,
                 std::vector<double>& dates) {
    char tok[kTokenSize];
    char text[200];
    if (!in.token(tok)) {
        std::snprintf(text, sizeof text, "record %d of %d is missing", r, rs.chan_point_changes);
        return in.end_of_file(text);
    }
    if (!point_reader::same_five(tok, "input")) {
        std::snprintf(text, sizeof text, "record %d does not start with the word INPUT", r);
        return in.fail(text);
    }
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (!in.whole(year, 0, kLastYear, "year") || !in.whole(month, 1, 12, "month") ||
        !in.whole(day, 1, 31, "day") || !in.whole(hour, 0, 23, "hour") ||
        !in.whole(minute, 0, 59, "minute"))
        return false;
    if (year < 100) year += 1900;
    if (!valid_date(year, month, day)) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d is not a date", year, month, day);
        return in.fail(text);
    }
    const double t = julian_day(year, month, day, hour, minute, 0.0);
    if (r > 1 && !(t > dates[ix(r - 1)])) {
        std::snprintf(text, sizeof text,
                      "the date of record %d is not later than the date of record %d", r, r - 1);
        return in.fail(text);
    }
    dates[ix(r)] = t;
    in.skip_line_end();
    const int p = rs.chan_point_count;
    for (int i = 1; i <= p; ++i) {
        if (!in.token(tok)) {
            std::snprintf(text, sizeof text, "record %d ends before the flow of point %d", r, i);
            return in.end_of_file(text);
        }
        double q = 0.0;
        const number_status st = parse_real_token(tok, q);
        if (st != number_status::ok) {
            std::snprintf(text, sizeof text, "the flow of point %d in record %d %s", i, r,
                          number_status_words(st));
            return in.fail(text);
        }
        std::snprintf(text, sizeof text, "flow of point %d in record %d (m3/s)", i, r);
        if (!in.in_range_or_fail(q, text, kPointFlow)) return false;
        flows[ix(r) * ix(p) + ix(i - 1)] = q;
        if (!read_point_values(rs, in, ix(r) * ix(p) + ix(i - 1), q)) return false;
        in.skip_line_end();
    }
    return true;
}

// Reads and checks the whole file; true when the run may go on.
bool read_point_file(run_state& rs, point_reader& in) {
    const int head = in.search("numpt", "find the first card.  Check the format of your channel "
                                        "source file");
    if (head < 0) return in.end_of_file("no NUMPT card");
    if (head == 0) return false;
    int p = 0;
    // A POINT line takes at least 12 bytes ("POINT 1 1 0" and its line end,
    // which the last line may lack).
    const int most_points =
        static_cast<int>(std::min<long>(kMaxPoints, (in.bytes_left() + 1) / 12));
    if (!in.whole(p, 0, most_points, "number of points")) return false;
    in.skip_line_end();
    rs.chan_point_count = p;
    rs.chan_point_values = rs.chan_con_trans ? std::max(rs.num_constituents, 0) : 0;
    rs.chan_point_conc.assign(ix(p) * ix(rs.chan_point_values), 0.0);
    rs.chan_point_link.assign(ix(p) + 1, 0);
    rs.chan_point_node.assign(ix(p) + 1, 0);
    std::vector<double> first(ix(p), 0.0);
    for (int i = 1; i <= p; ++i) {
        const int found = in.search("point", "find the point source location card.  Check the "
                                             "format of your channel source file");
        if (found < 0) return in.end_of_file("the file ends before all POINT cards");
        if (found == 0) return false;
        int node = 0, link = 0;
        double q = 0.0;
        if (!in.whole(node, -kMaxPoints, kMaxPoints, "node") ||
            !in.whole(link, -kMaxPoints, kMaxPoints, "link") || !in.real(q, "flow in m3/s", kPointFlow))
            return false;
        if (!check_point_place(rs, in, node, link)) return false;
        rs.chan_point_node[ix(i)] = node;
        rs.chan_point_link[ix(i)] = link;
        first[ix(i - 1)] = q;
        if (!read_point_values(rs, in, ix(i - 1), q)) return false;
        in.skip_line_end();
    }

    int m = 0;
    const int changes = in.search("nrpds", "find the number of timed changes to your point "
                                           "inputs.  Check the format of your channel source file");
    if (changes == 0) return false;
    if (changes > 0) {
        if (!in.whole(m, 0, kMaxChanges, "number of timed changes")) return false;
        in.skip_line_end();
    }
    rs.chan_point_changes = m;
    // The tables grow record by record, so a count beyond what the file
    // holds ends at the file's end, not in a huge allocation.
    std::vector<double> flows(first);
    std::vector<double> dates(1, 0.0);
    for (int r = 1; r <= m; ++r) {
        rs.chan_point_conc.resize((ix(r) + 1) * ix(p) * ix(rs.chan_point_values), 0.0);
        flows.resize((ix(r) + 1) * ix(p), 0.0);
        dates.resize(ix(r) + 1, 0.0);
        if (!read_record(rs, in, r, flows, dates)) return false;
    }
    rs.chan_point_flows.swap(flows);
    rs.chan_point_dates.swap(dates);
    return true;
}

// Adds what a lake receives from (v > 0) or gives to (v < 0) a point input, m3;
// returns the volume moved (a withdrawal at most the lake's water).
double book_lake_point(run_state& rs, int lake, double v) {
    const size_t k = ix(lake);
    if (v >= 0.0) {
        rs.lake_volume[k] += v;
        rs.lake_in_dv[k] += v;
        rs.vol_lake_point_sources += v;
        return v;
    }
    const double taken = std::min(-v, std::max(rs.lake_volume[k], 0.0));
    rs.lake_volume[k] -= taken;
    rs.lake_out_dv[k] += taken;
    rs.vol_lake_point_sinks += taken;
    rs.vol_lake_point_unmet += -v - taken;
    return -taken;
}

}  // namespace

void apply_chan_point_record(run_state& rs, int record) {
    // Shaped like every node array of the network (the reader's yp).
    if (rs.chan_point_q.rows() != rs.yp.rows() || rs.chan_point_q.cols() != rs.yp.cols())
        rs.chan_point_q.assign(rs.yp.rows(), rs.yp.cols(), 0.0);
    rs.chan_point_q.fill(0.0);
    const int p = rs.chan_point_count;
    for (int i = 1; i <= p; ++i) {
        // Points on one node add up.
        rs.chan_point_q(ix(rs.chan_point_node[ix(i)]), ix(rs.chan_point_link[ix(i)])) +=
            rs.chan_point_flows[ix(record) * ix(p) + ix(i - 1)];
    }
    rs.chan_point_record = record;
    rs.chan_point_next =
        record < rs.chan_point_changes ? rs.chan_point_dates[ix(record + 1)] : 0.0;
    // The concentration of each node's inflow in force, weighted by the
    // flows of its inflowing points.
    const int n = rs.chan_point_values;
    if (n < 1) return;
    const size_t stride = rs.chan_point_q.rows();
    const size_t slots = stride * rs.chan_point_q.cols();
    if (rs.chan_point_in_conc.size() != ix(n) + 1 || rs.chan_point_in_conc[1].size() != slots)
        rs.chan_point_in_conc.assign(ix(n) + 1, std::vector<double>(slots, 0.0));
    std::vector<double> inflow(slots, 0.0);   // m3/s
    for (std::vector<double>& row : rs.chan_point_in_conc) std::fill(row.begin(), row.end(), 0.0);
    for (int i = 1; i <= p; ++i) {
        const size_t at = ix(record) * ix(p) + ix(i - 1);
        const double q = rs.chan_point_flows[at];
        if (!(q > 0.0)) continue;
        const size_t f = stride * ix(rs.chan_point_link[ix(i)]) + ix(rs.chan_point_node[ix(i)]);
        inflow[f] += q;
        for (int c = 1; c <= n; ++c) rs.chan_point_in_conc[ix(c)][f] += q * rs.chan_point_conc[at * ix(n) + ix(c - 1)];
    }
    for (size_t f = 0; f < slots; ++f) {
        if (!(inflow[f] > 0.0)) continue;
        for (int c = 1; c <= n; ++c) rs.chan_point_in_conc[ix(c)][f] /= inflow[f];
    }
}

void init_chan_point_inputs(run_state& rs) {
    const char* path = rs.files.chan_point_input;
    if (path[0] == '\0' || !rs.chan_explic) return;
    file_object f;
    if (!open_file_named(f, path, "r")) {
        std::printf("Can't open %s to read channel point source input file \n", path);
        std::printf("Error: the channel point-source file %s (card CHAN_POINT_INPUT) cannot be "
                    "opened.\n",
                    path);
        set_error(kErrorPrinted);
        return;
    }
    point_reader in(f, path);
    const bool ok = read_point_file(rs, in);
    close_file_object(f);
    if (!ok) return;
    rs.chan_points_on = 1;
    rs.chan_active = 1;
    rs.vol_stream_point_unmet = 0.0;
    rs.vol_lake_point_unmet = 0.0;
    apply_chan_point_record(rs, 0);
}

void read_chan_point_inputs(run_state& rs) {
    if (!rs.chan_points_on) return;
    int record = rs.chan_point_record;
    while (record < rs.chan_point_changes &&
           rs.chan_point_dates[ix(record + 1)] <= rs.time + rs.time_tolerance)
        ++record;
    if (record != rs.chan_point_record) apply_chan_point_record(rs, record);
}

int chan_point_lake(const run_state& rs, int node, int link) {
    const size_t li = ix(link);
    const int type = rs.ltype[li];
    int lake = 0;
    if (is_lake(type) || is_overtaken(type)) {
        lake = li < rs.lake2link.size() ? rs.lake2link[li] : 0;
    } else if (node > rs.nx[li] && rs.taken_by_lake.has(node, link)) {
        lake = rs.taken_by_lake(ix(node), li);
    }
    return (lake >= 1 && ix(lake) < rs.lake_volume.size()) ? lake : 0;
}

void apply_lake_point_inputs(run_state& rs, double dt) {
    if (!rs.chan_points_on || !rs.channel_lakes || rs.chan_point_q.empty()) return;
    const int p = rs.chan_point_count;
    for (int i = 1; i <= p; ++i) {
        const int node = rs.chan_point_node[ix(i)], link = rs.chan_point_link[ix(i)];
        const int lake = chan_point_lake(rs, node, link);
        if (lake == 0) continue;
        const size_t at = ix(rs.chan_point_record) * ix(p) + ix(i - 1);
        const double moved = book_lake_point(rs, lake, dt * rs.chan_point_flows[at]);
        // The lake's constituents follow its point water.
        if (rs.chan_point_values > 0)
            lake_point_constituents(rs, lake, moved, &rs.chan_point_conc[at * ix(rs.chan_point_values)]);
    }
}
