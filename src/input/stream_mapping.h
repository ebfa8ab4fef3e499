// Stream mapping tables and stream maps: parameters of the channel network
// given per ID in a stream mapping table ("PLUVO_STREAM_INDEX_MAP_TABLES")
// and bound to the links by "STREAM_MAP" files, one value or ID per link that
// applies to every node of the link.
//
// Link/node arrays are flat: the entry of node j of link l sits at
// (max_nodes + 1) x l + j, for links 1..links and nodes 1..nx[l], where
// max_nodes is the largest node count of the network. The network (links and
// nodes per link) comes from the run state members `links` and `nx`.
#pragma once
#include <array>
#include <cstddef>
#include <string>
#include <vector>

struct file_object;
struct run_state;

// Stream table kinds.
constexpr int kStreamRoughness = 1;
constexpr int kStreamNitrogen = 2;
constexpr int kStreamPhosphorus = 3;
constexpr int kStreamCarbon = 4;
constexpr int kStreamOther = 5;
constexpr int kStreamDispersion = 6;
constexpr int kStreamNumIds = 37;      // "NUM_IDS" line
constexpr int kStreamIndexMap = 38;    // "ST_INDEX_MAP" line

constexpr int kStreamTableFlags = 6;   // flags 0..5 of check_stream_tables
constexpr int kStreamHeaderLength = 29;   // characters of "PLUVO_STREAM_INDEX_MAP_TABLES"
constexpr int kStreamMaxValues = 4;    // most values per ID of a stream table

// One kind of the stream table vocabulary.
struct stream_table_entry {
    int kind;              // stream table kind
    const char* keyword;   // keyword at the start of a line
    int match_length;      // characters compared
    int values;            // values per ID row (0 for line keywords)
    const char* title;     // title used in error messages
    const char* label;     // label of the check line (null for line keywords)
};

// The vocabulary in matching order and its length.
const stream_table_entry* stream_table_entries(int* count);
// Kind of the keyword a line begins with, 0 for none.
int stream_table_kind(const char* line);
// Title of a kind ("NSM_N (Stream)"), "" for an unknown kind.
const char* stream_table_title(int kind);
// Values per ID row of a kind, 0 for an unknown kind.
int stream_values_per_id(int kind);

// Flat index of node `node` of link `link`.
inline size_t stream_index(int max_nodes, int link, int node) {
    return static_cast<size_t>(max_nodes + 1) * static_cast<size_t>(link) + static_cast<size_t>(node);
}
// Largest node count of links 1..rs.links (0 without a network).
int stream_max_nodes(const run_state& rs);

// Start-up check of a stream mapping table: flags[0..5] = 1 for each table
// (roughness, nitrogen, phosphorus, other, carbon, dispersion) whose section
// names a known stream map that opens; prints one dotted line per table.
// Code 64 (reported) when the table does not open; the flags then stay.
void check_stream_tables(const char* path, int* flags);
// One check line: flag = presence of kind `kind` in the open table.
void check_stream_table(int& flag, file_object& table, int kind, const char* label);

// Positions the open table just after the section line of `kind` and gives
// the file of the stream map it names: 1 found, 0 not found.
int find_stream_table(file_object& table, int kind, std::string& map_file);
// The count of the NUM_IDS line read next, 0 when the line is no NUM_IDS line.
int read_stream_num_ids(file_object& table);

// Up to four flat link/node destinations, value column i to entry i - 1; a
// null entry skips its column. Destinations shorter than
// (max_nodes + 1) x (links + 1) are extended with zeros.
using stream_outputs = std::array<std::vector<double>*, kStreamMaxValues>;

// Loads the table of `kind` into the destinations: every node of a link whose
// map ID is not 0 takes the value of that ID (0 for IDs without a row); nodes
// of ID 0 keep their value. Codes: 64 table, 66 section missing or empty, 115
// to 118 stream map (open, header, link count, values), 4000 a bad row or a
// map ID outside 0..largest table ID; all reported. 1 loaded, 0 failed.
int read_stream_table(const char* table_path, int kind, const stream_outputs& dest, int links,
                      int max_nodes, const std::vector<int>& nodes_per_link);
// The same for the channel network of the run (rs.links, rs.nx).
int read_stream_table(run_state& rs, const char* table_path, int kind, const stream_outputs& dest);

// Reads a stream map into a flat link/node array (resized to
// (max_nodes + 1) x (links + 1), other entries kept): integer IDs, or reals.
// 0 read; -1 not opened; -2 header not "STREAM_MAP" or no link count; -3 link
// count differs from `links` (or the network is inconsistent); -4 a link's
// value missing or unreadable.
int read_stream_map(const char* path, int links, int max_nodes,
                    const std::vector<int>& nodes_per_link, std::vector<int>& ids);
int read_stream_map(const char* path, int links, int max_nodes,
                    const std::vector<int>& nodes_per_link, std::vector<double>& values);

// dest[(row_length) x l + j] = by_id[ID - 1] for every node whose ID in `ids`
// (same indexing) lies in 1..by_id.size(); other nodes keep their value.
void apply_stream_ids(std::vector<double>& dest, const std::vector<double>& by_id,
                      const std::vector<int>& ids, int links,
                      const std::vector<int>& nodes_per_link, int row_length);
