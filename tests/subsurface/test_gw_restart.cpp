// A long-term run's dry surface waits for the next event; a water table that
// reaches the ground while no rain falls brings the overland and infiltration
// clocks back to the model step from now, and only then.
#include <gtest/gtest.h>

#include "run/run_state.h"
#include "subsurface/groundwater.h"
#include "subsurface_fixture.h"

TEST(ExfiltrationRestart, WaitingSurfaceResumesShortStepsOnlyWhenDryAndExfiltrating) {
    constexpr double kNow = 2452000.5;                 // days
    constexpr double kStep = 30.0 / 86400.0;           // overland step, days
    constexpr double kHour = 1.0 / 24.0;               // days
    constexpr double kNextEvent = kNow + 5.0;          // days
    struct restart_case {
        const char* what;
        int long_term, exfiltration, rain_on;
        double rain_next, infil_next, infil_step;   // days
        bool restarted;
    };
    const restart_case cases[] = {
        {"surface waiting for the next event", 1, 1, 0, kNextEvent, kNow + kHour, kHour, true},
        {"infiltration on the hourly step only", 1, 1, 0, kNow + kStep, kNow + kHour, kHour, true},
        {"already on short steps", 1, 1, 0, kNow + kStep, kNow + kStep, kStep, false},
        {"no cell exfiltrates", 1, 0, 0, kNextEvent, kNow + kHour, kHour, false},
        {"rain falling", 1, 1, 1, kNextEvent, kNow + kHour, kHour, false},
        {"single-event run", 0, 1, 0, kNextEvent, kNow + kHour, kHour, false},
    };
    for (const restart_case& c : cases) {
        SCOPED_TRACE(c.what);
        run_state_ptr rs = make_grid_state(1, 1);
        rs->time = kNow;
        rs->dt_days = kStep;
        rs->rain_step_days = kStep;
        rs->long_term = c.long_term;
        rs->exfiltration = c.exfiltration;
        rs->rain_on = c.rain_on;
        rs->rain_next = c.rain_next;
        rs->rain_last = c.rain_next - kStep;
        rs->infil_next = c.infil_next;
        rs->infil_last = c.infil_next - c.infil_step;
        rs->infil_step_days = c.infil_step;
        rs->infil_step_seconds = c.infil_step * 86400.0;
        EXPECT_EQ(restart_surface_on_exfiltration(*rs), c.restarted);
        if (!c.restarted) {
            EXPECT_EQ(rs->rain_next, c.rain_next);
            EXPECT_EQ(rs->infil_next, c.infil_next);
            EXPECT_EQ(rs->infil_step_days, c.infil_step);
            continue;
        }
        // Both clocks are due at the next model step and cover no time before now.
        EXPECT_NEAR(rs->rain_next, kNow + kStep, 1e-12);
        EXPECT_NEAR(rs->infil_next, kNow + kStep, 1e-12);
        EXPECT_LE(rs->rain_last, kNow);
        EXPECT_LE(rs->infil_last, kNow);
        EXPECT_NEAR(rs->infil_step_days, kStep, 1e-15);
        EXPECT_NEAR(rs->infil_step_seconds, 30.0, 1e-9);
    }
}
