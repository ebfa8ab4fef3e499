#include "output/map_dataset.h"
#include <cstdint>
#include <cstdio>
#include <cstring>
#include "core/dates.h"
#include "core/error.h"

namespace {

// Little-endian writers of the binary dataset (independent of the host order).
void put_u32(FILE* out, uint32_t v) {
    unsigned char b[4] = {static_cast<unsigned char>(v & 0xff),
                          static_cast<unsigned char>((v >> 8) & 0xff),
                          static_cast<unsigned char>((v >> 16) & 0xff),
                          static_cast<unsigned char>((v >> 24) & 0xff)};
    std::fwrite(b, 1, 4, out);
}

void put_i32(FILE* out, int v) { put_u32(out, static_cast<uint32_t>(v)); }

void put_i16(FILE* out, int v) {
    const uint16_t u = static_cast<uint16_t>(v);
    unsigned char b[2] = {static_cast<unsigned char>(u & 0xff),
                          static_cast<unsigned char>((u >> 8) & 0xff)};
    std::fwrite(b, 1, 2, out);
}

void put_double(FILE* out, double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    unsigned char b[8];
    for (int k = 0; k < 8; ++k) b[k] = static_cast<unsigned char>((bits >> (8 * k)) & 0xff);
    std::fwrite(b, 1, 8, out);
}

bool active(int* const* mask, int r, int c) { return mask != nullptr && mask[r][c] != 0; }

// Value of the k-th active cell; false (and 0) when the source has no slot k.
bool cell_value(const std::vector<double>& values, int k, double& out) {
    if (k < 1 || static_cast<size_t>(k) >= values.size()) {
        out = 0.0;
        return false;
    }
    out = values[static_cast<size_t>(k)];
    return true;
}

double smaller(double a, double b) { return a < b ? a : b; }

// No-data text of an ASCII grid: written once in the header and, unchanged,
// in every inactive cell, so that readers of the common grid layout see the
// inactive cells as no data.
constexpr const char* kAsciiGridNodata = "-9999.99";

void copy_text(char* out, size_t size, const char* text) {
    std::snprintf(out, size, "%s", text ? text : "");
}

}  // namespace

int map_dataset_format(int map_type) {
    switch (map_type) {
        case 0: return kMapGridPerTime;
        case 2: return kMapBinaryDataset;
        default: return kMapAsciiDataset;   // 1, 4 (the further form is refused at start-up)
    }
}

int write_ascii_grid(file_object& f, int* const* mask, double north, double south, double east,
                     double west, int rows, int cols, const std::vector<double>& values,
                     double cell_size) {
    if (!f.is_open()) return 0;
    FILE* out = f.handle;
    std::fprintf(out, "ncols \t%d\n", cols);
    std::fprintf(out, "nrows \t%d\n", rows);
    std::fprintf(out, "xllcenter %9.2lf\n", smaller(east, west) + 0.5 * cell_size);
    std::fprintf(out, "yllcenter %9.2lf\n", smaller(north, south) + 0.5 * cell_size);
    std::fprintf(out, "cellsize %9.2lf\n", cell_size);
    std::fprintf(out, "NODATA_value %s\n", kAsciiGridNodata);
    int k = 0;
    int missing = 0;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            if (active(mask, r, c)) {
                double v = 0.0;
                if (!cell_value(values, ++k, v)) ++missing;
                std::fprintf(out, "%6.4lf ", v);
            } else {
                std::fprintf(out, "%s ", kAsciiGridNodata);
            }
        }
        std::fputc('\n', out);
    }
    return missing;
}

int write_grass_grid(file_object& f, int* const* mask, double north, double south, double east,
                     double west, int rows, int cols, const std::vector<double>& values) {
    if (!f.is_open()) return 0;
    FILE* out = f.handle;
    std::fprintf(out, "north: %9.2lf\n", north);
    std::fprintf(out, "south: %9.2lf\n", south);
    std::fprintf(out, "east: %9.2lf\n", east);
    std::fprintf(out, "west: %9.2lf\n", west);
    std::fprintf(out, "rows: %5d\n", rows);
    std::fprintf(out, "cols: %5d\n", cols);
    int k = 0;
    int missing = 0;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            double v = 0.0;
            if (active(mask, r, c) && !cell_value(values, ++k, v)) ++missing;
            std::fprintf(out, "%lf ", v);
        }
        std::fputc('\n', out);
    }
    return missing;
}

