// Green-Ampt infiltration with redistribution: a wetted profile of uniform
// content theta0 above the initial content thi infiltrates by the explicit
// Green-Ampt rate while the supply exceeds the conductivity, redistributes
// downward while the supply falls below it, and a second wetting front forms
// over the old profile when the supply rises again. Soil functions are
// Brooks-Corey with Se = (theta - thr) / (phi - thr):
//     K(theta) = Ks Se^(2/lambda + 3)
//     G(thi, theta0) = psi (Se0^(1/lambda + 3) - Sei^(1/lambda + 3)) / (1 - Sei^(1/lambda + 3))
// and the profile content follows
//     d theta0/dt = (theta0 - thi)/W (r - K(thi) - K(theta0) - Ks G (theta0 - thi)/W),
// with W the water held in the profile and r the supply rate.
#pragma once

struct run_state;

// Brooks-Corey soil of one cell.
struct redist_soil {
    double ks = 0.0;       // saturated hydraulic conductivity, m/s
    double psi = 0.0;      // capillary drive (wetting-front suction head), m
    double phi = 0.0;      // porosity, m3/m3
    double thr = 0.0;      // residual water content, m3/m3
    double lambda = 1.0;   // pore distribution index, - (above 0)
};

// Effective saturation of content theta (m3/m3), kept within 0..1.
double redist_saturation(const redist_soil& s, double theta);

// Unsaturated conductivity K(theta), m/s.
double redist_conductivity(const redist_soil& s, double theta);

// Capillary drive G between the initial content thi and the profile content
// theta0 (m3/m3), m; psi itself when the initial content is saturated.
double redist_capillary_drive(const redist_soil& s, double thi, double theta0);

// One explicit step of the profile content over `seconds` (s) under the
// supply rate r (m/s) with W = water (m) held in the profile; the result is
// kept within [thi, phi]. A profile without water or without content above
// thi does not redistribute and is returned as it is.
double redistribute_profile(const redist_soil& s, double theta0, double thi, double water,
                            double r, double seconds);

// One infiltration update over `seconds` (s): lowers ov_depth (m), advances
// cum_infil (m), sets infil_rate (cm/h) and the profile state of every cell.
// run_state.inf_redist_calls is the number of earlier calls. Needs ksat,
// cap_drive, phi, thr, pore_dist_index and thi; refuses with code 4000 when
// they are missing.
void infiltrate_redistribution(run_state& rs, double seconds);
