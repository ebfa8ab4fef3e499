// Storm-drain network input. Every record is checked where it is read; a
// bad record stops the set-up with a message naming the file and the line.
// Elevations and lengths are m, areas m2, grate sizes m.
#include "stormdrain/sd_input.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "run/run_state.h"
#include "stormdrain/pipe_section.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

constexpr int kOutletChannel = 999;   // inlet code: outfall into a channel node
constexpr int kOutletCell = 888;      // inlet code: outfall onto its own cell
constexpr double kTiny = 1e-8;        // smallest roughness, length, spacing accepted
// Ground and invert levels, m: from the deepest trench to the highest summit.
constexpr number_range kElevation = closed_range(-11000.0, 9000.0);
// Longest pipe, m: a longer one is no storm-drain pipe (graded into pieces of
// at most 100 m, it would also make pieces without end).
constexpr number_range kPipeLength{-DBL_MAX, 100000.0, false, false};

// The first word of a line, lower-cased, taken off the line.
std::string take_keyword(char* line) {
    char token[kTokenSize];
    if (next_word(line, token) == 0) return std::string();
    std::string w(token);
    for (char& c : w) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return w;
}

// Reader of one file: its name, the line being read and the message helpers.
struct record_reader {
    file_object& f;
    const char* path;
    const char* kind;   // "superlink file", "grid-pipe file"
    text_line line;
    int number = 0;     // line number, from 1

    bool next() {
        if (!read_line(line, f)) return false;
        ++number;
        return true;
    }
    bool fail(const char* what) {
        std::printf("Error: %s %s, line %d: %s.\n", kind, path, number, what);
        error_record.code = kErrorPrinted;
        return false;
    }
    // A finite real in `range` (any finite real when none is given).
    bool real(double& v, const char* what, const number_range& range = kAnyNumber) {
        char token[kTokenSize];
        token[0] = '\0';
        double unused = 0.0;
        next_checked_double(line, unused, token);
        const number_status s = check_real_token(token, range, v);
        if (s == number_status::ok) return true;
        char m[512];
        describe_number_fault(s, what, token, range, m, sizeof m);
        return fail(m);
    }
    bool integer(int& v, const char* what) {
        char token[kTokenSize];
        const number_status s = next_checked_int(line, v, token);
        if (s == number_status::ok) return true;
        std::string m = std::string("the ") + what + " " + number_status_words(s);
        if (s != number_status::missing) m += std::string(" (\"") + token + "\")";
        return fail(m.c_str());
    }
    // An integer within lo..hi.
    bool index(int& v, int lo, int hi, const char* what) {
        if (!integer(v, what)) return false;
        if (v >= lo && v <= hi) return true;
        char m[256];
        std::snprintf(m, sizeof m, "the %s %d is outside 1..%d", what, v, hi);
        return fail(m);
    }
    bool rewind() {
        if (!f.is_open() || std::fseek(f.handle, 0L, SEEK_SET) != 0) return fail("cannot be read again");
        number = 0;
        return true;
    }
};

// Cell number of a grid row and column, 0 outside the watershed.
int cell_at(const run_state& rs, int row, int col) {
    if (rs.mask == nullptr || row < 1 || col < 1 || row > rs.mask_rows || col > rs.mask_cols) return 0;
    return rs.mask[row][col];
}

bool valid_inlet_code(int code, bool junction) {
    if (code >= 0 && code <= 9) return true;
    return junction && (code == kOutletCell || code == kOutletChannel);
}

void ground_warning(double ground, double bottom, const char* what, int a, int b) {
    if (ground < bottom) {
        if (b > 0) std::printf("WARNING: ground elevation less than node bottom. %s %d, node %d\n", what, a, b);
        else std::printf("WARNING: ground elevation less than node bottom. %s %d\n", what, a);
    } else if (ground < bottom + 2.0) {
        if (b > 0) std::printf("Warning: ground elevation less than 2.0m above node bottom. %s %d, node %d\n", what, a, b);
        else std::printf("Warning: ground elevation less than 2.0m above node bottom. %s %d\n", what, a);
    }
}

