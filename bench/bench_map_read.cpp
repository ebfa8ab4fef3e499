// Benchmark of the ASCII grid map reader on the maps a large run starts from:
// a whole-grid integer mask (kind 2), a real map of elevations like
// "100.1234" over every cell (kind 1) and an ID map (kind 4), each size x size
// values, written to /tmp and read with read_map_file. Reports the wall time
// of each read (best of `repeats`) and a checksum of the values read so that
// a reader that skips work shows up.
//
// Usage: bench_map_read [size [repeats]]   (defaults: 2000, 3)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "core/alloc.h"
#include "core/file_object.h"
#include "input/map_reader.h"

namespace {

using bench_clock = std::chrono::steady_clock;

std::string header(int size) {
    return "north: " + std::to_string(size * 10) + "\nsouth: 0\neast: " +
           std::to_string(size * 10) + "\nwest: 0\nrows: " + std::to_string(size) +
           "\ncols: " + std::to_string(size) + "\n";
}

void write_int_map(const std::string& path, int size, bool ids) {
    std::ofstream out(path);
    out << header(size);
    std::string row;
    for (int r = 1; r <= size; ++r) {
        row.clear();
        for (int c = 1; c <= size; ++c) {
            row += ids ? std::to_string(1 + (r + c) % 12) : std::string("1");
            row += c < size ? ' ' : '\n';
        }
        out << row;
    }
}

void write_real_map(const std::string& path, int size) {
    std::ofstream out(path);
    out << header(size);
    std::string row;
    char buf[32];
    for (int r = 1; r <= size; ++r) {
        row.clear();
        for (int c = 1; c <= size; ++c) {
            std::snprintf(buf, sizeof buf, "%.4f", 100.0 + 0.1 * (size - r) + 1e-4 * (c % 97));
            row += buf;
            row += c < size ? ' ' : '\n';
        }
        out << row;
    }
}

// Seconds of one read of `path` as `kind`; false when the reader refused it.
bool time_read(const std::string& path, int kind, int size, int** grid,
               std::vector<double>& reals, std::vector<int>& ids, double& seconds) {
    file_object f;
    if (!open_file_named(f, path.c_str(), "r")) return false;
    double north = 0, south = 0, east = 0, west = 0;
    int rows = 0, cols = 0;
    const auto t0 = bench_clock::now();
    const bool ok = read_map_file(f, path.c_str(), kind, north, south, east, west, rows, cols,
                                  grid, &reals, &reals, &ids, size, size);
    seconds = std::chrono::duration<double>(bench_clock::now() - t0).count();
    close_file_object(f);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const int size = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    if (size < 1) {
        std::fprintf(stderr, "usage: bench_map_read [size [repeats]]\n");
        return 2;
    }
    const std::string stem = "/tmp/bench_map_read_" + std::to_string(getpid());
    const std::string mask_path = stem + "_mask.asc";
    const std::string real_path = stem + "_elev.asc";
    const std::string id_path = stem + "_ids.asc";
    write_int_map(mask_path, size, false);
    write_real_map(real_path, size);
    write_int_map(id_path, size, true);

    int** grid = nullptr;
    alloc_int_2d(grid, size + 1, size + 1, "bench mask");
    const size_t cells = static_cast<size_t>(size) * static_cast<size_t>(size);
    std::vector<double> reals(cells + 1, 0.0);
    std::vector<int> ids(cells + 1, 0);

    struct map_case {
        const char* name;
        const std::string* path;
        int kind;
    } cases[] = {{"mask (kind 2, ints)", &mask_path, kMapGridInts},
                 {"elevation (kind 1, reals)", &real_path, kMapCellReals},
                 {"IDs (kind 4, ints)", &id_path, kMapCellIds}};
    int status = 0;
    std::printf("map reader, %d x %d values per map, best of %d reads\n", size, size, repeats);
    for (const map_case& c : cases) {
        double best = 1e300;
        for (int k = 0; k < repeats; ++k) {
            double seconds = 0.0;
            // The map reader prints its warnings on stdout; keep them out of the figures.
            std::fflush(stdout);
            if (!time_read(*c.path, c.kind, size, grid, reals, ids, seconds)) {
                std::fprintf(stderr, "read of %s failed\n", c.path->c_str());
                status = 1;
                break;
            }
            best = std::min(best, seconds);
        }
        double sum = 0.0;
        if (c.kind == kMapCellReals) {
            for (size_t k = 1; k <= cells; ++k) sum += reals[k];
        } else if (c.kind == kMapCellIds) {
            for (size_t k = 1; k <= cells; ++k) sum += ids[k];
        } else {
            for (int i = 1; i <= size; ++i)
                for (int j = 1; j <= size; ++j) sum += grid[i][j];
        }
        std::printf("%-28s %8.3f s  %7.1f Mvalues/s  checksum %.6g\n", c.name, best,
                    static_cast<double>(cells) / best / 1e6, sum);
    }
    free_block_2d(grid);
    std::remove(mask_path.c_str());
    std::remove(real_path.c_str());
    std::remove(id_path.c_str());
    return status;
}
