// Contaminant inputs (the contaminant table of the mapping table, or the
// uniform cards), the constituent stores, and the initial constituent state.
#include "quality/contaminant.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_write.h"
#include "input/map_reader.h"
#include "input/process_tables.h"
#include "quality/conc_lakes.h"
#include "quality/constituent_setup.h"
#include "quality/sediment_bound_step.h"
#include "quality/nutrients.h"
#include "run/run_state.h"

namespace {

constexpr double kDry = 1e-16;            // depths at or below count as dry, m
constexpr double kSecondsPerDay = 86400.0;

// Prints a bad-input message on the console and in the summary file and
// stops the run through the error record.
void refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));
void refuse(const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    write_report_text(current_summary_file, text);
    set_error(kErrorPrinted);
    report_error(error_record);
}

void size_rows(con_rows& r, int n, int cells) {
    r.assign(static_cast<size_t>(n) + 1, std::vector<double>(static_cast<size_t>(cells) + 1, 0.0));
}

void size_totals(constituent_totals& t, int n) {
    for (std::vector<double>* v :
         {&t.ov_init, &t.land_init, &t.chan_init, &t.precip, &t.infil, &t.ov_decay, &t.uptake,
          &t.ov_out, &t.bc_out, &t.qlat, &t.ov_neg, &t.chan_out, &t.chan_decay, &t.chan_clip, &t.soil_decay,
          &t.ov_point, &t.ov_exfil, &t.soil_seep_down, &t.soil_seep_up, &t.soil_nsm_uptake, &t.soil_sediment,
          &t.ov_sed_source, &t.ov_attached_out, &t.ov_to_lake, &t.ov_nsm_gain, &t.ov_nsm_loss,
          &t.chan_point, &t.chan_gw, &t.chan_nsm_gain, &t.chan_nsm_loss, &t.chan_sed_exchange,
          &t.chan_attached_qlat, &t.chan_attached_out, &t.lake_init, &t.lake_precip, &t.lake_point,
          &t.lake_gw, &t.lake_decay, &t.chan_to_lake, &t.lake_to_chan, &t.lake_chan_exchange,
          &t.lake_nsm_gain, &t.lake_nsm_loss, &t.lake_attached_exchange, &t.lake_attached_ov_in,
          &t.lake_attached_chan_in, &t.soil_out, &t.soil_held,
          &t.nsm_gain, &t.nsm_loss, &t.pool_init, &t.to_pool, &t.pool_in})
        v->assign(static_cast<size_t>(n) + 1, 0.0);
    for (std::vector<double>* v :
         {&t.sed_from_soil, &t.sed_to_soil, &t.sed_to_chan, &t.sed_out, &t.sed_released,
          &t.sed_lake_settled, &t.surface_moved})
        v->assign(static_cast<size_t>(n) + 1, 0.0);
}

// Copies one column of the contaminant table (rows 1..n, cells 1..GNUM) into a store.
void copy_table_column(const checked_array_2d<double>& table, con_rows& out, int n, int cells) {
    for (int i = 1; i <= n; ++i) {
        const double* row = table.row(i);
        if (row == nullptr) continue;
        for (int j = 1; j <= cells; ++j) out[static_cast<size_t>(i)][static_cast<size_t>(j)] = row[j];
    }
}

// Refuses a value the transport cannot use: not finite or below 0.
bool check_values(const con_rows& r, int n, int cells, const char* what) {
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= cells; ++j) {
            const double v = r[static_cast<size_t>(i)][static_cast<size_t>(j)];
            if (std::isfinite(v) && v >= 0.0) continue;
            refuse("\nError: the %s of contaminant %d in cell %d is %g; it must be a finite "
                          "number not below 0.\n",
                          what, i, j, v);
            return false;
        }
    }
    return true;
}

}  // namespace

double scaled_pending_amount(double dt, double interval, double amount) {
    return interval - dt > kConShareTolerance ? amount * dt / interval : amount;
}

double kinetics_factor(const run_state& rs) {
    return rs.kinetics_timestep_factor > 0.0 ? rs.kinetics_timestep_factor : 1.0;
}

