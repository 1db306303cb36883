// The port driver side of the virtual bus: device names, exclusive opens,
// adapter inquiry data, tape addresses, routing and the adapter-level faults.
#include "tests/emulator/harness.h"

namespace zv::emulator::testing {
namespace {

const char* const LAB =
    "adapter 0\n"
    "bus 0 initiator 7\n"
    "bus 1 initiator 6\n"
    "device 0:0:5:0 disk claimed\n"
    "device 0:0:2:1 tape\n"
    "device 0:0:2:0 tape product \"FIRST\"\n"
    "device 0:1:4:0 changer\n"
    "adapter 3 in_use\n"
    "adapter 4 close_fails\n"
    "bus 0\n"
    "device 4:0:1:0 tape claimed tape_device 0\n"
    "device 4:0:2:0 tape claimed tape_device 1 tape_device_in_use\n"
    "device 4:0:3:0 tape claimed tape_device 2 address_fails\n"
    "adapter 5 inquiry_fails\n";

std::unique_ptr<port::PortDriver> lab() {
    std::string error;
    auto port = parse_virtual_bus(LAB, "lab.vbus", error);
    EXPECT_NE(port, nullptr) << error;
    return port;
}

TEST(VirtualBusPort, OpensByDeviceName) {
    struct NameCase {
        const char* name;
        std::uint32_t error;  // 0: opens
    };
    const std::vector<NameCase> cases = {
        {"\\\\.\\Scsi0:", 0}, {"\\\\.\\Scsi4:", 0},  {"\\\\.\\Tape0", 0},    {"\\\\.\\Tape2", 0},
        {"\\\\.\\Scsi1:", 2}, {"\\\\.\\Scsi3:", 32}, {"\\\\.\\Scsi00:", 2},  {"\\\\.\\Scsi0", 2},
        {"\\\\.\\Tape1", 32}, {"\\\\.\\Tape3", 2},   {"\\\\.\\Tape0:", 2},   {"Scsi0:", 2},
        {"\\\\.\\Scsi256:", 2}, {"", 2},
    };
    auto port = lab();
    for (const NameCase& c : cases) {
        std::uint32_t code = 99;
        const port::Handle h = port->open(c.name, code);
        EXPECT_EQ(code, c.error) << c.name;
        EXPECT_EQ(h != port::INVALID_HANDLE, c.error == 0) << c.name;
        if (h != port::INVALID_HANDLE && c.name[4] == 'T') {
            EXPECT_TRUE(port->close(h, code));
        }
    }
}

TEST(VirtualBusPort, OpensAreExclusiveUntilClosed) {
    auto port = lab();
    std::uint32_t code = 0;
    const port::Handle first = port->open("\\\\.\\Scsi0:", code);
    ASSERT_NE(first, port::INVALID_HANDLE);
    EXPECT_EQ(port->open("\\\\.\\Scsi0:", code), port::INVALID_HANDLE);
    EXPECT_EQ(code, 32u);
    EXPECT_TRUE(port->close(first, code));
    EXPECT_FALSE(port->close(first, code));
    EXPECT_EQ(code, 6u);
    EXPECT_NE(port->open("\\\\.\\Scsi0:", code), port::INVALID_HANDLE);
}

TEST(VirtualBusPort, CloseFailsOnAdapterThatSaysSo) {
    auto port = lab();
    std::uint32_t code = 0;
    const port::Handle h = port->open("\\\\.\\Scsi4:", code);
    EXPECT_FALSE(port->close(h, code));
    EXPECT_EQ(code, 6u);
    EXPECT_EQ(port->error_text(code), "The handle is invalid.");
}

TEST(VirtualBusPort, InquiryDataListsBusesAndSortedDevices) {
    auto port = lab();
    std::uint32_t code = 0;
    const port::Handle h = port->open("\\\\.\\Scsi0:", code);
    port::AdapterInquiry data;
    ASSERT_TRUE(port->get_inquiry_data(h, data, code));
    ASSERT_EQ(data.buses.size(), 2u);
    EXPECT_EQ(data.buses[0].initiator_id, 7);
    EXPECT_EQ(data.buses[1].initiator_id, 6);
    ASSERT_EQ(data.buses[0].devices.size(), 3u);
    const port::InquiryRecord& first = data.buses[0].devices[0];
    EXPECT_EQ(first.target_id, 2);
    EXPECT_EQ(first.lun, 0);
    EXPECT_FALSE(first.claimed);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(first.inquiry + 8), 28), "ZENTROVAFIRST           1.00");
    EXPECT_EQ(data.buses[0].devices[1].lun, 1);
    EXPECT_EQ(data.buses[0].devices[2].target_id, 5);
    EXPECT_TRUE(data.buses[0].devices[2].claimed);
    EXPECT_EQ(data.buses[0].devices[2].inquiry[0], 0x00);
    ASSERT_EQ(data.buses[1].devices.size(), 1u);
    EXPECT_EQ(data.buses[1].devices[0].path_id, 1);
    EXPECT_EQ(data.buses[1].devices[0].inquiry[0], 0x08);
}

