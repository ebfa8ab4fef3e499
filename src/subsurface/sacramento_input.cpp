// Sacramento set-up: the parameter file, the refusals of runs the accounting
// cannot serve, the topographic index and the shares of the channel inflow.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "run/run_state.h"
#include "subsurface/sacramento.h"

namespace {

constexpr int kParameters = 17;
constexpr int kMaxPasses = 1000;

// Keyword codes of a parameter line (1..16 and 19 are parameters).
int keyword_code(const char* word) {
    static const char* const kWords[] = {"pluvo_sacramento", "uztwm", "uzfwm", "uzk",   "zperc",
                                         "rexp",             "lztwm", "lzfsm", "lzfpm", "lzsk",
                                         "lzpk",             "pfree", "uztwc", "uzfwc", "lztwc",
                                         "lzfsc",            "lzfpc", "num_basins", "basin", "saved"};
    char lower[kTokenSize];
    size_t i = 0;
    for (; word[i] != '\0' && i + 1 < sizeof lower; ++i)
        lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(word[i])));
    lower[i] = '\0';
    for (int k = 0; k < 20; ++k) {
        if (std::strcmp(lower, kWords[k]) == 0) return k;
    }
    return 20;
}

// The parameter names as the file writes them, by keyword code.
const char* const kWordNames[] = {"PLUVO_SACRAMENTO", "uztwm", "uzfwm", "uzk",   "zperc",
                                  "rexp",             "lztwm", "lzfsm", "lzfpm", "lzsk",
                                  "lzpk",             "pfree", "uztwc", "uzfwc", "lztwc",
                                  "lzfsc",            "lzfpc", "num_basins", "basin", "saved"};

// Values a parameter may take where the file is read: the percolation
// multiplier zperc, its exponent rexp and the lower-zone free water saved
// from evaporation (mm) cannot be negative (a negative zperc makes water);
// capacities, contents, depletion rates and pfree are checked or bounded
// after the whole file is read.
number_range parameter_range(int code) {
    switch (code) {
        case 4:    // zperc
        case 5:    // rexp
        case 19:   // saved, mm
            return at_least(0.0);
        default:
            return kAnyNumber;
    }
}

double* parameter_field(sacramento_state& s, int code) {
    double* const fields[] = {nullptr,  &s.uztwm, &s.uzfwm, &s.uzk,   &s.zperc, &s.rexp,  &s.lztwm,
                              &s.lzfsm, &s.lzfpm, &s.lzsk,  &s.lzpk,  &s.pfree, &s.uztwc, &s.uzfwc,
                              &s.lztwc, &s.lzfsc, &s.lzfpc, nullptr,  nullptr,  &s.saved};
    return code >= 1 && code <= 19 ? fields[code] : nullptr;
}

bool fail(const char* path, int line, const char* what, const char* token) {
    std::printf("Error: Sacramento parameter file %s, line %d: %s \"%s\"\n", path, line, what, token);
    set_error(kErrorPrinted);
    return false;
}

void clamp_content(double& v, double high, double low, const char* name, bool upper) {
    if (upper && v > 1.0) {
        v = high;
        std::fprintf(stderr, "WARNING:%s changed!\n", name);
    }
    if (!upper && v < 0.0) {
        v = low;
        std::fprintf(stderr, "WARNING:%s changed!\n", name);
    }
}

// Watershed neighbours of a grid position: row, column offsets, distance factor and contour factor.
struct neighbour {
    int dr, dc;
    double distance, contour;   // in cell sizes
};
const neighbour kNeighbours[8] = {
    {-1, 0, 1.0, 0.5},  {1, 0, 1.0, 0.5},  {0, -1, 1.0, 0.5},  {0, 1, 1.0, 0.5},
    {-1, -1, M_SQRT2, M_SQRT2 * 0.25}, {-1, 1, M_SQRT2, M_SQRT2 * 0.25},
    {1, -1, M_SQRT2, M_SQRT2 * 0.25},  {1, 1, M_SQRT2, M_SQRT2 * 0.25},
};

}  // namespace

