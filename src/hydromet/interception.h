// Canopy interception: the storage capacity and coefficient of every cell,
// and the share of each rain step that the canopy holds back.
//
// Per cell: icep_stor (capacity, m), icep_coef (fraction of the rain that
// the canopy holds once its free storage is full, 0..1), icep_dep (depth
// held so far in the event, m) and ri_eff (intensity passing the canopy, m/s).
#pragma once
#include <vector>

struct run_state;

// Start-up (only when interception is simulated): capacity and coefficient
// from the mapping table's interception section, overridden by the map files
// when given. Capacities are given in mm; a capacity below 0 or a coefficient
// outside 0..1 stops the run with a message naming the cell.
void read_interception_maps(run_state& rs);

// Divisor of the capacity and the coefficient by calendar month and
// latitude (degrees) when the seasonal card is on; 1 otherwise.
double seasonal_divisor(int month, int seasonal_rs, double latitude);

// One rain step of dt seconds: ri_eff and icep_dep of every cell 1..GNUM
// from its rain rate (m/s), the capacity and the coefficient, both divided by
// `divisor`. The canopy first fills its free storage; of the rain left it
// holds the share c and passes the rest, so that the depth held plus the
// depth passed always equals the rain. Cells of a channel-network lake
// (chan_lakes on and lake_mask >= 1) hold nothing. Returns the volume held in
// the step over all cells (m3, cell area dx^2, summed in cell order).
double apply_interception(int GNUM, double dt, const std::vector<double>& icep_stor,
                          const std::vector<double>& icep_coef,
                          const std::vector<double>& cell_rain_rate, std::vector<double>& ri_eff,
                          std::vector<double>& icep_dep, std::vector<double>& held_volume,
                          double dx, double divisor, int chan_lakes,
                          const std::vector<int>& lake_mask);
