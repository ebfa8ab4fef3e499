// Fuzz harness of the aquatic environment file of the nutrient sub-model:
// the input holds up to three parts separated by "%%" lines: the aquatic
// environment file, the overland ID map "ov.map" and the stream map "st.map"
// that the file may name. The file and its overland map are read against a
// 3 x 4 mask of nine cells, its stream map against a network of two links.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/error.h"
#include "fuzz_support.h"
#include "quality/nutrient_aquatic.h"

namespace {

// Overland ID map of the 3 x 4 grid used when the input gives none.
const char kIdMap[] =
    "north: 1000\nsouth: 970\neast: 40\nwest: 0\nrows: 3\ncols: 4\n"
    "0 1 1 0\n1 1 2 2\n0 2 2 2\n";
// Stream map of the two links used when the input gives none.
const char kStreamMap[] = "STREAM_MAP\nLINKS 2\n1\n2\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size, true)) return -1;
    const std::vector<std::string> parts = pluvo_fuzz::split_parts(data, size);
    const std::string path = pluvo_fuzz::write_input("aquatic.txt", parts[0]);
    pluvo_fuzz::write_input("ov.map", parts.size() > 1 ? parts[1] : std::string(kIdMap));
    pluvo_fuzz::write_input("st.map", parts.size() > 2 ? parts[2] : std::string(kStreamMap));
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_nine_cell_grid(rs);
        aquatic_env_tables tables;
        read_aquatic_env_file(tables, path.c_str(), rs);
        if (error_record.code == 0) read_aquatic_stream_ids(tables, rs);
    }
    pluvo_fuzz::finish_input();
    return 0;
}
