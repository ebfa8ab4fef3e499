// Snow pack of one cell: hourly bookkeeping, energy-budget and
// temperature-index melt, heat deficit, liquid water and lag.
#include "hydromet/snow_melt.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTiny = 1e-16;           // m, mm or degrees C counted as zero
constexpr double kPi = 3.14159265;        // as in the seasonal melt-factor curve
constexpr double kPiFine = 3.14159265359; // as in the snow-temperature damping
constexpr double kKelvin = 273.15;        // K at 0 degrees C

// Shifts the six whole-hour precipitation values and puts `latest` first, mm.
void push_hour(snow_cell& c, double latest) {
    for (int k = 5; k >= 1; --k) c.hours[static_cast<size_t>(k)] = c.hours[static_cast<size_t>(k - 1)];
    c.hours[0] = latest;
}

// Rain on snow: more than 1.5 mm/h on average over six hours and more than
// 0.25 mm in the latest.
bool rain_on_snow(const snow_cell& c) {
    double sum = 0.0;
    for (double h : c.hours) sum += h;
    return sum / 6.0 > 1.5 && c.hours[0] > 0.25;
}

// (exp(x) - 1) / x, 1 at x = 0.
double exp_ratio(double x) {
    return std::fabs(x) > 1e-12 ? std::expm1(x) / x : 1.0;
}

// Density, new-snow density and snow temperature after a whole hour (retention on).
void update_pack_properties(snow_cell& c, const snow_params& p, const snow_forcing& f, double Ph,
                            double dt, double ice_start) {
    const double T = f.air_temp;
    const double Tn = std::min(T, 0.0);
    const double rn = T > 0.0 ? 0.05 + 0.0017 * std::pow(T, 1.5) : 0.05;   // g/cm3
    const double dn = p.scf * Ph * 0.1 / rn;                                 // cm of new snow
    if (ice_start > 0.0 && c.density <= 0.0) c.density = 0.15;
    const double d_old = ice_start > 0.0 ? ice_start * 0.1 / c.density : 0.0;   // cm of old snow
    const double Tw = d_old + dn > 0.0 ? (d_old * c.pack_temp + dn * Tn) / (d_old + dn) : T;

    if (c.ice <= 0.0) {
        c.density = 0.15;
    } else {
        double rho = c.density > 0.0 ? c.density : 0.15;
        const double B = 0.026 * dt * std::exp(0.08 * Tw - 21.0 * rho) * 0.1 * c.ice;
        const double wet = c.liquid + c.lag > 0.0 ? 2.0 : 0.0;
        const double settle = rho > 0.15 ? 23.0 * (rho - 0.15) : 0.0;
        const double M = std::exp(wet * 0.005 * dt * std::exp(0.1 * Tw + settle));
        rho = M * exp_ratio(B) * rho;
        c.density = std::min(rho, 0.4);
    }

    if (c.swe * 1000.0 - Ph <= 0.0) {
        c.new_density = rn;
    } else if (ice_start > 0.0) {
        c.new_density *= c.ice / ice_start;
    }
    c.new_density = std::clamp(c.new_density, 0.0, 0.6);

    // Snow temperature: the air temperature change damped over the pack depth.
    const double held = c.ice - c.liquid;
    const double r = held > kTiny ? c.liquid / held : 0.0;
    const double rho = c.density;
    const double heat = std::max(1e3 * (1.0 - rho - r) + 2.1e6 * rho + 4.2e6 * r, 0.0);
    const double a = std::sqrt(kPiFine * heat / (0.0442 * std::exp(5.181 * rho) * 2.0 * 3600.0 * dt));
    double dT = T - c.prev_temp;
    if (T > 0.0 && c.prev_temp > 0.0) dT = std::fabs(dT);
    if (c.prev_temp > 0.0 && T < 0.0) dT = T;
    const double x_old = 0.01 * a * d_old;
    double factor = 1.0;
    if (Ph <= 0.0 || T > f.temp_base) {
        factor = x_old > 1e-12 ? -std::expm1(-x_old) / x_old : 1.0;
    } else {
        const double x_new = 0.01 * a * dn;
        const double span = (d_old - dn) * a * 0.01;
        factor = std::fabs(span) > 1e-12 ? (std::exp(-x_new) - std::exp(-x_old)) / span
                                         : std::exp(-x_old);
    }
    c.pack_temp = std::min(c.pack_temp + factor * dT, 0.0);
}

}  // namespace

