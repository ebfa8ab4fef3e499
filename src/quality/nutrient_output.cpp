// Nutrient outputs: the derived quantities (un-ionised ammonia, total N,
// Kjeldahl N and P) of the cells and the stream nodes, the species and total
// maps and link/node datasets at the map interval, and the outlet series of
// each species at the hydrograph interval.
#include <cstdio>
#include <memory>
#include <string>

#include "core/error.h"
#include "core/file_write.h"
#include "output/output.h"
#include "quality/constituent_setup.h"
#include "quality/nutrient_derived.h"
#include "quality/nutrient_names.h"
#include "quality/nutrients.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

// Dataset ids and names of the species maps (mass, concentration).
struct species_map_ids {
    int mass_id;
    const char* mass_name;
    int conc_id;
    const char* conc_name;
};
constexpr species_map_ids kMapIds[kNsmSpecies] = {
    {1025, "OV_no2_mass", 1026, "OV_no2_conc"},   {1028, "OV_no3_mass", 1029, "OV_no3_conc"},
    {1031, "OV_nh4_mass", 1032, "OV_nh4_conc"},   {1034, "OV_on_mass", 1035, "OV_on_conc"},
    {1037, "OV_op_mass", 1038, "OV_op_conc"},     {1040, "OV_dp_mass", 1041, "OV_dp_conc"},
    {1046, "OV_alg_mass", 1047, "OV_alg_conc"},   {1049, "OV_cbod_mass", 1050, "OV_cbod_conc"},
    {1052, "OV_do_mass", 1053, "OV_do_conc"},
};
// Header kinds of the link/node datasets.
constexpr int kFirstMassKind = 8;    // NO2 mass; the nine species follow
constexpr int kFirstConcKind = 17;   // NO2 concentration
constexpr int kTotalNKind = 28, kTotalKnKind = 29, kTotalPKind = 30;

bool has_stream(const run_state& rs) {
    return rs.chan_con_trans && rs.con_chan.stride > 0;
}

std::unique_ptr<map_dataset> begin_map(run_state& rs, const std::vector<double>* values,
                                       const char* folder, const char* prefix, int id,
                                       const char* name, double factor) {
    std::unique_ptr<map_dataset> d(new map_dataset);
    init_map_dataset(*d);
    d->mask = rs.mask;
    d->values = values;
    d->north = rs.map_north;
    d->south = rs.map_south;
    d->east = rs.map_east;
    d->west = rs.map_west;
    d->rows = rs.rows;
    d->cols = rs.cols;
    d->cell_size = rs.cell_size;
    d->factor = factor;
    begin_map_dataset_file(*d, map_dataset_format(rs.settings.map_type), folder, prefix, ".asc",
                           id, name, rs.settings.map_type);
    return d;
}

std::unique_ptr<linknode_dataset> flat_set(run_state& rs, int kind, const std::vector<double>* src,
                                           const char* name, const char* suffix, double factor) {
    std::unique_ptr<linknode_dataset> d(new linknode_dataset);
    bind_linknode_dataset_1d(*d, kind, src, &rs.nx1, &rs.nx, &rs.ltype, nullptr, nullptr, 0,
                             rs.links, rs.con_chan.stride);
    open_linknode_dataset_files(*d, "", name, suffix, factor);
    return d;
}

std::unique_ptr<linknode_dataset> grid_set(run_state& rs, int kind, const node_array* src,
                                           const char* name) {
    std::unique_ptr<linknode_dataset> d(new linknode_dataset);
    bind_linknode_dataset_2d(*d, kind, src, &rs.nx1, &rs.nx, &rs.ltype, nullptr, nullptr, 0,
                             rs.links, rs.con_chan.stride);
    open_linknode_dataset_files(*d, "", name, "", 1000.0);
    return d;
}

void size_stream_outputs(run_state& rs) {
    nsm_stream_outputs& o = rs.nsm->st_out;
    const size_t rows = ix(rs.maxnodes) + 1, cols = ix(rs.links) + 1;
    for (node_array* a : {&o.nh3, &o.total_n, &o.tkn, &o.total_p})
        if (a->rows() != rows || a->cols() != cols) a->assign(rows, cols, 0.0);
}

}  // namespace

