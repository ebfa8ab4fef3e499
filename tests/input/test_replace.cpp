// Replacement values: parameter list, values rows, substitution in lines,
// format checks, refusal of lines that would outgrow their buffer, reports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/dates.h"
#include "core/error.h"
#include "core/file_object.h"
#include "core/run_options.h"
#include "core/text.h"
#include "input/replace.h"

namespace {

const char kMalformed[] = "Error: Improperly formatted line in the replacement parameter file\nline:";
const char kHint[] = "---> The format must be a C-style format in quotes, such as \"%4.2lf\"\n";

// Resets the program-wide replacement state around every test.
class ReplaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pluvo_replace_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        reset();
    }
    void TearDown() override {
        reset();
        std::filesystem::remove_all(dir_);
    }
    static void reset() {
        free_replace_params();
        replace_active = 0;
        replace_count = 0;
        replace_line_index = 0;
        super_quiet_flag = 0;
        error_record = error_info();
    }
    std::string write(const std::string& name, const std::string& text) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    // Loads a parameter list and a values file; returns what they printed.
    std::string load(const std::string& params, const std::string& values) {
        std::string p = write("params.txt", params);
        std::string v = write("values.txt", values);
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_replace_params(p.c_str()), 0);
        EXPECT_EQ(read_replace_vals(v.c_str()), 0);
        return testing::internal::GetCapturedStdout();
    }
    // Substitutes in a line buffer of the default size; returns the line and
    // sets `printed` to the console output.
    static std::string substitute(const std::string& text, std::string* printed = nullptr) {
        std::vector<char> line(kReplaceLineSize, '\0');
        std::memcpy(line.data(), text.c_str(), text.size() + 1);
        testing::internal::CaptureStdout();
        replace_pairs_in_line(line.data());
        std::string out = testing::internal::GetCapturedStdout();
        if (printed) *printed = out;
        return line.data();
    }
    static int list_length() {
        int n = 0;
        for (replace_pair* p = replace_list; p != nullptr; p = p->next) ++n;
        return n;
    }
    static replace_pair* entry(int k) {
        replace_pair* p = replace_list;
        while (p != nullptr && k-- > 0) p = p->next;
        return p;
    }
    // A token padded as the reports print it: "%-14s".
    static std::string padded(const std::string& token) {
        return token + std::string(token.size() < 14 ? 14 - token.size() : 0, ' ');
    }
    // The value and usage reports of [MANN] = 0.0350 (used once) and [OTHER] = 4
    // (unused), each line of values indented by `indent`.
    static std::string report_text(const std::string& indent) {
        return "\nUsing replacement values:\n" + indent + padded("[MANN]") + " = 0.0350\n" +
               indent + padded("[OTHER]") + " = 4\n"
               "\n"
               "\nTotal times a value was replaced: 1\n\n"
               "\nWas replacement value used?:\n" +
               indent + padded("[MANN]") + " = Yes\n" + indent + padded("[OTHER]") + " = No\n\n";
    }
    std::string dir_;
};

TEST_F(ReplaceTest, RealValueWithItsFormatAndTheUsageReport) {
    std::string out = load("2\nManning roughness [MANN] \"%6.4lf\"\nunused [OTHER] \"%d\"\n",
                           "0.035 4\n");
    EXPECT_EQ(out, "");
    EXPECT_EQ(replace_active, 1);
    ASSERT_EQ(list_length(), 2);
    EXPECT_STREQ(entry(0)->token, "[MANN]");
    EXPECT_EQ(entry(0)->token_length, 6);
    EXPECT_STREQ(entry(0)->format, "%6.4lf");
    EXPECT_EQ(entry(0)->value_type, kReplaceReal);

    EXPECT_EQ(substitute("ROUGHNESS [MANN] end"), "ROUGHNESS 0.0350 end");
    EXPECT_EQ(replace_count, 1);

    std::string report = dir_ + "/summary.txt";
    {
        file_object f;
        f.handle = f.guard = std::fopen(report.c_str(), "w");
        ASSERT_NE(f.handle, nullptr);
        testing::internal::CaptureStdout();
        print_replace_values(f);
        print_replace_usage(f);
        std::string console = testing::internal::GetCapturedStdout();
        EXPECT_EQ(console, report_text(" "));
        close_file_object(f);
    }
    std::ifstream in(report);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, report_text("  "));   // the summary file indents by two blanks
    EXPECT_EQ(replace_count, 0);   // the usage report resets the count
}

