// Fuzz harness of the lake files: the input holds up to two parts separated
// by a "%%" line: a lake file and the overland lake map "lakes.map". The file
// is read as the overland lake file of a run on a fully active grid of 3 x 4
// cells whose lake map holds lakes 1 and 2 (or the given map), and as a
// channel lake file of two lakes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "fuzz_support.h"
#include "overland/olake.h"

namespace {

// Lake map of the 3 x 4 grid used when the input gives none.
const char kLakeMap[] =
    "north: 1000\nsouth: 970\neast: 40\nwest: 0\nrows: 3\ncols: 4\n"
    "0 1 1 0\n0 1 0 2\n0 0 0 2\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size)) return -1;
    const std::vector<std::string> parts = pluvo_fuzz::split_parts(data, size);
    const std::string path = pluvo_fuzz::write_input("lakes.txt", parts[0]);
    const std::string map = pluvo_fuzz::write_input("lakes.map", parts.size() > 1 ? parts[1] : std::string(kLakeMap));
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
        rs.lakes = 1;
        std::snprintf(rs.files.overland_lake_map, sizeof(rs.files.overland_lake_map), "%s", map.c_str());
        std::snprintf(rs.files.overland_lake_file, sizeof(rs.files.overland_lake_file), "%s", path.c_str());
        if (open_file_named(rs.overland_lake_map_file, map.c_str(), "r") &&
            open_file_named(rs.overland_lake_data_file, path.c_str(), "r")) {
            read_overland_lakes(rs);
        }
    }
    error_record = error_info{};
    {
        file_object f;
        if (open_file_named(f, path.c_str(), "r")) {
            std::vector<overland_lake> records(3);
            read_lake_file(f, path.c_str(), kChannelLakeFile, 2, records, nullptr);
            close_file_object(f);
        }
    }
    pluvo_fuzz::finish_input();
    return 0;
}
