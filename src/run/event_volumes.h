// Cumulative volumes whose event differences the event start and the event
// end form: for each, the run total (m3, advanced by its process step), the
// copy taken at the event start and the event volume formed at the event end.
// Internal to the event-control steps.
#pragma once
#include <array>

#include "run/run_state.h"

struct boundary_volume {
    double run_state::*total;   // cumulative volume of the run, m3
    double run_state::*start;   // its value at the event start, m3
    double run_state::*event;   // the event's volume, m3
};

// Overland boundaries and pumps (slope, head and discharge boundaries).
inline const std::array<boundary_volume, 7>& boundary_volumes() {
    static const std::array<boundary_volume, 7> table = {{
        {&run_state::vol_slope_bc_loss, &run_state::event_start_vol_slope_bc_loss,
         &run_state::event_vol_slope_bc_loss},
        {&run_state::vol_head_bc_gain, &run_state::event_start_vol_head_bc_gain,
         &run_state::event_vol_head_bc_gain},
        {&run_state::vol_head_bc_loss, &run_state::event_start_vol_head_bc_loss,
         &run_state::event_vol_head_bc_loss},
        {&run_state::vol_discharge_bc_gain, &run_state::event_start_vol_discharge_bc_gain,
         &run_state::event_vol_discharge_bc_gain},
        {&run_state::vol_discharge_bc_loss, &run_state::event_start_vol_discharge_bc_loss,
         &run_state::event_vol_discharge_bc_loss},
        {&run_state::vol_discharge_bc_unmet, &run_state::event_start_vol_discharge_bc_unmet,
         &run_state::event_vol_discharge_bc_unmet},
        {&run_state::vol_ov_pumps, &run_state::event_start_vol_ov_pumps,
         &run_state::event_vol_ov_pumps},
    }};
    return table;
}

using point_source_volume = boundary_volume;

// Channel point sources and sinks of the stream nodes and of the lakes, and
// the water of the stream XY boundary points (inset models).
inline const std::array<point_source_volume, 5>& point_source_volumes() {
    static const std::array<point_source_volume, 5> table = {{
        {&run_state::vol_stream_point_sources, &run_state::event_start_vol_stream_point_sources,
         &run_state::event_vol_stream_point_sources},
        {&run_state::vol_stream_point_sinks, &run_state::event_start_vol_stream_point_sinks,
         &run_state::event_vol_stream_point_sinks},
        {&run_state::vol_lake_point_sources, &run_state::event_start_vol_lake_point_sources,
         &run_state::event_vol_lake_point_sources},
        {&run_state::vol_lake_point_sinks, &run_state::event_start_vol_lake_point_sinks,
         &run_state::event_vol_lake_point_sinks},
        {&run_state::vol_xy_stream_boundary, &run_state::event_start_vol_xy_stream_boundary,
         &run_state::event_vol_xy_stream_boundary},
    }};
    return table;
}
