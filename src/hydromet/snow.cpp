// Snow set-up: the melt parameters of every cell (card values, elevation
// bands, defaults) and the per-cell state of the pack model.
#include "hydromet/snow.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "run/run_state.h"

namespace {

// The ten columns of a band row, in file order.
const char* const kBandColumns[10] = {"Lower_Elevation", "Upper_Elevation", "MF_Min", "MF_Max", "SCF",
                                      "FR_USE",          "TIPM",            "NMF",    "FUA",    "PLWHC"};

// Words of the band file one at a time across lines, with the line number.
struct word_reader {
    word_reader(file_object& file) : f(file) {}
    file_object& f;
    text_line line;
    int line_number = 0;
    bool has_line = false;

    bool next(char* token) {
        for (;;) {
            if (has_line && next_word(line.data(), token)) return true;
            if (!read_line(line, f)) return false;
            ++line_number;
            has_line = true;
        }
    }
};

void print_band_format(const char* path) {
    std::printf("Error reading elevation based NWSRFS snow input parameter file: %s\n\n", path);
    std::printf("The Elevation based NWSRFS input file should have the following format: \n\n");
    std::printf("Number_Bands:\tint(number of elevation bands) \n");
    std::printf("Lower_Elevation\tUpper_Elevation\tMF_Min\tMF_Max\tSCF\tFR_USE\tTIPM\tNMF\tFUA\tPLWHC \n");
    std::printf("0\t##Elev_1\t##\t##\t##\t##\t##\t##\t##\t##\n");
    std::printf("##Elev_1\t##Elev_2\t##\t##\t##\t##\t##\t##\t##\t##\n");
    std::printf("##Elev_2\t##Elev_3\t##\t##\t##\t##\t##\t##\t##\t##\n");
    std::printf("...\t100000000\t##\t##\t##\t##\t##\t##\t##\t##\n");
}

// Physical range of each melt parameter (units of snow_params): melt
// factors of mm/(degree C 6 h) reach a few units, the snow correction factor
// lies near 1, shares and weights are fractions.
number_range parameter_range(const char* name) {
    if (std::strcmp(name, "SCF") == 0) return above_to(0.0, 5.0);
    if (std::strcmp(name, "PLWHC") == 0) return from_below(0.0, 1.0);
    if (std::strcmp(name, "TIPM") == 0 || std::strcmp(name, "FR_USE") == 0)
        return closed_range(0.0, 1.0);
    return closed_range(0.0, 10.0);   // MF_Min, MF_Max, NMF, FUA
}

// A parameter value the melt kernel can work with (nullptr); the reason
// otherwise, in `why`.
const char* bad_parameter(const char* name, double v, char* why, std::size_t size) {
    if (!std::isfinite(v)) return "is not a finite number";
    const number_range range = parameter_range(name);
    if (in_range(v, range)) return nullptr;
    char rule[160];
    describe_range(range, rule, sizeof rule);
    std::snprintf(why, size, "must be %s", rule);
    return why;
}

// Card values over the defaults; false (message printed) for a value the
// melt computation cannot use.
bool card_parameters(const run_state& rs, snow_params& p) {
    const project_cards& c = rs.cards;
    struct card {
        const char* card;
        const char* column;
        int given;
        double value;
        double snow_params::*field;
    };
    const card cards[] = {
        {"nwsrfs_mf_max", "MF_Max", c.nwsrfs_mf_max_given, c.nwsrfs_mf_max, &snow_params::mf_max},
        {"nwsrfs_mf_min", "MF_Min", c.nwsrfs_mf_min_given, c.nwsrfs_mf_min, &snow_params::mf_min},
        {"nwsrfs_fr_use", "FR_USE", c.nwsrfs_fr_use_given, c.nwsrfs_fr_use, &snow_params::fr_use},
        {"nwsrfs_scf", "SCF", c.nwsrfs_scf_given, c.nwsrfs_scf, &snow_params::scf},
        {"nwsrfs_tipm", "TIPM", c.nwsrfs_tipm_given, c.nwsrfs_tipm, &snow_params::tipm},
        {"nwsrfs_nmf", "NMF", c.nwsrfs_nmf_given, c.nwsrfs_nmf, &snow_params::nmf},
        {"nwsrfs_fua", "FUA", c.nwsrfs_fua_given, c.nwsrfs_fua, &snow_params::fua},
        {"nwsrfs_plwhc", "PLWHC", c.nwsrfs_plwhc_given, c.nwsrfs_plwhc, &snow_params::plwhc},
    };
    for (const card& k : cards) {
        if (!k.given) continue;
        char text[200];
        if (const char* why = bad_parameter(k.column, k.value, text, sizeof text)) {
            std::printf("Error: the card %s value %g %s\n", k.card, k.value, why);
            set_error(kErrorPrinted);
            return false;
        }
        p.*(k.field) = k.value;
    }
    return true;
}

// Reads the band file and gives each cell strictly inside a band the band's
// values of the parameters whose card is not given.
bool read_band_file(run_state& rs, const char* path) {
    file_object f;
    if (!open_file_named(f, path, "r")) {
        std::printf("Cannot open elevation based NWSRFS snow input parameter file: %s\n", path);
        set_error(kErrorPrinted);
        return false;
    }
    word_reader in(f);
    char token[kTokenSize];
    auto header_error = [&](const char* expected) {
        std::printf("Error reading elevation based NWSRFS snow input parameter file: %s\n", path);
        print_band_format(path);
        std::printf("Error: file %s, line %d: expected %s\n", path, in.line_number, expected);
        close_file_object(f);
        set_error(kErrorPrinted);
        return false;
    };
    if (!in.next(token) || std::strcmp(token, "Number_Bands:") != 0) return header_error("\"Number_Bands:\"");
    int bands = 0;
    if (!in.next(token) || parse_int_token(token, bands) != number_status::ok || bands < 1)
        return header_error("the number of bands, a whole number of 1 or more");
    for (const char* column : kBandColumns) {
        if (!in.next(token) || std::strcmp(token, column) != 0) {
            char what[64];
            std::snprintf(what, sizeof what, "\"%s\"", column);
            return header_error(what);
        }
    }
    const project_cards& c = rs.cards;
    const int given[10] = {1, 1, c.nwsrfs_mf_min_given, c.nwsrfs_mf_max_given, c.nwsrfs_scf_given,
                           c.nwsrfs_fr_use_given, c.nwsrfs_tipm_given, c.nwsrfs_nmf_given,
                           c.nwsrfs_fua_given, c.nwsrfs_plwhc_given};
    double snow_params::*const fields[10] = {nullptr,           nullptr,          &snow_params::mf_min,
                                             &snow_params::mf_max, &snow_params::scf, &snow_params::fr_use,
                                             &snow_params::tipm, &snow_params::nmf, &snow_params::fua,
                                             &snow_params::plwhc};
    for (int b = 1; b <= bands; ++b) {
        double row[10];
        for (int k = 0; k < 10; ++k) {
            const bool got = in.next(token);
            const number_status st = got ? parse_real_token(token, row[k]) : number_status::missing;
            char text[200];
            const char* why = st != number_status::ok ? number_status_words(st)
                              : k >= 2 ? bad_parameter(kBandColumns[k], row[k], text, sizeof text)
                                       : nullptr;
            if (why == nullptr && k == 0 && !in_range(row[0], kElevationMetres))
                why = "is not an elevation of the ground (m): it must be from -11000 to 9000";
            if (why == nullptr && k == 1 && !(row[1] > row[0])) why = "is not above the lower elevation";
            if (why != nullptr) {
                std::printf("Error: file %s, line %d: band %d %s \"%s\" %s\n", path, in.line_number, b,
                            kBandColumns[k], got ? token : "", why);
                close_file_object(f);
                set_error(kErrorPrinted);
                return false;
            }
        }
        for (int j = 1; j <= rs.GNUM; ++j) {
            const double z = rs.elevation[static_cast<size_t>(j)];   // m
            if (!(z > row[0] && z < row[1])) continue;   // a cell on a band limit keeps its values
            snow_params& p = rs.snow_par[static_cast<size_t>(j)];
            for (int k = 2; k < 10; ++k) {
                if (!given[k]) p.*(fields[k]) = row[k];
            }
        }
    }
    close_file_object(f);
    return true;
}

template <class T>
void size_cells(std::vector<T>& v, size_t slots, const T& value) {
    if (v.size() < slots) v.resize(slots, value);
}

}  // namespace

