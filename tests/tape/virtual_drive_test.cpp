// The shipped "VIRTUAL" drive status entry read against the emulated tape
// drive of the virtual bus, around one write and one read interval.
#include <unistd.h>

#include <memory>
#include <string>

#include "emulator/virtual_bus.h"
#include "fake_drive.h"
#include "scsi/commands.h"
#include "tape/drive_status.h"
#include "tape/dsc_config.h"

namespace zv::test {
namespace {

constexpr std::uint32_t RECORD = 0x10000;
constexpr int RECORDS = 16;  // 1 MB

class VirtualDrive : public DriveFixture {
protected:
    std::unique_ptr<port::PortDriver> bus;
    std::uint8_t buffer[RECORD] = {};

    void SetUp() override {
        DriveFixture::SetUp();
        std::string error;
        bus = emulator::parse_virtual_bus(
            "adapter 0\nbus 0\n"
            "device 0:0:2:0 tape compression 2.0 rwr_permille 10 ecc_permille 5 rw_retries 3 tracking_retries 1\n",
            "drive.vbus", error);
        ASSERT_NE(bus, nullptr) << error;
        port::set_active_port(bus.get());
        std::strcpy(handle_info.device_name, "\\\\.\\Scsi0:");

        tape::drive_status_config = tape::DriveStatusConfig{};
        char previous[4096];
        ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
        ASSERT_EQ(chdir(ZV_SOURCE_DIR "/examples"), 0);
        const int loaded = tape::load_drive_status_config("VIRTUAL");
        ASSERT_EQ(chdir(previous), 0);
        ASSERT_EQ(loaded, 0);
        for (const tape::DriveStatusItem& item : tape::drive_status_config.items) ASSERT_TRUE(item.enabled);
        tape::max_rwr_percentage = 0.0;
        tape::max_ecc_percentage = 0.0;

        scsi::set_fixed_bit(0);  // the drive starts in variable block mode
        ASSERT_EQ(scsi::register_read_write_buffer(buffer, RECORD), 0);
    }

    void TearDown() override {
        scsi::set_fixed_bit(1);
        DriveFixture::TearDown();
        bus.reset();
    }
};

TEST_F(VirtualDrive, EveryItemOfTheShippedEntry) {
    const double amount = double(RECORD) * RECORDS;

    ASSERT_EQ(tape::display_drive_status(0, 0, 0.0), 0);
    for (int i = 0; i < RECORDS; ++i) {
        ASSERT_EQ(scsi::write_data(RECORD), 0);
        ASSERT_FALSE(scsi::command_failed());
    }
    ASSERT_EQ(tape::display_drive_status(1, 0, amount), 0);

    scsi::rewind(0);
    ASSERT_FALSE(scsi::command_failed());
    ASSERT_EQ(tape::display_drive_status(0, 1, 0.0), 0);
    for (int i = 0; i < RECORDS; ++i) {
        ASSERT_EQ(scsi::read_data(RECORD), 0);
        ASSERT_FALSE(scsi::command_failed());
    }
    ASSERT_EQ(tape::display_drive_status(1, 1, amount), 0);

    // 1024 KB written at 2:1 and 1% rewritten; read back with 0.5% corrected.
    expect_report("  write data compression ratio ............... 2.0 to 1\r\n"
                  "  drive RWR percentage ....................... 1.0%\r\n"
                  "  tape logical block position ................ 0x10\r\n"
                  "  drive read/write retry counter ............. 0x03\r\n"
                  "  drive tracking retry counter ............... 0x01\r\n"
                  "  read data compression ratio ................ 2.0 to 1\r\n"
                  "  drive ECC percentage ....................... 0.5%\r\n"
                  "  tape logical block position ................ 0x10\r\n"
                  "  drive read/write retry counter ............. 0x03\r\n"
                  "  drive tracking retry counter ............... 0x01\r\n");
    EXPECT_NEAR(tape::max_rwr_percentage, 1.0, 0.05);
    EXPECT_NEAR(tape::max_ecc_percentage, 0.5, 0.05);
}

}  // namespace
}  // namespace zv::test
