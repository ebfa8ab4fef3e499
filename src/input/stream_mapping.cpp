// Stream mapping tables and stream maps.
#include "input/stream_mapping.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "core/text.h"
#include "input/mapping_table.h"

namespace {

// The vocabulary in matching order: ROUGHNESS first, then the nutrient
// tables, the line keywords and DISPERSION.
const stream_table_entry kEntries[] = {
    {kStreamRoughness, "ROUGHNESS", 9, 1, "ROUGHNESS (Stream)", "Roughness"},
    {kStreamNitrogen, "NSM_N", 5, 4, "NSM_N (Stream)", "NSM Nitrogen"},
    {kStreamPhosphorus, "NSM_P", 5, 3, "NSM_P (Stream)", "NSM Phosphorus"},
    {kStreamOther, "NSM_OTH", 6, 3, "NSM_OTH (Stream)", "NSM Other"},
    {kStreamCarbon, "NSM_C", 5, 2, "NSM_C (Stream)", "NSM Carbon"},
    {kStreamNumIds, "NUM_IDS", 7, 0, "NUM_IDS (Stream)", nullptr},
    {kStreamIndexMap, "ST_INDEX_MAP", 9, 0, "ST_INDEX_MAP (Stream)", nullptr},
    {kStreamDispersion, "DISPERSION", 5, 1, "DISPERSION (Stream)", "Dispersion"},
};

const stream_table_entry* entry_of(int kind) {
    for (const stream_table_entry& e : kEntries) {
        if (e.kind == kind) return &e;
    }
    return nullptr;
}

// The start-up check: kinds in check order and the flag each one fills.
struct stream_check {
    int kind;
    int flag;
};
const stream_check kChecks[] = {
    {kStreamRoughness, 0}, {kStreamNitrogen, 1}, {kStreamPhosphorus, 2},
    {kStreamCarbon, 4},    {kStreamOther, 3},    {kStreamDispersion, 5},
};

// The network is usable: links >= 1, node counts for links 1..links in
// 0..max_nodes, and the flat size addressable.
bool network_ok(int links, int max_nodes, const std::vector<int>& nodes_per_link) {
    if (links < 1 || max_nodes < 1) return false;
    if (nodes_per_link.size() < static_cast<size_t>(links) + 1) return false;
    if (static_cast<double>(max_nodes + 1) * (links + 1) > 2.0e9) return false;
    for (int l = 1; l <= links; ++l) {
        int n = nodes_per_link[static_cast<size_t>(l)];
        if (n < 0 || n > max_nodes) return false;
    }
    return true;
}

// Next white-space separated token of the file (at most 63 characters; a
// longer one is taken whole and refused as a value).
bool next_token(FILE* h, char* token) {
    char longer[kTokenSize];
    const int n = read_stream_token(h, longer, kTokenSize);
    if (n < 0) return false;
    if (n > 63) {
        token[0] = '\0';   // no number of a stream map is that long
        return true;
    }
    std::memcpy(token, longer, static_cast<size_t>(n) + 1);
    return true;
}

// Reads a stream map: the header, then one value per link stored at every
// node of the link through `store(index, token)`, which returns false for an
// unreadable value.
template <class Store>
int read_stream_map_with(const char* path, int links, int max_nodes,
                         const std::vector<int>& nodes_per_link, Store store) {
    if (!network_ok(links, max_nodes, nodes_per_link)) return -3;
    file_object f;
    if (!open_file_named(f, path, "r")) return -1;
    text_line line;
    if (!read_line(line, f) || std::strncmp(line, "STREAM_MAP", 10) != 0) {
        close_file_object(f);
        return -2;
    }
    char keyword[64];
    char token[64];
    int count = 0;
    if (!next_token(f.handle, keyword) || !next_token(f.handle, token) ||
        parse_int_token(token, count) != number_status::ok) {
        close_file_object(f);
        return -2;
    }
    if (count != links) {
        close_file_object(f);
        return -3;
    }
    for (int l = 1; l <= links; ++l) {
        if (!next_token(f.handle, token)) {
            close_file_object(f);
            return -4;
        }
        for (int j = 1; j <= nodes_per_link[static_cast<size_t>(l)]; ++j) {
            if (!store(stream_index(max_nodes, l, j), token)) {
                close_file_object(f);
                return -4;
            }
        }
        if (nodes_per_link[static_cast<size_t>(l)] == 0 && !store(0, token)) {
            close_file_object(f);
            return -4;
        }
    }
    close_file_object(f);
    return 0;
}

}  // namespace

