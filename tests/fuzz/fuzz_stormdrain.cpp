// Fuzz harness of the storm-drain files: the first byte of the input picks
// graded computational pipes (bit 1); the rest holds up to two parts
// separated by a "%%" line: the superlink file and the grid-pipe file that a
// network with leaky pipes reads. The network is read, checked, built and
// set up as a run on a fully active grid of 3 x 4 cells does it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/error.h"
#include "fuzz_support.h"
#include "input/cell_arrays.h"
#include "stormdrain/superlink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || !pluvo_fuzz::begin_input(data, size, true)) return -1;
    const uint8_t flags = data[0];
    const std::vector<std::string> parts = pluvo_fuzz::split_parts(data + 1, size - 1);
    const std::string network = pluvo_fuzz::write_input("network.sl", parts[0]);
    const std::string pipes = pluvo_fuzz::write_input("network.gp", parts.size() > 1 ? parts[1] : std::string());
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
        alloc_cell_arrays(rs);
        rs.superlink = 1;
        rs.superlink_c_opt = (flags & 1) ? 1 : 0;
        std::snprintf(rs.files.storm_sewer, sizeof(rs.files.storm_sewer), "%s", network.c_str());
        std::snprintf(rs.files.grid_pipe, sizeof(rs.files.grid_pipe), "%s", pipes.c_str());
        setup_superlink(rs);
    }
    pluvo_fuzz::finish_input();
    return 0;
}
