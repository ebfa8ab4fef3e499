// Line and token readers shared by every input format.
//
// A reader takes one whole line with read_line and then pops its tokens off
// the front of the buffer one after the other; after every pop the buffer begins
// with the next token. Tokens are cut to kTokenSize - 1 characters so that a
// long token never overruns the caller's token buffer; the whole token is
// still consumed from the line.
#include "core/text.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstddef>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/types.h>
#include <system_error>

#include "core/error.h"
#include "core/file_object.h"

namespace {

// Separators of the token readers: blank, tab, comma, newline (not CR).
inline bool is_token_sep(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\n'; }

// Separators of second_word: blank, tab, newline (the comma is part of a word).
inline bool is_word_sep(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Copies at most kTokenSize - 1 characters of src[0..len) into token and terminates it.
void copy_token(char* token, const char* src, size_t len) {
    if (len > static_cast<size_t>(kTokenSize - 1)) len = kTokenSize - 1;
    std::memcpy(token, src, len);
    token[len] = '\0';
}

// Finds the plain token at the front of line (after separators). Sets start and
// end (one past the last character); returns false when only separators remain.
bool find_plain_token(const char* line, size_t& start, size_t& end) {
    size_t p = 0;
    while (is_token_sep(line[p])) ++p;
    if (line[p] == '\0') return false;
    start = p;
    while (line[p] != '\0' && !is_token_sep(line[p])) ++p;
    end = p;
    return true;
}

// Removes the token ending at `end` and the separators after it from the line.
void drop_through(char* line, size_t end) {
    while (is_token_sep(line[end])) ++end;
    cut_front(line, static_cast<int>(end));
}

// Pops the plain token at the front of line into token (cut to kTokenSize - 1
// characters); false when line is null or holds only separators.
bool pop_plain_token(char* line, char* token) {
    if (line == nullptr) return false;
    size_t start = 0;
    size_t end = 0;
    if (!find_plain_token(line, start, end)) return false;
    copy_token(token, line + start, end - start);
    drop_through(line, end);
    return true;
}

// Lower-cases the letters A to Z only (locale-independent).
void lower_ascii(char* text) {
    for (char* c = text; *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    }
}

}  // namespace

namespace {
line_filter_fn installed_line_filter = nullptr;

constexpr std::size_t kInitialLineRoom = 256;      // bytes of a new line's buffer
constexpr std::size_t kMinFilterRoom = 25000;      // bytes always given to the line filter
constexpr std::size_t kFilterRoomPerBracket = 512; // extra bytes per '[' for the filter

// Room (bytes, NUL included) handed to the line filter for a line of `length`
// characters: enough for every bracketed name on it to become a long value.
std::size_t filter_room(const char* text, std::size_t length) {
    std::size_t brackets = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == '[') ++brackets;
    }
    std::size_t room = length + 1 + brackets * kFilterRoomPerBracket;
    if (room < kMinFilterRoom) room = kMinFilterRoom;
    const std::size_t most = static_cast<std::size_t>(INT_MAX);
    return room < most ? room : most;
}

// Allocates `bytes` bytes or stops the program: a line that does not fit in
// memory cannot be read at all.
char* grow_buffer(char* old, std::size_t bytes) {
    char* p = static_cast<char*>(std::realloc(old, bytes));
    if (p == nullptr) {
        std::fprintf(stderr, "Error: out of memory reading a line of %zu bytes\n", bytes);
        std::abort();
    }
    return p;
}

}  // namespace

text_line::text_line() : text_(grow_buffer(nullptr, kInitialLineRoom)), room_(kInitialLineRoom) {
    text_[0] = '\0';
}

text_line::text_line(const char* text) : text_line() { assign(text); }

text_line::~text_line() { std::free(text_); }

void text_line::reserve(std::size_t bytes) {
    if (bytes <= room_) return;
    text_ = grow_buffer(text_, bytes);
    room_ = bytes;
}

void text_line::assign(const char* text) {
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    reserve(length + 1);
    if (length > 0) std::memcpy(text_, text, length);
    text_[length] = '\0';
}

void set_line_filter(line_filter_fn filter) { installed_line_filter = filter; }

int read_line(text_line& line, file_object& f) {
    line.text_[0] = '\0';
    line.cr_cut_ = false;
    if (f.handle == nullptr || std::feof(f.handle)) return 0;
    // getline grows the buffer (realloc) to hold the whole line.
    const ssize_t got = getline(&line.text_, &line.room_, f.handle);
    if (got <= 0) {
        line.text_[0] = '\0';
        return 0;
    }
    std::size_t length = static_cast<std::size_t>(got);
    if (line.text_[length - 1] == '\n') line.text_[--length] = '\0';
    if (length > 0 && line.text_[length - 1] == '\r') {
        line.text_[--length] = '\0';
        line.cr_cut_ = true;
    }
    if (installed_line_filter != nullptr) {
        const std::size_t room = filter_room(line.text_, length);
        line.reserve(room);
        installed_line_filter(line.text_, static_cast<int>(room));
    }
    return 1;
}

