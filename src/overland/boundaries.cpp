// Overland boundary conditions: reading the types, the current values and
// their application to the depths before the routing.
#include "overland/boundaries.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "input/mapping_table.h"
#include "input/process_tables.h"
#include "input/table_loader.h"
#include "input/time_series.h"
#include "quality/constituent_steps.h"
#include "run/run_state.h"

namespace {

constexpr double kZero = 1e-16;              // depths, heads and flows at most this count as zero
constexpr double kCubicFeetToCubicMetres = 0.0283168466;   // m3 per ft3
constexpr double kOutflowExponent = 1.666667;   // exponent of the free-outflow law

// True for the types a boundary table may give a cell.
bool known_type(int type) {
    return (type >= 0 && type <= 7) || type == 99;
}

bool indexed_series_exists(int id) {
    for (time_series_index_entry* e = time_series_index; e != nullptr; e = e->next)
        if (e->id == id) return e->series != nullptr;
    return false;
}

// Checks one row of the OVERLAND_BOUNDARY table (type and parameter); false
// after the message naming the table and line.
bool check_boundary_row(const char* table, int line, int id, double type_value, double param) {
    const int type = static_cast<int>(type_value);
    if (type_value != std::trunc(type_value) || !known_type(type)) {
        report_table_failure("Error: mapping table %s, line %d: the overland boundary type %g of "
                             "ID %d is not one of 0 to 7 or 99.\n",
                             table, line, type_value, id);
        return false;
    }
    if (type == 1 && !(param > 0.0)) {
        report_table_failure("Error: mapping table %s, line %d: the free-outflow slope %g of ID %d "
                             "must be above 0.\n",
                             table, line, param, id);
        return false;
    }
    if (type >= 3 && type <= 5) {
        if (param != std::trunc(param) || std::fabs(param) > 1e9 ||
            !indexed_series_exists(static_cast<int>(param))) {
            report_table_failure("Error: mapping table %s, line %d: the time-series ID %g of ID %d "
                                 "names no series of the TIME_SERIES_INDEX table.\n",
                                 table, line, param, id);
            return false;
        }
    }
    if ((type == 6 || type == 7) && (param != std::trunc(param) || !(param >= 1.0) || param > 1e9)) {
        report_table_failure("Error: mapping table %s, line %d: the rating-curve ID %g of ID %d "
                             "must be a whole number above 0.\n",
                             table, line, param, id);
        return false;
    }
    return true;
}

// Reads the ID rows of the section into by-ID type and parameter arrays,
// checking each row. Returns the largest ID, 0 on failure (reported).
int read_boundary_rows(run_state& rs, std::vector<double>& type_by_id,
                       std::vector<double>& param_by_id, std::string& map_file) {
    const char* table = rs.files.mapping_table;
    ensure_time_series_index(rs, table);
    file_object f;
    if (!open_mapping_table(f, table)) return 0;
    const int n = find_mapping_section(f, kSecOverlandBoundary, map_file) ? read_num_ids(f) : 0;
    if (n > 0) skip_table_heading(f);
    if (n <= 0) {
        close_file_object(f);
        report_missing_section(kSecOverlandBoundary);
        return 0;
    }
    id_table rows;
    std::vector<int> lines;
    rows.columns = 2;
    for (int r = 0; r < n; ++r) {
        const long start = std::ftell(f.handle);
        int id = 0;
        double values[2] = {0.0, 0.0};
        const int good = read_table_row(f, id, 2, values);
        const int line = file_line_number(f, start);
        if (!good || id < 1 || id > kMaxTableId || !std::isfinite(values[0]) ||
            !std::isfinite(values[1])) {
            report_table_failure("Error: mapping table %s, line %d: a row of the OVERLAND_BOUNDARY "
                                 "table must hold an ID from 1 to %d in characters 1 to 6 and a "
                                 "type and a parameter from character 87 on.\n",
                                 table, line, kMaxTableId);
            close_file_object(f);
            return 0;
        }
        if (!check_boundary_row(table, line, id, values[0], values[1])) {
            close_file_object(f);
            return 0;
        }
        rows.ids.push_back(id);
        rows.values.push_back(values[0]);
        rows.values.push_back(values[1]);
        rows.largest_id = std::max(rows.largest_id, id);
    }
    close_file_object(f);
    scatter_by_id(rows, 1, rows.largest_id, type_by_id);
    scatter_by_id(rows, 2, rows.largest_id, param_by_id);
    return rows.largest_id;
}

// Moves depth u (m) from cell `from` to cell `to`.
inline void move_depth(std::vector<double>& h, int from, int to, double u) {
    h[static_cast<size_t>(from)] -= u;
    h[static_cast<size_t>(to)] += u;
}

// Water (m3) that left cell c through a boundary: kept per cell while
// constituents are carried, so that their mass leaves with it.
inline void book_leaving_water(run_state& rs, int c, double volume) {
    std::vector<double>& v = rs.con.bc_volume;
    if (static_cast<size_t>(c) < v.size()) v[static_cast<size_t>(c)] += volume;
}

// Level of a cell, m.
inline double level_of(const run_state& rs, int c) {
    return rs.elevation[static_cast<size_t>(c)] + rs.ov_depth[static_cast<size_t>(c)];
}

// Rating-curve discharge (m3/s) for a level difference (m); never below 0.
double rating(const run_state& rs, int cell, double head) {
    const size_t c = static_cast<size_t>(cell);
    if (c >= rs.ov_boundary_records.size() || rs.ov_boundary_records[c].rating_curve == nullptr)
        return 0.0;
    const double q = elevation_series_value(head, rs.ov_boundary_records[c].rating_curve);
    return q > 0.0 ? q : 0.0;
}

// The four neighbours of a cell (faces 1 top, 2 right, 3 bottom, 4 left).
void neighbours_of(const run_state& rs, int c, int (&m)[4]) {
    const size_t j = static_cast<size_t>(c);
    m[0] = rs.abovecon[j];
    m[1] = rs.rightcon[j];
    m[2] = rs.belowcon[j];
    m[3] = rs.leftcon[j];
}

bool exchange_partner(const run_state& rs, int m) {
    return m != 0 && rs.boundary_type[static_cast<size_t>(m)] == 99;
}

// Two-way rating-curve exchange of cell c with its type 99 neighbours: first
// every inflow, then every outflow, each at most half the current level
// difference (equal cells even out) and at most the giver's water. dd = dt / dx^2.
void two_way_exchange(run_state& rs, int c, double dd) {
    int m[4];
    neighbours_of(rs, c, m);
    for (int pass = 0; pass < 2; ++pass) {
        const bool inflow = pass == 0;
        for (int k = 0; k < 4; ++k) {
            if (!exchange_partner(rs, m[k])) continue;
            const double head = level_of(rs, c) - level_of(rs, m[k]);   // m
            const int giver = inflow ? m[k] : c;
            const int taker = inflow ? c : m[k];
            if (inflow ? !(head < -kZero) : !(head > kZero)) continue;
            const double held = rs.ov_depth[static_cast<size_t>(giver)];
            if (!(held > kZero)) continue;
            double u = rating(rs, c, std::fabs(head)) * dd;
            u = std::min({u, 0.5 * std::fabs(head), held});
            if (u > 0.0) {
                move_depth(rs.ov_depth, giver, taker, u);
                record_surface_move(rs, giver, taker, u * rs.cell_size * rs.cell_size);
            }
        }
    }
}

// Outflow-only rating-curve exchange: the curve of the cell's depth, towards
// every lower type 99 neighbour, at most half the level difference and at most
// the water left.
void outflow_exchange(run_state& rs, int c, double dd) {
    if (!(rs.ov_depth[static_cast<size_t>(c)] > 0.0)) return;
    int m[4];
    neighbours_of(rs, c, m);
    for (int k = 0; k < 4; ++k) {
        if (!exchange_partner(rs, m[k])) continue;
        const double h = rs.ov_depth[static_cast<size_t>(c)];
        const double head = level_of(rs, c) - level_of(rs, m[k]);
        if (!(head > kZero) || !(h > kZero)) continue;
        double u = rating(rs, c, h) * dd;
        u = std::min({u, 0.5 * head, h});
        if (u > 0.0) {
            move_depth(rs.ov_depth, c, m[k], u);
            record_surface_move(rs, c, m[k], u * rs.cell_size * rs.cell_size);
        }
    }
}

// Held depth of a type 2, 3 or 9 cell, m: type 9 holds the outer model's
// depth of the current step, types 2 and 3 the level above the ground.
inline double held_depth(const run_state& rs, int c) {
    if (rs.boundary_type[static_cast<size_t>(c)] == 9) return rs.ov_boundary_value[static_cast<size_t>(c)];
    const double d = rs.ov_boundary_value[static_cast<size_t>(c)] - rs.elevation[static_cast<size_t>(c)];
    return d > 0.0 ? d : 0.0;
}

}  // namespace

