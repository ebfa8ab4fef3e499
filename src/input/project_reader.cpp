// The project-file reader: header check, clearing and defaults of the card
// records, and the card loop driven by the card table (cards.cpp).
#include "input/project_reader.h"

#include <omp.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/run_options.h"
#include "core/text.h"
#include "input/cards.h"
#include "input/map_reader.h"
#include "input/replace.h"
#include "input/time_series.h"
#include "output/xy_boundary.h"
#include "quality/nutrients.h"

int pause_prompt = 0;
file_object k4_flow_file;

namespace {

// Where a card line came from, for the messages about its arguments.
struct line_context {
    const char* path;               // project file as given
    int line_number;                // 1 = header line
    const card_entry* card;         // the card of the line
    mutable bool refused = false;   // a value of the line was refused (message printed)
};

// Prints "Error: project file <path>, line <n>: card <keyword> " and the rest,
// leaves code 4000 for the run driver and marks the line refused, which ends
// the reading of the file.
void refuse_value(const line_context& ctx, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void refuse_value(const line_context& ctx, const char* format, ...) {
    std::printf("Error: project file %s, line %d: card %s ", ctx.path, ctx.line_number,
                ctx.card->keyword);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    error_record.code = kErrorPrinted;
    ctx.refused = true;
}

// Ranges of the numeric cards, in the card's unit: the cards whose values
// size the grid or enter the integer arithmetic of the clock, and the
// physical quantities with plain bounds. A value outside is refused.
struct card_limit {
    const char* keyword;   // card keyword (first keyword of its synonyms)
    number_range range;
};

constexpr double kMaxDouble = std::numeric_limits<double>::max();

const card_limit kCardLimits[] = {
    {"rows", closed_range(1.0, kMaxGridSide)},
    {"cols", closed_range(1.0, kMaxGridSide)},
    // cell size, m
    {"gridsize", above(0.0)},
    // tot_time, min: 0 ends a single-event run at its first pass (and is the
    // value when the card is left out); a negative length is a mistake.
    {"tot_time", closed_range(0.0, static_cast<double>(INT_MAX))},
    // timestep, s: 0 is refused by the time check; one step longer than the
    // longest run (an int count of minutes) would carry the clock beyond any
    // calendar date.
    {"timestep", closed_range(0.0, 60.0 * INT_MAX)},
    // outlet slope, m/m (too small a slope is refused by the time check)
    {"outslope", at_least(0.0)},
    // hyd_freq, min: 0 or below is warned later and replaced by the default;
    // an interval longer than the longest run (an int count of minutes) is a mistake.
    {"hyd_freq", closed_range(-kMaxDouble, static_cast<double>(INT_MAX))},
    // map_freq, min: 0 means "not given"; a negative interval is a mistake.
    {"map_freq", closed_range(0.0, static_cast<double>(INT_MAX))},
    // site, degrees (longitudes are given east or west positive, so up to a full turn)
    {"latitude", closed_range(-90.0, 90.0)},
    {"longitude", closed_range(-360.0, 360.0)},
    // time-zone offset from GMT, h
    {"gmt", closed_range(-24.0, 24.0)},
    // uniform rain, mm/h and min
    {"rain_intensity", at_least(0.0)},
    {"rain_duration", at_least(0.0)},
    // uniform retention depth, mm: a negative depth lets dry cells give water
    {"retention", at_least(0.0)},
    // particle diameters, mm; water temperature, C; porosity of deposited sediment, -
    {"sand_size", above(0.0)},
    {"silt_size", above(0.0)},
    {"clay_size", above(0.0)},
    {"water_temp", closed_range(0.0, 100.0)},
    {"sed_porosity", from_below(0.0, 1.0)},
    // channel water pH
    {"chan_ph", closed_range(0.0, 14.0)},
};

const card_limit* limit_of(const char* keyword) {
    for (const card_limit& l : kCardLimits) {
        if (std::strcmp(l.keyword, keyword) == 0) return &l;
    }
    return nullptr;
}

// Separators of the token readers: blank, tab, comma, newline.
bool is_separator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\n'; }

bool rest_is_empty(const char* line) { return line[0] == '\0'; }

// Says why line 1 of the project file is no header, naming the file. The
// header word must stand alone on its line, so a UTF-8 byte-order mark before
// it or a carriage return after it (CR LF line ends) is refused like any other
// text; these two are named because an editor adds them without showing them.
void print_header_problem(const char* path, bool have_line, const text_line& line) {
    if (!have_line) {
        std::fprintf(stderr, "Error: project file %s, line 1: the file is empty; its first line "
                             "must be the header PLUVOPROJECT.\n", path);
        return;
    }
    const char* text = line.c_str();
    if (std::strncmp(text, "\xEF\xBB\xBF", 3) == 0) {
        std::fprintf(stderr, "Error: project file %s, line 1: the file begins with a UTF-8 "
                             "byte-order mark; save it as plain text without one.\n", path);
        text += 3;
    }
    if (line.cr_cut()) {
        std::fprintf(stderr, "Error: project file %s, line 1: the header line ends in a carriage "
                             "return (CR LF line ends); convert the file to LF line ends.\n",
                     path);
    }
    if (std::strcmp(text, "VORN2DPROJECT") != 0 && std::strcmp(text, "PLUVOPROJECT") != 0) {
        std::fprintf(stderr, "Error: project file %s, line 1: the header line \"%.80s\" is not "
                             "PLUVOPROJECT or VORN2DPROJECT (upper case, alone on the line).\n",
                     path, text);
    }
}

bool has_token(const char* line) {
    for (const char* p = line; *p != '\0'; ++p) {
        if (!is_separator(*p)) return true;
    }
    return false;
}

void lower_ascii(char* text) {
    for (char* c = text; *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    }
}

// Bounded copy that always terminates the destination (a longer text is cut).
void copy_name(char* dst, std::size_t size, const char* src) {
    std::snprintf(dst, size, "%s", src);
}

// Token text of the next argument, for a message (cut to fit).
void peek_token(const char* line, char* token, std::size_t size) {
    std::size_t p = 0;
    while (is_separator(line[p])) ++p;
    std::size_t n = 0;
    while (line[p + n] != '\0' && !is_separator(line[p + n]) && n + 1 < size) {
        token[n] = line[p + n];
        ++n;
    }
    token[n] = '\0';
}

// One number argument, refused (naming file, line and card; the field keeps
// 0) when it is missing, not wholly a number of the card's kind, not finite,
// beyond the int range or outside the card's range.
template <class T>
T read_number_arg(char* line, const line_context& ctx) {
    constexpr bool integer = std::is_same<T, int>::value;
    char token[kTokenSize];
    peek_token(line, token, sizeof(token));
    char rest[kTokenSize];
    double unused = 0.0;
    next_checked_double(line, unused, rest);   // the argument is taken off the line whatever it holds
    T value = 0;
    number_status kind = number_status::ok;
    if constexpr (integer) {
        kind = parse_int_token(token, value);
    } else {
        kind = parse_real_token(token, value);
    }
    token[63] = '\0';   // at most 63 characters of the token are shown
    if (kind == number_status::missing) {
        refuse_value(ctx, "expects a number but has none.\n");
        return 0;
    }
    if (kind == number_status::not_number) {
        refuse_value(ctx, "expects %s but found \"%s\".\n", integer ? "a whole number" : "a number",
                     token);
        return 0;
    }
    if (kind != number_status::ok) {
        refuse_value(ctx, "has the value \"%s\", which %s.\n", token, number_status_words(kind));
        return 0;
    }
    if (const card_limit* limit = limit_of(ctx.card->keyword)) {
        const double v = static_cast<double>(value);
        const number_range& r = limit->range;
        char used[64];
        if constexpr (integer) {
            std::snprintf(used, sizeof(used), "%d", value);
        } else {
            std::snprintf(used, sizeof(used), "%g", value);
        }
        if (r.low_open ? !(v > r.low) : !(v >= r.low)) {
            refuse_value(ctx, "has the value %s; it must be %s %.15g.\n", used,
                         r.low_open ? "above" : "at least", r.low);
            return 0;
        }
        if (r.high_open ? !(v < r.high) : !(v <= r.high)) {
            refuse_value(ctx, "has the value %s; it must be %s %.15g.\n", used,
                         r.high_open ? "below" : "at most", r.high);
            return 0;
        }
    }
    return value;
}

double read_double_arg(char* line, const line_context& ctx) {
    return read_number_arg<double>(line, ctx);
}

int read_int_arg(char* line, const line_context& ctx) { return read_number_arg<int>(line, ctx); }

// The date cards: start_date (year month day), start_time (hour minute) and
// end_time (year month day hour minute; a year of 0 means no end time). A
// date or time that is not on the calendar is refused: the clock would carry
// it silently into another day, month or year.
void check_date_card(int* v, int count, const line_context& ctx) {
    bool good = true;
    if (count == 3) {
        good = valid_date(v[0], v[1], v[2]);
    } else if (count == 2) {
        good = valid_time_of_day(v[0], v[1]);
    } else if (count == 5) {
        good = v[0] == 0 || (valid_date(v[0], v[1], v[2]) && valid_time_of_day(v[3], v[4]));
    }
    if (good) return;
    char given[80] = {};   // the values as read, blank-separated (at most 5 ints)
    std::size_t used = 0;
    for (int i = 0; i < count && used < sizeof(given); ++i) {
        used += static_cast<std::size_t>(std::snprintf(given + used, sizeof(given) - used, "%s%d",
                                                       i > 0 ? " " : "", v[i]));
    }
    char rule[120];
    const char* what = "date and time";
    if (count == 2) {
        what = "time of day";
        std::snprintf(rule, sizeof(rule), "hour 0 to 23, minute 0 to 59");
    } else {
        std::snprintf(rule, sizeof(rule), "year %d to %d, month 1 to 12, a day of that month%s",
                      kFirstYear, kLastYear, count == 5 ? ", hour 0 to 23, minute 0 to 59" : "");
        if (count == 3) what = "date";
    }
    refuse_value(ctx, "gives %s, which is not a valid %s (%s).\n", given, what, rule);
    // A refused card keeps 0s, as a refused number does: the steps that
    // follow the reading before the run stops never compute with it.
    for (int i = 0; i < count; ++i) v[i] = 0;
}

// One token into a name field of `size` characters; empty when missing.
void read_name_arg(char* line, char* field, std::size_t size) {
    char token[kTokenSize];
    next_word(line, token);
    copy_name(field, size, token);
}

// The records a card writes into.
struct card_records {
    project_cards& cards;
    run_settings& settings;
    rain_settings& rain;

    int* int_at(const card_field& f) {
        return static_cast<int*>(card_field_address(f, cards, settings, rain));
    }
    double* double_at(const card_field& f) {
        return static_cast<double*>(card_field_address(f, cards, settings, rain));
    }
    char* name_at(const card_field& f) {
        return static_cast<char*>(card_field_address(f, cards, settings, rain));
    }
};

void set_flag(card_records& r, const card_field& f, int value) {
    if (f.present()) *r.int_at(f) = value;
}

void read_number_into(card_records& r, const card_field& f, char* line,
                      const line_context& ctx) {
    if (f.kind == field_kind::int_value) {
        *r.int_at(f) = read_int_arg(line, ctx);
    } else {
        *r.double_at(f) = read_double_arg(line, ctx);
    }
}

void read_name_into(card_records& r, const card_field& f, char* line) {
    read_name_arg(line, r.name_at(f), kCardNameSize);
}

// True when the whole token is a real number. A NaN or infinite number is
// refused (false, the line marked refused) rather than taken as a name; any
// other text ("12abc" among them) is a name.
bool scan_double(const char* token, double& value, const line_context& ctx) {
    const number_status s = parse_real_token(token, value);
    if (s == number_status::ok) return true;
    if (s == number_status::not_finite) {
        refuse_value(ctx, "has the value \"%.63s\", which is not finite.\n", token);
    }
    return false;
}

// Returns false when the card stops the reading (a choice card with an error code).
bool read_choice(card_records& r, const card_entry& e, char* line, const line_context& ctx) {
    int* field = r.int_at(e.field);
    if (e.rule == choice_rule::exact_five) {
        // The rest of the line, compared case-sensitively over five characters.
        for (const card_choice& c : e.choices) {
            if (c.word != nullptr && std::strncmp(line, c.word, 5) == 0) {
                *field = c.value;
                return true;
            }
        }
        *field = 2;
        set_error(e.error_code);
        return false;
    }
    char token[kTokenSize];
    next_word(line, token);
    if (e.rule == choice_rule::int_or_word) {
        int number = 0;
        const number_status read = parse_int_token(token, number);
        if (read == number_status::out_of_range) {
            refuse_value(ctx, "has the value \"%.63s\", which %s.\n", token, number_status_words(read));
            return false;
        }
        if (read == number_status::ok) {
            // A number must be one of the values the words stand for.
            bool known = false;
            for (const card_choice& c : e.choices) known = known || (c.word != nullptr && c.value == number);
            if (!known) {
                refuse_value(ctx, "has the value %d, which names no choice (1 to 3).\n", number);
                return false;
            }
            *field = number;
            return true;
        }
        lower_ascii(token);
        for (const card_choice& c : e.choices) {
            if (c.word != nullptr && std::strcmp(token, c.word) == 0) {
                *field = c.value;
                return true;
            }
        }
    } else {
        token[5] = '\0';   // the first five characters, of which four are compared
        lower_ascii(token);
        for (const card_choice& c : e.choices) {
            if (c.word != nullptr && std::strncmp(token, c.word, 4) == 0) {
                *field = c.value;
                return true;
            }
        }
        if (e.rule == choice_rule::first_four_or_zero) {
            *field = 0;
            return true;
        }
    }
    std::printf("Warning: project file %s, line %d: card %s does not know the word \"%s\";"
                " the value %d is kept.\n",
                ctx.path, ctx.line_number, e.keyword, token, *field);
    return true;
}

void read_reten_depth(card_records& r, const card_entry& e, char* line, const line_context& ctx) {
    if (!rest_is_empty(line)) {
        char* name = r.name_at(e.field);
        read_name_arg(line, name, kCardNameSize);
        double depth = 0.0;
        if (scan_double(name, depth, ctx)) {
            std::printf("Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH "
                        "<filename>-or-\nRETENTION <value>  -or-\nRETEN_DEPTH \n  Using %lf "
                        "for the uniform retention depth\n\n",
                        depth);
            *r.double_at(e.number_field) = depth;
            set_flag(r, e.extra, 1);
            return;
        }
    }
    set_flag(r, e.flag, 1);
}

void read_number_or_name(card_records& r, const card_entry& e, char* line,
                         const line_context& ctx) {
    char token[kTokenSize];
    next_word(line, token);
    double value = 0.0;
    if (scan_double(token, value, ctx)) {
        *r.double_at(e.number_field) = value;
        set_flag(r, e.extra, 3);   // mode 3: uniform value
    } else {
        copy_name(r.name_at(e.field), kCardNameSize, token);
        set_flag(r, e.extra, 1);   // mode 1: map file
    }
}

// Initial value of a nutrient species: mode, uniform value or map name.
void read_nutrient_init(char* line, int& mode, double& value, char* file,
                        const line_context& ctx) {
    if (rest_is_empty(line)) {
        mode = kNsmInitNone;
        return;
    }
    char token[kTokenSize];
    next_word(line, token);
    double number = 0.0;
    if (scan_double(token, number, ctx)) {
        value = number;
        mode = kNsmInitUniform;
    } else {
        copy_name(file, kNsmNameSize, token);
        mode = kNsmInitMap;
    }
}

// Returns false when the card stops the reading (no nutrients card above it).
bool read_nutrient_card(card_records& r, const card_entry& e, char* line,
                        const line_context& ctx) {
    nsm_model* nsm = r.cards.nsm.get();
    if (nsm == nullptr) {
        set_error(79, e.text);
        return false;
    }
    const int i = e.value;
    switch (e.group) {
        case nutrient_group::aq_env:
            read_name_arg(line, nsm->aq_env, sizeof(nsm->aq_env));
            break;
        case nutrient_group::ov_init:
            read_nutrient_init(line, nsm->ov_init_mode[i], nsm->ov_init_value[i],
                               nsm->ov_init_file[i], ctx);
            break;
        case nutrient_group::st_init:
            read_nutrient_init(line, nsm->st_init_mode[i], nsm->st_init_value[i],
                               nsm->st_init_file[i], ctx);
            break;
        case nutrient_group::out_ov:
            nsm->out_ov_given[i] = 1;
            read_name_arg(line, nsm->out_ov_file[i], kNsmNameSize);
            break;
        case nutrient_group::out_st:
            nsm->out_st_given[i] = 1;
            read_name_arg(line, nsm->out_st_file[i], kNsmNameSize);
            break;
        case nutrient_group::out_hyd:
            nsm->out_hyd_given[i] = 1;
            read_name_arg(line, nsm->out_hyd_file[i], kNsmNameSize);
            break;
        case nutrient_group::none:
            break;
    }
    return true;
}

void run_card_action(card_records& r, const card_entry& e, char* line, const line_context& ctx) {
    char token[kTokenSize];
    switch (e.action) {
        case card_action::time_series_file:
            next_word(line, token);
            r.cards.acted_files.emplace_back(e.keyword, token);
            if (!read_time_series_file(token)) {
                refuse_value(ctx, "names the time-series file %.1000s, which cannot be opened.\n",
                             token);
            }
            break;
        case card_action::elev_series_file:
            next_word(line, token);
            r.cards.acted_files.emplace_back(e.keyword, token);
            read_elevation_series_file(token);
            break;
        case card_action::replace_params:
            next_word(line, token);
            r.cards.acted_files.emplace_back(e.keyword, token);
            read_replace_params(token);
            break;
        case card_action::replace_vals:
            next_word(line, token);
            r.cards.acted_files.emplace_back(e.keyword, token);
            read_replace_vals(token);
            break;
        case card_action::replace_line:
            replace_line_index = read_int_arg(line, ctx) - 1;
            break;
        case card_action::output_folder:
            next_word(line, token);
            set_output_folder(token);
            break;
        case card_action::project_folder: {
            char* field = r.name_at(e.field);
            read_name_arg(line, field, kCardNameSize);
            // Room for the separator that set_project_folder may add.
            char folder[kCardNameSize + 2];
            copy_name(folder, sizeof(folder), field);
            const int length = static_cast<int>(std::strlen(folder));
            if (length > 0) set_project_folder(folder, length);
            break;
        }
        case card_action::num_threads: {
            const int n = read_int_arg(line, ctx);
            if (n >= 1) {
                omp_set_num_threads(n);
                print_message("Setting the thread level to %d.\n", n);
            } else {
                std::printf("Error: unable to set the thread level to %d.\n", n);
            }
            break;
        }
        case card_action::super_quiet:
            set_flag(r, e.field, 1);
            super_quiet_flag = 1;
            break;
        case card_action::nutrients:
            set_flag(r, e.field, 1);
            // A second nutrients card starts a fresh container; the earlier one is released.
            r.cards.nsm.reset(new nsm_model());
            init_nsm_model(*r.cards.nsm);
            break;
        case card_action::xy_ovdep:
            read_name_into(r, e.field, line);
            read_xy_boundary(r.cards.xy_in, r.name_at(e.field), "overland", "XY_OV_DEPTH",
                             kXyByIdentifier);
            set_flag(r, e.flag, 1);
            set_flag(r, e.extra, 1);
            break;
        case card_action::xy_gwhead:
            read_name_into(r, e.field, line);
            read_xy_boundary(r.cards.xy_in, r.name_at(e.field), "groundwater", "XY_GW_HEAD",
                             kXyByIdentifier);
            break;
        case card_action::xy_gwheadinterp:
            read_name_into(r, e.field, line);
            read_xy_boundary(r.cards.xy_in, r.name_at(e.field), "groundwater",
                             "XY_GW_HEAD_INTERP", kXyByCoordinates);
            break;
        case card_action::xy_stflow:
            read_name_into(r, e.field, line);
            read_stream_xy_boundary(r.cards.xy_in, r.name_at(e.field));
            break;
        case card_action::xy_sttimeseries:
            read_name_into(r, e.field, line);
            read_stream_xy_series(r.cards.xy_in, r.name_at(e.field));
            break;
        case card_action::none:
            break;
    }
}

// soil_erosion: the transport-capacity formula 1..6, plus 10 when the
// sediment is also carried as overland constituents; any other value is refused.
constexpr int kSoilErosionCard = 61;
void check_erosion_option(card_records& r, const line_context& ctx) {
    const int v = r.cards.soil_erosion;
    if ((v >= 1 && v <= 6) || (v >= 11 && v <= 16)) return;
    refuse_value(ctx, "has the value %d; it must be a transport formula 1 to 6, or 11 to 16.\n", v);
}

// Carries out one card; false when the card stops the reading.
bool apply_card(card_records& r, const card_entry& e, char* line, const line_context& ctx) {
    switch (e.form) {
        case card_form::ignore:
            break;
        case card_form::set:
            *r.int_at(e.field) = e.value;
            set_flag(r, e.flag, 1);
            break;
        case card_form::number:
            set_flag(r, e.flag, 1);
            read_number_into(r, e.field, line, ctx);
            if (e.code == kSoilErosionCard && !ctx.refused) check_erosion_option(r, ctx);
            if (e.text != nullptr && !ctx.refused) print_message(e.text, *r.int_at(e.field));
            break;
        case card_form::name:
            read_name_into(r, e.field, line);
            set_flag(r, e.flag, 1);
            set_flag(r, e.extra, e.value);
            break;
        case card_form::name_if_rest:
            if (!rest_is_empty(line)) {
                read_name_into(r, e.field, line);
                set_flag(r, e.flag, 1);
            }
            break;
        case card_form::moisture:
            if (!rest_is_empty(line)) read_name_into(r, e.field, line);
            set_flag(r, e.flag, 1);
            break;
        case card_form::ints: {
            int* values = r.int_at(e.field);
            for (int i = 0; i < e.field.count && !ctx.refused; ++i) {
                values[i] = read_int_arg(line, ctx);
            }
            if (!ctx.refused) check_date_card(values, e.field.count, ctx);
            break;
        }
        case card_form::host_event:
            set_flag(r, e.flag, 1);
            if (has_token(line)) {
                *r.int_at(e.field) = read_int_arg(line, ctx);
            } else {
                *r.int_at(e.field) = -1;
            }
            break;
        case card_form::choice:
            return read_choice(r, e, line, ctx);
        case card_form::reten_depth:
            read_reten_depth(r, e, line, ctx);
            break;
        case card_form::number_or_name:
            read_number_or_name(r, e, line, ctx);
            break;
        case card_form::nutrient:
            return read_nutrient_card(r, e, line, ctx) && !ctx.refused;
        case card_form::partition:
            if (r.cards.nutrient_partition.empty()) {
                r.cards.nutrient_partition.assign(kNutrientPartitionSize, 0.0);
            }
            r.cards.nutrient_partition[static_cast<std::size_t>(e.value)] =
                read_double_arg(line, ctx);
            break;
        case card_form::echo:
            if (e.value != 0) {
                const int value = read_int_arg(line, ctx);
                if (!ctx.refused) print_message(e.text, value);
            } else {
                const double value = read_double_arg(line, ctx);
                if (!ctx.refused) print_message(e.text, value);
            }
            break;
        case card_form::action:
            run_card_action(r, e, line, ctx);
            if (error_record.stop) return false;   // the action printed why the run stops
            break;
    }
    return !ctx.refused;
}

// The entry of a keyword (lower case), or null.
const card_entry* lookup_keyword(const char* token) {
    int count = 0;
    const card_entry* table = card_table(&count);
    for (int i = 0; i < count; ++i) {
        const card_entry& e = table[i];
        if (std::strcmp(token, e.keyword) == 0) return &e;
        for (const char* synonym : e.synonyms) {
            if (synonym != nullptr && std::strcmp(token, synonym) == 0) return &e;
        }
    }
    return nullptr;
}

// The table entry of a card code (codes run 0..kLastCardCode).
const card_entry* entry_of_code(int code) {
    static const card_entry* index[kLastCardCode + 1] = {};
    static bool built = false;
    if (!built) {
        int count = 0;
        const card_entry* table = card_table(&count);
        for (int i = 0; i < count; ++i) {
            if (table[i].code >= 0 && table[i].code <= kLastCardCode) index[table[i].code] = &table[i];
        }
        built = true;
    }
    return (code >= 0 && code <= kLastCardCode) ? index[code] : nullptr;
}

void set_card_defaults(project_cards& cards) {
    cards.m_river = 1.0;
    cards.k_river = 0.0;
    cards.event_min_q = 0.1;
    cards.soil_moist_depth = 0.4;
    cards.max_courant_number = 0.04;
    cards.overtype = 2;
    cards.richards_weight = 1.0;
    cards.richards_dtheta_max = 0.0025;
    cards.richards_k_option = 2;
    cards.richards_upper_option = 1;
    cards.richards_iter_max = 1;
    cards.aquifer_delta_z = -999.9;
    cards.soil_erosion = 1;
    cards.gw_timestep = 1.0;
    cards.gw_lsor_con = 0.00001;
    cards.single_unsat_sat = 0.75;
    cards.kinetics_timestep_factor = 1.0;
    cards.qrm_event_num = -1;
    cards.m_lake = 10.0;
    cards.x_freq = -1;
    cards.xwin_width = 1000;
    cards.xwin_height = 660;
    cards.calib_comp_data = 2;
    cards.calib_obj_func = 2;
    cards.chan_ph = 7.2;
}

}  // namespace

namespace {

// project_card_code; `warn_unknown` prints the warning for an unknown keyword.
int card_code_of(char* line, bool warn_unknown) {
    char token[kTokenSize];
    if (!next_word(line, token)) return kIgnoreCardCode;
    lower_ascii(token);
    if (token[0] == '#' || std::strcmp(token, "zov") == 0 || std::strcmp(token, "metric") == 0) {
        return kIgnoreCardCode;
    }
    const card_entry* e = lookup_keyword(token);
    if (e != nullptr) return e->code;
    if (warn_unknown && run_options.process_index == 0) {
        std::printf("Warning: unknown card found in the project file: %s\n", token);
    }
    return kIgnoreCardCode;
}

}  // namespace

int project_card_code(char* line) { return card_code_of(line, true); }

void read_project_file(const char* path, project_cards& cards, run_settings& settings,
                       rain_settings& rain) {
    settings.open_failed = 0;
    file_object project;
    if (!open_file_named(project, path, "r")) {
        std::fprintf(stderr, "Error opening project file named: %s\n", path);
        settings.open_failed = 1;
        return;
    }

    text_line line;
    int line_number = 1;
    const bool have_header = read_line(line, project) != 0;
    if (!have_header || line.cr_cut() ||
        (std::strcmp(line, "VORN2DPROJECT") != 0 && std::strcmp(line, "PLUVOPROJECT") != 0)) {
        print_header_problem(path, have_header, line);
        std::fprintf(stderr, "File Does not Appear to be a Valid PLUVO/VORN2D Project file\n");
        std::fprintf(stderr,
                     "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix "
                     "machine?\n");
        std::fprintf(stderr, "PLUVO Terminating....\n");
        close_file_object(project);
        error_record.code = kErrorPrinted;
        report_error(error_record);
        return;
    }

    cards.clear();
    settings = run_settings{};
    rain = rain_settings{};
    set_card_defaults(cards);

    card_records records{cards, settings, rain};
    while (read_line(line, project)) {
        ++line_number;
        const int code = project_card_code(line);
        if (code == kIgnoreCardCode) continue;
        const card_entry* e = entry_of_code(code);
        if (e == nullptr) continue;
        line_context ctx{path, line_number, e};
        if (!apply_card(records, *e, line, ctx)) break;
    }
    close_file_object(project);
}

void read_project_folder(const char* path) {
    file_object project;
    if (!open_file_named(project, path, "r")) {
        std::fprintf(stderr, "Error opening project file named: %s\n", path);
        return;
    }
    text_line line;
    const int folder_code = 370;
    // Only the folder card matters here: the header line and unknown
    // keywords are left to the reading of the file, which warns about them.
    while (read_line(line, project)) {
        if (card_code_of(line, false) != folder_code) continue;
        char token[kTokenSize];
        next_word(line, token);
        if (token[0] != '\0') {
            // Room for the separator that set_project_folder adds.
            char folder[kTokenSize + 2];
            copy_name(folder, sizeof(folder), token);
            set_project_folder(folder, static_cast<int>(std::strlen(folder)));
        }
        close_file_object(project);
        return;
    }
    close_file_object(project);
    const char* last = std::strrchr(path, kFolderSeparator);
    if (last == nullptr) return;
    const std::size_t length = static_cast<std::size_t>(last - path) + 1;
    if (length >= sizeof(project_folder_path)) return;   // cannot hold it: keep the old folder
    std::memcpy(project_folder_path, path, length);
    project_folder_path[length] = '\0';
}
