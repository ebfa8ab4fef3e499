// Constituent outputs: concentration and mass maps per contaminant, the
// channel concentration and mass link/node datasets, and the channel values
// at the hydrograph locations.
#include <cstdio>
#include <memory>
#include <string>

#include "core/error.h"
#include "core/file_write.h"
#include "output/output.h"
#include "quality/constituent_setup.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

std::string output_name(const run_state& rs, int i) {
    if (ix(i) < rs.contamoutputfilenames.size() && !rs.contamoutputfilenames[ix(i)].empty())
        return rs.contamoutputfilenames[ix(i)];
    char name[32];
    std::snprintf(name, sizeof name, "contam_%02d", i);
    return name;
}

void begin_map(run_state& rs, map_dataset& d, const std::vector<double>* values,
               const std::string& folder, const char* prefix, int id, const char* name) {
    init_map_dataset(d);
    d.mask = rs.mask;
    d.values = values;
    d.north = rs.map_north;
    d.south = rs.map_south;
    d.east = rs.map_east;
    d.west = rs.map_west;
    d.rows = rs.rows;
    d.cols = rs.cols;
    d.cell_size = rs.cell_size;
    d.factor = 1000.0;
    begin_map_dataset_file(d, map_dataset_format(rs.settings.map_type), folder.c_str(), prefix,
                           ".asc", id, name, rs.settings.map_type);
}

// Channel value of constituent i at (link, node), 0 outside the network.
double node_value(const run_state& rs, const con_rows& rows, int i, int link, int node) {
    const constituent_channel& cc = rs.con_chan;
    if (cc.stride == 0 || link < 1 || link > rs.links || node < 1 || node > rs.nx[ix(link)]) return 0.0;
    return rows[ix(i)][static_cast<size_t>(cc.stride * link + node)];
}

// Contaminants 1..n; the nutrient block after them has outputs of its own.
int contaminant_outputs(const run_state& rs) {
    return rs.first_nsm_constituent > 0 ? rs.first_nsm_constituent - 1 : rs.num_constituents;
}

}  // namespace

void setup_contam_map_outputs(run_state& rs) {
    const int n = contaminant_outputs(rs);
    rs.con_maps.clear();
    for (int k = 1; k <= n; ++k) {
        const std::string folder = output_name(rs, k);
        char name[32];
        rs.con_maps.push_back(std::unique_ptr<map_dataset>(new map_dataset));
        std::snprintf(name, sizeof name, "conc_%02d", k);
        begin_map(rs, *rs.con_maps.back(), &rs.con.conc[ix(k)], folder, ".conc",
                  5000 + (k - 1) * n, name);
        rs.con_maps.push_back(std::unique_ptr<map_dataset>(new map_dataset));
        std::snprintf(name, sizeof name, "mass_%02d", k);
        begin_map(rs, *rs.con_maps.back(), &rs.con.mass[ix(k)], folder, ".mass",
                  5001 + (k - 1) * n, name);
        if (error_record.code != 0) return;
    }
}

void setup_contam_linknode_outputs(run_state& rs) {
    ensure_channel_constituent_stores(rs);
    constituent_channel& cc = rs.con_chan;
    if (cc.stride == 0) return;
    rs.con_linknode.clear();
    for (int k = 1; k <= contaminant_outputs(rs); ++k) {
        const std::string name = output_name(rs, k);
        for (int kind : {kLinknodeConcentration, kLinknodeMass}) {
            rs.con_linknode.push_back(std::unique_ptr<linknode_dataset>(new linknode_dataset));
            linknode_dataset& d = *rs.con_linknode.back();
            const std::vector<double>* src =
                kind == kLinknodeConcentration ? &cc.conc[ix(k)] : &cc.mass[ix(k)];
            bind_linknode_dataset_1d(d, kind, src, &rs.nx1, &rs.nx, &rs.ltype, nullptr, nullptr, 0,
                                     rs.links, cc.stride);
            open_linknode_dataset_files(d, "", name.c_str(),
                                        kind == kLinknodeConcentration ? ".chan.conc" : ".chan.mass",
                                        1.0);
        }
    }
}

void write_contam_map_steps(run_state& rs) {
    for (std::unique_ptr<map_dataset>& d : rs.con_maps) {
        if (!write_map_dataset_step(*d, rs.elapsed_minutes)) return;
    }
}

void write_contam_linknode_steps(run_state& rs) {
    for (std::unique_ptr<linknode_dataset>& d : rs.con_linknode) write_linknode_dataset_step(*d);
}

void write_contaminant_location_rows(run_state& rs, double time) {
    if (!rs.chan_con_trans || rs.con_chan.stride == 0) return;
    for (int which = 0; which < 2; ++which) {
        const bool conc = which == 0;
        if (!(conc ? rs.out_con_location : rs.out_mass_location)) continue;
        file_object& f = conc ? rs.con_location_out_file : rs.mass_location_out_file;
        if (!f.is_open()) continue;
        file_printf(f, "%12.4lf ", time);
        for (int k = 1; k <= rs.num_hyd_locations; ++k) {
            if (ix(k) >= rs.hlink.size() || ix(k) >= rs.hnode.size()) break;
            for (int i = 1; i <= contaminant_outputs(rs); ++i)
                file_printf(f, "%12.6lf ", node_value(rs, conc ? rs.con_chan.conc : rs.con_chan.mass,
                                                      i, rs.hlink[ix(k)], rs.hnode[ix(k)]));
        }
        file_printf(f, "\n");
    }
}
