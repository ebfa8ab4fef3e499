// Fuzz harness of the overland pump file: the input is the pump file of a run
// on a fully active grid of 3 x 4 cells holding 0.5 m of water; an optional
// part after a "%%" line is a series file read first as time series and as
// elevation series (for the pumps that name one). The pumps are then run for
// a few steps.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/error.h"
#include "fuzz_support.h"
#include "input/cell_arrays.h"
#include "overland/pumps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size, true)) return -1;
    const std::vector<std::string> parts = pluvo_fuzz::split_parts(data, size);
    const std::string path = pluvo_fuzz::write_input("pumps.txt", parts[0]);
    if (parts.size() > 1) pluvo_fuzz::read_series_part("pumps.ser", parts[1]);
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
        alloc_cell_arrays(rs);
        for (int c = 1; c <= rs.GNUM; ++c) rs.ov_depth[c] = 0.5;
        rs.ov_pump = 1;
        std::snprintf(rs.cards.ov_pump, sizeof(rs.cards.ov_pump), "%s", path.c_str());
        read_overland_pumps(rs);
        if (error_record.code == 0 && error_record.stop == 0) {
            for (int step = 0; step < 3; ++step) {
                apply_overland_pumps(rs, 10.0);
                rs.time += 10.0 / 86400.0;   // 10 s later
            }
        }
    }
    pluvo_fuzz::finish_input();
    return 0;
}
