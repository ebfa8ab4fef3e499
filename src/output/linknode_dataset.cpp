#include "output/linknode_dataset.h"
#include <cstdio>

namespace {

const char* const kHeaderWords[kLinknodeHeaderKinds] = {
    "PLUVO_LINKNODE_STREAM_DEPTH",
    "PLUVO_LINKNODE_STREAM_FLOW",
    "PLUVO_LINKNODE_STREAM_STAGE",
    "PLUVO_LINKNODE_STREAM_VELOCITY",
    "PLUVO_LINKNODE_FLOOD_STREAM_DEPTH",
    "PLUVO_LINKNODE_SUPERLINK_FLOW",
    "PLUVO_LINKNODE_SUPERLINK_HEAD",
    "PLUVO_LINKNODE_SUPERLINK_TILE_FLOW",
    "PLUVO_LINKNODE_NO2_MASS",
    "PLUVO_LINKNODE_NO3_MASS",
    "PLUVO_LINKNODE_NH4_MASS",
    "PLUVO_LINKNODE_ON_MASS",
    "PLUVO_LINKNODE_OP_MASS",
    "PLUVO_LINKNODE_DP_MASS",
    "PLUVO_LINKNODE_ALG_MASS",
    "PLUVO_LINKNODE_CBOD_MASS",
    "PLUVO_LINKNODE_DO_MASS",
    "PLUVO_LINKNODE_NO2_CONC",
    "PLUVO_LINKNODE_NO3_CONC",
    "PLUVO_LINKNODE_NH4_CONC",
    "PLUVO_LINKNODE_ON_CONC",
    "PLUVO_LINKNODE_OP_CONC",
    "PLUVO_LINKNODE_DP_CONC",
    "PLUVO_LINKNODE_ALG_CONC",
    "PLUVO_LINKNODE_CBOD_CONC",
    "PLUVO_LINKNODE_DO_CONC",
    "PLUVO_LINKNODE_MASS",
    "PLUVO_LINKNODE_CONCENTRATION",
    "PLUVO_LINKNODE_TOTAL_NITROGEN",
    "PLUVO_LINKNODE_TOTAL_KJELDAHL_NITROGEN",
    "PLUVO_LINKNODE_TOTAL_PHOSPHORUS",
    "PLUVO_LINKNODE_STREAM_SED_FLUX",
};

const char kEmptyEntry[] = "0  -999.999   ";

// Element i of an optional per-link or per-lake vector; 0 when absent or outside.
int int_at(const std::vector<int>* v, int i) {
    if (v == nullptr || i < 0 || static_cast<size_t>(i) >= v->size()) return 0;
    return (*v)[static_cast<size_t>(i)];
}

double double_at(const std::vector<double>* v, int i) {
    if (v == nullptr || i < 0 || static_cast<size_t>(i) >= v->size()) return 0.0;
    return (*v)[static_cast<size_t>(i)];
}

// Value of a channel node written in the given mode.
double node_entry_value(const linknode_step_args& a, int node, int link) {
    const double first = a.first ? node_grid_value(*a.first, node, link) : 0.0;
    if (a.mode == kLinknodePlain) return first;
    const double second = a.second ? node_grid_value(*a.second, node, link) : 0.0;
    if (a.mode == kLinknodeRatio) {
        // Velocity: a dry node (area not above the threshold) has none.
        return second > kLinknodeMinDivisor ? first / second : 0.0;
    }
    return first - second;
}

void size_values(linknode_dataset& d) {
    d.values.assign(static_cast<size_t>(d.stride > 0 ? d.stride + 1 : 1),
                    std::vector<double>(static_cast<size_t>(d.links > 0 ? d.links + 1 : 1), 0.0));
    d.lake_values.release();
    if (d.lake_count > 0) d.lake_values.grow(d.lake_count);
}

// Binds the source of kind 1 (flat_source) or 2 (grid_source; the other one
// is null) with the network arrays it is written along.
void bind_source(linknode_dataset& d, int header_kind, int source_kind,
                 const std::vector<double>* flat_source, const node_grid* grid_source,
                 const std::vector<int>* node_limit, const std::vector<int>* listed_nodes,
                 const std::vector<int>* link_types, const std::vector<int>* lake_index,
                 const std::vector<double>* lake_source, int lake_count, int links, int stride) {
    d.source_kind = source_kind;
    d.flat_source = flat_source;
    d.grid_source = grid_source;
    d.header_kind = header_kind;
    d.node_limit = node_limit;
    d.listed_nodes = listed_nodes;
    d.link_types = link_types;
    d.lake_index = lake_index;
    d.lake_source = lake_source;
    d.lake_count = lake_count > 0 ? lake_count : 0;
    d.links = links > 0 ? links : 0;
    d.stride = stride > 0 ? stride : 0;
    size_values(d);
}

}  // namespace

