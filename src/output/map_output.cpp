#include "output/map_output.h"
#include <cmath>
#include <cstdio>
#include "core/dates.h"
#include "core/error.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "output/map_dataset.h"
#include "output/output.h"
#include "output/output_setup.h"

namespace {

// Rain intensity: m/s inside the model, mm/h in the maps.
constexpr double kRainMapFactor = 3.6e6;

// One built-in map of the per-time grid form.
struct grid_map_entry {
    int kind;
    const char* stem;      // file stem before the number
    const char* message;   // printed when the file cannot be opened
    bool needs_erosion;    // written only with soil erosion on
};

// Map type 0 order.
const grid_map_entry kGridOrder[] = {
    {kMapKindDepth, "depth.", "Can't open depth map for writing: %s\n", false},
    {kMapKindSwe, "swe.", "Can't open depth map for writing: %s\n", false},
    {kMapKindDischarge, "discharge.", "Can't open discharge map for writing: %s\n", false},
    {kMapKindRain, "rain.", "Can't open rainfall map for writing: %s\n", false},
    {kMapKindInfDepth, "infdep.", "Can't open Cum. infilt. depth map for writing: %s\n", false},
    {kMapKindInfRate, "infrate.", "Can't open infiltration rate map for writing: %s\n", false},
    {kMapKindSurfMoist, "smoist.", "Can't open surface moisture content map for writing: %s\n",
     false},
    {kMapKindSedFlux, "max_sed_flux.", "Can't open sediment flux map for writing: %s\n", true},
    {kMapKindGwHead, "gw_head.", "Can't open groundwater head map for writing: %s\n", false},
    {kMapKindRechargeCum, "gwrechargecum.", "Can't open cum gw recharge map for writing: %s\n",
     false},
    {kMapKindRechargeInc, "gwrechargeinc.",
     "Can't open incremental groundwater recharge map for writing: %s\n", false},
    {kMapKindSedVolume, "net_sed_volume.", "Can't open depth map for writing: %s\n", true},
};

// Map types 1 and 2 order.
const int kDatasetOrder[] = {kMapKindDepth,       kMapKindSwe,         kMapKindDischarge,
                             kMapKindGwHead,      kMapKindRain,        kMapKindRechargeCum,
                             kMapKindRechargeInc, kMapKindInfDepth,    kMapKindInfRate,
                             kMapKindSurfMoist,   kMapKindSedFlux,     kMapKindSedVolume,
                             kMapKindSuspSed};

const std::vector<double> kNoSource;

template <class T>
T at_or_zero(const std::vector<T>& v, int k) {
    return (k >= 0 && static_cast<size_t>(k) < v.size()) ? v[static_cast<size_t>(k)] : T();
}

// Number of cells 1..n that every array given can hold.
int cells_within(int cells, std::initializer_list<size_t> sizes) {
    long long n = cells;
    for (size_t s : sizes) {
        if (static_cast<long long>(s) - 1 < n) n = static_cast<long long>(s) - 1;
    }
    return n > 0 ? static_cast<int>(n) : 0;
}

void fill_sources(run_state& rs) {
    if (map_kind_on(rs, kMapKindDepth)) map_copy_rows(rs);
    if (map_kind_on(rs, kMapKindDischarge)) map_fill_discharge(rs);
    if (map_kind_on(rs, kMapKindRain)) {
        const int n = cells_within(rs.GNUM, {rs.map_rain_out.size(), rs.cell_rain_rate.size()});
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
        for (int c = 1; c <= n; ++c) rs.map_rain_out[c] = rs.cell_rain_rate[c] * kRainMapFactor;
    }
    if (map_kind_on(rs, kMapKindRechargeInc)) {
        const int n = cells_within(rs.GNUM, {rs.map_recharge_inc_out.size(),
                                             rs.map_recharge_prev.size(), rs.gw_recharge_depth.size()});
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
        for (int c = 1; c <= n; ++c) {
            rs.map_recharge_inc_out[c] = rs.gw_recharge_depth[c] - rs.map_recharge_prev[c];
        }
    }
    if (rs.soil_erosion) fill_sediment_map_sources(rs);
}

// After the maps: the incremental recharge counts from this output on.
void advance_recharge(run_state& rs) {
    if (!map_kind_on(rs, kMapKindRechargeInc)) return;
    const int n = cells_within(rs.GNUM, {rs.map_recharge_prev.size(), rs.gw_recharge_depth.size()});
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int c = 1; c <= n; ++c) rs.map_recharge_prev[c] = rs.gw_recharge_depth[c];
}

// Map type 0: one file per switched-on map; false when a file could not be opened.
bool write_grid_maps(run_state& rs) {
    ++rs.map_file_number;
    for (const grid_map_entry& e : kGridOrder) {
        if (!map_kind_on(rs, e.kind)) continue;
        if (e.needs_erosion && !rs.soil_erosion) continue;
        const char* folder = map_kind_card_name(rs, e.kind);
        const char* stem = e.stem;
        if (e.kind == kMapKindSurfMoist && ends_in_separator(folder)) stem = "surf.";
        char path[2048];
        const bool fits = map_file_path(path, sizeof path, folder, stem, rs.map_file_number, ".asc");
        print_message("opening file %s\n", path);
        file_object f;
        if (!fits || !open_file_named(f, path, "w")) {
            std::printf(e.message, path);
            set_error(kErrorPrinted);
            return false;
        }
        write_ascii_grid(f, rs.mask, rs.map_north, rs.map_south, rs.map_east, rs.map_west, rs.rows,
                         rs.cols, map_kind_source(rs, e.kind), rs.cell_size);
        close_file_object(f);
    }
    return true;
}

