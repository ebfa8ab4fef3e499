// Reader of the precipitation file (one event block per call) and the radar
// grid readers. Readers run on the main thread; only radar_to_cells has a
// parallel loop.
#include "hydromet/precip_file.h"
#include "input/grid.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "core/parallel.h"
#include "run/run_state.h"
#include "core/text.h"
#include "hydromet/precip_types.h"

namespace {

constexpr int kMaxGages = 10000;                  // gages of one event
constexpr double kMaxGageTableValues = 5.0e7;     // gages x lines of one event

// Whitespace-separated tokens of a text file, read line by line (each line
// passes the replacement step in read_line). Counts the lines it has read.
class token_stream {
public:
    token_stream(file_object& f, int& line_count) : f_(f), line_count_(line_count) {}

    // Next token (crossing line ends); false at the end of the file.
    bool next(std::string& token) {
        for (;;) {
            if (have_line_) {
                while (buf_[pos_] != '\0' && is_sep(buf_[pos_])) ++pos_;
                if (buf_[pos_] != '\0') {
                    size_t start = pos_;
                    while (buf_[pos_] != '\0' && !is_sep(buf_[pos_])) ++pos_;
                    token.assign(&buf_[start], pos_ - start);
                    return true;
                }
            }
            if (!fetch()) return false;
        }
    }

    // The rest of the current line (leading blanks and the line end removed)
    // and the line is done. False when no line is being read.
    bool rest_of_line(std::string& text) {
        text.clear();
        if (!have_line_) return false;
        while (buf_[pos_] != '\0' && is_sep(buf_[pos_])) ++pos_;
        text.assign(&buf_[pos_]);
        while (!text.empty() && is_sep(text.back())) text.pop_back();
        have_line_ = false;
        return true;
    }

    // Drops the rest of the current line.
    void drop_line() { have_line_ = false; }

    // Number of the line the last token came from (1-based within the file).
    int line() const { return line_count_; }

private:
    static bool is_sep(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    bool fetch() {
        if (read_line(buf_, f_) == 0) {
            have_line_ = false;
            return false;
        }
        ++line_count_;
        have_line_ = true;
        pos_ = 0;
        return true;
    }

    file_object& f_;
    int& line_count_;
    text_line buf_;
    size_t pos_ = 0;
    bool have_line_ = false;
};

// True when the first four letters of the token are `key4` (lower case).
bool is_keyword(const std::string& token, const char* key4) {
    if (token.size() < 4) return false;
    for (int i = 0; i < 4; ++i) {
        if (std::tolower(static_cast<unsigned char>(token[static_cast<size_t>(i)])) != key4[i])
            return false;
    }
    return true;
}

// Whole-token integer; false for anything else (the value is then unchanged).
bool parse_int(const std::string& token, int& value) {
    int v = 0;
    if (parse_int_token(token.c_str(), v) != number_status::ok) return false;
    value = v;
    return true;
}

// Whole-token finite real; false for anything else (the value is then unchanged).
bool parse_real(const std::string& token, double& value) {
    double v = 0.0;
    if (parse_real_token(token.c_str(), v) != number_status::ok) return false;
    value = v;
    return true;
}

// Prints an input failure and sets code 4000.
void fail_printed() {
    error_record.code = kErrorPrinted;
}

const char* file_label(const file_object& f) { return f.name[0] ? f.name : "(precipitation file)"; }

// Dates compared field by field (year, month, day, hour, minute): true when a < b.
bool date_before(const int* a, const int* b) {
    for (int i = 0; i < 5; ++i) {
        if (a[i] != b[i]) return a[i] < b[i];
    }
    return false;
}

// Reads the five date integers of a data line into `date`; 1 read, 0 bad
// field (message printed, code 4000), -1 end of file.
int read_line_date(token_stream& in, const file_object& f, int* date, int* last_read) {
    static const char* const kField[5] = {"year", "month", "day", "hour", "minute"};
    std::string token;
    for (int i = 0; i < 5; ++i) {
        if (!in.next(token)) return -1;
        int v = 0;
        if (!parse_int(token, v)) {
            std::printf("Error: the %s \"%s\" on line %d of the precipitation file %s is not an "
                        "integer\n",
                        kField[i], token.c_str(), in.line(), file_label(f));
            fail_printed();
            return 0;
        }
        date[i] = v;
        last_read[i] = v;
    }
    if (date[0] >= 0 && date[0] < 100) date[0] += 1900;
    const bool good = date[0] >= 1 && date[0] <= 9999 && date[1] >= 1 && date[1] <= 12 &&
                      date[2] >= 1 && date[2] <= precip_month_days(date[0], date[1]) &&
                      date[3] >= 0 && date[3] <= 24 && date[4] >= 0 && date[4] <= 59 &&
                      !(date[3] == 24 && date[4] != 0);
    if (!good) {
        std::printf("Error: the date %d/%d/%d %d:%02d on line %d of the precipitation file %s is "
                    "not a valid date and time\n",
                    date[0], date[1], date[2], date[3], date[4], in.line(), file_label(f));
        fail_printed();
        return 0;
    }
    return 1;
}

void print_card_type_head() {
    std::printf("\nERROR:\n");
    std::printf("\nThere is a problem in the precipitation input file.\n");
}

void print_card_type_tail() {
    std::printf("Check the precipitation input file.  PLUVO exiting\n");
    fail_printed();
}

}  // namespace

int precip_month_days(int year, int month) {
    static const int kDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2) return ((year - 1900) % 4 == 0) ? 29 : 28;
    return kDays[month];
}

