// Drive status monitoring against a scripted drive: counter reads, the log
// page walk and the interval report.
#include "tape/drive_status.h"

#include <chrono>

#include "fake_drive.h"
#include "tape/dsc_config.h"

namespace zv::test {
namespace {

using tape::drive_status_config;

void configure(int item, const char* command, std::uint8_t page, std::uint8_t offset, std::uint8_t length,
               std::uint32_t multiplier = 1) {
    tape::DriveStatusItem& entry = drive_status_config.items[item];
    entry.enabled = true;
    std::memcpy(entry.command, command, 4);
    entry.log_page = page;
    entry.field_offset = offset;
    entry.field_length = length;
    entry.multiplier = multiplier;
}

// READ POSITION data with a counter in bytes 4-7.
Bytes position_data(std::uint32_t counter) {
    Bytes data(20, 0);
    data[4] = static_cast<std::uint8_t>(counter >> 24);
    data[5] = static_cast<std::uint8_t>(counter >> 16);
    data[6] = static_cast<std::uint8_t>(counter >> 8);
    data[7] = static_cast<std::uint8_t>(counter);
    return data;
}

const char* const INVALID_LOG_DATA =
    "ERROR: invalid \"Log Sense\" data (cannot find requested page data)\r\nat SCSI id 2 LUN 0\r\n";

class DriveStatus : public DriveFixture {
protected:
    void SetUp() override {
        DriveFixture::SetUp();
        drive_status_config = tape::DriveStatusConfig{};
        drive_status_config.loaded = true;
        tape::max_rwr_percentage = 0.0;
        tape::max_ecc_percentage = 0.0;
    }
};

// One counter as an interval sees it: read at the start and at the end.
struct Counter {
    int item;
    double start;
    double end;
    std::uint32_t multiplier = 1;
};

struct IntervalCase {
    const char* name;
    std::uint16_t phase;
    std::vector<Counter> counters;  // in the order they are read
    double amount;
    const char* text;
    double rwr_max;  // after the call; both maxima start at 0 unless raised below
    double ecc_max;
    double initial_max = 0.0;
    std::vector<int> also_enabled = {};  // configured but not read in this phase
};

const IntervalCase INTERVAL_CASES[] = {
    {"WriteCompressionRatio", 0, {{tape::ITEM_WCMP, 1000, 1400}}, 800,
     "  write data compression ratio ............... 2.0 to 1\r\n", 0, 0},
    {"CompressionCounterUnchanged", 0, {{tape::ITEM_WCMP, 500, 500}}, 800,
     "  write data compression ratio ............... 0.0 to 1\r\n", 0, 0},
    {"CompressionCounterTimesMultiplier", 0, {{tape::ITEM_WCMP, 10, 14, 100}}, 800,
     "  write data compression ratio ............... 2.0 to 1\r\n", 0, 0},
    {"RatioOverHostAmountEvenWithDriveCount", 0, {{tape::ITEM_TDWR, 0, 5000}, {tape::ITEM_WCMP, 0, 400}}, 800,
     "  write data compression ratio ............... 2.0 to 1\r\n", 0, 0},
    {"RwrOnTopOfHostAmount", 0, {{tape::ITEM_DRWR, 0, 10}}, 990,
     "  drive RWR percentage ....................... 1.0%\r\n", 1.0, 0},
    {"RwrOverDriveCount", 0, {{tape::ITEM_TDWR, 1000, 3000}, {tape::ITEM_DRWR, 100, 150}}, 999999,
     "  drive RWR percentage ....................... 2.5%\r\n", 2.5, 0},
    {"CountersWentDown", 0, {{tape::ITEM_TDWR, 3000, 1000}, {tape::ITEM_DRWR, 150, 100}}, 7,
     "  drive RWR percentage ....................... 2.5%\r\n", 2.5, 0},
    {"NoDataGivesZeroPercent", 0, {{tape::ITEM_TDWR, 5, 5}, {tape::ITEM_DRWR, 0, 0}}, 800,
     "  drive RWR percentage ....................... 0.0%\r\n", 0, 0},
    {"LowerPercentageKeepsMaximum", 0, {{tape::ITEM_DRWR, 0, 10}}, 990,
     "  drive RWR percentage ....................... 1.0%\r\n", 50.0, 50.0, 50.0},
    {"WriteRatioThenPercentage", 0, {{tape::ITEM_WCMP, 0, 300}, {tape::ITEM_DRWR, 0, 10}}, 990,
     "  write data compression ratio ............... 3.3 to 1\r\n"
     "  drive RWR percentage ....................... 1.0%\r\n",
     1.0, 0},
    {"ReadRatioAndEcc", 1, {{tape::ITEM_RCMP, 0, 250}, {tape::ITEM_DECC, 5, 0}}, 495,
     "  read data compression ratio ................ 2.0 to 1\r\n"
     "  drive ECC percentage ....................... 1.0%\r\n",
     0, 1.0, 0.0, {tape::ITEM_WCMP, tape::ITEM_DRWR}},
    {"EccOverDriveCount", 1, {{tape::ITEM_TDRD, 0, 1000}, {tape::ITEM_DECC, 0, 30}}, 5,
     "  drive ECC percentage ....................... 3.0%\r\n", 0, 3.0},
};

class Intervals : public DriveStatus, public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(Intervals, StartThenEndReport) {
    const IntervalCase& c = GetParam();
    tape::max_rwr_percentage = c.initial_max;
    tape::max_ecc_percentage = c.initial_max;
    for (int item : c.also_enabled) configure(item, "RPD", 0, 4, 4);
    for (const Counter& counter : c.counters) configure(counter.item, "RPD", 0, 4, 4, counter.multiplier);

