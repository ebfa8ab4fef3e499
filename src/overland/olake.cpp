// Overland lakes: the lake file and map reader, the extent step that moves
// each lake's level and cells, and the hooks through which the explicit
// overland scheme exchanges water with the lakes.
//
// Volumes are m3, levels and elevations m, the cell area is cell_size^2 (m2).
// Everything here runs on the time-loop thread; the per-cell gains of the
// scheme are written by their own cell and summed here in cell order, so the
// lakes are the same for any number of threads.
#include "overland/olake.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "input/map_reader.h"
#include "run/run_state.h"

namespace {

constexpr double kCarriedRise = 1e-10;   // inflow over the lake area below this is carried, m
constexpr double kSlopeFloor = 1e-20;    // friction slopes below this carry no flow, m/m
constexpr double kSlopeOffset = 1e-20;   // added to the slope towards the lake, m/m

inline size_t ix(int i) {
    return static_cast<size_t>(i);
}

void fail_reported() {
    error_record.code = kErrorPrinted;
    report_error(error_record);
}

// The first word of a line (ended by a blank, tab or newline), lower-cased,
// removed from the line together with the blanks and tabs around it.
std::string take_first_word(char* line) {
    size_t p = 0;
    while (line[p] == ' ' || line[p] == '\t' || line[p] == '\n' || line[p] == '\r') ++p;
    const size_t start = p;
    while (line[p] != '\0' && line[p] != ' ' && line[p] != '\t' && line[p] != '\n' &&
           line[p] != '\r')
        ++p;
    std::string word(line + start, p - start);
    while (line[p] == ' ' || line[p] == '\t' || line[p] == '\n' || line[p] == '\r') ++p;
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    std::memmove(line, line + p, std::strlen(line + p) + 1);
    return word;
}

const char* family(int kind) {
    return kind == kChannelLakeFile ? "channel" : "overland";
}

// A number of a LAKE card; false (after the message) when it is not one.
bool card_number_ok(number_status status, const char* path, int line, const char* what,
                    const char* token) {
    if (status == number_status::ok) return true;
    std::printf("Error: lake file %s, line %d: the %s of the LAKE card %s", path, line, what,
                number_status_words(status));
    if (status != number_status::missing) std::printf(" (\"%s\")", token);
    std::printf(".\n");
    return false;
}

// Neighbour of cell c across side bit `side` (1 top, 2 right, 4 bottom, 8 left).
inline int neighbour(const run_state& rs, int c, int side) {
    switch (side) {
        case 1: return rs.abovecon[ix(c)];
        case 2: return rs.rightcon[ix(c)];
        case 4: return rs.belowcon[ix(c)];
        default: return rs.leftcon[ix(c)];
    }
}

inline int opposite(int side) {
    return side == 1 ? 4 : side == 4 ? 1 : side == 2 ? 8 : 2;
}

// True when water may cross the face of cell c on side `side` to cell m.
inline bool face_open(const run_state& rs, int c, int m, int side) {
    if (!rs.dike_map || rs.dike_mask.size() <= ix(rs.GNUM)) return true;
    return (rs.dike_mask[ix(c)] & side) == 0 && (rs.dike_mask[ix(m)] & opposite(side)) == 0;
}

inline bool channel_lake_cell(const run_state& rs, int m) {
    return rs.channel_lakes && rs.lake_mask.size() > ix(m) && rs.lake_mask[ix(m)] > 0;
}

// Rising lake u by water w > 0 (m3). Rounds: the cells outside every lake
// across the open faces of the cells found last whose water surface lies
// below the tentative level, or whose ground lies below the lake's level,
// are listed once each, sorted by surface, and the level is found where the
// water fills the lake and the listed cells up to it; the cells below it
// (and always the first listed) join with their water. The next round looks
// around the cells that joined, with no more water to add, until none is
// listed. A cell whose ground the lake covers is part of it even when its
// water stands a little above the lake's level (a scheme that brings it to
// the level only in the limit leaves it there): it joins, and the level
// takes the mean of the two surfaces weighted by the cell counts, which
// keeps the water.
void raise_lake(run_state& rs, int u, double w) {
    overland_lake& lake = rs.overland_lakes[ix(u)];
    std::vector<int>& cells = rs.olake_cells[ix(u)];
    std::vector<int>& fresh = rs.olake_fresh;
    std::vector<std::pair<double, int>>& list = rs.olake_list;
    const double area = rs.cell_size * rs.cell_size;
    fresh = cells;
    double water = w;   // still to be added, m3
    for (;;) {
        const double k = static_cast<double>(lake.cell_count);
        const double tentative = lake.level + water / (k * area);   // m
        ++rs.olake_listing;
        list.clear();
        for (const int c : fresh) {
            for (int side = 1; side <= 8; side <<= 1) {
                const int m = neighbour(rs, c, side);
                if (m < 1 || rs.oland_lake_new[ix(m)] != 0 || channel_lake_cell(rs, m)) continue;
                if (rs.olake_mark[ix(m)] == rs.olake_listing || !face_open(rs, c, m, side)) continue;
                const double ground = rs.elevation[ix(m)];   // m
                const double surface = ground + rs.ov_depth[ix(m)];
                if (!(surface < tentative) && !(ground < lake.level)) continue;
                rs.olake_mark[ix(m)] = rs.olake_listing;
                list.emplace_back(surface, m);
            }
        }
        if (list.empty()) {
            lake.level = tentative;
            lake.volume += water;
            rs.vol_ovlake_inflow += water;
            return;
        }
        std::sort(list.begin(), list.end());

        // Fill: f(z) = k A (z - level) + A sum over listed z_i < z of (z - z_i).
        const size_t m = list.size();
        double f = k * area * (list[0].first - lake.level);   // at the lowest listed surface
        size_t taken = 1;
        double level = 0.0;
        for (size_t i = 0; i < m; ++i) {
            const double slope = (k + static_cast<double>(i + 1)) * area;   // m2
            const double next = i + 1 < m ? f + slope * (list[i + 1].first - list[i].first) : 0.0;
            if (i + 1 == m || next > water) {
                level = list[i].first + (water - f) / slope;
                taken = i + 1;
                break;
            }
            f = next;
        }

        fresh.clear();
        double joined = 0.0;   // water of the cells that join, m3
        for (size_t i = 0; i < taken; ++i) {
            const int c = list[i].second;
            joined += rs.ov_depth[ix(c)] * area;
            rs.ov_depth[ix(c)] = 0.0;
            rs.oland_lake_new[ix(c)] = u;
            cells.push_back(c);
            fresh.push_back(c);
        }
        lake.cell_count += static_cast<int>(taken);
        lake.level = level;
        lake.volume += water + joined;
        rs.vol_ovlake_inflow += water + joined;
        water = 0.0;
    }
}

// Falling lake u by a demand d > 0 (m3). The water released as the level
// falls from L to z is the area of the cells whose ground lies below the
// level times the fall; the cells outside the lake map leave once the level
// falls below their ground. The level stops at the initial level.
void lower_lake(run_state& rs, int u, double d) {
    overland_lake& lake = rs.overland_lakes[ix(u)];
    std::vector<int>& cells = rs.olake_cells[ix(u)];
    std::vector<std::pair<double, int>>& list = rs.olake_list;
    const double area = rs.cell_size * rs.cell_size;
    const double floor_level = lake.initial_level;

    // Cells that may leave, highest ground first.
    list.clear();
    for (const int c : cells) {
        if (rs.oland_lake_mask[ix(c)] != u) list.emplace_back(-rs.elevation[ix(c)], c);
    }
    std::sort(list.begin(), list.end());

    double count = static_cast<double>(lake.cell_count);
    double current = lake.level;   // m
    double released = 0.0;         // m3
    double level = floor_level;
    bool found = false;
    if (current > floor_level) {
        for (const auto& entry : list) {
            const double ground = -entry.first;
            if (!(ground > floor_level)) break;
            if (ground >= current) {   // dry at the current level already
                count -= 1.0;
                continue;
            }
            const double step = count * area * (current - ground);
            if (released + step >= d) {
                level = current - (d - released) / (count * area);
                released = d;
                found = true;
                break;
            }
            released += step;
            current = ground;
            count -= 1.0;
        }
        if (!found && count > 0.0) {
            const double step = count * area * (current - floor_level);
            if (released + step >= d) {
                level = current - (d - released) / (count * area);
                released = d;
                found = true;
            } else {
                released += step;
            }
        }
    }
    if (!found) {
        level = floor_level;
        const double shortfall = d - released;
        rs.vol_ovlake_shortfall += shortfall;
        std::printf("Warning: overland lake %d was asked for %.6f m3 more than it holds above its "
                    "initial level %.4f m; the level stays there and the water is booked as a "
                    "lake shortfall.\n",
                    u, shortfall, floor_level);
    }

    // Cells outside the map whose ground lies above the new level leave.
    size_t kept = 0;
    for (size_t i = 0; i < cells.size(); ++i) {
        const int c = cells[i];
        if (rs.oland_lake_mask[ix(c)] != u && rs.elevation[ix(c)] > level) {
            rs.oland_lake_new[ix(c)] = 0;
            rs.ov_depth[ix(c)] = 0.0;
            --lake.cell_count;
            continue;
        }
        cells[kept++] = c;
    }
    cells.resize(kept);
    lake.level = level;
    lake.volume -= released;
    rs.vol_ovlake_outflow += released;
}

bool lake_arrays_ready(const run_state& rs) {
    const size_t slots = ix(rs.GNUM) + 1;
    return rs.GNUM >= 1 && rs.oland_lake_new.size() >= slots && rs.oland_lake_mask.size() >= slots &&
           rs.elevation.size() >= slots && rs.ov_depth.size() >= slots &&
           rs.rightcon.size() >= slots && rs.belowcon.size() >= slots &&
           rs.leftcon.size() >= slots && rs.abovecon.size() >= slots &&
           static_cast<int>(rs.overland_lakes.size()) > rs.num_overland_lakes;
}

}  // namespace