void write_dataset_maps(run_state& rs) {
    const bool binary = rs.settings.map_type == 2;
    for (int kind : kDatasetOrder) {
        if (!rs.map_kind_started[kind]) continue;
        write_dataset_step(rs.map_kind_file[kind], rs.elapsed_minutes, rs.rows, rs.cols, rs.mask,
                           map_kind_source(rs, kind), binary);
    }
}

}  // namespace

bool map_output_on(const run_state& rs) {
    for (int kind = 0; kind < kMapKindCount; ++kind) {
        // The flood grid is written once at the end; contaminant maps are the records below.
        if (kind != kMapKindFlood && kind != kMapKindContam && map_kind_on(rs, kind)) return true;
    }
    return !rs.con_maps.empty() || rs.nsm_on || rs.cards.snow_temp_given;
}

bool map_output_due(int step, int steps_per_output) {
    return step >= 1 && (step - 1) % output_interval_steps(steps_per_output) == 0;
}

void map_copy_rows(run_state& rs) {
    const int n = cells_within(rs.GNUM, {rs.map_depth_out.size(), rs.ov_depth.size()});
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int c = 1; c <= n; ++c) rs.map_depth_out[c] = rs.ov_depth[c];
    if (!rs.channel_lakes) return;
    const int m = cells_within(n, {rs.lake_mask.size(), rs.elevation.size()});
#pragma omp parallel for schedule(static) if (m >= kParallelCells)
    for (int c = 1; c <= m; ++c) {
        const int lake = rs.lake_mask[c];
        if (lake > 0) rs.map_depth_out[c] = at_or_zero(rs.lake_elev, lake) - rs.elevation[c];
    }
}

void map_fill_discharge(run_state& rs) {
    const int n = cells_within(rs.GNUM,
                               {rs.map_discharge_out.size(), rs.ov_qx.size(), rs.ov_qy.size()});
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int c = 1; c <= n; ++c) {
        rs.map_discharge_out[c] = std::sqrt(rs.ov_qx[c] * rs.ov_qx[c] + rs.ov_qy[c] * rs.ov_qy[c]);
    }
}

const std::vector<double>& map_kind_source(const run_state& rs, int kind) {
    switch (kind) {
        case kMapKindDepth: return rs.map_depth_out;
        case kMapKindDischarge: return rs.map_discharge_out;
        case kMapKindRain: return rs.map_rain_out;
        case kMapKindInfDepth: return rs.cum_infil;
        case kMapKindInfRate: return rs.infil_rate;
        case kMapKindSurfMoist: return rs.theta_all;
        case kMapKindGwHead: return rs.elevgw;
        case kMapKindSedFlux: return rs.map_sed_flux_out;
        case kMapKindSedVolume: return rs.map_sed_volume_out;
        case kMapKindSuspSed: return rs.map_susp_sed_out;
        case kMapKindRechargeCum: return rs.gw_recharge_depth;
        case kMapKindRechargeInc: return rs.map_recharge_inc_out;
        case kMapKindSwe: return rs.snow_swe;
        default: return kNoSource;   // contaminant and flood grids are not written here
    }
}

void write_map_output(run_state& rs) {
    if (!map_output_due(rs.step, rs.map_write_steps)) return;
    ++rs.map_outputs;
    rs.map_last_minutes = rs.elapsed_minutes;
    fill_sources(rs);
    if (rs.settings.map_type == 0) {
        if (!write_grid_maps(rs)) return;   // the rest of this output is skipped
    } else if (rs.map_kind_dataset) {
        write_dataset_maps(rs);
    }
    advance_recharge(rs);

    if (rs.nsm_on) write_nutrient_map_output(rs);
    write_contam_map_steps(rs);
    if (rs.cards.snow_temp_given) write_map_dataset_step(rs.snow_temp_map, rs.elapsed_minutes);
}

void write_flood_grid(run_state& rs) {
    if (!rs.flood_grid || rs.max_ov_depth.size() < static_cast<size_t>(rs.GNUM) + 1) return;
    if (rs.map_kind_started[kMapKindFlood]) {
        write_dataset_step(rs.map_kind_file[kMapKindFlood], rs.elapsed_minutes, rs.rows, rs.cols,
                           rs.mask, rs.max_ov_depth, rs.settings.map_type == 2);
        return;
    }
    const char* path = map_kind_card_name(rs, kMapKindFlood);
    file_object f;
    if (!open_file_named(f, path, "w")) {
        std::printf("Error: the flood grid file %s cannot be opened for writing.\n", path);
        set_error(kErrorPrinted);
        return;
    }
    write_ascii_grid(f, rs.mask, rs.map_north, rs.map_south, rs.map_east, rs.map_west, rs.rows,
                     rs.cols, rs.max_ov_depth, rs.cell_size);
    close_file_object(f);
}
