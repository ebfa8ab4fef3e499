#include "overland/lowspots.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/error.h"
#include "core/file_object.h"
#include "run/run_state.h"
#include "core/text.h"

namespace {

// The first word of a line (ended by a blank, tab or newline), lower-cased,
// removed from the line together with the blanks and tabs around it.
std::string take_first_word(char* line) {
    size_t p = 0;
    while (line[p] == ' ' || line[p] == '\t' || line[p] == '\n') ++p;
    size_t start = p;
    while (line[p] != '\0' && line[p] != ' ' && line[p] != '\t' && line[p] != '\n') ++p;
    std::string word(line + start, p - start);
    while (line[p] == ' ' || line[p] == '\t' || line[p] == '\n') ++p;
    for (char& c : word) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    std::memmove(line, line + p, std::strlen(line + p) + 1);
    return word;
}

void fail_reported() {
    error_record.code = kErrorPrinted;
    report_error(error_record);
}

}  // namespace

int is_spot_card(char* line) {
    if (line == nullptr) return 1;
    return take_first_word(line) == "spot" ? 0 : 1;
}

bool read_lowspot_file(file_object& f, const char* path, int& count,
                       std::vector<low_spot>& records) {
    text_line line;
    char word[kTokenSize];

    // Line 1: the LOWSPOT card, matched over the length of the word itself.
    line[0] = '\0';
    read_line(line, f);
    next_word(line, word);
    for (char* c = word; *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    }
    size_t len = std::strlen(word);
    if (len == 0 || len > 7 || std::strncmp(word, "lowspot", len) != 0) {
        std::fprintf(stderr, "The lowspot input file: %s does not start with the LOWSPOT card.\n",
                     path);
        std::fprintf(stderr, "The file format is invalid.  Program terminated.\n");
        fail_reported();
        return false;
    }

    // Count the SPOT cards.
    int n = 0;
    while (read_line(line, f)) {
        if (is_spot_card(line) == 0) ++n;
    }
    if (n == 0) {
        std::fprintf(stderr, "Premature end-of-file in the lowspot input file.\n");
        std::fprintf(stderr, "No SPOT cards encountered before end of file.\n");
        std::fprintf(stderr, "Program terminated.\n");
        fail_reported();
        return false;
    }

    // Second pass: fill the records in file order. Every SPOT card must hold
    // all five numbers, else the spot would silently get zeros.
    records.assign(static_cast<size_t>(n) + 1, low_spot{});
    std::rewind(f.handle);
    read_line(line, f);
    int k = 0;
    int line_number = 1;
    while (k < n && read_line(line, f)) {
        ++line_number;
        if (is_spot_card(line) != 0) continue;
        ++k;
        low_spot& s = records[static_cast<size_t>(k)];
        int got = next_int(line, s.row);
        got += next_int(line, s.col);
        got += next_int(line, s.direction);
        got += next_double(line, s.width_fraction);
        got += next_double(line, s.crest);
        if (got != 5) {
            std::fprintf(stderr,
                         "Error: the SPOT card on line %d of the lowspot input file %s needs a "
                         "row, a column, a direction, a width fraction and a crest elevation.\n",
                         line_number, path);
            records.clear();
            fail_reported();
            return false;
        }
    }
    count = n;
    return true;
}

void face_flow(run_state&, double, double& loss, double& gain) {
    loss = 0.0;
    gain = 0.0;
}
