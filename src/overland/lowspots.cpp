#include "overland/lowspots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "core/text.h"
#include "overland/boundaries.h"
#include "overland/olake.h"

namespace {

// The first word of a line (ended by a blank, tab or newline), lower-cased,
// removed from the line together with the blanks and tabs around it.
std::string take_first_word(char* line) {
    size_t p = 0;
    while (line[p] == ' ' || line[p] == '\t' || line[p] == '\n') ++p;
    size_t start = p;
    while (line[p] != '\0' && line[p] != ' ' && line[p] != '\t' && line[p] != '\n') ++p;
    std::string word(line + start, p - start);
    while (line[p] == ' ' || line[p] == '\t' || line[p] == '\n') ++p;
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    std::memmove(line, line + p, std::strlen(line + p) + 1);
    return word;
}

void fail_reported() {
    error_record.code = kErrorPrinted;
    report_error(error_record);
}

}  // namespace

int is_spot_card(char* line) {
    if (line == nullptr) return 1;
    return take_first_word(line) == "spot" ? 0 : 1;
}

bool read_lowspot_file(file_object& f, const char* path, int& count,
                       std::vector<low_spot>& records) {
    text_line line;
    char word[kTokenSize];

    // Line 1: the LOWSPOT card, matched over the length of the word itself.
    line[0] = '\0';
    read_line(line, f);
    next_word(line, word);
    for (char* c = word; *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    }
    size_t len = std::strlen(word);
    if (len == 0 || len > 7 || std::strncmp(word, "lowspot", len) != 0) {
        std::fprintf(stderr, "The lowspot input file: %s does not start with the LOWSPOT card.\n",
                     path);
        std::fprintf(stderr, "The file format is invalid.  Program terminated.\n");
        fail_reported();
        return false;
    }

    // Count the SPOT cards.
    int n = 0;
    while (read_line(line, f)) {
        if (is_spot_card(line) == 0) ++n;
    }
    if (n == 0) {
        std::fprintf(stderr, "Premature end-of-file in the lowspot input file.\n");
        std::fprintf(stderr, "No SPOT cards encountered before end of file.\n");
        std::fprintf(stderr, "Program terminated.\n");
        fail_reported();
        return false;
    }

    // Second pass: fill the records in file order. Every SPOT card must hold
    // all five numbers, else the spot would silently get zeros.
    records.assign(static_cast<size_t>(n) + 1, low_spot{});
    std::rewind(f.handle);
    read_line(line, f);
    int k = 0;
    int line_number = 1;
    while (k < n && read_line(line, f)) {
        ++line_number;
        if (is_spot_card(line) != 0) continue;
        ++k;
        low_spot& s = records[static_cast<size_t>(k)];
        s.line = line_number;
        // Row, column, face and width are checked against the grid, the mask
        // and their limits when the cells are connected; here every value must
        // be a whole number or a finite real, else the spot would silently get
        // a 0 (the crest an elevation of the ground's range).
        input_place at;
        at.kind = "low-spot file";
        at.path = path;
        at.line = line_number;
        at.card = "SPOT";
        char name[4][48];
        std::snprintf(name[0], sizeof name[0], "row of low spot %d", k);
        std::snprintf(name[1], sizeof name[1], "column of low spot %d", k);
        std::snprintf(name[2], sizeof name[2], "direction of low spot %d", k);
        std::snprintf(name[3], sizeof name[3], "width fraction of low spot %d", k);
        char crest_name[48];
        std::snprintf(crest_name, sizeof crest_name, "crest elevation of low spot %d", k);
        const bool good =
            read_int(line, {name[0], at_least(1)}, at, s.row) &&
            read_int(line, {name[1], at_least(1)}, at, s.col) &&
            read_int(line, {name[2]}, at, s.direction) &&
            read_real(line, {name[3]}, at, s.width_fraction) &&
            read_real(line, {crest_name, closed_range(-11000.0, 9000.0)}, at, s.crest);
        if (!good) {
            records.clear();
            report_error(error_record);
            return false;
        }
    }
    count = n;
    return true;
}