void compute_nsm_overland_outputs(run_state& rs) {
    nsm_model& m = *rs.nsm;
    const int b = rs.first_nsm_constituent, cells = rs.GNUM;
    const size_t slots = ix(cells) + 1;
    nsm_overland_outputs& o = m.ov_out;
    for (std::vector<double>* v : {&o.nh3, &o.total_n, &o.total_p})
        if (v->size() != slots) v->assign(slots, 0.0);
    const con_rows& M = rs.con.mass;
    overland_unionised_ammonia(M[ix(b + kNsmNh4)], rs.ov_depth, rs.cell_size * rs.cell_size, cells,
                               m.ka, m.h_ion, o.nh3);
    for (int j = 1; j <= cells; ++j) {
        const size_t c = ix(j);
        o.total_n[c] = nsm_total_n(M[ix(b + kNsmNo2)][c], M[ix(b + kNsmNo3)][c], M[ix(b + kNsmNh4)][c],
                                   M[ix(b + kNsmOn)][c], o.nh3[c]);
        o.total_p[c] = nsm_total_p(M[ix(b + kNsmOp)][c], M[ix(b + kNsmDp)][c]);
    }
}

void compute_nsm_stream_outputs(run_state& rs) {
    if (!has_stream(rs)) return;
    nsm_model& m = *rs.nsm;
    size_stream_outputs(rs);
    const int b = rs.first_nsm_constituent;
    const con_rows& M = rs.con_chan.mass;
    nsm_stream_outputs& o = m.st_out;
    stream_unionised_ammonia(M[ix(b + kNsmNh4)], rs.area, rs.dx, rs.nx, rs.links, rs.maxnodes, m.ka,
                             m.h_ion, o.nh3);
    const size_t stride = ix(rs.con_chan.stride);
    for (int l = 1; l <= rs.links; ++l) {
        for (int k = 1; k <= rs.nx[ix(l)]; ++k) {
            const size_t f = stride * ix(l) + ix(k), n = ix(k), li = ix(l);
            const double nh3 = o.nh3(n, li);
            o.total_n(n, li) = nsm_total_n(M[ix(b + kNsmNo2)][f], M[ix(b + kNsmNo3)][f],
                                           M[ix(b + kNsmNh4)][f], M[ix(b + kNsmOn)][f], nh3);
            o.tkn(n, li) = nsm_tkn(M[ix(b + kNsmNh4)][f], M[ix(b + kNsmOn)][f], nh3);
            o.total_p(n, li) = nsm_total_p(M[ix(b + kNsmOp)][f], M[ix(b + kNsmDp)][f]);
        }
    }
}

void open_nsm_map_datasets(run_state& rs) {
    if (!rs.nsm_on || rs.nsm == nullptr || rs.first_nsm_constituent < 1) return;
    nsm_model& m = *rs.nsm;
    const project_cards& c = rs.cards;
    const int b = rs.first_nsm_constituent;
    const size_t slots = ix(rs.GNUM) + 1;
    for (std::vector<double>* v : {&m.ov_out.nh3, &m.ov_out.total_n, &m.ov_out.total_p})
        if (v->size() != slots) v->assign(slots, 0.0);
    if (c.total_ov_n_given)
        m.total_ov_n_map = begin_map(rs, &m.ov_out.total_n, c.total_ov_n, "", 1055, "Total_ov_N", 1.0);
    if (c.total_ov_p_given)
        m.total_ov_p_map = begin_map(rs, &m.ov_out.total_p, c.total_ov_p, "", 1056, "Total_ov_P", 1.0);
    if (error_record.code != 0) return;
    for (int s = 0; s < kNsmSpecies; ++s) {
        if (!m.out_ov_given[s]) continue;
        const species_map_ids& id = kMapIds[s];
        m.ov_mass_map[s] = begin_map(rs, &rs.con.mass[ix(b + s)], m.out_ov_file[s], ".mass",
                                     id.mass_id, id.mass_name, 1000.0);
        m.ov_conc_map[s] = begin_map(rs, &rs.con.conc[ix(b + s)], m.out_ov_file[s], ".conc",
                                     id.conc_id, id.conc_name, 1.0);
        if (error_record.code != 0) return;
    }
    // Stream outputs need the channel node stores.
    ensure_channel_constituent_stores(rs);
    if (!has_stream(rs)) return;
    size_stream_outputs(rs);
    if (c.total_chan_n_given) m.total_chan_n_set = grid_set(rs, kTotalNKind, &m.st_out.total_n, c.total_chan_n);
    if (c.total_chan_kn_given) m.total_chan_kn_set = grid_set(rs, kTotalKnKind, &m.st_out.tkn, c.total_chan_kn);
    if (c.total_chan_p_given) m.total_chan_p_set = grid_set(rs, kTotalPKind, &m.st_out.total_p, c.total_chan_p);
    for (int s = 0; s < kNsmSpecies; ++s) {
        if (!m.out_st_given[s]) continue;
        m.st_mass_set[s] = flat_set(rs, kFirstMassKind + s, &rs.con_chan.mass[ix(b + s)],
                                    m.out_st_file[s], ".mass", 1000.0);
        m.st_conc_set[s] = flat_set(rs, kFirstConcKind + s, &rs.con_chan.conc[ix(b + s)],
                                    m.out_st_file[s], ".conc", 1.0);
    }
}

