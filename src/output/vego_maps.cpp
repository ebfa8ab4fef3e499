#include "output/vego_maps.h"
#include <cstdio>
#include <vector>
#include "core/error.h"
#include "core/file_object.h"
#include "input/map_reader.h"
#include "run/run_state.h"

namespace {

constexpr double kCmPerHourPerMps = 360000.0;   // cm/h in one m/s
constexpr double kDefaultRoughness = 0.04;       // roughness replacing a value <= 0, s/m^(1/3)

template <class T>
bool spans(const std::vector<T>& v, int n) {
    return static_cast<int>(v.size()) > n;
}

// Reads one exchange map into `values` (per cell from 1); false after a reported failure.
bool read_exchange_map(run_state& rs, char* path, std::vector<double>& values, const char* tag,
                       const char* what) {
    if (!open_file_object(rs.exchange_file, path, "r")) {
        std::printf("%s Can't open %s exchange file %s for reading\n", tag, what, path);
        error_record.code = kErrorPrinted;
        report_error(error_record);
        return false;
    }
    double north = 0.0, south = 0.0, east = 0.0, west = 0.0;
    int rows = 0, cols = 0;
    const bool read = read_map_file(rs.exchange_file, path, kMapCellReals, north, south, east, west,
                                    rows, cols, rs.mask, &values, nullptr, nullptr, rs.mask_rows,
                                    rs.mask_cols);
    close_file_object(rs.exchange_file);
    return read;
}

}  // namespace

bool read_vego_exchange_files(run_state& rs, const char* tag) {
    const int n = rs.GNUM;
    if (rs.moist_from_vego_on == 1) {
        if (!read_exchange_map(rs, rs.files.moist_from_vego, rs.thi, tag, "soil moisture"))
            return false;
        if (spans(rs.thi, n) && spans(rs.phi, n) && spans(rs.thr, n)) {
            const bool floor = spans(rs.soil_theta_floor, n);
            for (int j = 1; j <= n; ++j) {
                double& thi = rs.thi[j];
                if (rs.long_term) {
                    if (rs.phi[j] < thi)
                        thi = 0.99 * (rs.phi[j] - rs.thr[j]) + (floor ? rs.soil_theta_floor[j] : 0.0);
                    if (rs.thr[j] >= thi) thi = rs.thr[j] + 0.01 * (rs.phi[j] - rs.thr[j]);
                } else {
                    if (rs.phi[j] < thi) thi = 0.99 * rs.phi[j];
                    if (thi < 0.1) thi = 0.1;
                }
            }
        }
    }
    if (rs.rough_from_vego_on == 1) {
        rs.rough_all = 0.0;   // the cells' n differ from now on
        if (!read_exchange_map(rs, rs.files.rough_from_vego, rs.dist_rough, tag, "roughness"))
            return false;
        for (int j = 1; j <= n && spans(rs.dist_rough, j); ++j) {
            if (rs.dist_rough[j] <= 0.0) rs.dist_rough[j] = kDefaultRoughness;
        }
    }
    if (rs.ksat_from_vego_on == 1) {
        if (!read_exchange_map(rs, rs.files.ksat_from_vego, rs.ksat, tag, "Ksat")) return false;
        for (int j = 1; j <= n && spans(rs.ksat, j); ++j) {
            if (rs.ksat[j] < 0.0) {
                std::printf("Error: Ksat exchange file %s: cell %d has the negative conductivity "
                            "%g cm/h.\n",
                            rs.files.ksat_from_vego, j, rs.ksat[j]);
                error_record.code = kErrorPrinted;
                report_error(error_record);
                return false;
            }
            rs.ksat[j] /= kCmPerHourPerMps;
        }
    }
    return true;
}