int melt_day_number(int month, int day) {
    static const int kOffset[13] = {0, 285, 316, 344, 10, 40, 71, 101, 132, 163, 193, 224, 254};
    if (month < 1 || month > 12) return -1;
    if (month == 3) return day >= 21 ? day : day + 344;
    return day + kOffset[month];
}

double seasonal_melt_factor(double mf_max, double mf_min, int day_number, double dt_hours) {
    const double season = 0.5 * std::sin(2.0 * day_number * kPi / 366.0) + 0.5;
    return ((mf_max - mf_min) * season + mf_min) * dt_hours / 6.0;
}

double snow_cell_step(snow_cell& c, const snow_params& p, const snow_forcing& f, snow_method method,
                      bool retention, unsigned& warnings) {
    const double T = f.air_temp;                                      // degrees C
    const double P = p.scf > 0.0 ? f.rain_rate / p.scf : f.rain_rate; // mm/h
    double dt = f.seconds / 3600.0;                                   // h
    const double TK4 = std::pow(T + kKelvin, 4.0);
    const bool hourly = method != snow_method::energy_budget;

    // Hourly bookkeeping: the temperature-index computations act on whole hours.
    bool hour_done = false;
    double Ph = 0.0;   // precipitation of the completed hour, mm
    if (hourly) {
        if (dt > 0.99) {
            hour_done = true;
            Ph = (c.part_t > 0.1 && c.part_p > 0.0) ? 0.0 : P * dt;
            push_hour(c, Ph);
            c.part_t = 0.0;
            c.part_p = 0.0;
        } else {
            c.part_t += dt;
            c.part_p = f.event_rain ? c.part_p + P * dt : 0.0;
            if (c.part_t > 1.0 + 0.01) warnings |= kSnowLongHour;
            if (std::fabs(c.part_t - 1.0) <= 0.01 || c.part_t > 1.0) {
                hour_done = true;
                Ph = std::fabs(c.part_p - P) > 1e-4 ? P : c.part_p;
                push_hour(c, Ph);
                c.part_t = 0.0;
                c.part_p = 0.0;
                dt = 1.0;
            }
        }
    }
    const bool ros = hour_done && !f.from_hmet && rain_on_snow(c);

    if (!(c.swe > kTiny)) {
        c.prev_temp = T;
        c.ice = 0.0;
        c.density = 0.0;
        c.new_density = 0.0;
        return 0.0;
    }

    // Energy budget, cal/(cm2 h): radiation, vapour exchange, convection and rain heat.
    double melt = 0.0;   // m leaving the pack
    double Q = 0.0, Qr = 0.0;
    if (method != snow_method::temp_index) {
        const double es = 2.749e8 * std::exp(-4278.6 / (T + 242.8));   // mb
        Qr = f.event_rain ? P / 10.0 * T : 0.0;
        const double fw = f.wind * 0.0002 / 1000.0 * 3600.0;
        Q = TK4 * 4.956e-9 - f.longwave_offset + (f.rel_humidity / 100.0 * es - 6.11) * fw * 600.0 +
            f.pressure * 0.00061 * 600.0 * fw * T + Qr;
        if (method == snow_method::energy_budget) melt = Q / f.latent_heat * f.seconds / 360000.0;
    }

    const double ice_start = c.ice;   // mm
    if (hourly && hour_done) {
        const int N = melt_day_number(f.month, f.day);
        const double MF = seasonal_melt_factor(p.mf_max, p.mf_min, N, dt);   // mm/degree C
        const double fu = T > kTiny ? p.fr_use : 0.0;
        const double ati_old = std::min(c.ati, 0.0);
        if (T <= kTiny) {
            if (Ph > 1.5 * dt)
                c.ati = T;
            else
                c.ati += (T - c.ati) * (1.0 - std::pow(1.0 - p.tipm, dt / 6.0));
            c.ati = std::min(c.ati, 0.0);
        }
        const double ratio = method == snow_method::temp_index
                                 ? (p.mf_max > 0.0 ? MF / p.mf_max : 0.0)
                                 : 1.0;
        const double dQ = std::max(dt / 6.0 * p.nmf * ratio * (ati_old - T), 0.0);   // mm
        // Rain-on-snow melt (the wind term of the equation is 0), mm.
        const double Mr_ros = (TK4 - std::pow(kKelvin, 4.0)) * 6.12e-10 + 0.0125 * Ph * fu * T;

        // Water input of the hour, mm: melt only. The rain is already on the
        // surface (or in the SWE when it fell as snow), so it is not added.
        double input = 0.0;
        if (method == snow_method::temp_index) {
            if (T > kTiny) {
                const double Mr = ros ? Mr_ros : 0.0;
                const double Mt = ros ? 0.0 : T * MF + 0.0125 * Ph * fu * T;
                if (Mr > 0.0 && Mt > 0.0) warnings |= kSnowBothMelts;
                input = Mt + Mr;
            }
        } else {
            double m = (Q - Qr) / f.latent_heat * dt * 3600.0 / 360000.0;   // m
            if (ros && Mr_ros > 0.0) m += Mr_ros / 1000.0;
            input = std::max(m * 1000.0, 0.0);
        }

        // Heat deficit and liquid water, mm.
        const double Tn = std::min(T, 0.0);
        const double dDp = (Ph > 0.0 && T <= 0.0) ? Ph * Tn / -40.0 : 0.0;
        const double cap = (1.0 - p.plwhc) * c.swe * 1000.0;
        if (c.ice <= 0.0) c.ice = cap;
        c.ice = std::min(c.ice, cap);
        const double Lmax = c.ice * p.plwhc;
        double D = std::max(c.deficit + dDp + dQ, 0.0);
        double E = input + c.liquid - Lmax - D - D * p.plwhc;
        if (E >= 0.0) {
            c.liquid = Lmax;
            c.ice += D;
            D = 0.0;
        } else if (input + c.liquid - D > 0.0) {
            c.liquid = input + c.liquid - D;
            c.ice += D;
            D = 0.0;
            E = 0.0;
        } else {
            D -= input;
            c.ice += input;
            E = 0.0;
        }
        if (D < 0.0) {
            warnings |= kSnowNegativeDeficit;
            D = 0.0;
        }
        c.deficit = D;
        melt = E / 1000.0;

        if (retention) {
            for (int k = 1; k <= 5; ++k) c.qlr[static_cast<size_t>(k)] = c.qlr[static_cast<size_t>(k + 1)];
            c.qlr[6] = 0.0;
            bool slot = false;
            for (int k = 1; k <= 6; ++k) slot = slot || c.qlr[static_cast<size_t>(k)] > 0.0;
            if (E > 0.0 || slot) {
                // Lag: with little excess against much ice everything stays in transit.
                const double l = E > kTiny ? std::exp(dt / 6.0 * -0.03 * c.ice / E) : 0.0;
                const double S = c.ice / 25.4;   // inches of ice
                double a = 1.0;
                if (S > 0.0) a = 1.0 / (5.0 * std::exp(E / 25.4 * dt * -500.0 / std::pow(S, 1.3)) + 1.0);
                if (a > 1.0) {
                    warnings |= kSnowRetention;
                    a = 1.0;
                }
                const double storage = c.lag + E;
                double released = 0.0;
                if ((1.0 - l) * 5.33 > 1.0) {
                    c.lag = storage;
                } else {
                    released = a * storage;
                    c.lag = storage - released;
                }
                if (c.lag < 0.0) {
                    warnings |= kSnowRetention;
                    c.lag = 0.0;
                }
                melt = released / 1000.0;
            }
            update_pack_properties(c, p, f, Ph, dt, ice_start);
        }
    }

    // Outflow: never more than the pack holds. Held liquid and water in
    // transit are part of the SWE, so a pack that is gone leaves nothing more.
    if (T >= 0.0 && melt > kTiny) {
        if (c.swe - melt <= 0.0) {
            melt = c.swe;
            c.swe = 0.0;
        } else {
            c.swe -= melt;
        }
    } else {
        melt = 0.0;
    }
    if (!(c.swe > kTiny)) {
        c.liquid = 0.0;
        c.lag = 0.0;
    }

    c.prev_temp = T;
    if (!(c.swe > kTiny)) {
        c.ice = 0.0;
        c.density = 0.0;
        c.new_density = 0.0;
    }
    return melt;
}
