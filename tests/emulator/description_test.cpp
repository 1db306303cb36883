// Description files: every kind of mistake gives one line with the file
// name, the line number and what is wrong; good files load.
#include <fstream>

#include "tests/emulator/harness.h"

namespace zv::emulator::testing {
namespace {

struct BadDescription {
    const char* text;
    const char* error;
};

const std::string DEV = "adapter 0\nbus 0\n";

TEST(Description, ErrorsNameFileLineAndProblem) {
    const std::vector<BadDescription> cases = {
        {"adapter 0\nfrob 1\n", "test.vbus:2: unknown keyword \"frob\""},
        {"# comment\n\n  adapter x\n", "test.vbus:3: value \"x\" of \"adapter\" is not a number"},
        {"adapter 255\n", "test.vbus:1: value \"255\" of \"adapter\" is out of range (0 to 254)"},
        {"adapter\n", "test.vbus:1: \"adapter\" needs a value"},
        {"adapter 0 busy\n", "test.vbus:1: unknown option \"busy\" for an adapter"},
        {"adapter 1\nadapter 1\n", "test.vbus:2: adapter 1 is declared twice"},
        {"bus 0\n", "test.vbus:1: \"bus\" before any \"adapter\""},
        {"adapter 0\nbus 1\n", "test.vbus:2: bus 1 of adapter 0: buses are numbered 0, 1, 2 ... in order (expected 0)"},
        {"adapter 0\nbus 0 initiator\n", "test.vbus:2: \"initiator\" needs a value"},
        {"adapter 0\nbus 0 target 7\n", "test.vbus:2: unknown option \"target\" for a bus"},
        {"adapter 0\nbus 0\ndevice 0:0:2 tape\n", "test.vbus:3: device address \"0:0:2\" is not A:B:T:L"},
        {"adapter 0\nbus 0\ndevice 1:0:2:0 tape\n", "test.vbus:3: device 1:0:2:0: adapter 1 is not declared"},
        {"adapter 0\nbus 0\ndevice 0:1:2:0 tape\n", "test.vbus:3: device 0:1:2:0: bus 1 of adapter 0 is not declared"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape\ndevice 0:0:2:0 disk\n", "test.vbus:4: device 0:0:2:0: declared twice"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0\n", "test.vbus:3: device 0:0:2:0: the device type is missing"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tapes\n", "test.vbus:3: device 0:0:2:0: unknown device type \"tapes\""},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 disk capacity_mb 5\n",
         "test.vbus:3: option \"capacity_mb\" applies to tape drives only"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape speed 5\n", "test.vbus:3: unknown option \"speed\" for a device"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape \\\n  capacity_mb 12x\n",
         "test.vbus:3: value \"12x\" of \"capacity_mb\" is not a number"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape capacity_mb\n", "test.vbus:3: \"capacity_mb\" needs a value"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape vendor \"NINECHARS\"\n",
         "test.vbus:3: vendor \"NINECHARS\" is longer than 8 characters"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape product \"OPEN\n", "test.vbus:3: text in double quotes is not closed"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape capacity_mb 10 early_warning_mb 11\n",
         "test.vbus:3: device 0:0:2:0: the early-warning point lies beyond the capacity"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape min_block 10 max_block 5\n",
         "test.vbus:3: device 0:0:2:0: \"min_block\" is above \"max_block\""},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape compression 0.5\n",
         "test.vbus:3: value \"0.5\" of \"compression\" is not a ratio from 1 to 1000"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape density 1FF\n",
         "test.vbus:3: value \"1FF\" of \"density\" is not a hexadecimal byte"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape claimed tape_device 0\ndevice 0:0:3:0 tape claimed tape_device 0\n",
         "test.vbus:4: device 0:0:3:0: tape device 0 is declared twice"},
        {"adapter 0\nbus 0\nfault at 1 status 02\n", "test.vbus:3: \"fault\" before any \"device\""},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape\nfault status 02\n", "test.vbus:4: a fault needs \"at N\""},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape\nfault at 0 status 02\n", "test.vbus:4: \"at\" counts from 1"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape\nfault at 1\n",
         "test.vbus:4: a fault needs an action (status, call_fails, corrupt_byte or short)"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape\nfault at 1 status 02 short 5\n",
         "test.vbus:4: a fault has one action; \"short\" is a second one"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape\nfault at 1 status 02 sense 3/11\n",
         "test.vbus:4: sense \"3/11\" is not KEY/ASC/ASCQ in hexadecimal"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape\nfault at 1 status 02 fmk\n",
         "test.vbus:4: fmk, eom, ili and info need \"sense\""},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape\nfault at 1 short 5 eom\n",
         "test.vbus:4: sense, fmk, eom, ili and info go with \"status\" only"},
        {"adapter 0\nbus 0\ndevice 0:0:2:0 tape\nfault at 1 sometimes\n",
         "test.vbus:4: unknown option \"sometimes\" for a fault"},
    };
    for (const BadDescription& c : cases) {
        std::string error;
        EXPECT_EQ(parse_virtual_bus(c.text, "test.vbus", error), nullptr) << c.text;
        EXPECT_EQ(error, c.error);
    }
}