const char* linknode_header_word(int kind) {
    if (kind < 0 || kind >= kLinknodeHeaderKinds) return nullptr;
    return kHeaderWords[kind];
}

double node_grid_value(const node_grid& grid, int node, int link) {
    if (!grid.has(node, link)) return 0.0;
    return grid(static_cast<size_t>(node), static_cast<size_t>(link));
}

void write_linknode_header(file_object& f, int kind, int links, int time_step, int num_ts, int day,
                           int month, int year, int hour, int minute) {
    if (!f.is_open()) return;
    const char* word = linknode_header_word(kind);
    if (word != nullptr) std::fprintf(f.handle, "%s\n", word);
    std::fprintf(f.handle, "NUM_LINKS     %d\n", links);
    std::fprintf(f.handle, "TIME_STEP     %d\n", time_step);
    std::fprintf(f.handle, "NUM_TS        %d\n", num_ts);
    std::fprintf(f.handle, "START_TIME    %2d %2d %4d %2d %2d %2d\n", day, month, year, hour, minute,
                 0);
}

void write_linknode_step(file_object& f, const linknode_step_args& a) {
    if (!f.is_open()) return;
    FILE* out = f.handle;
    std::fprintf(out, "TS    %d\n", a.step_number);
    for (int i = 1; i <= a.links; ++i) {
        const int type = int_at(a.link_types, i);
        if (type & kLinkLakeBit) {
            if (a.mode == kLinknodeDifference || a.mode == kLinknodeRatio) {
                std::fprintf(out, "-1 %6.5lf   ",
                             a.scale * double_at(a.lake_values, int_at(a.lake_index, i)));
            } else {
                std::fputs(kEmptyEntry, out);
            }
        }
        if (type & kLinkStructureBit) {
            if (a.mode == kLinknodePlain) {
                std::fprintf(out, "-2  %6.5lf   ",
                             a.scale * (a.first ? node_grid_value(*a.first, 1, i) : 0.0));
            } else {
                std::fputs(kEmptyEntry, out);
            }
        }
        if (type & kLinkChannelBits) {
            const int limit = int_at(a.node_limit, i);
            const int entries = a.listed_nodes ? int_at(a.listed_nodes, i) : limit;
            std::fprintf(out, "%d   ", entries);
            for (int j = 1; j <= entries; ++j) {
                if (j > limit) {
                    std::fputs(kEmptyEntry, out);
                } else {
                    std::fprintf(out, "1  %6.5lf   ", a.scale * node_entry_value(a, j, i));
                }
            }
        }
        std::fputc('\n', out);
    }
    std::fputc('\n', out);
}

void write_superlink_linknode_step(file_object& f, int step_number, int links,
                                   const std::vector<int>& entries, const node_grid& values,
                                   double scale) {
    if (!f.is_open()) return;
    FILE* out = f.handle;
    std::fprintf(out, "TS    %d\n", step_number);
    for (int l = 1; l <= links; ++l) {
        const int n = int_at(&entries, l);
        std::fprintf(out, "%d   ", n);
        for (int k = 1; k <= n; ++k) {
            std::fprintf(out, "1  %6.5lf   ", scale * node_grid_value(values, l, k));
        }
        std::fputc('\n', out);
    }
    std::fputc('\n', out);
}

linknode_dataset::linknode_dataset() { lake_values.set_name("linknode lake values"); }

linknode_dataset::~linknode_dataset() { free_linknode_dataset(*this); }

void init_linknode_dataset(linknode_dataset& d) {
    close_file_object(d.file);
    d.ts_count = 0;
    d.source_kind = -1;
    d.flat_source = nullptr;
    d.grid_source = nullptr;
    d.header_kind = 0;
    d.links = 0;
    d.node_limit = nullptr;
    d.listed_nodes = nullptr;
    d.link_types = nullptr;
    d.lake_index = nullptr;
    d.lake_source = nullptr;
    d.values.clear();
    d.stride = 0;
    d.factor = 1.0;
    d.lake_count = 0;
    d.lake_values.release();
    d.range_error = 0;
}

