// A scripted tape drive behind the port driver interface, and a fixture that
// routes the command layer to it and captures the report.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/discovery.h"
#include "scsi/layer.h"
#include "scsi/port.h"
#include "stream_text.h"

namespace zv::test {

using Bytes = std::vector<std::uint8_t>;

// One command the drive expects, in order, and how it answers.
struct Step {
    std::uint8_t opcode = 0;
    std::uint8_t status = 0;  // SCSI status; 02h comes with sense
    Bytes sense;
    Bytes data;  // data-in bytes
};

inline Bytes fixed_sense(std::uint8_t key_byte, std::uint8_t asc, std::uint8_t ascq) {
    Bytes sense(18, 0);
    sense[0] = 0x70;
    sense[2] = key_byte;
    sense[7] = 10;
    sense[12] = asc;
    sense[13] = ascq;
    return sense;
}

inline Step good(std::uint8_t opcode, Bytes data = {}) { return Step{opcode, 0, {}, std::move(data)}; }
inline Step check(std::uint8_t opcode, std::uint8_t key_byte, std::uint8_t asc = 0, std::uint8_t ascq = 0) {
    return Step{opcode, 0x02, fixed_sense(key_byte, asc, ascq), {}};
}

constexpr std::uint8_t OP_TEST_UNIT_READY = 0x00;
constexpr std::uint8_t OP_REWIND = 0x01;
constexpr std::uint8_t OP_REQUEST_SENSE = 0x03;
constexpr std::uint8_t OP_WRITE_FILEMARKS = 0x10;
constexpr std::uint8_t OP_SPACE = 0x11;
constexpr std::uint8_t OP_LOAD_UNLOAD = 0x1B;
constexpr std::uint8_t OP_PREVENT_ALLOW = 0x1E;
constexpr std::uint8_t OP_READ_POSITION = 0x34;
constexpr std::uint8_t OP_LOG_SENSE = 0x4D;

class ScriptedDrive : public port::PortDriver {
public:
    std::vector<Step> script;
    std::vector<Bytes> cdbs;  // every CDB received

    port::Handle open(const char*, std::uint32_t& error_code) override {
        error_code = 0;
        return 7;
    }
    bool close(port::Handle, std::uint32_t& error_code) override {
        error_code = 0;
        return true;
    }
    bool get_inquiry_data(port::Handle, port::AdapterInquiry&, std::uint32_t& error_code) override {
        error_code = port::ERROR_NOT_SUPPORTED;
        return false;
    }
    bool get_address(port::Handle, port::ScsiAddress&, std::uint32_t& error_code) override {
        error_code = port::ERROR_NOT_SUPPORTED;
        return false;
    }
    bool pass_through(port::Handle, port::PassThroughRequest& request, std::uint32_t& error_code) override {
        error_code = 0;
        cdbs.emplace_back(request.cdb, request.cdb + request.cdb_length);
        const std::size_t index = cdbs.size() - 1;
        // A command off the script answers good with no data; the opcode list
        // check of the test shows it.
        const Step step = index < script.size() ? script[index] : Step{};
        std::uint32_t moved = 0;
        if (request.data_buffer != nullptr) {
            moved = static_cast<std::uint32_t>(std::min<std::size_t>(step.data.size(), request.data_transfer_length));
            if (moved > 0) std::memcpy(request.data_buffer, step.data.data(), moved);
        }
        request.data_transfer_length = moved;
        request.scsi_status = step.status;
        request.sense_info_length = static_cast<std::uint8_t>(step.sense.size());
        if (!step.sense.empty()) std::memcpy(request.sense, step.sense.data(), step.sense.size());
        return true;
    }
    std::string error_text(std::uint32_t) override { return {}; }

    std::vector<std::uint8_t> opcodes() const {
        std::vector<std::uint8_t> result;
        for (const Bytes& cdb : cdbs) result.push_back(cdb.empty() ? 0xFF : cdb[0]);
        return result;
    }
    std::vector<std::uint8_t> scripted_opcodes() const {
        std::vector<std::uint8_t> result;
        for (const Step& step : script) result.push_back(step.opcode);
        return result;
    }
};

// Routes the command layer to a ScriptedDrive at SCSI id 2 LUN 0 and sends
// the report to a console file and an output file.
class DriveFixture : public ::testing::Test {
protected:
    ScriptedDrive drive;
    scsi::HandleInfo handle_info;
    std::string output_path;

    void SetUp() override {
        frontend::settings = frontend::TestSettings{};
        if (scsi::layer.sense_data == nullptr) {
            ASSERT_EQ(scsi::allocate_data_structures(), 0);
        }
        scsi::layer.current_target = scsi::TargetAddress{};
        scsi::layer.lun_bits = 0;
        scsi::layer.outcome = scsi::CommandOutcome{};
        scsi::layer.open_handle_count = 0;
        scsi::layer.cdb_list_stream = nullptr;
        std::strcpy(handle_info.device_name, "\\\\.\\Tape0");
        scsi::layer.devices[0] = scsi::AccessibleDevice{0, 0, 2, 0, &handle_info};
        scsi::layer.device_count = 1;
        port::set_active_port(&drive);

        char path[] = "/tmp/zv_tape_test_XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        ::close(fd);
        output_path = path;
        frontend::channels = frontend::OutputChannels{};
        frontend::channels.console = std::tmpfile();
        frontend::channels.output_file = std::fopen(path, "wb");
        frontend::channels.layer_log_stream = frontend::channels.output_file;
        frontend::channels.cdb_list_file = nullptr;
    }

    void TearDown() override {
        port::set_active_port(nullptr);
        scsi::layer.device_count = 0;
        scsi::layer.devices[0] = scsi::AccessibleDevice{};
        std::fclose(frontend::channels.console);
        std::fclose(frontend::channels.output_file);
        frontend::channels = frontend::OutputChannels{};
        std::remove(output_path.c_str());
    }

    std::string console_text() { return stream_text(frontend::channels.console); }

    // Read from disk without flushing here: what is there is what the code
    // under test flushed.
    std::string output_file_text() const {
        std::ifstream file(output_path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    // The console shows exactly the expected text, and the output file holds
    // the same bytes already flushed.
    void expect_report(const std::string& expected) {
        const std::string console = console_text();
        EXPECT_EQ(console, expected);
        EXPECT_EQ(output_file_text(), console);
    }

    // The expected lines, then the command layer's status block.
    void expect_report_then_status(const std::string& expected) {
        const std::string console = console_text();
        EXPECT_EQ(console.substr(0, expected.size()), expected);
        const std::string status_start = "\r\nWin32 SRB status . ";
        EXPECT_EQ(console.compare(expected.size(), status_start.size(), status_start), 0) << console;
        EXPECT_EQ(output_file_text(), console);
    }

    void expect_commands_as_scripted() { EXPECT_EQ(drive.opcodes(), drive.scripted_opcodes()); }
};

}  // namespace zv::test
