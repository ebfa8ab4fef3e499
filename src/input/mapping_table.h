// Mapping-table file: sections that bind parameter values to the cells
// through index maps, and the line-level readers shared by every loader.
//
// File layout: a "PLUVO_INDEX_MAP_TABLES" header line; directly after it a
// list of "INDEX_MAP file name" lines; then sections in any order. A section
// begins with its keyword line (the keyword at the very start of the line,
// followed for most sections by the NAME of an INDEX_MAP line), then its count
// line(s) ("NUM_IDS n", "NUM_SED n", "NUM_CONTAM n"), one column-title line and
// one ID row per ID. ID rows have fixed columns: the ID in characters 1 to 6,
// free text in characters 7 to 86, the values from character 87 on.
//
// Keywords are compared case-sensitively over their own length at the start of
// a line, in the order of the keyword table (first match wins).
#pragma once
#include <string>
#include <vector>

#include "core/text.h"

struct file_object;
class text_line;

// Section codes (mapping_process) and line keyword codes.
constexpr int kSecRoughness = 1;
constexpr int kSecInterception = 2;
constexpr int kSecRetention = 3;
constexpr int kSecGreenAmpt = 4;
constexpr int kSecSoilMoisture = 5;
constexpr int kSecRichardsHavercamp = 6;
constexpr int kSecRichardsBrooks = 7;
constexpr int kSecEvapotranspiration = 8;
constexpr int kSecSediments = 9;
constexpr int kSecErosion = 10;
constexpr int kSecContaminants = 11;
constexpr int kSecWetlands = 12;
constexpr int kSecMaterialIndex = 13;
constexpr int kSecOverlandBoundary = 14;
constexpr int kSecTimeSeriesIndex = 15;
constexpr int kSecWells = 16;
constexpr int kSecGroundwater = 17;
constexpr int kSecGroundwaterBoundary = 18;
constexpr int kSecAreaReduction = 19;
constexpr int kSecNsmN = 20;
constexpr int kSecNsmP = 21;
constexpr int kSecNsmC = 22;
constexpr int kSecNsmOther = 23;
constexpr int kSecDispersion = 24;
constexpr int kSecNsmSoilC = 25;
constexpr int kSecNsmSoilN = 26;
constexpr int kSecNsmSoilP = 27;
constexpr int kSecNsmGwN = 28;
constexpr int kSecNsmGwP = 29;
constexpr int kSecNsmGwOther = 30;
constexpr int kSecNsmSoilKm = 31;
constexpr int kSecNsmSoilKoc = 32;
constexpr int kSecMultiLayer = 201;
constexpr int kSecRatingCurves = 202;
constexpr int kLineNumIds = 137;
constexpr int kLineIndexMap = 138;
constexpr int kLineNumContam = 139;
constexpr int kLineNumSed = 140;
constexpr int kLinePrecipConc = 50000;
constexpr int kLinePartition = 60000;

constexpr int kLastSectionCode = 32;     // codes 1..32 have a values-per-ID entry
constexpr int kMaxTableId = 9999;        // IDs of every table and index map lie in 1..9999
constexpr int kRowIdWidth = 6;           // characters 1..6 of an ID row hold the ID
constexpr int kRowValueStart = 86;       // 0-based offset of character 87, the first value
constexpr int kMappingHeaderLength = 22; // characters of "PLUVO_INDEX_MAP_TABLES"

// One entry of the keyword table.
struct mapping_keyword {
    const char* keyword;   // upper-case keyword as written at the start of a line
    int code;              // section or line code
};

// The keyword table in matching order and its length.
const mapping_keyword* mapping_keywords(int* count);

// Code of the keyword the line begins with (1 for a ROUGHNESS line), 0 for none.
int mapping_keyword_code(const char* line);
// Keyword text of a section code 1..32 or of a line code (137..140, 50000,
// 60000) into `text` (size characters); other codes leave `text` untouched.
void mapping_keyword_name(int code, char* text, int size);
// Values per ID row of a section code 1..32; 0 for sections with a layout of
// their own (Richards, sediments, material index) and for other codes.
int values_per_id(int code);

// One INDEX_MAP line of the list after the header.
struct index_map_entry {
    std::string name;   // NAME: the rest of the line after the file token, as written
    std::string file;   // index-map file name (quotes removed)
};

// True when the line begins with the mapping-table header.
bool is_mapping_header(const char* line);
// Splits an INDEX_MAP line (or an ST_INDEX_MAP line) into its file and name;
// false when the line holds no file token.
bool parse_index_map_line(const char* line, index_map_entry& entry);
// The entry whose NAME equals `name` exactly; the last such line of the list wins.
const index_map_entry* find_index_map_entry(const std::vector<index_map_entry>& list,
                                            const std::string& name);
