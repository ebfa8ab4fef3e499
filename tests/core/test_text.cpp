// Line and token readers: separator and quote rules, long tokens and lines.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_object.h"
#include "core/text.h"

namespace {

// A modifiable line buffer holding `text`.
std::vector<char> line_of(const std::string& text) {
    std::vector<char> buf(text.size() + 16, '\0');
    std::memcpy(buf.data(), text.c_str(), text.size() + 1);
    return buf;
}

TEST(NextWord, PopsTheTokensOfAMixedLineInTurn) {
    auto line = line_of("  abc, 12 ,\"two words\"  x");
    char token[kTokenSize];
    const char* expected[] = {"abc", "12", "two words", "x"};
    for (const char* want : expected) {
        ASSERT_EQ(next_word(line.data(), token), 1) << want;
        EXPECT_STREQ(token, want);
    }
    EXPECT_EQ(next_word(line.data(), token), 0);
    EXPECT_STREQ(token, "");
}

struct word_case {
    const char* line;
    int result;
    const char* token;
    const char* rest;   // the line after the call
};

TEST(NextWord, SeparatorAndQuoteRules) {
    const word_case cases[] = {
        {" , ,\t ,", 0, "", " , ,\t ,"},          // only separators: line unchanged
        {"", 0, "", ""},
        {"\"two words", 1, "two words", ""},      // no closing quote: runs to the end
        {"\"ab\"cd ef", 1, "ab", "cd ef"},        // text right after the closing quote
        {"\"\" next", 0, "", "   next"},          // empty quotes become blanks
        {"a\"b c", 1, "a\"b", "c"},               // a quote inside a plain token
        {"\tabc\tdef\n", 1, "abc", "def\n"},
        {"x,y", 1, "x", "y"},
        {"abc\r", 1, "abc\r", ""},                // a carriage return is no separator
        {"\"a, b\t c\",d", 1, "a, b\t c", "d"},   // separators inside quotes are kept
    };
    for (const auto& c : cases) {
        auto line = line_of(c.line);
        char token[kTokenSize];
        std::strcpy(token, "junk");
        EXPECT_EQ(next_word(line.data(), token), c.result) << c.line;
        EXPECT_STREQ(token, c.token) << c.line;
        EXPECT_STREQ(line.data(), c.rest) << c.line;

        // The cursor form gives the same token and leaves the same rest at the
        // cursor; the line itself keeps its length.
        auto walked = line_of(c.line);
        char* cursor = walked.data();
        std::strcpy(token, "junk");
        EXPECT_EQ(next_word_at(cursor, token), c.result) << c.line;
        EXPECT_STREQ(token, c.token) << c.line;
        EXPECT_STREQ(cursor, c.rest) << c.line;
        EXPECT_EQ(std::strlen(walked.data()), std::strlen(c.line)) << c.line;
    }
}

TEST(NextWord, GoesOnAfterEmptyQuotes) {
    auto line = line_of("\"\" next");
    char token[kTokenSize];
    EXPECT_EQ(next_word(line.data(), token), 0);
    EXPECT_EQ(next_word(line.data(), token), 1);
    EXPECT_STREQ(token, "next");
}

TEST(NextWord, LongTokenIsCutToTheTokenBufferAndConsumedWhole) {
    for (bool quoted : {false, true}) {
        std::string big(3000, 'q');
        std::string text = quoted ? "\"" + big + "\" tail" : big + " tail";
        auto line = line_of(text);
        // A token buffer of exactly kTokenSize inside a larger guarded block.
        std::vector<char> token(kTokenSize + 8, '#');
        ASSERT_EQ(next_word(line.data(), token.data()), 1);
        EXPECT_EQ(std::strlen(token.data()), static_cast<size_t>(kTokenSize - 1));
        EXPECT_EQ(token[kTokenSize], '#');   // nothing written past the buffer
        EXPECT_STREQ(line.data(), "tail");
    }
}

// The stream token reader takes tokens as scanf's "%Ns" does: compared with
// fscanf on the same text, token by token, and on what is left after each.
TEST(ReadStreamToken, TakesTokensAsScanfDoes) {
    struct stream_case {
        const char* text;
        int token_size;   // buffer size including the NUL
    };
    const stream_case cases[] = {
        {"1 2 3\n4 5 6\n", 32},
        {"  \t12\r\n\v\f-7,8\r\n", 32},            // CR LF lines, every white space, comma kept
        {"123456789012 x", 5},                        // a longer run gives several tokens
        {"abcd efgh", 5},                             // exactly N characters, then a blank
        {"abcd", 5},                                  // exactly N characters, then the end
        {"", 8},
        {" \n\t ", 8},                                // white space only
        {"7", 2},
    };
    for (const stream_case& c : cases) {
        SCOPED_TRACE(c.text);
        FILE* ours = std::tmpfile();
        FILE* theirs = std::tmpfile();
        ASSERT_NE(ours, nullptr);
        ASSERT_NE(theirs, nullptr);
        for (FILE* f : {ours, theirs}) {
            std::fputs(c.text, f);
            std::rewind(f);
        }
        char format[16];
        std::snprintf(format, sizeof format, "%%%ds", c.token_size - 1);
        for (int k = 0; k < 20; ++k) {
            std::vector<char> a(static_cast<size_t>(c.token_size) + 4, '#');
            std::vector<char> b(static_cast<size_t>(c.token_size) + 4, '#');
            const int length = read_stream_token(ours, a.data(), c.token_size);
            const bool got = std::fscanf(theirs, format, b.data()) == 1;
            ASSERT_EQ(length >= 0, got) << "token " << k;
            EXPECT_EQ(a[static_cast<size_t>(c.token_size)], '#');   // nothing past the buffer
            if (!got) break;
            EXPECT_STREQ(a.data(), b.data()) << "token " << k;
            EXPECT_EQ(length, static_cast<int>(std::strlen(b.data())));
            EXPECT_EQ(std::ftell(ours), std::ftell(theirs)) << "token " << k;
        }
        std::fclose(ours);
        std::fclose(theirs);
    }
}

TEST(NextNumber, ConversionAndConsumption) {
    struct number_case {
        const char* line;
        int result;
        double real;      // value of next_double
        int integer;      // value of next_int
        const char* rest;
    };
    const number_case cases[] = {
        {"abc 5", 1, 0.0, 0, "5"},               // not a number: 0, still consumed
        {"1.5e3,", 1, 1500.0, 1, ""},
        {"12abc rest", 1, 12.0, 12, "rest"},
        {"  -7,8", 1, -7.0, -7, "8"},
        {"\"3\" x", 1, 0.0, 0, "x"},             // quotes are ordinary characters here
        {" , \t", 0, 0.0, 0, " , \t"},          // nothing left: line unchanged
        {"", 0, 0.0, 0, ""},
        {"2.75\n", 1, 2.75, 2, ""},
    };
    for (const auto& c : cases) {
        auto line_d = line_of(c.line);
        double d = 99.0;
        EXPECT_EQ(next_double(line_d.data(), d), c.result) << c.line;
        EXPECT_DOUBLE_EQ(d, c.real) << c.line;
        EXPECT_STREQ(line_d.data(), c.rest) << c.line;

        auto line_i = line_of(c.line);
        int i = 99;
        EXPECT_EQ(next_int(line_i.data(), i), c.result) << c.line;
        EXPECT_EQ(i, c.integer) << c.line;
        EXPECT_STREQ(line_i.data(), c.rest) << c.line;
    }
}

TEST(NextNumber, OversizedTokensStayBounded) {
    // A 2000-character token: converted from its first 1023 characters only.
    auto line = line_of("5" + std::string(1999, 'x') + " 6");
    double d = 0.0;
    ASSERT_EQ(next_double(line.data(), d), 1);
    EXPECT_DOUBLE_EQ(d, 5.0);
    EXPECT_STREQ(line.data(), "6");

    // An integer beyond the int range is clamped instead of wrapping.
    const struct {
        std::string text;
        int value;
    } clamps[] = {{"99999999999", INT_MAX}, {"-99999999999", INT_MIN},
                  {std::string(2000, '9'), INT_MAX}};
    for (const auto& c : clamps) {
        auto l = line_of(c.text);
        int v = 0;
        ASSERT_EQ(next_int(l.data(), v), 1);
        EXPECT_EQ(v, c.value);
        EXPECT_STREQ(l.data(), "");
    }
}

TEST(CheckedNumbers, WholeTokensOfTheAskedKindOnly) {
    using ns = number_status;
    struct checked_case {
        const char* token;
        ns real_status;
        double real;       // value when real_status is ok (else 0)
        ns int_status;
        int integer;       // value when int_status is ok (else 0)
    };
    const checked_case cases[] = {
        {"42", ns::ok, 42.0, ns::ok, 42},
        {"-7\r", ns::ok, -7.0, ns::ok, -7},                 // CR of a CRLF line end
        {"2.5e3", ns::ok, 2500.0, ns::not_number, 0},
        {"1e-320", ns::ok, 1e-320, ns::not_number, 0},     // underflow is still finite
        {"12abc", ns::not_number, 0.0, ns::not_number, 0},
        {"0,05", ns::not_number, 0.0, ns::not_number, 0},
        {"2\r5", ns::not_number, 0.0, ns::not_number, 0},
        {"nan", ns::not_finite, 0.0, ns::not_number, 0},
        {"-NaN", ns::not_finite, 0.0, ns::not_number, 0},
        {"inf", ns::not_finite, 0.0, ns::not_number, 0},
        {"-Infinity", ns::not_finite, 0.0, ns::not_number, 0},
        {"1e999", ns::not_finite, 0.0, ns::not_number, 0},
        {"2147483647", ns::ok, 2147483647.0, ns::ok, INT_MAX},
        {"-2147483648", ns::ok, -2147483648.0, ns::ok, INT_MIN},
        {"2147483648", ns::ok, 2147483648.0, ns::out_of_range, 0},
        {"-99999999999999999999999", ns::ok, -1e23, ns::out_of_range, 0},
        {"", ns::missing, 0.0, ns::missing, 0},
    };
    for (const checked_case& c : cases) {
        SCOPED_TRACE(c.token);
        double d = 99.0;
        EXPECT_EQ(parse_real_token(c.token, d), c.real_status);
        EXPECT_DOUBLE_EQ(d, c.real);
        int i = 99;
        EXPECT_EQ(parse_int_token(c.token, i), c.int_status);
        EXPECT_EQ(i, c.integer);
    }
}

TEST(CheckedNumbers, NextTokenIsConsumedAndShownWhateverItHolds) {
    auto line = line_of(" nan, 2147483648\t7 ");
    char token[kTokenSize];
    double d = 1.0;
    EXPECT_EQ(next_checked_double(line.data(), d, token), number_status::not_finite);
    EXPECT_STREQ(token, "nan");
    EXPECT_EQ(d, 0.0);
    int i = 1;
    EXPECT_EQ(next_checked_int(line.data(), i, token), number_status::out_of_range);
    EXPECT_STREQ(token, "2147483648");
    EXPECT_EQ(next_checked_int(line.data(), i, token), number_status::ok);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(next_checked_double(line.data(), d, token), number_status::missing);
    EXPECT_STREQ(token, "");
    EXPECT_STREQ(number_status_words(number_status::not_finite), "is not finite");
    EXPECT_STREQ(number_status_words(number_status::out_of_range), "is outside the int range");
}

TEST(CheckedNumbers, FieldRangesWithOpenAndClosedEnds) {
    using ns = number_status;
    const struct range_case {
        const char* token;
        number_range range;
        ns real_status;
        ns int_status;
        const char* sentence;   // describe_number_fault of the real read, field "porosity"
    } cases[] = {
        {"0.4", open_range(0, 1), ns::ok, ns::not_number, ""},
        {"1", open_range(0, 1), ns::outside_field, ns::outside_field,
         "the porosity 1 is outside its range: it must be above 0 and below 1"},
        {"0", open_range(0, 1), ns::outside_field, ns::outside_field, nullptr},
        {"0", at_least(0), ns::ok, ns::ok, ""},
        {"-5", at_least(0), ns::outside_field, ns::outside_field,
         "the porosity -5 is outside its range: it must be at least 0"},
        {"1e308", closed_range(-500, 9000), ns::outside_field, ns::not_number,
         "the porosity 1e308 is outside its range: it must be at least -500 and at most 9000"},
        {"9000", closed_range(-500, 9000), ns::ok, ns::ok, ""},
        {"1.5", above_to(0, 1.5), ns::ok, ns::not_number, ""},
        {"0", from_below(0, 1), ns::ok, ns::ok, ""},
        {"l.0", kAnyNumber, ns::not_number, ns::not_number, "the porosity \"l.0\" is not a number"},
        {"nan", kAnyNumber, ns::not_finite, ns::not_number, "the porosity \"nan\" is not finite"},
        {"", kAnyNumber, ns::missing, ns::missing, "the porosity is missing"},
    };
    for (const range_case& c : cases) {
        SCOPED_TRACE(c.token);
        double d = 0.0;
        int i = 0;
        EXPECT_EQ(check_real_token(c.token, c.range, d), c.real_status);
        EXPECT_EQ(check_int_token(c.token, c.range, i), c.int_status);
        if (c.sentence != nullptr && c.sentence[0] != '\0') {
            char text[256];
            describe_number_fault(c.real_status, "porosity", c.token, c.range, text, sizeof text);
            EXPECT_STREQ(text, c.sentence);
        }
    }
    char text[64];
    describe_range(kAnyNumber, text, sizeof text);
    EXPECT_STREQ(text, "any number");
    describe_range(above(0), text, sizeof text);
    EXPECT_STREQ(text, "above 0");
}

TEST(CheckedNumbers, RefusalNamesTheFileLineCardAndCell) {
    const struct place_case {
        input_place at;
        const char* text;
    } cases[] = {
        {{"low-spot file", "spots.txt", 3, nullptr, 0, 0}, "low-spot file spots.txt, line 3"},
        {{"project file", "p.prj", 12, "latitude", 0, 0}, "project file p.prj, line 12, card latitude"},
        {{"map", "elev.asc", 8, nullptr, 2, 3}, "map elev.asc, line 8, row 2, column 3"},
        {{"map", "elev.asc", 8, nullptr, 2, 0}, "map elev.asc, line 8, row 2"},
        {{"study file", "mc.in", 0, nullptr, 0, 0}, "study file mc.in"},
    };
    for (const place_case& c : cases) {
        char text[256];
        describe_place(c.at, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
    // A bad value: refused with the whole message and code 4000; the token is consumed.
    error_record = error_info{};
    current_summary_file = nullptr;
    auto line = line_of(" abc 1.5 7");
    const input_place at{"low-spot file", "spots.txt", 4, nullptr, 0, 0};
    double width = 9.0;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(read_real(line.data(), {"width of low spot 2", closed_range(0, 1.5)}, at, width));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Error: low-spot file spots.txt, line 4: the width of low spot 2 \"abc\" is "
                   "not a number.\n");
    EXPECT_EQ(error_record.code, kErrorPrinted);
    error_record = error_info{};
    EXPECT_TRUE(read_real(line.data(), {"width", closed_range(0, 1.5)}, at, width));
    EXPECT_EQ(width, 1.5);
    int code = 0;
    char* cursor = line.data();
    EXPECT_TRUE(read_int_at(cursor, {"code", closed_range(0, 15)}, at, code));
    EXPECT_EQ(code, 7);
    EXPECT_EQ(error_record.code, 0);
}

TEST(CheckedNumbers, LongLinesAreWalkedInPlaceWithTheTokenRules) {
    auto line = line_of("1.5, \"2\"\t-3e2 x 4\r");
    char* cursor = line.data();
    char token[kTokenSize];
    double v = 0.0;
    EXPECT_EQ(next_real_at(cursor, v, token), number_status::ok);
    EXPECT_EQ(v, 1.5);
    EXPECT_EQ(next_real_at(cursor, v, token), number_status::ok);
    EXPECT_EQ(v, 2.0);
    EXPECT_EQ(next_real_at(cursor, v, token), number_status::ok);
    EXPECT_EQ(v, -300.0);
    EXPECT_EQ(next_real_at(cursor, v, token), number_status::not_number);
    EXPECT_STREQ(token, "x");
    EXPECT_EQ(next_real_at(cursor, v, token), number_status::ok);   // the CR of a CRLF line end
    EXPECT_EQ(v, 4.0);
    EXPECT_EQ(next_real_at(cursor, v, token), number_status::missing);
    int n = 5;
    EXPECT_TRUE(parse_int_text("12", 1, 99, n));
    EXPECT_EQ(n, 12);
    EXPECT_FALSE(parse_int_text("12x", 1, 99, n));
    EXPECT_FALSE(parse_int_text("100", 1, 99, n));
    EXPECT_EQ(n, 12);
}

TEST(CutFront, Cases) {
    const struct {
        const char* text;
        int n;
        int result;
        const char* rest;
    } cases[] = {
        {"abc", 1, 0, "bc"}, {"abc", 3, 0, ""}, {"abc", 0, 0, ""},
        {"abc", 4, 0, ""},   {"abc", -2, 0, ""}, {"", 1, -1, ""},
    };
    for (const auto& c : cases) {
        char text[16];
        std::strcpy(text, c.text);
        EXPECT_EQ(cut_front(text, c.n), c.result) << c.text << " " << c.n;
        EXPECT_STREQ(text, c.rest) << c.text << " " << c.n;
    }
}

TEST(StripQuotes, EachQuoteIndependently) {
    const struct {
        const char* text;
        const char* out;
    } cases[] = {
        {"\"abc\"", "abc"}, {"abc\"", "abc"}, {"\"abc", "abc"}, {"\"", ""},
        {"", ""},           {"a\"b", "a\"b"}, {"\"\"", ""},
    };
    for (const auto& c : cases) {
        char text[16];
        std::strcpy(text, c.text);
        strip_quotes(text);
        EXPECT_STREQ(text, c.out) << c.text;
    }
    strip_quotes(nullptr);   // must not crash
}

TEST(SecondWord, PositionOfTheSecondWord) {
    const struct {
        const char* line;
        int offset;
    } cases[] = {
        {"first second", 6},
        {"  first\tsecond third", 8},
        {"a,b c", 4},          // the comma does not separate words here
        {"single", 5},         // no second word: the last character
        {"one  ", 4},
        {"x\ny", 2},
    };
    for (const auto& c : cases) {
        char line[64];
        std::strcpy(line, c.line);
        EXPECT_EQ(second_word(line) - line, c.offset) << c.line;
    }
}

TEST(SameKeyword, CaseInsensitiveFirstTokens) {
    const std::string long_a(1500, 'a');
    const struct {
        std::string a;
        std::string b;
        bool same;
    } cases[] = {
        {"PROJECT_FILE  model.prj", "project_file", true},
        {"abc", "abcd", false},
        {"abcd", "abc", false},
        {"", "  ,", true},                       // two empty tokens
        {"\"Key Word\" x", "\"KEY WORD\"", true},
        {"\"Key Word\" x", "key word", false},
        {"Ab1_Z", "aB1_z", true},
        // Texts over 1023 characters: only the first 1023 take part.
        {long_a, std::string(1023, 'a'), true},
        {long_a, std::string(1022, 'a'), false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(same_keyword(c.a.c_str(), c.b.c_str()), c.same) << c.a.substr(0, 40) << " / "
                                                                 << c.b.substr(0, 40);
    }
}

TEST(SameKeyword, SafeToCallFromManyThreads) {
    int wrong = 0;
#pragma omp parallel for schedule(static) reduction(+ : wrong)
    for (int i = 0; i < 20000; ++i) {
        bool equal_pair = (i % 2) == 0;
        const char* a = equal_pair ? "Overland_Flow 1" : "overland_flowx";
        bool got = same_keyword(a, "OVERLAND_FLOW");
        if (got != equal_pair) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
}

// A file object on a temporary file holding `content`, rewound for reading.
struct temp_text_file {
    file_object f;
    explicit temp_text_file(const std::string& content) {
        f.handle = std::tmpfile();
        f.guard = f.handle;
        std::strcpy(f.mode, "r");
        std::fwrite(content.data(), 1, content.size(), f.handle);
        std::rewind(f.handle);
    }
    ~temp_text_file() {
        if (f.handle) std::fclose(f.handle);
        f.handle = nullptr;
        f.guard = nullptr;
    }
};

TEST(ReadLine, WholeLinesOfAnyLengthWithOneLineEndRemoved) {
    struct line_case {
        std::string written;   // the text in the file, line end included
        std::string read;      // the line read_line gives
        bool cr_cut;           // a carriage return was cut
    };
    const line_case cases[] = {
        {std::string(24999, 'a') + "\n", std::string(24999, 'a'), false},
        {std::string(25000, 'b') + "\n", std::string(25000, 'b'), false},   // one line, not two
        {std::string(1000000, 'c') + "\r\n", std::string(1000000, 'c'), true},
        {"x\r\n", "x", true},
        {"y\r\r\n", "y\r", true},   // only the carriage return before the newline
        {"a\rb\n", "a\rb", false},   // a carriage return inside a line stays
        {"\r\n", "", true},
        {"\n", "", false},
        {"z\r", "z", true},           // the last line without its newline
    };
    std::string content;
    for (const auto& c : cases) content += c.written;
    temp_text_file file(content);
    text_line line;
    for (const auto& c : cases) {
        ASSERT_EQ(read_line(line, file.f), 1) << c.read.substr(0, 20);
        EXPECT_EQ(std::string(line.c_str()), c.read) << c.read.substr(0, 20);
        EXPECT_EQ(line.cr_cut(), c.cr_cut) << c.read.substr(0, 20);
    }
    EXPECT_EQ(read_line(line, file.f), 0);
    EXPECT_STREQ(line.c_str(), "");
    EXPECT_EQ(read_line(line, file.f), 0);   // stays at the end
}

TEST(ReadLine, ClosedFileGivesNoLine) {
    file_object f;
    text_line line("xyz");
    EXPECT_EQ(read_line(line, f), 0);
    EXPECT_STREQ(line.c_str(), "");
}

TEST(TextLine, KeepsItsTextWhenGrownAndFeedsTheTokenReaders) {
    text_line line("  abc 12");
    line.reserve(100000);
    EXPECT_GE(line.room(), 100000u);
    EXPECT_STREQ(line.c_str(), "  abc 12");
    char token[kTokenSize];
    ASSERT_EQ(next_word(line, token), 1);
    EXPECT_STREQ(token, "abc");
    int value = 0;
    ASSERT_EQ(next_int(line, value), 1);
    EXPECT_EQ(value, 12);
    EXPECT_STREQ(line.c_str(), "");
    const std::string long_text(70000, 'w');
    line.assign(long_text.c_str());
    EXPECT_EQ(std::string(line.c_str()), long_text);
    line.assign(nullptr);
    EXPECT_STREQ(line.c_str(), "");
}

// Turns every 'k' into 'K': a filter that shows whether it ran.
void upper_k_filter(char* line, int) {
    for (char* c = line; *c != '\0'; ++c)
        if (*c == 'k') *c = 'K';
}

TEST(ReadLine, AppliesTheInstalledLineFilterUntilRemoved) {
    temp_text_file file("k z\r\nk z\n");
    text_line buf;
    set_line_filter(&upper_k_filter);
    ASSERT_EQ(read_line(buf, file.f), 1);
    EXPECT_STREQ(buf.c_str(), "K z");   // the carriage return is gone before the filter
    set_line_filter(nullptr);
    ASSERT_EQ(read_line(buf, file.f), 1);
    EXPECT_STREQ(buf.c_str(), "k z");
}

// Fills the line up to the room it was given (the sanitizer build catches a
// room larger than the buffer) and records that room.
int filter_room_seen = 0;
void fill_to_room_filter(char* line, int size) {
    filter_room_seen = size;
    const size_t length = std::strlen(line);
    std::memset(line + length, 'g', static_cast<size_t>(size) - 1 - length);
    line[size - 1] = '\0';
}

TEST(ReadLine, GivesTheFilterRoomToLengthenTheLine) {
    struct room_case {
        std::string line;
        size_t least_room;   // bytes the filter must get
    };
    const room_case cases[] = {
        {"short", 25000},
        {std::string(40000, 'a'), 40001},
        {std::string(60000, '['), 60001 + 60000 * 512},   // 512 bytes per '['
    };
    std::string content;
    for (const auto& c : cases) content += c.line + "\n";
    temp_text_file file(content);
    text_line buf;
    set_line_filter(&fill_to_room_filter);
    for (const auto& c : cases) {
        ASSERT_EQ(read_line(buf, file.f), 1);
        EXPECT_GE(static_cast<size_t>(filter_room_seen), c.least_room);
        EXPECT_EQ(std::strlen(buf.c_str()), static_cast<size_t>(filter_room_seen) - 1);
        EXPECT_EQ(std::string(buf.c_str(), c.line.size()), c.line);
    }
    set_line_filter(nullptr);
}

}  // namespace
