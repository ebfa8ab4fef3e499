// Fuzz harness of the grid-stream file: the input is the grid-stream file of
// a run with explicit channel routing whose channel file is a fixed valid
// network of three links on a fully active grid of 3 x 4 cells.
#include <cstddef>
#include <cstdint>
#include <string>

#include "channel/channel.h"
#include "core/file_object.h"
#include "fuzz_support.h"

namespace {

// Trapezoid links 1 and 2 join into break-point link 3 (a V-shaped section).
const char kNetwork[] =
    "PLUVO_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS 3\nMAXNODES 4\n"
    "CONNECT 1 3 0\nCONNECT 2 3 0\nCONNECT 3 0 2 1 2\n"
    "LINK 1\nDX 10.0\nNODES 4\nTRAPEZOID\nMANNINGS_N 0.035\n"
    "NODE 1\nELEV 104.0\nX_Y 5.0 15.0\nNODE 2\nELEV 103.0\nXSEC\nBOTTOM_WIDTH 2.0\n"
    "SIDE_SLOPE 1.5\nBANKFULL_DEPTH 1.2\nNODE 3\nELEV 102.0\nNODE 4\nELEV 101.0\n"
    "LINK 2\nDX 10.0\nNODES 3\nTRAPEZOID\nMANNINGS_N 0.05\n"
    "NODE 1\nELEV 103.0\nXSEC\nBOTTOM_WIDTH 1.0\nSIDE_SLOPE 2.0\nNODE 2\nELEV 102.0\n"
    "NODE 3\nELEV 101.0\n"
    "LINK 3\nDX 20.0\nNODES 3\nBREAKPOINT\nMANNINGS_N 0.04\n"
    "NODE 1\nELEV 101.0\nNPAIRS 3\nNUM_INTERP 2\nX1 0.0 2.0\nX1 1.0 0.0\nX1 2.0 2.0\n"
    "NODE 2\nELEV 100.0\nNODE 3\nELEV 99.0\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > pluvo_fuzz::kMaxInput) return -1;
    pluvo_fuzz::init_once();
    pluvo_fuzz::reset_program_state();
    const std::string chan = pluvo_fuzz::write_input("network.chan", kNetwork);
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
