// Generated end-to-end fixtures: ASCII grid maps and project files written
// from parameters, so that physics tests never depend on hand-copied numbers.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pluvo_test {

// Shape and position of a grid (metres).
struct grid_spec {
    int rows = 1;
    int cols = 1;
    double cell = 10.0;      // cell size, m
    double north = 1000.0;   // northern edge, m
    double west = 0.0;       // western edge, m
};

// Writes an ASCII grid map; value(row, col) is called with rows and columns from 1.
void write_grid(const std::string& path, const grid_spec& g,
                const std::function<double(int, int)>& value, int decimals = 6);

// The lines of a project file after its header, in order.
class project_file {
public:
    // Adds a card line made of the keyword and its arguments separated by blanks.
    project_file& card(const std::string& keyword, const std::string& args = "");
    project_file& card(const std::string& keyword, double value);
    // Removes every card with this keyword (compared without regard to case).
    project_file& remove(const std::string& keyword);
    std::string text() const;
    void write(const std::string& path) const;

private:
    std::vector<std::pair<std::string, std::string>> cards_;
};

// A plane of rows x cols cells tilted so that it drains towards the south
// (direction 's'), north ('n'), east ('e') or west ('w') with bed slope
// `slope`; the outlet is the middle cell of the downslope edge.
struct plane_case {
    grid_spec grid;
    double slope = 0.01;          // bed slope, m/m
    char drains = 's';            // 'n', 'e', 's' or 'w'
    double manning = 0.05;        // Manning n
    double rain_mm_h = 50.0;      // uniform rain intensity, mm/h
    int rain_minutes = 30;        // rain duration, min
    int total_minutes = 120;      // simulated time, min
    double timestep = 5.0;        // model time step, s
    double hyd_freq = 1.0;        // hydrograph interval, min
    int threads = 0;              // num_threads card when above 0
};

// Writes mask.asc, elev.asc and plane.prj into `dir`; returns the project.
project_file write_plane_case(const std::string& dir, const plane_case& c);

// Outlet row and column of a plane case (from 1).
std::pair<int, int> plane_outlet(const plane_case& c);

// Rows of a two-column hydrograph file (time, discharge).
std::vector<std::pair<double, double>> read_hydrograph(const std::string& path);

}  // namespace pluvo_test
