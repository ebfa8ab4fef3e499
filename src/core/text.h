// Line and token readers shared by every input format.
//
// Lines are read whole, whatever their length, into a text_line that grows as
// needed; one trailing newline is cut, and one carriage return before it (so
// files with CR LF line ends read like files with LF line ends). Tokens are
// separated by blanks, tabs, commas and newlines; a token that starts with a
// double quote runs to the closing quote. Every line read passes through the
// line filter when one is installed (the input layer installs its
// replacement-values step there). A token longer than kTokenSize - 1
// characters is cut to that length (the whole token is still taken off the
// line); same_keyword compares the first tokens of at most the first
// kTokenSize - 1 characters of each text and is reentrant. next_int clamps
// values beyond the int range; the checked readers below refuse such values
// (and NaN or infinite reals) instead.
#pragma once

#include <cfloat>
#include <cstddef>
#include <cstdio>

struct file_object;

constexpr int kTokenSize = 1024;   // token buffer size including the NUL

// One line of text of any length: a NUL-terminated buffer owned by the line,
// modifiable in place (the token readers shorten it from the front). It
// converts to char* for the token readers; that pointer stays valid until the
// next read_line, reserve or assign on the same line, which may move the text.
class text_line {
public:
    text_line();
    explicit text_line(const char* text);
    ~text_line();
    text_line(const text_line&) = delete;
    text_line& operator=(const text_line&) = delete;

    char* data() { return text_; }
    const char* c_str() const { return text_; }
    operator char*() { return text_; }
    // Bytes of the buffer including the NUL.
    std::size_t room() const { return room_; }
    // Makes the buffer hold at least `bytes` bytes (NUL included), keeping the text.
    void reserve(std::size_t bytes);
    // Replaces the text by a copy of `text`.
    void assign(const char* text);
    // True when the last read_line cut a carriage return from the end of the line.
    bool cr_cut() const { return cr_cut_; }

private:
    char* text_ = nullptr;    // malloc'd buffer holding the NUL-terminated text
    std::size_t room_ = 0;    // bytes allocated at text_
    bool cr_cut_ = false;     // see cr_cut()
    friend int read_line(text_line& line, file_object& f);
};

// A filter applied to every line read: `line` holds the text without its
// line end, `size` is the room of its buffer in bytes including the NUL, so a
// filter may lengthen the line in place up to size - 1 characters. read_line
// gives at least 25000 bytes and at least the line's length plus 512 bytes
// for every '[' on it (room for a bracketed name to become a value of up to
// 511 characters).
using line_filter_fn = void (*)(char* line, int size);
// Installs the filter (nullptr removes it).
void set_line_filter(line_filter_fn filter);

// Reads the next whole line of `f` into `line` (newline and one carriage
// return before it cut, filter applied); 1 when a line was read, 0 at the end
// of the file or for a closed file (the line is then empty).
int read_line(text_line& line, file_object& f);
// The next token of a stream of white-space separated words, taken as "%Ns"
// of scanf takes it (N = token_size - 1): white space (blank, tab, newline,
// vertical tab, form feed, carriage return) skipped, then at most N other
// characters into `token`, a longer run of them giving several tokens; the
// white space after it is left on the stream. Reads the stream's buffer
// without taking its lock for every character: the caller holds it
// (flockfile) or is the stream's only user. Returns the token's length, or
// -1 at the end of the file.
int read_stream_token(std::FILE* in, char* token, int token_size);
// The same, adding to `newlines` the line ends skipped before the token (so a
// caller that starts at a line's beginning knows the line the token is on).
int read_stream_token(std::FILE* in, char* token, int token_size, int& newlines);

// Holds the lock of a stream for the unlocked reads of read_stream_token.
class stream_lock {
public:
    explicit stream_lock(std::FILE* in) : in_(in) { flockfile(in_); }
    ~stream_lock() { funlockfile(in_); }
    stream_lock(const stream_lock&) = delete;
    stream_lock& operator=(const stream_lock&) = delete;

private:
    std::FILE* in_;   // the locked stream
};
int cut_front(char* text, int n);
void strip_quotes(char* text);
int next_word(char* line, char* token);
// next_word without shortening the line: takes the token at `cursor` and moves
// `cursor` past it and the separators after it (quotes still become blanks).
// Walking a long line this way costs its length once, where popping every
// token off the front would move the rest of the line for each token.
int next_word_at(char*& cursor, char* token);
int next_double(char* line, double& value);
int next_int(char* line, int& value);
char* second_word(char* line);
bool same_keyword(const char* a, const char* b);