int write_dataset_step(file_object& f, double time, int rows, int cols, int* const* mask,
                       const std::vector<double>& values, bool binary) {
    if (!f.is_open()) return 0;
    FILE* out = f.handle;
    int missing = 0;
    if (binary) {
        put_i32(out, 200);
        put_i16(out, 1);
        put_double(out, time);
        for (int r = 1; r <= rows; ++r)
            for (int c = 1; c <= cols; ++c) put_i16(out, active(mask, r, c) ? 1 : 0);
        int k = 0;
        for (int r = 1; r <= rows; ++r) {
            for (int c = 1; c <= cols; ++c) {
                double v = 0.0;
                if (active(mask, r, c) && !cell_value(values, ++k, v)) ++missing;
                put_double(out, v);
            }
        }
        return missing;
    }
    std::fprintf(out, "TS 1 %lf\n", time);
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) std::fprintf(out, "%d\n", active(mask, r, c) ? 1 : 0);
    int k = 0;
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= cols; ++c) {
            double v = 0.0;
            if (active(mask, r, c) && !cell_value(values, ++k, v)) ++missing;
            std::fprintf(out, "%lf\n", v);
        }
    }
    return missing;
}

bool write_binary_dataset_header(const char* path, file_object& f, int id, const char* name,
                                 int rows, int cols) {
    if (!open_file_named(f, path, "wb")) {
        set_error(59, nullptr, path);
        return false;
    }
    FILE* out = f.handle;
    const int n = rows * cols;
    put_i32(out, 3000);
    put_i32(out, 100);
    put_i32(out, 4);
    put_i32(out, 110);
    put_i32(out, 8);
    put_i32(out, 120);
    put_i32(out, 2);
    put_i32(out, 130);
    put_i32(out, 160);
    put_i32(out, id);
    put_i32(out, 170);
    put_i32(out, n);
    put_i32(out, 180);
    put_i32(out, n);
    put_i32(out, 190);
    // The name field is always 40 bytes: the name, cut to 40, then zero bytes.
    char field[kBinaryNameBytes] = {};
    if (name != nullptr) {
        const size_t len = strnlen(name, kBinaryNameBytes);
        std::memcpy(field, name, len);
    }
    std::fwrite(field, 1, kBinaryNameBytes, out);
    return true;
}

bool write_ascii_dataset_header(const char* path, file_object& f, int id, const char* name,
                                int rows, int cols) {
    if (!open_file_named(f, path, "w")) {
        set_error(59, nullptr, path);
        return false;
    }
    FILE* out = f.handle;
    std::fprintf(out, "DATASET\n");
    std::fprintf(out, "OBJTYPE grid2d\n");
    std::fprintf(out, "BEGSCL\n");
    std::fprintf(out, "OBJID %d\n", id);
    std::fprintf(out, "ND %d\n", rows * cols);
    std::fprintf(out, "NC %d\n", rows * cols);
    std::fprintf(out, "NAME %s\n", name ? name : "");
    return true;
}

bool begin_map_dataset(int map_type, int id, const char* path, const char* name, file_object& f,
                       int& started, int rows, int cols) {
    started = 0;
    if (map_type == 0) return true;
    const bool ok = map_type == 2 ? write_binary_dataset_header(path, f, id, name, rows, cols)
                                  : write_ascii_dataset_header(path, f, id, name, rows, cols);
    if (ok) started = 1;
    return ok;
}

void end_map_dataset(file_object& f, bool binary) {
    if (!f.is_open()) return;
    if (binary) {
        put_i32(f.handle, 210);
    } else {
        std::fprintf(f.handle, "ENDDS\n");
    }
    close_file_object(f);
}

