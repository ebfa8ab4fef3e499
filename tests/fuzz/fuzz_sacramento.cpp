// Fuzz harness of the Sacramento parameter file: the input is read as the
// parameter file of the soil-moisture accounting.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/file_object.h"
#include "fuzz_support.h"
#include "subsurface/sacramento.h"
#include "subsurface/subsurface_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size)) return -1;
    const std::string path = pluvo_fuzz::write_input("sac.txt", data, size);
    {
        file_object f;
        if (open_file_named(f, path.c_str(), "r")) {
            sacramento_state s;
            int basins = 0;
            read_sacramento_input(f, path.c_str(), s, basins);
            close_file_object(f);
        }
    }
    pluvo_fuzz::finish_input();
    return 0;
}