void open_nutrient_hydrograph_files(run_state& rs) {
    if (!rs.nsm_on || rs.nsm == nullptr) return;
    nsm_model& m = *rs.nsm;
    for (int s = 0; s < kNsmSpecies; ++s) {
        if (!m.out_hyd_given[s]) continue;
        char name[64] = "";
        get_constituent_display_name(name, sizeof name, s, 0);
        for (int which = 0; which < 2; ++which) {
            const bool conc = which == 0;
            const std::string path = std::string(m.out_hyd_file[s]) + (conc ? ".conc" : ".mass");
            file_object& f = conc ? m.hyd_conc[s] : m.hyd_mass[s];
            if (open_file_named(f, path.c_str(), "w")) continue;
            char text[1400];
            std::snprintf(text, sizeof text,
                          "Error opening %s output file (hydrograph style )\nfor the %s hydrograph "
                          "file. \nGiven filename: %s\n",
                          conc ? "nutrient concentration" : "nutrient mass", name, path.c_str());
            write_report_text(current_summary_file, text);
            set_error(4, conc ? "nutrient concentration" : "nutrient mass", path.c_str());
            report_error(error_record);
            return;
        }
    }
}

void write_nutrient_map_output(run_state& rs) {
    if (!rs.nsm_on || rs.nsm == nullptr || rs.first_nsm_constituent < 1) return;
    nsm_model& m = *rs.nsm;
    const double t = rs.elapsed_minutes;
    compute_nsm_lake_outputs(rs);
    if (m.total_ov_n_map || m.total_ov_p_map) compute_nsm_overland_outputs(rs);
    if (m.total_ov_n_map && !write_map_dataset_step(*m.total_ov_n_map, t)) return;
    if (m.total_ov_p_map && !write_map_dataset_step(*m.total_ov_p_map, t)) return;
    if (m.total_chan_n_set || m.total_chan_kn_set || m.total_chan_p_set) compute_nsm_stream_outputs(rs);
    for (linknode_dataset* d : {m.total_chan_n_set.get(), m.total_chan_kn_set.get(), m.total_chan_p_set.get()})
        if (d != nullptr) write_linknode_dataset_step(*d);
    for (int s = 0; s < kNsmSpecies; ++s) {
        if (m.ov_mass_map[s] && !write_map_dataset_step(*m.ov_mass_map[s], t)) return;
        if (m.ov_conc_map[s] && !write_map_dataset_step(*m.ov_conc_map[s], t)) return;
        if (m.st_mass_set[s]) write_linknode_dataset_step(*m.st_mass_set[s]);
        if (m.st_conc_set[s]) write_linknode_dataset_step(*m.st_conc_set[s]);
    }
}

void write_nutrient_point_series(run_state& rs) {
    if (!rs.nsm_on || rs.nsm == nullptr || rs.first_nsm_constituent < 1) return;
    nsm_model& m = *rs.nsm;
    const int b = rs.first_nsm_constituent;
    for (int s = 0; s < kNsmSpecies; ++s) {
        if (!m.out_hyd_given[s]) continue;
        // The outlet: the last node of the outlet link, or the outlet cell.
        double conc = 0.0, mass = 0.0;   // g/m3, g
        const size_t c = ix(b + s);
        if (has_stream(rs) && rs.links >= 1) {
            const size_t f = ix(rs.con_chan.stride * rs.links + rs.nx[ix(rs.links)]);
            conc = rs.con_chan.conc[c][f];
            mass = rs.con_chan.mass[c][f];
        } else if (rs.outlet_cell >= 1 && rs.outlet_cell <= rs.GNUM) {
            conc = rs.con.conc[c][ix(rs.outlet_cell)];
            mass = rs.con.mass[c][ix(rs.outlet_cell)];
        }
        if (m.hyd_mass[s].is_open()) file_printf(m.hyd_mass[s], "%16.8lf %11.4lf\n", rs.elapsed_minutes, mass);
        if (m.hyd_conc[s].is_open()) file_printf(m.hyd_conc[s], "%16.8lf %11.4lf\n", rs.elapsed_minutes, conc);
    }
}