double groundwater_conc(const run_state& rs, int i, int cell) {
    if (i < 1 || i > rs.num_constituents || cell < 1 || cell > rs.GNUM) return 0.0;
    if (rs.constituent_type[static_cast<size_t>(i)] == 1) {
        const double* row = rs.contam_gw_conc.row(i);
        return row != nullptr ? row[cell] : 0.0;
    }
    if (rs.nsm == nullptr || rs.first_nsm_constituent < 1) return 0.0;
    const size_t k = static_cast<size_t>(i - rs.first_nsm_constituent);
    const std::vector<std::vector<double>>& g = rs.nsm->gw_conc;
    return k < g.size() && static_cast<size_t>(cell) < g[k].size() ? g[k][static_cast<size_t>(cell)] : 0.0;
}

int related_constituent_offset(int first_nsm, int r, int table) {
    static const int kRelated[2][13] = {
        {-1, -1, 2, 1, 3, -1, -1, -1, 5, -1, 4, -1, -1},   // soil pool -> water species
        {-1, 3, 2, 4, 10, 8, -1, -1, -1, -1, -1, -1, -1},  // water species -> soil pool
    };
    const int k = r - first_nsm;
    if (first_nsm < 1 || k < 0 || k >= 13 || table < 0 || table > 1) return r;
    const int e = kRelated[table][k];
    return e < 0 ? -1 : first_nsm + e;
}

void alloc_constituent_arrays(run_state& rs, int contaminants) {
    const int cells = rs.GNUM;
    // The nutrient block follows the contaminants: nine water species, then
    // the soil-only pools.
    const int block = nutrient_block_size(rs);
    const int n = contaminants + block;
    rs.num_constituents = n;
    rs.constituent_type.assign(static_cast<size_t>(n) + 1, 1);
    rs.constituent_type[0] = 0;
    rs.first_nsm_constituent = block > 0 ? contaminants + 1 : -1;
    for (int k = 0; k < block; ++k)
        rs.constituent_type[static_cast<size_t>(contaminants + 1 + k)] = k < kNsmSpecies ? 2 : 3;
    constituent_cells& c = rs.con;
    for (con_rows* r : {&c.conc, &c.mass, &c.land, &c.disp, &c.decay, &c.uptake, &c.soil_conc,
                        &c.pend_precip, &c.pend_infil, &c.pend_soil_in, &c.pend_exchange, &c.pend_decay,
                        &c.pend_lateral, &c.layer_mass, &c.layer_conc, &c.layer_fraction,
                        &c.soil_decay, &c.kd, &c.pend_soil_exchange})
        size_rows(*r, n, cells);
    c.exit_mass.assign(static_cast<size_t>(n) + 1, 0.0);
    c.bc_volume.assign(static_cast<size_t>(cells) + 1, 0.0);
    c.disp_max_ready = 0;
    c.sweep_ready = 0;
    const size_t slots = static_cast<size_t>(cells) + 1;
    for (std::vector<double>* w :
         {&c.disp_max, &c.rate, &c.adv1, &c.dsp1, &c.m_pred, &c.c_pred, &c.limit,
          &c.book_soil_decay, &c.book_neg, &c.book_soil_held})
        w->assign(slots, 0.0);
    rs.con_h_last.assign(slots, 0.0);
    c.block_sums.assign(static_cast<size_t>((cells + kSumBlock - 1) / kSumBlock + 1) * kConBooked, 0.0);
    size_totals(rs.con_tot, n);
}

bool channel_constituents_only(const run_state& rs) {
    return !rs.overland_constituents && rs.chan_con_trans && rs.chan_explic;
}

