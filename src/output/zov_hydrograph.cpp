#include "output/zov_hydrograph.h"
#include "core/text.h"

namespace {

// Ten values to a line: "%11.4lf" then a blank, or a line end after every tenth.
void put_value(FILE* out, double v, long k) {
    std::fprintf(out, "%11.4lf", v);
    std::fputc(k % 10 == 0 ? '\n' : ' ', out);
}

// The number after the first on a table row (the discharge after the time);
// false when the row holds no such number.
bool value_after_time(char* row, int index, double& v) {
    char* cursor = row;
    char token[kTokenSize];
    for (int k = 0; k <= index; ++k) {
        if (!next_word_at(cursor, token)) return false;
    }
    return parse_real_token(token, v) == number_status::ok;
}

}  // namespace

void write_zov_hydrograph(file_object& series, FILE* out, file_object& points,
                          const std::vector<std::string>& point_headers, long start_date,
                          long start_time, long steps_per_output, long rows) {
    const long n = points.is_open() ? static_cast<long>(point_headers.size()) : 0;
    std::fprintf(out, "PLUVIAX_ZOV_HYDROGRAPH_FILE\n");
    std::fprintf(out, "%ld\n%ld\n%ld\n%ld\n%ld\n", n, start_date, start_time, steps_per_output,
                 rows);
    for (long i = 0; i < n; ++i) std::fprintf(out, "%s\n", point_headers[static_cast<size_t>(i)].c_str());

    text_line line;
    long written = 0;
    for (long r = 0; r < rows; ++r) {
        if (!read_line(line, series)) break;
        double q = 0.0;
        if (!value_after_time(line.data(), 1, q)) continue;
        put_value(out, q, ++written);
    }
    if (n == 0) return;

    // Location rows into a rows x n table (a missing row or value stays out).
    std::vector<std::vector<double>> table(static_cast<size_t>(n));
    for (long r = 0; r < rows; ++r) {
        if (!read_line(line, points)) break;
        for (long i = 0; i < n; ++i) {
            double q = 0.0;
            if (value_after_time(line.data(), static_cast<int>(i) + 1, q))
                table[static_cast<size_t>(i)].push_back(q);
        }
    }
    for (long i = 0; i < n; ++i) {
        std::fputc('\n', out);
        long k = 0;
        for (double q : table[static_cast<size_t>(i)]) put_value(out, q, ++k);
    }
}
