// Fuzz harness of the grid-stream file: the input is the grid-stream file of
// a run with explicit channel routing whose channel file is the fixed valid
// network of three links on a fully active grid of 3 x 4 cells.
#include <cstddef>
#include <cstdint>
#include <string>

#include "channel/channel.h"
#include "core/file_object.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size)) return -1;
    const std::string chan = pluvo_fuzz::write_input("network.chan", pluvo_fuzz::kThreeLinkNetwork);
    const std::string gst = pluvo_fuzz::write_input("network.gst", data, size);
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
        rs.chan_explic = 1;
        rs.stream_cell_on = 1;
        if (open_file_named(rs.channel_input_file, chan.c_str(), "r") &&
            open_file_named(rs.stream_cell_file, gst.c_str(), "r")) {
            setup_channel_network(rs);
        }
    }
    pluvo_fuzz::finish_input();
    return 0;
}
