// Discovery through the Linux SCSI generic port driver on fake sysfs and /dev
// trees: adapters, their devices and claim state, tape devices and their
// addresses, and how the device nodes are opened.
#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>

#include <cstring>

#include "fake_tree.h"

namespace zv::port {
namespace {

using namespace testing_support;

class LinuxSgDiscovery : public ::testing::Test {
protected:
    void SetUp() override { port = make_linux_sg_port(tree.sys(), tree.dev(), calls); }

    Handle open_ok(const std::string& name) {
        std::uint32_t code = 99;
        const Handle handle = port->open(name.c_str(), code);
        EXPECT_NE(handle, INVALID_HANDLE) << name;
        EXPECT_EQ(code, ERROR_NONE) << name;
        return handle;
    }

    std::uint32_t open_error(const std::string& name) {
        std::uint32_t code = 0;
        const Handle handle = port->open(name.c_str(), code);
        EXPECT_EQ(handle, INVALID_HANDLE) << name;
        return code;
    }

    AdapterInquiry inquiry_of(unsigned adapter) {
        const Handle handle = open_ok(adapter_name(adapter));
        AdapterInquiry data;
        std::uint32_t code = 99;
        EXPECT_TRUE(port->get_inquiry_data(handle, data, code));
        EXPECT_EQ(code, ERROR_NONE);
        EXPECT_TRUE(port->close(handle, code));
        return data;
    }

    FakeTree tree;
    FakeCalls calls;
    std::unique_ptr<PortDriver> port;
};

TEST_F(LinuxSgDiscovery, AdapterNamesMapOntoScsiHostsWithGaps) {
    tree.add_host(0);
    tree.add_host(2);
    tree.add_host(254);
    struct Case {
        const char* name;
        bool opens;
    };
    const Case cases[] = {
        {"\\\\.\\Scsi0:", true},    {"\\\\.\\Scsi1:", false},  {"\\\\.\\Scsi2:", true},
        {"\\\\.\\Scsi254:", true},  {"\\\\.\\Scsi255:", false}, {"\\\\.\\Scsi0", false},
        {"\\\\.\\Scsi:", false},    {"\\\\.\\Scsi0:x", false}, {"Scsi0:", false},
        {"\\\\.\\scsi0:", false},   {"/dev/sg0", false},
    };
    for (const Case& c : cases) {
        std::uint32_t code = 99;
        const Handle handle = port->open(c.name, code);
        if (c.opens) {
            EXPECT_NE(handle, INVALID_HANDLE) << c.name;
            EXPECT_EQ(code, ERROR_NONE) << c.name;
            EXPECT_TRUE(port->close(handle, code)) << c.name;
        } else {
            EXPECT_EQ(handle, INVALID_HANDLE) << c.name;
            EXPECT_EQ(code, ERROR_NOT_FOUND) << c.name;
        }
    }
}

TEST_F(LinuxSgDiscovery, AdapterListsEveryDeviceOfItsHostByBusTargetAndLun) {
    tree.add_host(0, "7");
    tree.add_host(1, "7");
    tree.add_device(FakeDevice("0:0:2:0", 0, "sg2")
                        .identified("DISKCO  ", "FAST DISK       ", "0100")
                        .claimed_by("sd")
                        .without_inquiry_attribute());
    tree.add_device(FakeDevice("0:0:0:1", 1, "sg1").claimed_by("st"));
    tree.add_device(FakeDevice("0:0:0:0", 0x0C, "sg0").identified("IET     ", "Controller      ", "0001"));
    tree.add_device(
        FakeDevice("0:2:1:0", 8, "sg3").identified("ROBOT   ", "CHANGER         ", "2.00").claimed_by("ch"));
    tree.add_device(FakeDevice("1:0:5:0", 1, "sg4"));
    tree.add_device(FakeDevice("0:0:0:300", 0, "sg5"));  // a LUN beyond one byte
    fs::create_directories(tree.sys() + "/bus/scsi/devices/target0:0:0");

    const AdapterInquiry data = inquiry_of(0);
    ASSERT_EQ(data.buses.size(), 3u);  // bus 1 has no device but is listed
    for (const BusInquiry& bus : data.buses) EXPECT_EQ(bus.initiator_id, 7);
    struct Expected {
        unsigned bus, target, lun;
        bool claimed;
        std::uint8_t type;
        const char* identification;  // inquiry bytes 8 to 35
    };
    const Expected expected[] = {
        {0, 0, 0, false, 0x0C, "IET     Controller      0001"},
        {0, 0, 1, true, 0x01, "ACME    TAPE DRIVE 9000 1.0 "},
        {0, 2, 0, true, 0x00, "DISKCO  FAST DISK       0100"},
        {2, 1, 0, true, 0x08, "ROBOT   CHANGER         2.00"},
    };
    std::size_t index[3] = {0, 0, 0};
    for (const Expected& e : expected) {
        ASSERT_LT(index[e.bus], data.buses[e.bus].devices.size()) << e.identification;
        const InquiryRecord& record = data.buses[e.bus].devices[index[e.bus]++];
        EXPECT_EQ(record.path_id, e.bus) << e.identification;
        EXPECT_EQ(record.target_id, e.target) << e.identification;
        EXPECT_EQ(record.lun, e.lun) << e.identification;
        EXPECT_EQ(record.claimed, e.claimed) << e.identification;
        EXPECT_EQ(record.inquiry[0], e.type) << e.identification;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.inquiry + 8), 28), e.identification);
    }
    EXPECT_EQ(data.buses[0].devices.size(), 3u);
    EXPECT_TRUE(data.buses[1].devices.empty());
    EXPECT_EQ(data.buses[2].devices.size(), 1u);
}

