// Initial values of the nutrient species and parameters in the cells and the
// stream nodes: spatially uniform (the card's number), a continuous map (the
// card's file name) or the mapping table (the card without argument).
#include <cmath>
#include <algorithm>
#include <cstdio>
#include <string>

#include "core/error.h"
#include "core/file_object.h"
#include "core/file_write.h"
#include "input/map_reader.h"
#include "input/mapping_table.h"
#include "input/stream_mapping.h"
#include "input/table_loader.h"
#include "quality/constituent_setup.h"
#include "quality/nutrient_names.h"
#include "quality/nutrients.h"
#include "run/run_state.h"

namespace {

inline size_t ix(int i) { return static_cast<size_t>(i); }

std::string display_name(int slot) {
    char name[64] = "";
    get_constituent_display_name(name, sizeof name, slot, 0);
    return name;
}

// Messages of the overland parameters: the dispersion coefficient has its own.
const char* uniform_line(int slot) {
    return slot == kNsmDispersion ? "Assigning spatially uniform parameters for the overland constituent %s\n"
                                  : "Assigning spatially uniform parameters for the %s constituent\n";
}
const char* table_line(int slot) {
    return slot == kNsmDispersion ? "Assigning parameters for the overland constituent %s from the mapping table.\n"
                                  : "Assigning parameters for the %s constituent from the mapping table.\n";
}
const char* map_line(int slot) {
    return slot == kNsmDispersion ? "Assigning parameters from a continuous map for the overland constituent %s\n"
                                  : "Assigning parameters from a continuous map for the constituent %s\n";
}

// A map file that does not open: the routine's line, then code 80 with the file.
void refuse_map(const char* compartment, const std::string& name, const char* file) {
    char text[2400];
    std::snprintf(text, sizeof text,
                  "Error opening initial condition continuous map file \nfor the %s%s constituent. "
                  "\nGiven filename: %s\n",
                  compartment, name.c_str(), file);
    write_report_text(current_summary_file, text);
    set_error(80, nullptr, file);
    report_error(error_record);
}

// A value the transport cannot use: not finite or below 0.
bool refuse_bad_value(const char* where, const std::string& name, int element, double v) {
    if (std::isfinite(v) && v >= 0.0) return false;
    char text[512];
    std::snprintf(text, sizeof text,
                  "\nError: the initial %s value of %s at %d is %g; it must be a finite number not "
                  "below 0.\n",
                  where, name.c_str(), element, v);
    write_report_text(current_summary_file, text);
    set_error(kErrorPrinted);
    report_error(error_record);
    return true;
}

// Overland mapping-table sections and the slots their columns fill.
struct ov_section {
    int code;
    int first_slot;
    int columns;
};
const ov_section kOvSections[] = {
    {kSecNsmN, kNsmNo2, 4},   {kSecNsmP, kNsmOp, 2},          {kSecNsmC, kNsmDoc, 2},
    {kSecNsmOther, kNsmAlg, 3}, {kSecDispersion, kNsmDispersion, 1},
};

// Stream table kinds and the slots their columns fill (index into rs.stream_sections).
struct st_section {
    int kind;
    int flag;
    int first_slot;
    int columns;
};
const st_section kStSections[] = {
    {kStreamNitrogen, 1, kNsmNo2, 4}, {kStreamPhosphorus, 2, kNsmOp, 2},
    {kStreamOther, 3, kNsmAlg, 3},    {kStreamCarbon, 4, kNsmDoc, 2},
    {kStreamDispersion, 5, kNsmDispersion, 1},
};

bool stream_link(int ltype) { return (ltype & (0x04 | 0x08 | 0x10)) != 0; }

}  // namespace

bool assign_nsm_overland_values(run_state& rs, int slot, int mode, double value, const char* file,
                                const std::vector<double>* table, std::vector<double>& conc,
                                std::vector<double>* mass) {
    const int cells = rs.GNUM;
    const std::string name = display_name(slot);
    if (conc.size() < ix(cells) + 1) conc.resize(ix(cells) + 1, 0.0);
    switch (mode) {
        case kNsmInitUniform:
            print_reading_line(rs, uniform_line(slot), name.c_str());
            for (int j = 1; j <= cells; ++j) conc[ix(j)] = value;
            break;
        case kNsmInitNone:
            if (table == nullptr) {
                set_error(119, name.c_str());
                report_error(error_record);
                return false;
            }
            print_reading_line(rs, table_line(slot), name.c_str());
            for (int j = 1; j <= cells; ++j) conc[ix(j)] = ix(j) < table->size() ? (*table)[ix(j)] : 0.0;
            break;
        case kNsmInitMap: {
            file_object f;
            if (slot >= kNsmDoc) print_reading_line(rs, "Opening file: %s\n", file);
            if (!open_file_named(f, file, "r")) {
                refuse_map(slot == kNsmDispersion ? "overland grid " : "grid ", name, file);
                return false;
            }
            print_reading_line(rs, map_line(slot), name.c_str());
            const bool ok = read_map_file(f, file, kMapCellReals, rs.map_north, rs.map_south,
                                          rs.map_east, rs.map_west, rs.map_rows, rs.map_cols, rs.mask,
                                          &conc, nullptr, nullptr, rs.rows, rs.cols);
            close_file_object(f);
            if (!ok) {
                if (error_record.code > 0) report_error(error_record);
                return false;
            }
            break;
        }
        default:
            return true;   // no card: nothing assigned
    }
    for (int j = 1; j <= cells; ++j)
        if (refuse_bad_value("overland", name, j, conc[ix(j)])) return false;
    if (mass != nullptr) {
        if (mass->size() < ix(cells) + 1) mass->resize(ix(cells) + 1, 0.0);
        const double dx = rs.cell_size;
        for (int j = 1; j <= cells; ++j) {
            const double h = ix(j) < rs.ov_depth.size() ? rs.ov_depth[ix(j)] : 0.0;
            (*mass)[ix(j)] = dx * h * dx * conc[ix(j)];   // g
        }
    }
    return true;
}

