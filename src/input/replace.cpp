// Replacement values: the parameter list (names and formats), the values row
// of a run, the substitution of bracketed names in input lines and the
// reports of the values used.
#include "input/replace.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/linked_list.h"
#include "core/run_options.h"
#include "core/text.h"

replace_pair* replace_list = nullptr;
int replace_active = 0;
int replace_count = 0;

namespace {

constexpr int kParamLineSize = 255;   // a parameter line is read with at most 254 characters

void print_malformed(const char* line) {
    std::printf("Error: Improperly formatted line in the replacement parameter file\nline:%s\n", line);
}

void print_format_hint() {
    std::printf("---> The format must be a C-style format in quotes, such as \"%%4.2lf\"\n");
}

// Copies at most size-1 characters of `src` into `dst`; true when it was cut.
bool copy_cut(char* dst, const char* src, size_t length, size_t size) {
    bool cut = length > size - 1;
    if (cut) length = size - 1;
    std::memcpy(dst, src, length);
    dst[length] = '\0';
    return cut;
}

// Reads one physical line (newline and a carriage return before it removed);
// false at the end of the file.
bool read_raw_line(FILE* fp, std::string& out) {
    out.clear();
    int c = 0;
    while ((c = std::fgetc(fp)) != EOF && c != '\n') out.push_back(static_cast<char>(c));
    const bool got = !(c == EOF && out.empty());
    if (!out.empty() && out.back() == '\r') out.pop_back();
    return got;
}

// A values file that cannot give this run its row: the run stops (message printed).
void refuse_values() {
    error_record.code = kErrorPrinted;
    error_record.stop = 1;
}

void clear_values(replace_pair& p) {
    p.int_value = 0;
    p.real_value = 0.0;
    p.text_value[0] = '\0';
}

// Writes `text` to the file when it is open.
void file_text(file_object& f, const char* text) {
    if (f.handle != nullptr) std::fputs(text, f.handle);
}

// "  %-14s = " to the file and " %-14s = " to the console for an entry's token.
void print_token(file_object& f, const replace_pair& p) {
    if (f.handle != nullptr) std::fprintf(f.handle, "  %-14s = ", p.token);
    print_message(" %-14s = ", p.token);
}

}  // namespace

bool replace_format_is_safe(const char* format, int value_type) {
    int conversions = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;   // literal percent sign
        while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') ++p;
        int digits = 0;
        while (*p >= '0' && *p <= '9') {
            ++p;
            ++digits;
        }
        if (digits > 2) return false;
        if (*p == '.') {
            ++p;
            digits = 0;
            while (*p >= '0' && *p <= '9') {
                ++p;
                ++digits;
            }
            if (digits > 2) return false;
        }
        if (value_type == kReplaceReal && *p == 'l') ++p;   // "%lf" is "%f" in a print
        char conversion = *p;
        if (value_type == kReplaceInteger && conversion != 'd') return false;
        if (value_type == kReplaceReal && conversion != 'f') return false;
        if (value_type == kReplaceText && conversion != 's') return false;
        if (value_type < kReplaceInteger || value_type > kReplaceText) return false;
        ++conversions;
    }
    return conversions == 1;
}

int format_replace_value(const replace_pair& p, char* out, int out_size) {
    if (out_size > 0) out[0] = '\0';
    if (!replace_format_is_safe(p.format, p.value_type)) return -1;
    // The format was checked above to hold exactly one conversion of the type.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    switch (p.value_type) {
        case kReplaceInteger: return std::snprintf(out, out_size, p.format, p.int_value);
        case kReplaceReal: return std::snprintf(out, out_size, p.format, p.real_value);
        default: return std::snprintf(out, out_size, p.format, p.text_value);
    }
#pragma GCC diagnostic pop
}

void free_replace_params() { delete_list(replace_list); }

