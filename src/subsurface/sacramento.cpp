// Sacramento step: one accounting step of the watershed's soil stores (mm)
// per Sacramento interval, fed by the water infiltrated since the last step,
// and its outflow as a channel inflow rate for the channel steps until the
// next one. Runs on the time-loop thread (one lumped column).
#include "subsurface/sacramento.h"

#include <algorithm>
#include <cmath>

#include "run/run_state.h"

namespace {

constexpr double kTiny = 1e-16;   // mm

double zone_storage(const sacramento_state& s) {
    return s.uztwc + s.uzfwc + s.lztwc + s.lzfsc + s.lzfpc;   // mm
}

// Fraction drained over part `share` of a day at the daily fraction k.
double depletion(double k, double share) {
    return 1.0 - std::pow(1.0 - k, share);
}

}  // namespace

sacramento_fluxes sacramento_step(sacramento_state& s, double demand, double input, double days) {
    sacramento_fluxes out;
    const double before = zone_storage(s);

    // 1. Evaporation from the upper tension water; once it is empty, the rest
    // of the demand from the upper free water.
    double E1 = demand * s.uztwc / s.uztwm;
    double E2 = 0.0;
    s.uztwc -= E1;
    if (s.uztwc <= 0.0) {
        E1 += s.uztwc;
        s.uztwc = 0.0;
        const double red = demand - E1;
        E2 = std::min(s.uzfwc, red);
        s.uzfwc -= E2;
    }
    // 2. Free water refills the tension water to the same fraction of capacity.
    if (s.uzfwc / s.uzfwm > s.uztwc / s.uztwm) {
        const double f = (s.uzfwc + s.uztwc) / (s.uzfwm + s.uztwm);
        s.uztwc = f * s.uztwm;
        s.uzfwc = f * s.uzfwm;
    }
    // 3. Lower free water refills the lower tension water likewise.
    const double ratio = (s.lzfpc + s.lzfsc + s.lztwc - s.saved) / (s.lzfpm + s.lzfsm + s.lztwm - s.saved);
    if (ratio > s.lztwc / s.lztwm) {
        const double move = std::min((ratio - s.lztwc / s.lztwm) * s.lztwm, s.lzfsc + s.lzfpc);
        s.lztwc += move;
        s.lzfsc -= move;
        if (s.lzfsc < 0.0) {
            s.lzfpc += s.lzfsc;
            s.lzfsc = 0.0;
        }
    }
    // 4. Input fills the upper tension water first.
    double twx = input - (s.uztwm - s.uztwc);
    if (twx < 0.0) {
        twx = 0.0;
        s.uztwc += input;
    } else {
        s.uztwc = s.uztwm;
    }
    // 5. Increments of at most about 5 mm; daily fractions scaled to each.
    const int ninc = static_cast<int>((twx + s.uzfwc) / 5.0 + 1.00001);
    const double dinc = 1.0 / ninc;
    const double pinc = twx * dinc;
    const double share = days * dinc;   // days per increment
    const double duz = depletion(s.uzk, share);
    const double dlzp = depletion(s.lzpk, share);
    const double dlzs = depletion(s.lzsk, share);
    const double lower_capacity = s.lzfpm + s.lzfsm + s.lztwm;

    for (int i = 0; i < ninc; ++i) {
        // 6.1 Base flow.
        const double bp = dlzp * s.lzfpc, bs = dlzs * s.lzfsc;
        out.baseflow += bp + bs;
        s.lzfpc -= bp;
        s.lzfsc -= bs;
        // 6.2 Little water: it stays in the upper free store.
        if (pinc + s.uzfwc <= 0.01) {
            s.uzfwc += pinc;
            continue;
        }
        // 6.3 Percolation, demanded by the lower zone's deficiency.
        const double defr = 1.0 - (s.lzfpc + s.lzfsc + s.lztwc) / lower_capacity;
        double perc = s.pbase * share * s.uzfwc / s.uzfwm * (1.0 + s.zperc * std::pow(std::max(defr, 0.0), s.rexp));
        if (s.uzfwc < perc) {
            perc = s.uzfwc;
            s.uzfwc = 0.0;
        } else {
            s.uzfwc -= perc;
            const double check = s.lzfpc + s.lzfsc + s.lztwc + perc - lower_capacity;
            if (check > 0.0) {
                perc -= check;
                s.uzfwc += check;
            }
            const double del = duz * s.uzfwc;
            out.interflow += del;
            s.uzfwc -= del;
        }
        // 6.4 Percolation into the lower tension and free stores.
        const double perct = perc * (1.0 - s.pfree);
        double percf = perc * s.pfree;
        if (perct + s.lztwc <= s.lztwm) {
            s.lztwc += perct;
        } else {
            percf += perct + s.lztwc - s.lztwm;
            s.lztwc = s.lztwm;
        }
        if (percf > 0.0) {
            const double hpl = s.lzfpm / (s.lzfpm + s.lzfsm);
            const double ratlp = 1.0 - s.lzfpc / s.lzfpm;
            const double ratls = 1.0 - s.lzfsc / s.lzfsm;
            const double both = ratlp + ratls;
            double percs = both > kTiny ? percf * (1.0 - 2.0 * hpl * ratlp / both) : percf * (1.0 - hpl);
            percs = std::clamp(percs, 0.0, percf);
            s.lzfsc += percs;
            if (s.lzfsc > s.lzfsm) {
                percs -= s.lzfsc - s.lzfsm;
                s.lzfsc = s.lzfsm;
            }
            s.lzfpc += percf - percs;
        }
        // 6.5 The increment's input fills the upper free water; the rest runs off.
        if (pinc > 0.0) {
            if (pinc < s.uzfwm - s.uzfwc) {
                s.uzfwc += pinc;
            } else {
                out.runoff += pinc - (s.uzfwm - s.uzfwc);
                s.uzfwc = s.uzfwm;
            }
        }
    }

    out.evaporation = E1 + E2;
    out.residual = (before - zone_storage(s)) + input - out.evaporation - out.outflow();
    return out;
}