double precip_period_seconds(const int* a, const int* b) {
    // Whole days from the start of a's day to the start of b's day.
    double days = 0.0;
    int y = a[0];
    int m = a[1];
    if (y > b[0] || (y == b[0] && m > b[1])) {
        // b lies in an earlier month: count backwards.
        return -precip_period_seconds(b, a);
    }
    days -= a[2];
    while (y < b[0] || (y == b[0] && m < b[1])) {
        days += precip_month_days(y, m);
        if (++m > 12) {
            m = 1;
            ++y;
        }
    }
    days += b[2];
    return days * 86400.0 + (b[3] - a[3]) * 3600.0 + (b[4] - a[4]) * 60.0;
}

void rewind_precip_file(run_state& rs) {
    if (rs.precip_data_file.handle != nullptr) std::rewind(rs.precip_data_file.handle);
    rs.precip_file_line = 0;
    rs.precip_event_counter = 0;
}

void resize_gage_table(checked_array_2d<double>& table, int rows, int row_length, double fill) {
    if (!table.check()) return;
    if (rows < 0) rows = 0;
    if (row_length < 1) row_length = 1;
    if (table.row_count == 0) {
        if (table.row_length < row_length) table.row_length = row_length;
        if (rows > 0) table.add_rows_fill(rows, fill, -1);
        return;
    }
    if (table.row_length < row_length) {
        for (int i = 1; i <= table.row_count; ++i) {
            double* fresh = new double[static_cast<size_t>(row_length) + 1];
            for (int j = 0; j <= table.row_length; ++j) fresh[j] = table.rows[i][j];
            for (int j = table.row_length + 1; j <= row_length; ++j) fresh[j] = fill;
            if (table.owned[i]) delete[] table.rows[i];
            table.rows[i] = fresh;
            table.owned[i] = 1;
        }
        table.row_length = row_length;
        table.sync_guard();
    }
    if (table.row_count < rows) table.add_rows_fill(rows - table.row_count, fill, -1);
}