int is_lake_card(char* line) {
    if (line == nullptr) return 1;
    return take_first_word(line) == "lake" ? 0 : 1;
}

bool read_lake_file(file_object& f, const char* path, int kind, int count,
                    std::vector<overland_lake>& records, std::vector<int>* card_lines) {
    text_line line;
    char word[kTokenSize];
    const char* header = kind == kChannelLakeFile ? "pluvo_channel_lake_file"
                                                  : "pluvo_overland_lake_file";
    line[0] = '\0';
    const bool first = read_line(line, f) != 0;
    word[0] = '\0';
    if (first) next_word(line, word);
    for (char* c = word; *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    }
    const size_t len = std::strlen(word);
    if (len == 0 || len > std::strlen(header) || std::strncmp(word, header, len) != 0) {
        std::fprintf(stderr, "The overland lake input data file doesn't start with\n");
        std::fprintf(stderr, kind == kChannelLakeFile ? " PLUVO_CHANNEL_LAKE_FILE card.\n"
                                                      : " PLUVO_OVERLAND_LAKE_FILE card.\n");
        std::fprintf(stderr, "The file format is invalid.  Program terminated.\n");
        std::printf("Error: lake file %s, line 1: the first word must be %s.\n", path,
                    kind == kChannelLakeFile ? "PLUVO_CHANNEL_LAKE_FILE"
                                             : "PLUVO_OVERLAND_LAKE_FILE");
        fail_reported();
        return false;
    }

    if (static_cast<int>(records.size()) < count + 1) records.resize(ix(count) + 1);
    if (card_lines != nullptr) card_lines->assign(ix(count) + 1, 0);
    std::vector<int> seen(ix(count) + 1, 0);   // line of the card of each id, 0 none yet
    int cards = 0;
    int line_number = 1;
    char token[kTokenSize];
    while (read_line(line, f)) {
        ++line_number;
        if (is_lake_card(line) != 0) continue;
        ++cards;
        int id = 0;
        double level = 0.0;
        double volume = 0.0;
        if (!card_number_ok(next_checked_int(line, id, token), path, line_number, "lake id", token) ||
            !card_number_ok(next_checked_double(line, level, token), path, line_number, "level",
                            token) ||
            !card_number_ok(next_checked_double(line, volume, token), path, line_number,
                            "volume", token)) {
            fail_reported();
            return false;
        }
        // The level is a water-surface elevation; the volume a store of water.
        const input_place at{"lake file", path, line_number, "LAKE"};
        char range[160];
        if (!in_range(level, kElevationMetres)) {
            describe_range(kElevationMetres, range, sizeof range);
            refuse_atf(at, "the lake level %g m is outside its range: it must be %s", level, range);
            fail_reported();
            return false;
        }
        if (!(volume >= 0.0)) {
            refuse_atf(at, "the lake volume %g m3 is outside its range: it must be at least 0",
                       volume);
            fail_reported();
            return false;
        }
        if (id < 1 || id > count) {
            std::printf("Error: lake file %s, line %d: lake id %d is outside 1..%d, the ids of "
                        "the lake map.\n",
                        path, line_number, id, count);
            fail_reported();
            return false;
        }
        if (seen[ix(id)] != 0) {
            std::printf("Error: lake file %s, line %d: lake %d was already given on line %d.\n",
                        path, line_number, id, seen[ix(id)]);
            fail_reported();
            return false;
        }
        seen[ix(id)] = line_number;
        overland_lake& r = records[ix(id)];
        r.level = level;
        r.initial_level = level;
        r.volume = volume;
        if (card_lines != nullptr) (*card_lines)[ix(id)] = line_number;
        print_message("%d   Elev: %.2lf   Volume: %.2lf\n", cards, level, volume);
    }
    if (cards == 0) {
        std::fprintf(stderr, "Premature end-of-file in the %s lake input data file.\n", family(kind));
        std::fprintf(stderr, "No LAKE cards encountered before end of file.\n");
        std::fprintf(stderr, "Program terminated.\n");
        std::printf("Error: lake file %s holds no LAKE card (line %d is its last).\n", path,
                    line_number);
        fail_reported();
        return false;
    }
    if (cards != count) {
        std::fprintf(stderr, "Incorrect number of LAKE cards in the %s lake input data file.\n",
                     family(kind));
        std::fprintf(stderr, "Expected %d LAKE cards, read %d\n", count, cards);
        std::fprintf(stderr, "Program terminated.\n");
        std::printf("Error: lake file %s holds %d LAKE cards; the lake map has %d lakes.\n", path,
                    cards, count);
        fail_reported();
        return false;
    }
    return true;
}

