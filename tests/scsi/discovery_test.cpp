// Discovery on virtual bus descriptions: which devices enter the accessible
// device table, and through which device name they are reached.
#include <memory>

#include "emulator/virtual_bus.h"
#include "fake_port.h"
#include "scsi/commands.h"
#include "scsi/device_names.h"

namespace zv::test {
namespace {

using scsi::layer;

class VirtualBusTest : public LayerTest {
protected:
    std::unique_ptr<port::PortDriver> bus;

    void load(const std::string& text) {
        std::string error;
        bus = emulator::parse_virtual_bus(text, "test.vbus", error);
        ASSERT_NE(bus, nullptr) << error;
        port::set_active_port(bus.get());
    }
    // The table as "A:B:T:L name" lines ("-" for no handle info).
    std::vector<std::string> table() const {
        std::vector<std::string> lines;
        for (int i = 0; i < layer.device_count; ++i) {
            const scsi::AccessibleDevice& d = layer.devices[i];
            char line[80];
            std::snprintf(line, sizeof line, "%u:%u:%u:%u %s", unsigned(d.adapter), unsigned(d.bus), unsigned(d.tid),
                          unsigned(d.lun), d.handle_info != nullptr ? d.handle_info->device_name : "-");
            lines.push_back(line);
        }
        return lines;
    }
};

using Table = std::vector<std::string>;

TEST_F(VirtualBusTest, RegistersTapesAndUnclaimedChangersWithTheirDeviceNames) {
    struct Case {
        const char* name;
        std::string description;
        Table expected;
    };
    const Case cases[] = {
        {"claimed and unclaimed drives; claimed and unclaimed changers; disks and processors skipped",
         "adapter 0\nbus 0\n"
         "device 0:0:0:0 disk\n"
         "device 0:0:1:0 processor\n"
         "device 0:0:2:0 tape\n"
         "device 0:0:3:0 tape claimed tape_device 0\n"
         "device 0:0:4:0 changer\n"
         "device 0:0:5:0 changer claimed\n"
         "device 0:0:6:0 disk claimed tape_device 1\n",
         {"0:0:2:0 \\\\.\\Scsi0:", "0:0:3:0 \\\\.\\Tape0", "0:0:4:0 \\\\.\\Scsi0:"}},
        {"gaps in the adapter numbers, up to adapter 254",
         "adapter 0\nbus 0\ndevice 0:0:2:0 tape\n"
         "adapter 2\nbus 0\ndevice 2:0:2:0 tape\n"
         "adapter 12\nbus 0\ndevice 12:0:2:0 tape\n"
         "adapter 40\nbus 0\nbus 1\ndevice 40:1:5:3 tape\n"
         "adapter 254\nbus 0\ndevice 254:0:15:7 tape\n",
         {"0:0:2:0 \\\\.\\Scsi0:", "2:0:2:0 \\\\.\\Scsi2:", "12:0:2:0 \\\\.\\Scsi12:", "40:1:5:3 \\\\.\\Scsi40:",
          "254:0:15:7 \\\\.\\Scsi254:"}},
        {"gaps in the tape numbers; tape devices matched by address, not by order",
         "adapter 0\nbus 0\n"
         "device 0:0:1:0 tape claimed tape_device 17\n"
         "device 0:0:2:0 tape claimed tape_device 3\n"
         "adapter 1\nbus 0\n"
         "device 1:0:1:0 tape claimed tape_device 0\n"
         "device 1:0:2:0 tape claimed tape_device 254\n",
         {"0:0:1:0 \\\\.\\Tape17", "0:0:2:0 \\\\.\\Tape3", "1:0:1:0 \\\\.\\Tape0", "1:0:2:0 \\\\.\\Tape254"}},
        {"adapters and tape devices in use or failing are passed over",
         "adapter 0 in_use\nbus 0\ndevice 0:0:2:0 tape\n"
         "adapter 1 inquiry_fails\nbus 0\ndevice 1:0:2:0 tape\n"
         "adapter 2\nbus 0\n"
         "device 2:0:1:0 tape claimed tape_device 0 tape_device_in_use\n"
         "device 2:0:2:0 tape claimed tape_device 1 address_fails\n"
         "device 2:0:3:0 tape claimed\n"
         "device 2:0:4:0 tape claimed tape_device 2\n"
         "device 2:0:5:0 tape\n",
         {"2:0:1:0 -", "2:0:2:0 -", "2:0:3:0 -", "2:0:4:0 \\\\.\\Tape2", "2:0:5:0 \\\\.\\Scsi2:"}},
        {"nothing to find", "adapter 3\nbus 0\ndevice 3:0:0:0 disk\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        scsi::release_scsi_layer();
        load(c.description);
        ASSERT_EQ(scsi::initialize_scsi_layer(nullptr), 0);
        EXPECT_EQ(table(), c.expected);
        EXPECT_EQ(layer.open_handle_count, 0);
        EXPECT_EQ(stream_text(console), "");
    }
}

TEST_F(VirtualBusTest, DrivesOfOneAdapterShareItsHandle) {
    load("adapter 0\nbus 0\nbus 1\n"
         "device 0:0:2:0 tape\n"
         "device 0:1:3:0 tape\n"
         "device 0:0:4:0 tape claimed tape_device 0\n");
    ASSERT_EQ(scsi::initialize_scsi_layer(nullptr), 0);
    // Bus by bus, each in target order.
    ASSERT_EQ(table(), (Table{"0:0:2:0 \\\\.\\Scsi0:", "0:0:4:0 \\\\.\\Tape0", "0:1:3:0 \\\\.\\Scsi0:"}));
    EXPECT_EQ(layer.devices[0].handle_info, layer.devices[2].handle_info);

    // Both drives answer through the one adapter handle (opens are exclusive).
    const std::pair<std::uint8_t, std::uint8_t> targets[] = {{0, 2}, {1, 3}, {0, 2}, {0, 4}};
    for (auto [bus_number, tid] : targets) {
        scsi::set_bus_number(bus_number);
        scsi::set_target_scsi_id(tid);
        scsi::inquiry(255);
        EXPECT_EQ(layer.outcome.srb_status, scsi::SRB_OK) << int(tid);
        EXPECT_EQ(layer.inquiry_data[0], 0x01);
    }
    EXPECT_EQ(layer.open_handle_count, 2);
}

TEST_F(VirtualBusTest, ClaimedDriveWithoutTapeDeviceCannotBeReached) {
    load("adapter 0\nbus 0\ndevice 0:0:2:0 tape claimed tape_device 0 tape_device_in_use\n");
    ASSERT_EQ(scsi::initialize_scsi_layer(nullptr), 0);
    target(0, 2);
    scsi::test_unit_ready();
    EXPECT_EQ(layer.outcome.srb_status, scsi::SRB_NO_DEVICE_HANDLE);
    EXPECT_EQ(layer.outcome.error_code, 2u);
}

TEST_F(VirtualBusTest, TableStopsAtSixtyFourDevices) {
    // 5 adapters of 16 drives; the 65th and later are left out, silently.
    std::string text;
    for (int a = 0; a < 5; ++a) {
        text += "adapter " + std::to_string(a) + "\nbus 0\n";
        for (int t = 0; t < 16; ++t)
            text += "device " + std::to_string(a) + ":0:" + std::to_string(t) + ":0 tape" +
                    (a == 4 ? " claimed tape_device " + std::to_string(t) : "") + "\n";
    }
    load(text);
    ASSERT_EQ(scsi::initialize_scsi_layer(nullptr), 0);
    EXPECT_EQ(layer.device_count, 64);
    EXPECT_EQ(table().back(), "3:0:15:0 \\\\.\\Scsi3:");
    EXPECT_EQ(stream_text(console), "");
}

TEST(DeviceNames, DecimalNumbersAndNames) {
    char text[32];
    const std::pair<std::uint32_t, const char*> numbers[] = {
        {0, "0"}, {7, "7"}, {10, "10"}, {254, "254"}, {4294967295u, "4294967295"}};
    for (auto [value, digits] : numbers) {
        std::memset(text, 'x', sizeof text);
        char* end = scsi::append_decimal(text, value);
        EXPECT_EQ(std::string(text, end), digits);
        EXPECT_EQ(*end, 'x');  // no terminator written
    }
    scsi::make_adapter_device_name(text, 0);
    EXPECT_STREQ(text, "\\\\.\\Scsi0:");
    scsi::make_adapter_device_name(text, 254);
    EXPECT_STREQ(text, "\\\\.\\Scsi254:");
    scsi::make_tape_device_name(text, 12);
    EXPECT_STREQ(text, "\\\\.\\Tape12");
}

}  // namespace
}  // namespace zv::test
