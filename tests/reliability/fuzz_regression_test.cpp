// Inputs that fuzzing found to break something, kept as plain test cases so
// that the normal suite (and its sanitizer build) guards the fixes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "emulator/virtual_bus.h"

namespace {

using zv::port::PassThroughRequest;

struct CommandCase {
    const char* what;
    std::vector<std::uint8_t> cdb;
    std::uint32_t buffer_length;  // an exact-size heap buffer
    zv::port::Direction direction;
    std::uint8_t status;
    std::uint8_t sense_key;
    std::uint8_t asc;
};

// A MODE SELECT parameter list of fewer than 4 bytes was read at byte 3,
// past the end of the caller's buffer.
TEST(FuzzRegression, EmulatedDriveStaysInsideTheCallersBuffer) {
    const CommandCase cases[] = {
        {"MODE SELECT of 1 byte", {0x15, 0x10, 0, 0, 1, 0}, 1, zv::port::Direction::out, 0x02, 0x5, 0x1A},
        {"MODE SELECT of 3 bytes", {0x15, 0x10, 0, 0, 3, 0}, 3, zv::port::Direction::out, 0x02, 0x5, 0x1A},
        {"MODE SELECT, header only", {0x15, 0x10, 0, 0, 4, 0}, 4, zv::port::Direction::out, 0x00, 0, 0},
    };
    std::string error;
    auto bus = zv::emulator::parse_virtual_bus("adapter 0\nbus 0\ndevice 0:0:2:0 tape\n", "t.vbus", error);
    ASSERT_TRUE(bus) << error;
    std::uint32_t code = 0;
    const zv::port::Handle adapter = bus->open("\\\\.\\Scsi0:", code);
    ASSERT_NE(adapter, zv::port::INVALID_HANDLE);

    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto buffer = std::make_unique<std::uint8_t[]>(c.buffer_length);
        std::memset(buffer.get(), 0, c.buffer_length);
        PassThroughRequest request;
        request.target_id = 2;
        request.cdb_length = static_cast<std::uint8_t>(c.cdb.size());
        std::memcpy(request.cdb, c.cdb.data(), c.cdb.size());
        request.direction = c.direction;
        request.data_transfer_length = c.buffer_length;
        request.data_buffer = buffer.get();
        ASSERT_TRUE(bus->pass_through(adapter, request, code)) << code;
        EXPECT_EQ(request.scsi_status, c.status);
        if (c.status == 0x02) {
            ASSERT_GE(request.sense_info_length, 14);
            EXPECT_EQ(request.sense[2] & 0x0F, c.sense_key);
            EXPECT_EQ(request.sense[12], c.asc);
        }
    }
    bus->close(adapter, code);
}

}  // namespace