void read_overland_lakes(run_state& rs) {
    if (!rs.lakes) return;
    const int n = rs.GNUM;
    const char* map_path = rs.files.overland_lake_map;
    const char* lake_path = rs.files.overland_lake_file;
    print_reading_line(rs, "reading overland lake map from file: %s\n", map_path);
    rs.oland_lake_mask.assign(ix(n) + 1, 0);
    rs.map_kind = kMapCellIds;
    const bool read = read_map_file(rs.overland_lake_map_file, map_path, kMapCellIds,
                                    rs.map_north, rs.map_south, rs.map_east, rs.map_west,
                                    rs.map_rows, rs.map_cols, rs.mask, nullptr, nullptr,
                                    &rs.oland_lake_mask, rs.rows, rs.cols);
    close_file_object(rs.overland_lake_map_file);
    if (!read || !refuse_negative_map_ids(rs.oland_lake_mask, n, map_path)) return;

    int lakes = 0;
    for (int j = 1; j <= n; ++j) lakes = std::max(lakes, rs.oland_lake_mask[ix(j)]);
    if (lakes > n) {
        std::printf("Error: overland lake map %s holds lake id %d, more lakes than its %d cells.\n",
                    map_path, lakes, n);
        fail_reported();
        return;
    }
    rs.oland_lake_new = rs.oland_lake_mask;
    rs.num_overland_lakes = lakes;
    rs.overland_lakes.assign(ix(lakes) + 1, overland_lake{});
    std::vector<int> card_lines;
    const bool ok = read_lake_file(rs.overland_lake_data_file, lake_path, kOverlandLakeFile,
                                   lakes, rs.overland_lakes, &card_lines);
    close_file_object(rs.overland_lake_data_file);
    if (!ok) return;

    for (overland_lake& r : rs.overland_lakes) {
        r.cell_count = 0;
        r.volume = 0.0;   // the file's volume is only printed
        r.inflow = 0.0;
    }
    const double area = rs.cell_size * rs.cell_size;
    for (int row = 1; row <= rs.rows; ++row) {
        for (int col = 1; col <= rs.cols; ++col) {
            const int j = rs.mask[row][col];
            if (j < 1 || j > n) continue;
            const int u = rs.oland_lake_mask[ix(j)];
            if (u < 1) continue;
            overland_lake& r = rs.overland_lakes[ix(u)];
            ++r.cell_count;
            const double ground = rs.elevation[ix(j)];
            if (ground > r.level) {
                std::printf("There is a lake cell in lake %d that is above the initial lake water "
                            "surface\n",
                            u);
                std::printf("elevation in that lake, which is specified as %f.  This situation is "
                            "not\n",
                            r.level);
                std::printf("physically realistic.  Check your lake map.  Program terminated.\n");
                std::printf("Error: overland lake map %s, row %d, column %d: the ground %f m lies "
                            "above the level of lake %d given on line %d of the lake file %s.\n",
                            map_path, row, col, ground, u, card_lines[ix(u)], lake_path);
                fail_reported();
                return;
            }
            r.volume += (r.level - ground) * area;
        }
    }
}

