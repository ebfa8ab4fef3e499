// Evapotranspiration withdrawal and root-zone drainage: the water of every
// cell step is accounted for (change of the root zone = infiltrated - e1 - e2
// - q2), the surface is drawn first, the stress factors and drainage follow
// the soil, and the step over a run state books what it moves.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "hydromet/hydromet.h"
#include "output/run_summary.h"
#include "subsurface/soil_et.h"
#include "subsurface_fixture.h"

namespace {

// A two-layer root zone of 100 cm (upper 40 cm) of one soil: porosity 0.45,
// residual 0.05, field capacity 0.30, wilting 0.10, drainage Ks 1 cm/h over
// one hour with lambda 0.3.
root_zone two_layers(double ks_step = 1.0, double lambda = 0.3) {
    root_zone z;
    z.layers = 2;
    z.depth = 100.0;
    auto layer = [&](double t) {
        root_layer l;
        l.thickness = t;
        l.residual = 0.05 * t;
        l.saturated = 0.45 * t;
        l.no_stress = 0.30 * t;
        l.wilting = 0.10 * t;
        const double x = lambda > 0.0 ? 3.0 / lambda + 2.0 : 0.0;
        l.drain = {ks_step, x, ks_step, x};
        return l;
    };
    z.upper = layer(40.0);
    z.lower = layer(60.0);
    return z;
}

root_zone one_layer() {
    root_zone z = two_layers();
    z.layers = 1;
    z.depth = 40.0;
    z.lower = root_layer{};
    return z;
}

struct zone_case {
    const char* what;
    root_zone zone;
    double upper, lower;      // water at the start, cm
    double infiltrated;       // V, cm
    double demand;            // soil demand, cm
    bool deardorff;
};

TEST(RootZoneStep, WaterOfEveryCaseIsAccountedFor) {
    root_zone flat = two_layers();
    root_zone no_zone;   // water table at the ground
    root_zone tight = two_layers(1.0, 0.0);   // lambda 0: does not drain
    root_zone no_pores = two_layers();
    no_pores.upper.saturated = no_pores.upper.residual;   // porosity = residual
    no_pores.upper.no_stress = no_pores.upper.residual;
    root_zone layered = two_layers();
    layered.cap_upper_drain = true;
    const zone_case cases[] = {
        {"moist soil, no rain", flat, 10.0, 15.0, 0.0, 0.05, false},
        {"wet soil drains", flat, 16.0, 24.0, 0.0, 0.05, false},
        {"saturated upper passes the infiltration", flat, 18.0, 20.0, 0.5, 0.0, false},
        {"infiltration overfills the upper layer", flat, 17.9, 26.9, 3.0, 0.0, false},
        {"demand beyond the water held", flat, 2.1, 3.05, 0.0, 500.0, false},
        {"below wilting: nothing withdrawn", flat, 3.0, 5.0, 0.0, 0.5, false},
        {"Deardorff stress", flat, 8.0, 12.0, 0.1, 0.3, true},
        {"Deardorff at residual", flat, 2.0, 3.0, 0.0, 0.3, true},
        {"one layer", one_layer(), 14.0, 0.0, 0.2, 0.1, false},
        {"one layer, dry and infiltrating", one_layer(), 2.0, 0.0, 0.05, 9.0, false},
        {"no root zone", no_zone, 0.0, 0.0, 0.7, 0.4, false},
        {"lambda 0", tight, 16.0, 24.0, 0.1, 0.1, false},
        {"porosity equals residual", no_pores, 2.0, 20.0, 0.0, 0.1, false},
        {"layered: upper drainage capped at the lower", layered, 16.0, 19.0, 0.0, 0.0, false},
        {"start below residual", flat, 1.0, 1.0, 0.3, 1.0, false},
    };
    for (const zone_case& c : cases) {
        double upper = c.upper, lower = c.lower;
        const root_zone_flows f = step_root_zone(c.zone, upper, lower, c.infiltrated, c.demand, c.deardorff);
        const double change = (upper + lower) - (c.upper + c.lower);
        EXPECT_NEAR(change, c.infiltrated - f.e1 - f.e2 - f.q2, 1e-12) << c.what;
        EXPECT_GE(f.e1, 0.0) << c.what;
        EXPECT_GE(f.e2, 0.0) << c.what;
        EXPECT_GE(f.q1, 0.0) << c.what;
        EXPECT_GE(f.q2, 0.0) << c.what;
        EXPECT_LE(f.e1 + f.e2, c.demand + 1e-15) << c.what;
        if (c.zone.layers == 0) continue;
        EXPECT_LE(upper, c.zone.upper.saturated + 1e-12) << c.what;
        // The step takes no layer below residual (nor lower than it found it).
        EXPECT_GE(upper, std::min(c.upper, c.zone.upper.residual) - 1e-12) << c.what;
        if (c.zone.layers == 2) {
            EXPECT_LE(lower, c.zone.lower.saturated + 1e-12) << c.what;
            EXPECT_GE(lower, std::min(c.lower, c.zone.lower.residual) - 1e-12) << c.what;
        } else {
            EXPECT_EQ(lower, c.lower) << c.what;
            EXPECT_EQ(f.q1, f.q2) << c.what;
        }
    }
}

TEST(RootZoneStep, WithdrawalAndDrainageRules) {
    const root_zone z = two_layers();
    double upper = 16.0, lower = 24.0;   // both at 0.40: above field capacity
    // Penman-Monteith, no stress: the demand shared by layer thickness.
    root_zone_flows f = step_root_zone(z, upper, lower, 0.0, 0.5, false);
    EXPECT_NEAR(f.e1, 0.5 * 0.4, 1e-15);
    EXPECT_NEAR(f.e2, 0.5 * 0.6, 1e-15);
    // Drainage at Se = 0.35 / 0.40 by Brooks-Corey: Ks Se^(3/lambda + 2).
    EXPECT_NEAR(f.q2, std::pow(0.875, 3.0 / 0.3 + 2.0), 1e-12);
    // Penman-Monteith between wilting (4 cm) and no stress (12 cm): linear.
    double f1 = 0.0, f2 = 0.0;
    stress_factors(z, 8.0, 18.0, false, f1, f2);
    EXPECT_NEAR(f1, 0.5 * 0.4, 1e-15);
    EXPECT_NEAR(f2, 1.0 * 0.6, 1e-15);
    // Deardorff: the upper water against its no-stress water, for both layers.
    stress_factors(z, 6.0, 0.0, true, f1, f2);
    EXPECT_NEAR(f1, 0.5 * 0.4, 1e-15);
    EXPECT_NEAR(f2, 0.5 * 0.6, 1e-15);
    // One layer: no lower share.
    stress_factors(one_layer(), 14.0, 0.0, false, f1, f2);
    EXPECT_EQ(f1, 1.0);
    EXPECT_EQ(f2, 0.0);
    // At or below field capacity nothing drains.
    EXPECT_EQ(layer_drainage_depth(z.upper, 12.0), 0.0);
    EXPECT_GT(layer_drainage_depth(z.upper, 12.1), 0.0);
    // No root zone: nothing withdrawn, the infiltration goes down whole.
    double u0 = 0.0, l0 = 0.0;
    f = step_root_zone(root_zone{}, u0, l0, 0.7, 0.4, false);
    EXPECT_EQ(f.e1 + f.e2, 0.0);
    EXPECT_EQ(f.q2, 0.7);
}

TEST(FieldCapacity, LiesBetweenResidualAndPorosity) {
    const double fc = brooks_corey_field_capacity(0.45, 0.05, 0.3, 11.0);
    // Bubbling head 11 x 1.9 / 2.9 cm; Se = (hb / 336.5)^0.3.
    const double hb = 11.0 * 1.9 / 2.9;
    EXPECT_NEAR(fc, 0.05 + 0.40 * std::pow(hb / 336.5, 0.3), 1e-15);
    EXPECT_GT(fc, 0.05);
    EXPECT_LT(fc, 0.45);
    EXPECT_EQ(brooks_corey_field_capacity(0.45, 0.05, 0.0, 11.0), 0.05);
    EXPECT_EQ(brooks_corey_field_capacity(0.45, 0.05, 0.3, 0.0), 0.05);
    EXPECT_LE(brooks_corey_field_capacity(0.45, 0.05, 0.3, 1e6), 0.45);
}

TEST(SurfaceWithdrawal, SurfaceFirstThenTheSoilForTheRestOfTheStep) {
    struct surface_case {
        const char* what;
        double depth;          // surface water, cm
        double pet, aet;       // cm/s
        double soil_demand;    // cm
        double evaporated;     // cm
        double depth_after;    // cm
    } cases[] = {
        // 0.2 cm against 0.5 cm: dry after 40 % of the step, the soil takes 60 % at 0.3 cm per step.
        {"surface dries", 0.2, 0.5 / 3600.0, 0.3 / 3600.0, 0.6 * 0.3, 0.2, 0.0},
        {"surface enough", 1.0, 0.5 / 3600.0, 0.3 / 3600.0, 0.0, 0.5, 0.5},
        {"no surface water", 0.0, 0.5 / 3600.0, 0.3 / 3600.0, 0.3, 0.0, 0.0},
        {"no demand", 1.0, 0.0, 0.0, 0.0, 0.0, 1.0},
    };
    for (const surface_case& c : cases) {
        double depth = c.depth, evaporated = -1.0;
        const double soil = withdraw_surface(depth, 3600.0, c.pet, c.aet, 1e-16, evaporated);
        EXPECT_NEAR(soil, c.soil_demand, 1e-14) << c.what;
        EXPECT_NEAR(evaporated, c.evaporated, 1e-14) << c.what;
        EXPECT_NEAR(depth, c.depth_after, 1e-14) << c.what;
    }
}

// ---------------------------------------------------------------------------
// The step over a run state.

constexpr double kHour = 1.0 / 24.0;   // days

// A long-term redistribution run state of `cells` cells: soil 100 cm deep
// (upper 40 cm), contents 0.35, a demand of 0.5 cm/h (PET) and 0.3 cm/h (AET).
run_state_ptr make_withdrawal_state(int cells) {
    run_state_ptr rs = make_grid_state(1, cells);
    rs->long_term = 1;
    rs->inf_redist = 1;
    rs->recharge_computed = 1;
    rs->soil_et = 1;
    rs->et_calc_penman = 1;
    rs->soil_moist_depth = 100.0;
    rs->top_layer_depth = 40.0;
    rs->time = 10.0;
    rs->time_tolerance = 1e-6;
    rs->et_last = 10.0 - kHour;
    rs->et_next = 10.0;
    rs->et_step_days = kHour;
    const size_t n = static_cast<size_t>(rs->GNUM) + 1;
    rs->thr.assign(n, 0.05);
    rs->pore_dist_index.assign(n, 0.3);
    rs->soil_wilting_point.assign(n, 0.10);
    rs->pet_rate.assign(n, 0.5 / 3600.0);
    rs->aet_rate.assign(n, 0.3 / 3600.0);
    rs->lt_infil_depth.assign(n, 0.0);
    rs->bottom_flux.assign(n, 0.0);
    rs->root_zone_upper.assign(n, 0.35 * 40.0);
    rs->root_zone_lower.assign(n, 0.35 * 60.0);
    rs->root_zone_water.assign(n, 0.35 * 100.0);
    rs->unsat_depth.assign(n, 0.0);   // no water table: the groundwater never set it
    for (int i = 1; i <= rs->GNUM; ++i) {
        rs->ksat[i] = 1.0 / 360000.0;   // 1 cm/h
        rs->cap_drive[i] = 0.11;
        rs->phi[i] = 0.45;
    }
    return rs;
}

// Water of the cells (surface and root zone) plus what left them, m3.
double accounted_water(const run_state& rs) {
    const double area = rs.cell_size * rs.cell_size;
    double w = rs.vol_evaporation;
    for (int i = 1; i <= rs.GNUM; ++i) {
        w += (rs.ov_depth[i] + (rs.root_zone_upper[i] + rs.root_zone_lower[i] + rs.bottom_flux[i]) / 100.0) * area;
    }
    return w;
}

TEST(SoilEtStep, BooksEveryCellCaseAndClosesTheBalance) {
    run_state_ptr rs = make_withdrawal_state(6);
    rs->ov_depth[2] = 0.002;                 // 0.2 cm ponded against 0.5 cm
    rs->ov_depth[3] = 0.02;                  // enough surface water for the step
    rs->cell_rain_rate.assign(7, 0.0);
    rs->cell_rain_rate[4] = 1e-6;            // raining
    rs->lt_infil_depth[4] = 0.001;           // which infiltrated 0.1 cm
    rs->snow = 1;
    rs->snow_swe.assign(7, 0.0);
    rs->snow_swe[5] = 0.01;                  // under snow
    rs->root_zone_upper[6] = 0.09 * 40.0;    // below wilting in the upper layer
    rs->root_zone_lower[6] = 0.09 * 60.0;
    const double before = accounted_water(*rs);
    const double infiltrated = 0.001 * rs->cell_size * rs->cell_size;
    std::vector<double> upper0(rs->root_zone_upper), lower0(rs->root_zone_lower);
    compute_soil_et(*rs);

    // Nothing created or lost: held + gone = held before + infiltrated.
    EXPECT_NEAR(accounted_water(*rs), before + infiltrated, 1e-9 * before);
    // Cell 1: no water table, so the soil depth is the root zone: 0.3 cm withdrawn.
    EXPECT_EQ(rs->no_root_zone[1], 0);
    const double drained1 = rs->bottom_flux[1];
    EXPECT_NEAR(upper0[1] + lower0[1] - rs->root_zone_water[1], 0.3 + drained1, 1e-12);
    // Cell 2: the surface dries and the soil takes 60 % of the step at 0.3 cm/h.
    EXPECT_EQ(rs->ov_depth[2], 0.0);
    EXPECT_NEAR(rs->surface_evap_total[2], 0.2, 1e-15);
    EXPECT_NEAR(upper0[2] + lower0[2] - rs->root_zone_water[2], 0.6 * 0.3 + rs->bottom_flux[2], 1e-12);
    // Cell 3: the surface gives the whole potential demand; the soil only drains.
    EXPECT_NEAR(rs->ov_depth[3], 0.02 - 0.005, 1e-15);
    EXPECT_NEAR(rs->root_zone_water[3], rs->root_zone_water[1] + 0.3, 1e-12);
    // Cells 4 (raining) and 5 (snow) lose nothing to evapotranspiration.
    EXPECT_NEAR(rs->root_zone_water[4] + rs->bottom_flux[4], upper0[4] + lower0[4] + 0.1, 1e-12);
    EXPECT_NEAR(rs->root_zone_water[5] + rs->bottom_flux[5], upper0[5] + lower0[5], 1e-12);
    // Cell 6: below wilting everywhere: no withdrawal, no drainage.
    EXPECT_EQ(rs->root_zone_water[6], upper0[6] + lower0[6]);
    // Volumes: surface 0.2 + 0.5 cm of cells 2, 3 and soil 0.3 + 0.18 cm of cells 1, 2.
    const double area = rs->cell_size * rs->cell_size;
    EXPECT_NEAR(rs->vol_evaporation, (0.002 + 0.005 + 0.003 + 0.0018) * area, 1e-12);
    EXPECT_NEAR(rs->vol_direct_evaporation, (0.002 + 0.005) * area, 1e-12);
    EXPECT_NEAR(rs->infil_depth_total, 0.001, 1e-18);
    EXPECT_EQ(rs->lt_infil_depth[4], 0.0);
    // The clock moves on by its interval.
    EXPECT_DOUBLE_EQ(rs->et_last, 10.0);
    EXPECT_DOUBLE_EQ(rs->et_next, 10.0 + kHour);
    EXPECT_NEAR(rs->theta_all[1], rs->root_zone_upper[1] / 40.0, 1e-15);
}

// A water table at the ground leaves no root zone: the vegetation draws the
// whole demand from the table (0.3 cm at the actual rate over the hour),
// charged to the cell's bottom flux and to the no-root-zone total, while
// the infiltration goes down whole. (The cell used to give up nothing.)
TEST(SoilEtStep, WaterTableAtTheGroundGivesTheWholeDemandFromTheTable) {
    run_state_ptr rs = make_withdrawal_state(2);
    rs->water_table = 1;
    rs->unsat_depth[1] = 0.0;     // water table at the ground
    rs->unsat_depth[2] = 30.0;    // 30 cm above the table: one layer
    rs->root_zone_upper[1] = rs->root_zone_lower[1] = 0.0;
    rs->root_zone_upper[2] = 0.3 * 30.0;
    rs->root_zone_lower[2] = 0.0;
    rs->lt_infil_depth[1] = 0.004;
    compute_soil_et(*rs);
    EXPECT_EQ(rs->no_root_zone[1], 1);
    EXPECT_EQ(rs->root_zone_water[1], 0.0);
    EXPECT_NEAR(rs->bottom_flux[1], 0.4 - 0.3, 1e-12);   // infiltration down, demand up
    EXPECT_EQ(rs->theta_all[1], 0.45);
    EXPECT_NEAR(rs->et_no_root_zone_total, 0.003, 1e-14);   // m
    // Cell 1 from the table and cell 2's soil (one layer of 30 cm, no stress at 0.30).
    const double area = rs->cell_size * rs->cell_size;
    EXPECT_NEAR(rs->vol_evaporation, (0.003 + 0.003) * area, 1e-12);
    // A raining cell over the table draws nothing.
    rs->cell_rain_rate.assign(3, 1e-6);
    rs->time = rs->et_next;
    compute_soil_et(*rs);
    EXPECT_NEAR(rs->et_no_root_zone_total, 0.003, 1e-14);
}

TEST(SoilEtStep, LayeredSoilsAndNotDue) {
    run_state_ptr rs = make_withdrawal_state(2);
    rs->inf_redist = 0;
    rs->inf_layered_soil = 1;
    rs->soiltype.assign(3, 7);
    soil_layer_record& s = rs->soil_table[7];
    for (int k = 0; k < 3; ++k) {
        s.ksat[k] = 2.0 - 0.5 * k;
        s.porosity[k] = 0.45;
        s.residual[k] = 0.05;
        s.field_capacity[k] = 0.25;
        s.wilting_point[k] = 0.1;
        s.pore_index[k] = 0.3 + 0.1 * k;
    }
    s.thickness[0] = 30.0;
    s.thickness[1] = 70.0;
    rs->root_zone_upper.assign(3, 0.4 * 30.0);
    rs->root_zone_lower.assign(3, 0.4 * 70.0);
    rs->lt_infil_depth[2] = 0.002;

    // Not due: nothing happens.
    rs->et_next = 10.5;
    compute_soil_et(*rs);
    EXPECT_EQ(rs->vol_evaporation, 0.0);
    EXPECT_EQ(rs->lt_infil_depth[2], 0.002);

    rs->et_next = 10.0;
    const double before = accounted_water(*rs);
    compute_soil_et(*rs);
    const double area = rs->cell_size * rs->cell_size;
    EXPECT_NEAR(accounted_water(*rs), before + 0.002 * area, 1e-9 * before);
    EXPECT_NEAR(rs->vol_evaporation, 2 * 0.003 * area, 1e-12);
    // Upper drainage capped at what the lower layer passes on.
    EXPECT_LE(rs->upper_perc_total[1], rs->lower_perc_total[1] + 1e-15);
    EXPECT_GT(rs->lower_perc_total[1], 0.0);
    EXPECT_NEAR(rs->theta_all[1], rs->root_zone_upper[1] / 30.0, 1e-15);
}

// Two days of a small grid: rain for four hours, infiltration of part of the
// ponded water, hourly withdrawal and drainage; the run summary's balances
// (whole run, surface, soil) close on what the step booked.
TEST(SoilEtStep, RunSummaryBalancesClose) {
    run_state_ptr rs = make_withdrawal_state(4);
    const double area = rs->cell_size * rs->cell_size;
    rs->cell_rain_rate.assign(5, 0.0);
    for (int i = 1; i <= 4; ++i) rs->ov_depth[i] = 0.001 * i;
    for (int i = 1; i <= 4; ++i) {
        rs->vol_surface_init += rs->ov_depth[i] * area;
        rs->vol_soil_init += rs->root_zone_water[i] / 100.0 * area;
    }
    rs->vol_soil_moist_init = rs->vol_soil_init;
    for (int hour = 0; hour < 48; ++hour) {
        const bool rain = hour < 4;
        for (int i = 1; i <= 4; ++i) {
            const size_t c = static_cast<size_t>(i);
            rs->cell_rain_rate[c] = rain ? 0.002 / 3600.0 : 0.0;
            if (rain) {
                rs->ov_depth[c] += 0.002;   // m in the hour
                rs->vol_precip += 0.002 * area;
            }
            const double infiltrated = std::min(rs->ov_depth[c], 0.0004 * i);   // m
            rs->ov_depth[c] -= infiltrated;
            rs->lt_infil_depth[c] += infiltrated;
            rs->vol_infiltration += infiltrated * area;
        }
        compute_soil_et(*rs);
        rs->time += kHour;
    }
    // The drainage out of the root zone, booked as the event control does.
    for (int i = 1; i <= 4; ++i) {
        rs->vol_unsat_downward += rs->bottom_flux[i] / 100.0 * area;
        rs->bottom_flux[i] = 0.0;
    }
    ASSERT_GT(rs->vol_evaporation, 0.0);
    ASSERT_GT(rs->vol_direct_evaporation, 0.0);
    ASSERT_GT(rs->vol_unsat_downward, 0.0);
    write_run_summary(*rs);
    // Percent of the water supplied: 1e-9 % is far below one rounding per step.
    EXPECT_NEAR(rs->overall_mass_balance_error, 0.0, 1e-9);
    EXPECT_NEAR(rs->surface_mass_balance_error, 0.0, 1e-9);
    EXPECT_NEAR(rs->soil_mass_balance_error, 0.0, 1e-9);
}

TEST(SoilEtStep, SameResultOnOneAndManyThreads) {
    std::vector<double> water[2];
    double volume[2] = {};
    const int saved = omp_get_max_threads();
    for (int k = 0; k < 2; ++k) {
        omp_set_num_threads(k == 0 ? 1 : 4);
        run_state_ptr rs = make_withdrawal_state(2500);   // above the parallel threshold of the tests
        for (int i = 1; i <= rs->GNUM; ++i) {
            rs->ov_depth[i] = 1e-5 * (i % 9);
            rs->lt_infil_depth[i] = 1e-4 * (i % 4);
            rs->root_zone_upper[i] = 4.0 + 0.03 * (i % 300);
        }
        for (int step = 0; step < 5; ++step) {
            compute_soil_et(*rs);
            rs->time += kHour;
        }
        water[k] = rs->root_zone_water;
        volume[k] = rs->vol_evaporation;
    }
    omp_set_num_threads(saved);
    EXPECT_EQ(water[0], water[1]);
    EXPECT_EQ(volume[0], volume[1]);
}

}  // namespace