const stream_table_entry* stream_table_entries(int* count) {
    if (count != nullptr) *count = static_cast<int>(sizeof(kEntries) / sizeof(kEntries[0]));
    return kEntries;
}

int stream_table_kind(const char* line) {
    if (line == nullptr) return 0;
    for (const stream_table_entry& e : kEntries) {
        if (std::strncmp(line, e.keyword, static_cast<size_t>(e.match_length)) == 0) return e.kind;
    }
    return 0;
}

const char* stream_table_title(int kind) {
    const stream_table_entry* e = entry_of(kind);
    return e ? e->title : "";
}

int stream_values_per_id(int kind) {
    const stream_table_entry* e = entry_of(kind);
    return e ? e->values : 0;
}

int stream_max_nodes(const run_state& rs) {
    int largest = 0;
    for (int l = 1; l <= rs.links && static_cast<size_t>(l) < rs.nx.size(); ++l) {
        if (rs.nx[static_cast<size_t>(l)] > largest) largest = rs.nx[static_cast<size_t>(l)];
    }
    return largest;
}

int find_stream_table(file_object& table, int kind, std::string& map_file) {
    map_file.clear();
    if (!table.is_open()) return 0;
    text_line line;
    if (!read_line(line, table) ||
        std::strncmp(line, "PLUVO_STREAM_INDEX_MAP_TABLES", kStreamHeaderLength) != 0) {
        return 0;
    }
    std::vector<index_map_entry> list;
    bool have = read_line(line, table) != 0;
    while (have && stream_table_kind(line) == kStreamIndexMap) {
        index_map_entry entry;
        if (parse_index_map_line(line, entry)) list.push_back(entry);
        have = read_line(line, table) != 0;
    }
    while (have && stream_table_kind(line) != kind) have = read_line(line, table) != 0;
    if (!have) return 0;
    const index_map_entry* entry = find_index_map_entry(list, section_map_name(line));
    if (entry == nullptr) return 0;
    map_file = entry->file;
    return 1;
}

int read_stream_num_ids(file_object& table) {
    text_line line;
    if (!read_line(line, table)) return 0;
    if (stream_table_kind(line) != kStreamNumIds) return 0;
    return count_after_keyword(line);
}

void check_stream_table(int& flag, file_object& table, int kind, const char* label) {
    flag = 0;
    if (table.is_open()) {
        std::rewind(table.handle);
        std::string map_file;
        if (find_stream_table(table, kind, map_file)) {
            file_object map;
            flag = open_file_named(map, map_file.c_str(), "r") ? 1 : 0;
            close_file_object(map);
        }
    }
    print_check_line(label, flag);
}

void check_stream_tables(const char* path, int* flags) {
    file_object f;
    if (!open_file_named(f, path, "r")) {
        set_error(64, nullptr, path);
        report_error(error_record);
        return;
    }
    print_message("\nChecking stream mapping table file...\n");
    for (const stream_check& c : kChecks) {
        int flag = 0;
        check_stream_table(flag, f, c.kind, entry_of(c.kind)->label);
        if (flags != nullptr) flags[c.flag] = flag;
    }
    close_file_object(f);
}

int read_stream_map(const char* path, int links, int max_nodes,
                    const std::vector<int>& nodes_per_link, std::vector<int>& ids) {
    size_t size = static_cast<size_t>(max_nodes + 1) * static_cast<size_t>(links + 1);
    if (network_ok(links, max_nodes, nodes_per_link) && ids.size() < size) ids.resize(size, 0);
    return read_stream_map_with(path, links, max_nodes, nodes_per_link,
                                [&ids](size_t index, const char* token) {
                                    int v = 0;
                                    if (parse_int_token(token, v) != number_status::ok) return false;
                                    if (index > 0) ids[index] = v;
                                    return true;
                                });
}

