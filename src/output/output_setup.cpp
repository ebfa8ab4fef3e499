#include "output/output_setup.h"
#include <climits>
#include <cstdio>
#include <string>
#include <utility>
#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "core/text.h"
#include "run/run_state.h"
#include "input/grid.h"
#include "output/linknode_dataset.h"
#include "output/map_dataset.h"
#include "output/output.h"

namespace {

struct map_kind_entry {
    const char* name;   // dataset name
    int id;             // dataset id
};

const map_kind_entry kMapKinds[kMapKindCount] = {
    {"depth", 1010},
    {"discharge", 1011},
    {"rain", 1012},
    {"infiltrated_depth", 1013},
    {"infiltration_rate", 1014},
    {"surface_moisture", 1015},
    {"groundwater_head", 1016},
    {"sediment_flux", 1017},
    {"sediment_volume", 1018},
    {"suspended_sediment_conc", 1019},
    {"contaminant_conc", 1020},
    {"flood_grid", 1021},
    {"gw_recharge_cum", 1022},
    {"gw_recharge_inc", 1023},
    {"snow_water_equivalent", 1024},
};

// Order in which open_map_datasets takes the kinds.
const int kOpenOrder[kMapKindCount] = {0, 1, 2, 12, 13, 3, 4, 5, 6, 7, 8, 9, 10, 11, 14};

void fail_printed() { set_error(kErrorPrinted); }

// ---------------------------------------------------------------------------
// Location-list reading. A list is a count followed by whitespace-separated
// whole numbers; every reader names its file in its messages.

struct list_reader {
    file_object& f;
    const char* path;
    number_list in{f, "location file"};

    const char* shown() const { return path != nullptr ? path : ""; }

    // The count at the head of the list; false (message printed) when it is
    // missing, not a whole number or negative. The readers grow their
    // tables entry by entry, so a count beyond the file ends at its end.
    bool count(int& n) {
        n = 0;
        if (f.handle == nullptr) {
            std::printf("Error: the location file %s is not open\n", shown());
            fail_printed();
            return false;
        }
        return in.count(n, INT_MAX, "number of locations", end_text().c_str());
    }
    // A count inside the list (of the entries that follow it).
    bool inner_count(int& n, const char* what) {
        return in.count(n, INT_MAX, what, end_text().c_str());
    }
    std::string end_text() const {
        return std::string("End of file reached in file ") + shown() + ", exiting\n";
    }

    // The next whole number of the list.
    bool next(int& v, const char* what = "next location value") {
        return in.next(v, what, end_text().c_str());
    }
};

// Node count of a link of the network, 0 for a link outside it.
int link_node_count(const run_state& rs, int link) {
    if (link < 1 || link > rs.links || static_cast<size_t>(link) >= rs.nx.size()) return 0;
    return rs.nx[static_cast<size_t>(link)];
}

// Reads count (link, node) pairs of the channel network into link/node.
bool read_link_node_list(run_state& rs, file_object& f, const char* path, int& count,
                         std::vector<int>& links, std::vector<int>& nodes) {
    list_reader in{f, path};
    count = 0;
    links.clear();
    nodes.clear();
    int n = 0;
    if (!in.count(n)) return false;
    std::vector<int> l(1, 0), m(1, 0);   // grown as the entries are read
    for (int k = 1; k <= n; ++k) {
        int link = 0, node = 0;
        if (!in.next(link, "link") || !in.next(node, "node")) return false;
        if (node < 1 || node > link_node_count(rs, link)) {
            std::printf("Error: location %d of file %s names link %d node %d, which is not a node "
                        "of the channel network\n",
                        k, in.shown(), link, node);
            fail_printed();
            return false;
        }
        l.push_back(link);
        m.push_back(node);
    }
    links.swap(l);
    nodes.swap(m);
    count = n;
    return true;
}

// Cell number of a grid position through the run's mask; 0 outside the watershed.
int mask_cell(const run_state& rs, int row, int col) {
    if (rs.mask == nullptr || row < 1 || row > rs.rows || col < 1 || col > rs.cols) return 0;
    return rs.mask[row][col];
}

bool grid_cell_or_fail(const run_state& rs, const char* path, int k, int row, int col) {
    if (mask_cell(rs, row, col) > 0) return true;
    std::printf("Error: location %d (row %d, column %d) of file %s is not a cell of the "
                "watershed\n",
                k, row, col, path != nullptr ? path : "");
    fail_printed();
    return false;
}

void begin_kind(run_state& rs, int kind, const char* path) {
    int& started = rs.map_kind_started[kind];
    begin_map_dataset(rs.settings.map_type, kMapKinds[kind].id, path, kMapKinds[kind].name,
                      rs.map_kind_file[kind], started, rs.rows, rs.cols);
}

}  // namespace