// The text of a keyword line from its second word to its end ("" when the line
// has a single word).
std::string section_map_name(const char* line);

// Reads the INDEX_MAP list of an open table whose header line has been read:
// consecutive INDEX_MAP lines from the next line on. Leaves in `line` the
// first line after the list; 1 when such a line was read, 0 at the end of the
// file.
int read_index_map_list(file_object& f, text_line& line, std::vector<index_map_entry>& list);

// Positions the open table just after the keyword line of section `code` and
// gives the file of the index map its line names: 1 found, 0 not found. For
// TIME_SERIES_INDEX and CONTAMINANT_TRANSPORT (no index map) the result is 1
// even when the section is missing; their count reader then answers 0.
int find_mapping_section(file_object& f, int code, std::string& map_file);
// The same search for SEDIMENTS and RATINGCURVES, which name no index map.
int find_sediments_section(file_object& f);
int find_ratingcurves_section(file_object& f);

// The integer that is the second word of a count line, 0 when that word is
// missing or is not wholly an integer.
int count_after_keyword(const char* line);

// Names and ranges of the k values of the ID rows of section `code` (the
// columns of values_per_id), or null when the section's values are checked
// by the process that uses them.
const number_field* section_value_fields(int code);

// Count lines: read the next line; its count when it is the wanted line, else 0.
int read_num_ids(file_object& f);
int read_num_sed(file_object& f);
int read_num_contam(file_object& f);

// Drops lines up to and including the first one that is not a keyword line.
void skip_table_heading(file_object& f);

// The ID of a row: the integer that stands alone in characters 1 to 6 of
// `line` (blanks around it allowed); false when there is none.
bool table_row_id(const char* line, int& id);

// Reads one ID row: the ID from characters 1..6, then k values from character
// 87 on into values[0..k-1]. 1 good row; 0 bad row (no ID, or a value missing
// or unreadable: the values read so far are kept, the rest untouched).
int read_table_row(file_object& f, int& id, int k, double* values);

// Reads an optional "PRECIP_CONC v1 .. vn" line into values[1..n] and then
// the column-title line; without the line, the line read is the column
// title. values needs n + 1 slots. A value that is missing, not a number or
// negative is refused naming the file and line (code 4000 reported): false.
bool read_precip_conc(file_object& f, int n, double* values);

// Moves the first double-quoted field of `line` (quotes included) into
// `field` (field_size characters) and keeps in `line` only what follows from
// its third double quote on.
void split_quoted_field(char* line, char* field, int field_size);
// Deletes every double quote of `text`.
void remove_quotes(char* text);

// ID table of one section: n rows, each an ID and `columns` values.
struct id_table {
    int columns = 0;               // values per row
    std::vector<int> ids;          // ID of each row, in file order
    std::vector<double> values;    // row-major, rows x columns, in the units of the table
    int largest_id = 0;            // largest ID read
    std::vector<int> lines;        // line of the file of each row, in file order
    int rows() const { return static_cast<int>(ids.size()); }
    double at(int row, int column) const {   // row 0-based, column 1-based
        return values[static_cast<size_t>(row) * columns + (column - 1)];
    }
};

// Reads n ID rows of k values into `table`. Every row must be complete, hold
// finite values (inside the ranges of `fields`, k entries, when given) and an
// ID in 1..kMaxTableId; otherwise a message names the file, the section and
// the line, code 4000 is reported and the result is 0.
int read_id_table(file_object& f, int n, int k, const char* section, id_table& table,
                  const number_field* fields = nullptr);

// Value-by-ID array of one column: by_id[ID - 1] = the value of the last row
// with that ID, 0 for IDs without a row; by_id gets `count` slots. IDs
// outside 1..count are refused (result false, by_id cleared).
bool scatter_by_id(const id_table& table, int column, int count, std::vector<double>& by_id);

// Prints "  <label>" followed by dots up to 35 characters and "Y\n" or "N\n".
void print_check_line(const char* label, int present);

// Start-up check of a mapping table (its code, body and table of lines are in
// table_loader.cpp): flags[1..31] = 1 for each section the file holds with a
// readable index map, printed as the dotted list of the start-up report.
constexpr int kMappingSectionFlags = 32;   // flags 1..31 of check_mapping_tables
void check_mapping_tables(const char* path, int* flags);

// Prints an input failure (console and summary file), sets code 4000 and
// reports it, so the run stops at its next check.
void report_table_failure(const char* format, ...) __attribute__((format(printf, 1, 2)));
