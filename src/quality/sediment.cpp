// Overland sediment set-up: reads the sediment cards and the SEDIMENTS and
// SOIL_EROSION_PROPS sections of the mapping table into the overland
// sediment record, opens the outlet sediment hydrograph and derives the
// settling velocity and the sand/fine split of every size class.
#include "quality/sediment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "input/process_tables.h"
#include "run/run_state.h"

namespace {

constexpr double kGravity = 9.81;          // m/s2
constexpr double kWaterDensity = 998.2;    // kg/m3
constexpr double kStokesLimit = 0.0001;    // largest diameter settling by Stokes' law, m
constexpr double kDefaultSplashK = 60.0;   // splash erodibility of a cell without a positive value
constexpr double kDefaultDetachCoef = 1e-5;  // detachment coefficient without a positive value
constexpr double kDefaultDetachExp = 1.0;    // detachment exponent without a positive value

void stop_with(int code, const char* what = nullptr, const char* file = nullptr) {
    set_error(code, what, file);
    report_error(error_record);
    error_record.stop = 1;
}

// Prints a reading notice on the console (unless quiet) and into the summary.
void notice(run_state& rs, const char* text) {
    if (!rs.quiet) print_message("%s", text);
    if (rs.summary_file.is_open()) file_printf(rs.summary_file, "%s", text);
}

// Class numbers fine first then sand, and from the coarsest to the finest.
void order_classes(ov_sed_record& s) {
    const int n = s.classes;
    s.sand.assign(static_cast<size_t>(n) + 1, 0);
    s.sed_class.assign(static_cast<size_t>(n) + 1, 0);
    s.n_sand_classes = s.n_fine_classes = 0;
    for (int j = 1; j <= n; ++j) {
        s.sand[j] = s.part_diam[j] >= s.sand_size ? 1 : 0;
        if (s.sand[j]) ++s.n_sand_classes; else ++s.n_fine_classes;
    }
    int k = 1;
    for (int j = 1; j <= n; ++j) if (!s.sand[j]) s.sed_class[k++] = j;
    for (int j = 1; j <= n; ++j) if (s.sand[j]) s.sed_class[k++] = j;
    s.coarse_first.resize(static_cast<size_t>(n));
    for (int j = 0; j < n; ++j) s.coarse_first[j] = j + 1;
    std::stable_sort(s.coarse_first.begin(), s.coarse_first.end(),
                     [&s](int a, int b) { return s.part_diam[a] > s.part_diam[b]; });
}

// Per-cell parameters that are not positive take their defaults.
void default_parameters(ov_sed_record& s, int cells) {
    for (int c = 1; c <= cells; ++c) {
        if (!(s.splash_K[c] > 0.0)) s.splash_K[c] = kDefaultSplashK;
        if (!(s.detach_coef[c] > 0.0)) s.detach_coef[c] = kDefaultDetachCoef;
        if (!(s.detach_exp[c] > 0.0)) s.detach_exp[c] = kDefaultDetachExp;
        if (!(s.detach_crit[c] > 0.0)) s.detach_crit[c] = 0.0;
    }
}

}  // namespace

void size_sediment_record(ov_sed_record& s, int cells) {
    const size_t nc = static_cast<size_t>(cells) + 1;
    const size_t flat = nc * (static_cast<size_t>(s.classes) + 1);
    for (std::vector<double>* a : {&s.qsx, &s.qsy, &s.sx, &s.sy, &s.q_out, &s.give_share,
                                   &s.susp_total, &s.susp_d50})
        a->assign(nc, 0.0);
    for (std::vector<double>* a : {&s.soil_fract, &s.susp_fract, &s.soil_change, &s.suspended,
                                   &s.deposited, &s.step_eroded, &s.step_deposited, &s.qsvol,
                                   &s.work})
        a->assign(flat, 0.0);
    if (s.max_sed_flux) s.qsmax.assign(flat, 0.0);
    s.exported.assign(static_cast<size_t>(s.classes) + 1, 0.0);
}

void derive_class_properties(ov_sed_record& s) {
    const size_t stride = static_cast<size_t>(s.classes) + 1;
    s.particle_density.assign(stride, 0.0);
    s.fall_velocity.assign(stride, 0.0);
    for (int j = 1; j <= s.classes; ++j) {
        s.particle_density[j] = s.spec_grav[j] * kWaterDensity * 1000.0;
        s.fall_velocity[j] = fall_velocity(s.part_diam[j], s.spec_grav[j], s.water_kin_viscosity);
    }
    order_classes(s);
}

