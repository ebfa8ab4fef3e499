// The analyzer file: one analyzer per line, read at set-up.
//
// Line: type, array, trigger letters, operator, threshold, print letters,
// then the interval in seconds when the triggers hold 't' and the output
// file name when the print letters hold 'f'. Lines starting with '#' and the
// types other than 1DS and 2DS are skipped; a 1DS or 2DS line that cannot
// make a working analyzer stops the run with a message naming file and line.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <strings.h>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"
#include "input/output_names.h"
#include "output/analyzer.h"
#include "run/run_state.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;

// Analyzer line types (the first characters of the first token).
enum analyzer_type : int {
    kTypeUnknown = -1,
    kType2DG = 0,
    kType1DS = 1,
    kType2DS = 2,
    kTypeNsmOverland = 3,
    kTypeNsmStream = 4,
    kTypeNsmSoil = 5,
};

bool starts_with(const char* token, const char* word) {
    return std::strncmp(token, word, std::strlen(word)) == 0;
}

bool starts_with_nocase(const char* token, const char* word) {
    return strncasecmp(token, word, std::strlen(word)) == 0;
}

int parse_analyzer_type(const char* token) {
    static const char* const kTypes[] = {"2DG", "1DS", "2DS", "NSM_OV", "NSM_ST", "NSM_SL"};
    for (int k = 0; k < 6; ++k)
        if (starts_with(token, kTypes[k])) return k;
    return kTypeUnknown;
}

// Operator kind of a token by its first characters, tested in this order.
int parse_operator(const char* token) {
    static const struct {
        const char* text;
        int kind;
    } kOps[] = {{"<=", kOpLessEqual}, {">=", kOpGreaterEqual}, {"==", kOpEqual},
                {"<", kOpLess},       {">", kOpGreater},       {"+", kOpAdd},
                {"-", kOpSubtract},   {"*", kOpMultiply},      {"\\", kOpDivide}};
    for (const auto& op : kOps)
        if (starts_with(token, op.text)) return op.kind;
    return kOpNone;
}

// Bits of the trigger letters t E e S s c; other characters are ignored.
int parse_triggers(const char* token) {
    int bits = 0;
    for (const char* c = token; *c != '\0'; ++c) {
        switch (*c) {
            case 't':
                bits |= kAnalyzerStep;
                break;
            case 'E':
                bits |= kAnalyzerEventBegin;
                break;
            case 'e':
                bits |= kAnalyzerEventEnd;
                break;
            case 'S':
                bits |= kAnalyzerSimBegin;
                break;
            case 's':
                bits |= kAnalyzerSimEnd;
                break;
            case 'c':
                bits |= kAnalyzerCrash;
                break;
            default:
                break;
        }
    }
    return bits;
}

// Bits of the print letters t v s f c d; 't' and 'v' clear each other, so
// the later of the two holds.
int parse_print_letters(const char* token) {
    int bits = 0;
    for (const char* c = token; *c != '\0'; ++c) {
        switch (*c) {
            case 't':
                bits = (bits & ~kPrintLinkRows) | kPrintPassedOnly;
                break;
            case 'v':
                bits = (bits & ~kPrintPassedOnly) | kPrintLinkRows;
                break;
            case 's':
                bits |= kPrintConsole;
                break;
            case 'f':
                bits |= kPrintFile;
                break;
            case 'c':
                bits |= kPrintLogic;
                break;
            case 'd':
                bits |= kPrintValues;
                break;
            default:
                break;
        }
    }
    return bits;
}

// Where a line came from, for messages.
struct line_place {
    const char* path;  // analyzer file as named on the card
    int line;          // line number from 1
};

bool bad_line(const line_place& at, const char* what) {
    std::printf("Error: analyzer file %s, line %d: %s\n", at.path, at.line, what);
    set_error(kErrorPrinted);
    return false;
}

// Binds a 2DS analyzer to "depth" (water level minus bed), "area" or "flow".
bool find_2d_array(run_state& rs, const char* name, analyzer& a, const line_place& at) {
    if (rs.links < 1 || rs.yp.empty())
        return bad_line(at, "a 2DS analyzer needs the channel network, and this run has none");
    const node_array* values = nullptr;
    bool depth = false;
    if (starts_with_nocase(name, "depth")) {
        values = &rs.yp;
        depth = true;
    } else if (starts_with_nocase(name, "area")) {
        values = &rs.area;
    } else if (starts_with_nocase(name, "flow")) {
        values = &rs.qp;
    } else {
        char what[kTokenSize + 100];
        std::snprintf(what, sizeof what, "the 2DS array %s is not one of depth, area and flow",
                      name);
        return bad_line(at, what);
    }
    auto test = std::make_unique<st2d_logical_op>();
    if (!test->bind(values, rs.links, rs.nx, &rs.time, name) ||
        (depth && (rs.bel.rows() != rs.yp.rows() || rs.bel.cols() != rs.yp.cols())))
        return bad_line(at, "the channel arrays do not cover every node of the network");
    if (depth) test->set_modifier(kOpSubtract, &rs.bel);
    a.test = std::move(test);
    return true;
}

