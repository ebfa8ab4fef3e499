// Linear sorption of a constituent onto suspended sediment by size class, and
// the sorbed mass taken from the top soil layer by erosion.
//
// With w_k = Kd x 1e-6 (m3/g) on a sorbing class and C_k its concentration in
// the water (g/m3), the body's mass M splits into a dissolved share
// 1 / (1 + S) and sorbed shares f_k = w_k C_k / (1 + S), S = sum of w_k C_k.
// Then the sorbed mass per gram of class sediment over the dissolved
// concentration is w_k exactly, the linear isotherm.
#include "quality/sediment_bound.h"

#include <algorithm>
#include <cmath>

double sorption_weight(double kd, int class_flag) {
    return class_flag == 0 ? kd * 1e-6 : 0.0;
}

partition_result partition_body(const sorbing_classes& sc, double kd, double volume, double mass,
                                const double* sed_volume, const double* class_conc_override,
                                double* class_conc, double* fract, double* sorbed) {
    partition_result r;
    if (!(volume > kSorbZero)) return r;
    r.partitioned = 1;
    double s = 0.0;  // sum of w_k C_k, -
    for (int k = 1; k <= sc.count; ++k) {
        const double c = class_conc_override != nullptr
                             ? class_conc_override[k]
                             : sed_volume[k] * sc.density[k] / volume;
        if (class_conc != nullptr) class_conc[k] = c;
        if (sc.flag[k] == 0) r.class_conc_total += c;
        s += sorption_weight(kd, sc.flag[k]) * c;
    }
    for (int k = 1; k <= sc.count; ++k) {
        const double c = class_conc_override != nullptr
                             ? class_conc_override[k]
                             : sed_volume[k] * sc.density[k] / volume;
        const double f = sorption_weight(kd, sc.flag[k]) * c / (1.0 + s);
        fract[k] = f;
        r.sorbed_fraction += f;
        // Sediment held by the class, m3: a lake's class table gives g/m3 of
        // water, turned back to a volume of sediment by the density.
        const double amount = class_conc_override != nullptr
                                  ? c * volume / sc.density[k]
                                  : sed_volume[k];
        const double sk = amount > kSorbZero ? f * mass / amount : 0.0;
        if (std::isnan(sk)) r.nan_seen = 1;
        sorbed[k] = sk;
        r.sorbed_conc_total += sk;
    }
    fract[0] = r.sorbed_fraction;
    sorbed[0] = r.sorbed_conc_total;
    r.dissolved_fraction = 1.0 - r.sorbed_fraction;
    return r;
}

double split_lake(const sorbing_classes& sc, double kd, double water, const double* class_conc,
                  double& dissolved, double& attached, double* fract, double* sorbed) {
    const double total = dissolved + std::max(attached, 0.0);   // g
    if (!(water > kSorbZero) || !(total > 0.0)) {
        for (int k = 0; k <= sc.count; ++k) fract[k] = sorbed[k] = 0.0;
        return 0.0;
    }
    const partition_result r =
        partition_body(sc, kd, water, total, nullptr, class_conc, nullptr, fract, sorbed);
    const double d = total * r.dissolved_fraction;   // g
    const double released = d - dissolved;
    dissolved = d;
    attached = total - d;
    return released;
}

double eroded_sorbed_mass(const sorbing_classes& sc, double layer_mass, double layer_dissolved,
                          const double* soil_fract, double layer_depth_cm, double area,
                          double porosity, const double* eroded, double* taken) {
    taken[0] = 0.0;
    for (int k = 1; k <= sc.count; ++k) taken[k] = 0.0;
    double solid_share = 0.0;  // sorbing share of the parent soil, -
    for (int k = 1; k <= sc.count; ++k)
        if (sc.flag[k] == 0) solid_share += soil_fract[k];
    const double solids = solid_share * layer_depth_cm / 100.0 * area * (1.0 - porosity);  // m3
    const double available = layer_mass * (1.0 - layer_dissolved);  // sorbed mass of the layer, g
    if (!(solids > kSorbZero) || !(available > 0.0)) return 0.0;
    const double j = available / solids;  // sorbed concentration of the layer's solids, g/m3
    double want = 0.0;
    for (int k = 1; k <= sc.count; ++k) {
        if (sc.flag[k] != 0) continue;
        const double l = j * eroded[k];
        if (l > kSorbZero) {
            taken[k] = l;
            want += l;
        }
    }
    if (want > available) {
        // Erosion deeper than the layer: every class gives its share of the
        // layer's whole sorbed mass.
        const double scale = available / want;
        want = 0.0;
        for (int k = 1; k <= sc.count; ++k) {
            taken[k] *= scale;
            want += taken[k];
        }
    }
    taken[0] = want;
    return want;
}

