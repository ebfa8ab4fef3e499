// Rain to cells: the rainfall step and its per-cell kernels.
#include "hydromet/rain_cells.h"
#include "input/grid.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "hydromet/precip.h"
#include "hydromet/precip_file.h"
#include "hydromet/precip_types.h"
#include "hydromet/rain_apply.h"

namespace {

constexpr double kNegativeRate = -1e-16 / kMmPerHourPerMps;   // m/s
constexpr double kNoGageDistance = 1.0e6;                     // m: start of the nearest search
constexpr double kFarthestGage = 9.0e5;                       // m: no gage within it fails
constexpr double kCoincident2 = 1.0e-12;                      // m2: a gage on the centre
constexpr double kSecondsPerDay = 86400.0;

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
    rs.cells_hold_period = -1;
    if (!rs.interception) return;
    double* eff = rs.ri_eff.data();
    const int n = rs.GNUM;
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int k = 1; k <= n; ++k) eff[k] = 0.0;
}

// Seconds from the event's first data line to Julian time t. Julian times
// near 2.45e6 days carry about 4e-5 s of rounding: a value within 1e-4 s of a
// whole millisecond is taken as that millisecond, and one within the time
// tolerance of a data line as that line's time. The same t always gives the
// same seconds, so one step's end is exactly the next step's start.
double event_seconds(const run_state& rs, double t) {
    const double s = snap_to_millisecond((t - rs.event_begin_time) * kSecondsPerDay);
    const std::vector<double>& lines = rs.precip_line_seconds;
    const int m = rs.num_lines;
    if (m < 1 || lines.size() < static_cast<size_t>(m) + 1) return s;
    // First line not before s, and the one before it: the nearest two lines.
    const auto first = lines.begin() + 1;
    const auto last = lines.begin() + 1 + m;
    const auto at = std::lower_bound(first, last, s);
    const double tolerance = rs.time_tolerance * kSecondsPerDay;
    if (at != last && *at - s < tolerance) return *at;
    if (at != first && s - *(at - 1) < tolerance) return *(at - 1);
    return s;
}

// The grid of radar period g in rs.radar_period_rate (m/s per cell), read
// from the file of line g + 1 unless it is there already; false after a
// reported failure.
bool load_radar_period(run_state& rs, int g) {
    if (rs.radar_period_loaded == g) return true;
    const char* name = rs.radar_filenames[static_cast<size_t>(g)].c_str();
    print_message("Reading radar precip file %s.\n", name);
    if (read_radar_grid(rs.radar, name, rs.cards.radar_mm) != 0) {
        std::printf("Error: unable to read the rain rates of radar file %s (it must exist and "
                    "match the grid of the event's first radar file)\n",
                    name);
        error_record.code = kErrorPrinted;
        return false;
    }
    rs.radar_period_rate.resize(static_cast<size_t>(rs.GNUM) + 1, 0.0);
    radar_to_cells(rs, rs.radar_period_rate);
    if (error_record.code != 0) return false;
    rs.radar_period_loaded = g;
    return true;
}

// The share of rain period g in the step: the step's mean intensity is the
// sum over its periods of the period's intensity x weight.
struct period_share {
    int period;      // period g, from data line g to line g + 1
    double weight;   // overlap of the period with the step / step length, -
};

