#include <unistd.h>

#include <string>

#include "capture.h"

namespace zv::test {
namespace {

using frontend::BANNER_LINE;

class OutputTest : public CapturedOutput {};

TEST_F(OutputTest, PrintToStreamsWritesSameTextToEachDestination) {
    frontend::print_to_streams(console_, error_console_, "id %X lun %u%s", 0xAu, 3u, "\r\n");
    frontend::print_to_streams(nullptr, console_, "+");
    frontend::print_to_streams(nullptr, nullptr, "nothing");
    EXPECT_EQ(console(), "id A lun 3\r\n+");
    EXPECT_EQ(errors(), "id A lun 3\r\n");
}

TEST_F(OutputTest, PrintToStreamsKeepsLongTextsWhole) {
    const std::string long_text(5000, 'x');
    frontend::print_to_streams(console_, error_console_, "<%s>", long_text.c_str());
    EXPECT_EQ(console(), "<" + long_text + ">");
    EXPECT_EQ(errors(), "<" + long_text + ">");
}

TEST_F(OutputTest, FlushStream) {
    frontend::flush_stream(nullptr);
    EXPECT_EQ(errors(), "");

    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::fputs("lost", full);
    frontend::flush_stream(full);
    std::fclose(full);
    EXPECT_EQ(errors(), "ERROR: unable to flush output stream\r\n");
}

TEST_F(OutputTest, PrintBlanksStopsAtScreenWidth) {
    frontend::print_blanks(console_, nullptr, 5);
    frontend::print_blanks(console_, nullptr, 100);
    frontend::print_blanks(console_, nullptr, -3);
    EXPECT_EQ(console(), std::string(85, ' '));
}

TEST_F(OutputTest, CentringRoundsLeftMarginUpAndIgnoresLineEnds) {
    struct Case {
        std::string text;
        std::size_t indent;
    };
    const Case cases[] = {
        {std::string(40, 'a'), 20}, {std::string(41, 'a'), 20}, {std::string(79, 'a'), 1},
        {std::string(80, 'a'), 0},  {std::string(100, 'a'), 0}, {"", 40},
        {"ABC\r\n", 39},            {"\r\nAB", 39},
    };
    for (const Case& c : cases) {
        std::FILE* stream = std::tmpfile();
        frontend::print_centred(stream, nullptr, c.text.c_str());
        EXPECT_EQ(stream_text(stream), std::string(c.indent, ' ') + c.text + "\r\n") << c.text;
        std::fclose(stream);
    }
}

TEST_F(OutputTest, TitleBlockGoesWholeToFirstThenWholeToSecond) {
    // One stream as both destinations shows the order of the pieces.
    frontend::print_title_block(console_, console_, "TITLE");
    const std::string banner = std::string((80 - std::string(BANNER_LINE).size() + 1) / 2, ' ') + BANNER_LINE;
    const std::string block = "\r\n" + banner + "\r\n\r\n" + std::string(38, ' ') + "TITLE\r\n";
    EXPECT_EQ(console(), block + block);
}

TEST_F(OutputTest, CursorSwitchNeverReachesAFile) {
    std::FILE* capture = std::tmpfile();
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(capture), STDOUT_FILENO);
    frontend::hide_console_cursor();
    frontend::show_console_cursor();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    EXPECT_EQ(stream_text(capture), "");
    std::fclose(capture);
}

std::tm fixed_time;
std::tm fixed_clock() { return fixed_time; }

class ClockTest : public ::testing::Test {
protected:
    void TearDown() override { frontend::set_local_time_source(nullptr); }
};

TEST_F(ClockTest, TimeTextUsesTwelveHourForm) {
    struct Case {
        int hour, minute, second;
        const char* expected;
    };
    const Case cases[] = {
        {0, 30, 0, "00:30:00 am"},  {0, 15, 0, "00:15:00 am"},   {11, 59, 59, "11:59:59 am"},
        {12, 0, 0, "12:00:00 pm"},  {13, 7, 9, "01:07:09 pm"},   {23, 59, 59, "11:59:59 pm"},
    };
    frontend::set_local_time_source(fixed_clock);
    for (const Case& c : cases) {
        fixed_time = std::tm{};
        fixed_time.tm_hour = c.hour;
        fixed_time.tm_min = c.minute;
        fixed_time.tm_sec = c.second;
        EXPECT_STREQ(frontend::time_text(), c.expected);
    }
}

TEST_F(ClockTest, DateTextIsMonthDayYear) {
    frontend::set_local_time_source(fixed_clock);
    fixed_time = std::tm{};
    fixed_time.tm_year = 101;  // 2001
    fixed_time.tm_mon = 2;
    fixed_time.tm_mday = 7;
    EXPECT_STREQ(frontend::date_text(), "03/07/01");
    fixed_time.tm_year = 126;
    fixed_time.tm_mon = 11;
    fixed_time.tm_mday = 31;
    EXPECT_STREQ(frontend::date_text(), "12/31/26");
}

TEST_F(ClockTest, RealClockGivesWellFormedTexts) {
    const std::string date = frontend::date_text();
    const std::string time = frontend::time_text();
    EXPECT_EQ(date.size(), 8u);
    EXPECT_EQ(date[2], '/');
    ASSERT_EQ(time.size(), 11u);
    EXPECT_TRUE(time.ends_with(" am") || time.ends_with(" pm")) << time;
    EXPECT_LE(std::stoi(time.substr(0, 2)), 12);
}

}  // namespace
}  // namespace zv::test
