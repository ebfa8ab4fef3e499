// Node tests of the analyzers and their report text.
#include "output/logical_op.h"

#include <cstdarg>
#include <cstdio>

#include "core/dates.h"
#include "core/file_object.h"
#include "core/file_write.h"

namespace {

// Appends printf-formatted text to `out`.
void append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append(std::string& out, const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof buffer) {
        out.append(buffer, static_cast<size_t>(n));
        return;
    }
    std::vector<char> big(static_cast<size_t>(n) + 1);
    va_start(args, format);
    std::vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    out.append(big.data(), static_cast<size_t>(n));
}

// Text of a comparison with its threshold.
std::string test_words(int kind, double threshold) {
    static const char* const kFormats[] = {"< %4.6lf", "> %4.6lf", "== %4.6lf", "<= %4.6lf",
                                           ">= %4.6lf"};
    std::string text;
    append(text, kFormats[kind], threshold);
    return text;
}

// True when value v passes the comparison of `kind` with x.
bool passes(int kind, double v, double x) {
    switch (kind) {
        case kOpLess:
            return v < x;
        case kOpGreater:
            return v > x;
        case kOpEqual:
            return v == x;
        case kOpLessEqual:
            return v <= x;
        case kOpGreaterEqual:
            return v >= x;
        default:
            return false;
    }
}

}  // namespace

std::string analyzer_date_text(double julian) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    double seconds = 0.0;
    julian_to_date(julian, year, month, day, hour, minute, seconds);
    std::string text;
    append(text, "%02d-%02d-%4d, %d:%d:%2.0lf", month, day, year, hour, minute, seconds);
    return text;
}

std::string analyzer_moment_text(int mask, double julian) {
    static const struct {
        int bit;
        const char* format;
    } kMoments[] = {
        {1, "%s"},
        {2, "the beginning of an event at %s"},
        {4, "the end of an event at %s"},
        {8, "the beginning of the simulation at %s"},
        {16, "the end of simulation at %s"},
        {32, "the program crash point at %s"},
    };
    const std::string date = analyzer_date_text(julian);
    const char* format = "%s";
    for (const auto& m : kMoments) {
        if ((mask & m.bit) == 0) continue;
        format = m.format;
        break;
    }
    std::string text;
    append(text, format, date.c_str());
    return text;
}

void logical_op::bind_shape(int links, const std::vector<int>& nodes_per_link, int stride,
                            const double* time, const char* name) {
    links_ = links;
    nodes_ = nodes_per_link;
    stride_ = stride;
    time_ = time;
    name_ = name != nullptr ? name : "";
    passed_.assign(static_cast<size_t>(stride) * (static_cast<size_t>(links) + 1), 0);
}

bool logical_op::run_test(int kind, double threshold) {
    if (kind < kOpLess || kind > kOpGreaterEqual || time_ == nullptr) return false;
    bool any = false;
    for (int i = 1; i <= links_; ++i) {
        for (int j = 1; j <= nodes_[static_cast<size_t>(i)]; ++j) {
            const bool p = passes(kind, test_value(i, j), threshold);
            passed_[flag_index(i, j)] = p ? 1 : 0;
            any = any || p;
        }
    }
    test_text_ = test_words(kind, threshold);
    test_time_ = *time_;
    return any;
}

std::string logical_op::report_text(int print_flags, int mask) {
    const bool only_passed = (print_flags & kPrintPassedOnly) != 0;
    const bool link_rows = (print_flags & kPrintLinkRows) != 0;
    const bool logic = (print_flags & kPrintLogic) != 0;
    const bool values = (print_flags & kPrintValues) != 0;
    // A value report shows the array now; a logic-test report the time of its test.
    if (!logic && time_ != nullptr) test_time_ = *time_;
    const std::string moment = analyzer_moment_text(mask, test_time_);

    std::string text;
    if (logic)
        append(
            text,
            "\n\nResults for logic test of the 2D stream array %s at %s.  Nodes with values %s:\n",
            name_.c_str(), moment.c_str(), test_text_.c_str());
    else
        append(text, "\n\nValues in the 2D stream array %s at %s: \n", name_.c_str(),
               moment.c_str());

    int total = 0, passed_count = 0;
    for (int i = 1; i <= links_; ++i) {
        if (link_rows) append(text, "%4d:", i);
        for (int j = 1; j <= nodes_[static_cast<size_t>(i)]; ++j) {
            ++total;
            const bool p = passed(i, j);
            if (p) ++passed_count;  // counted in every layout
            if (only_passed) {
                if (!p) continue;
                append(text, "Link %3d, Node %3d", i, j);
                if (values)
                    append(text, ":  %14.6lf\n", shown_value(i, j));
                else
                    text += "\n";
            } else if (logic || values) {
                append(text, p ? "[T, %6.4lf]" : "[F, %6.4lf]", shown_value(i, j));
            } else {
                text += p ? "T" : "F";
            }
        }
        if (link_rows) text += "\n";
    }
    if (logic)
        append(text, "====> %d out of %d nodes passed the logic test.\n", passed_count, total);
    return text;
}

void logical_op::print_results(int print_flags, int mask, file_object* file) {
    const std::string text = report_text(print_flags, mask);
    if ((print_flags & kPrintFile) && file != nullptr && file->is_open())
        file_printf(*file, "%s", text.c_str());
    if (print_flags & kPrintConsole) std::fputs(text.c_str(), stdout);
}

bool st1d_logical_op::bind(const std::vector<double>* values, int links,
                           const std::vector<int>& nodes_per_link, int stride, const double* time,
                           const char* name) {
    const size_t need = static_cast<size_t>(stride) * (static_cast<size_t>(links) + 1);
    if (values == nullptr || values->size() < need || links < 0 ||
        nodes_per_link.size() < static_cast<size_t>(links) + 1)
        return false;
    for (int i = 1; i <= links; ++i)
        if (nodes_per_link[static_cast<size_t>(i)] >= stride) return false;
    values_ = values;
    bind_shape(links, nodes_per_link, stride, time, name);
    return true;
}

bool st2d_logical_op::bind(const node_array* values, int links,
                           const std::vector<int>& nodes_per_link, const double* time,
                           const char* name) {
    if (values == nullptr || links < 0 || nodes_per_link.size() < static_cast<size_t>(links) + 1)
        return false;
    int most = 0;
    for (int i = 1; i <= links; ++i) {
        const int n = nodes_per_link[static_cast<size_t>(i)];
        if (n > 0 && !values->has(n, i)) return false;
        if (n > most) most = n;
    }
    values_ = values;
    modified_.assign(values->rows(), values->cols(), 0.0);
    bind_shape(links, nodes_per_link, most + 1, time, name);
    return true;
}

void st2d_logical_op::set_modifier(int kind, const node_array* second) {
    modifier_ = kind;
    second_ = second;
}

double st2d_logical_op::value_with_modifier(int link, int node) {
    const size_t n = static_cast<size_t>(node), l = static_cast<size_t>(link);
    double v = (*values_)(n, l);
    if (second_ != nullptr && second_->has(node, link)) {
        const double s = (*second_)(n, l);
        switch (modifier_) {
            case kOpAdd:
                v += s;
                break;
            case kOpSubtract:
                v -= s;
                break;
            case kOpMultiply:
                v *= s;
                break;
            case kOpDivide:
                v = s == 0.0 ? kDivideByZeroValue : v / s;
                break;
            default:
                break;
        }
    }
    modified_(n, l) = v;
    return v;
}