// First pass: the counts; the largest pipe count of the SLINK records.
bool count_records(record_reader& in, run_state& rs, int& max_pipes) {
    int junctions = 0, links = 0;
    max_pipes = 0;
    while (in.next()) {
        const std::string key = take_keyword(in.line);
        if (key == "sjunc") ++junctions;
        else if (key == "connect") ++links;
        else if (key == "slink") {
            int number = 0, pipes = 0;
            if (!in.integer(number, "superlink number") || !in.integer(pipes, "pipe count")) return false;
            if (pipes < 1) return in.fail("the pipe count must be 1 or more");
            if (pipes > max_pipes) max_pipes = pipes;
        }
    }
    if (junctions < 1 || links < 1) {
        std::printf("Error: superlink file %s holds no SJUNC or no CONNECT record.\n", in.path);
        error_record.code = kErrorPrinted;
        return false;
    }
    if (junctions > kMaxSuperjunctions) { set_error(99); return false; }
    if (max_pipes > kMaxPipesPerSuperlink) { set_error(100); return false; }
    if (links > kMaxSuperlinks) { set_error(101); return false; }
    rs.n_sjunc = junctions;
    rs.n_slink = links;
    rs.sd_junctions.assign(ix(junctions) + 1, sd_junction());
    rs.sd_links.assign(ix(links) + 1, sd_link());
    return true;
}

bool read_sjunc(record_reader& in, run_state& rs) {
    int j = 0;
    if (!in.index(j, 1, rs.n_sjunc, "superjunction number")) return false;
    sd_junction& s = rs.sd_junctions[ix(j)];
    if (s.line != 0) {
        char m[160];
        std::snprintf(m, sizeof m, "superjunction %d is defined again (first on line %d)", j, s.line);
        return in.fail(m);
    }
    if (!in.real(s.ground, "ground elevation", kElevation) ||
        !in.real(s.bottom, "bottom elevation", kElevation) ||
        !in.real(s.storage_area, "storage area") || !in.integer(s.inlet, "inlet code") ||
        !in.integer(s.row, "row") || !in.integer(s.col, "column") ||
        !in.real(s.grate_side, "grate side length") || !in.real(s.grate_dia, "grate diameter"))
        return false;
    if (s.storage_area < 0.0) return in.fail("the storage area is negative");
    if (s.grate_side < 0.0 || s.grate_dia < 0.0) return in.fail("a grate size is negative");
    if (!valid_inlet_code(s.inlet, true))
        return in.fail("the inlet code must be 0 to 9, 888 or 999");
    if (s.inlet != kOutletChannel) {
        s.cell = cell_at(rs, s.row, s.col);
        if (s.cell == 0 && (s.inlet != 0 || s.row != 0 || s.col != 0))
            return in.fail("the row and column lie outside the watershed");
    }
    s.fixed_head = s.inlet >= 11 ? 1 : 0;
    s.line = in.number;
    ground_warning(s.ground, s.bottom, "superjunction", j, 0);
    return true;
}

bool read_connect(record_reader& in, run_state& rs) {
    int l = 0;
    if (!in.index(l, 1, rs.n_slink, "superlink number")) return false;
    sd_link& s = rs.sd_links[ix(l)];
    if (s.line != 0) {
        char m[160];
        std::snprintf(m, sizeof m, "superlink %d is connected again (first on line %d)", l, s.line);
        return in.fail(m);
    }
    if (!in.index(s.us, 1, rs.n_sjunc, "upstream superjunction") ||
        !in.index(s.ds, 1, rs.n_sjunc, "downstream superjunction"))
        return false;
    if (s.us == s.ds) return in.fail("a superlink cannot join a superjunction to itself");
    s.line = in.number;
    return true;
}