void read_overland_boundary_types(run_state& rs) {
    if (!rs.ov_boundary) return;
    const size_t size = static_cast<size_t>(rs.GNUM) + 1;
    rs.boundary_type.assign(size, 0);
    rs.ov_boundary_param.assign(size, 0.0);
    rs.ov_boundary_value.assign(size, 0.0);
    rs.ov_boundary_cells.clear();
    rs.ov_head_cells.clear();

    const bool table = rs.mapping_table_given && rs.mapping_sections[kSecOverlandBoundary];
    if (!table && !rs.xy_ov_boundary) {
        set_error(84);
        report_error(error_record);
        return;
    }
    if (table) {
        std::vector<double> type_by_id;
        std::vector<double> param_by_id;
        std::string map_file;
        const int largest = read_boundary_rows(rs, type_by_id, param_by_id, map_file);
        if (largest < 1) return;
        // Cells of ID 0 carry no boundary.
        std::vector<int> cell_ids;
        if (!read_section_index_map(rs, map_file, largest, zero_ids::allow, cell_ids)) return;
        std::vector<double> types(size, 0.0);
        fill_cells_by_id(types, type_by_id, cell_ids, rs.GNUM);
        fill_cells_by_id(rs.ov_boundary_param, param_by_id, cell_ids, rs.GNUM);
        for (size_t j = 1; j < size; ++j) {
            rs.boundary_type[j] = static_cast<int>(types[j]);
            rs.ov_boundary_value[j] = types[j];
        }
        bool rating_cells = false;
        for (size_t j = 1; j < size; ++j) {
            const int t = rs.boundary_type[j];
            if (t == 6 || t == 7) rating_cells = true;
        }
        if (rating_cells &&
            !load_rating_curves(rs.files.mapping_table, rs.boundary_type, rs.ov_boundary_param,
                                rs.GNUM, rs.ov_boundary_records))
            return;
    }
    if (rs.xy_ov_boundary) {
        // The cells of the overland XY points (inset model boundary) are held at the outer depth.
        if (!check_xy_cells(rs.cards.xy_in, rs.GNUM)) {
            report_error(error_record);
            return;
        }
        for (const xy_point& p : rs.cards.xy_in.ovpts) rs.boundary_type[static_cast<size_t>(p.cell)] = 9;
    }
    for (int j = 1; j <= rs.GNUM; ++j) {
        const int t = rs.boundary_type[static_cast<size_t>(j)];
        if (t >= 1 && t <= 7) rs.ov_boundary_cells.push_back(j);
        if (held_boundary_type(t)) rs.ov_head_cells.push_back(j);
    }
}

