// Budget lines of the summary file and the guarded quotients of the
// summaries' balances.
#pragma once

struct file_object;

// Decimal point of every budget line written by format_summary_line stands in
// this column (counted from 1) for labels of at most 49 characters.
constexpr int kSummaryPointColumn = 66;

// Writes one budget line: the label, one blank, dots up to column 50 (none
// for a label of 49 characters or more), blanks so that the decimal point of
// the value falls in column 66 (one blank when the point of the formatted
// value lies beyond position 14), the value formatted with `format` (a printf
// format with exactly one floating conversion, e.g. "%14.2lf"), then
// 1 + `extra_line_ends` line ends. Labels of any length are written whole;
// the value is measured in a bounded work buffer. Returns the characters
// written (0 when the file is closed).
int format_summary_line(file_object& file, const char* label, double value, const char* format,
                        int extra_line_ends);

// numerator / denominator x 100 (percent) when the denominator exceeds
// `threshold`, else 0; a quotient that is not finite is also 0, so no
// summary ever prints inf or nan for an empty balance.
double summary_percent(double numerator, double denominator, double threshold = 0.0);