int output_interval_steps(int steps) { return steps > 0 ? steps : 1; }

bool output_step_due(int step, int steps_per_output) {
    return step % output_interval_steps(steps_per_output) == 0;
}

const char* map_kind_name(int kind) {
    return (kind >= 0 && kind < kMapKindCount) ? kMapKinds[kind].name : nullptr;
}

int map_kind_id(int kind) { return (kind >= 0 && kind < kMapKindCount) ? kMapKinds[kind].id : 0; }

bool map_kind_on(const run_state& rs, int kind) {
    const project_cards& c = rs.cards;
    switch (kind) {
        case kMapKindDepth: return rs.depth != 0;
        case kMapKindDischarge: return rs.discharge != 0;
        case kMapKindRain: return rs.dis_rain != 0;
        case kMapKindInfDepth: return rs.inf_depth != 0;
        case kMapKindInfRate: return rs.rate_of_infil != 0;   // gated by the infiltration method
        case kMapKindSurfMoist: return rs.surf_moist != 0;
        case kMapKindGwHead: return rs.gw_output != 0;
        case kMapKindSedFlux: return c.max_sed_flux_given && rs.soil_erosion;
        case kMapKindSedVolume: return c.net_sed_volume_given && rs.soil_erosion;
        case kMapKindSuspSed: return c.vol_sed_susp_given && rs.soil_erosion;
        case kMapKindContam: return rs.ov_con_map && rs.ov_con_trans;
        case kMapKindFlood: return rs.flood_grid != 0;
        case kMapKindRechargeCum: return rs.gw_recharge_cum != 0;
        case kMapKindRechargeInc: return rs.gw_recharge_inc != 0;
        case kMapKindSwe: return c.snow_swe_file_given != 0;
        default: return false;
    }
}

const char* map_kind_card_name(const run_state& rs, int kind) {
    const project_cards& c = rs.cards;
    switch (kind) {
        case kMapKindDepth: return c.depth;
        case kMapKindDischarge: return c.discharge;
        case kMapKindRain: return c.dis_rain;
        case kMapKindInfDepth: return c.inf_depth;
        case kMapKindInfRate: return c.rate_of_infil;
        case kMapKindSurfMoist: return c.surf_moist;
        case kMapKindGwHead: return c.gw_output;
        case kMapKindSedFlux: return c.max_sed_flux;
        case kMapKindSedVolume: return c.net_sed_volume;
        case kMapKindSuspSed: return c.vol_sed_susp;
        case kMapKindContam: return c.ov_con_map;
        case kMapKindFlood: return c.flood_grid;
        case kMapKindRechargeCum: return c.gw_recharge_cum;
        case kMapKindRechargeInc: return c.gw_recharge_inc;
        case kMapKindSwe: return c.snow_swe_file;
        default: return "";
    }
}

void open_map_dataset_kind(int kind, run_state& rs) {
    if (kind < 0 || kind >= kMapKindCount) return;
    begin_kind(rs, kind, map_kind_card_name(rs, kind));
}

