// The free-edge plane project of the whole-run benchmarks, written as a user
// would give it: size x size cells of 10 m falling 0.01 to the south,
// Manning n 0.05, uniform rain, the whole south edge a free-outflow boundary
// of slope 0.01 (type 1, through an index map and its mapping table), the
// outlet at the middle of the south edge. Files: mask.asc, elev.asc,
// edge.idx, table.cmt, plane.prj (summary plane.sum, outlet plane.otl).
#pragma once
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

struct free_edge_plane {
    int size = 2000;               // cells along each side
    int threads = 1;               // NUM_THREADS
    int minutes = 60;              // TOT_TIME, min
    double step = 10.0;            // TIMESTEP, s
    double rain_mm_h = 50.0;       // rain intensity for the whole run, mm/h
    bool explicit_scheme = false;  // OVERTYPE 1 instead of the default scheme
    bool quiet = true;             // QUIET (off: the program prints its start-up time)
};

constexpr double kPlaneCell = 10.0;    // m
constexpr double kPlaneSlope = 0.01;   // m/m, towards the south

// The maps and the mapping table of a plane of size x size cells.
inline void write_free_edge_maps(const std::filesystem::path& dir, int size) {
    auto header = [&](std::ofstream& f) {
        f << "north: " << size * kPlaneCell << "\nsouth: 0\neast: " << size * kPlaneCell
          << "\nwest: 0\nrows: " << size << "\ncols: " << size << "\n";
    };
    std::ofstream mask(dir / "mask.asc"), elev(dir / "elev.asc"), idx(dir / "edge.idx");
    header(mask);
    header(elev);
    header(idx);
    std::string ones, edge;
    for (int c = 1; c <= size; ++c) {
        ones += c < size ? "1 " : "1\n";
        edge += c < size ? "2 " : "2\n";
    }
    char buf[32];
    for (int r = 1; r <= size; ++r) {
        mask << ones;
        idx << (r == size ? edge : ones);
        std::snprintf(buf, sizeof buf, "%.4f", 100.0 + kPlaneSlope * kPlaneCell * (size - r));
        std::string row;
        for (int c = 1; c <= size; ++c) {
            row += buf;
            row += c < size ? ' ' : '\n';
        }
        elev << row;
    }
    auto id_row = [](int id, const char* values) {
        char head[16];
        std::snprintf(head, sizeof head, "%-6d", id);
        std::string line = std::string(head) + "row";
        line.resize(86, ' ');
        return line + values + "\n";
    };
    std::ofstream table(dir / "table.cmt");
    table << "PLUVO_INDEX_MAP_TABLES\nINDEX_MAP edge.idx \"Edge\"\n\nOVERLAND_BOUNDARY \"Edge\"\n"
          << "NUM_IDS 2\nID    DESCRIPTION      TYPE SLOPE\n"
          << id_row(1, "0 0") << id_row(2, "1 0.01");
}

// Writes the project file, and the maps too unless `project_only` (the maps
// of an earlier call of the same size are kept).
inline void write_free_edge_plane(const std::filesystem::path& dir, const free_edge_plane& p,
                                  bool project_only = false) {
    const int size = p.size;
    if (!project_only) write_free_edge_maps(dir, size);

    std::ofstream prj(dir / "plane.prj");
    prj << "PLUVOPROJECT\nWATERSHED_MASK mask.asc\nELEVATION elev.asc\nGRIDSIZE " << kPlaneCell
        << "\nROWS " << size << "\nCOLS " << size << "\nTOT_TIME " << p.minutes << "\nTIMESTEP "
        << p.step << "\nOUTROW " << size << "\nOUTCOL " << (size + 1) / 2 << "\nOUTSLOPE "
        << kPlaneSlope << "\nHYD_FREQ 1\nMAP_FREQ " << p.minutes
        << "\nSTART_DATE 2020 6 1\nSTART_TIME 0 0\n"
        << "PRECIP_UNIF\nRAIN_INTENSITY " << p.rain_mm_h << "\nRAIN_DURATION " << p.minutes
        << "\nMANNING_N 0.05\n" << (p.explicit_scheme ? "OVERTYPE 1\n" : "")
        << "MAPPING_TABLE table.cmt\nOV_BOUNDARY\nSUMMARY plane.sum\n"
        << "OUTLET_HYDRO plane.otl\nNUM_THREADS " << p.threads << "\n"
        << (p.quiet ? "QUIET\n" : "");
}