void read_contaminant_inputs(run_state& rs) {
    const bool channel_only = channel_constituents_only(rs);
    if (!rs.overland_constituents && !channel_only) return;
    const int cells = rs.GNUM;
    const bool table = rs.mapping_table_given &&
                       rs.mapping_sections[input_state::kMapContaminants] != 0 &&
                       (rs.contaminant_table_option == 1 || channel_only);
    if (channel_only && !table) {
        refuse("\nError: the card chan_con_trans without ov_con_trans carries the contaminants "
               "of the CONTAMINANT_TRANSPORT section of the mapping table, and no mapping table "
               "holding that section is given.\n");
        return;
    }
    if (table) {
        print_reading_line(rs, "reading contaminant transport table and map from master table "
                               "file\n", nullptr);
        int count = 0;
        load_contaminant_table(rs, rs.files.mapping_table, count, run_contaminant_outputs(rs));
        if (error_record.stop) return;
        rs.contaminant_count = count;
        alloc_constituent_arrays(rs, count);
        constituent_cells& c = rs.con;
        copy_table_column(rs.contam_disp_coef, c.disp, count, cells);
        copy_table_column(rs.contam_decay_coef, c.decay, count, cells);
        copy_table_column(rs.contam_uptake_coef, c.uptake, count, cells);
        copy_table_column(rs.contam_land_load, c.land, count, cells);
        copy_table_column(rs.contam_init_conc, c.conc, count, cells);
        copy_table_column(rs.contam_soil_conc, c.soil_conc, count, cells);
        copy_table_column(rs.contam_soil_kd, c.kd, count, cells);
        if (!check_values(c.disp, count, cells, "dispersion coefficient") ||
            !check_values(c.decay, count, cells, "decay coefficient") ||
            !check_values(c.uptake, count, cells, "uptake coefficient") ||
            !check_values(c.land, count, cells, "land mass load") ||
            !check_values(c.conc, count, cells, "initial concentration") ||
            !check_values(c.soil_conc, count, cells, "surface-soil concentration") ||
            !check_values(c.kd, count, cells, "soil partition coefficient"))
            return;
        for (int i = 1; i <= count; ++i) {
            const double p = rs.precip_conc.size >= i ? rs.precip_conc[i] : 0.0;
            if (!std::isfinite(p) || p < 0.0) {
                refuse("\nError: mapping table %s: the PRECIP_CONC of contaminant %d is %g; "
                              "it must be a finite number not below 0.\n",
                              rs.files.mapping_table, i, p);
                return;
            }
        }
    } else {
        print_reading_line(rs, "using uniform contaminant transport values\n", nullptr);
        if (rs.contaminant_count < 0 && rs.nsm_on) {
            // A run of nutrients alone carries no contaminant.
            rs.contaminant_count = 0;
        } else if (rs.contaminant_count < 0) {
            // Without a table nothing gives the number of contaminants.
            rs.contaminant_count = 0;
            alloc_constituent_arrays(rs, 0);
            set_error(125);
            report_error(error_record);
            return;
        }
        const int n = rs.contaminant_count;
        alloc_constituent_arrays(rs, n);
        if (rs.precip_conc.size < n) rs.precip_conc.grow(n - rs.precip_conc.size);
        constituent_cells& c = rs.con;
        for (int i = 1; i <= n; ++i) {
            for (int j = 1; j <= cells; ++j) {
                const size_t ii = static_cast<size_t>(i), jj = static_cast<size_t>(j);
                c.disp[ii][jj] = rs.ov_disp_coef;
                c.decay[ii][jj] = rs.ov_decay_coef;
                c.uptake[ii][jj] = rs.ov_uptake_rate;
                c.land[ii][jj] = rs.ov_mass_load;
            }
        }
    }

    // The load map is a land load: only the cells use it.
    if (rs.contam_map && rs.contaminant_count >= 1 && rs.overland_constituents) {
        if (console_lines_on(rs))
            std::printf("reading contamimant load map from file: %s\n", rs.files.contam_map);
        file_printf(rs.summary_file, "reading contaminant load map from file: %s\n",
                    rs.files.contam_map);
        std::vector<double> load;
        load.assign(static_cast<size_t>(cells) + 1, 0.0);
        const bool ok = read_map_file(rs.contam_map_file, rs.files.contam_map, kMapCellReals,
                                      rs.map_north, rs.map_south, rs.map_east, rs.map_west,
                                      rs.map_rows, rs.map_cols, rs.mask, &load, nullptr, nullptr,
                                      rs.rows, rs.cols);
        close_file_object(rs.contam_map_file);
        if (!ok) return;
        for (int j = 1; j <= cells; ++j) {
            const double v = load[static_cast<size_t>(j)];
            if (!std::isfinite(v) || v < 0.0) {
                refuse("\nError: contaminant load map %s: cell %d holds %g; a load must be "
                              "a finite number not below 0.\n",
                              rs.files.contam_map, j, v);
                return;
            }
            rs.con.land[1][static_cast<size_t>(j)] = v;
        }
    }
}

