// Transfer planning: the figures and warnings of every planning case.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "report_capture.h"
#include "driver/plan.h"
#include "frontend/options.h"
#include "tape/patterns.h"

namespace {

using namespace zv;
using driver::plan;

const std::string NULL_PATTERN = "setting null data pattern\r\n";
const std::string LENGTH_WARNING_0X18400 =
    "WARNING: the maximum write/read data transfer length is not an even multiple of\r\n"
    "the logical block size (length truncated to 0x18400 bytes)\r\n";
const std::string AMOUNT_WARNING_127_976 =
    "WARNING: the total amount of data to write/read is not an even multiple of the\r\n"
    "maximum write/read data transfer length (amount truncated to 127.976 MB)\r\n";

std::string interval_warning(const char* amount) {
    return std::string("WARNING: the amount of data to write/read per status interval is not an even\r\n"
                       "multiple of the maximum write/read data transfer length (amount truncated to\r\n") +
           amount + " MB)\r\n";
}

std::string total_warning(const char* amount) {
    return std::string("WARNING: the total amount of data to write/read is not an even multiple of the\r\n"
                       "amount of data to write/read per status interval (total amount truncated to\r\n") +
           amount + " MB)\r\n";
}

struct PlanCase {
    const char* name;
    // requested
    std::uint32_t logical_block_size;
    std::uint32_t max_transfer_length;
    double data_amount_mb;
    bool status_interval_given;
    double status_interval_mb;
    // planned
    std::uint32_t block_size;
    std::uint32_t blocks_per_command;
    std::uint32_t total_commands;
    std::uint32_t commands_per_interval;
    double interval_mb;
    std::uint32_t interval_count;
    std::uint32_t final_length;
    double final_amount_mb;
    std::string warnings;
};

class PlanTest : public ::testing::TestWithParam<PlanCase> {
protected:
    void SetUp() override {
        frontend::settings = frontend::TestSettings{};
        plan = driver::TransferPlan{};
    }
    void TearDown() override {
        tape::free_buffer(tape::data_buffers.data_buffer_1, 0);
        tape::free_buffer(tape::data_buffers.data_buffer_2, 0);
    }
};

TEST_P(PlanTest, GivesFiguresAndWarnings) {
    const PlanCase& c = GetParam();
    frontend::settings.logical_block_size = c.logical_block_size;
    frontend::settings.max_transfer_length = c.max_transfer_length;
    frontend::settings.data_amount_mb = c.data_amount_mb;
    frontend::settings.status_interval_given = c.status_interval_given;
    frontend::settings.status_interval_mb = c.status_interval_mb;

    test::Capture capture;
    ASSERT_EQ(driver::plan_transfers(), 0);

    EXPECT_EQ(plan.block_size, c.block_size);
    EXPECT_EQ(plan.blocks_per_command, c.blocks_per_command);
    EXPECT_EQ(plan.total_commands, c.total_commands);
    EXPECT_EQ(plan.commands_per_interval, c.commands_per_interval);
    EXPECT_DOUBLE_EQ(plan.interval_mb, c.interval_mb);
    EXPECT_EQ(plan.interval_count, c.interval_count);
    EXPECT_EQ(frontend::settings.max_transfer_length, c.final_length);
    EXPECT_DOUBLE_EQ(frontend::settings.data_amount_mb, c.final_amount_mb);
    EXPECT_DOUBLE_EQ(frontend::settings.status_interval_mb, c.status_interval_mb);  // never changed
    EXPECT_EQ(capture.file(), c.warnings + NULL_PATTERN);
    EXPECT_EQ(capture.console(), c.warnings + NULL_PATTERN);
    ASSERT_NE(tape::data_buffers.data_buffer_2, nullptr);
    tape::data_buffers.data_buffer_2[c.final_length - 1] = 1;  // both buffers cover the final length
}

// interval_mb and amounts below are exact binary fractions: 97 blocks of
// 0x400 bytes per command make 97/1024 MB.
INSTANTIATE_TEST_SUITE_P(
    Cases, PlanTest,
    ::testing::Values(
        PlanCase{"Defaults", 0x400, 0x10000, 128, false, 128, 1024, 64, 2048, 2048, 128.0, 1, 0x10000, 128.0, ""},
        PlanCase{"LengthNotBlockMultiple", 0x400, 100000, 128, false, 128, 1024, 97, 1351, 1351,
                 1351 * 97 / 1024.0, 1, 99328, 1351 * 97 / 1024.0,
                 LENGTH_WARNING_0X18400 + AMOUNT_WARNING_127_976},
        PlanCase{"VariableBlockMode", 0, 100000, 128, false, 128, 1, 100000, 1342, 1342, 1342 * 100000 / 1048576.0,
                 1, 100000, 1342 * 100000 / 1048576.0,
                 "WARNING: the total amount of data to write/read is not an even multiple of the\r\n"
                 "maximum write/read data transfer length (amount truncated to 127.983 MB)\r\n"},
        PlanCase{"Interval10MB", 0x400, 0x10000, 128, true, 10, 1024, 64, 1920, 160, 10.0, 12, 0x10000, 120.0,
                 total_warning("120.000")},
        PlanCase{"IntervalAboveAmount", 0x400, 0x10000, 128, true, 200, 1024, 64, 2048, 2048, 128.0, 1, 0x10000,
                 128.0, ""},
        PlanCase{"IntervalZero", 0x400, 0x10000, 128, true, 0, 1024, 64, 2048, 2048, 128.0, 1, 0x10000, 128.0, ""},
        PlanCase{"IntervalNotGiven", 0x400, 0x10000, 128, false, 10, 1024, 64, 2048, 2048, 128.0, 1, 0x10000, 128.0,
                 ""},
        PlanCase{"IntervalEqualsAmount", 0x400, 0x10000, 64, true, 64, 1024, 64, 1024, 1024, 64.0, 1, 0x10000, 64.0,
                 ""},
        PlanCase{"LengthAndIntervalTruncated", 0x400, 100000, 128, true, 10, 1024, 97, 1260, 105, 105 * 97 / 1024.0,
                 12, 99328, 12 * 105 * 97 / 1024.0,
                 LENGTH_WARNING_0X18400 + AMOUNT_WARNING_127_976 + interval_warning("9.946") +
                     total_warning("119.355")},
        PlanCase{"CommandLongerThanInterval", 0x400, 0x200000, 128, true, 1, 1024, 2048, 0, 0, 0.0, 0, 0x200000, 0.0,
                 interval_warning("0.000") + total_warning("0.000")},
        // 5,000,000 MB in 1 KB commands: 5,120,000,000 commands keep their
        // low 32 bits, 825,032,704 commands or 805,696 MB.
        PlanCase{"CommandCountWraps", 0x400, 0x400, 5000000, false, 128, 1024, 1, 825032704, 825032704, 805696.0, 1,
                 0x400, 805696.0,
                 "WARNING: the total amount of data to write/read is not an even multiple of the\r\n"
                 "maximum write/read data transfer length (amount truncated to 805696.000 MB)\r\n"}),
    [](const ::testing::TestParamInfo<PlanCase>& info) { return std::string(info.param.name); });

TEST(PlanFailure, MissingPatternFileFailsThePlan) {
    frontend::settings = frontend::TestSettings{};
    frontend::settings.data_pattern = frontend::PATTERN_USER_FILE;
    frontend::settings.pattern_file_name = "/nonexistent/zv-pattern.bin";
    test::Capture capture;
    EXPECT_EQ(driver::plan_transfers(), -1);
    EXPECT_EQ(capture.console(),
              "setting user-defined data pattern (input file = \"/nonexistent/zv-pattern.bin\")\r\n"
              "ERROR: cannot open \"/nonexistent/zv-pattern.bin\" for input\r\n");
    tape::free_buffer(tape::data_buffers.data_buffer_1, 0);
    tape::free_buffer(tape::data_buffers.data_buffer_2, 0);
}

TEST(CountFromDouble, TruncatesAndKeepsLow32Bits) {
    struct Case {
        double value;
        std::uint32_t count;
    };
    const double two_to_63 = 9223372036854775808.0;
    const Case cases[] = {
        {0.0, 0},
        {3.999, 3},
        {4294967295.0, 0xFFFFFFFFu},
        {4294967296.0 + 5.0, 5},
        {-1.5, 0xFFFFFFFFu},  // -1 as a 64-bit integer
        {two_to_63, 0},
        {two_to_63 / 2, 0},  // 2^62: low 32 bits all zero
        {two_to_63 / 2 + 4096.0, 4096},
        {std::numeric_limits<double>::infinity(), 0},
        {-std::numeric_limits<double>::infinity(), 0},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(driver::count_from_double(c.value), c.count) << c.value;
}

}  // namespace
