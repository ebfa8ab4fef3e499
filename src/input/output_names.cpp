// Outputs never overwrite inputs: every output name of the run is resolved to
// the file it would open and compared with the files of every input name, as
// files (links and different spellings of one path are the same file); no
// two outputs may resolve to one file either. Every output finds a folder
// that takes it: a missing folder is made one level deep, before the names
// are compared. The check runs once the cards are read and before the first
// output is opened, so a refused run leaves every file as it was.
#include "input/output_names.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "input/cards.h"
#include "run/run_state.h"

namespace {

constexpr int kNameSize = 1024;   // size of a resolved name, including the NUL

// Origins of names that no card gives.
const char kProjectFile[] = "(project file)";
const char kFixedName[] = "(fixed name)";

// A file name with the card that gave it (keyword as in the card table).
struct named_file {
    std::string card;
    std::string name;
    int prefix = -1;   // written with (1) or without (0) the run-number prefix; -1: as the run writes
};

// Files of the study being made, if any (see set_study_files).
std::vector<study_file> g_study_inputs, g_study_outputs;

// Cards whose file is written.
const char* const kOutputCards[] = {
    "summary", "outlet_hydro", "sig_outlet_hydro", "zov_hydro", "cell_hydro", "daily_output",
    "lake_output", "overland_depths", "overland_wse", "out_hyd_location", "out_gwflux_location",
    "out_celldepdis_location", "out_dep_location", "out_theta_location", "dis_profile_out",
    "wat_surf_profile_out", "chan_depth", "chan_sed_flux", "chan_discharge", "chan_stage",
    "chan_velocity", "flood_stream", "write_ov_hotstart", "write_sm_hotstart", "gw_well_level",
    "outlet_sed_flux", "outlet_sed_tss", "out_tss_loc", "out_sed_loc", "out_con_location",
    "out_mass_location", "optimize", "pipe_flow", "pipe_head", "pipe_tile",
    "superlink_junc_flow", "superlink_node_flow", "k4_input", "k4_segment_fluxes",
    "xybdyoutput_ovdep", "xybdyoutput_gwhead", "xybdyoutput_stflow", "moist_to_vego",
    "ksat_to_vego", "rough_to_vego", "poros_to_vego", "erosivity_to_vego", "crop_fact_to_vego",
    "net_erosion_to_vego",
};

// Map output cards: a file name with the dataset map types, a folder of
// per-time grids with map type 0 (whose files carry a stem and a number).
const char* const kMapCards[] = {
    "depth", "discharge", "inf_depth", "surf_moist", "rate_of_infil", "dis_rain",
    "gw_recharge_cum", "gw_recharge_inc", "gw_output", "flood_grid", "snow_swe_file",
    "snow_temp", "vol_sed_susp", "max_sed_flux", "net_sed_volume", "ov_con_map",
    "total_ov_n", "total_ov_p", "total_chan_n", "total_chan_kn", "total_chan_p",
};

// Map cards that name a folder of per-time grids with map type 0 (the other
// map cards name one file then, or nothing written).
const char* const kMapFolderCards[] = {
    "depth", "discharge", "inf_depth", "surf_moist", "rate_of_infil", "dis_rain",
    "gw_recharge_cum", "gw_recharge_inc", "gw_output", "snow_swe_file", "snow_temp",
    "max_sed_flux", "net_sed_volume", "total_ov_n", "total_ov_p",
};

// Map cards that name one file with map type 0 as with the dataset types.
const char* const kMapFileCards[] = {"flood_grid", "total_chan_n", "total_chan_kn", "total_chan_p"};

// Name cards that are neither: folders, and the shared base names of the
// channel hotstarts (their files, base + suffix, are added by name).
const char* const kOtherCards[] = {
    "project_folder", "explic_backwater", "write_chan_hotstart", "explic_hotstart",
    "read_chan_hotstart", "vego",
};

bool listed(const char* keyword, const char* const* list, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        if (std::strcmp(keyword, list[k]) == 0) return true;
    }
    return false;
}

template <size_t N>
bool listed(const char* keyword, const char* const (&list)[N]) {
    return listed(keyword, list, N);
}

std::string upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

void add(std::vector<named_file>& files, const std::string& card, const char* name, int prefix = -1) {
    if (name != nullptr && name[0] != '\0') files.push_back({card, name, prefix});
}

