// The SG_IO request a command becomes, and how the kernel's answer (status,
// residual count, sense, host and driver status, errno) comes back through
// the port driver interface.
#include <fcntl.h>
#include <scsi/sg.h>

#include <climits>
#include <cstring>

#include "fake_tree.h"

namespace zv::port {
namespace {

using namespace testing_support;

class LinuxSgIo : public ::testing::Test {
protected:
    void SetUp() override {
        tree.add_tape(0, "0:0:0:1");
        port = make_linux_sg_port(tree.sys(), tree.dev(), calls);
        std::uint32_t code = 0;
        tape = port->open(tape_name(0).c_str(), code);
        ASSERT_NE(tape, INVALID_HANDLE);
        calls.on_ioctl = [this](int fd, unsigned long request, void* arg) {
            if (request != SG_IO) return -ENOTTY;
            EXPECT_EQ(fd, 100);
            auto* header = static_cast<sg_io_hdr_t*>(arg);
            seen = *header;
            std::memcpy(seen_cdb, header->cmdp, header->cmd_len);
            if (answer.error != 0) return -answer.error;
            header->status = answer.status;
            header->masked_status = answer.masked_status;
            header->host_status = answer.host;
            header->driver_status = answer.driver;
            header->resid = answer.resid;
            header->sb_len_wr = answer.sense_length;
            for (unsigned i = 0; i < answer.sense_length && i < header->mx_sb_len; ++i)
                header->sbp[i] = static_cast<unsigned char>(0x70 + i);
            return 0;
        };
    }

    struct Answer {
        int error = 0;
        unsigned char status = 0, masked_status = 0;
        unsigned short host = 0, driver = 0;
        int resid = 0;
        unsigned char sense_length = 0;
    };

