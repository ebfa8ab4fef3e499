// Evapotranspiration rates per cell and the frozen ground index (long-term runs).
#include "hydromet/evapo_trans.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/parallel.h"
#include "run/run_state.h"

namespace et {

namespace {

constexpr double kDegree = kPi / 180.0;          // rad per degree
constexpr double kMaxDeclination = 23.45 * kDegree;   // rad
constexpr double kCloudTransmission = 0.18 + 0.0853 * 0.4;   // share of the beam passing full cloud, -
constexpr double kGroundTolerance = 0.001;       // K: the iteration stops at a change this small
constexpr int kGroundPasses = 1000;              // most iterations of the ground temperature
constexpr double kLowestGround = 150.0;          // K: the bracket of the root never goes below

// Days before the first of each month in a year of 365 days.
constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

constexpr double kHourlyCanopy[24] = {
    4.023803564, 3.837220945, 3.588557905, 3.210454452, 2.430375714, 1.617231413,
    1.196049428, 1.066950368, 1.014336754, 0.995198325, 0.976059896, 0.976059896,
    1.0,         1.052613613, 1.167444189, 1.354095078, 1.636506383, 2.043283344,
    2.660309947, 3.215256127, 3.507134242, 3.688915186, 3.818082516, 3.923343877};

// Specific humidity of vapour pressure e (kPa) at pressure p (kPa), kg/kg.
double specific_humidity(double e, double p) { return 0.622 * e / (p - 0.378 * e); }

// The balance terms of one ground temperature ts (K).
struct balance_terms {
    double f = 0.0;        // H + lambda E + H/3 + B, kW/m2 (grows with ts)
    double slope = 0.0;    // d f / d ts as the Newton step takes it, kW/(m2 K)
    double e = 0.0;        // evaporation, kg/(m2 s)
    double h = 0.0;        // sensible heat, kW/m2
    double b = 0.0;        // -(net radiation) / 1000, kW/m2
};

// The terms of the balance that do not depend on the ground temperature.
struct balance_air {
    double p = 0.0;          // pressure, kPa
    double ta_k = 0.0;       // air temperature, K
    double qa = 0.0;         // specific humidity of the air, kg/kg
    double rho_u = 0.0;      // air density x wind x Ch, kg/(m2 s)
    double r = 0.0;          // sensible-heat coefficient rho cp Ch u, kW/(m2 K)
    double incoming = 0.0;   // sky longwave + shortwave, W/m2
};

balance_air air_terms(const cell_weather& w, double shortwave) {
    balance_air a;
    a.p = w.pressure;
    a.ta_k = w.air_temp + kKelvin;
    const double ea = saturation_vapour_pressure(w.air_temp) * w.rel_humidity;
    a.qa = specific_humidity(ea, a.p);
    const double rho = 3.486 * a.p / (w.air_temp + 275.0);   // air density, kg/m3
    a.rho_u = kBulkTransfer * rho * w.wind;
    a.r = rho * kCp * kBulkTransfer * w.wind;
    const double fc = 1.0 + 0.17 * w.cloud * w.cloud;        // cloud factor of the sky longwave, -
    const double ta2 = a.ta_k * a.ta_k;
    a.incoming = (0.74 + 0.0049 * ea) * fc * kSigma * ta2 * ta2 + shortwave;
    return a;
}

balance_terms balance_at(const balance_air& a, double ts) {
    balance_terms t;
    const double es = saturation_vapour_pressure(ts - kKelvin);
    const double qs = specific_humidity(es, a.p);
    t.e = a.qa < qs ? a.rho_u * (qs - a.qa) : 0.0;
    const double ts3 = ts * ts * ts;
    t.b = -(a.incoming - kSigma * ts3 * ts) / 1000.0;
    t.h = (ts - a.ta_k) * a.r;
    t.f = t.h + kLambda * t.e + t.h / 3.0 + t.b;
    t.slope = a.p / (a.p - 0.388 * es) * kLambda / (ts * ts * kVapourGas / 1000.0) * qs * a.rho_u * kLambda +
              4.0 * kSigma * ts3 / 1000.0 + a.r * (4.0 / 3.0);
    return t;
}

}  // namespace

int day_of_year(int year, int month, int day) {
    const int m = std::min(std::max(month, 1), 12);
    int d = day + kDaysBefore[m - 1];
    if (m > 2 && year % 4 == 0) ++d;
    return d;
}

double solar_declination(int day) {
    return kMaxDeclination * std::cos((172.0 - day) * 2.0 * kPi / 365.0);
}

sun_position sun_at(double latitude_rad, int day, int hour) {
    sun_position s;
    const double delta = solar_declination(day);
    const int h = ((hour % 24) + 24) % 24;
    const double omega = 15.0 * (h <= 12 ? h + 12 : h - 12) * kDegree;   // hour angle, rad
    s.sin_altitude = std::cos(latitude_rad) * std::cos(delta) * std::cos(omega) +
                     std::sin(latitude_rad) * std::sin(delta);
    s.sin_altitude = std::min(1.0, std::max(-1.0, s.sin_altitude));
    const double alt = std::asin(s.sin_altitude);
    s.altitude_deg = alt / kDegree;
    const double g = (day - 1) * 2.0 * kPi / 365.0;
    s.eccentricity = 1.00011 + 0.034221 * std::cos(g) + 0.00128 * std::sin(g) +
                     0.000719 * std::cos(2.0 * g) + 0.000077 * std::sin(2.0 * g);
    if (s.altitude_deg > 0.0) {
        s.up = true;
        s.air_mass = 1.0 / (0.15 * std::pow(s.altitude_deg + 3.885, -1.253) + s.sin_altitude);
        s.extinction = 0.128 - 0.054 * std::log10(s.air_mass);
        const double cos_alt = std::cos(alt);
        const double arg = cos_alt > 0.0 ? std::sin(omega) * std::cos(delta) / cos_alt : 0.0;
        s.azimuth = std::asin(std::min(1.0, std::max(-1.0, arg)));
    }
    return s;
}

double saturation_vapour_pressure(double t) { return 0.6108 * std::exp(17.27 * t / (t + 237.3)); }

double net_shortwave(const sun_position& sun, double slope_x, double slope_y, double global_rad,
                     double tcoeff, double albedo, double cloud) {
    if (!sun.up) return 0.0;
    const double sx = slope_x;
    const double sy = -slope_y;
    const double beta = std::atan(std::sqrt(sx * sx + sy * sy));   // slope angle, rad
    const double aspect = sx == 0.0 ? 0.0 : kPi * 0.5 - std::atan(sy / sx);
    const double cos_alt = std::sqrt(std::max(0.0, 1.0 - sun.sin_altitude * sun.sin_altitude));
    const double cos_theta = std::cos(sun.azimuth - aspect) * std::sin(beta) * cos_alt +
                             std::cos(beta) * sun.sin_altitude;
    const double beam = std::exp(-2.0 * sun.extinction * sun.air_mass) * kSolarConstant *
                        sun.eccentricity * cos_theta * (1.0 - (1.0 - kCloudTransmission) * cloud);
    const double c = std::cos(beta / 2.0);
    return (c * c * global_rad + std::max(0.0, tcoeff * beam)) * (1.0 - albedo);
}

ground_balance solve_ground_temperature(const cell_weather& w, double shortwave, double start_k) {
    ground_balance g;
    // Above the temperature where 0.378 es reaches half the pressure the
    // specific humidity formula loses its meaning (it turns negative once
    // 0.378 es passes the pressure): the bracket stays below it.
    const double log_es = std::log(w.pressure / (2.0 * 0.378) / 0.6108);
    const double highest = std::max(kLowestGround + 1.0, 237.3 * log_es / (17.27 - log_es) + kKelvin);
    double ts = std::isfinite(start_k) ? start_k : w.air_temp + kKelvin;
    ts = std::min(highest, std::max(kLowestGround, ts));
    // [lo, hi] holds the root once both ends have been seen on their side
    // (f grows with ts); a Newton step leaving it, or not a number, halves it.
    double lo = kLowestGround, hi = highest;
    bool lo_seen = false, hi_seen = false;
    const balance_air air = air_terms(w, shortwave);
    balance_terms t = balance_at(air, ts);
    bool done = false;
    for (g.passes = 1; g.passes <= kGroundPasses && !done; ++g.passes) {
        if (t.f > 0.0) {
            hi = ts;
            hi_seen = true;
        } else {
            lo = ts;
            lo_seen = true;
        }
        double next = ts - t.f / t.slope;
        if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
        const double change = std::fabs(next - ts);
        ts = next;
        t = balance_at(air, ts);
        done = change <= kGroundTolerance;
    }
    // Without a root inside the limits Ts ends at a limit: not converged.
    bool bracketed = true;
    if (!hi_seen) bracketed = t.f >= 0.0 || balance_at(air, highest).f >= 0.0;
    if (!lo_seen) bracketed = bracketed && (t.f <= 0.0 || balance_at(air, kLowestGround).f <= 0.0);
    g.converged = done && bracketed;
    if (g.passes > kGroundPasses) g.passes = kGroundPasses;
    g.ground_temp = ts;
    g.evaporation = t.e / kWaterDensity;
    g.sensible = t.h;
    g.net_rad_term = t.b;
    g.residual = -kLambda * t.e - t.h - t.b;
    return g;
}

pm_rates penman_monteith(double available, double air_temp, double ground_temp, double rel_humidity,
                         double pressure, double wind, double veg_height, double canopy_rs) {
    pm_rates r;
    const double es_air = saturation_vapour_pressure(air_temp);
    const double ea = es_air * rel_humidity;
    const double delta = 4098.0 * es_air / ((air_temp + 237.3) * (air_temp + 237.3));   // kPa/K
    const double gamma = 1.6286173633440513 * pressure / kLambda;                        // kPa/K
    const double a = available * delta;
    const double to_rate = 1.0 / (kLambda * kWaterDensity);   // (kW/m2) to m/s of water
    if (wind > kCalmWind) {
        const double h = std::max(veg_height, 0.001);
        const double z = h + 2.0 - 0.67 * h;
        const double ra = std::log(z / (0.0123 * h)) * std::log(z / (0.123 * h)) / (0.41 * 0.41 * wind);
        if (ra > 0.0 && std::isfinite(ra)) {
            r.aero_resist = ra;
            const double rho = 3.486 * pressure / (air_temp + 275.0);
            const double ae = rho * kCp * (saturation_vapour_pressure(ground_temp) - ea) / ra;
            r.pet = (a + ae) / (delta + gamma) * to_rate;
            r.aet = (a + ae) / (delta + gamma * (1.0 + canopy_rs / ra)) * to_rate;
            return r;
        }
        r.ra_bad = true;
    }
    r.pet = r.aet = a / (delta + gamma) * to_rate;
    return r;
}

double hourly_canopy_factor(int hour) { return kHourlyCanopy[((hour % 24) + 24) % 24]; }

double seasonal_canopy_factor(int month, double latitude_deg) {
    static constexpr double kSouth[13] = {4, 4, 4, 4, 2.5, 1, 1, 1, 1, 1, 2.5, 4, 4};
    static constexpr double kNorth[13] = {4, 4, 4, 4, 4, 3, 2, 1, 1, 1, 2.5, 4, 4};
    const int m = std::min(std::max(month, 1), 12);
    return latitude_deg < 37.0 ? kSouth[m] : kNorth[m];
}

double next_frozen_ground_index(double cfgi, double temp, double swe, bool under_snow_blocks) {
    const double snow_cm = swe * 100.0;
    if (under_snow_blocks && snow_cm > 1e-16) return 86.0;
    const double k = temp < 0.0 ? 0.08 : 0.5;
    const double next = 0.99875 * cfgi - std::exp(-0.4 * k * snow_cm) * temp / 24.0;
    return next > 0.0 ? next : 0.0;   // also a NaN becomes 0
}

}  // namespace et

