// Loaders of the mapping-table sections with a layout of their own:
// SEDIMENTS, SOIL_EROSION_PROPS, WELL_TABLE, WETLAND_PROPERTIES,
// CONTAMINANT_TRANSPORT, the Richards and multi-layer soil sections and
// RATINGCURVES. Each is called once at start-up by the reader of its process
// with the destinations that process owns.
//
// Every loader opens the mapping table itself, closes every file it opened on
// every path, and refuses rows and index-map values that would otherwise give
// cells silently wrong parameters (message naming the file and line, or the
// map and cell; code 4000 reported).
#pragma once
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "core/checked_array.h"

struct run_state;
struct file_object;
struct wetland_record;
struct well_record;
struct ov_boundary_record;

constexpr int kMaxWetlandId = 300;        // wetland IDs of an index map lie in 1..300
constexpr int kContamNameSize = 298;      // characters kept of a description or output name
constexpr int kContamColumns = 8;         // values per ID row of a contaminant table

// SEDIMENTS: class_count = n of "NUM_SED n" (0 when the section or its count
// is missing) and per class 1..n the specific gravity, the particle diameter
// (mm), the output file name and the binding fraction (arrays of n + 1 slots).
// A row must hold from character 41 on three numbers and a file name.
// Result 1 when classes were read, 0 otherwise (64 reported when the table
// does not open, the count then untouched; 4000 for a bad row, count 0).
int load_sediment_table(const char* table_path, int& class_count, std::vector<double>& spec_grav,
                        std::vector<double>& part_diam, std::vector<std::string>& output_filename,
                        std::vector<double>& f_bind);

// SOIL_EROSION_PROPS: the first five columns go to the five per-cell arrays in
// the order given (null skips one); column 5 + c gives class_fraction[c][cell]
// for the sediment classes c = 1..sed_classes. The table's NUM_SED must equal
// sed_classes: otherwise code 91 (numbers sed_classes and the table's count)
// is set for the run driver to report. 64, 65, 66, 71..74 and 4000 reported.
using erosion_outputs = std::array<std::vector<double>*, 5>;
int load_erosion_table(run_state& rs, const char* table_path, int sed_classes,
                       const erosion_outputs& outputs,
                       std::vector<std::vector<double>>& class_fraction);

// WELL_TABLE: one well_record per row (wells, last row first), and per cell
// the well ID its index map places there (well_ids, GNUM + 1 slots, 0 none).
// Rate sources and series IDs must be whole numbers inside the int range.
int load_well_table(run_state& rs, const char* table_path, std::vector<well_record>& wells,
                    std::vector<int>& well_ids);

// WETLAND_PROPERTIES: numbers the wetland IDs of the index map 1, 2, ... in the
// order first met row by row; wetland_mask[cell] = that number (0 for ID 0);
// records[1..count] from the rows of the table with unit conversions (mm to m,
// per day to per second). Codes 67 (distinct map IDs differ from NUM_IDS),
// 68 (a map ID above 300), 64, 65, 66, 71..74, 4000; all reported.
int load_wetland_table(run_state& rs, const char* table_path, int& wetland_count,
                       std::vector<wetland_record>& records, std::vector<int>& wetland_mask);

// Destinations of the contaminant tables; a null entry is skipped.
struct contaminant_outputs {
    std::array<checked_array_2d<double>*, kContamColumns> cells{};  // table columns 1..8: rows 1..n, cells 1..GNUM
    checked_array<double>* precip_conc = nullptr;       // per contaminant 1..n, g/m3
    checked_array<double>* partition = nullptr;         // per contaminant 1..n, l/kg (0 without the line)
    std::vector<std::string>* descriptions = nullptr;   // per contaminant 1..n
    std::vector<std::string>* output_names = nullptr;   // per contaminant 1..n
    std::vector<std::string>* index_map_files = nullptr;  // per contaminant 1..n
};
// The destinations of the run state's contaminant members (quality_state).
contaminant_outputs run_contaminant_outputs(run_state& rs);

// CONTAMINANT_TRANSPORT: count = n of "NUM_CONTAM n"; per contaminant j a name
// line of three quoted fields (description, index map NAME, output file), a
// PRECIP_CONC line, an optional PARTITION line, "NUM_IDS k" and, for k > 0, a
// heading and k rows of eight values bound to the cells through its index map.
// Result 1 loaded; 0 with code 69 (reported) for a missing section, a missing
// PRECIP_CONC line or an unknown index map; 0 without a code for a table
// without the header or with no contaminant; 64, 65, 71..74, 4000 reported.
int load_contaminant_table(run_state& rs, const char* table_path, int& count,
                           const contaminant_outputs& outputs);

// Index map file named by the Richards section (kind 1 Brooks, 2 Havercamp),
// empty when the table or the section is missing.
void richards_index_map_name(const char* table_path, int kind, char* file_name, int size);

// Reads the soil table of a section from the open mapping table positioned
// right after the section's keyword line; returns its own result.
using soil_table_reader = std::function<int(file_object& table)>;

// Richards section (kind 1 Brooks, 2 Havercamp): reads its index map into
// soiltype[1..GNUM] (soil IDs 1..9999; an ID 0 or out of range is refused),
// then hands the table to `reader`. Result: the reader's result; -1 when the
// index map does not open (code 132 set, not reported) or cannot be read.
int load_richards_soil_table(run_state& rs, const char* table_path, int kind,
                             std::vector<int>& soiltype, const soil_table_reader& reader);
// The same for MULTI_LAYER_SOIL (code 136).
int load_multilayer_soil_table(run_state& rs, const char* table_path, std::vector<int>& soiltype,
                               const soil_table_reader& reader);

// RATINGCURVES: records[1..cell_count] are cleared; every cell whose boundary
// type is 6 or 7 gets the elevation series named by the row whose ID is its
// boundary value (truncated). A named series that does not exist sets code 86
// and the stop flag (left to the run driver); a cell whose ID has no row is
// refused with a message naming the cell (4000 reported); 64 reported.
int load_rating_curves(const char* table_path, const std::vector<int>& boundary_type,
                       const std::vector<double>& boundary_value, int cell_count,
                       std::vector<ov_boundary_record>& records);
