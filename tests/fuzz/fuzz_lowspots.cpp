// Fuzz harness of the low-spot file: the input is read as the low-spot file
// of a run on a fully active grid of 3 x 4 cells, then the spots are checked
// against the cells and the dike faces as the cell connectivity does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/error.h"
#include "core/file_object.h"
#include "fuzz_support.h"
#include "input/cell_arrays.h"
#include "overland/connectivity.h"
#include "overland/lowspots.h"
#include "overland/surface_maps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size)) return -1;
    const std::string path = pluvo_fuzz::write_input("spots.txt", data, size);
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
        alloc_cell_arrays(rs);
        rs.lowspot_file = 1;
        std::snprintf(rs.files.lowspot_file, sizeof(rs.files.lowspot_file), "%s", path.c_str());
        read_dike_map(rs);
        if (error_record.stop == 0 && error_record.code == 0) build_cell_connectivity(rs);
    }
    pluvo_fuzz::finish_input();
    return 0;
}
