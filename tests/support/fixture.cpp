#include "fixture.h"
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include "pluvo_test.h"

namespace pluvo_test {

void write_grid(const std::string& path, const grid_spec& g,
                const std::function<double(int, int)>& value, int decimals) {
    std::ofstream out(path);
    char buf[64];
    out << "north: " << g.north << "\n";
    out << "south: " << g.north - g.rows * g.cell << "\n";
    out << "east: " << g.west + g.cols * g.cell << "\n";
    out << "west: " << g.west << "\n";
    out << "rows: " << g.rows << "\n";
    out << "cols: " << g.cols << "\n";
    for (int r = 1; r <= g.rows; ++r) {
        for (int c = 1; c <= g.cols; ++c) {
            std::snprintf(buf, sizeof buf, "%.*f", decimals, value(r, c));
            out << buf << (c < g.cols ? " " : "\n");
        }
    }
}

project_file& project_file::card(const std::string& keyword, const std::string& args) {
    cards_.emplace_back(keyword, args);
    return *this;
}

project_file& project_file::card(const std::string& keyword, double value) {
    std::ostringstream ss;
    ss.precision(17);
    ss << value;
    return card(keyword, ss.str());
}

static std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char ch) { return std::tolower(ch); });
    return s;
}

project_file& project_file::remove(const std::string& keyword) {
    cards_.erase(std::remove_if(cards_.begin(), cards_.end(),
                                [&](const auto& c) { return lower(c.first) == lower(keyword); }),
                 cards_.end());
    return *this;
}

std::string project_file::text() const {
    std::string t = "PLUVOPROJECT\n";
    for (const auto& c : cards_) t += c.first + (c.second.empty() ? "" : " " + c.second) + "\n";
    return t;
}

void project_file::write(const std::string& path) const {
    write_file(path, text());
}

std::pair<int, int> plane_outlet(const plane_case& c) {
    const grid_spec& g = c.grid;
    switch (c.drains) {
        case 'n': return {1, (g.cols + 1) / 2};
        case 'e': return {(g.rows + 1) / 2, g.cols};
        case 'w': return {(g.rows + 1) / 2, 1};
        default: return {g.rows, (g.cols + 1) / 2};
    }
}

project_file write_plane_case(const std::string& dir, const plane_case& c) {
    const grid_spec& g = c.grid;
    write_grid(dir + "/mask.asc", g, [](int, int) { return 1.0; }, 0);
    // Bed falls by slope x cell size per cell towards the draining edge.
    write_grid(dir + "/elev.asc", g, [&](int r, int col) {
        double drop = c.slope * g.cell;
        switch (c.drains) {
            case 'n': return 100.0 + drop * (r - 1);
            case 'e': return 100.0 + drop * (g.cols - col);
            case 'w': return 100.0 + drop * (col - 1);
            default: return 100.0 + drop * (g.rows - r);
        }
    }, 9);
    auto outlet = plane_outlet(c);
    project_file p;
    p.card("WATERSHED_MASK", "mask.asc")
        .card("ELEVATION", "elev.asc")
        .card("SUMMARY", "summ.out")
        .card("OUTLET_HYDRO", "outlet.hyd")
        .card("GRIDSIZE", g.cell)
        .card("ROWS", std::to_string(g.rows))
        .card("COLS", std::to_string(g.cols))
        .card("TOT_TIME", std::to_string(c.total_minutes))
        .card("TIMESTEP", c.timestep)
        .card("OUTROW", std::to_string(outlet.first))
        .card("OUTCOL", std::to_string(outlet.second))
        .card("OUTSLOPE", c.slope)
        .card("HYD_FREQ", c.hyd_freq)
        .card("MAP_FREQ", std::to_string(c.total_minutes))
        .card("MANNING_N", c.manning)
        .card("OVERTYPE", "1")
        .card("PRECIP_UNIF")
        .card("RAIN_INTENSITY", c.rain_mm_h)
        .card("RAIN_DURATION", std::to_string(c.rain_minutes))
        .card("START_DATE", "2000 6 1")
        .card("START_TIME", "0 0")
        .card("SUPER_QUIET");
    if (c.threads > 0) p.card("NUM_THREADS", std::to_string(c.threads));
    p.write(dir + "/plane.prj");
    return p;
}

std::vector<std::pair<double, double>> read_hydrograph(const std::string& path) {
    std::vector<std::pair<double, double>> rows;
    std::istringstream in(read_file(path));
    std::string line;
    while (std::getline(in, line)) {
        double t, q;
        if (std::sscanf(line.c_str(), "%lf %lf", &t, &q) == 2) rows.emplace_back(t, q);
    }
    return rows;
}

}  // namespace pluvo_test