// Mean intensity of every cell over the step from the periods' shares; a
// single share of weight 1 hands the period's own values to the cells.
// False after a reported failure.
bool hand_step_to_cells(run_state& rs, const std::vector<period_share>& shares) {
    const int n = rs.GNUM;
    if (!rs.gage_thiessen) fill_cell_centres(rs);
    const bool whole = shares.size() == 1 && shares[0].weight == 1.0;
    if (whole && rs.cells_hold_period == shares[0].period) return true;
    rs.cells_hold_period = 0;
    double* rate = rs.cell_rain_rate.data();
    if (rs.card_radar == 2) {
        bool first = true;
        for (const period_share& p : shares) {
            if (!load_radar_period(rs, p.period)) return false;
            const double* grid = rs.radar_period_rate.data();
            const double w = p.weight;
            if (first) {
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
                for (int k = 1; k <= n; ++k) rate[k] = whole ? grid[k] : w * grid[k];
            } else {
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
                for (int k = 1; k <= n; ++k) rate[k] += w * grid[k];
            }
            first = false;
        }
    } else {
        const int gages = rs.num_gages;
        if (rs.num_lines > rs.gage_values.row_length || gages > rs.gage_values.row_count) {
            std::printf("Error: the event's value table does not hold its %d gages and %d lines\n",
                        gages, rs.num_lines);
            error_record.code = kErrorPrinted;
            return false;
        }
        // Intensities are linear in the gage values, so each gage's mean over
        // the step is spread to the cells once.
        resize_gage_table(rs.gage_step_rates, gages, 1, 0.0);
        if (!rs.gage_step_rates.check() || rs.gage_step_rates.row_count < gages) {
            error_record.code = kErrorPrinted;
            return false;
        }
        double* const* values = rs.gage_values.rows;
        for (int j = 1; j <= gages; ++j) {
            double mean = 0.0;   // m/s
            for (const period_share& p : shares)
                mean += whole ? values[j][p.period] : p.weight * values[j][p.period];
            rs.gage_step_rates.rows[j][1] = mean;
        }
        if (rs.gage_thiessen) {
            fork_gage_rain_to_cells(1, gages, rs.nearest, rs.gage_step_rates, rs.cell_rain_rate, n);
        } else {
            interpolate_gages(rs.cell_size, 1, gages, rs.gage_x, rs.gage_y, rs.gage_step_rates,
                              rs.cell_x, rs.cell_y, rs.cell_rain_rate, n);
        }
    }
    if (whole) rs.cells_hold_period = shares[0].period;
    return true;
}

// The rain of the step that the rain application takes in this pass: its
// interval runs from the last application to now, and each cell's intensity
// becomes the recorded rain of that interval divided by its length. Rain
// before the event's first line, after its last line or already handed out
// counts nowhere, so whatever the step, the cells get the recorded rain.
// False after a reported failure.
bool take_step_rain(run_state& rs) {
    const int m = rs.num_lines;
    if (m < 1 || rs.precip_line_seconds.size() < static_cast<size_t>(m) + 1) {
        std::printf("Error: the line times of the rainfall event are not set\n");
        error_record.code = kErrorPrinted;
        return false;
    }
    const std::vector<double>& line = rs.precip_line_seconds;
    const double dt = rain_step_length(rs);                             // s
    const double now = event_seconds(rs, rs.time);                      // s
    const double from = std::max(event_seconds(rs, rs.rain_last), rs.precip_done);   // s
    const double to = std::min(now, line[static_cast<size_t>(m)]);     // s
    rs.rain_ends_after_step = now >= line[static_cast<size_t>(m)] ? 1 : 0;

    std::vector<period_share> shares;
    if (dt > 0.0 && to > from) {
        // Period g runs from line g to line g + 1; the search starts at the
        // period reached by the step before.
        int g = rs.precip_step < 1 ? 1 : rs.precip_step;
        while (g < m - 1 && line[static_cast<size_t>(g) + 1] <= from) ++g;
        rs.precip_step = g;
        for (; g <= m - 1 && line[static_cast<size_t>(g)] < to; ++g) {
            const double overlap = std::min(to, line[static_cast<size_t>(g) + 1]) -
                                   std::max(from, line[static_cast<size_t>(g)]);   // s
            if (overlap > 0.0) shares.push_back({g, overlap == dt ? 1.0 : overlap / dt});
        }
        rs.precip_done = to;
    }
    rs.precip_last = rs.time;
    rs.precip_next = rs.event_begin_time +
                     line[static_cast<size_t>(std::min(rs.precip_step + 1, m))] / kSecondsPerDay;
    if (shares.empty()) {
        if (rs.cells_hold_period != -1) clear_cell_rain(rs);
        return true;
    }
    return hand_step_to_cells(rs, shares);
}