void read_snow_bands(run_state& rs) {
    // Without a snow model the melt parameters are the defaults, given to the
    // cells by init_snow_array when the run can hold snow.
    rs.snow_par.clear();
    if (!rs.nwsrfs_snow && !rs.eb_nwsrfs_snow) return;
    const size_t slots = static_cast<size_t>(rs.GNUM) + 1;
    rs.snow_par.assign(slots, snow_params{});
    if (rs.nwsrfs_snow && rs.eb_nwsrfs_snow) {
        std::printf("Error: the cards nwsrfs_snow and eb_nwsrfs_snow ask for two snow models at once; "
                    "give one of them\n");
        set_error(kErrorPrinted);
        return;
    }
    snow_params base;
    if (!card_parameters(rs, base)) return;
    rs.snow_par.assign(slots, base);
    if (rs.nwsrfs_elev_snow && !read_band_file(rs, rs.files.nwsrfs_elev_snow)) return;
    if (rs.scf.size() >= slots) {
        for (size_t j = 1; j < slots; ++j) rs.scf[j] = rs.snow_par[j].scf;
    }
}

void init_snow_array(run_state& rs) {
    const int n = rs.GNUM;
    if (n == 0) {
        std::printf("Error: Attempting to allocate array of size 0\n");
        set_error(kErrorPrinted);
        return;
    }
    const bool initial_snow = rs.cards.init_swe_depth_mode == 1 || rs.cards.init_swe_depth_mode == 3;
    if (!rs.long_term && !initial_snow) return;
    const size_t slots = static_cast<size_t>(n) + 1;
    size_cells(rs.snow_swe, slots, 0.0);
    size_cells(rs.snow_ice, slots, 0.0);
    size_cells(rs.snow_ati, slots, 0.0);
    size_cells(rs.snow_heat_deficit, slots, 0.0);
    size_cells(rs.snow_liquid, slots, 0.0);
    size_cells(rs.snow_density, slots, 0.0);
    size_cells(rs.snow_pack_temp, slots, 0.0);
    size_cells(rs.tsnow_p, slots, 0.0);
    size_cells(rs.tsnow_t, slots, 0.0);
    size_cells(rs.qlr, slots, std::array<double, 7>{});
    size_cells(rs.snow_par, slots, snow_params{});
    rs.snow_lag_storage.assign(slots, 0.0);
    rs.snow_new_density.assign(slots, 0.0);
    rs.snow_prev_temp.assign(slots, 0.0);
    rs.snow_precip_hours.assign(slots, std::array<double, 6>{});
    rs.vol_snow_melt = 0.0;
}

void clear_snow_precip_history(run_state& rs) {
    for (std::array<double, 6>& h : rs.snow_precip_hours) h.fill(0.0);
    for (double& p : rs.tsnow_p) p = 0.0;
    for (double& t : rs.tsnow_t) t = 0.0;
}