// Binds a 1DS analyzer to a channel constituent store: "name_index".
bool find_1d_array(run_state& rs, const char* token, analyzer& a, const line_place& at) {
    char words[kTokenSize];
    std::snprintf(words, sizeof words, "%s", token);
    for (char* c = words; *c != '\0'; ++c)
        if (*c == '_') *c = ' ';
    char name[kTokenSize] = {};
    char index_text[kTokenSize] = {};
    next_word(words, name);
    int index = 0;
    const number_status s = next_checked_int(words, index, index_text);

    const int count = rs.num_constituents;
    if (count < 1) {
        std::printf("Error: Setting up 1DS analyzer when no constituents are being modeled.\n");
        return bad_line(at, "a 1DS analyzer needs constituents, and this run carries none");
    }
    if (s != number_status::ok || index < 1 || index > count) {
        std::printf(
            "Error: 1DS Analyzer for %s with index %d is out of range. Range for index "
            "is %d to %d.\n",
            name, index, 1, count);
        return bad_line(at, "the constituent index after the array name is out of range");
    }
    // Each keyword names its own store; stores this model does not keep
    // are refused rather than read from a neighbour.
    static const struct {
        const char* keyword;
        con_rows constituent_channel::*store;  // null: not kept by this model
    } kStores[] = {
        {"pointconc", nullptr},
        {"qlatconc", nullptr},
        {"qlatmass", &constituent_channel::qlat_mass},
        {"gwmass", nullptr},
        {"nsmsource", nullptr},
        {"conc", &constituent_channel::conc},
        {"mass", &constituent_channel::mass},
    };
    const con_rows* rows = nullptr;
    for (const auto& k : kStores) {
        if (!starts_with(name, k.keyword)) continue;
        if (k.store != nullptr) rows = &(rs.con_chan.*(k.store));
        break;
    }
    if (rows == nullptr || static_cast<size_t>(index) >= rows->size() || rs.con_chan.stride < 1) {
        std::printf("Error: unable to find 1DS array [%s]\n", name);
        return bad_line(at,
                        "this run keeps no channel constituent store of that name "
                        "(conc, mass and qlatmass are kept with channel transport)");
    }
    auto test = std::make_unique<st1d_logical_op>();
    if (!test->bind(&(*rows)[static_cast<size_t>(index)], rs.links, rs.nx, rs.con_chan.stride,
                    &rs.time, token))
        return bad_line(at, "the constituent store does not cover every node of the network");
    a.test = std::move(test);
    return true;
}

// True when writing `out_name` would open the file that `input` names.
bool opens_input(const char* out_name, const char* input) {
    char out_path[1024], in_path[1024];
    if (input == nullptr || input[0] == '\0') return false;
    if (!planned_path(out_name, "w", out_path) || !planned_path(input, "r", in_path)) return false;
    std::error_code ec;
    return std::filesystem::exists(out_path, ec) &&
           std::filesystem::equivalent(out_path, in_path, ec) && !ec;
}

// True when two analyzers would write one file.
bool same_output(const char* a, const char* b) {
    char pa[1024], pb[1024];
    if (!planned_path(a, "w", pa) || !planned_path(b, "w", pb)) return false;
    std::error_code ea, eb;
    return std::filesystem::weakly_canonical(std::filesystem::absolute(pa, ea), ea) ==
               std::filesystem::weakly_canonical(std::filesystem::absolute(pb, eb), eb) &&
           !ea && !eb;
}

// What the threshold of an analyzer is compared with and its physical range:
// a channel depth (m) or flow area (m2) of the largest rivers, a flow (m3/s,
// negative upstream), a constituent concentration or mass (never negative).
number_field threshold_field(int type, const char* array_name) {
    if (type == kType2DS) {
        if (starts_with_nocase(array_name, "depth")) return {"channel depth (m)", closed_range(0.0, 1.0e3)};
        if (starts_with_nocase(array_name, "area")) return {"flow area (m2)", closed_range(0.0, 1.0e6)};
        return {"channel flow (m3/s)", closed_range(-1.0e6, 1.0e6)};
    }
    return {"constituent store", at_least(0.0)};
}