// Precipitation-file rain: the rain of every step that the rain application
// takes, until the step that reaches the event's last data line.
void distribute_file_rain(run_state& rs) {
    if (rs.rain_state == 2) {
        // No further event: nothing falls.
        end_event_rain(rs);
        return;
    }
    if (rs.rain_state != 1 || !process_due(rs, rs.rain_next)) return;
    take_step_rain(rs);
}

// Seconds from the run's start to Julian time t, without the rounding of
// the Julian days.
double run_seconds(const run_state& rs, double t) {
    return snap_to_millisecond((t - rs.julian_start) * kSecondsPerDay);
}

// Uniform rain falls for its duration from the run's start. Each rain step
// takes the intensity times its share of the rain time, so a step that does
// not divide the duration still gives exactly intensity x duration. Returns
// whether it wrote the cells' intensities.
bool distribute_uniform_rain(run_state& rs) {
    if (rs.rain_state != 1) return false;
    if (rs.step == 0) {
        rs.event_runoff = 1;
        rs.rain_on = 1;
    }
    if (!process_due(rs, rs.rain_next)) {
        // The first pass gives the cells the intensity the first step takes.
        if (rs.step != 0) return false;
        set_uniform_cell_rain(rs, rs.uniform_intensity / kMmPerHourPerMps);
        return true;
    }
    const double begin = 0.0;                                         // s
    const double end = begin + rs.uniform_rain_duration * 60.0;       // s
    const double now = run_seconds(rs, rs.time);                      // s
    const double length = rain_step_length(rs);                       // s
    const double from = std::max(now - length, begin);
    const double to = std::min(now, end);
    double share = (length > 0.0 && to > from) ? (to - from) / length : 0.0;
    if (share > 1.0 || std::fabs(share - 1.0) < 1e-12) share = 1.0;
    const double full = rs.uniform_intensity / kMmPerHourPerMps;      // m/s
    // A negative intensity reaches the cells whole, so that the first pass refuses it.
    const double rate = (share == 1.0 || full < 0.0) ? full : full * share;
    bool wrote = false;
    if (rs.step == 0 || rate != rs.cell_rain_common) {
        set_uniform_cell_rain(rs, rate);
        wrote = true;
    }
    // The step that reaches the end of the rain is its last.
    rs.rain_ends_after_step = now >= end - rs.time_tolerance * kSecondsPerDay ? 1 : 0;
    return wrote;
}

}  // namespace

void end_event_rain(run_state& rs) {
    rs.rain_on = 0;
    rs.rain_ends_after_step = 0;
    if (rs.uniform_rain) {
        // Uniform rain has no further event.
        rs.rain_state = 3;
        rs.event_runoff = 0;
    }
    if (rs.rain_state == 1) rs.rain_state = 0;
    if (rs.rain_state == 2) rs.rain_state = 3;
    clear_cell_rain(rs);
}

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
    // The rain application then reads this one value instead of every cell's.
    rs.cell_rain_common = rate >= 0.0 ? rate : kNoCommonRain;
}

void distribute_rainfall(run_state& rs) {
    if (!cell_arrays_ready(rs)) return;
    // Uniform rain sets the intensities once and clears them once: between
    // those passes the cells hold the values checked before.
    bool wrote = true;
    if (rs.uniform_rain) {
        wrote = distribute_uniform_rain(rs);
    } else {
        rs.cell_rain_common = kNoCommonRain;   // the cells get their own rates
        if (rs.gage_rain) distribute_file_rain(rs);
    }
    if (error_record.code != 0 || !wrote) return;
    const double* r = rs.cell_rain_rate.data();
    const int n = rs.GNUM;
    int first = INT_MAX;   // first cell with a negative rate (INT_MAX none)
#pragma omp parallel for schedule(static) reduction(min : first) if (n >= kParallelCells)
    for (int k = 1; k <= n; ++k) {
        if (r[k] < kNegativeRate && k < first) first = k;
    }
    if (first != INT_MAX) {
        std::printf("A negative rainfall has been detected for overland cell %d, check your "
                    "rainfall input for negative values\n",
                    first);
        error_record.code = kErrorPrinted;
    }
}