int read_precip_block(run_state& rs, bool keep_radar_names) {
    file_object& f = rs.precip_data_file;
    rs.card_radar = 0;
    rs.card_gages = 0;
    rs.card_rates = 0;
    rs.card_accum = 0;
    if (f.handle == nullptr) {
        std::printf("Error: the precipitation file is not open\n");
        fail_printed();
        return 0;
    }
    token_stream in(f, rs.precip_file_line);
    std::string token;

    // 1. The EVENT card.
    bool found = false;
    for (int n = 0; n < kPrecipSearchTokens; ++n) {
        if (!in.next(token)) return 0;   // no further event
        if (is_keyword(token, "even")) {
            found = true;
            break;
        }
    }
    ++rs.precip_event_counter;
    if (!found) {
        std::printf("There is a problem with your rainfall input file.  PLUVO cannot\n");
        std::printf("find the first event card.  Check the format of the rainfall input for event "
                    "%d\n",
                    rs.precip_event_counter);
        std::printf("file.\n\n");
        fail_printed();
        return 0;
    }

    // 2. Title, then NRGAG and NRPDS in either order.
    std::string title;
    in.rest_of_line(title);
    if (title.size() > static_cast<size_t>(kPrecipTitleSize - 1))
        title.resize(static_cast<size_t>(kPrecipTitleSize - 1));
    std::snprintf(rs.event_title, sizeof(rs.event_title), "%s", title.c_str());

    int num_gages = rs.num_gages;
    int num_lines = 0;
    bool radar_files = false;
    bool have_gages = false;
    bool have_lines = false;
    int gage_line = 0;
    int lines_line = 0;
    for (int n = 0; n < kPrecipSearchTokens && !(have_gages && have_lines); ++n) {
        if (!in.next(token)) return -1;
        if (is_keyword(token, "nrga")) {
            if (!in.next(token)) return -1;
            have_gages = true;
            gage_line = in.line();
            int v = 0;
            if (parse_int(token, v)) {
                num_gages = v;
                radar_files = false;
            } else {
                std::string lower = token;
                for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if (lower.find("files") != std::string::npos) {
                    num_gages = -1;
                    radar_files = true;
                }
            }
        } else if (is_keyword(token, "nrpd")) {
            if (!in.next(token)) return -1;
            have_lines = true;
            lines_line = in.line();
            if (!parse_int(token, num_lines)) {
                std::printf("Error: NRPDS \"%s\" on line %d of the precipitation file %s is not an "
                            "integer\n",
                            token.c_str(), lines_line, file_label(f));
                fail_printed();
                return 0;
            }
        }
    }
    if (!(have_gages && have_lines)) {
        std::printf("\nThere is a problem with your rainfall input file.  PLUVO cannot\n");
        std::printf("find the NRPDS or NRGAG card for the event entitled:\n");
        std::printf("   %s\n\n", rs.event_title);
        std::printf("Check the format of the rainfall input file.\n");
        fail_printed();
        return 0;
    }

    // Counts against the capacities of the event tables.
    const int max_lines = radar_files ? kMaxRadarLines : kMaxPrecipLines;
    if (num_lines < 1 || num_lines > max_lines) {
        std::printf("Error: NRPDS %d on line %d of the precipitation file %s is outside 1..%d "
                    "(event entitled: %s)\n",
                    num_lines, lines_line, file_label(f), max_lines, rs.event_title);
        fail_printed();
        return 0;
    }
    if (!radar_files && (num_gages < 1 || num_gages > kMaxGages ||
                         static_cast<double>(num_gages) * (num_lines + 2.0) > kMaxGageTableValues)) {
        std::printf("Error: NRGAG %d on line %d of the precipitation file %s is outside 1..%d or "
                    "too large for %d data lines (event entitled: %s)\n",
                    num_gages, gage_line, file_label(f), kMaxGages, num_lines, rs.event_title);
        fail_printed();
        return 0;
    }
    rs.num_gages = num_gages;
    rs.num_lines = num_lines;
    rs.num_periods = num_lines;

    // 3. Value table and gage coordinates.
    const int gage_rows = radar_files ? 0 : num_gages;
    resize_gage_table(rs.gage_values, gage_rows + 1, num_lines + 1, 0.0);
    if (!rs.gage_values.check()) {
        fail_printed();
        return 0;
    }
    for (int j = 1; j <= gage_rows + 1 && j <= rs.gage_values.row_count; ++j)
        for (int i = 0; i <= num_lines + 1 && i <= rs.gage_values.row_length; ++i)
            rs.gage_values.rows[j][i] = 0.0;
    const size_t coord_slots = static_cast<size_t>(num_gages > 0 ? num_gages : 1) + 1;
    rs.gage_x.assign(coord_slots, 0.0);
    rs.gage_y.assign(coord_slots, 0.0);
    rs.precip_line_numbers.assign(static_cast<size_t>(num_lines) + 1, 0);
    if (rs.precip_dates.size() < static_cast<size_t>(num_lines) + 1)
        rs.precip_dates.resize(static_cast<size_t>(num_lines) + 1);
    in.drop_line();
    for (int j = 1; j <= gage_rows; ++j) {
        if (!in.next(token)) return -1;
        if (!is_keyword(token, "coor")) {
            std::printf("\nCannot find gage coordinate card in rainfall input file for event "
                        "entitled:\n");
            std::printf("       %s\n\n", rs.event_title);
            std::printf("Check rainfall input file format.\n");
            fail_printed();
            return 0;
        }
        double xy[2] = {0.0, 0.0};
        for (double& v : xy) {
            if (!in.next(token)) return -1;
            if (!parse_real(token, v)) {
                std::printf("Error: the gage coordinate \"%s\" on line %d of the precipitation "
                            "file %s is not a number\n",
                            token.c_str(), in.line(), file_label(f));
                fail_printed();
                return 0;
            }
        }
        rs.gage_x[static_cast<size_t>(j)] = xy[0];
        rs.gage_y[static_cast<size_t>(j)] = xy[1];
        in.drop_line();
    }

    // 4 to 6. The data lines.
    int last_read[5] = {0, 0, 0, 0, 0};
    std::string first_name;
    for (int l = 1; l <= num_lines; ++l) {
        if (!in.next(token)) {
            std::printf("\n last year %d last month %d last day %d last hour %d last minute %d \n",
                        last_read[0], last_read[1], last_read[2], last_read[3], last_read[4]);
            return -1;
        }
        const int key_line = in.line();
        rs.precip_line_numbers[static_cast<size_t>(l)] = key_line;
        bool known = true;
        if (is_keyword(token, "rada")) {
            rs.card_radar = 1;
        } else if (is_keyword(token, "gage")) {
            rs.card_gages = 1;
        } else if (is_keyword(token, "rate")) {
            rs.card_rates = 1;
        } else if (is_keyword(token, "accu")) {
            rs.card_accum = 1;
        } else {
            known = false;
        }
        const int kinds = (rs.card_radar != 0) + rs.card_gages + rs.card_rates + rs.card_accum;
        if (kinds > 1) {
            print_card_type_head();
            std::printf("More than one precipitation data card type has been specified.\n");
            std::printf("There may only be one of the following card types per event:\n\n");
            std::printf("     1) RADAR\n     2) GAGES\n     3) RATES\n\n");
            print_card_type_tail();
            return 0;
        }
        if (kinds == 0) {
            print_card_type_head();
            std::printf("At least one precipitation data card type must be specified.\n");
            std::printf("There may only be one of the following card types per event:\n\n");
            std::printf("     1) RADAR\n     2) GAGES\n     3) RATES    4) ACCUM\n\n");
            print_card_type_tail();
            return 0;
        }
        if (!known) {
            // A data line must begin with its card; anything else means the
            // values of an earlier line are out of step with the gage count.
            std::printf("Error: \"%s\" on line %d of the precipitation file %s is not a RADAR, "
                        "GAGES, RATES or ACCUM card (data line %d of the event entitled: %s)\n",
                        token.c_str(), key_line, file_label(f), l, rs.event_title);
            fail_printed();
            return 0;
        }
        if (radar_files && !rs.card_radar) {
            std::printf("Error: line %d of the precipitation file %s is not a RADAR line, but the "
                        "event entitled: %s names radar files\n",
                        key_line, file_label(f), rs.event_title);
            fail_printed();
            return 0;
        }

        int* date = rs.precip_dates[static_cast<size_t>(l)].data();
        const int got = read_line_date(in, f, date, last_read);
        if (got == -1) {
            std::printf("\n last year %d last month %d last day %d last hour %d last minute %d \n",
                        last_read[0], last_read[1], last_read[2], last_read[3], last_read[4]);
            return -1;
        }
        if (got == 0) return 0;
        if (l > 1 && date_before(date, rs.precip_dates[static_cast<size_t>(l - 1)].data())) {
            const int* p = rs.precip_dates[static_cast<size_t>(l - 1)].data();
            std::printf("Error: the date on line %d of the precipitation file %s is earlier than "
                        "the date on line %d\n",
                        key_line, file_label(f), rs.precip_line_numbers[static_cast<size_t>(l - 1)]);
            std::printf("\nERROR:\n");
            std::printf("There is a data error in the precipitation file.  This error occurred in "
                        "the\n");
            std::printf("EVENT titled:\n %s\n", rs.event_title);
            std::printf("On line no. %ld, the given time of the recorded data is:    "
                        "%ld/%ld/%ld %ld:%2.2ld\n",
                        static_cast<long>(key_line), static_cast<long>(date[0]),
                        static_cast<long>(date[1]), static_cast<long>(date[2]),
                        static_cast<long>(date[3]), static_cast<long>(date[4]));
            std::printf("Which is earlier than the date/time on the previous line:  "
                        "%ld/%ld/%ld %ld:%2.2ld\n",
                        static_cast<long>(p[0]), static_cast<long>(p[1]), static_cast<long>(p[2]),
                        static_cast<long>(p[3]), static_cast<long>(p[4]));
            std::printf("This error in your precipitation input file must be corrected before "
                        "PLUVO\n");
            std::printf("can continue.  Program exiting on error.\n\n");
            fail_printed();
            return 0;
        }

        if (radar_files) {
            std::string rest;
            in.rest_of_line(rest);
            std::vector<char> words(rest.begin(), rest.end());
            words.push_back('\0');
            char name[kTokenSize];
            if (next_word(words.data(), name) == 0 ||
                std::strlen(name) > static_cast<size_t>(kRadarNameSize - 1)) {
                std::printf("Error: line %d of the precipitation file %s gives no radar file name "
                            "of at most %d characters\n",
                            key_line, file_label(f), kRadarNameSize - 1);
                fail_printed();
                return 0;
            }
            if (keep_radar_names &&
                rs.radar_filenames.size() >= static_cast<size_t>(kRadarNameSlots)) {
                rs.radar_filenames[static_cast<size_t>(l - 1)] = name;
            } else if (l == 1) {
                first_name = name;
            }
        } else {
            for (int j = 1; j <= num_gages; ++j) {
                double v = 0.0;
                const bool found = in.next(token);
                if (!found || !parse_real(token, v)) {
                    std::printf("\n ERROR: \n");
                    std::printf("\n check out gage input for precip record %d", l);
                    std::printf("\n look at gage %d \n", j);
                    if (found) {
                        std::printf("Error: \"%s\" on line %d of the precipitation file %s is "
                                    "not a number (the value of gage %d of the data line on line "
                                    "%d)\n",
                                    token.c_str(), in.line(), file_label(f), j, key_line);
                    } else {
                        std::printf("Error: the precipitation file %s ends on line %d without "
                                    "the value of gage %d of the data line on line %d\n",
                                    file_label(f), in.line(), j, key_line);
                    }
                    fail_printed();
                    return 0;
                }
                rs.gage_values.rows[j][l] = v;
                if (rs.card_accum && l > 1 && v < rs.gage_values.rows[j][l - 1]) {
                    std::printf("Error: the accumulated depth of gage %d on line %d of the "
                                "precipitation file %s is less than on line %d\n",
                                j, in.line(), file_label(f),
                                rs.precip_line_numbers[static_cast<size_t>(l - 1)]);
                    std::printf("\nERROR:\n");
                    std::printf("There is a data error in the precipitation file.  This error "
                                "occurred in the\n");
                    std::printf("EVENT titled:\n %s\n", rs.event_title);
                    std::printf("On line no. %ld, the accumulated precip. for gage number %d is: "
                                "%8.5lf mm\n",
                                static_cast<long>(in.line()), j, v);
                    std::printf("Which is less than the accumulated precip. on the previous line: "
                                "%8.5lf mm\n",
                                rs.gage_values.rows[j][l - 1]);
                    std::printf("This error in your precipitation input file must be corrected "
                                "before PLUVO\n");
                    std::printf("can continue.  Accumulated precip is CUMULATIVE.  The values "
                                "should increase\n");
                    std::printf("monotonically.  Program exiting on error.\n\n");
                    fail_printed();
                    return 0;
                }
            }
            in.drop_line();
        }
    }

    // 7. A radar-file event: one "gage" whose rates come from the files.
    if (radar_files && rs.card_radar) {
        rs.card_radar = 2;
        rs.num_gages = 1;
        if (keep_radar_names && rs.radar_filenames.size() >= static_cast<size_t>(kRadarNameSlots)) {
            rs.radar_filenames[static_cast<size_t>(num_lines)] =
                rs.radar_filenames[static_cast<size_t>(num_lines - 1)];
            first_name = rs.radar_filenames[0];
        }
        read_radar_header(rs.radar, first_name.c_str());
    }
    return 1;
}