double water_viscosity(double temp_c) {
    const double t = temp_c < 0.0 ? 0.0 : temp_c;
    return 7.125025025025025e-10 * std::pow((t + 6005.52) / (t + 45.28), 1.6012);
}

double fall_velocity(double d_mm, double sg, double nu) {
    const double d = d_mm / 1000.0;   // m
    if (d > kStokesLimit) {
        const double dstar = std::pow((sg - 1.0) * kGravity / (nu * nu), 0.3333333) * d;
        return (std::sqrt(0.0139 * dstar * dstar * dstar + 1.0) - 1.0) * 8.0 * nu / d;
    }
    return (sg - 1.0) * kGravity * d * d / (18.0 * nu);
}

void init_overland_sediment(run_state& rs) {
    if (!rs.soil_erosion) return;
    ov_sed_record& s = rs.ov_sed;
    const project_cards& c = rs.cards;
    const int v = c.soil_erosion;
    s.mode = v > 9 ? 2 : 1;
    s.formula = v > 9 ? v - 10 : v;
    s.max_sed_flux = c.max_sed_flux_given;
    s.net_sed_volume = c.net_sed_volume_given;
    s.vol_sed_susp = c.vol_sed_susp_given;
    s.adjust_elev = c.adjust_elev_given;
    s.sand_size = c.sand_size;
    // The sand/fine split of the classes needs the smallest sand diameter: left
    // out (0), every class would count as sand and none would settle as fines.
    if (!(s.sand_size > 0.0)) {
        std::printf("Error: overland sediment transport (card SOIL_EROSION) needs the card "
                    "SAND_SIZE: the smallest diameter of a sand class, mm.\n");
        stop_with(kErrorPrinted);
        return;
    }
    s.water_temp = c.water_temp < 0.0 ? 0.0 : c.water_temp;
    s.sed_porosity = c.sed_porosity;
    s.water_kin_viscosity = water_viscosity(s.water_temp);

    if (c.outlet_sed_flux[0] == '\0' ||
        !open_file_named(s.outlet_sed_flux_file, c.outlet_sed_flux, "w")) {
        stop_with(4, "outlet sediment hydrograph", c.outlet_sed_flux);
        return;
    }
    if (c.outlet_sed_tss_given &&
        (c.outlet_sed_tss[0] == '\0' || !open_file_named(s.outlet_tss_file, c.outlet_sed_tss, "w"))) {
        stop_with(4, "outlet sediment tss file", c.outlet_sed_tss);
        return;
    }

    notice(rs, "Reading sediments table from mapping table file\n");
    if (!rs.mapping_table_given || !rs.mapping_sections[input_state::kMapSediments]) {
        stop_with(92);
        return;
    }
    int n = 0;
    if (!load_sediment_table(rs.files.mapping_table, n, s.spec_grav, s.part_diam,
                             s.output_filename, s.f_bind) || n < 1) {
        // A bad row was reported by the loader; a table without classes was not.
        if (!error_record.stop) stop_with(92);
        return;
    }
    s.classes = n;
    size_sediment_record(s, rs.GNUM);

    notice(rs, "Reading soil erosion properties table from mapping table file\n");
    if (!rs.mapping_sections[input_state::kMapErosion]) {
        stop_with(93);
        return;
    }
    // Columns of a row: splash_K, sed_K, detach_coef, detach_crit, detach_exp,
    // then the soil fraction of each class.
    std::vector<std::vector<double>> fraction;
    if (!load_erosion_table(rs, rs.files.mapping_table, n,
                            {&s.splash_K, &s.sed_K, &s.detach_coef, &s.detach_crit, &s.detach_exp},
                            fraction)) {
        // The loader reported its failure, or left code 91 for the driver.
        if (error_record.code != 0) report_error(error_record);
        error_record.stop = 1;
        return;
    }
    const int cells = rs.GNUM;
    for (std::vector<double>* a : {&s.splash_K, &s.detach_coef, &s.detach_exp, &s.detach_crit,
                                   &s.sed_K})
        a->resize(static_cast<size_t>(cells) + 1, 0.0);
    default_parameters(s, cells);
    const size_t stride = static_cast<size_t>(n) + 1;
    for (int j = 1; j <= n; ++j) {
        const std::vector<double>& f = fraction[static_cast<size_t>(j)];
        for (int k = 1; k <= cells && static_cast<size_t>(k) < f.size(); ++k)
            s.soil_fract[static_cast<size_t>(k) * stride + j] = f[static_cast<size_t>(k)];
    }

    derive_class_properties(s);
    s.on = 1;
}
