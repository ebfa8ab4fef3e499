// Replacement values: bracketed names in input lines replaced by values
// from one row of a values file, or by the trial values of a calibration.
#pragma once

struct file_object;

struct replace_pair {
    char token[28] = {};        // bracketed name including both brackets
    int token_length = 0;       // characters of the token
    char format[12] = {};       // print format of the value, e.g. "%4.2lf"
    int value_type = 0;         // 0 integer, 1 real, 2 text
    double real_value = 0.0;    // value when real
    int int_value = 0;          // value when integer
    char text_value[250] = {};  // value when text
    unsigned char used = 0;     // 1 once a substitution used the entry
    replace_pair* next = nullptr;
};

extern replace_pair* replace_list;   // entries in parameter-file order
extern int replace_active;           // 1: every input line is substituted
extern int replace_count;            // substitutions since the last reset

// Value types of an entry.
constexpr int kReplaceInteger = 0;
constexpr int kReplaceReal = 1;
constexpr int kReplaceText = 2;

// Line buffer size (characters including the NUL) assumed by the callers that
// give none (read_line gives the line filter at least this much room).
constexpr int kReplaceLineSize = 25000;

// Reads the parameter-list file into the replacement list: 0, or -1 when the
// file or its count cannot be read or it ends early. A malformed parameter
// line is reported and skipped; `first_malformed` (when given) receives the
// file line (the count is line 1) of the first one, or 0.
int read_replace_params(const char* path, int* first_malformed = nullptr);
int parse_replace_param(char* line);
int read_replace_vals(const char* path);
// Substitutes every known bracketed name of `line`, a buffer of `size`
// characters. A line that would not fit its buffer after substitution is
// refused with a message and left as it was.
void replace_pairs_in_line(char* line, int size = kReplaceLineSize);
// The line filter installed in the token readers once replacement values are
// read: substitutes while replace_active is 1.
void replace_line_filter(char* line, int size);
// Replaces the token at `position` when an entry matches: 1 replaced (length
// updated), 0 no entry matches, -1 the result would not fit `size` characters
// including the NUL (line unchanged).
int replace_pair_at(char* line, int position, int& length, int size = kReplaceLineSize);
void print_replace_values(file_object& f);
void print_replace_usage(file_object& f);
void free_replace_params();

// True when `format` holds exactly one conversion, and of the given value type
// ("%d" with flags and width for integers, "%f"/"%lf" with flags, width and
// precision for reals, "%s" with flags, width and precision for texts; width
// and precision of at most two digits; "%%" is literal).
bool replace_format_is_safe(const char* format, int value_type);
// The entry's value printed with its format into `out`; returns the length
// the full text needs (as snprintf), or -1 when the format is not safe.
int format_replace_value(const replace_pair& p, char* out, int out_size);
