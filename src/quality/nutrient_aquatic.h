// Aquatic environment file of the nutrient sub-model: 52 environmental
// parameters per parameter ID, and the overland and stream ID maps that bind
// IDs to cells and stream nodes.
#pragma once
#include <array>
#include <string>
#include <vector>

struct run_state;

constexpr int kAquaticParams = 52;   // parameter values per ID

struct aquatic_env_tables {
    std::string file;                // aquatic environment file read
    std::string ov_map;              // overland ID map file (OV_MAP line)
    std::string st_map;              // stream ID map file (ST_MAP line)
    int num_ids = 0;                 // parameter IDs declared (NUM_IDS line)
    // Parameters of IDs 1..num_ids (slot 0 unused), positions 0..51; an ID
    // given as DEFAULT or without a block keeps 0s. Units are those of the file.
    std::vector<std::array<double, kAquaticParams>> params;
    int cells = 0;                   // cells of the overland ID map (GNUM once read)
    std::vector<int> ov_id;          // parameter ID of each cell 1..cells
    std::vector<int> st_id;          // parameter ID of each stream node, flat (maxnodes + 1) x link + node; 1 where the map gives none
};

// Reads the file `path` into `t`: header, map names, ID count and the ID
// blocks (no map is read). False after the failure was put into the error
// record: code 76 (cannot be opened), 77 (header), 78 (ID above the count,
// both numbers given) or 4000 after a message naming the file and line (an
// ID below 1 or not an integer, a value line with too few or non-finite
// numbers, a block cut short by the end of the file) or the file (no
// NUM_IDS line).
bool read_aquatic_env_table(const char* path, aquatic_env_tables& t);

// The whole read for a run: the table of `path`, then, when the table was
// read, the overland ID map against the run's grid (code 81 when it cannot
// be opened). Result through the error record only.
void read_aquatic_env_file(aquatic_env_tables& t, const char* path, run_state& rs);

// The stream ID map of the tables once the channel network is known: every
// node starts at ID 1, then takes the map's ID of its link; a map that does
// not open or does not fit the network leaves the 1s without a message.
void read_aquatic_stream_ids(aquatic_env_tables& t, const run_state& rs);
