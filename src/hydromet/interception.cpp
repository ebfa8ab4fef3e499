// Canopy interception: start-up reader of the capacity and coefficient maps,
// the seasonal divisor and the per-step interception kernel.
#include "hydromet/interception.h"

#include <cstdio>

#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "input/map_reader.h"
#include "input/mapping_table.h"
#include "input/table_loader.h"

namespace {

constexpr double kMmToM = 1.0e-3;

// A start-up line: summary file always, console unless quiet or not the
// first run of a batch.
void interception_line(run_state& rs, const char* text, const char* name) {
    if (!rs.quiet && run_number == 0) std::printf(text, name);
    file_printf(rs.summary_file, text, name);
}

// Reads one per-cell real map from its open file into `cells` and closes it.
bool read_cell_map(run_state& rs, file_object& f, const char* path, std::vector<double>& cells) {
    const size_t slots = static_cast<size_t>(rs.GNUM) + 1;
    if (cells.size() != slots) cells.resize(slots, 0.0);
    const bool read = read_map_file(f, path, kMapCellReals, rs.map_north, rs.map_south,
                                    rs.map_east, rs.map_west, rs.map_rows, rs.map_cols, rs.mask,
                                    &cells, nullptr, nullptr, rs.rows, rs.cols);
    close_file_object(f);
    return read;
}

}  // namespace

double seasonal_divisor(int month, int seasonal_rs, double latitude) {
    if (!seasonal_rs) return 1.0;
    const bool north = latitude >= 37.0;
    switch (month) {
        case 4:
            return north ? 4.0 : 2.5;
        case 5:
            return north ? 3.0 : 1.0;
        case 6:
            return north ? 2.0 : 1.0;
        case 7:
        case 8:
        case 9:
            return 1.0;
        case 10:
            return 2.5;
        default:   // 1, 2, 3, 11, 12
            return 4.0;
    }
}

void read_interception_maps(run_state& rs) {
    if (!rs.interception) return;
    const size_t slots = static_cast<size_t>(rs.GNUM) + 1;
    if (rs.icep_stor.size() != slots) rs.icep_stor.assign(slots, 0.0);
    if (rs.icep_coef.size() != slots) rs.icep_coef.assign(slots, 0.0);
    if (rs.icep_dep.size() != slots) rs.icep_dep.assign(slots, 0.0);
    if (rs.ri_eff.size() != slots) rs.ri_eff.assign(slots, 0.0);

    if (rs.mapping_table_given && rs.mapping_sections[input_state::kMapInterception]) {
        mapping_outputs outputs{};
        outputs[0] = &rs.icep_stor;
        outputs[1] = &rs.icep_coef;
        if (!load_mapping_table(rs, rs.files.mapping_table, kSecInterception, outputs)) return;
    }
    if (rs.storage_capacity_file.is_open()) {
        interception_line(rs, "reading interception storage from file: %s\n",
                          rs.files.storage_capacity);
        if (!read_cell_map(rs, rs.storage_capacity_file, rs.files.storage_capacity, rs.icep_stor))
            return;
    } else {
        interception_line(rs, "reading interception storage table and map from master table file\n",
                          "");
    }
    if (rs.interception_coeff_file.is_open()) {
        interception_line(rs, "reading interception coeff. from file: %s\n",
                          rs.files.interception_coeff);
        if (!read_cell_map(rs, rs.interception_coeff_file, rs.files.interception_coeff,
                           rs.icep_coef))
            return;
    } else {
        interception_line(rs,
                          "reading interception coeff. table and map from the master table file\n",
                          "");
    }

    // Capacities are given in mm; a value outside its range would make or
    // destroy water on the canopy.
    for (int k = 1; k <= rs.GNUM; ++k) {
        const double stor = rs.icep_stor[static_cast<size_t>(k)];
        const double coef = rs.icep_coef[static_cast<size_t>(k)];
        if (!(stor >= 0.0) || !(coef >= 0.0 && coef <= 1.0)) {
            std::printf("Error: cell %d has the interception storage %lf mm and the interception "
                        "coefficient %lf; the storage must be 0 or more and the coefficient "
                        "within 0..1 (%s, %s)\n",
                        k, stor, coef,
                        rs.files.storage_capacity[0] ? rs.files.storage_capacity : "mapping table",
                        rs.files.interception_coeff[0] ? rs.files.interception_coeff
                                                       : "mapping table");
            error_record.code = kErrorPrinted;
            report_error(error_record);
            return;
        }
        rs.icep_stor[static_cast<size_t>(k)] = stor * kMmToM;
    }
}

double apply_interception(int GNUM, double dt, const std::vector<double>& icep_stor,
                          const std::vector<double>& icep_coef,
                          const std::vector<double>& cell_rain_rate, std::vector<double>& ri_eff,
                          std::vector<double>& icep_dep, std::vector<double>& held_volume,
                          double dx, double divisor, int chan_lakes,
                          const std::vector<int>& lake_mask) {
    const size_t slots = static_cast<size_t>(GNUM) + 1;
    if (held_volume.size() < slots) held_volume.assign(slots, 0.0);
    const bool lakes = chan_lakes && lake_mask.size() >= slots;
    const double area = dx * dx;                 // m2
    const double* stor = icep_stor.data();       // m
    const double* coef = icep_coef.data();       // -
    const double* rate = cell_rain_rate.data();  // m/s
    const int* lake = lake_mask.data();
    double* eff = ri_eff.data();                 // m/s
    double* dep = icep_dep.data();               // m
    double* held_vol = held_volume.data();       // m3
#pragma omp parallel for schedule(static) if (GNUM >= kParallelCells)
    for (int k = 1; k <= GNUM; ++k) {
        const double r = rate[k];
        double held = 0.0;   // m
        if (r < 0.0) {
            eff[k] = 0.0;
        } else if (lakes && lake[k] >= 1) {
            eff[k] = r;
        } else {
            const double c = coef[k] / divisor;
            const double rain = r * dt;   // m
            double free = stor[k] / divisor - dep[k];
            if (free < 0.0) free = 0.0;
            if (free > rain) {
                eff[k] = 0.0;
                held = rain;
            } else if (free <= 0.0) {
                // A full canopy holds the share c of the rain and passes the rest.
                held = c * rain;
                eff[k] = (1.0 - c) * r;
            } else {
                // The free storage fills (so rain > 0 and dt > 0); of the rain
                // left, the share c stays on the canopy.
                const double left = rain - free;   // m
                held = free + c * left;
                eff[k] = (1.0 - c) * left / dt;
            }
            dep[k] += held;
        }
        held_vol[k] = held * area;
    }
    double total = 0.0;   // m3, in cell order for the same sum with any thread count
    for (int k = 1; k <= GNUM; ++k) total += held_vol[k];
    return total;
}
