// Rain to cells: the rainfall step and its per-cell kernels.
#include "hydromet/rain_cells.h"

#include <cmath>
#include <cstdio>

#include "core/dates.h"
#include "core/error.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "hydromet/precip.h"
#include "hydromet/precip_file.h"
#include "hydromet/precip_types.h"

namespace {

constexpr double kNegativeRate = -1e-16 / kMmPerHourPerMps;   // m/s
constexpr double kNoGageDistance = 1.0e6;                     // m: start of the nearest search
constexpr double kFarthestGage = 9.0e5;                       // m: no gage within it fails
constexpr double kCoincident2 = 1.0e-12;                      // m2: a gage on the centre

double line_time(const run_state& rs, int line) {
    const int* d = rs.precip_dates[line];
    return julian_day(d[0], d[1], d[2], d[3], d[4], 0.0);
}

bool cell_arrays_ready(const run_state& rs) {
    const size_t slots = static_cast<size_t>(rs.GNUM) + 1;
    if (rs.GNUM < 0 || rs.cell_rain_rate.size() < slots ||
        (rs.interception && rs.ri_eff.size() < slots)) {
        std::printf("Error: the rain arrays do not hold the %d watershed cells\n", rs.GNUM);
        error_record.code = kErrorPrinted;
        return false;
    }
    return true;
}

// Clears every cell's intensity (and the intensity past the canopy).
void clear_cell_rain(run_state& rs) {
    set_uniform_cell_rain(rs, 0.0);
    if (!rs.interception) return;
    double* eff = rs.ri_eff.data();
    const int n = rs.GNUM;
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int k = 1; k <= n; ++k) eff[k] = 0.0;
}

// The event's rain is over: the rates are cleared and the next event may be read.
void end_event_rain(run_state& rs) {
    rs.rain_on = 0;
    if (rs.rain_state == 1) rs.rain_state = 0;
    if (rs.rain_state == 2) rs.rain_state = 3;
    clear_cell_rain(rs);
}

// Rain of period `period` of the event onto the cells; false after a reported failure.
bool take_period(run_state& rs, int period) {
    if (rs.card_radar == 2) {
        const char* name = rs.radar_filenames[static_cast<size_t>(period)].c_str();
        print_message("Reading radar precip file %s.\n", name);
        if (read_radar_grid(rs.radar, name, rs.cards.radar_mm) != 0) {
            std::printf("Error: unable to read the rain rates of radar file %s (it must exist and "
                        "match the grid of the event's first radar file)\n",
                        name);
            error_record.code = kErrorPrinted;
            return false;
        }
        radar_to_cells(rs);
        return error_record.code == 0;
    }
    if (period > rs.gage_values.row_length || rs.num_gages > rs.gage_values.row_count) {
        std::printf("Error: rain period %d is outside the event's value table\n", period);
        error_record.code = kErrorPrinted;
        return false;
    }
    if (rs.gage_thiessen) {
        fork_gage_rain_to_cells(period, rs.num_gages, rs.nearest, rs.gage_values,
                                rs.cell_rain_rate, rs.GNUM);
    } else {
        interpolate_gages(rs.cell_size, period, rs.num_gages, rs.gage_x, rs.gage_y, rs.gage_values,
                          rs.cell_x, rs.cell_y, rs.cell_rain_rate, rs.GNUM);
    }
    return true;
}

// Precipitation-file rain: the periods whose start has been reached.
void distribute_file_rain(run_state& rs) {
    if (rs.rain_state == 2) {
        // No further event: nothing falls.
        end_event_rain(rs);
        return;
    }
    if (rs.rain_state != 1 || rs.time < rs.precip_next - rs.time_tolerance) return;
    // Period g runs from data line g to line g + 1; when several period starts
    // were passed since the last update, the latest of them is taken.
    const int last = rs.num_lines;
    int taken = 0;
    while (rs.precip_step < last && rs.time >= rs.precip_next - rs.time_tolerance) {
        taken = rs.precip_step;
        ++rs.precip_step;
        rs.precip_next = line_time(rs, rs.precip_step);
    }
    if (taken > 0) {
        if (!take_period(rs, taken)) return;
        rs.precip_last = rs.time;
    }
    // The last data line ends the event's rain.
    if (rs.precip_step >= last && rs.time >= rs.precip_next - rs.time_tolerance) {
        end_event_rain(rs);
        rs.precip_last = rs.time;
    }
}

// Uniform rain: on from the first pass for num_periods rain applications.
void distribute_uniform_rain(run_state& rs) {
    if (rs.rain_state != 1) return;
    if (rs.step == 0) {
        rs.event_runoff = 1;
        rs.rain_on = 1;
        set_uniform_cell_rain(rs, rs.uniform_intensity / kMmPerHourPerMps);
    }
    if (rs.uniform_steps >= rs.num_periods + 1) {
        clear_cell_rain(rs);
        rs.event_runoff = 0;
        rs.rain_on = 0;
        rs.rain_state = 3;
    }
}

}  // namespace