int read_radar_header(radar_grid& grid, const char* name) {
    file_object f;
    if (name == nullptr || name[0] == '\0' || !open_file_named(f, name, "r")) return -1;
    text_line line;
    char word[kTokenSize];
    double values[6] = {0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 6; ++i) {
        bool good = read_line(line, f) != 0 && next_word(line, word) && next_word(line, word);
        double v = 0.0;
        if (good) good = parse_real_token(word, v) == number_status::ok;
        if (good && i < 2) good = v >= 1.0 && v <= 1.0e6 && v == std::floor(v);
        if (good && i == 4) good = v > 0.0;
        if (!good) {
            std::printf("Error: line %d of the radar file %s does not give a usable header "
                        "value\n",
                        i + 1, name);
            close_file_object(f);
            return -1;
        }
        values[i] = v;
    }
    close_file_object(f);
    const int ncols = static_cast<int>(values[0]);
    const int nrows = static_cast<int>(values[1]);
    if (static_cast<double>(ncols) * nrows > 1.0e8) {
        std::printf("Error: the radar grid of file %s has more than 1e8 cells\n", name);
        return -1;
    }
    grid.xllcorner = values[2];
    grid.yllcorner = values[3];
    grid.cellsize = values[4];
    grid.nodata = values[5];
    grid.west = grid.xllcorner;
    grid.top = grid.yllcorner + nrows * grid.cellsize;
    const size_t cells = static_cast<size_t>(ncols) * static_cast<size_t>(nrows);
    if (ncols != grid.ncols || nrows != grid.nrows || grid.precip_data.size() != cells)
        grid.precip_data.assign(cells, 0.0);
    grid.ncols = ncols;
    grid.nrows = nrows;
    return 0;
}

