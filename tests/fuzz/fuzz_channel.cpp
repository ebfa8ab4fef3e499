// Fuzz harness of the channel input file: the input is the channel file of a
// run with explicit channel routing on a fully active grid of 3 x 4 cells,
// read and built into the network by the channel set-up.
#include <cstddef>
#include <cstdint>
#include <string>

#include "channel/channel.h"
#include "core/file_object.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > pluvo_fuzz::kMaxInput || !pluvo_fuzz::names_stay_local(data, size)) return -1;
    pluvo_fuzz::init_once();
    pluvo_fuzz::reset_program_state();
    const std::string path = pluvo_fuzz::write_input("network.chan", data, size);
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
        rs.chan_explic = 1;
        if (open_file_named(rs.channel_input_file, path.c_str(), "r")) setup_channel_network(rs);
    }
    pluvo_fuzz::finish_input();
    return 0;
}