namespace {

constexpr double kNoDataTemp = -9990.0;   // degrees C: per-cell temperatures at or below are missing

bool sized(const std::vector<double>& v, int n) { return static_cast<int>(v.size()) > n; }
bool sized(const checked_array<double>& a, int n) { return a.data != nullptr && a.size >= n; }

double value_or(const std::vector<double>& v, int i, double fallback) {
    return static_cast<int>(v.size()) > i ? v[static_cast<size_t>(i)] : fallback;
}

int value_or_int(const std::vector<int>& v, int i) {
    return static_cast<int>(v.size()) > i ? v[static_cast<size_t>(i)] : 0;
}

// Per-cell inputs of gridded hydrometeorology are complete.
bool gridded_inputs(const run_state& rs, int n) {
    return rs.hmet_ascii && sized(rs.hmet_cell_temp, n) && sized(rs.hmet_cell_global_rad, n) &&
           sized(rs.hmet_cell_pressure, n) && sized(rs.hmet_cell_wind, n) &&
           sized(rs.hmet_cell_cloud, n) && sized(rs.hmet_cell_rel_humidity, n);
}

void ensure_cells(std::vector<double>& v, int n, double value = 0.0) {
    if (static_cast<int>(v.size()) != n + 1) v.assign(static_cast<size_t>(n) + 1, value);
}

// What went wrong in the cells of one record (one warning line each).
struct et_warnings {
    int cloud_clamped = 0;   // cloud cover above 10 tenths, set to 1
    int not_converged = 0;   // ground temperature still moving after 1000 passes
    int bad_ra = 0;          // aerodynamic resistance not a positive number
    int bad_weather = 0;     // weather not a finite number: rates 0
};

void print_warnings(const run_state& rs, const et_warnings& w) {
    const hmet_record& r = rs.hmet_current;
    if (w.cloud_clamped > 0) {
        std::printf("WARNING: Cloud cover > 1.0 in %d cells on %d/%d/%d %02d:00, set to 1.0 - possible "
                    "problem with hmet file \n",
                    w.cloud_clamped, r.year, r.month, r.day, r.hour);
    }
    if (w.not_converged > 0) {
        std::printf("Ground temperature not converging in %d cells on %d/%d/%d %02d:00, check your "
                    "hydrometeorological inputs \n",
                    w.not_converged, r.year, r.month, r.day, r.hour);
    }
    if (w.bad_ra > 0) {
        std::printf("WARNING: aerodynamic resistance is not a positive number in %d cells on "
                    "%d/%d/%d %02d:00; their rates omit the wind term \n",
                    w.bad_ra, r.year, r.month, r.day, r.hour);
    }
    if (w.bad_weather > 0) {
        std::printf("WARNING: hydrometeorological values are not numbers in %d cells on %d/%d/%d "
                    "%02d:00; their evapotranspiration is 0 \n",
                    w.bad_weather, r.year, r.month, r.day, r.hour);
    }
}

}  // namespace