void update_overland_lakes(run_state& rs) {
    if (!rs.lakes || !rs.lakes_changed) return;
    olake_extent(rs);
    rs.lakes_changed = 0;
}

void olake_extent(run_state& rs) {
    if (!lake_arrays_ready(rs)) return;
    const int n = rs.GNUM;
    const int lakes = rs.num_overland_lakes;
    const double area = rs.cell_size * rs.cell_size;
    if (rs.olake_mark.size() != ix(n) + 1) rs.olake_mark.assign(ix(n) + 1, 0);
    rs.olake_cells.resize(ix(lakes) + 1);
    for (std::vector<int>& cells : rs.olake_cells) cells.clear();
    for (int j = 1; j <= n; ++j) {
        const int u = rs.oland_lake_new[ix(j)];
        if (u >= 1 && u <= lakes) rs.olake_cells[ix(u)].push_back(j);
    }
    for (int u = 1; u <= lakes; ++u) {
        overland_lake& lake = rs.overland_lakes[ix(u)];
        if (lake.cell_count < 1) continue;   // a lake without cells holds nothing
        const double b = lake.inflow;
        if (std::fabs(b / (lake.cell_count * area)) < kCarriedRise) continue;   // carried
        lake.inflow = 0.0;
        if (b > 0.0) raise_lake(rs, u, b);
        else lower_lake(rs, u, -b);
    }
}