void open_map_datasets(run_state& rs) {
    // Sources that the map output fills: sized once here, never in the loop,
    // and only for the maps asked for (8 bytes per cell each).
    const size_t cells = static_cast<size_t>(rs.GNUM > 0 ? rs.GNUM + 1 : 1);
    const auto source = [&](std::vector<double>& v, bool on) {
        if (on) v.assign(cells, 0.0);
        else std::vector<double>().swap(v);
    };
    source(rs.map_depth_out, map_kind_on(rs, kMapKindDepth));
    source(rs.map_discharge_out, map_kind_on(rs, kMapKindDischarge));
    source(rs.map_rain_out, map_kind_on(rs, kMapKindRain));
    source(rs.map_recharge_inc_out, map_kind_on(rs, kMapKindRechargeInc));
    source(rs.map_recharge_prev, map_kind_on(rs, kMapKindRechargeInc));
    source(rs.map_sed_flux_out, rs.soil_erosion && map_kind_on(rs, kMapKindSedFlux));
    source(rs.map_sed_volume_out, rs.soil_erosion && map_kind_on(rs, kMapKindSedVolume));
    source(rs.map_susp_sed_out, rs.soil_erosion && map_kind_on(rs, kMapKindSuspSed));
    rs.map_file_number = 0;

    for (int kind : kOpenOrder) {
        if (!map_kind_on(rs, kind)) continue;
        open_map_dataset_kind(kind, rs);
        if (error_record.code != 0) return;
    }

    if (rs.cards.snow_temp_given) {
        map_dataset& d = rs.snow_temp_map;
        init_map_dataset(d);
        d.mask = rs.mask;
        d.values = &rs.snow_pack_temp;
        d.north = rs.map_north;
        d.south = rs.map_south;
        d.east = rs.map_east;
        d.west = rs.map_west;
        d.rows = rs.rows;
        d.cols = rs.cols;
        d.cell_size = rs.cell_size;
        begin_map_dataset_file(d, map_dataset_format(rs.settings.map_type), rs.cards.snow_temp, "",
                               "", 1060, "Snow_Temperature", rs.settings.map_type);
    }
    if (rs.nsm_on) open_nsm_map_datasets(rs);
}

int linknode_time_step_minutes(const run_state& rs) {
    const int steps = output_interval_steps(rs.hydro_write_steps);
    return static_cast<int>(steps * rs.dt / 60.0);
}

int linknode_time_steps(const run_state& rs) {
    const int minutes = linknode_time_step_minutes(rs);
    if (minutes > 0) return rs.settings.tot_time / minutes;
    // An interval below one whole minute: count by the exact interval.
    const double interval = output_interval_steps(rs.hydro_write_steps) * rs.dt / 60.0;
    return interval > 0.0 ? static_cast<int>(rs.settings.tot_time / interval) : 0;
}

void write_linknode_headers(run_state& rs) {
    const int time_step = linknode_time_step_minutes(rs);
    const int num_ts = linknode_time_steps(rs);
    // START_TIME is the run's start (Julian days), the date of its first output row.
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = 0.0;
    julian_to_date(rs.time, year, month, day, hour, minute, seconds);
    auto header = [&](file_object& f, int kind, int links) {
        write_linknode_header(f, kind, links, time_step, num_ts, day, month, year, hour, minute);
    };
    if (rs.chan_explic) {
        if (rs.chan_depth) header(rs.chan_depth_file, kLinknodeStreamDepth, rs.links);
        if (rs.chan_sed_flux) header(rs.chan_sed_flux_file, kLinknodeStreamSedFlux, rs.links);
        if (rs.chan_discharge) header(rs.chan_discharge_file, kLinknodeStreamFlow, rs.links);
        if (rs.chan_stage) header(rs.chan_stage_file, kLinknodeStreamStage, rs.links);
        if (rs.chan_velocity) header(rs.chan_velocity_file, kLinknodeStreamVelocity, rs.links);
    }
    if (rs.flood_stream) header(rs.flood_stream_file, kLinknodeFloodStreamDepth, rs.links);
    if (rs.superlink) {
        if (rs.cards.pipe_flow_given) header(rs.superlink_flow_file, kLinknodeSuperlinkFlow, rs.n_slink);
        if (rs.cards.pipe_head_given) header(rs.superlink_head_file, kLinknodeSuperlinkHead, rs.n_slink);
        if (rs.cards.pipe_tile_given) {
            header(rs.superlink_tile_file, kLinknodeSuperlinkTileFlow, rs.n_slink);
        }
    }
    // Stream datasets number their steps from 0.
    rs.chan_depth_ts = rs.chan_sed_flux_ts = rs.chan_discharge_ts = 0;
    rs.chan_velocity_ts = rs.chan_stage_ts = 0;
    rs.pipe_flow_ts = rs.pipe_head_ts = rs.pipe_tile_ts = 0;
    // The sediment flux accumulator has the shape of the node arrays.
    if (rs.chan_explic && rs.chan_sed_flux) {
        rs.chan_sed_flux_sum.assign(static_cast<size_t>(rs.maxnodes + 2),
                                    std::vector<double>(static_cast<size_t>(rs.links + 2), 0.0));
    }
}