bool read_sacramento_input(file_object& f, const char* path, sacramento_state& s, int& num_basins) {
    text_line line;
    char token[kTokenSize];
    int line_number = 0;
    if (!read_line(line, f) || !next_word(line.data(), token) ||
        std::strncmp(token, "PLUVO_SACRAMENTO", 16) != 0) {
        std::fprintf(stderr, "The specified Sacramento model input parameter file does not\n");
        std::fprintf(stderr, "have the proper header: PLUVO_SACRAMENTO \n");
        std::fprintf(stderr, "Program terminated in read_sacramento\n");
        std::printf("Error: Sacramento parameter file %s, line 1: the header PLUVO_SACRAMENTO is missing\n", path);
        set_error(kErrorPrinted);
        return false;
    }
    line_number = 1;
    int read_count[20] = {};
    int parameters = 0;
    while (parameters < kParameters && read_line(line, f)) {
        ++line_number;
        if (!next_word(line.data(), token)) continue;
        const int code = keyword_code(token);
        if (code == 17 || code == 18) {
            int v = 0;
            const number_status st = next_checked_int(line.data(), v, token);
            if (st != number_status::ok) return fail(path, line_number, number_status_words(st), token);
            if (code == 17) num_basins = v;
            continue;
        }
        double* field = parameter_field(s, code);
        if (field == nullptr) continue;
        double v = 0.0;
        input_place at;
        at.kind = "Sacramento parameter file";
        at.path = path;
        at.line = line_number;
        const number_field parameter{kWordNames[code], parameter_range(code)};
        if (!read_real(line.data(), parameter, at, v)) return false;
        *field = v;
        ++read_count[code];
        ++parameters;
    }
    if (parameters < kParameters) {
        std::fprintf(stderr, "Premature end-of-file in the Sacramento parameter input file.\n");
        std::fprintf(stderr, "The channel input file does not contain all the required parameters.\n");
        std::fprintf(stderr, "The file should contain 21 parameters.  Only %d parameters read.\n", parameters);
        std::fprintf(stderr, "Program terminated in read_sacramento_input.\n");
        std::printf("Error: Sacramento parameter file %s ends after %d of the %d parameters (line %d)\n", path,
                    parameters, kParameters, line_number);
        set_error(kErrorPrinted);
        return false;
    }
    for (int code = 1; code < 20; ++code) {
        if (read_count[code] > 1) {
            std::fprintf(stderr, "Duplicate cards read in Sacramento parameter file.\n");
            std::fprintf(stderr, "There should be only 21 different cards in the file\n");
            std::fprintf(stderr, "with no duplicates.\n");
            std::fprintf(stderr, "Program terminated in read_sacramento\n");
            std::printf("Error: Sacramento parameter file %s (line %d): a parameter is given twice\n", path,
                        line_number);
            set_error(kErrorPrinted);
            return false;
        }
    }
    // Capacities divide the contents: each must hold water.
    const struct {
        const char* name;
        double value;
    } capacities[] = {{"uztwm", s.uztwm}, {"uzfwm", s.uzfwm}, {"lztwm", s.lztwm}, {"lzfsm", s.lzfsm},
                      {"lzfpm", s.lzfpm}};
    for (const auto& c : capacities) {
        if (!(c.value > 0.0)) {
            std::printf("Error: Sacramento parameter file %s: the capacity %s must be above 0 mm (%g)\n", path,
                        c.name, c.value);
            set_error(kErrorPrinted);
            return false;
        }
    }
    // Start contents are fractions of their capacity: all upper bounds first, then the lower.
    for (bool upper : {true, false}) {
        clamp_content(s.uztwc, 0.99, 0.01, "uztwc", upper);
        clamp_content(s.uzfwc, 0.99, 0.01, "uzfwc", upper);
        clamp_content(s.lztwc, 0.99, 0.01, "lztwc", upper);
        clamp_content(s.lzfsc, 0.99, 0.01, "lzfsc", upper);
        clamp_content(s.lzfpc, 0.99, 0.01, "lzfpc", upper);
    }
    s.uztwc *= s.uztwm;
    s.uzfwc *= s.uzfwm;
    s.lztwc *= s.lztwm;
    s.lzfsc *= s.lzfsm;
    s.lzfpc *= s.lzfpm;
    for (bool upper : {true, false}) {
        clamp_content(s.uzk, 0.5, 0.05, "uzk", upper);
        clamp_content(s.lzsk, 0.5, 0.05, "lzsk", upper);
        clamp_content(s.lzpk, 0.5, 0.05, "lzpk", upper);
    }
    if (s.saved > s.lzfpc) {
        s.saved = s.lzfpc;
        std::fprintf(stderr, "WARNING:saved changed!\n");
    }
    if (s.pfree < 0.0 || s.pfree > 1.0) {
        std::printf("Error: Sacramento parameter file %s: pfree %g must be from 0 to 1\n", path, s.pfree);
        set_error(kErrorPrinted);
        return false;
    }
    s.pbase = s.lzfsm * s.lzsk + s.lzfpm * s.lzpk;
    return true;
}

