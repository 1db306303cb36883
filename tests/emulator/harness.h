// Runs tables of CDBs against a virtual bus through the port driver
// interface and checks status, sense, count moved and data.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "emulator/device.h"
#include "emulator/virtual_bus.h"

namespace zv::emulator::testing {

struct Step {
    std::vector<std::uint8_t> cdb;
    std::uint32_t length = 0;        // data length of the request
    int fill = -1;                   // out: byte value sent; in: every moved byte must equal it
    std::vector<std::uint8_t> data;  // out: explicit data instead of fill
    // expected
    std::int64_t call_error = -1;  // the call fails with this code
    std::uint8_t status = 0;
    std::uint8_t sense2 = 0;  // with CHECK CONDITION: sense byte 2 (flags and key)
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    std::optional<std::int64_t> info;  // with the valid bit; none: valid bit clear
    std::int64_t moved = -1;  // -1: not checked
    std::vector<std::pair<std::uint32_t, std::uint8_t>> bytes;  // data in at offsets

    Step expect_moved(std::int64_t n) const { Step s = *this; s.moved = n; return s; }
    Step expect_check(std::uint8_t byte2, std::uint8_t c, std::uint8_t q,
                      std::optional<std::int64_t> information = std::nullopt) const {
        Step s = *this;
        s.status = 0x02;
        s.sense2 = byte2;
        s.asc = c;
        s.ascq = q;
        s.info = information;
        return s;
    }
    Step expect_status(std::uint8_t st) const { Step s = *this; s.status = st; return s; }
    Step expect_call_error(std::uint32_t code) const { Step s = *this; s.call_error = code; return s; }
    Step expect_bytes(std::vector<std::pair<std::uint32_t, std::uint8_t>> b) const {
        Step s = *this;
        s.bytes = std::move(b);
        return s;
    }
    Step expect_fill(int f) const { Step s = *this; s.fill = f; return s; }
};

inline Step cdb(std::vector<std::uint8_t> bytes, std::uint32_t length = 0, int fill = -1) {
    Step s;
    s.cdb = std::move(bytes);
    s.length = length;
    s.fill = fill;
    return s;
}

inline std::uint8_t b(std::uint32_t v, int shift) { return static_cast<std::uint8_t>(v >> shift); }

inline Step tur() { return cdb({0x00, 0, 0, 0, 0, 0}); }
inline Step rewind_tape() { return cdb({0x01, 0, 0, 0, 0, 0}); }
inline Step request_sense(std::uint8_t alloc) { return cdb({0x03, 0, 0, 0, alloc, 0}, alloc); }
// fixed: count blocks of `bytes / count` bytes; variable: one record of `bytes`.
inline Step write6(bool fixed, std::uint32_t count, std::uint32_t bytes, int fill) {
    Step s = cdb({0x0A, std::uint8_t(fixed ? 1 : 0), b(count, 16), b(count, 8), b(count, 0), 0}, bytes, fill);
    return s.expect_moved(bytes);
}
inline Step read6(bool fixed, std::uint32_t count, std::uint32_t bytes) {
    return cdb({0x08, std::uint8_t(fixed ? 1 : 0), b(count, 16), b(count, 8), b(count, 0), 0}, bytes);
}
inline Step write_filemarks(std::uint32_t count) {
    return cdb({0x10, 0, b(count, 16), b(count, 8), b(count, 0), 0});
}
inline Step space(std::uint8_t code, std::int32_t count) {
    const auto c = static_cast<std::uint32_t>(count);
    return cdb({0x11, code, b(c, 16), b(c, 8), b(c, 0), 0});
}
inline Step inquiry(std::uint8_t alloc) { return cdb({0x12, 0, 0, 0, alloc, 0}, alloc); }
inline Step mode_select_block(std::uint32_t block, std::uint8_t density = 0) {
    Step s = cdb({0x15, 0, 0, 0, 12, 0}, 12);
    s.data = {0, 0, 0x10, 8, density, 0, 0, 0, 0, b(block, 16), b(block, 8), b(block, 0)};
    return s;
}
inline Step mode_sense(std::uint8_t alloc) { return cdb({0x1A, 0, 0, 0, alloc, 0}, alloc); }
inline Step load_unload(std::uint8_t byte4) { return cdb({0x1B, 0, 0, 0, byte4, 0}); }
inline Step prevent_allow(std::uint8_t prevent) { return cdb({0x1E, 0, 0, 0, prevent, 0}); }
inline Step read_position() { return cdb({0x34, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 20); }
inline Step log_sense(std::uint8_t page, std::uint8_t alloc = 40, std::uint8_t pc = 1) {
    return cdb({0x4D, 0, std::uint8_t(pc << 6 | page), 0, 0, 0, 0, 0, alloc, 0}, alloc);
}
// The block location of READ POSITION (bytes 4-7 and 8-11).
inline Step position_is(std::uint32_t block, std::uint8_t flags) {
    return read_position().expect_bytes({{0, flags}, {4, b(block, 24)}, {5, b(block, 16)}, {6, b(block, 8)},
                                         {7, b(block, 0)}, {11, b(block, 0)}});
}

// A virtual bus with an open handle on adapter 0; commands go to 0:0:2:0
// unless the test says otherwise.
class Bench {
public:
    explicit Bench(const std::string& description) {
        std::string error;
        port_ = parse_virtual_bus(description, "test.vbus", error);
        EXPECT_NE(port_, nullptr) << error;
        if (port_ == nullptr) return;
        std::uint32_t code = 0;
        handle_ = port_->open("\\\\.\\Scsi0:", code);
        EXPECT_NE(handle_, port::INVALID_HANDLE);
    }

    port::PortDriver& port() { return *port_; }

    // Sends one step and checks what came back.
    void run(const Step& step, std::uint8_t target = 2, std::uint8_t lun = 0) {
        ASSERT_NE(port_, nullptr);
        port::PassThroughRequest request;
        request.path_id = 0;
        request.target_id = target;
        request.lun = lun;
        request.cdb_length = static_cast<std::uint8_t>(step.cdb.size());
        std::copy(step.cdb.begin(), step.cdb.end(), request.cdb);
        const bool out = is_data_out_opcode(step.cdb[0]);
        request.direction = out ? port::Direction::out : port::Direction::in;
        buffer_.assign(step.length, 0xEE);
        if (out && !step.data.empty()) std::copy(step.data.begin(), step.data.end(), buffer_.begin());
        if (out && step.fill >= 0) buffer_.assign(step.length, static_cast<std::uint8_t>(step.fill));
        request.data_transfer_length = step.length;
        request.data_buffer = buffer_.empty() ? nullptr : buffer_.data();
        std::uint32_t code = 0;
        const bool ok = port_->pass_through(handle_, request, code);
        if (step.call_error >= 0) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(code, step.call_error);
            return;
        }
        ASSERT_TRUE(ok) << "call failed with " << code;
        EXPECT_EQ(request.scsi_status, step.status);
        if (step.status == 0x02) {
            ASSERT_EQ(request.sense_info_length, 18);
            EXPECT_EQ(request.sense[0], step.info ? 0xF0 : 0x70);
            EXPECT_EQ(request.sense[2], step.sense2);
            EXPECT_EQ(request.sense[7], 10);
            EXPECT_EQ(request.sense[12], step.asc);
            EXPECT_EQ(request.sense[13], step.ascq);
            if (step.info) {
                const std::uint32_t info = (std::uint32_t(request.sense[3]) << 24) |
                                           (std::uint32_t(request.sense[4]) << 16) |
                                           (std::uint32_t(request.sense[5]) << 8) | request.sense[6];
                EXPECT_EQ(info, static_cast<std::uint32_t>(*step.info));
            }
        } else {
            EXPECT_EQ(request.sense_info_length, 0);
        }
        if (step.moved >= 0) {
            EXPECT_EQ(request.data_transfer_length, step.moved);
        }
        if (!out && step.fill >= 0) {
            for (std::uint32_t i = 0; i < request.data_transfer_length; ++i) {
                if (buffer_[i] != step.fill) {
                    ADD_FAILURE() << "byte " << i << " is " << int(buffer_[i]);
                    break;
                }
            }
        }
        for (const auto& [offset, value] : step.bytes) EXPECT_EQ(buffer_.at(offset), value) << "byte " << offset;
    }

    void run_all(const std::vector<Step>& steps, std::uint8_t target = 2, std::uint8_t lun = 0) {
        for (std::size_t i = 0; i < steps.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i + 1));
            run(steps[i], target, lun);
        }
    }

    const std::vector<std::uint8_t>& buffer() const { return buffer_; }

private:
    std::unique_ptr<port::PortDriver> port_;
    port::Handle handle_ = port::INVALID_HANDLE;
    std::vector<std::uint8_t> buffer_;
};

struct Case {
    const char* name;
    const char* device_options;  // appended to "device 0:0:2:0 tape"
    std::vector<Step> steps;
};

inline std::string tape_bus(const std::string& options, const std::string& extra = "") {
    return "adapter 0\nbus 0\ndevice 0:0:2:0 tape " + options + "\n" + extra;
}

// A table of cases, each run on a fresh bus with one tape drive.
class CaseTest : public ::testing::TestWithParam<Case> {
protected:
    void run_case() {
        Bench bench(tape_bus(GetParam().device_options));
        bench.run_all(GetParam().steps);
    }
};

// Names each instance of a table after its case.
inline std::string case_name(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

}  // namespace zv::emulator::testing