    FakeTree tree;
    FakeCalls calls;
    std::unique_ptr<PortDriver> port;
    Handle tape = INVALID_HANDLE;
    Answer answer;
    sg_io_hdr_t seen{};
    std::uint8_t seen_cdb[16] = {};
    std::uint8_t buffer[4096] = {};
};

TEST_F(LinuxSgIo, RequestCarriesCdbDirectionBufferTimeoutAndSenseRoom) {
    struct Case {
        const char* what;
        std::uint8_t cdb_length;
        Direction direction;
        std::uint32_t length;
        int dxfer_direction;
    };
    const Case cases[] = {
        {"read", 6, Direction::in, 4096, SG_DXFER_FROM_DEV},
        {"write", 6, Direction::out, 1024, SG_DXFER_TO_DEV},
        {"no data", 6, Direction::in, 0, SG_DXFER_NONE},
        {"no data out", 6, Direction::out, 0, SG_DXFER_NONE},
        {"ten-byte CDB", 10, Direction::in, 20, SG_DXFER_FROM_DEV},
        {"sixteen-byte CDB", 16, Direction::in, 8, SG_DXFER_FROM_DEV},
    };
    for (const Case& c : cases) {
        PassThroughRequest request;
        request.cdb_length = c.cdb_length;
        for (std::uint8_t i = 0; i < 16; ++i) request.cdb[i] = static_cast<std::uint8_t>(0xA0 + i);
        request.direction = c.direction;
        request.data_transfer_length = c.length;
        request.data_buffer = buffer;
        std::uint32_t code = 99;
        ASSERT_TRUE(port->pass_through(tape, request, code)) << c.what;
        EXPECT_EQ(seen.interface_id, 'S') << c.what;
        EXPECT_EQ(seen.dxfer_direction, c.dxfer_direction) << c.what;
        EXPECT_EQ(seen.dxfer_len, c.length) << c.what;
        EXPECT_EQ(seen.dxferp, c.length != 0 ? static_cast<void*>(buffer) : nullptr) << c.what;
        EXPECT_EQ(seen.cmd_len, c.cdb_length) << c.what;
        EXPECT_EQ(std::memcmp(seen_cdb, request.cdb, c.cdb_length), 0) << c.what;
        EXPECT_EQ(seen.mx_sb_len, 255) << c.what;
        EXPECT_EQ(seen.sbp, request.sense) << c.what;
        EXPECT_EQ(seen.timeout, 108000u * 1000u) << c.what;  // 30 hours in ms
        EXPECT_EQ(seen.iovec_count, 0) << c.what;
    }
}

TEST_F(LinuxSgIo, OverlongTimeoutIsClampedAndBadCdbLengthsAreRefused) {
    PassThroughRequest request;
    request.cdb_length = 6;
    request.timeout_seconds = 0xFFFFFFFFu;
    std::uint32_t code = 99;
    ASSERT_TRUE(port->pass_through(tape, request, code));
    EXPECT_EQ(seen.timeout, UINT_MAX);

    for (std::uint8_t length : {0, 17}) {
        request.cdb_length = length;
        EXPECT_FALSE(port->pass_through(tape, request, code));
        EXPECT_EQ(code, ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(calls.ioctl_count, 1);
}

// One row per kernel answer: what the port reports back.
TEST_F(LinuxSgIo, KernelAnswersMapOntoOutcome) {
    struct Case {
        const char* what;
        std::uint32_t length;
        Answer answer;
        bool ok;
        std::uint32_t code;
        std::uint8_t status;
        std::uint32_t moved;
        std::uint8_t sense_count;
    };
    // answer: {errno, status, masked_status, host_status, driver_status, resid, sb_len_wr}
    const Case cases[] = {
        {"good", 4096, {0, 0, 0, 0, 0, 0, 0}, true, ERROR_NONE, 0x00, 4096, 0},
        {"short read", 4096, {0, 0, 0, 0, 0, 1024, 0}, true, ERROR_NONE, 0x00, 3072, 0},
        {"nothing moved", 4096, {0, 0, 0, 0, 0, 4096, 0}, true, ERROR_NONE, 0x00, 0, 0},
        {"resid beyond length", 4096, {0, 0, 0, 0, 0, 9999, 0}, true, ERROR_NONE, 0x00, 0, 0},
        {"negative resid", 4096, {0, 0, 0, 0, 0, -5, 0}, true, ERROR_NONE, 0x00, 4096, 0},
        {"check condition with sense", 1024, {0, 0x02, 0x01, 0, DRIVER_SENSE, 1024, 18}, true, ERROR_NONE, 0x02, 0, 18},
        {"sense with retry suggestion", 0, {0, 0x02, 0, 0, 0x18, 0, 18}, true, ERROR_NONE, 0x02, 0, 18},
        {"status only masked", 0, {0, 0, 0x0C, 0, 0, 0, 0}, true, ERROR_NONE, 0x18, 0, 0},
        {"busy", 0, {0, 0x08, 0, 0, 0, 0, 0}, true, ERROR_NONE, 0x08, 0, 0},
        {"sense count clamped", 0, {0, 0x02, 0, 0, DRIVER_SENSE, 0, 255}, true, ERROR_NONE, 0x02, 0, 255},
        {"no connect", 512, {0, 0, 0, DID_NO_CONNECT, 0, 0, 0}, false, 0x20020100, 0, 0, 0},
        {"bus busy", 512, {0, 0, 0, DID_BUS_BUSY, 0, 0, 0}, false, 0x20020200, 0, 0, 0},
        {"time out", 512, {0, 0, 0, DID_TIME_OUT, 0, 12, 0}, false, 0x20020300, 0, 0, 0},
        {"bad target", 0, {0, 0, 0, DID_BAD_TARGET, 0, 0, 0}, false, 0x20020400, 0, 0, 0},
        {"reset", 512, {0, 0x02, 0, DID_RESET, 0, 0, 18}, false, ERROR_BUS_RESET, 0, 0, 0},
        {"transport disrupted", 0, {0, 0, 0, DID_TRANSPORT_DISRUPTED, 0, 0, 0}, false, 0x20020E00, 0, 0, 0},
        {"driver time out", 0, {0, 0, 0, 0, DRIVER_TIMEOUT, 0, 0}, false, 0x20020006, 0, 0, 0},
        {"driver error with sense", 0, {0, 0, 0, 0, DRIVER_SENSE | DRIVER_ERROR, 0, 0}, false, 0x2002000C, 0, 0, 0},
        {"host and driver", 0, {0, 0, 0, DID_ERROR, DRIVER_HARD, 0, 0}, false, 0x20020707, 0, 0, 0},
        {"too large for sg", 1u << 24, {EINVAL, 0, 0, 0, 0, 0, 0}, false, ERROR_TRANSFER_TOO_LARGE, 0, 0, 0},
        {"too large for buffers", 1u << 24, {ENOMEM, 0, 0, 0, 0, 0, 0}, false, ERROR_TRANSFER_TOO_LARGE, 0, 0, 0},
        {"too large through st", 1u << 25, {EIO, 0, 0, 0, 0, 0, 0}, false, ERROR_TRANSFER_TOO_LARGE, 0, 0, 0},
        {"EINVAL without data", 0, {EINVAL, 0, 0, 0, 0, 0, 0}, false, errno_code(EINVAL), 0, 0, 0},
        {"EIO without data", 0, {EIO, 0, 0, 0, 0, 0, 0}, false, errno_code(EIO), 0, 0, 0},
        {"filtered command", 0, {EPERM, 0, 0, 0, 0, 0, 0}, false, ERROR_COMMAND_NOT_PERMITTED, 0, 0, 0},
        {"filtered data command", 512, {EPERM, 0, 0, 0, 0, 0, 0}, false, ERROR_COMMAND_NOT_PERMITTED, 0, 0, 0},
        {"device gone", 0, {ENODEV, 0, 0, 0, 0, 0, 0}, false, ERROR_NOT_FOUND, 0, 0, 0},
        {"device offline", 0, {ENXIO, 0, 0, 0, 0, 0, 0}, false, ERROR_NOT_FOUND, 0, 0, 0},
        {"no permission", 0, {EACCES, 0, 0, 0, 0, 0, 0}, false, ERROR_ACCESS_DENIED, 0, 0, 0},
        {"busy node", 0, {EBUSY, 0, 0, 0, 0, 0, 0}, false, ERROR_IN_USE, 0, 0, 0},
        {"not an sg node", 0, {ENOTTY, 0, 0, 0, 0, 0, 0}, false, ERROR_NOT_SUPPORTED, 0, 0, 0},
        {"interrupted", 512, {EINTR, 0, 0, 0, 0, 0, 0}, false, errno_code(EINTR), 0, 0, 0},
    };
    for (const Case& c : cases) {
        answer = c.answer;
        PassThroughRequest request;
        request.cdb_length = 6;
        request.direction = Direction::in;
        request.data_transfer_length = c.length;
        request.data_buffer = buffer;
        std::memset(request.sense, 0xEE, sizeof request.sense);
        std::uint32_t code = 99;
        EXPECT_EQ(port->pass_through(tape, request, code), c.ok) << c.what;
        EXPECT_EQ(code, c.code) << c.what;
        EXPECT_EQ(request.scsi_status, c.status) << c.what;
        EXPECT_EQ(request.data_transfer_length, c.moved) << c.what;
        EXPECT_EQ(request.sense_info_length, c.sense_count) << c.what;
        if (c.sense_count != 0) {
            EXPECT_EQ(request.sense[0], 0x70) << c.what;
            EXPECT_EQ(request.sense[c.sense_count - 1], static_cast<std::uint8_t>(0x70 + c.sense_count - 1))
                << c.what;
        }
    }
}

TEST_F(LinuxSgIo, SmallerSenseRoomIsPassedOn) {
    answer = {0, 0x02, 0, 0, DRIVER_SENSE, 0, 18};
    PassThroughRequest request;
    request.cdb_length = 6;
    request.sense_info_length = 8;
    std::uint32_t code = 99;
    ASSERT_TRUE(port->pass_through(tape, request, code));
    EXPECT_EQ(seen.mx_sb_len, 8);
    EXPECT_EQ(request.sense_info_length, 8);
}

// st passes SG_IO on only for processes with CAP_SYS_RAWIO; then the tape's
// sg node carries the commands, for a process allowed to open it.
TEST_F(LinuxSgIo, CommandsRefusedByStGoThroughTheTapesSgNode) {
    tree.add_device(FakeDevice("0:0:0:1", 1, "sg3").claimed_by("st"));
    int sg_answer = 0;
    std::vector<int> fds;
    calls.on_ioctl = [&](int fd, unsigned long request, void*) {
        if (request != SG_IO) return -ENOTTY;
        fds.push_back(fd);
        return fd == 100 ? -EPERM : sg_answer;
    };
    PassThroughRequest request;
    request.cdb_length = 6;
    std::uint32_t code = 99;
    ASSERT_TRUE(port->pass_through(tape, request, code));
    EXPECT_EQ(code, ERROR_NONE);
    ASSERT_TRUE(port->pass_through(tape, request, code));
    EXPECT_EQ(fds, (std::vector<int>{100, 101, 101}));  // st once, then sg only
    ASSERT_EQ(calls.opens.size(), 2u);
    EXPECT_EQ(calls.opens[1].path, tree.dev() + "/sg3");
    EXPECT_NE(calls.opens[1].flags & O_EXCL, 0);
    EXPECT_NE(calls.opens[1].flags & O_NONBLOCK, 0);
    sg_answer = -EPERM;  // sg's filter for a node opened read-only
    EXPECT_FALSE(port->pass_through(tape, request, code));
    EXPECT_EQ(code, ERROR_COMMAND_NOT_PERMITTED);
    EXPECT_TRUE(port->close(tape, code));
    EXPECT_EQ(calls.closed, (std::vector<int>{100, 101}));
}

TEST_F(LinuxSgIo, StRefusalStandsWhenTheSgNodeCannotBeUsed) {
    calls.on_ioctl = [](int, unsigned long request, void*) { return request == SG_IO ? -EPERM : -ENOTTY; };
    PassThroughRequest request;
    request.cdb_length = 6;
    std::uint32_t code = 0;
    EXPECT_FALSE(port->pass_through(tape, request, code));  // no sg node at all
    EXPECT_EQ(code, ERROR_COMMAND_NOT_PERMITTED);

    tree.add_device(FakeDevice("0:0:0:1", 1, "sg3").claimed_by("st"));
    calls.open_errno["sg3"] = EACCES;
    EXPECT_FALSE(port->pass_through(tape, request, code));
    EXPECT_EQ(code, ERROR_ACCESS_DENIED);
    calls.open_errno["sg3"] = EBUSY;
    EXPECT_FALSE(port->pass_through(tape, request, code));
    EXPECT_EQ(code, ERROR_IN_USE);
}

TEST(LinuxSgErrorText, EveryCodeHasAShortTextAndOthersNone) {
    // zvscan prints a text only when it fits its 80-character message buffer
    // with a line end added.
    const struct {
        std::uint32_t code;
        const char* must_contain;
    } cases[] = {
        {ERROR_NONE, "no error"},
        {ERROR_NOT_FOUND, "device not found"},
        {ERROR_ACCESS_DENIED, "root"},
        {ERROR_INVALID_HANDLE, "handle"},
        {ERROR_WRITE_PROTECT, "write protect"},
        {ERROR_IN_USE, "device is in use by another process"},
        {ERROR_NOT_SUPPORTED, "function not supported"},
        {ERROR_INVALID_PARAMETER, "parameter"},
        {ERROR_BUS_RESET, "bus reset detected"},
        {ERROR_COMMAND_NOT_PERMITTED, "CAP_SYS_RAWIO"},
        {ERROR_TRANSFER_TOO_LARGE, "lower /maxtl"},
        {ERROR_NO_SG_NODE, "modprobe sg"},
        {errno_code(EIO), "system error 5: Input/output error"},
        {transport_code(DID_TIME_OUT, 0), "transport failure: host status 03h (time out), driver status 00h"},
        {transport_code(DID_TRANSPORT_DISRUPTED, 0x18), "host status 0Eh (transport disrupted), driver status 18h"},
        {transport_code(0x7F, 0), "host status 7Fh (unknown)"},
    };
    for (const auto& c : cases) {
        const std::string text = linux_sg_error_text(c.code);
        EXPECT_NE(text.find(c.must_contain), std::string::npos) << std::hex << c.code << ": " << text;
        EXPECT_LT(text.size() + 1, 80u) << text;
    }
    EXPECT_EQ(linux_sg_error_text(1117), "");
    EXPECT_EQ(linux_sg_error_text(0x20000099), "");
}

}  // namespace
}  // namespace zv::port