int parse_replace_param(char* line) {
    const char* open = std::strrchr(line, '[');
    const char* close = std::strrchr(line, ']');
    if (line[0] == '\0' || open == nullptr || close == nullptr || open > close) {
        print_malformed(line);
        return -1;
    }

    // The format is the first token after the last "]".
    std::vector<char> rest(close + 1, close + std::strlen(close) + 1);
    char token[kTokenSize] = {};
    next_word(rest.data(), token);
    char format[sizeof replace_pair::format];
    copy_cut(format, token, std::strlen(token), sizeof format);

    // The last of the letters d, f and s decides the type.
    int type = -1;
    for (const char* c = format; *c != '\0'; ++c) {
        if (*c == 'd') type = kReplaceInteger;
        if (*c == 'f') type = kReplaceReal;
        if (*c == 's') type = kReplaceText;
    }
    if (type < 0 || !replace_format_is_safe(format, type)) {
        print_malformed(line);
        print_format_hint();
        return -1;
    }

    replace_pair* p = new replace_pair();
    size_t length = static_cast<size_t>(close - open) + 1;
    if (copy_cut(p->token, open, length, sizeof p->token))
        std::printf("Warning: the replacement name in line %s is longer than %d characters and is "
                    "cut to %s\n",
                    line, static_cast<int>(sizeof p->token) - 1, p->token);
    p->token_length = static_cast<int>(std::strlen(p->token));
    std::memcpy(p->format, format, sizeof format);
    p->value_type = type;
    p->used = 0;

    append_node(replace_list, p);
    return 0;
}

int read_replace_params(const char* path, int* first_malformed) {
    if (first_malformed != nullptr) *first_malformed = 0;
    free_replace_params();
    file_object f;
    if (!open_file_named(f, path, "r")) {
        std::printf("Error: unable to open the replace parameter file.\n");
        return -1;
    }
    // The count: the first word of line 1, a whole number of 0 or more.
    int count = 0;
    std::string first;
    char word[kTokenSize] = {};
    std::vector<char> text;
    if (read_raw_line(f.handle, first)) {
        text.assign(first.begin(), first.end());
        text.push_back('\0');
        next_word(text.data(), word);
    }
    if (parse_int_token(word, count) != number_status::ok || count < 0) {
        std::printf("Error: unable to read the number of parameters in the parameter list file\n");
        std::printf("Error: parameter list file %s, line 1: the number of parameters \"%.63s\" "
                    "is not a whole number of 0 or more.\n",
                    path, word);
        close_file_object(f);
        return -1;
    }
    char line[kParamLineSize];
    for (int k = 0; k < count; ++k) {
        if (std::fgets(line, sizeof line, f.handle) == nullptr) {
            std::printf("Error: unexpected end of parameter list file after %d parameters. "
                        "Expecting %d\n",
                        k, count);
            close_file_object(f);
            return -1;
        }
        size_t n = std::strlen(line);
        if (n > 0 && line[n - 1] == '\n') {
            line[--n] = '\0';
            if (n > 0 && line[n - 1] == '\r') line[--n] = '\0';
        } else {
            // A line longer than 254 characters: its rest is not a parameter line.
            int c = 0;
            while ((c = std::fgetc(f.handle)) != EOF && c != '\n') {
            }
        }
        if (parse_replace_param(line) != 0 && first_malformed != nullptr && *first_malformed == 0)
            *first_malformed = k + 2;
    }
    close_file_object(f);
    return 0;
}

int read_replace_vals(const char* path) {
    file_object f;
    if (!open_file_named(f, path, "r")) {
        std::printf("Error: unable to open the value file %s\n", path);
        refuse_values();
        return -1;
    }
    // The row of this run: rows count from 1, one run per row.
    const int wanted = replace_line_index + 1;
    std::string row;
    int rows = 0;
    std::string line;
    while (read_raw_line(f.handle, line)) {
        ++rows;
        if (rows == wanted) row = line;
    }
    close_file_object(f);
    if (wanted < 1 || wanted > rows) {
        std::printf("Error: the replacement values file %s holds %d row(s) of values; run %d "
                    "needs row %d\n",
                    path, rows, wanted, wanted);
        refuse_values();
        return -1;
    }

    std::vector<char> text(row.begin(), row.end());
    text.push_back('\0');
    int position = 0;
    for (replace_pair* p = replace_list; p != nullptr; p = p->next) {
        clear_values(*p);
        p->used = 0;
        ++position;
        // next_word takes a quoted value without its quotes.
        char token[kTokenSize] = {};
        const bool found = next_word(text.data(), token) != 0;
        if (p->value_type == kReplaceText) {
            if (copy_cut(p->text_value, token, std::strlen(token), sizeof p->text_value))
                std::printf("Warning: the replacement value of %s is longer than %d characters "
                            "and is cut\n",
                            p->token, static_cast<int>(sizeof p->text_value) - 1);
            continue;
        }
        if (!found) continue;   // a row shorter than the list leaves the rest at 0
        double value = 0.0;
        const bool number = parse_real_token(token, value) == number_status::ok;
        const bool integer_ok = p->value_type != kReplaceInteger ||
                                (value == std::floor(value) && value >= INT_MIN && value <= INT_MAX);
        if (!number || !integer_ok) {
            std::printf("Error: replacement values file %s, line %d: value %d (%s) is \"%s\", "
                        "not %s\n",
                        path, wanted, position, p->token, token,
                        p->value_type == kReplaceInteger ? "a whole number" : "a finite number");
            refuse_values();
            return -1;
        }
        if (p->value_type == kReplaceInteger) {
            p->int_value = static_cast<int>(value);
        } else {
            p->real_value = value;
        }
    }
    replace_count = 0;
    replace_active = 1;
    set_line_filter(&replace_line_filter);
    return 0;
}