// Every name card of the table, sorted into inputs and outputs; with map
// type 0 the folders of per-time grids go to `folders` when it is given.
void add_card_names(run_state& rs, std::vector<named_file>& inputs,
                    std::vector<named_file>& outputs, std::vector<named_file>* folders = nullptr) {
    const bool map_files = rs.settings.map_type != 0;
    int count = 0;
    const card_entry* table = card_table(&count);
    for (int k = 0; k < count; ++k) {
        const card_entry& e = table[k];
        if (e.field.kind != field_kind::name || !e.field.present()) continue;
        if (listed(e.keyword, kOtherCards)) continue;
        const char* name = static_cast<const char*>(
            card_field_address(e.field, rs.cards, rs.settings, rs.rain_cards));
        if (listed(e.keyword, kOutputCards)) {
            add(outputs, e.keyword, name);
        } else if (listed(e.keyword, kMapCards)) {
            if (map_files || listed(e.keyword, kMapFileCards)) {
                add(outputs, e.keyword, name);
            } else if (folders != nullptr && listed(e.keyword, kMapFolderCards)) {
                add(*folders, e.keyword, name);
            }
        } else {
            add(inputs, e.keyword, name);
        }
    }
}

// The files of the nutrient sub-model's cards: the aquatic environment file,
// the initial-value maps, and the outlet hydrograph and stream outputs, each
// written as its name with ".conc" and ".mass" appended.
void add_nutrient_names(const project_cards& c, std::vector<named_file>& inputs,
                        std::vector<named_file>& outputs) {
    const nsm_model* m = c.nsm.get();
    if (m == nullptr) return;
    add(inputs, "aq_env", m->aq_env);
    for (int s = 0; s < kNsmOverlandSpecies; ++s)
        if (m->ov_init_mode[s] == kNsmInitMap) add(inputs, "nutrient overland initial map", m->ov_init_file[s]);
    for (int s = 0; s < kNsmSpecies; ++s) {
        if (m->st_init_mode[s] == kNsmInitMap) add(inputs, "nutrient stream initial map", m->st_init_file[s]);
        for (const char* suffix : {".conc", ".mass"}) {
            if (m->out_hyd_given[s] && m->out_hyd_file[s][0] != '\0')
                add(outputs, "nutrient outlet hydrograph", (std::string(m->out_hyd_file[s]) + suffix).c_str());
            if (m->out_st_given[s] && m->out_st_file[s][0] != '\0')
                add(outputs, "nutrient stream output", (std::string(m->out_st_file[s]) + suffix).c_str());
        }
    }
}

// Inputs and outputs named by the program itself or derived from a card.
void add_derived_names(run_state& rs, std::vector<named_file>& inputs,
                       std::vector<named_file>& outputs) {
    const run_files& n = rs.files;
    const project_cards& c = rs.cards;
    add(inputs, kProjectFile, rs.project_file);
    for (const auto& acted : c.acted_files) add(inputs, acted.first, acted.second.c_str());
    const char* read_hotstart = c.read_chan_hotstart_given ? "read_chan_hotstart" : "explic_hotstart";
    if (c.explic_hotstart_given || c.read_chan_hotstart_given) {
        add(inputs, read_hotstart, n.chan_depth_hotstart_in);
        add(inputs, read_hotstart, n.chan_discharge_hotstart_in);
    }
    const char* write_hotstart =
        c.write_chan_hotstart_given ? "write_chan_hotstart" : "explic_backwater";
    if (c.explic_backwater_given || c.write_chan_hotstart_given) {
        add(outputs, write_hotstart, n.chan_depth_hotstart_out);
        add(outputs, write_hotstart, n.chan_discharge_hotstart_out);
    }
    add_nutrient_names(c, inputs, outputs);
    // Files of fixed name, each under the options that write it.
    add(outputs, kFixedName, "maskmap");
    if (rs.inf_layered_soil || rs.inf_richards || rs.inf_redist) add(outputs, kFixedName, "evap_out");
    if (rs.chan_explic) {
        add(outputs, kFixedName, "short_links.out");
        add(outputs, kFixedName, "bad_thalweg.out");
    }
    if (rs.channel_sediment) add(outputs, kFixedName, "new_bed_elevations.txt");
    if (rs.superlink) add(outputs, kFixedName, "superlink_flows.out");
    if (rs.gw_simulation) {
        add(outputs, kFixedName, "hotstart_file");
        if (rs.write_satsource_map) add(outputs, kFixedName, "satsource_file");
    }
    if (rs.qrm_host && rs.qrm_mode && rs.qrm_event_num <= 0)
        add(outputs, kFixedName, "exchange/QRM_PRECIP.SUM");
    if (c.vego_given) add(outputs, "vego", n.vego_file);   // the control file, "exchange/" + name
    if (rs.calibration_run && n.optimize[0] == '\0') add(outputs, "optimize", "pluvo_optim.out");
    add(outputs, kFixedName, "out_time.out");
    // The study this run is a trial of: its own inputs and outputs.
    for (const study_file& f : g_study_inputs) add(inputs, f.origin, f.name.c_str());
    for (const study_file& f : g_study_outputs) add(outputs, f.origin, f.name.c_str(), f.prefixed ? 1 : 0);
}