TEST_F(ReplaceTest, CrLfParameterAndValueFilesReadLikeLf) {
    // Unquoted formats and the last value of the row sit right before the line
    // end, where a carriage return left behind would become part of them.
    const std::string params = "3\nname [NAME] %s\ncells [N] %d\nrough [MANN] \"%4.2lf\"\n";
    const std::string values = "outlet 12 0.035\n";
    auto crlf = [](std::string text) {
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
            text.insert(at, "\r");
        return text;
    };
    for (bool dos : {false, true}) {
        SCOPED_TRACE(dos ? "CR LF" : "LF");
        EXPECT_EQ(load(dos ? crlf(params) : params, dos ? crlf(values) : values), "");
        ASSERT_EQ(list_length(), 3);
        EXPECT_STREQ(entry(0)->format, "%s");
        EXPECT_STREQ(entry(1)->format, "%d");
        EXPECT_STREQ(entry(0)->text_value, "outlet");
        EXPECT_EQ(entry(1)->int_value, 12);
        EXPECT_DOUBLE_EQ(entry(2)->real_value, 0.035);
        EXPECT_EQ(substitute("[NAME] [N] [MANN]."), "outlet 12 0.04.");
    }
}

TEST_F(ReplaceTest, ReportsPrintNothingWhileReplacementIsOff) {
    char line[] = "x [A] %d";
    ASSERT_EQ(parse_replace_param(line), 0);
    file_object f;
    testing::internal::CaptureStdout();
    print_replace_values(f);
    print_replace_usage(f);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(ReplaceTest, EveryTokenOfALineIsReplacedAndUnknownNamesAreReported) {
    load("4\n[A] %d\n[B] \"%s\"\n[A] %d\n[AB] %d\n", "2 four 3 5\n");
    struct line_case {
        const char* in;
        const char* out;
        int count;
        int unmatched;   // "unable to match" messages
    };
    const line_case cases[] = {
        {"[A] + [A] = [B]", "2 + 2 = four", 3, 0},   // a token twice, the first entry wins
        {"[AB] [A]", "5 2", 2, 0},                   // a token never matches a longer name
        {"x [NOPE] y", "x [NOPE] y", 0, 1},
        {"[A] [NOPE] [NOPE2]", "2 [NOPE] [NOPE2]", 1, 2},
        {"no brackets", "no brackets", 0, 0},
        {"[a]", "[a]", 0, 1},                        // names are case-sensitive
    };
    for (const auto& c : cases) {
        replace_count = 0;
        std::string printed;
        EXPECT_EQ(substitute(c.in, &printed), c.out) << c.in;
        EXPECT_EQ(replace_count, c.count) << c.in;
        std::string message = std::string("Error: unable to match replace pair: ") + c.out + "\n";
        std::string expected;
        for (int k = 0; k < c.unmatched; ++k) expected += message;
        EXPECT_EQ(printed, expected) << c.in;
    }
}

TEST_F(ReplaceTest, FewerValuesThanEntriesGiveZero) {
    load("4\n[N] %d\n[S] \"%s\"\n[R] \"%4.2lf\"\n[M] %d\n", "7, \"two words\"\n");
    EXPECT_EQ(entry(0)->int_value, 7);
    EXPECT_STREQ(entry(1)->text_value, "two words");
    EXPECT_EQ(entry(2)->real_value, 0.0);
    EXPECT_EQ(entry(3)->int_value, 0);
    EXPECT_EQ(substitute("[N]|[S]|[R]|[M]"), "7|two words|0.00|0");
}

TEST_F(ReplaceTest, BatchRunsTakeTheirRowAndARunBeyondTheLastRowStops) {
    std::string p = write("params.txt", "1\n[R] \"%3.1lf\"\n");
    std::string v = write("values.txt", "1.5\n2.5\n3.5\n");
    testing::internal::CaptureStdout();
    ASSERT_EQ(read_replace_params(p.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    const char* expected[] = {"x 1.5", "x 2.5", "x 3.5"};
    for (int run = 0; run < 3; ++run) {
        replace_line_index = run;
        ASSERT_EQ(read_replace_vals(v.c_str()), 0);
        EXPECT_EQ(substitute("x [R]"), expected[run]) << "run " << run;
        EXPECT_EQ(error_record.stop, 0);
    }
    replace_line_index = 3;
    testing::internal::CaptureStdout();
    EXPECT_EQ(read_replace_vals(v.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error: the replacement values file " + v +
                  " holds 3 row(s) of values; run 4 needs row 4\n");
    EXPECT_EQ(error_record.code, kErrorPrinted);
    EXPECT_EQ(error_record.stop, 1);
}

TEST_F(ReplaceTest, QuotedNumbersAreReadAndOtherTextIsRefused) {
    // A quoted number is the number inside the quotes.
    load("3\n[N] %d\n[R] \"%4.2lf\"\n[S] %s\n", "\"12\", \"0.2\" \"a b\"\n");
    EXPECT_EQ(entry(0)->int_value, 12);
    EXPECT_DOUBLE_EQ(entry(1)->real_value, 0.2);
    EXPECT_STREQ(entry(2)->text_value, "a b");
    EXPECT_EQ(substitute("[N] [R] [S]"), "12 0.20 a b");

    struct bad_case {
        const char* row;
        const char* shown;   // value quoted in the message
        int position;
        const char* token;
        const char* wanted;
    };
    const bad_case cases[] = {
        {"12 abc x", "abc", 2, "[R]", "a finite number"},
        {"12 0.2x x", "0.2x", 2, "[R]", "a finite number"},
        {"12 nan x", "nan", 2, "[R]", "a finite number"},
        {"12 1e999 x", "1e999", 2, "[R]", "a finite number"},
        {"1.5 0.2 x", "1.5", 1, "[N]", "a whole number"},
        {"9999999999 0.2 x", "9999999999", 1, "[N]", "a whole number"},
    };
    for (const auto& c : cases) {
        error_record = error_info();
        std::string v = write("bad.txt", std::string("first row\n") + c.row + "\n");
        replace_line_index = 1;
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_replace_vals(v.c_str()), -1) << c.row;
        char expected[512];
        std::snprintf(expected, sizeof expected,
                      "Error: replacement values file %s, line 2: value %d (%s) is \"%s\", not %s\n",
                      v.c_str(), c.position, c.token, c.shown, c.wanted);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), expected) << c.row;
        EXPECT_EQ(error_record.code, kErrorPrinted) << c.row;
        EXPECT_EQ(error_record.stop, 1) << c.row;
    }
}

TEST_F(ReplaceTest, FormatsDecideTheTypeAndUnsafeFormatsAreRefused) {
    struct format_case {
        const char* line;
        int type;   // -1: refused with the format hint
    };
    const format_case cases[] = {
        {"a [N] %d", kReplaceInteger},
        {"b [S] \"%s\"", kReplaceText},
        {"c [R] \"%6.4lf\"", kReplaceReal},
        {"d [P] \"%d%%\"", kReplaceInteger},   // a literal percent sign is fine
        {"e [W] \"%-8.3f\"", kReplaceReal},
        {"f [X] %e", -1},                      // none of d, f, s
        {"g [X] \"%d%d\"", -1},                // two conversions
        {"h [X] %ld", -1},                     // an int printed as a long
        {"i [X] %*d", -1},                     // a width taken from the arguments
        {"j [X] %123d", -1},                   // width of three digits
        {"k [X] %5.2lfs", -1},                 // text by its last letter, printed as a real
        {"l [X] \"%s%n\"", -1},
        {"m [X] %Lf", -1},
        {"n [X]", -1},                         // no format at all
    };
    for (const auto& c : cases) {
        free_replace_params();
        std::vector<char> line(c.line, c.line + std::strlen(c.line) + 1);
        testing::internal::CaptureStdout();
        int result = parse_replace_param(line.data());
        std::string out = testing::internal::GetCapturedStdout();
        if (c.type < 0) {
            EXPECT_EQ(result, -1) << c.line;
            EXPECT_EQ(out, std::string(kMalformed) + c.line + "\n" + kHint) << c.line;
            EXPECT_EQ(replace_list, nullptr) << c.line;
        } else {
            EXPECT_EQ(result, 0) << c.line;
            EXPECT_EQ(out, "") << c.line;
            ASSERT_NE(replace_list, nullptr) << c.line;
            EXPECT_EQ(replace_list->value_type, c.type) << c.line;
        }
    }

    load("5\na [N] %d\nb [S] \"%s\"\nc [R] \"%6.4lf\"\nd [P] \"%d%%\"\ne [W] \"%-8.3f\"\n",
         "7 \"two words\" 0.035 9 1.25\n");
    EXPECT_EQ(substitute("[N]|[S]|[R]|[P]|[W]|"), "7|two words|0.0350|9%|1.250   |");
}

TEST_F(ReplaceTest, MalformedParameterLinesCreateNoEntry) {
    const char* lines[] = {"", "no brackets %d", "x [A %d", "x A] %d", "a] [b %d"};
    for (const char* text : lines) {
        std::vector<char> line(text, text + std::strlen(text) + 1);
        testing::internal::CaptureStdout();
        EXPECT_EQ(parse_replace_param(line.data()), -1) << text;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(kMalformed) + text + "\n");
        EXPECT_EQ(replace_list, nullptr) << text;
    }
}

