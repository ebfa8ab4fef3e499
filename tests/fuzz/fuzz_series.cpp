// Fuzz harness of the series files: the input is read as a time-series file
// and as an elevation-series file (the readers behind the time_series_file
// and elev_series_file cards), its rows as a column block of three series,
// and every series read is then evaluated the way the time loop does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/file_object.h"
#include "fuzz_support.h"
#include "input/elevation_series.h"
#include "input/time_series.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size)) return -1;
    const std::string path = pluvo_fuzz::write_input("series.dat", data, size);
    read_time_series_file(path.c_str());
    read_elevation_series_file(path.c_str());
    {
        file_object f;
        if (open_file_named(f, path.c_str(), "r")) read_series_columns(f, 3, "column");
        close_file_object(f);
    }
    shift_relative_time_series(2451545.0);
    for (time_series* s = time_series_list; s != nullptr; s = s->next) {
        if (s->times.empty()) continue;
        time_series_value(s->times.front() - 1.0, s);
        time_series_value(0.5 * (s->times.front() + s->times.back()), s);
        time_series_value(s->times.back() + 1.0, s);
    }
    for (elevation_series* s = elevation_series_list; s != nullptr; s = s->next) {
        if (s->x_values.empty()) continue;
        const double mid = 0.5 * (s->x_values.front() + s->x_values.back());
        elevation_series_value(mid, s);
        elevation_series_step_value(mid, s);
        elevation_series_value(s->x_values.back() + 1.0, s);
    }
    report_series_lookup_failures();
    pluvo_fuzz::finish_input();
    return 0;
}