// Message when the output folder cannot take files; false then.
bool output_folder_usable() {
    char folder[kNameSize];
    const char* problem = output_folder_problem(folder);
    if (problem == nullptr) return true;
    std::printf("Error: card OUTPUT_FOLDER: the output folder %s %s\n",
                folder[0] != '\0' ? folder : ".", problem);
    set_error(kErrorPrinted);
    return false;
}

// How a message names the origin of a file name.
std::string card_text(const std::string& card) {
    if (card == kProjectFile) return "the project file";
    if (card == kFixedName) return "the program (fixed name)";
    // Origins that are not card keywords hold a blank ("the SCE input file", ...).
    if (card.find(' ') != std::string::npos) return card;
    return "card " + upper(card);
}

// True when two planned output paths name one file: the same file when both
// exist (links included), else the same path once resolved (an output not
// yet written has no file to compare).
bool same_output_file(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code ec_a, ec_b;
    if (fs::exists(a, ec_a) && fs::exists(b, ec_b)) {
        std::error_code ec;
        return fs::equivalent(a, b, ec) && !ec;
    }
    const fs::path ra = fs::weakly_canonical(fs::absolute(a, ec_a), ec_a);
    const fs::path rb = fs::weakly_canonical(fs::absolute(b, ec_b), ec_b);
    return !ec_a && !ec_b && ra == rb;
}

// Message and code kErrorPrinted when two outputs would write one file (the
// later would overwrite the earlier). No two outputs of the run share a file
// by design (the run-time log "out_time.out" is the one file appended to, and
// only by the program).
void check_outputs_distinct(const std::vector<named_file>& outputs) {
    std::vector<std::string> paths(outputs.size());
    for (size_t k = 0; k < outputs.size(); ++k) {
        char path[kNameSize];
        if (planned_path(outputs[k].name.c_str(), "w", path, outputs[k].prefix)) paths[k] = path;
    }
    for (size_t k = 0; k < outputs.size(); ++k) {
        if (paths[k].empty()) continue;
        for (size_t j = 0; j < k; ++j) {
            if (paths[j].empty() || !same_output_file(paths[k], paths[j])) continue;
            std::printf("Error: %s names the output file %s, which is also the output file %s of "
                        "%s; two outputs never write one file\n",
                        card_text(outputs[k].card).c_str(), outputs[k].name.c_str(),
                        outputs[j].name.c_str(), card_text(outputs[j].card).c_str());
            set_error(kErrorPrinted);
            return;
        }
    }
}

// Stands for any per-time grid file in a map folder: the place of the file
// decides, not its name.
const char kMapFolderFile[] = "depth.0001.asc";

bool make_folder(const std::string& folder, const std::string& card) {
    if (mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        set_error(353, card_text(card).c_str(), folder.c_str());
        return false;
    }
    print_message("made the folder %s for the output of %s\n", folder.c_str(),
                  card_text(card).c_str());
    return true;
}