// Outcome of a checked number read.
enum class number_status {
    ok,            // the whole token is a number of the asked kind, stored in the target
    missing,       // no token left on the line
    not_number,    // the token is not (wholly) a number of the asked kind
    not_finite,    // a real that is NaN, infinite or beyond the double range
    out_of_range,  // an integer beyond the int range
    outside_field, // a number outside the range of its field (number_range)
};

// The whole token as a finite real; the target is set to 0 unless the result is ok.
number_status parse_real_token(const char* token, double& value);
// The same for the text [start, stop) of a longer line (a carriage return
// may end it); the character at `stop` must be one no number continues into
// (a separator or the end of the text).
number_status parse_real_span(const char* start, const char* stop, double& value);
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

// ---------------------------------------------------------------------------
// The checked number reader. Every number an input file gives goes through
// here: the whole token must be a number of the asked kind (an int for
// counts, IDs, rows, columns and codes), finite, and inside the range of its
// field; anything else is refused with a message that names the file, the
// line (or the row and column of a grid) and the field. Nothing is ever read
// as 0 because it did not parse.

// The values a field accepts: low .. high, each end included unless open.
struct number_range {
    double low = -DBL_MAX;
    double high = DBL_MAX;
    bool low_open = false;    // true: the value must be above `low`
    bool high_open = false;   // true: the value must be below `high`
};
constexpr number_range kAnyNumber{};
// [low, +max]
constexpr number_range at_least(double low) { return {low, DBL_MAX, false, false}; }
// (low, +max]
constexpr number_range above(double low) { return {low, DBL_MAX, true, false}; }
// [low, high]
constexpr number_range closed_range(double low, double high) { return {low, high, false, false}; }
// (low, high)
constexpr number_range open_range(double low, double high) { return {low, high, true, true}; }
// (low, high]
constexpr number_range above_to(double low, double high) { return {low, high, true, false}; }
// [low, high)
constexpr number_range from_below(double low, double high) { return {low, high, false, true}; }

// Physical bounds shared by several readers: an elevation of the earth's
// surface or of water on or under it (m, the deepest sea floor to above the
// highest summit) and an air temperature near the ground (degrees C).
constexpr number_range kElevationMetres = closed_range(-11000.0, 9000.0);
constexpr number_range kAirTemperatureC = closed_range(-80.0, 60.0);
// A point inflow or withdrawal (m3/s, negative: water taken), within the
// discharge of the largest rivers, and a constituent concentration in water
// (g/m3), at most the density of water.
constexpr number_range kPointFlowM3s = closed_range(-1.0e6, 1.0e6);
constexpr number_range kConcentrationGm3 = closed_range(0.0, 1.0e6);

// True when `value` lies in `range`.
bool in_range(double value, const number_range& range);

// A numeric field of an input file: its name in messages and its range.
struct number_field {
    const char* name;           // e.g. "porosity", "width of low spot 3"
    number_range range = kAnyNumber;
};

// The whole token as a finite real / an int inside `range`. On any status
// but ok the target is set to 0, except outside_field, where it holds the
// value read (for a message that wants it).
number_status check_real_token(const char* token, const number_range& range, double& value);
number_status check_int_token(const char* token, const number_range& range, int& value);

// The sentence about a number that failed, without the place and without a
// full stop: "the porosity is missing", "the porosity \"l.0\" is not a
// number", "... is not finite", "... is outside the int range", "the porosity
// 1.2 is outside its range: it must be above 0 and below 1". The token is
// shown with at most 63 characters.
void describe_number_fault(number_status status, const char* field, const char* token,
                           const number_range& range, char* out, std::size_t size);
// "above 0 and below 1", "at least 0", "at most 5", "any number" for messages.
void describe_range(const number_range& range, char* out, std::size_t size);

