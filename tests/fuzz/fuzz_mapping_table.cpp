// Fuzz harness of the mapping tables: the input holds up to three parts
// separated by "%%" lines: a mapping table (or stream mapping table), the
// index map "idx.map" and the stream map "st.map" that its sections may name.
// Every loader of a start-up reads the table in turn on a run state whose
// 3 x 4 mask holds nine cells and whose channel network has two links.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "fuzz_support.h"
#include "input/mapping_table.h"
#include "input/process_tables.h"
#include "input/stream_mapping.h"
#include "input/table_loader.h"
#include "subsurface/soils.h"

namespace {

// Index map of the 3 x 4 grid used when the input gives none.
const char kIndexMap[] =
    "north: 1000\nsouth: 970\neast: 40\nwest: 0\nrows: 3\ncols: 4\n"
    "0 1 2 0\n1 1 2 3\n0 3 3 2\n";
// Stream map of the two links used when the input gives none.
const char kStreamMap[] = "STREAM_MAP\nLINKS 2\n1\n2\n";

void clear_error() { error_record = error_info{}; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!pluvo_fuzz::begin_input(data, size, true)) return -1;
    const std::vector<std::string> parts = pluvo_fuzz::split_parts(data, size);
    const std::string table = pluvo_fuzz::write_input("table.cmt", parts[0]);
    pluvo_fuzz::write_input("idx.map", parts.size() > 1 ? parts[1] : std::string(kIndexMap));
    pluvo_fuzz::write_input("st.map", parts.size() > 2 ? parts[2] : std::string(kStreamMap));
    const char* path = table.c_str();
    {
        pluvo_fuzz::run_state_holder holder;
        run_state& rs = *holder;
        pluvo_fuzz::set_nine_cell_grid(rs);

        int flags[kMappingSectionFlags] = {};
        check_mapping_tables(path, flags);
        clear_error();

        std::vector<double> a, b, c, d, e, f, g, conc;
        load_mapping_table(rs, path, kSecRoughness, {&a});
        clear_error();
        load_mapping_table(rs, path, kSecGreenAmpt, {&a, &b, &c, &d, &e, &f, &g}, 2, &conc);
        clear_error();
        load_time_series_index(rs, path);
        clear_error();

        int classes = 0;
        std::vector<double> grav, diam, bind;
        std::vector<std::string> names;
        load_sediment_table(path, classes, grav, diam, names, bind);
        clear_error();
        std::vector<std::vector<double>> fractions;
        load_erosion_table(rs, path, classes, {&a, &b, &c, &d, &e}, fractions);
        clear_error();

        std::vector<well_record> wells;
        std::vector<int> well_ids;
        load_well_table(rs, path, wells, well_ids);
        clear_error();
        int wetland_count = 0;
        std::vector<wetland_record> wetlands;
        std::vector<int> wetland_mask;
        load_wetland_table(rs, path, wetland_count, wetlands, wetland_mask);
        clear_error();
        int contaminants = 0;
        load_contaminant_table(rs, path, contaminants, run_contaminant_outputs(rs));
        clear_error();

        std::vector<int> boundary_type(static_cast<size_t>(rs.GNUM) + 1, 6);
        std::vector<double> boundary_value(static_cast<size_t>(rs.GNUM) + 1, 1.0);
        for (int k = 1; k <= rs.GNUM; ++k) boundary_value[static_cast<size_t>(k)] = k % 3 + 1;
        std::vector<ov_boundary_record> curves;
        load_rating_curves(path, boundary_type, boundary_value, rs.GNUM, curves);
        clear_error();

        std::vector<int> soiltype;
        load_multilayer_soil_table(rs, path, soiltype, [&](file_object& t) {
            return read_multilayer_soil_table(t, pluvo_fuzz::cleared_soil_table(), nullptr);
        });
        clear_error();

        int stream_flags[kStreamTableFlags] = {};
        check_stream_tables(path, stream_flags);
        clear_error();
        std::vector<double> roughness, nitrogen;
        read_stream_table(rs, path, kStreamRoughness, {&roughness});
        clear_error();
        read_stream_table(rs, path, kStreamNitrogen, {&a, &b, &c, &nitrogen});
        clear_error();
    }
    pluvo_fuzz::finish_input();
    return 0;
}