bool assign_nsm_overland_params(run_state& rs) {
    nsm_model& m = *rs.nsm;
    const size_t slots = ix(rs.GNUM) + 1;
    // The mapping-table sections first, whatever the modes.
    std::vector<std::vector<double>> table(kNsmOverlandSpecies);
    bool present[kNsmOverlandSpecies] = {};
    for (const ov_section& s : kOvSections) {
        if (!nsm_section_present(rs, s.code)) continue;
        mapping_outputs out{};
        for (int k = 0; k < s.columns; ++k) {
            table[ix(s.first_slot + k)].assign(slots, 0.0);
            out[ix(k)] = &table[ix(s.first_slot + k)];
            present[s.first_slot + k] = true;
        }
        if (!load_mapping_table(rs, rs.files.mapping_table, s.code, out)) return false;
    }
    const int b = rs.first_nsm_constituent;
    for (int i = 0; i < kNsmSpecies; ++i) {
        const size_t c = ix(b + i);
        if (!assign_nsm_overland_values(rs, i, m.ov_init_mode[i], m.ov_init_value[i], m.ov_init_file[i],
                                        present[i] ? &table[ix(i)] : nullptr, rs.con.conc[c],
                                        &rs.con.mass[c]))
            return false;
    }
    std::vector<double>* params[3] = {&m.doc, &m.doc_foc, &m.dispersion};
    for (int p = 0; p < 3; ++p) {
        const int slot = kNsmDoc + p;
        params[p]->assign(slots, 0.0);
        if (!assign_nsm_overland_values(rs, slot, m.ov_init_mode[slot], m.ov_init_value[slot],
                                        m.ov_init_file[slot], present[slot] ? &table[ix(slot)] : nullptr,
                                        *params[p], nullptr))
            return false;
    }
    // The species move with the overland dispersion coefficient of the cell.
    for (int i = 0; i < kNsmSpecies; ++i) rs.con.disp[ix(b + i)] = m.dispersion;
    return true;
}

bool assign_nsm_gw_params(run_state& rs) {
    nsm_model& m = *rs.nsm;
    const int block = nutrient_block_size(rs);
    m.gw_conc.assign(static_cast<size_t>(block), std::vector<double>(ix(rs.GNUM) + 1, 0.0));
    // Section, then the species or pool offset of each column (-1: not kept).
    const struct {
        int code;
        int offsets[4];
    } sections[] = {
        {kSecNsmGwN, {kNsmNo2, kNsmNo3, kNsmNh4, kNsmOn}},
        {kSecNsmGwP, {kNsmOp, kNsmDp, kNsmAlg, -1}},
        // DO, then the first soil-only constituent, which exists only with the soil pools.
        {kSecNsmGwOther, {kNsmDo, block > kNsmSpecies ? kNsmSpecies : -1, -1, -1}},
    };
    for (const auto& s : sections) {
        if (!nsm_section_present(rs, s.code)) continue;
        mapping_outputs out{};
        for (int k = 0; k < 4; ++k)
            if (s.offsets[k] >= 0) out[ix(k)] = &m.gw_conc[ix(s.offsets[k])];
        if (!load_mapping_table(rs, rs.files.mapping_table, s.code, out)) return false;
    }
    return true;
}