namespace {

inline bool is_lake(const sorbed_grid& g, int k) { return g.lake != nullptr && g.lake[k] > 0; }

// Partitions every cell that is not a lake cell; a dry cell keeps its
// previous fractions. Each iteration writes only its own cell.
void partition_cells(const sorbing_classes& sc, const sorbed_grid& g, sorbed_stores& st,
                     const double* volume) {
    const double area = g.dx * g.dx;
    int nan_seen = 0;
#pragma omp parallel for schedule(static) if (g.parallel) reduction(max : nan_seen)
    for (int k = 1; k <= g.cells; ++k) {
        if (is_lake(g, k)) continue;
        const std::size_t b = static_cast<std::size_t>(k) * g.stride;
        const partition_result r = partition_body(sc, st.kd, area * g.depth[k], st.total[k],
                                                  volume + b, nullptr, nullptr, st.fract + b,
                                                  st.sorbed + b);
        if (r.partitioned) st.dissolved_fraction[k] = r.dissolved_fraction;
        if (r.nan_seen) nan_seen = 1;
    }
    if (nan_seen) st.nan_seen = 1;
}

// Sorbed mass (g) of class l leaving cell k across one face with volume v
// (m3, > 0), the cell's limit applied.
inline double leaving(const sorbed_stores& st, const double* scale, std::size_t b, int l, double v) {
    return v * st.sorbed[b + l] * scale[b + l];
}

// Class-l volume (m3) entering the cell whose row starts at `b` across its
// left, right, upper and lower faces, neighbours `nb` (negative: leaving; 0
// where the cell has no neighbour).
inline void face_inflows(const sorbed_grid& g, const int nb[4], std::size_t b, int l,
                         double in[4]) {
    in[0] = nb[0] != 0 ? g.face_x[nb[0] * g.stride + l] : 0.0;
    in[1] = nb[1] != 0 ? -g.face_x[b + l] : 0.0;
    in[2] = nb[2] != 0 ? g.face_y[nb[2] * g.stride + l] : 0.0;
    in[3] = nb[3] != 0 ? -g.face_y[b + l] : 0.0;
}

}  // namespace