void load_sacramento_params(run_state& rs) {
    if (!rs.sacramento) return;
    if (!rs.chan_explic) {
        std::printf("Error: the card sacramento needs channel routing: its outflow enters the channels\n");
        set_error(kErrorPrinted);
        return;
    }
    const char* path = rs.files.sacramento;
    file_object f;
    if (!open_file_named(f, path, "r")) {
        std::printf("Cannot open Sacramento input parameter file: %s\n", path);
        set_error(kErrorPrinted);
        return;
    }
    sacramento_state s;
    int basins = 0;
    const bool ok = read_sacramento_input(f, path, s, basins);
    close_file_object(f);
    if (!ok) return;
    rs.sac_state = s;
    rs.sac_state_start = s;
    rs.num_basins = basins;
    rs.sac_residual = 0.0;
    if (rs.sac_topo_index) {
        rs.topo_dex.assign(static_cast<size_t>(rs.GNUM) + 1, 0.0);
        topodex(rs.elevation, rs.mask, rs.topo_dex, rs.rows, rs.cols, rs.cell_size);
    }
}

bool topodex(const std::vector<double>& elevation, int** mask, std::vector<double>& index, int rows,
             int cols, double dx) {
    const int W = cols + 2;
    auto at = [W](int r, int c) { return static_cast<size_t>(r) * static_cast<size_t>(W) + static_cast<size_t>(c); };
    const size_t size = static_cast<size_t>(rows + 2) * static_cast<size_t>(W);
    std::vector<double> elev(size, 0.0), dex(size, 0.0), area(size, dx * dx);
    std::vector<char> inside(size, 0);
    int S = 0;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            const int cell = mask[r][c];
            if (cell < 1) continue;
            inside[at(r, c)] = 1;
            elev[at(r, c)] = elevation[static_cast<size_t>(cell)];
            dex[at(r, c)] = -1.0;
            ++S;
        }
    }
    int resolved = 0;
    for (int pass = 1; resolved < S; ++pass) {
        if (pass > kMaxPasses) {
            std::printf("You have specified TOPO_INDEX in your PLUVO project file.\n"
                        "After 1000 iterative passes through the DEM to calculate\n"
                        "the topographic index map, the routine has not succeeded.\n"
                        "This is rediculous.  Your DEM must be of very poor quality.\n"
                        "Please make your DEM more representative of nature in terms\n"
                        "of flow paths, removing digital dams and pits.  If you do not\n"
                        "want to do this, you can remove the TOPO_INDEX card from your\n"
                        "PLUVO project file, and the PLUVO Sacramento Routine will the\n"
                        "simply put its output into the channels uniformly.\n"
                        "Program terminated.\n");
            set_error(kErrorPrinted);
            return false;
        }
        for (int r = 1; r <= rows; ++r) {
            for (int c = 1; c <= cols; ++c) {
                const size_t p = at(r, c);
                if (!inside[p] || dex[p] >= 0.0) continue;
                bool wait = false;
                for (const neighbour& n : kNeighbours) {
                    const size_t q = at(r + n.dr, c + n.dc);
                    if (inside[q] && elev[q] > elev[p] && dex[q] < 0.0) wait = true;
                }
                if (wait) continue;
                double weights[8] = {};
                double total = 0.0;
                for (int k = 0; k < 8; ++k) {
                    const neighbour& n = kNeighbours[k];
                    const size_t q = at(r + n.dr, c + n.dc);
                    if (!inside[q] || !(elev[q] < elev[p])) continue;
                    weights[k] = (elev[p] - elev[q]) / (n.distance * dx) * n.contour * dx;
                    total += weights[k];
                }
                if (total > 0.0) {
                    dex[p] = std::log(area[p] / total);
                    for (int k = 0; k < 8; ++k) {
                        if (weights[k] > 0.0) area[at(r + kNeighbours[k].dr, c + kNeighbours[k].dc)] += area[p] * weights[k] / total;
                    }
                } else {
                    double sum = 0.0;
                    int count = 0;
                    for (const neighbour& n : kNeighbours) {
                        const size_t q = at(r + n.dr, c + n.dc);
                        if (!inside[q]) continue;
                        sum += (elev[q] - elev[p]) / (n.distance * dx);
                        ++count;
                    }
                    const double slope = count > 0 ? sum / count : 0.0;
                    if (slope > 1e-8) {
                        dex[p] = std::log(area[p] / (2.0 * dx * slope));
                        if (slope < 1e-6) std::printf("sslope<1.0e-6 in read_sacramento : %.10lf\n", slope);
                    } else {
                        dex[p] = 0.333;
                    }
                }
                ++resolved;
            }
        }
    }
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            const int cell = mask[r][c];
            if (cell < 1) continue;
            const double v = dex[at(r, c)];
            index[static_cast<size_t>(cell)] = v;
            if (v < 0.0) {
                std::printf("Warning: topodex routine has computed a negative topodex value\n"
                            "Check your input elevation file for large flat areas with\n"
                            "either the exact same elevation or nearly so (~0.0000x)\n"
                            "If you do not want to do this, you can remove the TOPO_INDEX card from your\n"
                            "PLUVO project file, and the PLUVO Sacramento Routine will the\n"
                            "simply put its output into the channels uniformly.\n"
                            "Program terminated.\n");
                set_error(kErrorPrinted);
                return false;
            }
        }
    }
    return true;
}