TEST(VirtualBusPort, InquiryAndAddressFailures) {
    auto port = lab();
    std::uint32_t code = 0;
    port::AdapterInquiry data;
    port::ScsiAddress address;
    const port::Handle failing = port->open("\\\\.\\Scsi5:", code);
    EXPECT_FALSE(port->get_inquiry_data(failing, data, code));
    EXPECT_EQ(code, 1117u);
    const port::Handle tape0 = port->open("\\\\.\\Tape0", code);
    EXPECT_FALSE(port->get_inquiry_data(tape0, data, code));
    EXPECT_EQ(code, 1u);
    ASSERT_TRUE(port->get_address(tape0, address, code));
    EXPECT_EQ(address.adapter, 4);
    EXPECT_EQ(address.bus, 0);
    EXPECT_EQ(address.target, 1);
    EXPECT_EQ(address.lun, 0);
    EXPECT_FALSE(port->get_address(failing, address, code));
    EXPECT_EQ(code, 1u);
    const port::Handle tape2 = port->open("\\\\.\\Tape2", code);
    EXPECT_FALSE(port->get_address(tape2, address, code));
    EXPECT_EQ(code, 1117u);
}

TEST(VirtualBusPort, TapeHandleReachesItsDriveWhateverTheAddress) {
    auto port = lab();
    std::uint32_t code = 0;
    const port::Handle tape0 = port->open("\\\\.\\Tape0", code);
    port::PassThroughRequest request;
    request.target_id = 9;
    request.cdb_length = 6;
    request.cdb[0] = 0x12;
    request.cdb[4] = 36;
    std::uint8_t data[36];
    request.data_buffer = data;
    request.data_transfer_length = 36;
    ASSERT_TRUE(port->pass_through(tape0, request, code));
    EXPECT_EQ(request.scsi_status, 0);
    EXPECT_EQ(request.data_transfer_length, 36u);
    EXPECT_EQ(data[0], 0x01);
}

TEST(VirtualBusPort, BadRequestsFailTheCall) {
    auto port = lab();
    std::uint32_t code = 0;
    const port::Handle h = port->open("\\\\.\\Scsi0:", code);
    std::uint8_t data[16] = {};
    port::PassThroughRequest request;
    request.target_id = 2;
    request.cdb_length = 6;
    request.cdb[0] = 0x0A;  // WRITE(6) of 10 bytes, sent as data in
    request.cdb[4] = 10;
    request.direction = port::Direction::in;
    request.data_buffer = data;
    request.data_transfer_length = 10;
    EXPECT_FALSE(port->pass_through(h, request, code));
    EXPECT_EQ(code, 87u);
    request.direction = port::Direction::out;
    request.data_buffer = nullptr;
    request.data_transfer_length = 10;
    EXPECT_FALSE(port->pass_through(h, request, code));
    EXPECT_EQ(code, 87u);
    request.data_buffer = data;
    request.data_transfer_length = 10;
    EXPECT_FALSE(port->pass_through(h + 1000, request, code));
    EXPECT_EQ(code, 6u);
    EXPECT_TRUE(port->pass_through(h, request, code));
    EXPECT_EQ(request.data_transfer_length, 10u);
}

TEST(VirtualBusPort, ErrorTexts) {
    auto port = lab();
    EXPECT_EQ(port->error_text(32), "The process cannot access the file because it is being used by another process.");
    EXPECT_EQ(port->error_text(2), "The system cannot find the file specified.");
    EXPECT_EQ(port->error_text(1167), "The device is not connected.");
    EXPECT_EQ(port->error_text(4242), "");
}

}  // namespace
}  // namespace zv::emulator::testing
