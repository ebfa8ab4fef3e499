// Fuzz harness of the ASCII grid maps: the input is read as the watershed
// mask and as the elevation map of a run whose rows, columns and cell size
// agree with the map's own header (so that the fuzzer reaches the values),
// and then as a per-cell real map and an ID map against that mask.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "core/file_object.h"
#include "core/error.h"
#include "fuzz_support.h"
#include "input/grid.h"
#include "input/map_reader.h"

namespace {

constexpr int kMaxSide = 64;   // rows and columns the harness lets a run have

// Second word of header line `index` (0-based) as a number, or NaN.
double header_value(const std::string& text, int index) {
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i <= index; ++i)
        if (!std::getline(in, line)) return NAN;
    std::istringstream words(line);
    std::string word, value;
    if (!(words >> word >> value)) return NAN;
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    return end != value.c_str() ? v : NAN;
}

// A side of the run's grid taken from the header when it is small, else 3.
int side_from(double v) {
    return (std::isfinite(v) && v >= 1 && v <= kMaxSide) ? static_cast<int>(v) : 3;
}

void read_as(run_state& rs, const std::string& path, int kind) {
    file_object f;
    if (!open_file_named(f, path.c_str(), "r")) return;
    double n = 0, s = 0, e = 0, w = 0;
    int rows = 0, cols = 0;
    std::vector<double> reals(static_cast<size_t>(rs.GNUM) + 1, 0.0);
    std::vector<int> ids(static_cast<size_t>(rs.GNUM) + 1, 0);
    error_record = error_info{};
    read_map_file(f, path.c_str(), kind, n, s, e, w, rows, cols, rs.mask, &reals, &reals, &ids,
                  rs.rows, rs.cols);
    close_file_object(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size)) return -1;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string path = pluvo_fuzz::write_input("grid.map", data, size);
    {
        pluvo_fuzz::run_state_holder rs;
        run_state& r = *rs;
        r.rows = r.mask_rows = side_from(header_value(text, 4));
        r.cols = r.mask_cols = side_from(header_value(text, 5));
        const double height = (header_value(text, 0) - header_value(text, 1)) / r.rows;
        r.cell_size = std::isfinite(height) && height > 0 ? height : 10.0;
        r.outrow = 1;
        r.outcol = 1;
        std::snprintf(r.files.watershed_mask, sizeof(r.files.watershed_mask), "%s", path.c_str());
        std::snprintf(r.files.elevation, sizeof(r.files.elevation), "%s", path.c_str());
        read_watershed_mask(r);
        read_elevation_map(r);
        if (r.mask != nullptr) {
            read_as(r, path, kMapSecondReals);
            read_as(r, path, kMapCellIds);
        }
    }
    pluvo_fuzz::finish_input();
    return 0;
}