bool ends_in_separator(const char* folder) {
    if (folder == nullptr || folder[0] == '\0') return false;
    const char last = folder[std::strlen(folder) - 1];
    return last == '/' || last == '\\';
}

bool map_file_path(char* out, int size, const char* folder, const char* stem, int number,
                   const char* tail) {
    folder = folder ? folder : "";
    const char* sep = (folder[0] != '\0' && !ends_in_separator(folder)) ? "/" : "";
    const int n = std::snprintf(out, static_cast<size_t>(size), "%s%s%s%04d%s", folder, sep,
                                stem ? stem : "", number, tail ? tail : "");
    return n >= 0 && n < size;
}

map_dataset::~map_dataset() { free_map_dataset(*this); }

void init_map_dataset(map_dataset& d) {
    close_file_object(d.file);
    d.folder[0] = '\0';
    d.values = nullptr;
    d.mask = nullptr;
    d.north = d.south = d.east = d.west = 0.0;
    d.rows = d.cols = 0;
    d.nodata = kMapNodata;
    d.format = 0;
    d.factor = 1.0;
    d.map_count = 1;
    d.cell_size = 0.0;
    d.prefix[0] = '\0';
    d.suffix[0] = '\0';
    d.name[0] = '\0';
    d.started = 0;
    d.range_error = 0;
}

bool begin_map_dataset_file(map_dataset& d, int format, const char* folder, const char* prefix,
                            const char* suffix, int id, const char* name, int map_type) {
    d.format = format;
    copy_text(d.folder, sizeof d.folder, folder);
    copy_text(d.prefix, sizeof d.prefix, prefix);
    copy_text(d.suffix, sizeof d.suffix, suffix);
    copy_text(d.name, sizeof d.name, name);
    if (format == kMapNotWritten) {
        d.started = 0;
        return true;
    }
    char path[sizeof d.folder + kMapNameAffixSize];
    std::snprintf(path, sizeof path, "%s%s", d.folder, d.prefix);
    return begin_map_dataset(map_type, id, path, d.name, d.file, d.started, d.rows, d.cols);
}

bool write_map_dataset_step(map_dataset& d, double time) {
    static const std::vector<double> kNoValues;
    const std::vector<double>& values = d.values ? *d.values : kNoValues;
    int missing = 0;
    switch (d.format) {
        case kMapGridPerTime: {
            char stem[1200];
            std::snprintf(stem, sizeof stem, "%s%s.", d.name, d.prefix);
            char path[2048];
            const bool fits = map_file_path(path, sizeof path, d.folder, stem, d.map_count, d.suffix);
            print_message("opening file %s\n", path);
            if (!fits || !open_file_named(d.file, path, "w")) {
                std::printf("Can't open map for writing: %s\n", path);
                set_error(kErrorPrinted);
                return false;
            }
            missing = write_ascii_grid(d.file, d.mask, d.north, d.south, d.east, d.west, d.rows,
                                       d.cols, values, d.cell_size);
            close_file_object(d.file);
            ++d.map_count;
            break;
        }
        case kMapAsciiDataset:
            missing = write_dataset_step(d.file, time, d.rows, d.cols, d.mask, values, false);
            break;
        case kMapBinaryDataset:
            missing = write_dataset_step(d.file, time, d.rows, d.cols, d.mask, values, true);
            break;
        default:
            break;
    }
    if (missing > 0) d.range_error = 1;
    return true;
}

void free_map_dataset(map_dataset& d) {
    if (d.file.is_open() && d.format == kMapAsciiDataset) std::fprintf(d.file.handle, "ENDDS\n");
    if (d.file.is_open() && d.format == kMapBinaryDataset) put_i32(d.file.handle, 210);
    if (d.range_error) {
        std::printf("Error: bad range addressed in array %s\n", d.name);
        d.range_error = 0;
    }
    d.values = nullptr;
    d.mask = nullptr;
    if (d.file.is_open()) close_file_object(d.file);
}
