// Fuzz harness of the hydrometeorological files of long-term runs: the first
// byte of the input picks the format (bits 1-2: KEV, SAMSON, Surface Airways,
// gridded maps) and the orographic spread of the temperature (bit 3; with bit
// 4 from an orographic gage file, its records without the three header
// lines). The rest holds parts separated by "%%" lines: the hmet file, the
// orographic gage file, and for the gridded format up to seven maps named
// after the file's first word with the suffixes of the elements. The file is
// counted and checked as at start-up, then every record is served as the
// hourly steps take them, on a fully active grid of 3 x 4 cells.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "fuzz_support.h"
#include "hydromet/hmet_reader.h"

namespace {

constexpr int kMaxRecords = 2000;   // records served per input
const char* const kMapSuffixes[] = {"_Clod.asc", "_Pres.asc", "_RlHm.asc", "_Temp.asc",
                                    "_Drad.asc", "_Grad.asc", "_WndS.asc"};

// First blank-separated word of `text`, or "" when it is longer than 64
// characters or holds a NUL (which would end the file name early).
std::string first_word(const std::string& text) {
    std::istringstream in(text);
    std::string word;
    in >> word;
    const bool usable = word.size() <= 64 && word.find('\0') == std::string::npos;
    return usable ? word : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || !pluvo_fuzz::begin_input(data, size, true)) return -1;
    const uint8_t flags = data[0];
    const std::vector<std::string> parts = pluvo_fuzz::split_parts(data + 1, size - 1);
    const std::string path = pluvo_fuzz::write_input("hmet.dat", parts[0]);
    const std::string orog = pluvo_fuzz::write_input("orog.dat", parts.size() > 1 ? parts[1] : std::string());
    const std::string stem = first_word(parts[0]);
    for (size_t k = 0; k < 7 && k + 2 < parts.size() && !stem.empty(); ++k)
        pluvo_fuzz::write_input(stem + kMapSuffixes[k], parts[k + 2]);
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_full_grid(rs, 3, 4, 10.0, 100.0);
        pluvo_fuzz::set_cell_centres(rs);
        for (int c = 1; c <= rs.GNUM; ++c) rs.elevation[static_cast<size_t>(c)] = 100.0 + 10.0 * c;
        rs.long_term = 1;
        rs.quiet = 1;
        const int format = flags & 3;
        rs.hmet_kev = format == 0;
        rs.hmet_samson = format == 1;
        rs.hmet_surfaways = format == 2;
        rs.hmet_ascii = format == 3;
        rs.orogvar_hmet = (flags & 4) ? 1 : 0;
        rs.hmet_working_lapse = -5.0;
        if (rs.orogvar_hmet && (flags & 8) && open_file_named(rs.hmet_orog_file, orog.c_str(), "r"))
            rs.hmet_orog_gages = 1;
        if (open_file_named(rs.hmet_data_file, path.c_str(), "r") && read_hmet_record(rs) == 0) {
            for (int k = 0; k < kMaxRecords && read_hmet_record(rs) > 0; ++k) {
            }
        }
    }
    pluvo_fuzz::finish_input();
    return 0;
}
