// In-process checks of the scan with a scripted port: what the virtual bus
// cannot produce (ports without a text for a code, inquiry data with a zero
// byte in the identification) and the limits of the adapter loop.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// The scan is a program of its own, not part of the core library.
#include "scan/adapter_scan.cpp"
#include "scan/system_error.cpp"

namespace {

using zv::port::Handle;

class ScriptedPort : public zv::port::PortDriver {
public:
    std::map<std::string, zv::port::AdapterInquiry> adapters;  // by device name
    std::map<std::uint32_t, std::string> texts;
    std::vector<std::string> opened;

    Handle open(const char* device_name, std::uint32_t& error_code) override {
        opened.emplace_back(device_name);
        auto found = adapters.find(device_name);
        if (found == adapters.end()) {
            error_code = zv::port::ERROR_NOT_FOUND;
            return zv::port::INVALID_HANDLE;
        }
        current = &found->second;
        return 1;
    }
    bool close(Handle, std::uint32_t&) override { return true; }
    bool get_inquiry_data(Handle, zv::port::AdapterInquiry& data, std::uint32_t&) override {
        data = *current;
        return true;
    }
    bool get_address(Handle, zv::port::ScsiAddress&, std::uint32_t& error_code) override {
        error_code = zv::port::ERROR_NOT_SUPPORTED;
        return false;
    }
    bool pass_through(Handle, zv::port::PassThroughRequest&, std::uint32_t& error_code) override {
        error_code = zv::port::ERROR_NOT_SUPPORTED;
        return false;
    }
    std::string error_text(std::uint32_t code) override {
        auto found = texts.find(code);
        return found == texts.end() ? std::string() : found->second;
    }

private:
    const zv::port::AdapterInquiry* current = nullptr;
};

class ScanWithScriptedPort : public ::testing::Test {
protected:
    void SetUp() override { zv::port::set_active_port(&port); }
    void TearDown() override { zv::port::set_active_port(nullptr); }
    ScriptedPort port;
};

const char* const TABLE_RULE =
    "------- --- -- --- ------ ---------------------------- -----------------------\n";
const char* const SUMMARY_RULE = "------- --- ----------------- ------------\n";

std::string between(const std::string& text, const std::string& from, const std::string& to) {
    std::size_t start = text.find(from);
    if (start == std::string::npos) return "<no " + from + ">";
    start += from.size();
    std::size_t end = text.find(to, start);
    if (end == std::string::npos) return "<no " + to + ">";
    return text.substr(start, end - start);
}

}  // namespace

TEST_F(ScanWithScriptedPort, SystemErrorTexts) {
    port.texts[6] = "The handle is invalid.";
    port.texts[21] = "The device is not ready.\n";
    // An 80-character buffer holds 79 characters and the terminator.
    port.texts[31] = std::string(79, 'x');  // with its line end it does not fit: no text
    port.texts[33] = std::string(78, 'y');  // with its line end it just fits
    struct Case {
        const char* prefix;
        std::uint32_t code;
        std::string expected;
    } cases[] = {
        {"Error closing device handle: ", 6, "Error closing device handle: The handle is invalid.\n"},
        {"P: ", 21, "P: The device is not ready.\n"},
        {"Error getting inquiry data: ", 1117, "Error getting inquiry data: Error code 1117\n"},
        {nullptr, 6, "The handle is invalid.\n"},
        {nullptr, 99, "Error code 99\n"},
        {"P: ", 31, "P: Error code 31\n"},
        {"P: ", 33, "P: " + std::string(78, 'y') + "\n"},
    };
    for (const Case& c : cases) {
        ::testing::internal::CaptureStderr();
        zv::scan::print_system_error(c.prefix, c.code);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.expected) << "code " << c.code;
    }
}

TEST_F(ScanWithScriptedPort, EveryAdapterNumberUpTo254IsTriedOnce) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(zv::scan::run_scan(), 0);
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(port.opened.size(), 255u);
    EXPECT_EQ(port.opened.front(), "\\\\.\\Scsi0:");
    EXPECT_EQ(port.opened[9], "\\\\.\\Scsi9:");
    EXPECT_EQ(port.opened[100], "\\\\.\\Scsi100:");
    EXPECT_EQ(port.opened.back(), "\\\\.\\Scsi254:");
}

TEST_F(ScanWithScriptedPort, IdentificationStopsAtZeroByteOrAfter28Bytes) {
    zv::port::InquiryRecord cut{};
    cut.target_id = 1;
    std::memcpy(cut.inquiry, "\x01\x80\x05\x02\x1F\x00\x00\x00" "SHORT", 13);  // zero from byte 13 on
    zv::port::InquiryRecord full{};
    full.target_id = 15;
    full.lun = 7;
    full.claimed = true;
    std::memcpy(full.inquiry, "\x08\x00\x02\x02\x1F\x00\x10\xFF", 8);
    std::memcpy(full.inquiry + 8, "VENDOR01PRODUCT-ID-16CHREV4", 27);
    full.inquiry[35] = '!';  // the last byte of the record, no terminator after it
    zv::port::AdapterInquiry adapter;
    adapter.buses.push_back({3, {cut, full}});
    port.adapters["\\\\.\\Scsi2:"] = adapter;

    ::testing::internal::CaptureStdout();
    EXPECT_EQ(zv::scan::run_scan(), 0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(between(out, TABLE_RULE, "\nAdapter Bus"),
              "    2    0   1  0    No   SHORT 01 80 05 02 1F 00 00 00\n"
              "    2    0   15  7    Yes  VENDOR01PRODUCT-ID-16CHREV4! 08 00 02 02 1F 00 10 FF\n");
    EXPECT_EQ(out.substr(out.find(SUMMARY_RULE) + std::strlen(SUMMARY_RULE)),
              "    2    0          2              3\n");
}