namespace {

constexpr double kLevelTolerance = 0.001;   // levels closer than this exchange nothing, m
constexpr double kWeirCoefficient = 1.48;   // broad-crested weir coefficient, m^(1/2)/s

// One side of a low spot: an ordinary cell, a cell of an overland lake, or a
// cell whose level the boundary holds.
struct spot_side {
    int cell = 0;       // cell number
    int lake = 0;       // overland lake id, 0 none
    bool held = false;  // boundary type 2, 3 or 9 with ov_boundary on
    double level = 0.0; // water level, m
    double cells = 1.0; // cells over which a volume spreads (the lake's count), -
};

spot_side side_of(const run_state& rs, int cell) {
    spot_side s;
    s.cell = cell;
    const size_t c = static_cast<size_t>(cell);
    if (rs.lakes && c < rs.oland_lake_new.size()) s.lake = rs.oland_lake_new[c];
    if (s.lake > 0 && static_cast<size_t>(s.lake) < rs.overland_lakes.size()) {
        const overland_lake& lake = rs.overland_lakes[static_cast<size_t>(s.lake)];
        s.level = lake.level;
        s.cells = std::max(1, lake.cell_count);
    } else {
        s.lake = 0;
        s.level = rs.elevation[c] + rs.ov_depth[c];
    }
    s.held = rs.ov_boundary && c < rs.boundary_type.size() && held_boundary_type(rs.boundary_type[c]);
    return s;
}

// How far the level of a side moves per depth u spread over one cell, -: a
// held boundary cell does not move, a lake spreads it over its cells.
double level_shift(const spot_side& s) {
    return s.lake == 0 && s.held ? 0.0 : 1.0 / s.cells;
}

// The cell across the face `direction` (1 top, 2 right, 4 bottom, 8 left), 0 none.
int across(const run_state& rs, const low_spot& s) {
    int r = s.row, c = s.col;
    switch (s.direction) {
        case 1: --r; break;
        case 2: ++c; break;
        case 4: ++r; break;
        case 8: --c; break;
        default: return 0;
    }
    if (rs.mask == nullptr || r < 1 || r > rs.rows || c < 1 || c > rs.cols) return 0;
    return rs.mask[r][c];
}

// Applies depth u (m) to one side: sign +1 receives, -1 gives. A lake side
// books the volume into its inflow and into what it can still give
// (`lake_water`, m3, filled when lake_water_ready).
void book_side(run_state& rs, const spot_side& s, double u, double sign, double area,
               std::vector<double>& lake_water, bool lake_water_ready, double& loss,
               double& gain) {
    if (s.lake > 0) {
        rs.overland_lakes[static_cast<size_t>(s.lake)].inflow += sign * u * area;
        rs.lakes_changed = 1;
        if (lake_water_ready) {
            double& w = lake_water[static_cast<size_t>(s.lake)];
            w = std::max(0.0, w + sign * u * area);
        }
    } else if (s.held) {
        // The boundary keeps the level: what it gives is a gain, what it takes a loss.
        if (sign < 0.0) gain += u * area;
        else loss += u * area;
    } else {
        double& h = rs.ov_depth[static_cast<size_t>(s.cell)];
        h += sign * u;
        if (h < 0.0) h = 0.0;
    }
}

}  // namespace

void face_flow(run_state& rs, double dt, double& loss, double& gain) {
    loss = 0.0;
    gain = 0.0;
    const double dx = rs.cell_size;
    const double area = dx * dx;
    const int n = std::min(rs.num_lowspots, static_cast<int>(rs.lowspot_records.size()) - 1);
    // What each lake can give above its initial level, m3; found at the first
    // spot a lake gives through.
    std::vector<double> lake_water;
    bool lake_water_ready = false;
    for (int k = 1; k <= n; ++k) {
        low_spot& spot = rs.lowspot_records[static_cast<size_t>(k)];
        if (rs.mask == nullptr || spot.row < 1 || spot.row > rs.rows || spot.col < 1 ||
            spot.col > rs.cols)
            continue;
        const int c = rs.mask[spot.row][spot.col];
        const int d = across(rs, spot);
        if (c < 1 || d < 1) continue;
        const spot_side sc = side_of(rs, c);
        const spot_side sd = side_of(rs, d);
        const double diff = std::fabs(sc.level - sd.level);
        if (!(diff > kLevelTolerance)) continue;
        if (!(sc.level > spot.crest) && !(sd.level > spot.crest)) continue;
        const bool forward = sc.level > sd.level;   // from c to d
        const spot_side& from = forward ? sc : sd;
        const spot_side& to = forward ? sd : sc;
        const double head = from.level - spot.crest;   // m
        const double q = spot.width_fraction * kWeirCoefficient * std::pow(head, 1.5) * dx;   // m3/s
        spot.discharge = q;
        double u = q * dt / area;   // m
        // An ordinary giver passes at most its water above the crest; a lake
        // never its water below its initial level.
        if (from.lake == 0 && !from.held) u = std::min(u, from.level - spot.crest);
        if (from.lake > 0) {
            if (!lake_water_ready) {
                lake_water_above_initial(rs, lake_water);
                lake_water_ready = true;
            }
            u = std::min(u, lake_water[static_cast<size_t>(from.lake)] / area);
        }
        // Never more than evens the two levels: a volume u x area lowers the
        // giver by u / cells and raises the taker by u / cells (a held level
        // does not move), so the levels meet at diff / (1/cells + 1/cells).
        const double spread = level_shift(from) + level_shift(to);   // 1/cells
        u = std::min(u, spread > 0.0 ? diff / spread : diff);
        if (!(u > 0.0)) continue;
        book_side(rs, from, u, -1.0, area, lake_water, lake_water_ready, loss, gain);
        book_side(rs, to, u, +1.0, area, lake_water, lake_water_ready, loss, gain);
    }
}

bool lake_may_pass_low_spot(const run_state& rs) {
    if (!rs.lakes || !rs.lowspot_file || rs.mask == nullptr) return false;
    const int n = std::min(rs.num_lowspots, static_cast<int>(rs.lowspot_records.size()) - 1);
    for (int k = 1; k <= n; ++k) {
        const low_spot& spot = rs.lowspot_records[static_cast<size_t>(k)];
        if (spot.row < 1 || spot.row > rs.rows || spot.col < 1 || spot.col > rs.cols) continue;
        const int cells[2] = {rs.mask[spot.row][spot.col], across(rs, spot)};
        for (const int c : cells) {
            if (c < 1) continue;
            const spot_side s = side_of(rs, c);
            if (s.lake == 0) continue;
            const overland_lake& lake = rs.overland_lakes[static_cast<size_t>(s.lake)];
            if (s.level > spot.crest && s.level > lake.initial_level) return true;
        }
    }
    return false;
}

void exchange_low_spots(run_state& rs, double dt) {
    if (!rs.lowspot_file || rs.num_lowspots <= 0) return;
    double loss = 0.0;
    double gain = 0.0;
    face_flow(rs, dt, loss, gain);
    rs.vol_head_bc_loss += loss;
    rs.vol_head_bc_gain += gain;
}
