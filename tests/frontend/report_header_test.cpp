#include <cstring>
#include <string>

#include "capture.h"
#include "frontend/report_header.h"
#include "scsi/layer.h"
#include "scsi/port.h"

namespace zv::test {
namespace {

// A drive that answers INQUIRY with the bytes the test puts in answer.
class InquiryPort : public port::PortDriver {
public:
    std::uint8_t answer[64] = {};

    port::Handle open(const char*, std::uint32_t&) override { return 7; }
    bool close(port::Handle, std::uint32_t&) override { return true; }
    bool get_inquiry_data(port::Handle, port::AdapterInquiry&, std::uint32_t&) override { return false; }
    bool get_address(port::Handle, port::ScsiAddress&, std::uint32_t&) override { return false; }
    bool pass_through(port::Handle, port::PassThroughRequest& request, std::uint32_t&) override {
        if (request.cdb[0] == 0x12) {
            std::uint32_t length = std::min<std::uint32_t>(request.data_transfer_length, sizeof answer);
            std::memcpy(request.data_buffer, answer, length);
            request.data_transfer_length = length;
        }
        request.scsi_status = 0;
        request.sense_info_length = 0;
        return true;
    }
    std::string error_text(std::uint32_t) override { return ""; }
};

std::tm march_seventh() {
    std::tm time{};
    time.tm_year = 101;
    time.tm_mon = 2;
    time.tm_mday = 7;
    time.tm_hour = 13;
    time.tm_min = 5;
    return time;
}

class ReportHeaderTest : public CapturedOutput {
protected:
    void SetUp() override {
        CapturedOutput::SetUp();
        output_file_ = std::tmpfile();
        frontend::channels.output_file = output_file_;
        frontend::set_local_time_source(march_seventh);
        scsi::layer = scsi::ScsiLayerState{};
        scsi::layer.inquiry_data = inquiry_buffer_;
        std::memset(inquiry_buffer_, 0xEE, sizeof inquiry_buffer_);
        port::set_active_port(&port_);
    }
    void TearDown() override {
        port::set_active_port(nullptr);
        scsi::layer = scsi::ScsiLayerState{};
        frontend::set_local_time_source(nullptr);
        std::fclose(output_file_);
        CapturedOutput::TearDown();
    }
    // Puts the target in the accessible device table with an open handle.
    void attach_drive() {
        handle_info_.handle = 7;
        scsi::layer.devices[0] = scsi::AccessibleDevice{0, 0, 2, 0, &handle_info_};
        scsi::layer.device_count = 1;
    }
    void answer(const char* vendor, const char* product, const char* revision, const char* more) {
        std::memcpy(port_.answer + 8, vendor, 8);
        std::memcpy(port_.answer + 16, product, 16);
        std::memcpy(port_.answer + 32, revision, 4);
        std::memcpy(port_.answer + 36, more, std::strlen(more));
    }

    std::string header_start() {
        return "\r\n" + std::string(27, ' ') + "ZENTROVA STORAGE TEST SUITE\r\n\r\n" + std::string(20, ' ') +
               "-- ZV TAPE DRIVE TEST PROGRAM V1.57CV --\r\n"
               "\r\nTEST DATE/TIME .............. 03/07/01 01:05:00 pm\r\n";
    }

    std::FILE* output_file_ = nullptr;
    std::uint8_t inquiry_buffer_[256];
    scsi::HandleInfo handle_info_;
    InquiryPort port_;
};

TEST_F(ReportHeaderTest, DriveIdentityFieldsAreCutAndPaddedToTheirWidths) {
    struct Case {
        const char* vendor;
        const char* product;
        const char* revision;
        std::string lines;
    };
    const Case cases[] = {
        {"ZENTROVA", "ABCDEFGHIJK     ", "1.00",
         "DRIVE PRODUCT ID ............ ABCDEFGHIJK     \r\n"
         "DRIVE VENDOR ID ............. ZENTROVA\r\n"
         "DRIVE FIRMWARE REVISION ..... 1.00\r\n"},
        {"ZV\0\0\0\0\0\0", "T\0PE\0\0\0\0\0\0\0\0\0\0\0\0", "\0\0\0\0",
         "DRIVE PRODUCT ID ............ T               \r\n"
         "DRIVE VENDOR ID ............. ZV      \r\n"
         "DRIVE FIRMWARE REVISION .....     \r\n"},
    };
    attach_drive();
    for (const Case& c : cases) {
        reset();
        std::rewind(output_file_);
        frontend::channels.output_file = output_file_;
        answer(c.vendor, c.product, c.revision, "MORE");
        frontend::print_report_header();
        const std::string expected = header_start() + c.lines;
        EXPECT_EQ(console(), expected);
        EXPECT_EQ(stream_text(output_file_).substr(0, expected.size()), expected);
    }
}

TEST_F(ReportHeaderTest, FailedInquiryShowsBlanks) {
    frontend::print_report_header();
    const std::string expected = header_start() + "DRIVE PRODUCT ID ............ " + std::string(16, ' ') +
                                 "\r\nDRIVE VENDOR ID ............. " + std::string(8, ' ') +
                                 "\r\nDRIVE FIRMWARE REVISION ..... " + std::string(4, ' ') + "\r\n";
    EXPECT_EQ(console(), expected);
    EXPECT_EQ(stream_text(output_file_), expected);
}

TEST_F(ReportHeaderTest, SettingsSummaryNamesTheOutputFileOnTheConsoleOnly) {
    struct Case {
        std::vector<std::string> args;
        std::string console;
        std::string file;
    };
    const Case cases[] = {
        {{}, "\r\noutput file = \"zvtape.out\"\r\n", "\r\n"},
        {{"/afile", "run.out", "/cfile", "cdb.txt"},
         "\r\noutput file (append) = \"run.out\"\r\nCDB list file = \"cdb.txt\"\r\n",
         "\r\nCDB list file = \"cdb.txt\"\r\n"},
    };
    for (const Case& c : cases) {
        reset();
        std::FILE* file = std::tmpfile();
        frontend::channels.output_file = file;
        ASSERT_EQ(parse(c.args), 0);
        frontend::print_settings_summary();
        EXPECT_EQ(console(), c.console);
        EXPECT_EQ(stream_text(file), c.file);
        std::fclose(file);
    }
}

}  // namespace
}  // namespace zv::test