bool read_node(record_reader& in, run_state& rs, int l, sd_link& s) {
    int k = 0;
    if (!in.index(k, 1, s.pipes_read + 1, "node number")) return false;
    sd_node& n = s.read_nodes[ix(k)];
    if (n.line != 0) return in.fail("the node is defined again in this superlink");
    if (!in.real(n.ground, "ground elevation", kElevation) ||
        !in.real(n.invert, "invert elevation", kElevation) ||
        !in.real(n.storage_area, "storage area") || !in.integer(n.inlet, "inlet code") ||
        !in.integer(n.row, "row") || !in.integer(n.col, "column") ||
        !in.real(n.grate_side, "grate side length") || !in.real(n.grate_dia, "grate diameter"))
        return false;
    if (n.storage_area < 0.0) return in.fail("the storage area is negative");
    if (n.grate_side < 0.0 || n.grate_dia < 0.0) return in.fail("a grate size is negative");
    if (!valid_inlet_code(n.inlet, false)) return in.fail("the inlet code of a node must be 0 to 9");
    n.cell = cell_at(rs, n.row, n.col);
    if (n.cell == 0 && (n.inlet != 0 || n.row != 0 || n.col != 0))
        return in.fail("the row and column lie outside the watershed");
    n.line = in.number;
    ground_warning(n.ground, n.invert, "superlink", l, k);
    return true;
}

bool read_pipe(record_reader& in, run_state& rs, int l, sd_link& s, int& k) {
    if (!in.index(k, 1, s.pipes_read, "pipe number")) return false;
    sd_pipe& p = s.read_pipes[ix(k)];
    if (p.line != 0) return in.fail("the pipe is defined again in this superlink");
    if (!in.integer(p.type, "section type") || !in.real(p.size, "diameter") || !in.real(p.width, "width") ||
        !in.real(p.slope, "slope") || !in.real(p.roughness, "roughness") ||
        !in.real(p.length, "length", kPipeLength) ||
        !in.real(p.conductivity, "conductivity") || !in.real(p.spacing, "drain spacing"))
        return false;
    if (p.type == kSectionArch) return in.fail("arch pipe sections (type 2) are not supported");
    if (p.type != kSectionCircle && p.type != kSectionBox)
        return in.fail("the pipe cross-section type must be 1 (circle) or 3 (box)");
    if (p.size <= kTiny) return in.fail("the pipe diameter must be above 0");
    if (p.type == kSectionBox && p.width <= kTiny) return in.fail("the box width must be above 0");
    if (p.roughness < kTiny) return in.fail("the pipe roughness must be above 0");
    if (p.length < kTiny) return in.fail("the pipe length must be above 0");
    if (p.conductivity < 0.0) return in.fail("the conductivity is negative");
    if (p.conductivity > kTiny && p.spacing < kTiny)
        return in.fail("the drain spacing cannot be zero if the pipe conductivity is above zero");
    if (p.slope < 0.0) std::printf("Warning: pipe slope is negative: node %d link %d\n", k, l);
    if (p.conductivity > 0.0) rs.leaky_pipes = 1;
    p.line = in.number;
    return true;
}

// Second pass: the records; the lines of an SLINK block follow it.
bool read_records(record_reader& in, run_state& rs) {
    bool pending = false;   // a line was read but not handled (it ended an SLINK block)
    std::string key;
    for (;;) {
        if (!pending) {
            if (!in.next()) break;
            key = take_keyword(in.line);
        }
        pending = false;
        if (key == "sjunc") {
            if (!read_sjunc(in, rs)) return false;
        } else if (key == "connect") {
            if (!read_connect(in, rs)) return false;
        } else if (key == "slink") {
            int l = 0, pipes = 0;
            if (!in.index(l, 1, rs.n_slink, "superlink number") || !in.integer(pipes, "pipe count")) return false;
            sd_link& s = rs.sd_links[ix(l)];
            if (s.slink_line != 0) return in.fail("the superlink's pipes are given again");
            s.slink_line = in.number;
            s.pipes_read = pipes;
            s.read_nodes.assign(ix(pipes) + 2, sd_node());
            s.read_pipes.assign(ix(pipes) + 1, sd_pipe());
            while (in.next()) {
                key = take_keyword(in.line);
                if (key == "node") {
                    if (!read_node(in, rs, l, s)) return false;
                } else if (key == "pipe") {
                    int k = 0;
                    if (!read_pipe(in, rs, l, s, k)) return false;
                    if (k == pipes) break;
                } else {
                    pending = true;
                    break;
                }
            }
        }
    }
    return true;
}