TEST_F(ReplaceTest, ParameterFileFailures) {
    struct file_case {
        const char* text;   // null: no file
        int result;
        const char* message;
        int entries;
    };
    const std::string bad_line = std::string(kMalformed) + "bad line\n";
    const file_case cases[] = {
        {nullptr, -1, "Error: unable to open the replace parameter file.\n", 0},
        {"abc\n[A] %d\n", -1,
         "Error: unable to read the number of parameters in the parameter list file\n"
         "Error: parameter list file {path}, line 1: the number of parameters \"abc\" is not a "
         "whole number of 0 or more.\n", 0},
        {"3x\n[A] %d\n", -1,
         "Error: unable to read the number of parameters in the parameter list file\n"
         "Error: parameter list file {path}, line 1: the number of parameters \"3x\" is not a "
         "whole number of 0 or more.\n", 0},
        {"3\n[A] %d\nbad line\n", -1,
         "Error: unexpected end of parameter list file after 2 parameters. Expecting 3\n", 1},
        {"2\n[A] %d\nbad line\n[C] %d\n", 0, "", 1},
    };
    for (const auto& c : cases) {
        reset();
        char line[] = "[OLD] %d";   // an earlier list is emptied first
        parse_replace_param(line);
        std::string path = dir_ + "/missing.txt";
        if (c.text) path = write("params.txt", c.text);
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_replace_params(path.c_str()), c.result);
        std::string out = testing::internal::GetCapturedStdout();
        std::string expected = c.message;
        const size_t mark = expected.find("{path}");
        if (mark != std::string::npos) expected.replace(mark, 6, path);
        if (c.text && std::strstr(c.text, "bad line")) expected = bad_line + expected;
        // The file object may print its own line before a failed open.
        if (!c.text) out = out.substr(out.size() >= expected.size() ? out.size() - expected.size() : 0);
        EXPECT_EQ(out, expected);
        EXPECT_EQ(list_length(), c.entries);
        if (c.entries > 0) {
            EXPECT_STREQ(entry(0)->token, "[A]");
        }
    }
}

