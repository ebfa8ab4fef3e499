#include "quality/nutrient_aquatic.h"
#include <cstdio>
#include <cstring>
#include <strings.h>
#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "input/map_reader.h"
#include "input/mapping_table.h"
#include "input/stream_mapping.h"
#include "run/run_state.h"

namespace {

constexpr const char* kHeaderWord = "AQUATIC_ENV_NSM10";

// Positions of the values on the ten lines of an ID block: pairs of lines
// interleave over a stretch (even positions first), lines 9 and 10 run on.
struct block_line {
    int count;   // values on the line
    int first;   // position of the first value
    int stride;  // step between positions
};
constexpr block_line kBlockLines[10] = {
    {7, 0, 2},  {7, 1, 2},  {4, 14, 2}, {4, 15, 2}, {4, 22, 2},
    {4, 23, 2}, {7, 30, 2}, {7, 31, 2}, {4, 44, 1}, {4, 48, 1},
};

bool starts_with(const char* text, const char* word) {
    return std::strncmp(text, word, std::strlen(word)) == 0;
}

bool blank(const char* text) {
    for (; *text != '\0'; ++text)
        if (*text != ' ' && *text != '\t' && *text != ',') return false;
    return true;
}

// Line reader that counts the lines of the file from 1.
struct counted_reader {
    file_object& f;
    text_line line;
    int number = 0;   // number of the line last read
    bool next() {
        if (!read_line(line, f)) return false;
        ++number;
        return true;
    }
    void rewind() {
        std::rewind(f.handle);
        number = 0;
    }
};

bool fail_at(const counted_reader& in, const char* what) {
    std::printf("Error: in the aquatic environment file %s, line %d: %s.\n", in.f.name, in.number, what);
    set_error(kErrorPrinted);
    return false;
}

// The second word of the line as a text.
std::string second_word_of(char* line) {
    char token[kTokenSize];
    char* cursor = line;
    if (!next_word_at(cursor, token) || !next_word_at(cursor, token)) return "";
    return token;
}

// Scans for the OV_MAP and ST_MAP lines; stops at the second keyword line met.
void find_map_names(counted_reader& in, aquatic_env_tables& t) {
    in.rewind();
    int met = 0;
    while (met < 2 && in.next()) {
        if (starts_with(in.line.data(), "OV_MAP")) {
            t.ov_map = second_word_of(in.line.data());
            ++met;
        } else if (starts_with(in.line.data(), "ST_MAP")) {
            t.st_map = second_word_of(in.line.data());
            ++met;
        }
    }
}

// Leaves the reader just after the first NUM_IDS line. A file without one
// is refused: where its blocks begin and how many IDs they may use is unknown.
bool find_id_count(counted_reader& in, aquatic_env_tables& t) {
    in.rewind();
    t.num_ids = 0;
    while (in.next()) {
        if (!starts_with(in.line.data(), "NUM_IDS")) continue;
        char token[kTokenSize];
        char* cursor = in.line.data();
        next_word_at(cursor, token);
        // The IDs are those of an index map (1..kMaxTableId): a larger count
        // would only size a table no map can use.
        input_place at;
        at.kind = "aquatic environment file";
        at.path = in.f.name;
        at.line = in.number;
        return read_int_at(cursor, {"number of IDs", closed_range(0, kMaxTableId)}, at, t.num_ids);
    }
    std::printf("Error: the aquatic environment file %s has no NUM_IDS line.\n", in.f.name);
    set_error(kErrorPrinted);
    return false;
}

// The ten value lines of one ID block; the first is already in the reader.
bool read_block_values(counted_reader& in, std::array<double, kAquaticParams>& values) {
    for (int k = 0; k < 10; ++k) {
        if (k > 0 && !in.next()) {
            ++in.number;
            return fail_at(in, "the file ends inside a block of values (ten lines are needed)");
        }
        const block_line& b = kBlockLines[k];
        for (int i = 0; i < b.count; ++i) {
            double v = 0.0;
            char token[kTokenSize];
            const number_status s = next_checked_double(in.line.data(), v, token);
            if (s != number_status::ok) {
                char what[160];
                std::snprintf(what, sizeof what, "value %d of %d %s", i + 1, b.count,
                              number_status_words(s));
                return fail_at(in, what);
            }
            values[static_cast<size_t>(b.first + i * b.stride)] = v;
        }
    }
    return true;
}

bool read_blocks(counted_reader& in, aquatic_env_tables& t) {
    while (in.next()) {
        if (blank(in.line.data())) continue;
        int id = 0;
        char token[kTokenSize];
        const number_status s = next_checked_int(in.line.data(), id, token);
        if (s != number_status::ok || id < 1) return fail_at(in, "the ID is not a whole number of 1 or more");
        if (id > t.num_ids) {
            char where[kTokenSize + 32];
            std::snprintf(where, sizeof where, "%s, line %d", in.f.name, in.number);
            set_error(78, nullptr, where);
            set_error_numbers(78, id, t.num_ids);
            return false;
        }
        if (!in.next()) {
            ++in.number;
            return fail_at(in, "the file ends before the values of the ID");
        }
        if (starts_with(in.line.data(), "DEFAULT")) continue;
        if (!read_block_values(in, t.params[static_cast<size_t>(id)])) return false;
    }
    return true;
}

}  // namespace

bool read_aquatic_env_table(const char* path, aquatic_env_tables& t) {
    t.file = path;
    std::printf("Reading the aquatic environment file %s.\n", path);
    file_object f;
    if (!open_file_named(f, path, "r")) {
        set_error(76, nullptr, path);
        return false;
    }
    counted_reader in{f, {}, 0};
    if (!in.next() || !starts_with(in.line.data(), kHeaderWord)) {
        set_error(77, kHeaderWord, path);
        close_file_object(f);
        return false;
    }
    find_map_names(in, t);
    bool ok = find_id_count(in, t);
    if (ok) {
        t.params.assign(static_cast<size_t>(t.num_ids) + 1, std::array<double, kAquaticParams>{});
        in.next();   // the title line after NUM_IDS
        ok = read_blocks(in, t);
    }
    close_file_object(f);
    return ok;
}

void read_aquatic_env_file(aquatic_env_tables& t, const char* path, run_state& rs) {
    // A table that failed is reported without reading its map.
    if (!read_aquatic_env_table(path, t)) return;
    t.cells = rs.GNUM;
    file_object map;
    if (t.ov_map.empty() || !open_file_named(map, t.ov_map.c_str(), "r")) {
        set_error(81);
        return;
    }
    t.ov_id.assign(static_cast<size_t>(rs.GNUM) + 1, 0);
    read_map_file(map, t.ov_map.c_str(), kMapCellIds, rs.map_north, rs.map_south, rs.map_east,
                  rs.map_west, rs.map_rows, rs.map_cols, rs.mask, nullptr, nullptr, &t.ov_id,
                  rs.rows, rs.cols);
    close_file_object(map);
}

void read_aquatic_stream_ids(aquatic_env_tables& t, const run_state& rs) {
    const size_t slots = (static_cast<size_t>(rs.maxnodes) + 1) * (static_cast<size_t>(rs.links) + 1);
    t.st_id.assign(slots, 1);
    // "none" names no stream map: every node keeps ID 1.
    if (t.st_map.empty() || strcasecmp(t.st_map.c_str(), "none") == 0) return;
    std::vector<int> ids(slots, 1);
    if (read_stream_map(t.st_map.c_str(), rs.links, rs.maxnodes, rs.nx, ids) == 0) t.st_id.swap(ids);
}
