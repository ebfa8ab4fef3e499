// Fuzz harness of the overland point-source file: the input is read as the
// point-source file of a run on a fully active grid of 3 x 4 cells, and the
// sources are then applied for a few steps.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "fuzz_support.h"
#include "input/cell_arrays.h"
#include "subsurface/point_sources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size)) return -1;
    const std::string path = pluvo_fuzz::write_input("sources.txt", data, size);
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
        alloc_cell_arrays(rs);
        rs.ov_point_source = 1;
        std::snprintf(rs.files.ov_point_source, sizeof(rs.files.ov_point_source), "%s", path.c_str());
        read_overland_point_sources(rs);
        if (error_record.code == 0 && error_record.stop == 0) {
            for (int step = 0; step < 3; ++step) {
                apply_overland_point_sources(rs);
                rs.time += 10.0 / 86400.0;   // 10 s later
            }
        }
    }
    pluvo_fuzz::finish_input();
    return 0;
}