// The rest of a 1DS or 2DS line after its type.
bool parse_line(run_state& rs, char* text, int type, analyzer& a, const line_place& at,
                const analyzer_list& earlier) {
    char array_name[kTokenSize] = {};
    char token[kTokenSize] = {};
    next_word(text, array_name);
    if (array_name[0] == '\0') return bad_line(at, "the array name is missing");
    next_word(text, token);
    a.triggers = parse_triggers(token);
    token[0] = '\0';
    next_word(text, token);
    a.op_kind = parse_operator(token);
    if (a.op_kind > kOpGreaterEqual)
        return bad_line(at, "the operator must be one of <, >, ==, <= and >=");
    const number_status ts = next_checked_double(text, a.threshold, token);
    if (ts != number_status::ok) {
        char what[200];
        std::snprintf(what, sizeof what, "the threshold %s", number_status_words(ts));
        return bad_line(at, what);
    }
    token[0] = '\0';
    next_word(text, token);
    a.print_flags = parse_print_letters(token);

    a.time = &rs.time;
    a.tolerance = rs.time_tolerance;
    if (a.triggers & kAnalyzerStep) {
        int seconds = 0;
        const number_status is = next_checked_int(text, seconds, token);
        if (is != number_status::ok || seconds < 0) {
            char what[200];
            std::snprintf(what, sizeof what, "the interval in seconds after the trigger 't' %s",
                          is != number_status::ok ? number_status_words(is) : "is negative");
            return bad_line(at, what);
        }
        a.interval = seconds / kSecondsPerDay;
        a.first_check = rs.time;
        a.last_check = rs.time - a.interval;
        a.next_check = rs.time;
    }
    if (a.print_flags & kPrintFile) {
        token[0] = '\0';
        next_word(text, token);
        if (token[0] == '\0')
            return bad_line(at, "the output file name after the print letter 'f' is missing");
        std::snprintf(a.out_name, sizeof a.out_name, "%s", token);
        char what[3 * kTokenSize];
        if (opens_input(a.out_name, at.path)) {
            std::snprintf(what, sizeof what,
                          "the output file %s is the analyzer file itself; an output never "
                          "overwrites an input",
                          a.out_name);
            return bad_line(at, what);
        }
        // Every other input and output of the run.
        char origin[kTokenSize + 100];
        std::snprintf(origin, sizeof origin, "analyzer file %s, line %d,", at.path, at.line);
        if (!check_extra_output_name(rs, origin, a.out_name)) return false;
        for (const auto& b : earlier.items) {
            if (b->out_name[0] == '\0' || !same_output(a.out_name, b->out_name)) continue;
            std::snprintf(what, sizeof what,
                          "the output file %s is also the file of an earlier analyzer", a.out_name);
            return bad_line(at, what);
        }
    }
    const bool found = type == kType2DS ? find_2d_array(rs, array_name, a, at)
                                        : find_1d_array(rs, array_name, a, at);
    if (!found) return false;
    const number_field limit = threshold_field(type, array_name);
    if (!in_range(a.threshold, limit.range)) {
        char range[160];
        describe_range(limit.range, range, sizeof range);
        refuse_atf({"analyzer file", at.path, at.line},
                   "the threshold %g of the %s is outside its range: it must be %s", a.threshold,
                   limit.name, range);
        return false;
    }
    if (a.print_flags & kPrintFile) {
        if (!open_file_named(a.out_file, a.out_name, "w")) {
            char what[kTokenSize + 100];
            std::snprintf(what, sizeof what, "the output file %s cannot be opened for writing",
                          a.out_name);
            return bad_line(at, what);
        }
    }
    return true;
}

}  // namespace

void read_analyzer_file(run_state& rs, const char* file_name) {
    release_analyzers(rs);
    file_object f;
    if (file_name == nullptr || file_name[0] == '\0' || !open_file_named(f, file_name, "r")) {
        std::printf("Error: the analyzer file %s (card ANALYZERS) cannot be opened.\n",
                    file_name != nullptr ? file_name : "");
        set_error(kErrorPrinted);
        return;
    }
    auto list = std::unique_ptr<analyzer_list, analyzer_list_release>(new analyzer_list());
    text_line line;
    int number = 0;
    while (read_line(line, f)) {
        ++number;
        char* text = line;
        if (text[0] == '#') continue;
        char token[kTokenSize] = {};
        next_word(text, token);
        const int type = parse_analyzer_type(token);
        if (type != kType1DS && type != kType2DS) continue;
        auto a = std::make_unique<analyzer>();
        if (!parse_line(rs, text, type, *a, line_place{file_name, number}, *list)) {
            close_file_object(a->out_file);
            close_file_object(f);
            return;  // the list and its open files are released here
        }
        list->items.push_back(std::move(a));
    }
    close_file_object(f);
    if (!rs.quiet) std::printf("Set up %d analyzers...\n", static_cast<int>(list->items.size()));
    rs.analyzers = std::move(list);
}
