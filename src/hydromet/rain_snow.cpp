// The hand-off of rain application to the snow pack.
#include "run/run_state.h"
#include "hydromet/rain_apply.h"

// Not built yet: the pack neither melts nor changes here; the result says
// whether snow still lies on some cell.
int compute_snow(run_state& rs, double, int) {
    const int n = static_cast<int>(rs.snow_swe.size()) - 1;
    for (int k = 1; k <= n && k <= rs.GNUM; ++k) {
        if (rs.snow_swe[static_cast<size_t>(k)] > 1e-16) return 1;
    }
    return 0;
}