namespace {

// White space as "%s" of scanf skips it in the C locale.
inline bool is_scan_space(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int read_stream_token(std::FILE* in, char* token, int token_size, int& newlines) {
    int ends = 0;   // line ends skipped, kept in a register while the stream is read
    int c = getc_unlocked(in);
    while (is_scan_space(c)) {
        ends += c == '\n';
        c = getc_unlocked(in);
    }
    newlines += ends;
    if (c == EOF) return -1;
    int length = 0;
    while (c != EOF && !is_scan_space(c)) {
        token[length++] = static_cast<char>(c);
        if (length == token_size - 1) break;
        c = getc_unlocked(in);
    }
    if (length < token_size - 1 && c != EOF) ungetc(c, in);
    token[length] = '\0';
    return length;
}

int read_stream_token(std::FILE* in, char* token, int token_size) {
    int newlines = 0;
    return read_stream_token(in, token, token_size, newlines);
}

int cut_front(char* text, int n) {
    if (text == nullptr || text[0] == '\0') return -1;
    size_t len = std::strlen(text);
    if (n >= 1 && static_cast<size_t>(n) <= len) {
        std::memmove(text, text + n, len - static_cast<size_t>(n) + 1);
    } else {
        text[0] = '\0';
    }
    return 0;
}

void strip_quotes(char* text) {
    if (text == nullptr || text[0] == '\0') return;
    if (text[0] == '"') cut_front(text, 1);
    size_t len = std::strlen(text);
    if (len > 0 && text[len - 1] == '"') text[len - 1] = '\0';
}

namespace {

// The token at the front of `line` by the rules of next_word, copied into
// `token`; `used` is set to the characters the token and the separators after
// it take up. 0 when the line holds no token (`token` empty).
int take_word(char* line, char* token, size_t& used) {
    token[0] = '\0';
    used = 0;
    if (line == nullptr) return 0;
    size_t p = 0;
    while (is_token_sep(line[p])) ++p;
    if (line[p] == '\0') return 0;

    size_t start = 0;
    size_t end = 0;
    if (line[p] == '"') {
        // Quoted token: runs to the closing quote (separators included); both
        // quotes become blanks so that they end up among the skipped separators.
        line[p] = ' ';
        start = p + 1;
        end = start;
        while (line[end] != '\0' && line[end] != '"') ++end;
        if (line[end] == '"') line[end] = ' ';
    } else {
        start = p;
        end = p;
        while (line[end] != '\0' && !is_token_sep(line[end])) ++end;
    }
    if (end == start) return 0;   // "" : nothing between the quotes

    copy_token(token, line + start, end - start);
    while (is_token_sep(line[end])) ++end;
    used = end;
    return 1;
}

}  // namespace

int next_word(char* line, char* token) {
    size_t used = 0;
    if (!take_word(line, token, used)) return 0;
    cut_front(line, static_cast<int>(used));
    return 1;
}

int next_word_at(char*& cursor, char* token) {
    size_t used = 0;
    if (!take_word(cursor, token, used)) return 0;
    cursor += used;
    return 1;
}

int next_double(char* line, double& value) {
    value = 0.0;
    char token[kTokenSize];
    if (!pop_plain_token(line, token)) return 0;
    value = std::strtod(token, nullptr);   // as much of the front as forms a number, else 0
    return 1;
}

int next_int(char* line, int& value) {
    value = 0;
    char token[kTokenSize];
    if (!pop_plain_token(line, token)) return 0;
    // Decimal integer from the front of the token; out-of-range values are
    // clamped to the int range instead of wrapping.
    long v = std::strtol(token, nullptr, 10);
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    value = static_cast<int>(v);
    return 1;
}

char* second_word(char* line) {
    if (line == nullptr || line[0] == '\0') return line;
    int words = 0;
    bool in_word = false;
    size_t p = 0;
    for (; line[p] != '\0'; ++p) {
        if (is_word_sep(line[p])) {
            in_word = false;
        } else if (!in_word) {
            in_word = true;
            ++words;
            if (words == 2) return line + p;
        }
    }
    return line + p - 1;   // no second word: the last character
}

bool same_keyword(const char* a, const char* b) {
    // Local copies (each cut to kTokenSize - 1 characters) keep this reentrant.
    char copy_a[kTokenSize];
    char copy_b[kTokenSize];
    char token_a[kTokenSize];
    char token_b[kTokenSize];
    copy_token(copy_a, a ? a : "", a ? std::strlen(a) : 0);
    copy_token(copy_b, b ? b : "", b ? std::strlen(b) : 0);
    next_word(copy_a, token_a);
    next_word(copy_b, token_b);
    lower_ascii(token_a);
    lower_ascii(token_b);
    return std::strcmp(token_a, token_b) == 0;
}

number_status parse_real_span(const char* start, const char* stop, double& value) {
    value = 0.0;
    if (start == stop) return number_status::missing;
    // Plain decimals: from_chars rounds correctly like strtod and is faster.
    double v = 0.0;
    const std::from_chars_result fast = std::from_chars(start, stop, v);
    if (fast.ec == std::errc() && fast.ptr == stop) {
        if (!std::isfinite(v)) return number_status::not_finite;
        value = v;
        return number_status::ok;
    }
    // Everything else (a plus sign, hexadecimal, a value beyond the double
    // range or below the smallest normal one, a carriage return at the end,
    // words): strtod where the token stands.
    char* end = nullptr;
    errno = 0;
    v = std::strtod(start, &end);
    const bool whole = end != start && (end == stop || (end + 1 == stop && *end == '\r'));
    if (!whole) return number_status::not_number;
    // "nan", "inf" and overflow beyond the double range (ERANGE with an
    // infinite result); an underflow towards 0 is a finite value.
    if (!std::isfinite(v)) return number_status::not_finite;
    value = v;
    return number_status::ok;
}

namespace {

// The int of [start, stop) (a carriage return may end it).
number_status parse_int_span(const char* start, const char* stop, int& value) {
    value = 0;
    if (start == stop) return number_status::missing;
    // Up to 9 digits after an optional minus sign cannot leave the int range:
    // summed directly (the integer maps are read this way).
    const std::ptrdiff_t length = stop - start;
    const int first = start[0] == '-' ? 1 : 0;
    if (length > first && length - first <= 9) {
        int v = 0;
        const char* p = start + first;
        while (p < stop && *p >= '0' && *p <= '9') v = 10 * v + (*p++ - '0');
        if (p == stop) {
            value = first == 1 ? -v : v;
            return number_status::ok;
        }
    }
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(start, &end, 10);
    const bool whole = end != start && (end == stop || (end + 1 == stop && *end == '\r'));
    if (!whole) return number_status::not_number;
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX) return number_status::out_of_range;
    value = static_cast<int>(v);
    return number_status::ok;
}

}  // namespace

number_status parse_real_token(const char* token, double& value) {
    value = 0.0;
    if (token == nullptr || token[0] == '\0') return number_status::missing;
    return parse_real_span(token, token + std::strlen(token), value);
}

number_status parse_int_token(const char* token, int& value) {
    value = 0;
    if (token == nullptr || token[0] == '\0') return number_status::missing;
    return parse_int_span(token, token + std::strlen(token), value);
}

number_status next_checked_double(char* line, double& value, char* token) {
    value = 0.0;
    token[0] = '\0';
    if (!pop_plain_token(line, token)) return number_status::missing;
    return parse_real_token(token, value);
}

number_status next_checked_int(char* line, int& value, char* token) {
    value = 0;
    token[0] = '\0';
    if (!pop_plain_token(line, token)) return number_status::missing;
    return parse_int_token(token, value);
}

const char* number_status_words(number_status status) {
    switch (status) {
        case number_status::ok: return "is a number";
        case number_status::missing: return "is missing";
        case number_status::not_number: return "is not a number";
        case number_status::not_finite: return "is not finite";
        case number_status::out_of_range: return "is outside the int range";
        case number_status::outside_field: return "is outside its range";
    }
    return "";
}

// ---------------------------------------------------------------------------
// The checked number reader.

bool in_range(double value, const number_range& range) {
    if (range.low_open ? !(value > range.low) : !(value >= range.low)) return false;
    if (range.high_open ? !(value < range.high) : !(value <= range.high)) return false;
    return true;
}

number_status check_real_token(const char* token, const number_range& range, double& value) {
    const number_status s = parse_real_token(token, value);
    if (s != number_status::ok) return s;
    return in_range(value, range) ? number_status::ok : number_status::outside_field;
}

number_status check_int_token(const char* token, const number_range& range, int& value) {
    const number_status s = parse_int_token(token, value);
    if (s != number_status::ok) return s;
    return in_range(static_cast<double>(value), range) ? number_status::ok
                                                        : number_status::outside_field;
}

void describe_range(const number_range& range, char* out, std::size_t size) {
    const bool has_low = range.low > -DBL_MAX;
    const bool has_high = range.high < DBL_MAX;
    char low[64] = {};
    char high[64] = {};
    std::snprintf(low, sizeof low, "%s %.15g", range.low_open ? "above" : "at least", range.low);
    std::snprintf(high, sizeof high, "%s %.15g", range.high_open ? "below" : "at most", range.high);
    if (has_low && has_high) {
        std::snprintf(out, size, "%s and %s", low, high);
    } else if (has_low) {
        std::snprintf(out, size, "%s", low);
    } else if (has_high) {
        std::snprintf(out, size, "%s", high);
    } else {
        std::snprintf(out, size, "any number");
    }
}

void describe_number_fault(number_status status, const char* field, const char* token,
                           const number_range& range, char* out, std::size_t size) {
    const char* name = field != nullptr ? field : "value";
    const char* text = token != nullptr ? token : "";
    if (status == number_status::missing) {
        std::snprintf(out, size, "the %s is missing", name);
    } else if (status == number_status::outside_field) {
        char rule[160];
        describe_range(range, rule, sizeof rule);
        std::snprintf(out, size, "the %s %.63s is outside its range: it must be %s", name, text,
                      rule);
    } else {
        std::snprintf(out, size, "the %s \"%.63s\" %s", name, text, number_status_words(status));
    }
}

void describe_place(const input_place& at, char* out, std::size_t size) {
    int n = std::snprintf(out, size, "%s %s", at.kind != nullptr ? at.kind : "file",
                          at.path != nullptr ? at.path : "");
    auto more = [&](const char* format, auto... args) {
        if (n < 0 || static_cast<std::size_t>(n) >= size) return;
        n += std::snprintf(out + n, size - static_cast<std::size_t>(n), format, args...);
    };
    if (at.line > 0) more(", line %d", at.line);
    if (at.card != nullptr && at.card[0] != '\0') more(", card %s", at.card);
    if (at.row > 0) more(", row %d", at.row);
    if (at.col > 0) more(", column %d", at.col);
}

void refuse_at(const input_place& at, const char* text) {
    char place[1400];
    describe_place(at, place, sizeof place);
    std::string message = "Error: ";
    message += place;
    message += ": ";
    message += text != nullptr ? text : "";
    message += ".\n";
    write_report_text(current_summary_file, message.c_str());
    error_record.code = kErrorPrinted;
}

void refuse_atf(const input_place& at, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    refuse_at(at, text);
}

namespace {

// The refusal of a checked read that did not give ok; false.
bool refuse_number(number_status s, const char* token, const number_field& field,
                   const input_place& at) {
    if (s == number_status::ok) return true;
    char text[512];
    describe_number_fault(s, field.name, token, field.range, text, sizeof text);
    refuse_at(at, text);
    return false;
}

}  // namespace

bool take_real(const char* token, const number_field& field, const input_place& at,
               double& value) {
    return refuse_number(check_real_token(token, field.range, value), token, field, at);
}

bool take_int(const char* token, const number_field& field, const input_place& at, int& value) {
    return refuse_number(check_int_token(token, field.range, value), token, field, at);
}

bool read_real(char* line, const number_field& field, const input_place& at, double& value) {
    char token[kTokenSize];
    token[0] = '\0';
    pop_plain_token(line, token);
    return take_real(token, field, at, value);
}

bool read_int(char* line, const number_field& field, const input_place& at, int& value) {
    char token[kTokenSize];
    token[0] = '\0';
    pop_plain_token(line, token);
    return take_int(token, field, at, value);
}

bool read_real_at(char*& cursor, const number_field& field, const input_place& at,
                  double& value) {
    char token[kTokenSize];
    if (!next_word_at(cursor, token)) token[0] = '\0';
    return take_real(token, field, at, value);
}

bool read_int_at(char*& cursor, const number_field& field, const input_place& at, int& value) {
    char token[kTokenSize];
    if (!next_word_at(cursor, token)) token[0] = '\0';
    return take_int(token, field, at, value);
}

number_status next_real_at(char*& cursor, double& value, char* token) {
    value = 0.0;
    char* p = cursor;
    while (is_token_sep(*p)) ++p;
    cursor = p;
    if (*p == '\0') return number_status::missing;
    if (*p == '"') {
        // Quoted tokens: the shared reader's rules (the quotes become blanks).
        if (!next_word_at(cursor, token)) return number_status::missing;
        return parse_real_token(token, value);
    }
    char* const start = p;
    while (*p != '\0' && !is_token_sep(*p)) ++p;
    char* const stop = p;   // one past the token's last character
    while (is_token_sep(*p)) ++p;
    cursor = p;
    const std::size_t length = static_cast<std::size_t>(stop - start);
    if (length > static_cast<std::size_t>(kTokenSize - 1)) {
        // Only the first kTokenSize - 1 characters count, as for a copied token.
        copy_token(token, start, length);
        return parse_real_token(token, value);
    }
    const number_status s = parse_real_span(start, stop, value);
    if (s != number_status::ok) copy_token(token, start, length);
    return s;
}

number_status parse_keyword_int(const char* line, int& value) {
    value = 0;
    if (line == nullptr) return number_status::missing;
    std::string copy(line);
    char* cursor = copy.data();
    char token[kTokenSize];
    if (!next_word_at(cursor, token) || !next_word_at(cursor, token)) return number_status::missing;
    return parse_int_token(token, value);
}

number_status next_stream_int(std::FILE* in, int& value, char* token, int token_size, int& line) {
    value = 0;
    // One pass over the stream's buffer: the line ends before the token are
    // counted, the token copied for a message (a longer one is taken whole
    // and refused) and then parsed where it was copied.
    int ends = 0;
    int c = getc_unlocked(in);
    while (is_scan_space(c)) {
        ends += c == '\n';
        c = getc_unlocked(in);
    }
    line += ends;
    if (c == EOF) {
        token[0] = '\0';
        return number_status::missing;
    }
    int length = 0;
    bool longer = false;
    const bool negative = c == '-';
    int sum = 0;          // the digits summed as they pass (up to 9 cannot leave the int range)
    int digits = 0;
    bool plain = true;    // an optional minus sign and digits only
    while (c != EOF && !is_scan_space(c)) {
        if (c >= '0' && c <= '9') {
            sum = digits < 9 ? 10 * sum + (c - '0') : sum;
            ++digits;
        } else if (!(length == 0 && negative)) {
            plain = false;
        }
        if (length < token_size - 1) {
            token[length++] = static_cast<char>(c);
        } else {
            longer = true;
        }
        c = getc_unlocked(in);
    }
    if (c != EOF) ungetc(c, in);
    token[length] = '\0';
    if (longer) return number_status::not_number;
    if (plain && digits >= 1 && digits <= 9) {
        value = negative ? -sum : sum;
        return number_status::ok;
    }
    return parse_int_span(token, token + length, value);
}

long stream_bytes_left(std::FILE* in) {
    const long here = std::ftell(in);
    if (here < 0 || std::fseek(in, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(in);
    std::fseek(in, here, SEEK_SET);
    return end >= here ? end - here : -1;
}

number_list::number_list(file_object& f, const char* kind) : f_(f), kind_(kind) {
    if (f_.handle != nullptr) flockfile(f_.handle);
}

number_list::~number_list() {
    if (f_.handle != nullptr) funlockfile(f_.handle);
}

bool number_list::next(int& v, const char* what, const char* end_text) {
    input_place at;
    at.kind = kind_;
    at.path = f_.name;
    if (f_.handle == nullptr) {
        refuse_at(at, "the file is not open");
        return false;
    }
    char token[kTokenSize];
    int line = line_;
    const number_status s = next_stream_int(f_.handle, v, token, kTokenSize, line);
    at.line = line;
    if (s == number_status::missing) {
        if (end_text != nullptr) write_report_text(current_summary_file, end_text);
        at.line = line_;
        refuse_atf(at, "the file ends before the %s", what);
        return false;
    }
    line_ = line;
    if (s != number_status::ok) {
        char why[512];
        describe_number_fault(s, what, token, kAnyNumber, why, sizeof why);
        refuse_at(at, why);
        return false;
    }
    return true;
}

bool number_list::count(int& n, long long most, const char* what, const char* end_text) {
    n = 0;
    if (!next(n, what, end_text)) return false;
    if (n < 0 || n > most) {
        input_place at;
        at.kind = kind_;
        at.path = f_.name;
        at.line = line_;
        refuse_atf(at, "the %s %d must be from 0 to %lld", what, n, most);
        n = 0;
        return false;
    }
    return true;
}

number_status next_int_at(char*& cursor, int& value, char* token) {
    value = 0;
    if (!next_word_at(cursor, token)) {
        token[0] = '\0';
        return number_status::missing;
    }
    return parse_int_token(token, value);
}

bool parse_int_text(const char* text, int low, int high, int& value) {
    int v = 0;
    if (parse_int_token(text, v) != number_status::ok || v < low || v > high) return false;
    value = v;
    return true;
}
