// Helpers of the routing tests: channel files of straight prismatic links
// written from their parameters, a fixture that sets a network up with the
// channel set-up of the program, and the channel water and levels.
#pragma once
#include <cmath>
#include <cstdio>
#include <string>

#include "channel/explicit_routing.h"
#include "channel/xsection.h"
#include "channel_test_support.h"

namespace routing_test {

// One straight trapezoid link block: `points` data points (points - 1 nodes)
// spaced dx, the first point's bed at `top_bed`, falling `slope` per metre.
struct link_spec {
    int link = 1;
    int points = 5;
    double dx = 10.0;        // m
    double top_bed = 100.0;  // bed of the first data point, m
    double slope = 0.001;    // bed slope, m/m
    double bottom = 2.0;     // bottom width, m
    double side = 1.0;       // side slope, horizontal per vertical
    double manning = 0.035;  // Manning n
    double bankfull = 0.0;   // bank-full depth, m (0: not given)
};

inline std::string num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

inline std::string link_block(const link_spec& s) {
    std::string t = "LINK " + std::to_string(s.link) + "\nDX " + num(s.dx) + "\nNODES " +
                    std::to_string(s.points) + "\nTRAPEZOID\nMANNINGS_N " + num(s.manning) + "\n";
    for (int p = 1; p <= s.points; ++p) {
        t += "NODE " + std::to_string(p) + "\nELEV " + num(s.top_bed - s.slope * s.dx * (p - 1)) +
             "\n";
        if (p == 1) {
            t += "XSEC\nBOTTOM_WIDTH " + num(s.bottom) + "\nSIDE_SLOPE " + num(s.side) + "\n";
            if (s.bankfull > 0.0) t += "BANKFULL_DEPTH " + num(s.bankfull) + "\n";
        }
    }
    return t;
}

// A network of one link.
inline std::string single_link_file(const link_spec& s) {
    return "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 1\nMAXNODES " +
           std::to_string(s.points - 1) + "\nCONNECT 1 0 0\n" + link_block(s);
}

// Normal depth (m) of flow q (m3/s) in a trapezoid of bottom b and side slope
// z with Manning n on bed slope s, by bisection of q = A R^(2/3) sqrt(s) / n.
inline double normal_depth(double q, double b, double z, double n, double s) {
    auto flow = [&](double y) {
        const double a = (b + z * y) * y;
        const double p = b + 2.0 * y * std::sqrt(1.0 + z * z);
        return a * std::pow(a / p, 2.0 / 3.0) * std::sqrt(s) / n;
    };
    double lo = 0.0, hi = 1.0;
    while (flow(hi) < q) hi *= 2.0;
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (flow(mid) < q ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

class RoutingTest : public chan_test::ChannelTest {
protected:
    // Sets the network up as a run does and brings the nodes to their levels.
    bool build(const std::string& text, const std::string& gst = "") {
        if (!set_up_channel(text, gst)) return false;
        rs().max_courant_number = 0.04;
        rs().time = 2458000.5;
        rs().dt = 10.0;
        init_channel_state(rs());
        return error_record.stop == 0;
    }

    // Every node of the routed links `depth` m deep; areas and conveyances from it.
    void set_depth(double depth) {
        run_state& r = rs();
        for (int l = 1; l <= r.links; ++l) {
            if (!routed_link(r.ltype[l])) continue;
            for (int k = 1; k <= r.nx[l]; ++k) r.yp[k][l] = r.bel[k][l] + depth;
        }
        ASSERT_TRUE(ex_section(r, kSectionFromLevel, r.area));
        ASSERT_TRUE(ex_section(r, kSectionFromArea, r.area));
    }

    // Water in the routed links, m3.
    double channel_volume() {
        run_state& r = rs();
        double v = 0.0;
        for (int l = 1; l <= r.links; ++l) {
            if (!routed_link(r.ltype[l])) continue;
            for (int k = 1; k <= r.nx[l]; ++k) v += r.area[k][l] * r.dx[l];
        }
        return v;
    }

    // ex_flow_route with its console output kept in out_.
    int route(double dt_c, route_volumes& v) {
        int result = 0;
        out_ = chan_test::captured([&] { result = ex_flow_route(rs(), dt_c, v); });
        return result;
    }
};

}  // namespace routing_test