void interpolate_gages(double dx, int period, int num_gages, const std::vector<double>& gage_x,
                       const std::vector<double>& gage_y, const checked_array_2d<double>& gage_values,
                       const checked_array<double>& cell_x, const checked_array<double>& cell_y,
                       std::vector<double>& cell_rain_rate, int GNUM) {
    double* rate = cell_rain_rate.data();
    double* const* values = gage_values.rows;
    if (num_gages == 1) {
        const double v = values[1][period];
#pragma omp parallel for schedule(static) if (GNUM >= kParallelCells)
        for (int k = 1; k <= GNUM; ++k) rate[k] = v;
        return;
    }
    const double dx2 = dx * dx;
    const double* gx = gage_x.data();
    const double* gy = gage_y.data();
#pragma omp parallel for schedule(static) if (GNUM >= kParallelCells)
    for (int k = 1; k <= GNUM; ++k) {
        const double x = cell_x[k];
        const double y = cell_y[k];
        double sum = 0.0;      // m/s per m2
        double weight = 0.0;   // 1/m2
        bool own = false;
        for (int j = 1; j <= num_gages; ++j) {
            const double ex = x - gx[j];
            const double ey = y - gy[j];
            const double d2 = ex * ex + ey * ey;
            if (d2 < dx2 || d2 < kCoincident2) {
                rate[k] = values[j][period];
                own = true;
                break;
            }
            sum += values[j][period] / d2;
            weight += 1.0 / d2;
        }
        if (!own) rate[k] = sum / weight;
    }
}

void fork_gage_rain_to_cells(int period, int num_gages, const std::vector<int>& nearest,
                             const checked_array_2d<double>& gage_values,
                             std::vector<double>& cell_rain_rate, int GNUM) {
    double* rate = cell_rain_rate.data();
    double* const* values = gage_values.rows;
    const int* near = nearest.data();
    const bool single = num_gages == 1 || nearest.size() < static_cast<size_t>(GNUM) + 1;
#pragma omp parallel for schedule(static) if (GNUM >= kParallelCells)
    for (int k = 1; k <= GNUM; ++k) {
        const int gage = single ? 1 : near[k];
        rate[k] = (gage >= 1 && gage <= num_gages) ? values[gage][period] : 0.0;
    }
}

bool build_nearest_gage_table(int num_gages, const std::vector<double>& gage_x,
                              const std::vector<double>& gage_y, const checked_array<double>& cell_x,
                              const checked_array<double>& cell_y, std::vector<int>& nearest,
                              int GNUM) {
    if (nearest.size() < static_cast<size_t>(GNUM) + 1)
        nearest.assign(static_cast<size_t>(GNUM) + 1, 0);
    int* near = nearest.data();
    const double* gx = gage_x.data();
    const double* gy = gage_y.data();
#pragma omp parallel for schedule(static) if (GNUM >= kParallelCells)
    for (int k = 1; k <= GNUM; ++k) {
        const double x = cell_x[k];
        const double y = cell_y[k];
        double closest = kNoGageDistance;
        int gage = 0;
        for (int j = 1; j <= num_gages; ++j) {
            const double d = std::sqrt((x - gx[j]) * (x - gx[j]) + (y - gy[j]) * (y - gy[j]));
            if (d < closest) {
                closest = d;
                gage = j;
            }
        }
        near[k] = closest > kFarthestGage ? 0 : gage;
    }
    for (int k = 1; k <= GNUM; ++k) {
        if (near[k] == 0) {
            std::printf("Failure to identify closest raingauge in find_neighbor\n");
            std::printf("check rain gage data file, particularly gage coordinates\n");
            error_record.code = kErrorPrinted;
            return false;
        }
    }
    return true;
}

void set_uniform_cell_rain(run_state& rs, double rate) {
    double* r = rs.cell_rain_rate.data();
    const int n = rs.GNUM;
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int k = 1; k <= n; ++k) r[k] = rate;
}

void distribute_rainfall(run_state& rs) {
    if (!cell_arrays_ready(rs)) return;
    if (rs.uniform_rain) {
        distribute_uniform_rain(rs);
    } else if (rs.gage_rain) {
        distribute_file_rain(rs);
    }
    if (error_record.code != 0) return;
    const double* r = rs.cell_rain_rate.data();
    for (int k = 1; k <= rs.GNUM; ++k) {
        if (r[k] < kNegativeRate) {
            std::printf("A negative rainfall has been detected for overland cell %d, check your "
                        "rainfall input for negative values\n",
                        k);
            error_record.code = kErrorPrinted;
            return;
        }
    }
}
