// Budget lines of the summary file and the guarded quotients of the balances.
#include "output/summary_format.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/file_object.h"

namespace {

constexpr int kDotColumn = 50;          // the label, its blank and the dots fill columns 1..50
constexpr int kPointOffset = 15;        // blanks before the value: 15 - point position
constexpr int kMaxPointPosition = 14;   // a point further right gets one blank
constexpr int kValueBufferSize = 64;    // work buffer of the formatted value

// 0-based position of the decimal point in the formatted value. A value
// without a point (or whose point lies beyond the work buffer) counts as
// having it just after its last character.
int point_position(const char* text, int full_length) {
    const char* dot = std::strchr(text, '.');
    return dot != nullptr ? static_cast<int>(dot - text) : full_length;
}

int put_repeated(FILE* f, char c, int count) {
    for (int i = 0; i < count; ++i) std::fputc(c, f);
    return count > 0 ? count : 0;
}

}  // namespace

int format_summary_line(file_object& file, const char* label, double value, const char* format,
                        int extra_line_ends) {
    FILE* f = file.handle;
    if (f == nullptr) return 0;
    if (label == nullptr) label = "";

    char work[kValueBufferSize];
    int full = std::snprintf(work, sizeof work, format, value);
    if (full < 0) {
        work[0] = '\0';
        full = 0;
    }
    const int p = point_position(work, full);

    const int label_length = static_cast<int>(std::strlen(label));
    int written = 0;
    std::fputs(label, f);
    std::fputc(' ', f);
    written += label_length + 1;
    if (label_length + 1 < kDotColumn) written += put_repeated(f, '.', kDotColumn - 1 - label_length);
    written += put_repeated(f, ' ', p <= kMaxPointPosition ? kPointOffset - p : 1);
    const int n = std::fprintf(f, format, value);
    if (n > 0) written += n;
    const int line_ends = 1 + (extra_line_ends > 0 ? extra_line_ends : 0);
    written += put_repeated(f, '\n', line_ends);
    return written;
}

double summary_percent(double numerator, double denominator, double threshold) {
    if (!(denominator > threshold)) return 0.0;
    const double q = numerator / denominator * 100.0;
    return std::isfinite(q) ? q : 0.0;
}