// Whole-network checks after the records.
bool check_network(const char* path, run_state& rs) {
    auto fail = [&](const char* m, int a, int b = 0) {
        std::printf("Error: superlink file %s: ", path);
        std::printf(m, a, b);
        std::printf(".\n");
        error_record.code = kErrorPrinted;
        return false;
    };
    std::vector<int> links_at(ix(rs.n_sjunc) + 1, 0);
    for (int l = 1; l <= rs.n_slink; ++l) {
        const sd_link& s = rs.sd_links[ix(l)];
        if (s.line == 0) return fail("superlink %d has no CONNECT record", l);
        if (s.slink_line == 0) return fail("superlink %d has no SLINK record", l);
        for (int k = 1; k <= s.pipes_read + 1; ++k)
            if (s.read_nodes[ix(k)].line == 0) return fail("superlink %d node %d is not defined", l, k);
        for (int k = 1; k <= s.pipes_read; ++k)
            if (s.read_pipes[ix(k)].line == 0) return fail("superlink %d pipe %d is not defined", l, k);
        if (rs.sd_junctions[ix(s.us)].fixed_head)
            return fail("superlink %d starts at outfall superjunction %d", l, s.us);
        ++links_at[ix(s.us)];
        ++links_at[ix(s.ds)];
    }
    for (int j = 1; j <= rs.n_sjunc; ++j) {
        const sd_junction& s = rs.sd_junctions[ix(j)];
        if (s.line == 0) return fail("superjunction %d is not defined", j);
        if (links_at[ix(j)] == 0 && s.storage_area <= 0.0)
            return fail("superjunction %d has no superlink and no storage area", j);
    }
    return true;
}

}  // namespace

bool read_superlink_file(run_state& rs, file_object& f, const char* path) {
    record_reader in{f, path, "superlink file", text_line(), 0};
    int max_pipes = 0;
    if (!count_records(in, rs, max_pipes)) return false;
    if (!in.rewind()) return false;
    if (!read_records(in, rs)) return false;
    return check_network(path, rs);
}

bool read_grid_pipe_file(run_state& rs, file_object& f, const char* path) {
    record_reader in{f, path, "grid-pipe file", text_line(), 0};
    if (!in.next() || take_keyword(in.line) != "gridpipefile")
        return in.fail("the first word of the file must be GRIDPIPEFILE");
    if (!in.next() || take_keyword(in.line) != "pipecells")
        return in.fail("the second line must be PIPECELLS and the number of pipe cells");
    int cells = 0;
    if (!in.integer(cells, "number of pipe cells")) return false;
    if (cells < 1) return in.fail("the number of pipe cells must be 1 or more");
    // Each pipe cell is a cell of the watershed: a larger count would only
    // size a list the file cannot fill.
    if (cells > rs.GNUM) {
        char m[160];
        std::snprintf(m, sizeof m, "PIPECELLS %d is more than the %d cells of the watershed", cells,
                      rs.GNUM);
        return in.fail(m);
    }
    rs.sd_pipe_cells.assign(ix(cells) + 1, std::vector<sd_pipe_share>());
    int c = 0;            // pipe cell being read
    int open_cell = 0;    // its cell number
    int expected = -1;    // its NUMPIPES, -1 before that line
    auto complete = [&]() { return c == 0 || static_cast<int>(rs.sd_pipe_cells[ix(c)].size()) == expected; };
    while (in.next()) {
        const std::string key = take_keyword(in.line);
        if (key == "cellij") {
            if (!complete()) return in.fail("the pipe cell before holds another number of SPIPE lines than its NUMPIPES");
            if (++c > cells) return in.fail("more pipe cells than PIPECELLS");
            int row = 0, col = 0;
            if (!in.integer(row, "row") || !in.integer(col, "column")) return false;
            open_cell = cell_at(rs, row, col);
            if (open_cell == 0) return in.fail("the row and column lie outside the watershed");
            expected = -1;
        } else if (key == "numpipes") {
            if (c == 0 || expected >= 0) return in.fail("NUMPIPES must follow a CELLIJ line");
            if (!in.integer(expected, "number of pipes")) return false;
            if (expected < 1) return in.fail("the number of pipes must be 1 or more");
        } else if (key == "spipe") {
            if (c == 0 || expected < 0) return in.fail("SPIPE must follow CELLIJ and NUMPIPES");
            if (static_cast<int>(rs.sd_pipe_cells[ix(c)].size()) >= expected)
                return in.fail("more SPIPE lines than NUMPIPES");
            sd_pipe_share s;
            s.cell = open_cell;
            if (!in.index(s.link, 1, rs.n_slink, "superlink")) return false;
            if (!in.index(s.pipe, 1, rs.sd_links[ix(s.link)].pipes_read, "pipe")) return false;
            if (!in.real(s.share, "share")) return false;
            if (s.share <= 0.0 || s.share > 1.0) return in.fail("the share must lie in (0, 1]");
            rs.sd_pipe_cells[ix(c)].push_back(s);
        }
    }
    if (c != cells || !complete())
        return in.fail("the file ends before all PIPECELLS cells and their SPIPE lines");
    return true;
}

