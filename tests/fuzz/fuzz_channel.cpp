// Fuzz harness of the channel input file: the input is the channel file of a
// run with explicit channel routing on a fully active grid of 3 x 4 cells,
// read and built into the network by the channel set-up. Optional parts after
// "%%" lines: a series file read first as time series and as elevation
// series (for the point sources, pumps and structures that name a series),
// and a grid-stream file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "channel/channel.h"
#include "core/error.h"
#include "core/file_object.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size, true)) return -1;
    const std::vector<std::string> parts = pluvo_fuzz::split_parts(data, size);
    const std::string path = pluvo_fuzz::write_input("network.chan", parts[0]);
    if (parts.size() > 1) pluvo_fuzz::read_series_part("network.ser", parts[1]);
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
        rs.chan_explic = 1;
        bool opened = open_file_named(rs.channel_input_file, path.c_str(), "r");
        if (parts.size() > 2) {
            const std::string gst = pluvo_fuzz::write_input("network.gst", parts[2]);
            rs.stream_cell_on = 1;
            opened = opened && open_file_named(rs.stream_cell_file, gst.c_str(), "r");
        }
        if (opened) setup_channel_network(rs);
    }
    pluvo_fuzz::finish_input();
    return 0;
}