void move_sediment_bound_mass(const sorbing_classes& sc, const sorbed_grid& g, sorbed_stores& st,
                              double* work) {
    const int n = sc.count;
    const std::size_t stride = g.stride;
    const double area = g.dx * g.dx;
    double* vol = work;                                               // class volumes, m3
    double* scale = work + (static_cast<std::size_t>(g.cells) + 1) * stride;  // outgoing limit, -

    // Erosion: the class volumes grow by the eroded volumes and the cell takes
    // their sorbed mass from the top soil layer.
#pragma omp parallel for schedule(static) if (g.parallel)
    for (int k = 1; k <= g.cells; ++k) {
        const std::size_t b = static_cast<std::size_t>(k) * stride;
        double* v = vol + b;
        for (int l = 0; l <= n; ++l) v[l] = g.start_volume[b + l];
        if (is_lake(g, k)) continue;
        v[0] = 0.0;
        for (int l = 1; l <= n; ++l) {
            v[l] += g.eroded[b + l];
            if (v[l] < kSorbZero) v[l] = 0.0;
            if (sc.flag[l] == 0) v[0] += v[l];
        }
        double* t = scale + b;  // per-class amounts; scale is free until the movement
        const double m = eroded_sorbed_mass(sc, st.layer_mass[k], st.layer_dissolved[k],
                                            g.soil_fract + b, g.layer_depth_cm, area,
                                            g.cell_porosity != nullptr ? g.cell_porosity[k] : g.porosity,
                                            g.eroded + b, t);
        st.total[k] += m;
        st.soil_exchange[k] -= m;
    }

    partition_cells(sc, g, st, vol);

    // Limit of each cell's outgoing sorbed mass per class: what it holds.
#pragma omp parallel for schedule(static) if (g.parallel)
    for (int k = 1; k <= g.cells; ++k) {
        const std::size_t b = static_cast<std::size_t>(k) * stride;
        const int r = g.right[k], d = g.below[k], le = g.left[k], a = g.above[k];
        for (int l = 1; l <= n; ++l) {
            double out = 0.0;  // volume leaving, m3
            if (r != 0 && g.face_x[b + l] > 0.0) out += g.face_x[b + l];
            if (d != 0 && g.face_y[b + l] > 0.0) out += g.face_y[b + l];
            if (le != 0 && g.face_x[le * stride + l] < 0.0) out -= g.face_x[le * stride + l];
            if (a != 0 && g.face_y[a * stride + l] < 0.0) out -= g.face_y[a * stride + l];
            const double want = out * st.sorbed[b + l];
            const double held = st.fract[b + l] * st.total[k];
            scale[b + l] = (want > held && want > 0.0) ? (held > 0.0 ? held / want : 0.0) : 1.0;
        }
    }

    // Movement with the sediment: faces left, right, upper, lower; each face
    // carries the sorbed concentration of the side the sediment leaves.
#pragma omp parallel for schedule(static) if (g.parallel)
    for (int k = 1; k <= g.cells; ++k) {
        if (is_lake(g, k)) continue;
        const std::size_t b = static_cast<std::size_t>(k) * stride;
        const int nb[4] = {g.left[k], g.right[k], g.above[k], g.below[k]};
        for (int l = 1; l <= n; ++l) {
            if (sc.flag[l] != 0) continue;
            double in[4];  // volume entering k across each face (negative: leaving), m3
            face_inflows(g, nb, b, l, in);
            for (int f = 0; f < 4; ++f) {
                if (in[f] == 0.0) continue;
                const int c = nb[f];
                const std::size_t cb = static_cast<std::size_t>(c) * stride;
                double m;  // sorbed mass entering k, g
                if (in[f] < 0.0) m = -leaving(st, scale, b, l, -in[f]);
                else if (is_lake(g, c)) m = in[f] * st.lake_sorbed[g.lake[c] * stride + l];
                else m = leaving(st, scale, cb, l, in[f]);
                st.total[k] += m;
                vol[b + l] += in[f];
                vol[b] += in[f];
            }
            if (vol[b + l] < 0.0) vol[b + l] = 0.0;
        }
        if (st.total[k] < 0.0) st.total[k] = 0.0;
    }

    // Lakes gain what grid cells send them and lose what they hand back, in
    // cell order (lakes are few; many cells may face one lake).
    if (g.lake != nullptr && st.lake_source != nullptr) {
        for (int k = 1; k <= g.cells; ++k) {
            if (is_lake(g, k)) continue;
            const std::size_t b = static_cast<std::size_t>(k) * stride;
            const int nb[4] = {g.left[k], g.right[k], g.above[k], g.below[k]};
            for (int l = 1; l <= n; ++l) {
                if (sc.flag[l] != 0) continue;
                double in[4];  // volume entering k across each face, m3
                face_inflows(g, nb, b, l, in);
                for (int f = 0; f < 4; ++f) {
                    const int c = nb[f];
                    if (in[f] == 0.0 || !is_lake(g, c)) continue;
                    const double m = in[f] < 0.0
                                         ? -leaving(st, scale, b, l, -in[f])
                                         : in[f] * st.lake_sorbed[g.lake[c] * stride + l];
                    st.lake_source[g.lake[c]] -= m;
                }
            }
        }
    }

    partition_cells(sc, g, st, vol);

    // Deposition returns sorbed mass to the soil; the outlet takes its share.
    // Both together are limited to what the cell holds on the class.
    double outlet_mass = 0.0;  // g; written by the outlet cell's iteration only
#pragma omp parallel for schedule(static) if (g.parallel)
    for (int k = 1; k <= g.cells; ++k) {
        if (is_lake(g, k)) continue;
        const std::size_t b = static_cast<std::size_t>(k) * stride;
        double gone = 0.0;  // sorbed mass through the outlet, g
        for (int l = 1; l <= n; ++l) {
            if (sc.flag[l] != 0) continue;
            const double held = st.fract[b + l] * st.total[k];
            double dep = st.sorbed[b + l] * g.deposited[b + l];
            double out = (k == g.outlet && g.outlet_volume != nullptr)
                             ? st.sorbed[b + l] * g.outlet_volume[l] : 0.0;
            if (dep + out > held) {
                const double s = (dep + out) > 0.0 && held > 0.0 ? held / (dep + out) : 0.0;
                dep *= s;
                out *= s;
            }
            st.soil_exchange[k] += dep;
            st.total[k] -= dep + out;
            gone += out;
            vol[b + l] -= g.deposited[b + l];
            if (vol[b + l] < 0.0) vol[b + l] = 0.0;
        }
        if (st.total[k] < 0.0) st.total[k] = 0.0;
        if (k == g.outlet) outlet_mass = gone;
    }
    st.out_of_grid += outlet_mass;

    // The class volumes become the suspended volumes after the sediment step.
    partition_cells(sc, g, st, g.end_volume);

    // The dissolved part becomes the pending change of the water mass; the
    // cell's total keeps the sorbed part.
#pragma omp parallel for schedule(static) if (g.parallel)
    for (int k = 1; k <= g.cells; ++k) {
        if (is_lake(g, k)) continue;
        const double d = st.total[k] * st.dissolved_fraction[k];
        st.pending[k] += d - st.water[k];
        st.total[k] -= d;
    }
}