TEST_F(LinuxSgDiscovery, InquiryBytesComeFromTheAttributeOrAreBuiltFromTheIdentification) {
    tree.add_host(0);
    tree.add_device(FakeDevice("0:0:0:0", 1, "sg0"));
    tree.add_device(FakeDevice("0:0:1:0", 1, "sg1").identified("OLD", "DRIVE", "7").without_inquiry_attribute());
    const AdapterInquiry data = inquiry_of(0);
    ASSERT_EQ(data.buses.size(), 1u);
    ASSERT_EQ(data.buses[0].devices.size(), 2u);

    const std::uint8_t* from_attribute = data.buses[0].devices[0].inquiry;
    const std::uint8_t attribute_header[8] = {0x01, 0x00, 0x05, 0x12, 0x3D, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(from_attribute, attribute_header, 8), 0);

    // Built: type, version from scsi_level 6 (SPC-4 = 5), response format 2,
    // additional length 31, fields padded with blanks.
    const std::uint8_t* built = data.buses[0].devices[1].inquiry;
    const std::uint8_t built_header[8] = {0x01, 0x00, 0x05, 0x02, 31, 0x00, 0x00, 0x00};
    EXPECT_EQ(std::memcmp(built, built_header, 8), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(built + 8), 28), "OLD     DRIVE           7   ");
}

TEST_F(LinuxSgDiscovery, InitiatorIdIsThisIdOr255WhenTheHostHasNone) {
    const struct {
        unsigned host;
        const char* this_id;
        std::uint8_t expected;
    } cases[] = {{0, "7", 7}, {1, "", 255}, {2, "-1", 255}, {3, "15", 15}};
    for (const auto& c : cases) {
        tree.add_host(c.host, c.this_id);
        const AdapterInquiry data = inquiry_of(c.host);
        ASSERT_EQ(data.buses.size(), 1u) << c.this_id;  // no device: one empty bus
        EXPECT_TRUE(data.buses[0].devices.empty());
        EXPECT_EQ(data.buses[0].initiator_id, c.expected) << c.this_id;
    }
}

TEST_F(LinuxSgDiscovery, TapeDeviceIsTheNonRewindingNodeOpenedWithoutWaiting) {
    tree.add_host(0);
    tree.add_tape(0, "0:0:0:1");
    const Handle handle = open_ok(tape_name(0));
    ASSERT_EQ(calls.opens.size(), 1u);
    EXPECT_EQ(calls.opens[0].path, tree.dev() + "/nst0");
    EXPECT_EQ(calls.opens[0].flags & O_ACCMODE, O_RDWR);
    EXPECT_NE(calls.opens[0].flags & O_NONBLOCK, 0);
    std::uint32_t code = 99;
    EXPECT_TRUE(port->close(handle, code));
    EXPECT_EQ(calls.closed.size(), 1u);
}

TEST_F(LinuxSgDiscovery, TapeDeviceOpenFailuresMapOntoCodes) {
    tree.add_tape(0, "0:0:0:1");
    tree.add_tape(1, "0:0:0:2");
    tree.add_tape(2, "0:0:0:3");
    tree.add_tape(3, "0:0:0:4");
    calls.open_errno["nst0"] = EBUSY;
    calls.open_errno["nst1"] = EACCES;
    calls.open_errno["nst2"] = ENXIO;
    calls.open_errno["nst3"] = EIO;
    EXPECT_EQ(open_error(tape_name(0)), ERROR_IN_USE);
    EXPECT_EQ(open_error(tape_name(1)), ERROR_ACCESS_DENIED);
    EXPECT_EQ(open_error(tape_name(2)), ERROR_NOT_FOUND);
    EXPECT_EQ(open_error(tape_name(3)), errno_code(EIO));
    EXPECT_EQ(open_error(tape_name(4)), ERROR_NOT_FOUND);  // no /dev/nst4
    EXPECT_EQ(open_error("\\\\.\\Tape"), ERROR_NOT_FOUND);
}

