// Grid map outputs: the ASCII grid and bounds-grid writers, the ASCII and
// binary grid datasets (header, one block per output time, closing mark),
// and the `map_dataset` record that binds a per-cell source to one of the
// three output forms.
//
// Grids are walked row by row (rows 1..rows, columns 1..cols of the mask);
// every nonzero mask position is an active cell, and the active cells take
// the values 1, 2, 3 ... of the per-cell source in that order.
#pragma once
#include <vector>
#include "core/file_object.h"

// Format codes of a map_dataset.
constexpr int kMapGridPerTime = 1;   // one ASCII grid file per output time
constexpr int kMapAsciiDataset = 2;  // ASCII grid dataset
constexpr int kMapBinaryDataset = 3; // binary grid dataset
constexpr int kMapNotWritten = 4;    // a dataset form this system does not write

constexpr int kBinaryNameBytes = 40;       // name field of a binary dataset header
constexpr int kMapNameAffixSize = 30;      // prefix and suffix texts, including the NUL
constexpr double kMapNodata = -999.99;     // no-data value of a map_dataset at creation

// Format code of a map_dataset for a map_type card value.
int map_dataset_format(int map_type);

// One ASCII grid: ncols/nrows/xllcenter/yllcenter/cellsize/NODATA_value header,
// then the rows top row first, "%6.4lf " per cell and the header's no-data
// text (-9999.99) for an inactive cell. Returns the number of active cells that found no source value (0
// when the source covers every active cell).
int write_ascii_grid(file_object& f, int* const* mask, double north, double south, double east,
                     double west, int rows, int cols, const std::vector<double>& values,
                     double cell_size);

// One bounds grid: north/south/east/west/rows/cols header, then "%lf " per
// cell, 0 for an inactive cell. Returns the count of active cells without a value.
int write_grass_grid(file_object& f, int* const* mask, double north, double south, double east,
                     double west, int rows, int cols, const std::vector<double>& values);

// One time block of an ASCII or binary dataset (time in elapsed minutes).
// Returns the count of active cells without a value.
int write_dataset_step(file_object& f, double time, int rows, int cols, int* const* mask,
                       const std::vector<double>& values, bool binary);

// Open path for writing and write the dataset header; false when the file
// cannot be opened (error code 59 with the path is then set).
bool write_binary_dataset_header(const char* path, file_object& f, int id, const char* name,
                                 int rows, int cols);
bool write_ascii_dataset_header(const char* path, file_object& f, int id, const char* name,
                                int rows, int cols);

// Begins a dataset by the map type: 2 binary header, 0 nothing, any other
// type an ASCII header. `started` is set when a header was written. False
// when the file could not be opened (code 59 set).
bool begin_map_dataset(int map_type, int id, const char* path, const char* name, file_object& f,
                       int& started, int rows, int cols);

// Closes a begun dataset: 210 for a binary one, "ENDDS\n" for an ASCII one.
void end_map_dataset(file_object& f, bool binary);

// One constituent, nutrient or snow-temperature map output.
struct map_dataset {
    file_object file;                       // dataset file (formats 2 and 3); per-time grids are opened in it
    char folder[1024] = {};                 // folder or leading part of the path
    const std::vector<double>* values = nullptr;  // source over cells 1..GNUM (not owned)
    int* const* mask = nullptr;             // cell mask [row][col], nonzero = active (not owned)
    double north = 0.0, south = 0.0, east = 0.0, west = 0.0;  // map bounds, m
    int rows = 0, cols = 0;                 // grid size
    double nodata = kMapNodata;             // no-data value
    int format = 0;                         // format code 1..4
    double factor = 1.0;                    // scale carried for the callers, not applied here
    int map_count = 1;                      // number of the next per-time grid file
    double cell_size = 0.0;                 // cell size, m
    char prefix[kMapNameAffixSize] = {};    // part of the file names
    char suffix[kMapNameAffixSize] = {};    // part of the file names
    char name[1024] = {};                   // dataset name (40 bytes in a binary header)
    int started = 0;                        // a dataset header was written
    int range_error = 0;                    // the source did not cover every active cell

    map_dataset() = default;
    map_dataset(const map_dataset&) = delete;
    map_dataset& operator=(const map_dataset&) = delete;
    ~map_dataset();
};

// No file, empty texts, no source, nodata -999.99, factor 1.0, map_count 1.
void init_map_dataset(map_dataset& d);
// Stores format, folder, prefix, suffix and name and begins the dataset file
// folder + prefix by the map type. False when the header could not be written.
bool begin_map_dataset_file(map_dataset& d, int format, const char* folder, const char* prefix,
                            const char* suffix, int id, const char* name, int map_type);
// Writes one output time (elapsed minutes). Format 1 opens, writes and closes
// a per-time grid file; a file that cannot be opened prints "Can't open map
// for writing: %s\n", sets code 4000 and returns false.
bool write_map_dataset_step(map_dataset& d, double time);
// Finishes a begun dataset, reports a range error by name, closes the file.
void free_map_dataset(map_dataset& d);

// Path of a per-time grid: folder, a separator unless the folder is empty or
// already ends in one, then the parts given. Returns false when it does not fit.
bool map_file_path(char* out, int size, const char* folder, const char* stem, int number,
                   const char* tail);
// True when the folder text ends in a folder separator ('/' or '\\').
bool ends_in_separator(const char* folder);
