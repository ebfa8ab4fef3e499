// Line and token readers shared by every input format.
//
// Tokens are separated by blanks, tabs, commas and newlines; a token that
// starts with a double quote runs to the closing quote. Every line read
// passes through the line filter when one is installed (the input layer
// installs its replacement-values step there). A token longer
// than kTokenSize - 1 characters is cut to that length (the whole token is
// still taken off the line); same_keyword compares the first tokens of at
// most the first kTokenSize - 1 characters of each text and is reentrant.
// next_int clamps values beyond the int range; the checked readers below
// refuse such values (and NaN or infinite reals) instead.
#pragma once

struct file_object;

constexpr int kLineSize = 25000;   // line buffer size including the NUL
constexpr int kTokenSize = 1024;   // token buffer size including the NUL

// A filter applied to every line read: `line` holds the text without its
// newline, `size` is the buffer size in bytes including the NUL.
using line_filter_fn = void (*)(char* line, int size);
// Installs the filter (nullptr removes it).
void set_line_filter(line_filter_fn filter);

int read_line(char* buffer, file_object& f);
int read_line_n(char* buffer, file_object& f, int size);
int cut_front(char* text, int n);
void strip_quotes(char* text);
int next_word(char* line, char* token);
int next_double(char* line, double& value);
int next_int(char* line, int& value);
char* second_word(char* line);
bool same_keyword(const char* a, const char* b);

// True when the whole token is a number (a carriage return left at its end is
// allowed); the value in `value`. "0,05", "0.05x" and "abc" are not numbers.
bool parse_whole_number(const char* token, double& value);

// Outcome of a checked number read.
enum class number_status {
    ok,            // the whole token is a number of the asked kind, stored in the target
    missing,       // no token left on the line
    not_number,    // the token is not (wholly) a number of the asked kind
    not_finite,    // a real that is NaN, infinite or beyond the double range
    out_of_range,  // an integer beyond the int range
};

// The whole token as a finite real; the target is set to 0 unless the result is ok.
number_status parse_real_token(const char* token, double& value);
// The whole token as a decimal integer within the int range; the target is
// set to 0 unless the result is ok.
number_status parse_int_token(const char* token, int& value);
// Pop the next plain token off the line, as next_double and next_int do, and
// check it as above. `token` (kTokenSize characters) receives the token text
// for messages (empty when none is left).
number_status next_checked_double(char* line, double& value, char* token);
number_status next_checked_int(char* line, int& value, char* token);
// The end of a message sentence about a number that failed: "is missing",
// "is not a number", "is not finite" or "is outside the int range".
const char* number_status_words(number_status status);
