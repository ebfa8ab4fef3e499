// Helpers shared by the event-control steps: the next event's start, the
// link rule of the event volumes and the soil-moisture averages that both the
// event start and the event end report.
#include "run/event_control.h"

#include <algorithm>
#include <cstdio>

#include "run/clock.h"
#include "core/dates.h"
#include "core/error.h"
#include "run/run_state.h"

bool following_event_start(const run_state& rs, double& start) {
    const int next = rs.event_index + 1;
    if (rs.event_index < 0 || next > rs.num_events || next > core_state::kMaxEvents) return false;
    start = event_start_time(rs, next);
    return true;
}

bool ordinary_link(int ltype) {
    if (ltype & (kLinkStructure | kLinkLake)) return false;
    const int sections = kLinkTrapezoid | kLinkBreakpoint | kLinkThirdSection;
    return !((ltype & kLinkOvertaken) && (ltype & sections));
}

double richards_top_saturation(const run_state& rs, int cell) {
    if (cell < 1 || cell >= static_cast<int>(rs.richards_nodes.size())) return 0.0;
    if (cell >= static_cast<int>(rs.richards_theta.size()) ||
        cell >= static_cast<int>(rs.richards_theta_s.size()) ||
        cell >= static_cast<int>(rs.richards_dz.size())) {
        return 0.0;
    }
    const std::vector<double>& theta = rs.richards_theta[cell];
    const std::vector<double>& theta_s = rs.richards_theta_s[cell];
    const std::vector<double>& dz = rs.richards_dz[cell];
    // Nodes 1..nodes exist in all three arrays.
    int nodes = rs.richards_nodes[cell];
    nodes = std::min<int>(nodes, static_cast<int>(theta.size()) - 1);
    nodes = std::min<int>(nodes, static_cast<int>(theta_s.size()) - 1);
    nodes = std::min<int>(nodes, static_cast<int>(dz.size()) - 1);
    const double depth = rs.richards_sampling_depth;   // cm
    double saturated = 0.0;                             // cm of relative saturation
    double thickness = 0.0;                             // cm
    double result = 0.0;
    for (int k = 1; k + 1 <= nodes; ++k) {
        if (theta_s[k] > 0.0) saturated += theta[k] / theta_s[k] * dz[k];
        thickness += dz[k + 1];
        if (thickness > 0.0) result = saturated / thickness;
        if (thickness >= depth) break;
    }
    return result;
}

bool layered_water_contents(const run_state& rs, int cell, double theta[3]) {
    if (cell < 1 || cell >= static_cast<int>(rs.soiltype.size())) return false;
    const int type = rs.soiltype[cell];
    if (type < 0 || type >= subsurface_state::kSoilTableSize) return false;
    const soil_layer_record& soil = rs.soil_table[type];
    const double d1 = soil.thickness[0];   // cm
    const double d2 = soil.thickness[1];   // cm
    const double front = cell < static_cast<int>(rs.unsat_depth.size()) ? rs.unsat_depth[cell] : 0.0;
    const double upper = cell < static_cast<int>(rs.root_zone_upper.size()) ? rs.root_zone_upper[cell] : 0.0;
    const double lower = cell < static_cast<int>(rs.root_zone_lower.size()) ? rs.root_zone_lower[cell] : 0.0;
    for (int k = 0; k < 3; ++k) theta[k] = soil.porosity[k];
    if (front > 1e-16) {
        if (front < d1) {
            theta[0] = upper / front;
        } else {
            if (d1 > 1e-16) theta[0] = upper / d1;
            if (front < d1 + d2) {
                // A front that stops exactly at the layer boundary leaves layer 2 at porosity.
                if (front - d1 > 1e-16) theta[1] = lower / (front - d1);
            } else {
                if (d2 > 1e-16) theta[1] = lower / d2;
                theta[2] = theta[1];
            }
        }
    }
    for (int k = 0; k < 3; ++k) {
        theta[k] = std::max(theta[k], soil.residual[k]);
        theta[k] = std::min(theta[k], soil.porosity[k]);
    }
    return true;
}

bool check_start_date_event(run_state& rs) {
    if (!rs.start_date_given) return true;
    const int n = std::min(rs.num_events, core_state::kMaxEvents);
    if (n >= 1 && event_start_time(rs, n) >= rs.time) return true;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = 0.0;
    julian_to_date(rs.time, year, month, day, hour, minute, seconds);
    char text[300];
    std::snprintf(text, sizeof(text),
                  "Error: the start date %2.2d/%2.2d/%4.4d %2.2d:%2.2d lies after the start of the "
                  "last precipitation event (%d events).\n",
                  month, day, year, hour, minute, rs.num_events);
    write_report_text(current_summary_file, text);
    error_record.code = kErrorPrinted;
    return false;
}