void read_hydrograph_locations(run_state& rs) {
    rs.hyd_locations_on = 0;
    if (!rs.in_hyd_location) return;
    if (!read_link_node_list(rs, rs.hyd_location_file, rs.files.in_hyd_location,
                             rs.num_hyd_locations, rs.hlink, rs.hnode))
        return;
    // Per-location event peak (m3/s) and volume (m3): reset at each event
    // start, raised by the peak tracking, added to by channel routing.
    rs.hyd_point_peak.assign(static_cast<size_t>(rs.num_hyd_locations) + 1, 0.0);
    rs.hyd_point_volume.assign(static_cast<size_t>(rs.num_hyd_locations) + 1, 0.0);
    rs.hyd_locations_on = 1;
}

void read_gw_flux_locations(run_state& rs) {
    if (!rs.in_gwflux_location) return;
    if (read_link_node_list(rs, rs.gwflux_location_file, rs.files.in_gwflux_location,
                            rs.num_gwflux_locations, rs.gwflink, rs.gwfnode)) {
        rs.gwflux_sum.assign(static_cast<size_t>(rs.num_gwflux_locations) + 1, 0.0);
    }
}

void read_sediment_hydrograph_locations(run_state& rs) {
    rs.sed_locations_on = 0;
    const project_cards& c = rs.cards;
    if (!c.in_sed_loc_given || !rs.channel_sediment) return;
    auto open_or_fail = [](file_object& f, const char* path, const char* mode, const char* what) {
        if (path[0] != '\0' && open_file_named(f, path, mode)) return true;
        set_error(4, what, path);
        error_record.stop = 1;
        return false;
    };
    if (!open_or_fail(rs.sed_location_file, c.in_sed_loc, "r", "input sed. hydrograph locations"))
        return;
    const bool read = read_link_node_list(rs, rs.sed_location_file, c.in_sed_loc,
                                          rs.num_sed_locations, rs.slink, rs.snode);
    close_file_object(rs.sed_location_file);
    if (!read) return;
    if (!open_or_fail(rs.sed_location_out_file, c.out_sed_loc, "w",
                      "output sed. hydrograph locations"))
        return;
    if (c.out_tss_loc_given && !open_or_fail(rs.tss_location_out_file, c.out_tss_loc, "w",
                                             "output sediment tss hydrograph locations"))
        return;
    file_printf(rs.sed_location_out_file, "%d\n", rs.num_sed_locations);
    for (int k = 1; k <= rs.num_sed_locations; ++k)
        file_printf(rs.sed_location_out_file, "%4d %4d\n", rs.slink[static_cast<size_t>(k)],
                    rs.snode[static_cast<size_t>(k)]);
    rs.sed_point_peak.assign(static_cast<size_t>(rs.num_sed_locations) + 1, 0.0);
    rs.sed_point_volume.assign(static_cast<size_t>(rs.num_sed_locations) + 1, 0.0);
    rs.sed_locations_on = 1;
}

void read_cell_output_locations(run_state& rs) {
    if (!rs.in_celldepdis_location) return;
    const char* path = rs.files.in_celldepdis_location;
    list_reader in{rs.celldepdis_location_file, path};
    rs.num_cell_locations = 0;
    int n = 0;
    if (!in.count(n)) return;
    std::vector<int> rows(1, 0), cols(1, 0), cells(1, 0);   // grown as the entries are read
    for (int k = 1; k <= n; ++k) {
        int row = 0, col = 0;
        if (!in.next(row, "row") || !in.next(col, "column")) return;
        rows.push_back(row);
        cols.push_back(col);
        cells.push_back(0);
        if (!cell_number_at(rs.mask, rs.rows, rs.cols, rows, cols, cells, k)) {
            grid_cell_or_fail(rs, path, k, rows[static_cast<size_t>(k)], cols[static_cast<size_t>(k)]);
            return;
        }
    }
    rs.celrowloc.swap(rows);
    rs.celcolloc.swap(cols);
    rs.gnumlocater.swap(cells);
    rs.num_cell_locations = n;
}