void lake_water_above_initial(const run_state& rs, std::vector<double>& water) {
    const int lakes = rs.num_overland_lakes;
    water.assign(ix(std::max(lakes, 0)) + 1, 0.0);
    if (!rs.lakes || !lake_arrays_ready(rs) || lakes < 1) return;
    const double area = rs.cell_size * rs.cell_size;   // m2
    for (int j = 1; j <= rs.GNUM; ++j) {
        const int u = rs.oland_lake_new[ix(j)];
        if (u < 1 || u > lakes) continue;
        const overland_lake& r = rs.overland_lakes[ix(u)];
        const double base = std::max(r.initial_level, rs.elevation[ix(j)]);   // m
        if (r.level > base) water[ix(u)] += (r.level - base) * area;
    }
    for (int u = 1; u <= lakes; ++u)
        water[ix(u)] = std::max(0.0, water[ix(u)] + rs.overland_lakes[ix(u)].inflow);
}

double lake_face_flow(double surface, double depth, double retention, double n,
                      const wetland_record* wetland, double stage, double dx) {
    double sf = (surface - stage) / dx + kSlopeOffset;   // towards the lake, m/m
    if (std::fabs(sf) < kSlopeFloor) return 0.0;
    if (wetland != nullptr) {
        const double hf = depth - wetland->threshold_depth;
        if (hf <= 0.0) return sf * depth * wetland->linear_coef * dx;
    }
    const double hf = depth - retention;
    if (!(hf > 0.0)) return 0.0;
    const double root = sf < 0.0 ? -std::sqrt(-sf) : std::sqrt(sf);
    return root / n * hf * std::cbrt(hf * hf) * dx;
}

bool prepare_lake_step(run_state& rs) {
    if (!rs.lakes || !lake_arrays_ready(rs) || rs.num_overland_lakes < 1) return false;
    const int n = rs.GNUM;
    const int lakes = rs.num_overland_lakes;
    const size_t slots = ix(n) + 1;
    if (rs.ov_lake_stage.size() != slots) rs.ov_lake_stage.assign(slots, 0.0);
    if (rs.ov_lake_gain.size() != slots) rs.ov_lake_gain.assign(slots, 0.0);
    rs.ov_lake_budget_start.assign(ix(lakes) + 1, 0.0);
    rs.ov_lake_budget.assign(ix(lakes) + 1, 0.0);
    rs.ov_lake_out.assign(ix(lakes) + 1, 0.0);
    rs.ov_lake_ring.clear();
    const double area = rs.cell_size * rs.cell_size;
    const int* lake = rs.oland_lake_new.data();
    bool any = false;
    for (int j = 1; j <= n; ++j) {
        const int u = lake[j];
        rs.ov_lake_gain[ix(j)] = 0.0;
        if (u >= 1 && u <= lakes) {
            any = true;
            const overland_lake& r = rs.overland_lakes[ix(u)];
            rs.ov_lake_stage[ix(j)] = r.level;
            // Water above the initial level over this cell.
            const double base = std::max(r.initial_level, rs.elevation[ix(j)]);
            if (r.level > base) rs.ov_lake_budget_start[ix(u)] += (r.level - base) * area;
        } else {
            rs.ov_lake_stage[ix(j)] = 0.0;
        }
        const int right = rs.rightcon[ix(j)];
        const int below = rs.belowcon[ix(j)];
        if ((right != 0 && (u != 0) != (lake[right] != 0)) ||
            (below != 0 && (u != 0) != (lake[below] != 0)))
            rs.ov_lake_ring.push_back(j);
    }
    for (int u = 1; u <= lakes; ++u) {
        rs.ov_lake_budget_start[ix(u)] =
            std::max(0.0, rs.ov_lake_budget_start[ix(u)] + rs.overland_lakes[ix(u)].inflow);
    }
    rs.ov_lake_budget = rs.ov_lake_budget_start;
    return any;
}

