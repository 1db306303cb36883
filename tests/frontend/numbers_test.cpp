#include <string>

#include "capture.h"

namespace zv::test {
namespace {

constexpr const char* NUMBER_MESSAGE = "ERROR: illegal character(s) in number string\r\n";

class NumbersTest : public CapturedOutput {};

TEST_F(NumbersTest, ParseNumberRadixRules) {
    struct Case {
        const char* text;
        std::uint32_t value;
        bool message;
    };
    const Case cases[] = {
        {"", 0, false},          {"60", 60, false},       {"1Fh", 31, false},      {"1FH", 31, false},
        {"0x1F", 31, false},     {"3Ch", 60, false},      {"0X1F", 0, true},       {"101b", 5, false},
        {"1b", 1, false},        {"0b101", 5, false},     {"17o", 15, false},      {"0o17", 15, false},
        {"99d", 99, false},      {"0d99", 99, false},     {"0b", 11, false},       {"0d", 13, false},
        {"h", 0, false},         {"0x", 0, false},        {"0x1Fh", 31, true},     {"zz", 0, true},
        {"010", 10, false},      {"-1", 0xFFFFFFFF, false}, {"12x", 12, true},     {"4294967295", 0xFFFFFFFF, false},
        {"4294967296", 0xFFFFFFFF, false}, {"0x123456789", 0xFFFFFFFF, false},   {"-2", 0xFFFFFFFE, false},
        {" 7", 7, false},        {"19b", 1, true},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        std::FILE* console = std::tmpfile();
        frontend::channels.console = console;
        EXPECT_EQ(frontend::parse_number(text.data()), c.value) << c.text;
        EXPECT_EQ(stream_text(console), c.message ? NUMBER_MESSAGE : "") << c.text;
        std::fclose(console);
    }
    frontend::channels.console = console_;
    EXPECT_EQ(frontend::parse_number(nullptr), 0u);
}

TEST_F(NumbersTest, ParseNumberCutsSuffixOffTheText) {
    char text[] = "1Fh";
    frontend::parse_number(text);
    EXPECT_STREQ(text, "1F");
}

TEST_F(NumbersTest, NumberMessageAlsoReachesTheLayerLog) {
    std::FILE* log = std::tmpfile();
    frontend::channels.layer_log_stream = log;
    char text[] = "5q";
    EXPECT_EQ(frontend::parse_number(text), 5u);
    EXPECT_EQ(console(), NUMBER_MESSAGE);
    EXPECT_EQ(stream_text(log), NUMBER_MESSAGE);
    std::fclose(log);
}

TEST(TextHelpers, EqualityIsExactAndNullIsNeverEqual) {
    EXPECT_TRUE(frontend::texts_equal("/tid", "/tid"));
    EXPECT_FALSE(frontend::texts_equal("/tid", "/TID"));
    EXPECT_FALSE(frontend::texts_equal("/ti", "/tid"));
    EXPECT_FALSE(frontend::texts_equal("/tid", "/tidx"));
    EXPECT_FALSE(frontend::texts_equal(nullptr, "/tid"));
    EXPECT_FALSE(frontend::texts_equal(nullptr, nullptr));
}

TEST(TextHelpers, LineEndCutAndBlanking) {
    char line[] = "a\tb\x1a" "c\rd\ne";
    EXPECT_TRUE(frontend::cut_at_line_end(line));
    frontend::tabs_to_blanks(line);
    frontend::ctrl_z_to_blanks(line);
    EXPECT_STREQ(line, "a b c");
    EXPECT_FALSE(frontend::cut_at_line_end(line));
}

}  // namespace
}  // namespace zv::test
