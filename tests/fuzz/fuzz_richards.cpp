// Fuzz harness of the Richards soil table: the first byte of the input picks
// the form (own file or mapping-table section), the soil model (Brooks-Corey
// or Haverkamp), a long-term run and a water table; the rest is the table,
// read into a cleared soil table of the run's 10,000 entries.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "fuzz_support.h"
#include "subsurface/richards_soil.h"
#include "subsurface/subsurface_state.h"

namespace {

constexpr int kLayerLimit = 151;   // nodes a layer may hold, as a run sets it

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || !pluvo_fuzz::begin_input(data, size)) return -1;
    const uint8_t flags = data[0];
    const std::string path = pluvo_fuzz::write_input("soils.txt", data + 1, size - 1);
    soil_layer_record* records = pluvo_fuzz::cleared_soil_table();
    {
        file_object f;
        if (open_file_named(f, path.c_str(), "r")) {
            std::vector<char> defined(static_cast<size_t>(soil_table_store::kSize), 0);
            read_richards_soil_table(f, (flags & 1) != 0, (flags & 2) ? 2 : 1, (flags & 4) != 0,
                                     (flags & 8) != 0, kLayerLimit, records, &defined);
            close_file_object(f);
        }
    }
    pluvo_fuzz::finish_input();
    return 0;
}