void map_cells_to_radar(run_state& rs, const char* name) {
    fill_cell_centres(rs);
    radar_grid& g = rs.radar;
    if (read_radar_header(g, name) != 0) {
        std::printf("Error: unable to read radar header in file %s\n", name ? name : "");
        fail_printed();
        return;
    }
    if (g.precip_data.empty()) {
        std::printf("Error: precip data not allocated\n");
        fail_printed();
        return;
    }
    g.pluvo_to_precip.assign(static_cast<size_t>(rs.GNUM > 0 ? rs.GNUM : 0) + 1, 0);
    for (int k = 1; k <= rs.GNUM; ++k) {
        const double x = rs.cell_x[k];
        const double y = rs.cell_y[k];
        const double row = y > g.top ? 0.0 : std::floor((g.top - y) / g.cellsize);
        const double col = x < g.west ? 0.0 : std::floor((x - g.west) / g.cellsize);
        if (row > g.nrows - 1 || col > g.ncols - 1) {
            const int p_i = row > INT_MAX ? INT_MAX : static_cast<int>(row);
            const int p_j = col > INT_MAX ? INT_MAX : static_cast<int>(col);
            std::printf("Error!! p_I=%d, p_J=%d\n", p_i, p_j);
            error_record.code = 102;
            error_record.stop = 1;
            return;
        }
        g.pluvo_to_precip[static_cast<size_t>(k)] =
            static_cast<int>(row) * g.ncols + static_cast<int>(col);
    }
}

