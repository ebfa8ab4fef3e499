// Flow over weir and sag-weir elements (see weirs.h).
#include "channel/weirs.h"

#include <algorithm>
#include <cmath>

#include "channel/chan_messages.h"

namespace {

constexpr double kTwoG = 19.62;             // 2 g, m/s2
constexpr double kSubmergedLinearBand = 0.01;  // head difference below which the submerged form is linear, m

// The element, or null after printing why it cannot be used.
const hydraulic_structure* weir_element(const std::vector<hydraulic_structure>& elements,
                                        int element, int type, const char* what) {
    if (element < 1 || static_cast<size_t>(element) >= elements.size()) {
        chan_say("Problem in %s (ex_flow_route).  Structure element number %d does not exist\n"
                 "(elements 1..%d).  Program terminated.\n",
                 what, element, static_cast<int>(elements.size()) - 1);
        return nullptr;
    }
    const hydraulic_structure& s = elements[static_cast<size_t>(element)];
    if (s.structtype != type) {
        chan_say("Problem in %s (ex_flow_route).  Structure element number %d is of type %d,\n"
                 "not type %d.  Program terminated.\n",
                 what, element, s.structtype, type);
        return nullptr;
    }
    return &s;
}

}  // namespace

double compute_weir_flow(const std::vector<hydraulic_structure>& elements, int element, double h1,
                         double h2) {
    const hydraulic_structure* s = weir_element(elements, element, kStructWeir, "compute_weir_flow");
    if (s == nullptr) return kWeirFailed;
    const double L = s->length;       // crest length, m
    const double zc = s->upinvert;    // crest elevation, m
    if (h1 < zc && h2 < zc) return 0.0;

    const bool forward = h1 > h2;
    const double cd = forward ? s->fwd_coeff : s->rev_coeff;
    const double H = forward ? h1 : h2;   // the higher level, m
    const double h = forward ? h2 : h1;   // the other level, m
    const double head = H - zc;       // upstream head over the crest, m (>= 0 here)
    const double tail = h - zc;       // downstream head over the crest, m

    double q = 0.0;
    if (3.0 * tail < 2.0 * head) {
        // Free flow: critical depth 2/3 of the head on the crest.
        q = (2.0 / 3.0) * cd * L * std::sqrt(kTwoG * head * head * head / 3.0);
    } else if (H - h < kSubmergedLinearBand) {
        // Submerged, nearly level: linear in the head difference so that the
        // flow goes to 0 smoothly; meets the square-root form at 0.01 m.
        q = std::sqrt(kTwoG / kSubmergedLinearBand) * cd * L * tail * (H - h);
    } else {
        q = cd * L * tail * std::sqrt(kTwoG * (H - h));
    }
    return forward ? q : -q;
}

double compute_sag_weir_flow(const std::vector<hydraulic_structure>& elements, int element,
                             double h1, double h2) {
    const hydraulic_structure* s =
        weir_element(elements, element, kStructSagWeir, "compute_sag_weir_flow");
    if (s == nullptr) return kWeirFailed;
    const double L = s->length;       // crest length, m
    const double zc = s->upinvert;    // elevation of the crest low point, m
    const double s1 = s->width;       // crest slope at the start of the crest (steep_slope), -
    const double s2 = s->height;      // crest slope at the end of the crest (shallow_slope), -
    if (!(L > 0.0)) {
        chan_say("Problem in compute_sag_weir_flow (ex_flow_route).  The crest length of sag weir\n"
                 "number %d is 0.0.  This is not possible. Program terminated.\n",
                 element);
        return kWeirFailed;
    }
    if (!(s2 > s1)) {
        chan_say("Problem in compute_sag_weir_flow (ex_flow_route).  The crest slopes of sag weir\n"
                 "number %d give no sag: shallow_slope (%g) must exceed steep_slope (%g).\n"
                 "Program terminated.\n",
                 element, s2, s1);
        return kWeirFailed;
    }
    // Crest z(x) = z0 + s1 x + a x^2 over 0..L: slope s1 at x = 0, s2 at x = L,
    // lowest point z_c at x0.
    const double a = (s2 - s1) / (2.0 * L);            // 1/m
    const double x0 = (2.0 * L / (s2 - s1)) * (-0.5 * s1);  // m
    const double z0 = zc - a * x0 * x0 - s1 * x0;      // m

    if (h1 <= zc && h2 <= zc) return 0.0;
    if (h1 == h2) return 0.0;   // no head difference, no flow
    const bool forward = h1 > h2;
    const double cd = forward ? s->fwd_coeff : s->rev_coeff;
    const double H = std::max(h1, h2);
    // Both roots below hold non-negative values exactly; rounding must not make them negative.
    const double m = std::sqrt(std::max(0.0, 4.0 * a * (H - z0) + s1 * s1));
    const double q = std::sqrt(kTwoG) * (cd / a) *
                     (m * std::sqrt(std::max(0.0, H - zc)) * 2.0 *
                      (s1 * s1 - 4.0 * a * (z0 + zc - 2.0 * H)) / a) *
                     0.03125;
    return forward ? q : -q;
}