double sacramento_in_transit(const run_state& rs) {
    const double area = rs.cell_size * rs.cell_size;   // m2 per cell
    return (rs.sac_infiltration - rs.sac_prev_infiltration) * area + rs.sac_pending;
}

double sacramento_water(const run_state& rs) {
    return zone_storage(rs.sac_state) * rs.watershed_area / 1000.0 + sacramento_in_transit(rs);
}

void compute_sacramento(run_state& rs) {
    if (!rs.sacramento || !process_due(rs, rs.sac_next)) return;
    sacramento_state& s = rs.sac_state;
    ++rs.sac_calls;
    if (rs.sac_calls == 1) {
        rs.sac_prev_infiltration = 0.0;
        rs.sac_out = rs.sac_out_prev = rs.sac_out_mean = 0.0;
        rs.sac_init_storage = zone_storage(s);
        rs.sac_avg_init_storage = rs.sac_init_storage;
        rs.sac_initial_outflow = s.lzfpc * s.lzpk + s.lzfsc * s.lzsk;
    }
    const double demand = rs.avg_et_rate * 10.0;   // mm (avg_et_rate in cm)
    // The accounting covers the time since its last step (its interval at the first).
    const double seconds = rs.sac_calls == 1 ? rs.sac_step_seconds : process_elapsed_seconds(rs, rs.sac_last);   // s
    const double days = seconds / 86400.0;           // days
    advance_process_clock(rs, rs.sac_last, rs.sac_next, rs.sac_step_days);

    const double area = rs.watershed_area;   // m2
    const double x = rs.GNUM > 0 ? (rs.sac_infiltration - rs.sac_prev_infiltration) / rs.GNUM * 1000.0 : 0.0;   // mm
    rs.sac_rainfall += x;
    rs.sac_avg_precip += x;
    rs.sac_vol_input += x * area / 1000.0;

    const sacramento_fluxes f = sacramento_step(s, demand, x, days);
    rs.sac_residual += f.residual;
    const double out = f.outflow();   // mm
    rs.sac_pet += demand;
    rs.sac_aet += f.evaporation;
    rs.sac_avg_et += f.evaporation;
    rs.sac_vol_et += f.evaporation * area / 1000.0;
    rs.sac_subsurface_runoff += out;
    rs.sac_vol_outflow += out * area / 1000.0;
    rs.event_sac_baseflow += out * area / 1000.0;
    rs.event_sac_infiltration += x * area / 1000.0;
    rs.event_sac_et += f.evaporation * area / 1000.0;
    rs.sac_prev_infiltration = rs.sac_infiltration;
    rs.sac_out_prev = rs.sac_out;
    rs.sac_out = out;
    rs.sac_out_mean = 0.5 * (rs.sac_out + rs.sac_out_prev);
    // The outflow waiting for the channels (this step's and any the channel
    // steps have not taken yet) spread over the interval until the next step, m3/s.
    rs.sac_pending += out * area / 1000.0;
    rs.sac_channel_inflow = seconds > 0.0 ? rs.sac_pending / seconds : 0.0;
}