std::vector<double> graded_pieces(double L) {
    if (L <= 10.0) return {L};
    if (L <= 20.0) return {0.5 * L, 0.5 * L};
    std::vector<double> front;    // pieces of the upstream half, outermost first
    std::vector<double> middle;   // pieces of the middle
    double r = L - 20.0;
    front.push_back(10.0);
    const double sizes[] = {20.0, 50.0, 100.0};
    bool done = false;
    for (int stage = 0; stage < 3 && !done; ++stage) {
        const double next = sizes[stage];
        const double need = 2.0 * next;   // a pair of the next size
        const double least = stage == 0 ? 10.0 : sizes[stage - 1];
        if (r >= need) {
            r -= need;
            front.push_back(next);
        } else if (r >= least) {
            middle.push_back(r);
            done = true;
        } else {
            front.back() += 0.5 * r;
            done = true;
        }
    }
    if (!done) {
        while (r >= 100.0) {
            middle.push_back(100.0);
            r -= 100.0;
        }
        if (!middle.empty()) middle.back() += r;
        else front.back() += 0.5 * r;
    }
    std::vector<double> pieces(front);
    pieces.insert(pieces.end(), middle.begin(), middle.end());
    pieces.insert(pieces.end(), front.rbegin(), front.rend());
    return pieces;
}

void build_computational_pipes(run_state& rs, bool grade) {
    for (int l = 1; l <= rs.n_slink; ++l) {
        sd_link& s = rs.sd_links[ix(l)];
        s.nodes.assign(1, sd_node());
        s.pipes.assign(1, sd_pipe());
        s.pipe_read.assign(1, 0);
        s.first_node.assign(ix(s.pipes_read) + 2, 0);
        for (int k = 1; k <= s.pipes_read; ++k) {
            const sd_pipe& p = s.read_pipes[ix(k)];
            const sd_node& up = s.read_nodes[ix(k)];
            const sd_node& down = s.read_nodes[ix(k) + 1];
            const std::vector<double> pieces = grade ? graded_pieces(p.length) : std::vector<double>{p.length};
            s.first_node[ix(k)] = static_cast<int>(s.nodes.size());
            s.nodes.push_back(up);
            double along = 0.0;   // m from the pipe's upstream end
            for (size_t i = 0; i < pieces.size(); ++i) {
                sd_pipe piece = p;
                piece.length = pieces[i];
                s.pipes.push_back(piece);
                s.pipe_read.push_back(k);
                along += pieces[i];
                if (i + 1 < pieces.size()) {
                    const double t = along / p.length;
                    sd_node n;
                    n.invert = up.invert + t * (down.invert - up.invert);
                    n.ground = up.ground + t * (down.ground - up.ground);
                    s.nodes.push_back(n);
                }
            }
        }
        s.first_node[ix(s.pipes_read) + 1] = static_cast<int>(s.nodes.size());
        s.nodes.push_back(s.read_nodes[ix(s.pipes_read) + 1]);
        for (sd_node& n : s.nodes) n.depth = 1e-4;
    }
}