void restart_lake_step(run_state& rs) {
    std::fill(rs.ov_lake_gain.begin(), rs.ov_lake_gain.end(), 0.0);
    rs.ov_lake_budget = rs.ov_lake_budget_start;
}

void limit_lake_outflow(run_state& rs, double* qx, double* qy, double seconds) {
    const int* lake = rs.oland_lake_new.data();
    const int* right = rs.rightcon.data();
    const int* below = rs.belowcon.data();
    double* out = rs.ov_lake_out.data();
    double* budget = rs.ov_lake_budget.data();
    std::fill(rs.ov_lake_out.begin(), rs.ov_lake_out.end(), 0.0);
    // Water each lake would give, in cell order.
    bool giving = false;
    for (const int j : rs.ov_lake_ring) {
        const int r = right[j];
        const int b = below[j];
        if (qx != nullptr) {
            if (r != 0 && lake[j] != 0 && lake[r] == 0 && qx[j] > 0.0)
                out[lake[j]] += qx[j] * seconds;
            if (r != 0 && lake[j] == 0 && lake[r] != 0 && qx[j] < 0.0)
                out[lake[r]] -= qx[j] * seconds;
        }
        if (qy != nullptr) {
            if (b != 0 && lake[j] != 0 && lake[b] == 0 && qy[j] > 0.0)
                out[lake[j]] += qy[j] * seconds;
            if (b != 0 && lake[j] == 0 && lake[b] != 0 && qy[j] < 0.0)
                out[lake[b]] -= qy[j] * seconds;
        }
    }
    for (size_t u = 1; u < rs.ov_lake_out.size(); ++u) {
        if (out[u] > 0.0) giving = true;
    }
    if (!giving) return;
    // Share of its demand each lake can meet; the faces scaled by it.
    for (size_t u = 1; u < rs.ov_lake_out.size(); ++u) {
        if (!(out[u] > 0.0)) continue;
        const double share = out[u] > budget[u] ? budget[u] / out[u] : 1.0;
        budget[u] -= share * out[u];
        if (budget[u] < 0.0) budget[u] = 0.0;
        out[u] = share;   // from here on the share
    }
    for (const int j : rs.ov_lake_ring) {
        const int r = right[j];
        const int b = below[j];
        if (qx != nullptr) {
            if (r != 0 && lake[j] != 0 && lake[r] == 0 && qx[j] > 0.0) qx[j] *= out[lake[j]];
            if (r != 0 && lake[j] == 0 && lake[r] != 0 && qx[j] < 0.0) qx[j] *= out[lake[r]];
        }
        if (qy != nullptr) {
            if (b != 0 && lake[j] != 0 && lake[b] == 0 && qy[j] > 0.0) qy[j] *= out[lake[j]];
            if (b != 0 && lake[j] == 0 && lake[b] != 0 && qy[j] < 0.0) qy[j] *= out[lake[b]];
        }
    }
}

void book_lake_step(run_state& rs) {
    const int n = rs.GNUM;
    const int lakes = rs.num_overland_lakes;
    for (int j = 1; j <= n; ++j) {
        const double gain = rs.ov_lake_gain[ix(j)];
        if (gain == 0.0) continue;
        const int u = rs.oland_lake_new[ix(j)];
        if (u >= 1 && u <= lakes) {
            rs.overland_lakes[ix(u)].inflow += gain;
            rs.lakes_changed = 1;
        }
        rs.ov_lake_gain[ix(j)] = 0.0;
    }
}
