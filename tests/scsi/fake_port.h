// A scripted port driver for the command layer's tests: adapters and tape
// devices by number, a queue of answers, and a record of every CDB, open and
// close.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/discovery.h"
#include "scsi/layer.h"
#include "scsi/port.h"
#include "stream_text.h"

namespace zv::test {

struct Answer {
    bool sent = true;  // false: the call itself fails with error_code
    std::uint32_t error_code = 0;
    std::uint8_t status = 0;
    std::vector<std::uint8_t> sense{};
    std::vector<std::uint8_t> data{};  // copied into the caller's buffer
    std::int64_t transferred = -1;   // -1: the length asked for
};

struct SentCommand {
    std::vector<std::uint8_t> cdb;
    port::Direction direction;
    std::uint32_t length;
    std::uint32_t timeout;
    std::uint8_t sense_capacity;
    void* buffer;
    std::uint8_t path_id, target_id, lun;
};

class FakePort : public port::PortDriver {
public:
    std::map<int, port::AdapterInquiry> adapters;
    std::map<int, port::ScsiAddress> tapes;
    std::set<std::string> in_use;
    std::deque<Answer> answers;
    std::vector<SentCommand> sent;
    std::vector<std::string> opened;  // names, in order
    int close_count = 0;
    std::map<port::Handle, std::string> open_handles;

    port::Handle open(const char* name, std::uint32_t& error_code) override {
        const std::string text = name;
        if (in_use.count(text)) {
            error_code = port::ERROR_IN_USE;
            return port::INVALID_HANDLE;
        }
        int number = 0;
        bool exists = false;
        if (std::sscanf(name, "\\\\.\\Scsi%d:", &number) == 1 && text.back() == ':')
            exists = adapters.count(number) != 0;
        else if (std::sscanf(name, "\\\\.\\Tape%d", &number) == 1)
            exists = tapes.count(number) != 0;
        if (!exists) {
            error_code = port::ERROR_NOT_FOUND;
            return port::INVALID_HANDLE;
        }
        const port::Handle handle = next_handle++;
        open_handles[handle] = text;
        opened.push_back(text);
        return handle;
    }
    bool close(port::Handle handle, std::uint32_t& error_code) override {
        ++close_count;
        EXPECT_EQ(open_handles.erase(handle), 1u) << "closing a handle that is not open";
        error_code = 0;
        return true;
    }
    bool get_inquiry_data(port::Handle handle, port::AdapterInquiry& data, std::uint32_t&) override {
        int number = 0;
        std::sscanf(open_handles.at(handle).c_str(), "\\\\.\\Scsi%d:", &number);
        data = adapters.at(number);
        return true;
    }
    bool get_address(port::Handle handle, port::ScsiAddress& address, std::uint32_t&) override {
        int number = 0;
        std::sscanf(open_handles.at(handle).c_str(), "\\\\.\\Tape%d", &number);
        address = tapes.at(number);
        return true;
    }
    bool pass_through(port::Handle handle, port::PassThroughRequest& request, std::uint32_t& error_code) override {
        EXPECT_EQ(open_handles.count(handle), 1u) << "command sent on a handle that is not open";
        sent.push_back({std::vector<std::uint8_t>(request.cdb, request.cdb + request.cdb_length), request.direction,
                        request.data_transfer_length, request.timeout_seconds, request.sense_info_length,
                        request.data_buffer, request.path_id, request.target_id, request.lun});
        Answer answer;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
        if (!answer.sent) {
            error_code = answer.error_code;
            request.sense_info_length = 0;
            return false;
        }
        if (!answer.data.empty()) std::memcpy(request.data_buffer, answer.data.data(), answer.data.size());
        if (answer.transferred >= 0) request.data_transfer_length = static_cast<std::uint32_t>(answer.transferred);
        request.scsi_status = answer.status;
        if (!answer.sense.empty()) std::memcpy(request.sense, answer.sense.data(), answer.sense.size());
        request.sense_info_length = static_cast<std::uint8_t>(answer.sense.size());
        return true;
    }
    std::string error_text(std::uint32_t) override { return {}; }

    // One adapter device on bus 0.
    static port::InquiryRecord device(std::uint8_t target, std::uint8_t lun, std::uint8_t type, bool claimed) {
        port::InquiryRecord record;
        record.target_id = target;
        record.lun = lun;
        record.claimed = claimed;
        record.inquiry[0] = type;
        return record;
    }

private:
    port::Handle next_handle = 100;
};


// Fresh layer, settings and channels; console and error console captured.
class LayerTest : public ::testing::Test {
protected:
    FakePort port;
    std::FILE* console = std::tmpfile();
    std::FILE* error_console = std::tmpfile();

    void SetUp() override {
        scsi::release_scsi_layer();
        scsi::layer = scsi::ScsiLayerState{};
        scsi::interrupt_pending = 0;
        frontend::settings = frontend::TestSettings{};
        frontend::channels = frontend::OutputChannels{};
        frontend::channels.console = console;
        frontend::channels.error_console = error_console;
        port::set_active_port(&port);
    }
    void TearDown() override {
        scsi::release_scsi_layer();
        port::set_active_port(nullptr);
        frontend::channels = frontend::OutputChannels{};
        std::fclose(console);
        std::fclose(error_console);
    }
    // Allocates the structures and scans the fake port; the scan's own opens
    // and closes are forgotten.
    void discover() {
        ASSERT_EQ(scsi::initialize_scsi_layer(nullptr), 0);
        port.opened.clear();
        port.close_count = 0;
    }
    void target(std::uint8_t adapter, std::uint8_t tid, std::uint8_t lun = 0) {
        scsi::set_host_adapter_number(adapter);
        scsi::set_bus_number(0);
        scsi::set_target_scsi_id(tid);
        scsi::set_target_lun(lun);
    }
};

// One unclaimed tape drive at adapter 0, SCSI id 2, as the target; the report
// goes to the console and to an output file that is also the layer's log.
class OneDriveTest : public LayerTest {
protected:
    std::FILE* output = std::tmpfile();
    void SetUp() override {
        LayerTest::SetUp();
        port.adapters[0].buses.push_back({7, {FakePort::device(2, 0, 0x01, false)}});
        discover();
        target(0, 2);
        frontend::channels.output_file = output;
        frontend::set_layer_log_stream(output);
    }
    void TearDown() override {
        LayerTest::TearDown();
        std::fclose(output);
    }
};

}  // namespace zv::test