int read_stream_map(const char* path, int links, int max_nodes,
                    const std::vector<int>& nodes_per_link, std::vector<double>& values) {
    size_t size = static_cast<size_t>(max_nodes + 1) * static_cast<size_t>(links + 1);
    if (network_ok(links, max_nodes, nodes_per_link) && values.size() < size) {
        values.resize(size, 0.0);
    }
    return read_stream_map_with(path, links, max_nodes, nodes_per_link,
                                [&values](size_t index, const char* token) {
                                    double v = 0.0;
                                    if (parse_real_token(token, v) != number_status::ok) return false;
                                    if (index > 0) values[index] = v;
                                    return true;
                                });
}

void apply_stream_ids(std::vector<double>& dest, const std::vector<double>& by_id,
                      const std::vector<int>& ids, int links,
                      const std::vector<int>& nodes_per_link, int row_length) {
    for (int l = 1; l <= links && static_cast<size_t>(l) < nodes_per_link.size(); ++l) {
        for (int j = 1; j <= nodes_per_link[static_cast<size_t>(l)]; ++j) {
            size_t index = static_cast<size_t>(row_length) * static_cast<size_t>(l) +
                           static_cast<size_t>(j);
            if (index >= ids.size() || index >= dest.size()) continue;
            int id = ids[index];
            if (id < 1 || static_cast<size_t>(id) > by_id.size()) continue;
            dest[index] = by_id[static_cast<size_t>(id - 1)];
        }
    }
}

int read_stream_table(const char* table_path, int kind, const stream_outputs& dest, int links,
                      int max_nodes, const std::vector<int>& nodes_per_link) {
    const int k = stream_values_per_id(kind);
    if (k < 1) {
        report_table_failure("Error: stream table kind %d has no values to load.\n", kind);
        return 0;
    }
    file_object f;
    if (!open_file_named(f, table_path, "r")) {
        set_error(64, nullptr, table_path);
        report_error(error_record);
        return 0;
    }
    std::string map_file;
    int n = find_stream_table(f, kind, map_file) ? read_stream_num_ids(f) : 0;
    if (n <= 0) {
        close_file_object(f);
        set_error(66, stream_table_title(kind));
        report_error(error_record);
        return 0;
    }
    skip_table_heading(f);
    id_table table;
    int good = read_id_table(f, n, k, stream_table_title(kind), table);
    close_file_object(f);
    if (!good) return 0;

    std::vector<int> ids;
    int result = read_stream_map(map_file.c_str(), links, max_nodes, nodes_per_link, ids);
    if (result < 0) {
        set_error(114 - result, nullptr, map_file.c_str());   // -1..-4 give 115..118
        report_error(error_record);
        return 0;
    }
    // Every map ID must be 0 (keep the value) or a table ID.
    for (int l = 1; l <= links; ++l) {
        int id = ids[stream_index(max_nodes, l, 1)];
        if (nodes_per_link[static_cast<size_t>(l)] == 0 || (id >= 0 && id <= table.largest_id)) {
            continue;
        }
        report_table_failure("Error: stream map %s, link %d: the ID %d is outside 0 to %d, the "
                             "largest ID of the %s table.\n", map_file.c_str(), l, id,
                             table.largest_id, stream_table_title(kind));
        return 0;
    }
    const size_t size = static_cast<size_t>(max_nodes + 1) * static_cast<size_t>(links + 1);
    std::vector<double> by_id;
    for (int c = 1; c <= k; ++c) {
        std::vector<double>* out = dest[static_cast<size_t>(c - 1)];
        if (out == nullptr) continue;
        if (out->size() < size) out->resize(size, 0.0);
        scatter_by_id(table, c, table.largest_id, by_id);
        apply_stream_ids(*out, by_id, ids, links, nodes_per_link, max_nodes + 1);
    }
    return 1;
}

int read_stream_table(run_state& rs, const char* table_path, int kind, const stream_outputs& dest) {
    return read_stream_table(table_path, kind, dest, rs.links, stream_max_nodes(rs), rs.nx);
}