bool assign_nsm_stream_values(run_state& rs, int slot, int mode, double value, const char* file,
                              const std::vector<double>* table, std::vector<double>& conc,
                              std::vector<double>* mass) {
    const int stride = rs.maxnodes + 1;
    const size_t slots = ix(stride) * (ix(rs.links) + 1);
    const std::string name = display_name(slot);
    if (conc.size() < slots) conc.resize(slots, 0.0);
    std::vector<double> from_map;
    switch (mode) {
        case kNsmInitUniform:
            print_reading_line(rs, "Assigning spatially uniform parameters for the stream constituent %s\n",
                               name.c_str());
            break;
        case kNsmInitNone:
            if (table == nullptr) {
                set_error(120, name.c_str());
                report_error(error_record);
                return false;
            }
            print_reading_line(rs, "Assigning parameters for the stream constituent %s from the mapping table.\n",
                               name.c_str());
            break;
        case kNsmInitMap: {
            const int r = read_stream_map(file, rs.links, rs.maxnodes, rs.nx, from_map);
            if (r == -1) {
                refuse_map("stream ", name, file);
                return false;
            }
            if (r != 0) {
                char text[1400];
                std::snprintf(text, sizeof text,
                              "\nError: the stream map %s of the %s constituent is not a stream map "
                              "of this channel network.\n",
                              file, name.c_str());
                write_report_text(current_summary_file, text);
                set_error(kErrorPrinted);
                report_error(error_record);
                return false;
            }
            print_reading_line(rs, "Assigning parameters from a continuous map for the stream constituent %s\n",
                               name.c_str());
            break;
        }
        default:
            return true;
    }
    for (int l = 1; l <= rs.links; ++l) {
        if (!stream_link(rs.ltype[ix(l)])) continue;
        for (int j = 1; j <= rs.nx[ix(l)]; ++j) {
            const size_t f = ix(stride) * ix(l) + ix(j);
            double v = value;
            if (mode == kNsmInitNone) v = f < table->size() ? (*table)[f] : 0.0;
            if (mode == kNsmInitMap) v = f < from_map.size() ? from_map[f] : 0.0;
            if (refuse_bad_value("stream", name, static_cast<int>(f), v)) return false;
            const double volume = rs.dx[ix(l)] * rs.area(ix(j), ix(l));   // m3
            // A dry node holds nothing: a concentration there would carry
            // mass it does not have into the routing.
            const bool dry = mass != nullptr && !(volume > kConDry);
            conc[f] = dry ? 0.0 : v;
            if (mass != nullptr) {
                if (mass->size() < slots) mass->resize(slots, 0.0);
                (*mass)[f] = dry ? 0.0 : volume * v;   // g
            }
        }
    }
    return true;
}

void assign_nsm_stream_params(run_state& rs) {
    if (!rs.nsm_on || rs.nsm == nullptr || rs.first_nsm_constituent < 1) return;
    nsm_model& m = *rs.nsm;
    constituent_channel& cc = rs.con_chan;
    if (cc.stride == 0) return;
    const size_t slots = ix(cc.slots);
    read_aquatic_stream_ids(m.aquatic, rs);
    std::vector<std::vector<double>> table(kNsmOverlandSpecies);
    bool present[kNsmOverlandSpecies] = {};
    for (const st_section& s : kStSections) {
        if (!rs.st_mapping_table_given || !rs.stream_sections[s.flag]) continue;
        stream_outputs out{};
        for (int k = 0; k < s.columns; ++k) {
            table[ix(s.first_slot + k)].assign(slots, 0.0);
            out[ix(k)] = &table[ix(s.first_slot + k)];
            present[s.first_slot + k] = true;
        }
        if (!read_stream_table(rs.files.st_mapping_table, s.kind, out, rs.links, rs.maxnodes, rs.nx))
            return;
    }
    const int b = rs.first_nsm_constituent;
    for (int i = 0; i < kNsmSpecies; ++i) {
        const size_t c = ix(b + i);
        if (!assign_nsm_stream_values(rs, i, m.st_init_mode[i], m.st_init_value[i], m.st_init_file[i],
                                      present[i] ? &table[ix(i)] : nullptr, cc.conc[c], &cc.mass[c]))
            return;
        double total = 0.0;   // g, in link and node order
        for (int l = 1; l <= rs.links; ++l) {
            if (!con_transport_link(rs.ltype[ix(l)])) continue;
            for (int j = 1; j <= rs.nx[ix(l)]; ++j) total += cc.mass[c][ix(cc.stride * l + j)];
        }
        rs.con_tot.chan_init[c] = total / 1000.0;
    }
    // Carbon and dispersion of the streams: the stream table or 0.
    std::vector<double>* params[3] = {&m.st_doc, &m.st_doc_foc, &m.st_dispersion};
    for (int p = 0; p < 3; ++p) {
        const int slot = kNsmDoc + p;
        *params[p] = present[slot] ? table[ix(slot)] : std::vector<double>(slots, 0.0);
    }
    for (int i = 0; i < kNsmSpecies; ++i) cc.disp[ix(b + i)] = m.st_dispersion;
    // The soil pools are not carried in the channels.
    for (int k = kNsmSpecies; k < nutrient_block_size(rs); ++k) {
        std::fill(cc.conc[ix(b + k)].begin(), cc.conc[ix(b + k)].end(), 0.0);
        std::fill(cc.mass[ix(b + k)].begin(), cc.mass[ix(b + k)].end(), 0.0);
    }
    m.st_out.nh3.assign(ix(rs.maxnodes) + 1, ix(rs.links) + 1, 0.0);
    m.st_out.total_n.assign(ix(rs.maxnodes) + 1, ix(rs.links) + 1, 0.0);
    m.st_out.tkn.assign(ix(rs.maxnodes) + 1, ix(rs.links) + 1, 0.0);
    m.st_out.total_p.assign(ix(rs.maxnodes) + 1, ix(rs.links) + 1, 0.0);
}