void bind_linknode_dataset_1d(linknode_dataset& d, int header_kind,
                              const std::vector<double>* flat_source,
                              const std::vector<int>* node_limit,
                              const std::vector<int>* listed_nodes,
                              const std::vector<int>* link_types,
                              const std::vector<int>* lake_index,
                              const std::vector<double>* lake_source, int lake_count, int links,
                              int stride) {
    bind_source(d, header_kind, 1, flat_source, nullptr, node_limit, listed_nodes, link_types,
                lake_index, lake_source, lake_count, links, stride);
}

void bind_linknode_dataset_2d(linknode_dataset& d, int header_kind, const node_grid* grid_source,
                              const std::vector<int>* node_limit,
                              const std::vector<int>* listed_nodes,
                              const std::vector<int>* link_types,
                              const std::vector<int>* lake_index,
                              const std::vector<double>* lake_source, int lake_count, int links,
                              int stride) {
    bind_source(d, header_kind, 2, nullptr, grid_source, node_limit, listed_nodes, link_types,
                lake_index, lake_source, lake_count, links, stride);
}

void open_linknode_dataset_files(linknode_dataset& d, const char* folder, const char* name,
                                 const char* suffix, double factor) {
    d.factor = factor;
    char path[1024];
    std::snprintf(path, sizeof(path), "%s%s%s", folder ? folder : "", name ? name : "",
                  suffix ? suffix : "");
    if (!open_file_object(d.file, path, "w")) {
        std::printf("Error: unable to open file %s\n", path);
        return;
    }
    write_linknode_header(d.file, d.header_kind, d.links, 15, 15, 0, 0, 0, 0, 0);
}

void write_linknode_dataset_step(linknode_dataset& d) {
    // A factor of 0 would turn every value into an infinity; it scales nothing instead.
    const double factor = d.factor != 0.0 ? d.factor : 1.0;
    for (int i = 1; i <= d.links; ++i) {
        const int type = int_at(d.link_types, i);
        if (type & kLinkChannelBits) {
            const int listed = int_at(d.listed_nodes, i);
            const int limit = int_at(d.node_limit, i);
            for (int j = 1; j <= listed; ++j) {
                if (static_cast<size_t>(j) >= d.values.size() ||
                    static_cast<size_t>(i) >= d.values[static_cast<size_t>(j)].size()) {
                    d.range_error = 1;
                    continue;
                }
                double value = 0.0;
                if (d.source_kind == 1) {
                    value = double_at(d.flat_source, i * d.stride + j) / factor;
                } else if (d.source_kind == 2 && d.grid_source != nullptr) {
                    value = node_grid_value(*d.grid_source, j, i) * factor;
                }
                if (j >= limit) value = 0.0;
                d.values[static_cast<size_t>(j)][static_cast<size_t>(i)] = value;
            }
        } else if (type & kLinkLakeBit) {
            // A dataset bound without lake values (the constituent datasets)
            // keeps none; its lake links are written empty.
            const int lake = int_at(d.lake_index, i);
            if (lake >= 1 && lake <= d.lake_count) d.lake_values[lake] = double_at(d.lake_source, lake) / factor;
        } else if (type & kLinkStructureBit) {
            if (d.values.size() > 1 && static_cast<size_t>(i) < d.values[1].size()) d.values[1][static_cast<size_t>(i)] = 0.0;
        }
    }
    if (d.file.is_open()) {
        linknode_step_args a;
        a.links = d.links;
        a.node_limit = d.node_limit;
        a.listed_nodes = d.listed_nodes;
        a.link_types = d.link_types;
        a.step_number = d.ts_count;
        a.first = &d.values;
        a.mode = kLinknodePlain;
        a.lake_index = d.lake_index;
        write_linknode_step(d.file, a);
    } else {
        std::printf("Error writing to link/node file...\n");
    }
    ++d.ts_count;
}

void free_linknode_dataset(linknode_dataset& d) {
    if (d.file.is_open()) close_file_object(d.file);
    if (d.range_error) {
        std::printf("Error: bad range addressed in array %s\n", "linknode values");
        d.range_error = 0;
    }
    d.lake_values.release();
    d.values.clear();
    d.values.shrink_to_fit();
}