int read_radar_grid(radar_grid& grid, const char* name, int radar_mm) {
    file_object f;
    if (name == nullptr || name[0] == '\0' || !open_file_named(f, name, "r")) return -1;
    int lines = 0;
    token_stream in(f, lines);
    std::string word;
    std::string value;
    int size[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        if (!in.next(word) || !in.next(value) || !parse_int(value, size[i])) size[i] = -1;
        in.drop_line();
    }
    for (int i = 0; i < 4; ++i) {
        if (!in.next(word)) break;
        in.drop_line();
    }
    if (size[0] != grid.ncols || size[1] != grid.nrows ||
        grid.precip_data.size() !=
            static_cast<size_t>(grid.ncols) * static_cast<size_t>(grid.nrows)) {
        close_file_object(f);
        return -1;
    }
    double peak = 0.0;   // mm/h
    for (int i = 0; i < grid.nrows; ++i) {
        for (int j = 0; j < grid.ncols; ++j) {
            double v = 0.0;
            if (!in.next(value) || !parse_real(value, v)) {
                std::printf("Error in reading radar precip file %s\n", name);
                close_file_object(f);
                return -1;
            }
            if (std::fabs(v - grid.nodata) < 0.01 || v <= 0.0) {
                v = 0.0;
            } else {
                if (!radar_mm) v *= 25.4;
                if (v > 100.0) {
                    std::printf("Warning: really big precip value (%lf) in cell (%d,%d) from "
                                "radar rainfall.\n resetting value to 100.0\n",
                                v, i, j);
                    v = 100.0;
                }
            }
            if (v > peak) peak = v;
            grid.precip_data[static_cast<size_t>(i) * grid.ncols + j] = v / kMmPerHourPerMps;
        }
        in.drop_line();
    }
    close_file_object(f);
    std::printf("Peak rainfall rate read: %lf mm/hr\n", peak);
    return 0;
}