TEST(Description, MissingFileIsNamed) {
    std::string error;
    EXPECT_EQ(load_virtual_bus("/nonexistent/lab.vbus", error), nullptr);
    EXPECT_EQ(error, "/nonexistent/lab.vbus: cannot open the file");
}

TEST(Description, NumberFormsKeyValueAndComments) {
    Bench bench(
        "adapter 0 # the only one\r\n"
        "bus=0 initiator=0x07\n"
        "device 0:0:2:0 tape block_size=200h vendor=\"A B\" \\\n"
        "   capacity_kb 0x40 early_warning_kb 32   # tiny\n");
    bench.run(mode_sense(12).expect_bytes({{9, 0}, {10, 2}, {11, 0}}));
    bench.run(inquiry(36).expect_bytes({{8, 'A'}, {9, ' '}, {10, 'B'}}));
    // 64 KB medium with early warning at 32 KB.
    bench.run(write6(true, 64, 32768, 1));
    bench.run(write6(true, 1, 512, 1).expect_check(0x40, 0x00, 0x02, 0));
}

TEST(Description, ExampleLabLoads) {
    std::string error;
    auto port = load_virtual_bus(std::string(ZV_SOURCE_DIR) + "/examples/virtual-lab.vbus", error);
    ASSERT_NE(port, nullptr) << error;
    std::uint32_t code = 0;
    port::Handle adapter0 = port->open("\\\\.\\Scsi0:", code);
    port::AdapterInquiry inquiry;
    ASSERT_TRUE(port->get_inquiry_data(adapter0, inquiry, code));
    ASSERT_EQ(inquiry.buses.size(), 1u);
    bool unclaimed_tape = false, unclaimed_changer = false, disk = false;
    for (const port::InquiryRecord& r : inquiry.buses[0].devices) {
        const std::uint8_t type = r.inquiry[0] & 0x1F;
        if (type == 0x01 && r.target_id == 2 && r.lun == 0 && !r.claimed) unclaimed_tape = true;
        if (type == 0x08 && !r.claimed) unclaimed_changer = true;
        if (type == 0x00) disk = true;
    }
    EXPECT_TRUE(unclaimed_tape && unclaimed_changer && disk);
    port::Handle tape0 = port->open("\\\\.\\Tape0", code);
    port::ScsiAddress address;
    ASSERT_TRUE(port->get_address(tape0, address, code));
    EXPECT_EQ(address.adapter, 1);
    port::Handle adapter1 = port->open("\\\\.\\Scsi1:", code);
    ASSERT_TRUE(port->get_inquiry_data(adapter1, inquiry, code));
    ASSERT_EQ(inquiry.buses.size(), 1u);
    ASSERT_EQ(inquiry.buses[0].devices.size(), 1u);
    EXPECT_TRUE(inquiry.buses[0].devices[0].claimed);
    EXPECT_EQ(inquiry.buses[0].devices[0].target_id, address.target);
}

}  // namespace
}  // namespace zv::emulator::testing