TEST_F(LinuxSgDiscovery, TapeAddressComesFromTheIoctlsOrElseFromSysfs) {
    tree.add_tape(0, "3:1:4:2");
    tree.add_tape(1, "0:0:0:1");
    const Handle ioctl_tape = open_ok(tape_name(0));
    const Handle sysfs_tape = open_ok(tape_name(1));
    const int ioctl_fd = 100;  // the fake's first descriptor
    calls.on_ioctl = [&](int fd, unsigned long request, void* arg) {
        if (fd != ioctl_fd) return -ENOTTY;
        if (request == SCSI_IOCTL_GET_IDLUN) {
            // target | lun << 8 | channel << 16 | low byte of host << 24
            static_cast<int*>(arg)[0] = 9 | (5 << 8) | (2 << 16) | (6 << 24);
            return 0;
        }
        if (request == SCSI_IOCTL_GET_BUS_NUMBER) {
            *static_cast<int*>(arg) = 6;
            return 0;
        }
        return -ENOTTY;
    };
    ScsiAddress address;
    std::uint32_t code = 99;
    ASSERT_TRUE(port->get_address(ioctl_tape, address, code));
    EXPECT_EQ(code, ERROR_NONE);
    EXPECT_EQ(address.adapter, 6);
    EXPECT_EQ(address.bus, 2);
    EXPECT_EQ(address.target, 9);
    EXPECT_EQ(address.lun, 5);

    ASSERT_TRUE(port->get_address(sysfs_tape, address, code));
    EXPECT_EQ(address.adapter, 0);
    EXPECT_EQ(address.bus, 0);
    EXPECT_EQ(address.target, 0);
    EXPECT_EQ(address.lun, 1);
}

TEST_F(LinuxSgDiscovery, TapeWithoutAnyAddressFailsItsQuery) {
    tree.add_tape(0, "not-an-address");
    const Handle tape = open_ok(tape_name(0));
    ScsiAddress address;
    std::uint32_t code = 0;
    EXPECT_FALSE(port->get_address(tape, address, code));
    EXPECT_EQ(code, ERROR_NOT_SUPPORTED);  // the ioctl's ENOTTY
}