void radar_to_cells(run_state& rs) {
    rs.cell_rain_common = kNoCommonRain;
    radar_to_cells(rs, rs.cell_rain_rate);
}

void radar_to_cells(run_state& rs, std::vector<double>& cell_rate) {
    const radar_grid& g = rs.radar;
    const long total = static_cast<long>(g.nrows) * g.ncols;
    const int n = rs.GNUM;
    if (static_cast<int>(g.pluvo_to_precip.size()) < n + 1 ||
        static_cast<int>(cell_rate.size()) < n + 1 ||
        static_cast<long>(g.precip_data.size()) < total) {
        std::printf("Error: the radar grid is not set up for the %d watershed cells\n", n);
        fail_printed();
        return;
    }
    for (int k = 1; k <= n; ++k) {
        const int index = g.pluvo_to_precip[static_cast<size_t>(k)];
        if (index < 0 || index >= total) {
            std::printf("Error: cellnum=%d, totcells=%d\n", index, static_cast<int>(total));
            fail_printed();
            return;
        }
    }
    double peak = 0.0;   // m/s
    const int* cell_index = g.pluvo_to_precip.data();
    const double* data = g.precip_data.data();
    double* rate = cell_rate.data();
#pragma omp parallel for schedule(static) reduction(max : peak) if (n >= kParallelCells)
    for (int k = 1; k <= n; ++k) {
        const double v = data[cell_index[k]] > 0.0 ? data[cell_index[k]] : 0.0;
        rate[k] = v;
        if (v > peak) peak = v;
    }
    std::printf("Peak rainfall applied to watershed: %lf mm/hr\n", peak * kMmPerHourPerMps);
}