double evapo_trans(run_state& rs) {
    const int n = rs.GNUM;
    const hmet_record& rec = rs.hmet_current;
    if (n <= 0) return rec.air_temp;
    const bool grid = gridded_inputs(rs, n);
    const bool penman = rs.et_calc_penman != 0;
    for (std::vector<double>* v : {&rs.pet_rate, &rs.aet_rate, &rs.energy_residual}) ensure_cells(*v, n);
    if (penman) ensure_cells(rs.veg_height, n, 0.001);

    // First record: the ground starts at the air temperature.
    if (!rs.et_ground_started || static_cast<int>(rs.ground_temp.size()) != n + 1) {
        ensure_cells(rs.ground_temp, n);
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
        for (int i = 1; i <= n; ++i) {
            const double t = grid && rs.hmet_cell_temp[i] > kNoDataTemp ? rs.hmet_cell_temp[i] : rec.air_temp;
            rs.ground_temp[static_cast<size_t>(i)] = t + et::kKelvin;
        }
        rs.et_ground_started = 1;
    }

    const int day = et::day_of_year(rec.year, rec.month, rec.day);
    const double latitude_rad = rs.latitude * et::kPi / 180.0;
    const et::sun_position sun = et::sun_at(latitude_rad, day, rec.hour);
    const double canopy_factor = et::hourly_canopy_factor(rec.hour) *
                                 (rs.seasonal_rs ? et::seasonal_canopy_factor(rec.month, rs.latitude) : 1.0);

    // The record's weather, used by every cell unless the grid gives its own.
    et::cell_weather record_weather;
    record_weather.air_temp = rec.air_temp;
    record_weather.pressure = rec.pressure * 0.1;
    record_weather.rel_humidity = rec.rel_humidity / 100.0;
    record_weather.cloud = rec.cloud_cover / 10.0;
    record_weather.wind = std::max(rec.wind_speed, et::kCalmWind);
    const bool record_cloud_high = !grid && record_weather.cloud > 1.0;
    if (record_cloud_high) record_weather.cloud = 1.0;
    const double record_wind = rec.wind_speed;
    const double record_rad = rec.global_rad;

    const bool snow_on = rs.snow != 0 && sized(rs.snow_swe, n);
    const bool reduce = rs.area_reduction && sized(rs.area_reduction_factor, n);
    et_warnings warn;
    int cloud_clamped = 0, not_converged = 0, bad_ra = 0, bad_weather = 0;
#pragma omp parallel for schedule(static) reduction(+ : cloud_clamped, not_converged, bad_ra, bad_weather) \
    if (n >= kParallelCells / 128)
    for (int i = 1; i <= n; ++i) {
        const size_t c = static_cast<size_t>(i);
        et::cell_weather w = record_weather;
        double wind = record_wind;
        double global_rad = record_rad;
        if (grid) {
            w.air_temp = rs.hmet_cell_temp[i];
            w.pressure = rs.hmet_cell_pressure[i] * 0.1;
            w.rel_humidity = rs.hmet_cell_rel_humidity[i] / 100.0;
            w.cloud = rs.hmet_cell_cloud[i] / 10.0;
            if (w.cloud > 1.0) {
                w.cloud = 1.0;
                ++cloud_clamped;
            }
            wind = rs.hmet_cell_wind[i];
            w.wind = std::max(wind, et::kCalmWind);
            global_rad = rs.hmet_cell_global_rad[i];
        }
        if (!(std::isfinite(w.air_temp) && w.air_temp > kNoDataTemp && std::isfinite(w.pressure) &&
              w.pressure > 0.0 && std::isfinite(w.rel_humidity) && std::isfinite(w.cloud) &&
              std::isfinite(w.wind) && std::isfinite(global_rad))) {
            ++bad_weather;
            rs.pet_rate[c] = rs.aet_rate[c] = 0.0;
            continue;
        }

        // a. Albedo: open water over submerged vegetation, snow over buried vegetation.
        const double h = penman ? rs.veg_height[c] : 0.001;
        double albedo = value_or(rs.veg_albedo, i, 0.0);
        if (h <= value_or(rs.ov_depth, i, 0.0)) albedo = 0.08;
        if (snow_on && h <= rs.snow_swe[c]) albedo = 0.5;

        // b. Net shortwave.
        double tau = 1.0;
        if (penman) {
            tau = value_or(rs.veg_tcoeff, i, 1.0);
            if (tau == 0.0) tau = 1.0;
        }
        const double shortwave = et::net_shortwave(sun, value_or(rs.ov_slope_x, i, 0.0),
                                                   value_or(rs.ov_slope_y, i, 0.0), global_rad, tau,
                                                   albedo, w.cloud);

        // c. Ground temperature.
        const et::ground_balance g = et::solve_ground_temperature(w, shortwave, rs.ground_temp[c]);
        if (!g.converged) ++not_converged;
        rs.ground_temp[c] = g.ground_temp;
        rs.energy_residual[c] = g.residual;

        // d, e. Rates, m/s.
        double pet = g.evaporation, aet = g.evaporation;
        if (penman) {
            if (rs.veg_height[c] < 0.001) rs.veg_height[c] = 0.001;
            const double available = -g.net_rad_term - g.sensible / 3.0;
            const et::pm_rates r = et::penman_monteith(available, w.air_temp, g.ground_temp - et::kKelvin,
                                                       w.rel_humidity, w.pressure, wind, rs.veg_height[c],
                                                       canopy_factor * value_or(rs.veg_canopy_rs, i, 0.0));
            if (r.ra_bad) ++bad_ra;
            pet = r.pet;
            aet = r.aet;
        }
        // f. cm/s; negative (and non-numeric) rates become 0.
        pet *= 100.0;
        aet *= 100.0;
        if (reduce) aet *= rs.area_reduction_factor[c];
        rs.pet_rate[c] = pet > 0.0 ? pet : 0.0;
        rs.aet_rate[c] = aet > 0.0 ? aet : 0.0;
    }
    warn.cloud_clamped = record_cloud_high ? n : cloud_clamped;
    warn.not_converged = not_converged;
    warn.bad_ra = bad_ra;
    warn.bad_weather = bad_weather;
    print_warnings(rs, warn);

    if (!grid) return rec.air_temp;
    // Mean of the valid per-cell temperatures, summed in cell order.
    double sum = 0.0;
    int valid = 0;
    for (int i = 1; i <= n; ++i) {
        const double t = rs.hmet_cell_temp[i];
        if (t > kNoDataTemp && std::isfinite(t)) {
            sum += t;
            ++valid;
        }
    }
    return valid > 0 ? sum / valid : rec.air_temp;
}

void update_frozen_ground_index(run_state& rs) {
    const int n = rs.GNUM;
    if (n <= 0) return;
    ensure_cells(rs.cfgi, n);
    const bool per_cell = (rs.hmet_ascii || rs.orogvar_hmet) && sized(rs.hmet_cell_temp, n);
    const bool snow = sized(rs.snow_swe, n);
    const bool blocks = rs.snow_no_infiltrate != 0;
    const double air = rs.hmet_current.air_temp;
#pragma omp parallel for schedule(static) if (n >= kParallelCells)
    for (int i = 1; i <= n; ++i) {
        const size_t c = static_cast<size_t>(i);
        if (rs.lakes && value_or_int(rs.oland_lake_new, i) > 0) continue;
        if (rs.channel_lakes && value_or_int(rs.lake_mask, i) > 0) continue;
        double t = per_cell ? rs.hmet_cell_temp[i] : air;
        if (!std::isfinite(t) || t <= kNoDataTemp) t = air;
        if (!std::isfinite(t)) continue;   // no temperature: the index keeps its value
        rs.cfgi[c] = et::next_frozen_ground_index(rs.cfgi[c], t, snow ? rs.snow_swe[c] : 0.0, blocks);
    }
}