// Every output must find a folder that takes files: a missing folder whose
// parent takes files is made (one level, as for OUTPUT_FOLDER, which is made
// first); anything else is refused (code 350 to 352, naming the card and the
// folder). Every output is looked at before any folder is made, so a run
// refused here makes none. A map card of map type 0 names the folder itself.
bool make_output_folders(const std::vector<named_file>& outputs,
                         const std::vector<named_file>& folders) {
    struct checked {
        std::string card;
        std::string path;   // a file the output writes
        int prefix;         // as named_file::prefix
    };
    std::vector<checked> all;
    for (const named_file& o : outputs) all.push_back({o.card, o.name, o.prefix});
    for (const named_file& f : folders) {
        const char last = f.name.back();
        const bool ends_in_separator = last == '/' || last == '\\';
        all.push_back({f.card, f.name + (ends_in_separator ? "" : "/") + kMapFolderFile, f.prefix});
    }

    // The output folder is made at the first file written in any case.
    char out_folder[kNameSize];
    std::error_code ec;
    const bool make_out_folder = output_folder_problem(out_folder) == nullptr &&
                                 out_folder[0] != '\0' &&
                                 !std::filesystem::exists(out_folder, ec);
    std::string out_folder_text = out_folder;
    while (out_folder_text.size() > 1 && out_folder_text.back() == kFolderSeparator) {
        out_folder_text.pop_back();
    }

    std::vector<named_file> to_make;   // card, folder
    for (const checked& c : all) {
        char folder[kNameSize];
        output_place place = output_file_place(c.path.c_str(), folder, c.prefix);
        std::string parent = folder;
        const size_t cut = parent.find_last_of(kFolderSeparator);
        parent = cut == std::string::npos ? "." : parent.substr(0, cut == 0 ? 1 : cut);
        if (place == output_place::no_parent && make_out_folder && parent == out_folder_text) {
            place = output_place::folder_to_make;
        }
        if (make_out_folder && folder == out_folder_text) place = output_place::ready;
        switch (place) {
            case output_place::ready: continue;
            case output_place::folder_to_make: {
                bool listed_already = false;
                for (const named_file& m : to_make) listed_already = listed_already || m.name == folder;
                if (!listed_already) to_make.push_back({c.card, folder});
                continue;
            }
            case output_place::no_parent: set_error(350, card_text(c.card).c_str(), folder); break;
            case output_place::not_a_folder: set_error(351, card_text(c.card).c_str(), folder); break;
            case output_place::not_writable: set_error(352, card_text(c.card).c_str(), folder); break;
        }
        return false;
    }
    if (make_out_folder && !make_folder(out_folder_text, "output_folder")) return false;
    for (const named_file& m : to_make) {
        if (!make_folder(m.name, m.card)) return false;
    }
    return true;
}

}  // namespace

void check_output_names(run_state& rs) {
    if (!output_folder_usable()) return;

    std::vector<named_file> inputs, outputs, folders;
    add_card_names(rs, inputs, outputs, &folders);
    add_derived_names(rs, inputs, outputs);
    if (!make_output_folders(outputs, folders)) return;

    // The files the inputs are read from (names that find no file are left
    // to their readers, which report them).
    std::vector<std::string> input_paths(inputs.size());
    for (size_t k = 0; k < inputs.size(); ++k) {
        char path[kNameSize];
        if (planned_path(inputs[k].name.c_str(), "r", path)) input_paths[k] = path;
    }
    for (const named_file& out : outputs) {
        char path[kNameSize];
        // An output that would open no file, or a new one, overwrites nothing.
        if (!planned_path(out.name.c_str(), "w", path, out.prefix)) continue;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) continue;
        for (size_t k = 0; k < inputs.size(); ++k) {
            if (input_paths[k].empty()) continue;
            if (!std::filesystem::equivalent(path, input_paths[k], ec) || ec) continue;
            std::printf("Error: %s names the output file %s, which is the input file %s of %s; "
                        "an output never overwrites an input\n",
                        card_text(out.card).c_str(), out.name.c_str(), inputs[k].name.c_str(),
                        card_text(inputs[k].card).c_str());
            set_error(kErrorPrinted);
            return;
        }
    }
    check_outputs_distinct(outputs);
}

bool check_extra_output_name(run_state& rs, const char* origin, const char* name) {
    std::vector<named_file> inputs, outputs;
    add_card_names(rs, inputs, outputs);
    add_derived_names(rs, inputs, outputs);
    char path[kNameSize];
    if (!planned_path(name, "w", path)) return true;   // opens nothing: its opener reports
    std::error_code ec;
    const bool exists = std::filesystem::exists(path, ec);
    for (const named_file& in : inputs) {
        char in_path[kNameSize];
        if (!exists || !planned_path(in.name.c_str(), "r", in_path)) continue;
        if (!std::filesystem::equivalent(path, in_path, ec) || ec) continue;
        std::printf("Error: %s names the output file %s, which is the input file %s of %s; an "
                    "output never overwrites an input\n",
                    origin, name, in.name.c_str(), card_text(in.card).c_str());
        set_error(kErrorPrinted);
        return false;
    }
    for (const named_file& out : outputs) {
        char out_path[kNameSize];
        if (!planned_path(out.name.c_str(), "w", out_path, out.prefix) || !same_output_file(path, out_path))
            continue;
        std::printf("Error: %s names the output file %s, which is also the output file %s of %s; "
                    "two outputs never write one file\n",
                    origin, name, out.name.c_str(), card_text(out.card).c_str());
        set_error(kErrorPrinted);
        return false;
    }
    return true;
}

void set_study_files(const std::vector<study_file>& inputs, const std::vector<study_file>& outputs) {
    g_study_inputs = inputs;
    g_study_outputs = outputs;
}

void clear_study_files() {
    g_study_inputs.clear();
    g_study_outputs.clear();
}