TEST_F(LinuxSgDiscovery, QueriesOnTheWrongKindOfHandleOrAClosedOneFail) {
    tree.add_host(0);
    tree.add_tape(0, "0:0:0:1");
    const Handle adapter = open_ok(adapter_name(0));
    const Handle tape = open_ok(tape_name(0));
    AdapterInquiry data;
    ScsiAddress address;
    std::uint32_t code = 0;
    EXPECT_FALSE(port->get_inquiry_data(tape, data, code));
    EXPECT_EQ(code, ERROR_NOT_SUPPORTED);
    EXPECT_FALSE(port->get_address(adapter, address, code));
    EXPECT_EQ(code, ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(port->close(adapter, code));
    EXPECT_FALSE(port->close(adapter, code));
    EXPECT_EQ(code, ERROR_INVALID_HANDLE);
    EXPECT_FALSE(port->get_inquiry_data(adapter, data, code));
    EXPECT_EQ(code, ERROR_INVALID_HANDLE);
    EXPECT_FALSE(port->close(INVALID_HANDLE, code));
}

// Commands through an adapter handle reach a device through its sg node,
// opened exclusively and without waiting. The nodes of unclaimed tape drives
// and changers are taken when the adapter is opened, others on first use.
class LinuxSgAdapterNodes : public LinuxSgDiscovery {
protected:
    void SetUp() override {
        LinuxSgDiscovery::SetUp();
        tree.add_host(0);
        tree.add_device(FakeDevice("0:0:2:0", 1, "sg5"));                   // unclaimed tape
        tree.add_device(FakeDevice("0:0:2:1", 8, "sg6"));                   // unclaimed changer
        tree.add_device(FakeDevice("0:0:3:0", 1, "sg7").claimed_by("st"));  // reached through st
        tree.add_device(FakeDevice("0:0:4:0", 0, "sg8"));                   // disk
        tree.add_device(FakeDevice("0:0:5:0", 0));                          // sg not loaded
        tree.add_device(FakeDevice("0:0:6:0", 0, "sg9").without_dev_node());
        calls.on_ioctl = [](int, unsigned long request, void*) { return request == SG_IO ? 0 : -ENOTTY; };
    }

    bool send(Handle adapter, std::uint8_t target, std::uint8_t lun, std::uint32_t& code) {
        PassThroughRequest request;
        request.target_id = target;
        request.lun = lun;
        request.cdb_length = 6;  // TEST UNIT READY
        request.scsi_status = 0x55;
        request.data_transfer_length = 512;
        const bool ok = port->pass_through(adapter, request, code);
        if (!ok) {
            EXPECT_EQ(request.scsi_status, 0);
            EXPECT_EQ(request.data_transfer_length, 0u);
            EXPECT_EQ(request.sense_info_length, 0);
        }
        return ok;
    }

    std::vector<std::string> opened_names() const {
        std::vector<std::string> names;
        for (const FakeCalls::Open& open : calls.opens) names.push_back(fs::path(open.path).filename().string());
        return names;
    }
};

TEST_F(LinuxSgAdapterNodes, TapeAndChangerNodesAreTakenAtOpenOthersOnFirstUseAllClosedWithTheAdapter) {
    const Handle adapter = open_ok(adapter_name(0));
    EXPECT_EQ(opened_names(), (std::vector<std::string>{"sg5", "sg6"}));
    for (const FakeCalls::Open& open : calls.opens) {
        EXPECT_EQ(open.flags & O_ACCMODE, O_RDWR);
        EXPECT_NE(open.flags & O_EXCL, 0);
        EXPECT_NE(open.flags & O_NONBLOCK, 0);
    }
    std::uint32_t code = 99;
    ASSERT_TRUE(send(adapter, 2, 0, code));
    EXPECT_EQ(code, ERROR_NONE);
    ASSERT_TRUE(send(adapter, 2, 1, code));
    ASSERT_TRUE(send(adapter, 4, 0, code));
    ASSERT_TRUE(send(adapter, 4, 0, code));
    EXPECT_EQ(opened_names(), (std::vector<std::string>{"sg5", "sg6", "sg8"}));
    EXPECT_NE(calls.opens.back().flags & O_EXCL, 0);
    EXPECT_EQ(calls.ioctl_count, 4);
    EXPECT_TRUE(port->close(adapter, code));
    EXPECT_EQ(calls.closed.size(), 3u);
}

TEST_F(LinuxSgAdapterNodes, AdapterIsInUseWhileAnotherProcessHoldsItsTapeOrChanger) {
    for (const char* held : {"sg5", "sg6"}) {
        calls = FakeCalls{};
        calls.open_errno[held] = EBUSY;
        EXPECT_EQ(open_error(adapter_name(0)), ERROR_IN_USE) << held;
        EXPECT_EQ(calls.closed.size(), calls.opens.size() - 1) << held;  // nothing left open
    }
    // A busy disk or a node without permission does not make the adapter busy.
    calls = FakeCalls{};
    calls.open_errno["sg8"] = EBUSY;
    calls.open_errno["sg5"] = EACCES;
    const Handle adapter = open_ok(adapter_name(0));
    std::uint32_t code = 0;
    EXPECT_FALSE(send(adapter, 2, 0, code));
    EXPECT_EQ(code, ERROR_ACCESS_DENIED);
    EXPECT_FALSE(send(adapter, 4, 0, code));
    EXPECT_EQ(code, ERROR_IN_USE);
}

TEST_F(LinuxSgAdapterNodes, NodeFailuresFailTheCommandWithTheirCode) {
    const Handle adapter = open_ok(adapter_name(0));
    calls.opens.clear();
    struct Case {
        const char* what;
        std::uint8_t target, lun;
        int open_errno;  // injected on sg8, 0 for none
        std::uint32_t code;
    };
    const Case cases[] = {
        {"no such device", 9, 0, 0, ERROR_NOT_FOUND},
        {"no such LUN", 2, 7, 0, ERROR_NOT_FOUND},
        {"sg module not loaded", 5, 0, 0, ERROR_NO_SG_NODE},
        {"node missing in /dev", 6, 0, 0, ERROR_NOT_FOUND},
        {"held by another process", 4, 0, EBUSY, ERROR_IN_USE},
        {"no permission", 4, 0, EACCES, ERROR_ACCESS_DENIED},
        {"not permitted", 4, 0, EPERM, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        calls.open_errno.clear();
        if (c.open_errno != 0) calls.open_errno["sg8"] = c.open_errno;
        std::uint32_t code = 0;
        EXPECT_FALSE(send(adapter, c.target, c.lun, code)) << c.what;
        EXPECT_EQ(code, c.code) << c.what;
    }
    EXPECT_EQ(calls.ioctl_count, 0);
    // Once the other process lets go, the next command gets through.
    calls.open_errno.clear();
    std::uint32_t code = 99;
    EXPECT_TRUE(send(adapter, 4, 0, code));
    EXPECT_EQ(code, ERROR_NONE);
}

}  // namespace
}  // namespace zv::port