// Where a number stands in its file, for the message: "<kind> <path>" and,
// when known, ", line <line>", ", card <card>", ", row <row>", ", column <col>".
struct input_place {
    const char* kind = "file";   // what the file is: "low-spot file", "map", ...
    const char* path = "";       // its name as given
    int line = 0;                // line number from 1; 0 when not given
    const char* card = nullptr;  // keyword of the line, when the file has cards
    int row = 0;                 // grid row and column from 1; 0 when not given
    int col = 0;
};

// Formats the place as above into `out` (no trailing punctuation).
void describe_place(const input_place& at, char* out, std::size_t size);

// Prints "Error: <place>: <text>.\n" (console and the summary file) and sets
// error_record.code to 4000 (message printed); the caller returns its
// failure and the run driver stops the run at its next check.
void refuse_at(const input_place& at, const char* text);
// The same with a printf format for the text.
void refuse_atf(const input_place& at, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

// Checks `token` for `field`; on failure refuses it at `at` (refuse_at)
// and returns false.
bool take_real(const char* token, const number_field& field, const input_place& at,
               double& value);
bool take_int(const char* token, const number_field& field, const input_place& at, int& value);
// Pops the next plain token off `line` (the rules of next_checked_double)
// and takes it as above.
bool read_real(char* line, const number_field& field, const input_place& at, double& value);
bool read_int(char* line, const number_field& field, const input_place& at, int& value);
// The same at a cursor that walks a long line (next_word_at moves it).
bool read_real_at(char*& cursor, const number_field& field, const input_place& at,
                  double& value);
bool read_int_at(char*& cursor, const number_field& field, const input_place& at, int& value);

// The next real of a long line at `cursor`, which moves past it and the
// separators after it, parsed where it stands (no copy) and checked as
// check_real_token does with kAnyNumber; `missing` when the line holds no
// more tokens. For any status but ok and missing, `token` receives the
// token's text (cut to kTokenSize - 1 characters) for the message. For the
// rows of large maps.
number_status next_real_at(char*& cursor, double& value, char* token);

// The second token of a line "KEYWORD n" (the token rules of next_word) as
// a whole int: the status of parse_int_token (missing when the line has no
// second token). The line is left as it was.
number_status parse_keyword_int(const char* line, int& value);

// Next whole number of an integer map or list read token by token from the
// stream (the caller holds its lock, stream_lock): ok, missing at the end of
// the file, or not_number / out_of_range with the text in `token`
// (token_size characters); a token longer than the buffer is not_number and
// is taken off the stream whole. `line` counts the line ends passed.
number_status next_stream_int(std::FILE* in, int& value, char* token, int token_size, int& line);

// Bytes from the stream's position to its end (the position is kept); -1
// when the stream cannot tell. Counts at the head of a list are bounded by
// what the rest of the file can hold.
long stream_bytes_left(std::FILE* in);

// Reader of a list of whole numbers separated by any white space (the
// location lists of the outputs): a count of entries, then the numbers of
// each entry. Every refusal names the file, the line and the value.
class number_list {
public:
    // `kind` names the file in messages ("location file").
    number_list(file_object& f, const char* kind);
    ~number_list();
    number_list(const number_list&) = delete;
    number_list& operator=(const number_list&) = delete;

    // A count of the list: a whole number from 0 to `most`. The caller grows
    // its tables entry by entry as they are read, so a count larger than the
    // file can fill ends at the end of the file, not in a huge allocation.
    bool count(int& n, long long most, const char* what = "number of entries",
               const char* end_text = nullptr);
    // The next number of the list, named `what` in messages; at the end of
    // the file `end_text`, when given, is printed before the refusal.
    bool next(int& v, const char* what, const char* end_text = nullptr);
    int line() const { return line_; }

private:
    file_object& f_;
    const char* kind_;
    int line_ = 1;   // line of the next token
};

// The next whole int of a line at `cursor` (the token rules of next_word_at,
// which moves it); `token` (kTokenSize characters) receives the token text.
number_status next_int_at(char*& cursor, int& value, char* token);

// Command-line and environment numbers: the whole text as a decimal int in
// [low, high]; false (value unchanged) otherwise.
bool parse_int_text(const char* text, int low, int high, int& value);