void compute_sacramento_weights(run_state& rs) {
    if (!rs.sacramento || !rs.chan_explic) return;
    if (rs.num_stream_cells < 1) {
        std::printf("Error: the card sacramento needs stream cells (the grid-stream file) to pass its "
                    "outflow to the channels\n");
        set_error(kErrorPrinted);
        return;
    }
    const bool topo = rs.sac_topo_index && rs.topo_dex.size() > static_cast<size_t>(rs.GNUM);
    const size_t n = static_cast<size_t>(rs.GNUM) + 1;
    std::vector<double> cell_index(n, 0.0);   // index of each visited stream cell, -
    std::vector<char> seen(n, 0);
    double index_sum = 0.0;
    double length = 0.0;   // channel length over all segments, m
    for (int i = 1; i <= rs.num_stream_cells; ++i) {
        for (int k = 1; k <= rs.gst_ncellsingrid[static_cast<size_t>(i)]; ++k) {
            const int cell = rs.gst_gnum[static_cast<size_t>(i)][static_cast<size_t>(k)];
            const int link = rs.gst_link[static_cast<size_t>(i)][static_cast<size_t>(k)];
            if (cell < 1 || cell > rs.GNUM || link < 1 || link > rs.links) continue;
            if (!seen[static_cast<size_t>(cell)]) {
                seen[static_cast<size_t>(cell)] = 1;
                if (topo) {
                    cell_index[static_cast<size_t>(cell)] = rs.topo_dex[static_cast<size_t>(cell)];
                    index_sum += cell_index[static_cast<size_t>(cell)];
                }
            }
            length += rs.dx[static_cast<size_t>(link)] * rs.gst_pct[static_cast<size_t>(i)][static_cast<size_t>(k)];
        }
    }
    if (topo && index_sum < 1e-10) {
        std::printf("Problem, sum of the topographic indices in all channel-containing grids is <=0.0\n");
        std::printf("Program terminated\n");
        set_error(kErrorPrinted);
        return;
    }
    if (!(length > 0.0)) {
        std::printf("Problem, gst_sac_weight <=0.0\n");
        std::printf("Program terminated\n");
        set_error(kErrorPrinted);
        return;
    }
    // Each segment's share: its channel length, times (with the index) its cell's share of the index sum.
    double weight_sum = 0.0;
    for (int i = 1; i <= rs.num_stream_cells; ++i) {
        for (int k = 1; k <= rs.gst_ncellsingrid[static_cast<size_t>(i)]; ++k) {
            const size_t si = static_cast<size_t>(i), sk = static_cast<size_t>(k);
            const int cell = rs.gst_gnum[si][sk];
            const int link = rs.gst_link[si][sk];
            rs.gst_sac_weight[si][sk] = 0.0;
            if (cell < 1 || cell > rs.GNUM || link < 1 || link > rs.links) continue;
            double w = rs.dx[static_cast<size_t>(link)] * rs.gst_pct[si][sk] / length;
            if (topo) w *= cell_index[static_cast<size_t>(cell)] / index_sum;
            if (!(w > 0.0)) {
                std::printf("Problem, gst_sac_weight <=0.0\n");
                std::printf("Program terminated\n");
                set_error(kErrorPrinted);
                return;
            }
            rs.gst_sac_weight[si][sk] = w;
            weight_sum += w;
        }
    }
    double check = 0.0;
    for (int i = 1; i <= rs.num_stream_cells; ++i) {
        for (int k = 1; k <= rs.gst_ncellsingrid[static_cast<size_t>(i)]; ++k) {
            double& w = rs.gst_sac_weight[static_cast<size_t>(i)][static_cast<size_t>(k)];
            w /= weight_sum;
            check += w;
        }
    }
    if (!rs.quiet) print_message("Sac Weights: %lf\n", check);
    if (std::fabs(check - 1.0) > 1e-9) {
        std::printf("Problem, summation of the Sacramento weights is not equal to 1.0.\n");
        std::printf("Program terminated.\n");
        set_error(kErrorPrinted);
    }
}