void compute_boundary_values(run_state& rs) {
    // Only the boundary cells carry a value; the list is short, so one thread.
    for (int c : rs.ov_boundary_cells) {
        const size_t j = static_cast<size_t>(c);
        const int t = rs.boundary_type[j];
        double v = 0.0;
        if (t == 1 || t == 2) v = rs.ov_boundary_param[j];
        else if (t >= 3 && t <= 5) v = indexed_series_value(static_cast<int>(rs.ov_boundary_param[j]), rs.time);
        rs.ov_boundary_value[j] = v;
    }
    if (series_lookup_failures() != 0) report_series_lookup_failures();
}

void apply_overland_boundaries(run_state& rs, double dt) {
    if (rs.boundary_type.empty() || !(dt > 0.0)) return;
    const double dx = rs.cell_size;
    const double area = dx * dx;   // m2
    const double dd = dt / area;   // s/m2
    double slope_loss = 0.0, head_gain = 0.0, head_loss = 0.0;   // m3
    double q_gain = 0.0, q_loss = 0.0, q_unmet = 0.0;            // m3
    if (rs.xy_ov_boundary && !rs.cards.xy_in.ovpts.empty()) {
        apply_xy_ov_boundary(rs.cards.xy_in, rs.ov_depth.data(), dx, rs.time, head_gain, head_loss);
        for (const xy_point& p : rs.cards.xy_in.ovpts)
            rs.ov_boundary_value[static_cast<size_t>(p.cell)] = rs.ov_depth[static_cast<size_t>(p.cell)];
    }
    for (int c : rs.ov_boundary_cells) {
        const size_t j = static_cast<size_t>(c);
        const double v = rs.ov_boundary_value[j];
        double& h = rs.ov_depth[j];
        switch (rs.boundary_type[j]) {
            case 1: {
                int edges = 0;
                int m[4];
                neighbours_of(rs, c, m);
                for (int k : m) edges += k == 0 ? 1 : 0;
                if (edges == 0 || !(h > 0.0)) break;
                const double face = std::sqrt(v) * std::pow(h, kOutflowExponent) * dx /
                                    rs.dist_rough[j] * dd;   // depth through one face, m
                const double out = edges * face;
                if (h < out) {
                    slope_loss += h * area;
                    book_leaving_water(rs, c, h * area);
                    h = 0.0;
                } else {
                    slope_loss += out * area;
                    book_leaving_water(rs, c, out * area);
                    h -= out;
                }
                break;
            }
            case 2:
            case 3: {
                const double target = held_depth(rs, c);
                const double change = target - h;
                if (change >= 0.0) head_gain += change * area;
                else head_loss += -change * area;
                if (change < 0.0) book_leaving_water(rs, c, -change * area);
                h = target;
                break;
            }
            case 4:
            case 5: {
                const double rate = rs.boundary_type[j] == 4 ? v * kCubicFeetToCubicMetres : v;   // m3/s
                const double d = rate * dd;   // m
                if (d < -kZero) {
                    if (h < -d) {
                        q_unmet += (-d - h) * area;
                        q_loss += h * area;
                        book_leaving_water(rs, c, h * area);
                        h = 0.0;
                    } else {
                        h += d;
                        q_loss += -d * area;
                        book_leaving_water(rs, c, -d * area);
                    }
                } else {
                    h += d;
                    q_gain += rate * dt;
                }
                break;
            }
            case 6: two_way_exchange(rs, c, dd); break;
            case 7: outflow_exchange(rs, c, dd); break;
            default: break;
        }
    }
    rs.vol_slope_bc_loss += slope_loss;
    rs.vol_head_bc_gain += head_gain;
    rs.vol_head_bc_loss += head_loss;
    rs.vol_discharge_bc_gain += q_gain;
    rs.vol_discharge_bc_loss += q_loss;
    rs.vol_discharge_bc_unmet += q_unmet;
}

void hold_head_cells(const run_state& rs, double* depth, double& gain, double& loss,
                     double* cell_loss) {
    const double area = rs.cell_size * rs.cell_size;
    size_t k = 0;
    for (int c : rs.ov_head_cells) {
        const double target = held_depth(rs, c);
        const double change = target - depth[c];
        if (change >= 0.0) gain += change * area;
        else loss += -change * area;
        if (cell_loss != nullptr && change < 0.0) cell_loss[k] += -change * area;
        depth[c] = target;
        ++k;
    }
}

double* clear_head_cell_losses(run_state& rs) {
    if (rs.con.bc_volume.empty() || rs.ov_head_cells.empty()) return nullptr;
    std::vector<double>& l = rs.con.head_loss;
    l.assign(rs.ov_head_cells.size(), 0.0);   // sized once: later calls only clear
    return l.data();
}

void book_head_cell_losses(run_state& rs) {
    if (rs.con.bc_volume.empty()) return;
    const std::vector<double>& l = rs.con.head_loss;
    for (size_t k = 0; k < l.size() && k < rs.ov_head_cells.size(); ++k)
        book_leaving_water(rs, rs.ov_head_cells[k], l[k]);
}