TEST_F(ReplaceTest, ValuesFileFailuresAndMissingRowsStopTheRun) {
    std::string p = write("params.txt", "2\n[R] \"%4.2lf\"\n[S] %s\n");
    testing::internal::CaptureStdout();
    ASSERT_EQ(read_replace_params(p.c_str()), 0);
    testing::internal::GetCapturedStdout();

    std::string missing = dir_ + "/none.txt";
    std::string empty = write("empty.txt", "");
    std::string rows = write("rows.txt", "1.5 a\n");
    struct row_case {
        std::string path;
        int index;
        std::string message;
    };
    const row_case cases[] = {
        {missing, 0, "Error: unable to open the value file " + missing + "\n"},
        {empty, 0,
         "Error: the replacement values file " + empty +
             " holds 0 row(s) of values; run 1 needs row 1\n"},
        {rows, -1,
         "Error: the replacement values file " + rows +
             " holds 1 row(s) of values; run 0 needs row 0\n"},
    };
    for (const auto& c : cases) {
        error_record = error_info();
        replace_line_index = c.index;
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_replace_vals(c.path.c_str()), -1) << c.path;
        const std::string out = testing::internal::GetCapturedStdout();
        ASSERT_GE(out.size(), c.message.size());
        EXPECT_EQ(out.substr(out.size() - c.message.size()), c.message);
        EXPECT_EQ(error_record.code, kErrorPrinted);
        EXPECT_EQ(error_record.stop, 1);
        EXPECT_EQ(replace_active, 0);
    }
}

TEST_F(ReplaceTest, OverlongFieldsAreCut) {
    const std::string name = "[ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789]";
    std::string params = "2\n" + name + " %d\n[T] \"%s\"\n";
    std::string out = load(params, "1 " + std::string(300, 'w') + "\n");
    ASSERT_EQ(list_length(), 2);
    EXPECT_EQ(entry(0)->token_length, 27);
    EXPECT_EQ(std::string(entry(0)->token), name.substr(0, 27));
    EXPECT_EQ(std::strlen(entry(1)->text_value), 249u);
    EXPECT_NE(out.find("is cut"), std::string::npos);

    free_replace_params();
    char line[] = "[F] \"%6.4lf______x\"";
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse_replace_param(line), 0);
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(replace_list->format, "%6.4lf_____");
}