void init_constituent_state(run_state& rs) {
    if (!rs.overland_constituents) {
        if (!channel_constituents_only(rs)) return;
        init_channel_constituents(rs);
        init_lake_constituents(rs);
        return;
    }
    if (rs.channel_lakes && !rs.chan_con_trans) {
        // The lakes drain into the channels: only channel transport carries their mass on.
        refuse("\nError: the card ov_con_trans asks for overland contaminant transport with "
               "channel-network lakes without channel contaminant transport (chan_con_trans), "
               "which is not available yet in this version of PLUVO.\n");
        return;
    }
    const int n = rs.num_constituents;
    const int cells = rs.GNUM;
    const double area = rs.cell_size * rs.cell_size;   // m2
    if (rs.soil_con_trans) set_soil_layer_thickness(rs);
    if (error_record.stop) return;
    // The lakes' water takes the initial concentrations before the cells without depth clear theirs.
    if (!rs.channel_lakes) init_lake_constituents(rs);
    const bool chan_lakes = rs.channel_lakes && rs.lake_mask.size() > static_cast<size_t>(cells);
    constituent_cells& c = rs.con;
    for (int i = 1; i <= n; ++i) {
        const size_t ii = static_cast<size_t>(i);
        rs.con_tot.ov_init[ii] = 0.0;
        rs.con_tot.land_init[ii] = 0.0;
        for (int j = 1; j <= cells; ++j) {
            const size_t jj = static_cast<size_t>(j);
            // Rates are given per day; the transport works per second.
            c.decay[ii][jj] /= kSecondsPerDay;
            c.uptake[ii][jj] /= kSecondsPerDay;
            // The land load is given in kg per cell; the stores hold grams.
            c.land[ii][jj] *= 1000.0;
            const double h = rs.ov_depth[jj];
            if (h > kDry && !(chan_lakes && rs.lake_mask[jj] >= 1)) {
                c.mass[ii][jj] = h * c.conc[ii][jj] * area;
            } else {
                c.mass[ii][jj] = 0.0;
                c.conc[ii][jj] = 0.0;
            }
            if (rs.soil_con_trans && rs.constituent_type[ii] == 1) {
                c.soil_decay[ii][jj] = c.decay[ii][jj];
                init_soil_layer(rs, i, j);
            }
            rs.con_tot.ov_init[ii] += c.mass[ii][jj] / 1000.0;
            rs.con_tot.land_init[ii] += c.land[ii][jj] / 1000.0;
        }
    }
    for (int j = 0; j <= cells; ++j) rs.con_h_last[static_cast<size_t>(j)] = rs.ov_depth[static_cast<size_t>(j)];
    // Held levels and inflow series put water in from outside the watershed,
    // whose concentration no input gives: said once, so it is not silent.
    bool clean_inflow = false;
    for (int c : rs.ov_boundary_cells) {
        const int t = static_cast<size_t>(c) < rs.boundary_type.size() ? rs.boundary_type[static_cast<size_t>(c)] : 0;
        clean_inflow = clean_inflow || (t >= 2 && t <= 5);
    }
    if (rs.ov_boundary && clean_inflow) {
        const char* note = "Note: the water the overland boundaries put in (held levels, inflow series) "
                           "carries no constituent.\n";
        if (console_lines_on(rs)) std::printf("%s", note);
        file_printf(rs.summary_file, "%s", note);
    }
    init_channel_constituents(rs);
    init_sediment_bound_state(rs);
    // Channel-network lakes start at the channel's initial concentration.
    if (rs.channel_lakes) init_lake_constituents(rs);
}
