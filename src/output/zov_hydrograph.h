// Outlet and location hydrographs rewritten at the end of a run as one
// hydrograph file for the ZOV modelling system (card zov_hydro).
#pragma once
#include <cstdio>
#include <string>
#include <vector>
#include "core/file_object.h"

// Writes the ZOV hydrograph file to `out`:
//   series: the outlet hydrograph opened for reading, one row "time discharge"
//           per output interval (discharge in the run's flow units);
//   points: the location hydrograph table opened for reading, or a closed
//           file object when there are no locations; each row holds a time
//           and one discharge per location;
//   point_headers: one header line per location series (without "\n"); their
//           count is the number of location series;
//   start_date: year x 10000 + month x 100 + day of the run's start;
//   start_time: hour x 100 + minute of the run's start;
//   steps_per_output: time steps per hydrograph row; rows: outlet rows written.
// Rows missing from the end of either table are left out without an error.
void write_zov_hydrograph(file_object& series, FILE* out, file_object& points,
                          const std::vector<std::string>& point_headers, long start_date,
                          long start_time, long steps_per_output, long rows);
