// Fuzz harness of the analyzer file: the input is the analyzer file of a run
// with explicit channel routing over the fixed network of three links, two
// contaminants carried in the channels, on a fully active grid of 3 x 4
// cells. The analyzers that the file sets up are told that the simulation
// begins, that steps and an event pass, and that it ends.
#include <cstddef>
#include <cstdint>
#include <string>

#include "channel/channel.h"
#include "core/error.h"
#include "core/file_object.h"
#include "fuzz_support.h"
#include "output/analyzer.h"
#include "quality/constituent_setup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size, true)) return -1;
    const std::string chan = pluvo_fuzz::write_input("network.chan", pluvo_fuzz::kThreeLinkNetwork);
    const std::string path = pluvo_fuzz::write_input("analyzers.txt", data, size);
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
        rs.chan_explic = 1;
        if (open_file_named(rs.channel_input_file, chan.c_str(), "r")) setup_channel_network(rs);
        if (error_record.stop == 0 && error_record.code == 0) {
            init_channel_state(rs);
            rs.chan_con_trans = 1;
            rs.num_constituents = 2;
            rs.constituent_type = {0, 1, 1};
            ensure_channel_constituent_stores(rs);
            error_record = error_info{};
            rs.time = 2451697.5;   // 2000-06-01
            read_analyzer_file(rs, path.c_str());
            if (error_record.code == 0) {
                for (int mask : {8, 2, 1, 1, 4, 16}) {
                    run_analyzers(rs, mask);
                    rs.time += 60.0 / 86400.0;   // a minute later
                }
                run_analyzers(rs, 32);
            }
        }
    }
    pluvo_fuzz::finish_input();
    return 0;
}