    const auto& items = drive_status_config.items;
    const bool flush_first = c.phase == 0 && (items[tape::ITEM_WCMP].enabled || items[tape::ITEM_DRWR].enabled);
    drive.script.push_back(good(OP_TEST_UNIT_READY));
    for (const Counter& counter : c.counters) {
        drive.script.push_back(good(OP_READ_POSITION, position_data(static_cast<std::uint32_t>(counter.start))));
    }
    if (flush_first) drive.script.push_back(good(OP_WRITE_FILEMARKS));
    drive.script.push_back(good(OP_TEST_UNIT_READY));
    for (const Counter& counter : c.counters) {
        drive.script.push_back(good(OP_READ_POSITION, position_data(static_cast<std::uint32_t>(counter.end))));
    }

    EXPECT_EQ(tape::display_drive_status(0, c.phase, 0.0), 0);
    EXPECT_EQ(console_text(), "");
    EXPECT_EQ(tape::display_drive_status(1, c.phase, c.amount), 0);
    expect_report(c.text);
    expect_commands_as_scripted();
    EXPECT_DOUBLE_EQ(tape::max_rwr_percentage, c.rwr_max);
    EXPECT_DOUBLE_EQ(tape::max_ecc_percentage, c.ecc_max);
    for (const Bytes& cdb : drive.cdbs) {
        if (cdb[0] == OP_WRITE_FILEMARKS) {
            EXPECT_EQ(cdb, (Bytes{0x10, 0x00, 0x00, 0x00, 0x00, 0x00}));
        }
    }
}

void PrintTo(const IntervalCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(DriveStatus, Intervals, ::testing::ValuesIn(INTERVAL_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriveStatus, PositionAndRetryCountersOnly) {
    configure(tape::ITEM_RPOS, "RPD", 0, 4, 4, 16);
    configure(tape::ITEM_RWRC, "RSD", 0, 16, 2);
    configure(tape::ITEM_TKRC, "LSD", 0x3C, 1, 1);
    Bytes sense(18, 0);
    sense[16] = 0x01;  // 300
    sense[17] = 0x2C;
    const Bytes log = {0x3C, 0x00, 0x00, 0x02, 0x00, 0x05};
    drive.script = {good(OP_TEST_UNIT_READY), good(OP_TEST_UNIT_READY),
                    good(OP_READ_POSITION, position_data(0x10000001)), good(OP_REQUEST_SENSE, sense),
                    good(OP_LOG_SENSE, log)};

    EXPECT_EQ(tape::display_drive_status(0, 0, 0.0), 0);
    EXPECT_EQ(tape::display_drive_status(1, 0, 1048576.0), 0);
    // 0x10000001 * 16 keeps its low 32 bits; 300 its low 8.
    expect_report("  tape logical block position ................ 0x10\r\n"
                  "  drive read/write retry counter ............. 0x2C\r\n"
                  "  drive tracking retry counter ............... 0x05\r\n");
    expect_commands_as_scripted();
    ASSERT_EQ(drive.cdbs.size(), 5u);
    EXPECT_EQ(drive.cdbs[2], (Bytes{0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(drive.cdbs[3], (Bytes{0x03, 0x00, 0x00, 0x00, 0xFF, 0x00}));
    EXPECT_EQ(drive.cdbs[4], (Bytes{0x4D, 0x00, 0x7C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x28, 0x00}));
}

TEST_F(DriveStatus, OtherMomentOnlyTestsUnitReady) {
    configure(tape::ITEM_WCMP, "RPD", 0, 4, 4);
    configure(tape::ITEM_RPOS, "RPD", 0, 4, 4);
    drive.script = {good(OP_TEST_UNIT_READY)};
    EXPECT_EQ(tape::display_drive_status(2, 0, 800.0), 0);
    expect_report("");
    expect_commands_as_scripted();
}

TEST_F(DriveStatus, DelayComesBeforeTestUnitReady) {
    frontend::settings.dsc_delay = 120;
    drive.script = {good(OP_TEST_UNIT_READY)};
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(tape::display_drive_status(0, 1, 0.0), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(120));
    expect_commands_as_scripted();
}

// A failed read ends the report at once; lines already printed stay.
TEST_F(DriveStatus, FailedCounterEndsTheReport) {
    configure(tape::ITEM_WCMP, "RPD", 0, 4, 4);
    configure(tape::ITEM_DRWR, "LSD", 0x32, 0, 1);
    configure(tape::ITEM_RPOS, "RPD", 0, 4, 4);
    const Bytes log = {0x32, 0x00, 0x00, 0x01, 0x00};
    drive.script = {good(OP_TEST_UNIT_READY),
                    good(OP_READ_POSITION, position_data(0)),
                    good(OP_LOG_SENSE, log),
                    good(OP_WRITE_FILEMARKS),
                    good(OP_TEST_UNIT_READY),
                    good(OP_READ_POSITION, position_data(400)),
                    check(OP_LOG_SENSE, 0x05, 0x24, 0x00)};
    EXPECT_EQ(tape::display_drive_status(0, 0, 0.0), 0);
    EXPECT_EQ(tape::display_drive_status(1, 0, 800.0), -1);
    expect_report_then_status(
        "  write data compression ratio ............... 2.0 to 1\r\n"
        "ERROR: unable to get drive status information with \"Log Sense\" command\r\nat SCSI id 2 LUN 0\r\n");
    expect_commands_as_scripted();
}

// Reading one counter out of LOG SENSE data.
struct LogCase {
    const char* name;
    std::uint8_t page;
    std::uint8_t offset;
    std::uint8_t length;
    std::uint32_t multiplier;
    Bytes data;
    int result;
    double value;
};

const LogCase LOG_CASES[] = {
    {"FirstPage", 0x3C, 6, 2, 0x10000, {0x3C, 0x00, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0x12, 0x34}, 0, 305397760.0},
    // The walk moves by page lengths, not byte by byte, and ignores the
    // two flag bits above the page code.
    {"SkipsOtherPage",
     0x32,
     2,
     3,
     1,
     {0x31, 0x00, 0x00, 0x06, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x72, 0x00, 0x00, 0x05, 0, 0, 0x01, 0x02, 0x03},
     0,
     66051.0},
    {"PageCodeAbove3Fh", 0x72, 0, 1, 1, {0x32, 0x00, 0x00, 0x04, 0x09}, -1, 0},
    {"PageMissing", 0x33, 0, 1, 1, {0x31, 0x00, 0x00, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x32, 0x00, 0x00, 0x10},
     -1, 0},
    {"LatePageEndsExactlyAtDataEnd",
     0x32,
     0,
     4,
     1,
     {0x31, 0x00, 0x00, 0x1C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0x32, 0x00, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00},
     0,
     256.0},
    {"LatePageRunsPastDataEnd",
     0x32,
     2,
     4,
     1,
     {0x31, 0x00, 0x00, 0x1C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0x32, 0x00, 0x00, 0x04, 0x00, 0x00, 0x01, 0x00},
     -1,
     0},
    {"HeaderPastDataEnd", 0x32, 0, 1, 1, {0x31, 0x00, 0x00, 0x21}, -1, 0},
};

class LogPages : public DriveStatus, public ::testing::WithParamInterface<LogCase> {};

TEST_P(LogPages, WalkToCounter) {
    const LogCase& c = GetParam();
    configure(tape::ITEM_TDWR, "LSD", c.page, c.offset, c.length, c.multiplier);
    drive.script = {good(OP_LOG_SENSE, c.data)};
    double value = -7.0;
    EXPECT_EQ(tape::get_drive_status_value(tape::ITEM_TDWR, value), c.result);
    ASSERT_EQ(drive.cdbs.size(), 1u);
    EXPECT_EQ(drive.cdbs[0][2], 0x40 | (c.page & 0x3F));
    if (c.result == 0) {
        EXPECT_DOUBLE_EQ(value, c.value);
        expect_report("");
    } else {
        EXPECT_DOUBLE_EQ(value, -7.0);
        // The message, then the 40 log bytes; no status report.
        const std::string console = console_text();
        EXPECT_EQ(console.substr(0, std::strlen(INVALID_LOG_DATA)), INVALID_LOG_DATA);
        EXPECT_EQ(console.compare(std::strlen(INVALID_LOG_DATA), 8, "000000: "), 0) << console;
        EXPECT_NE(console.find("\r\n000020: "), std::string::npos) << console;
        EXPECT_EQ(console.find("Win32"), std::string::npos);
        EXPECT_EQ(output_file_text(), console);
    }
}

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(DriveStatus, LogPages, ::testing::ValuesIn(LOG_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

struct CommandFailure {
    const char* name;
    const char* command;
    std::uint8_t opcode;
    const char* text;
};

const CommandFailure COMMAND_FAILURES[] = {
    {"LogSense", "LSD", OP_LOG_SENSE,
     "ERROR: unable to get drive status information with \"Log Sense\" command\r\nat SCSI id 2 LUN 0\r\n"},
    {"ReadPosition", "RPD", OP_READ_POSITION,
     "ERROR: unable to get drive status information with \"Read Position\" command\r\nat SCSI id 2 LUN 0\r\n"},
    {"RequestSense", "RSD", OP_REQUEST_SENSE,
     "ERROR: unable to get drive status information with \"Request Sense\" command\r\nat SCSI id 2 LUN 0\r\n"},
};

class CommandFailures : public DriveStatus, public ::testing::WithParamInterface<CommandFailure> {};

TEST_P(CommandFailures, ErrorLineAndStatus) {
    const CommandFailure& c = GetParam();
    configure(tape::ITEM_RWRC, c.command, 0x3C, 0, 1);
    drive.script = {check(c.opcode, 0x05, 0x24, 0x00)};
    double value = 0.0;
    EXPECT_EQ(tape::get_drive_status_value(tape::ITEM_RWRC, value), -1);
    expect_report_then_status(c.text);
    expect_commands_as_scripted();
}

void PrintTo(const CommandFailure& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(DriveStatus, CommandFailures, ::testing::ValuesIn(COMMAND_FAILURES),
                         [](const auto& info) { return std::string(info.param.name); });

// Counters reaching past their data are refused by the loader; one that
// arrives anyway is never read.
TEST_F(DriveStatus, CounterOutsideItsDataIsNotRead) {
    configure(tape::ITEM_RPOS, "RPD", 0, 17, 4);
    double value = 0.0;
    EXPECT_EQ(tape::get_drive_status_value(tape::ITEM_RPOS, value), -1);
    expect_report("DSC FILE ERROR: field offset/length out of range for \"RPOS\" in DSC file\r\n");
    EXPECT_TRUE(drive.cdbs.empty());
}

}  // namespace
}  // namespace zv::test
