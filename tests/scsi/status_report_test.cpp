// The status block after a failed command, dump included.
#include "fake_port.h"
#include "scsi/commands.h"
#include "scsi/status_report.h"

namespace zv::test {
namespace {

using scsi::layer;

class StatusReportTest : public OneDriveTest {
protected:
    void expect_report(const std::string& expected) {
        scsi::report_command_status();
        EXPECT_EQ(stream_text(console), expected);
        EXPECT_EQ(stream_text(output), expected);
    }
};

// Blank fields of a short dump row: 12 missing bytes after the first group
// of four are two blank separators and twelve blank fields.
const std::string EIGHT_ZEROS_ROW =
    "000000: 00 00 00 00 | 00 00 00 00 "
    "                            "
    " ........        \r\n";

TEST_F(StatusReportTest, UnregisteredTarget) {
    target(0, 5);
    scsi::test_unit_ready();
    expect_report("\r\n"
                  "Win32 SRB status . 02 (device not found)\r\n"
                  "SRB targ status .. 00 (no error)\r\n"
                  "SRB sense key .... 00 (no sense)\r\n"
                  "\r\n" +
                  EIGHT_ZEROS_ROW);
}

TEST_F(StatusReportTest, FilemarkWithIncorrectLengthAndValidInformation) {
    // Fixed-format sense: valid, NO SENSE with FMK and ILI, information 00008000h,
    // additional length 10, ASC/ASCQ 00h/01h.
    const std::vector<std::uint8_t> sense = {0xF0, 0x00, 0xA0, 0x00, 0x00, 0x80, 0x00, 0x0A, 0x00,
                                             0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00};
    port.answers.push_back({.status = 0x02, .sense = sense, .transferred = 0x8000});
    static std::uint8_t data[0x10000];
    scsi::register_read_write_buffer(data, sizeof data);
    scsi::read_data(0x40);
    expect_report("\r\n"
                  "Win32 SRB status . 00 (no error)\r\n"
                  "SRB targ status .. 02 (check condition)\r\n"
                  "SRB sense key .... A0 (no sense); FMK; ILI; true CDB xfer = 8000\r\n"
                  "\r\n"
                  "000000: f0 00 a0 00 | 00 80 00 0a | 00 00 00 00 | 00 01 00 00  \xF0.\xA0.............\r\n"
                  "000010: 00 00 "
                  "      " "  " "            " "  " "            " "  " "            "
                  " ..              \r\n");
}

TEST_F(StatusReportTest, CodesAndFlags) {
    struct Case {
        const char* name;
        Answer answer;
        std::string lines;  // the three lines after the leading blank line
    };
    const std::vector<std::uint8_t> medium_error = {0x70, 0x00, 0x43, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::vector<std::uint8_t> eom_unit_attention = {0x70, 0x00, 0x46, 0x00, 0x00, 0x00, 0x00, 0x00};
    const Case cases[] = {
        {"reservation conflict", {.status = 0x18},
         "Win32 SRB status . 00 (no error)\r\nSRB targ status .. 18 (UNKNOWN STATUS!!!)\r\n"
         "SRB sense key .... 00 (no sense)\r\n"},
        {"ILI error code", {.sent = false, .error_code = 1106},
         "Win32 SRB status . 452 (ILI)\r\nSRB targ status .. 00 (no error)\r\nSRB sense key .... 00 (no sense)\r\n"},
        {"unknown error code", {.sent = false, .error_code = 1117},
         "Win32 SRB status . 45D (unknown error)\r\nSRB targ status .. 00 (no error)\r\n"
         "SRB sense key .... 00 (no sense)\r\n"},
        {"in use", {.sent = false, .error_code = 32},
         "Win32 SRB status . 20 (device is in use by another process)\r\nSRB targ status .. 00 (no error)\r\n"
         "SRB sense key .... 00 (no sense)\r\n"},
        {"busy", {.status = 0x08},
         "Win32 SRB status . 00 (no error)\r\nSRB targ status .. 08 (LUN busy)\r\nSRB sense key .... 00 (no sense)\r\n"},
        {"medium error, no valid bit", {.status = 0x02, .sense = medium_error},
         "Win32 SRB status . 00 (no error)\r\nSRB targ status .. 02 (check condition)\r\n"
         "SRB sense key .... 43 (medium error); EOM\r\n"},
        {"unit attention at end of medium", {.status = 0x02, .sense = eom_unit_attention},
         "Win32 SRB status . 00 (no error)\r\nSRB targ status .. 02 (check condition)\r\n"
         "SRB sense key .... 46 (unit attention); EOM\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        port.answers.push_back(c.answer);
        scsi::test_unit_ready();
        std::FILE* report = std::tmpfile();
        frontend::channels.console = report;
        scsi::report_command_status();
        const std::string text = stream_text(report);
        frontend::channels.console = console;
        std::fclose(report);
        EXPECT_EQ(text.substr(0, 2 + c.lines.size() + 2), "\r\n" + c.lines + "\r\n");
        // An 8-byte sense dump follows: one row.
        EXPECT_EQ(text.substr(2 + c.lines.size() + 2, 8), "000000: ");
        EXPECT_EQ(text.size(), 2 + c.lines.size() + 2 + 81);
    }
}

TEST_F(StatusReportTest, LongAdditionalLengthDumpsTheWholeStructureOnly) {
    std::vector<std::uint8_t> sense(255, 0x00);
    sense[0] = 0x70;
    sense[7] = 250;
    port.answers.push_back({.status = 0x02, .sense = sense});
    scsi::test_unit_ready();
    scsi::report_command_status();
    const std::string text = stream_text(console);
    const std::size_t last_row = text.rfind("0000F0: ");
    ASSERT_NE(last_row, std::string::npos);
    EXPECT_EQ(text.size() - last_row, 81u);  // a full last row, nothing after it
    EXPECT_EQ(text.find("000100: "), std::string::npos);
}

TEST(StatusTexts, Lookups) {
    EXPECT_STREQ(scsi::error_code_text(0), "no error");
    EXPECT_STREQ(scsi::error_code_text(19), "write protect");
    EXPECT_STREQ(scsi::error_code_text(50), "function not supported");
    EXPECT_STREQ(scsi::error_code_text(1100), "EOM");
    EXPECT_STREQ(scsi::error_code_text(1112), "no media in drive");
    EXPECT_STREQ(scsi::error_code_text(1113), "unknown error");
    EXPECT_STREQ(scsi::target_status_text(0x04), "condition met for pre-fetch SCSI commands");
    EXPECT_STREQ(scsi::target_status_text(0x22), "command terminated");
    EXPECT_STREQ(scsi::target_status_text(0x28), "queue full");
    EXPECT_STREQ(scsi::SENSE_KEY_NAMES[8], "blank check");
    EXPECT_STREQ(scsi::SENSE_KEY_NAMES[13], "volume overflow");
    EXPECT_STREQ(scsi::SENSE_KEY_NAMES[15], "reserved");
}

}  // namespace
}  // namespace zv::test

namespace zv::test {
namespace {

// A port whose own codes (bit 29 set) have texts; system codes have none here.
class TextPort : public FakePort {
public:
    std::string error_text(std::uint32_t code) override {
        if (code == 0x20000002) return "transfer too large for the kernel: lower \"/maxtl\"";
        if (code == 5 || code == 1117) return "some port text";
        return {};
    }
};

TEST(StatusTexts, PortCodesTakeThePortText) {
    TextPort text_port;
    port::set_active_port(&text_port);
    EXPECT_STREQ(scsi::error_code_text(0x20000002), "transfer too large for the kernel: lower \"/maxtl\"");
    EXPECT_STREQ(scsi::error_code_text(0x20000099), "unknown error");  // the port has no text for it
    // System codes keep the table, even when the port could name them.
    EXPECT_STREQ(scsi::error_code_text(1117), "unknown error");
    EXPECT_STREQ(scsi::error_code_text(5), "unknown error");
    EXPECT_STREQ(scsi::error_code_text(32), "device is in use by another process");
    port::set_active_port(nullptr);
    EXPECT_STREQ(scsi::error_code_text(0x20000002), "unknown error");
}

}  // namespace
}  // namespace zv::test