TEST_F(ReplaceTest, LinesThatWouldOutgrowTheirBufferAreLeftUnchanged) {
    load("2\n[A] \"%s\"\n[B] %d\n", std::string(20, 'v') + " 3\n");
    struct long_case {
        std::string line;
        int size;   // buffer size including the NUL
    };
    const long_case cases[] = {
        {"[B] ab [A] cd", 20},
        {std::string(24990, 'x') + "[B][A]", kReplaceLineSize},
    };
    for (const auto& c : cases) {
        std::vector<char> line(static_cast<size_t>(c.size), '\0');
        std::memcpy(line.data(), c.line.c_str(), c.line.size() + 1);
        replace_count = 0;
        entry(0)->used = entry(1)->used = 0;
        testing::internal::CaptureStdout();
        replace_pairs_in_line(line.data(), c.size);
        std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(std::string(line.data()), c.line);
        EXPECT_EQ(out, "Error: replacing the bracketed names would make this line longer than " +
                           std::to_string(c.size - 1) + " characters; it is used unchanged:\n" +
                           c.line + "\n");
        EXPECT_EQ(replace_count, 0);
        EXPECT_EQ(entry(0)->used, 0);
        EXPECT_EQ(entry(1)->used, 0);
    }
    // A value that holds its own name after its first character would grow the
    // line for ever: the growth ends at the buffer and the line stays as it was.
    std::snprintf(entry(0)->text_value, sizeof entry(0)->text_value, "x[A]");
    std::vector<char> line(2000, '\0');
    std::strcpy(line.data(), "[A]");
    testing::internal::CaptureStdout();
    replace_pairs_in_line(line.data(), 2000);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_STREQ(line.data(), "[A]");
    EXPECT_NE(out.find("longer than 1999 characters"), std::string::npos);
    // The single entry point with the position: -1 when it would not fit.
    char small[12] = "ab[B]";
    int length = 5;
    EXPECT_EQ(replace_pair_at(small, 2, length, 6), 1);   // "ab3" fits
    EXPECT_STREQ(small, "ab3");
    EXPECT_EQ(length, 3);
    std::strcpy(small, "[A]");
    length = 3;
    EXPECT_EQ(replace_pair_at(small, 0, length, 4), -1);   // "x[A]" needs 5
    EXPECT_STREQ(small, "[A]");
}

TEST_F(ReplaceTest, ReadLineSubstitutesWhileReplacementIsActive) {
    std::string path = write("input.txt", "MANNING [MANN]\nCELLS [N]\n");
    file_object f;
    ASSERT_TRUE(open_file_named(f, path.c_str(), "r"));
    text_line line;
    ASSERT_EQ(read_line(line, f), 1);
    EXPECT_STREQ(line.c_str(), "MANNING [MANN]");   // replacement still off
    load("2\n[MANN] \"%6.4lf\"\n[N] %d\n", "0.035 12\n");
    ASSERT_EQ(read_line(line, f), 1);
    EXPECT_STREQ(line.c_str(), "CELLS 12");
    EXPECT_EQ(replace_count, 1);
    close_file_object(f);
}

TEST(ReplaceLineFilter, ReadLineSubstitutesOnlyWhileActive) {
    replace_pair pair;
    std::strcpy(pair.token, "[K]");
    pair.token_length = 3;
    std::strcpy(pair.format, "%d");
    pair.value_type = 0;
    pair.int_value = 7;
    replace_pair* saved_list = replace_list;
    int saved_active = replace_active;

    file_object f;
    f.handle = std::tmpfile();
    f.guard = f.handle;
    std::strcpy(f.mode, "r");
    // The third line: 7,500 names in 30,000 characters that grow to 67,500,
    // beyond the line's own length and any fixed line buffer.
    std::string many;
    for (int i = 0; i < 7500; ++i) many += "[K] ";
    std::fputs(("k [K] z\nk [K] z\r\n" + many + "\n").c_str(), f.handle);
    std::rewind(f.handle);
    text_line buf;
    replace_list = &pair;
    replace_active = 1;
    set_line_filter(&replace_line_filter);
    ASSERT_EQ(read_line(buf, f), 1);
    EXPECT_STREQ(buf.c_str(), "k 7 z");
    replace_active = 0;
    ASSERT_EQ(read_line(buf, f), 1);
    EXPECT_STREQ(buf.c_str(), "k [K] z");
    replace_active = 1;
    std::strcpy(pair.format, "%08d");
    testing::internal::CaptureStdout();
    ASSERT_EQ(read_line(buf, f), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    std::string grown;
    for (int i = 0; i < 7500; ++i) grown += "00000007 ";
    EXPECT_EQ(std::string(buf.c_str()), grown);

    set_line_filter(nullptr);
    std::fclose(f.handle);
    f.handle = nullptr;
    f.guard = nullptr;
    replace_list = saved_list;
    replace_active = saved_active;
}

}  // namespace