int replace_pair_at(char* line, int position, int& length, int size) {
    for (replace_pair* p = replace_list; p != nullptr; p = p->next) {
        if (p->token_length <= 0 || position + p->token_length > length) continue;
        if (std::strncmp(line + position, p->token, static_cast<size_t>(p->token_length)) != 0)
            continue;
        char value[512];
        int value_length = format_replace_value(*p, value, sizeof value);
        if (value_length < 0) return 0;   // no usable format: treated as no value
        if (value_length >= static_cast<int>(sizeof value)) return -1;
        long new_length = static_cast<long>(length) - p->token_length + value_length;
        if (new_length > static_cast<long>(size) - 1) return -1;
        std::memmove(line + position + value_length, line + position + p->token_length,
                     static_cast<size_t>(length - position - p->token_length) + 1);
        std::memcpy(line + position, value, static_cast<size_t>(value_length));
        length = static_cast<int>(new_length);
        ++replace_count;
        p->used = 1;
        return 1;
    }
    return 0;
}

void replace_line_filter(char* line, int size) {
    if (replace_active) replace_pairs_in_line(line, size);
}

void replace_pairs_in_line(char* line, int size) {
    if (line == nullptr || std::strchr(line, '[') == nullptr) return;
    int length = static_cast<int>(std::strlen(line));
    // Work on a copy so that a line that outgrows its buffer is left as it was.
    std::vector<char> work(static_cast<size_t>(size > length + 1 ? size : length + 1));
    std::memcpy(work.data(), line, static_cast<size_t>(length) + 1);
    int saved_count = replace_count;
    std::vector<unsigned char> saved_used;
    for (replace_pair* p = replace_list; p != nullptr; p = p->next) saved_used.push_back(p->used);

    for (int i = 0; i < length; ++i) {
        if (work[static_cast<size_t>(i)] != '[') continue;
        int result = replace_pair_at(work.data(), i, length, size);
        if (result == 0) {
            std::printf("Error: unable to match replace pair: %s\n", work.data());
        } else if (result < 0) {
            std::printf("Error: replacing the bracketed names would make this line longer than %d "
                        "characters; it is used unchanged:\n%s\n",
                        size - 1, line);
            replace_count = saved_count;
            size_t k = 0;
            for (replace_pair* p = replace_list; p != nullptr; p = p->next) p->used = saved_used[k++];
            return;
        }
    }
    std::memcpy(line, work.data(), static_cast<size_t>(length) + 1);
}

void print_replace_values(file_object& f) {
    if (!replace_active) return;
    file_text(f, "\nUsing replacement values:\n");
    print_message("\nUsing replacement values:\n");
    for (replace_pair* p = replace_list; p != nullptr; p = p->next) {
        char value[512];
        format_replace_value(*p, value, sizeof value);
        print_token(f, *p);
        file_text(f, value);
        file_text(f, "\n");
        print_message("%s\n", value);
    }
    file_text(f, "\n");
    print_message("\n");
}

void print_replace_usage(file_object& f) {
    if (!replace_active) return;
    char text[80];
    std::snprintf(text, sizeof text, "\nTotal times a value was replaced: %d\n\n", replace_count);
    file_text(f, text);
    print_message("%s", text);
    file_text(f, "\nWas replacement value used?:\n");
    print_message("\nWas replacement value used?:\n");
    for (replace_pair* p = replace_list; p != nullptr; p = p->next) {
        const char* answer = p->used ? "Yes\n" : "No\n";
        print_token(f, *p);
        file_text(f, answer);
        print_message("%s", answer);
    }
    file_text(f, "\n");
    print_message("\n");
    replace_count = 0;
}
