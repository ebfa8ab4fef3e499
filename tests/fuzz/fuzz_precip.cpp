// Fuzz harness of the precipitation file: the input is counted as the
// run's precipitation file at start-up, then read event by event as the time
// loop does with each event turned into intensities; the same input is also
// read as a radar grid file (header, rates, cells mapped to radar cells).
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/file_object.h"
#include "fuzz_support.h"
#include "hydromet/precip.h"
#include "hydromet/precip_file.h"
#include "hydromet/precip_types.h"

namespace {

// A grid of 3 x 4 cells of 10 m with their centres and the rain arrays.
void set_rain_grid(run_state& rs) {
    pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
    pluvo_fuzz::set_cell_centres(rs);
    rs.cell_rain_rate.assign(static_cast<size_t>(rs.GNUM) + 1, 0.0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size, true)) return -1;
    const std::string path = pluvo_fuzz::write_input("rain.gag", data, size);
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        set_rain_grid(rs);
        if (open_file_named(rs.precip_data_file, path.c_str(), "r")) {
            init_precip_input(rs);
            error_record = error_info{};
            rewind_precip_file(rs);
            rs.radar_filenames.assign(static_cast<size_t>(kRadarNameSlots), std::string());
            for (int event = 0; event < 50; ++event) {
                if (read_precip_block(rs, true) != 1) break;
                if (!convert_event_values(rs)) break;
            }
        }
        error_record = error_info{};
        map_cells_to_radar(rs, path.c_str());
        error_record = error_info{};
        if (read_radar_grid(rs.radar, path.c_str(), 1) == 0 &&
            rs.radar.pluvo_to_precip.size() == static_cast<size_t>(rs.GNUM) + 1) {
            radar_to_cells(rs);
        }
    }
    pluvo_fuzz::finish_input();
    return 0;
}