void read_superjunction_locations(run_state& rs) {
    if (!rs.superlink_junc_location) return;
    const char* path = rs.files.superlink_junc_location;
    list_reader in{rs.superlink_junc_location_file, path};
    rs.num_sjunc_locations = 0;
    int n = 0;
    if (!in.count(n)) return;
    std::vector<int> list(1, 0);   // grown as the entries are read
    for (int k = 1; k <= n; ++k) {
        int j = 0;
        if (!in.next(j, "superjunction")) return;
        if (j < 1 || (rs.n_sjunc > 0 && j > rs.n_sjunc)) {
            std::printf("Error: location %d of file %s names superjunction %d, which is not a "
                        "superjunction of the network\n",
                        k, in.shown(), j);
            fail_printed();
            return;
        }
        list.push_back(j);
    }
    rs.sjunc.swap(list);
    rs.num_sjunc_locations = n;
}

void read_superlink_node_locations(run_state& rs) {
    if (!rs.superlink_node_location) return;
    const char* path = rs.files.superlink_node_location;
    list_reader in{rs.superlink_node_location_file, path};
    rs.num_slnode_locations = 0;
    int n = 0;
    if (!in.count(n)) return;
    std::vector<int> l(1, 0), m(1, 0);   // grown as the entries are read
    for (int k = 1; k <= n; ++k) {
        int link = 0, node = 0;
        if (!in.next(link, "superlink") || !in.next(node, "node")) return;
        if (link < 1 || (rs.n_slink > 0 && link > rs.n_slink) || node < 1) {
            std::printf("Error: location %d of file %s names superlink %d node %d, which is not a "
                        "node of the network\n",
                        k, in.shown(), link, node);
            fail_printed();
            return;
        }
        l.push_back(link);
        m.push_back(node);
    }
    rs.sl_link.swap(l);
    rs.sl_node.swap(m);
    rs.num_slnode_locations = n;
}

void read_soil_moisture_output_cells(run_state& rs) {
    if (!rs.in_theta_location) return;
    const char* path = rs.files.in_theta_location;
    list_reader in{rs.theta_location_file, path};
    rs.num_theta_locations = 0;
    int n = 0;
    if (!in.count(n)) return;
    // Grown as the entries are read: a count beyond the file ends at its end.
    std::vector<int> cells(1, 0);
    std::vector<int> counts;
    std::vector<std::vector<int>> nodes;
    if (rs.inf_richards) {
        if (!in.next(rs.theta_second_number, "second number")) return;
        counts.assign(1, 0);
        nodes.assign(1, std::vector<int>());
    }
    for (int k = 1; k <= n; ++k) {
        int row = 0, col = 0;
        if (!in.next(row, "row") || !in.next(col, "column")) return;
        if (!grid_cell_or_fail(rs, path, k, row, col)) return;
        cells.push_back(mask_cell(rs, row, col));
        if (!rs.inf_richards) continue;
        int m = 0;
        if (!in.inner_count(m, "number of nodes")) return;
        counts.push_back(m);
        std::vector<int> list(1, 0);
        for (int j = 1; j <= m; ++j) {
            int node = 0;
            if (!in.next(node, "node")) return;
            if (node < 1) {
                std::printf("Error: location %d of file %s lists node %d; nodes count from 1\n", k,
                            in.shown(), node);
                fail_printed();
                return;
            }
            list.push_back(node);
        }
        nodes.push_back(std::move(list));
    }
    rs.cell_loc.swap(cells);
    rs.cell_num.swap(counts);
    rs.theta_nodes.swap(nodes);
    rs.num_theta_locations = n;
}

void close_map_datasets(run_state& rs) {
    if (!rs.map_kind_dataset) return;
    const bool binary = rs.settings.map_type == 2;
    for (int kind = 0; kind < kMapKindCount; ++kind) {
        if (!rs.map_kind_started[kind]) continue;
        end_map_dataset(rs.map_kind_file[kind], binary);
        rs.map_kind_started[kind] = 0;
    }
}
