// Run start-up: the files, discovery and the validation of the target, each
// failure with its message, where it goes and the result.
#include <memory>

#include "emulator/virtual_bus.h"
#include "fake_port.h"
#include "scsi/startup.h"

namespace zv::test {
namespace {

using frontend::channels;
using frontend::settings;
using scsi::layer;

std::string read_file(const std::string& name) {
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) return "<missing>";
    std::string text = stream_text(file);
    std::fclose(file);
    return text;
}

const char* const ONE_DRIVE = "adapter 0\nbus 0\ndevice 0:0:2:0 tape\n";

class StartupTest : public LayerTest {
protected:
    std::unique_ptr<port::PortDriver> bus;
    const std::string output_name = testing::TempDir() + "zv_startup_test.out";
    const std::string cdb_list_name = testing::TempDir() + "zv_startup_test.cdb";

    void SetUp() override {
        LayerTest::SetUp();
        reset();
    }
    // Fresh files and settings; also between the cases of one test.
    void reset() {
        close_files();
        scsi::release_scsi_layer();
        layer = scsi::ScsiLayerState{};
        settings = frontend::TestSettings{};
        std::remove(output_name.c_str());
        std::remove(cdb_list_name.c_str());
        settings.output_file_name = output_name;
        settings.cdb_list_file_name = cdb_list_name;
        settings.cdb_list_enabled = true;
    }
    void TearDown() override {
        close_files();
        LayerTest::TearDown();
    }
    void close_files() {
        scsi::set_cdb_list_file(nullptr);
        frontend::set_layer_log_stream(nullptr);
        if (channels.output_file != nullptr) std::fclose(channels.output_file);
        if (channels.cdb_list_file != nullptr) std::fclose(channels.cdb_list_file);
        channels.output_file = channels.cdb_list_file = nullptr;
    }
    void load(const std::string& text) {
        std::string error;
        bus = emulator::parse_virtual_bus(text, "test.vbus", error);
        ASSERT_NE(bus, nullptr) << error;
        port::set_active_port(bus.get());
    }
};

const std::string TUR = " 00 00 00 00 00 00\r\n";
const std::string INQUIRY = " 12 00 00 00 ff 00\r\n";
const std::string MODE_SENSE = " 1a 00 00 00 0c 00\r\n";

TEST_F(StartupTest, ValidatesTheTarget) {
    struct Case {
        const char* name;
        std::string description;
        void (*adjust)();
        int result;
        std::string report;    // console and output file alike
        std::string commands;  // the CDB list
    };
    const Case cases[] = {
        {"a tape drive", ONE_DRIVE, [] {}, 0, "", TUR + TUR + INQUIRY},
        {"unit attention on the first TEST UNIT READY", "adapter 0\nbus 0\ndevice 0:0:2:0 tape unit_attention\n",
         [] {}, 0, "", TUR + TUR + INQUIRY},
        {"a drive claimed by the tape driver, LUN 5 on adapter 3 bus 1",
         "adapter 3\nbus 0\nbus 1\ndevice 3:1:12:5 tape claimed tape_device 4\n",
         [] {
             settings.host_adapter_number = 3;
             settings.bus_number = 1;
             settings.target_id = 12;
             settings.lun = 5;
         },
         0, "", " 00 a0 00 00 00 00\r\n 00 a0 00 00 00 00\r\n 12 a0 00 00 ff 00\r\n"},
        {"unknown target, id shown in hexadecimal", ONE_DRIVE, [] { settings.target_id = 10; }, -1,
         "ERROR: unable to access tape drive at SCSI id A LUN 0\n", ""},
        {"drive in use by another process", "adapter 0\nbus 0\ndevice 0:0:2:0 tape claimed tape_device 0\n"
                                            "adapter 1 in_use\nbus 0\ndevice 1:0:2:0 tape\n",
         [] { settings.host_adapter_number = 1; }, -1, "ERROR: unable to access tape drive at SCSI id 2 LUN 0\n", ""},
        {"a disk answers at the address", ONE_DRIVE + std::string("fault opcode 12 at 1 corrupt_byte 0 xor 01\n"),
         [] {}, -1, "ERROR: device at SCSI id 2 LUN 0 is not a sequential access device (type 00)\n",
         TUR + TUR + INQUIRY},
        {"a failed INQUIRY reads as type 00", ONE_DRIVE + std::string("fault opcode 12 at 1 status 08\n"), [] {}, -1,
         "ERROR: device at SCSI id 2 LUN 0 is not a sequential access device (type 00)\n", TUR + TUR + INQUIRY},
        {"an unclaimed medium changer", "adapter 0\nbus 0\ndevice 0:0:11:0 changer\n",
         [] { settings.target_id = 11; }, -1,
         "ERROR: device at SCSI id B LUN 0 is not a sequential access device (type 08)\n", TUR + TUR + INQUIRY},
        {"LUN not supported (INQUIRY byte 0 is 7Fh)",
         "adapter 0\nbus 0\ndevice 0:0:13:1 tape\nfault opcode 12 at 1 corrupt_byte 0 xor 7E\n",
         [] {
             settings.target_id = 13;
             settings.lun = 1;
         },
         -1, "ERROR: LUN 1 is not supported by the device at SCSI id D\n",
         " 00 20 00 00 00 00\r\n 00 20 00 00 00 00\r\n 12 20 00 00 ff 00\r\n"},
        {"SCSI id above 15", ONE_DRIVE, [] { settings.target_id = 20; }, -1,
         "ERROR: invalid SCSI id specified (use 0 - 15 only)\r\n", ""},
        {"SCSI id and LUN both out of range", ONE_DRIVE,
         [] {
             settings.target_id = 16;
             settings.lun = 8;
         },
         -1,
         "ERROR: invalid SCSI id specified (use 0 - 15 only)\r\n"
         "ERROR: invalid logical unit number specified (use 0 - 7 only)\r\n",
         ""},
        {"block size from MODE SENSE", "adapter 0\nbus 0\ndevice 0:0:2:0 tape block_size 0x800\n",
         [] { settings.block_size_from_mode_sense = true; }, 0, "", TUR + TUR + INQUIRY + MODE_SENSE},
        {"MODE SENSE fails", ONE_DRIVE + std::string("fault opcode 1A at 1 status 02 sense 5/24/00\n"),
         [] { settings.block_size_from_mode_sense = true; }, -1,
         "ERROR: unable to \"mode sense\" block mode at SCSI id 2 LUN 0\r\n"
         "\r\n"
         "Win32 SRB status . 00 (no error)\r\n"
         "SRB targ status .. 02 (check condition)\r\n"
         "SRB sense key .... 05 (illegal request)\r\n"
         "\r\n"
         "000000: 70 00 05 00 | 00 00 00 0a | 00 00 00 00 | 24 00 00 00  p...........$...\r\n"
         "000010: 00 00 "
         "      " "  " "            " "  " "            " "  " "            "
         " ..              \r\n",
         TUR + TUR + INQUIRY + MODE_SENSE},
        {"block length above the transfer length", "adapter 0\nbus 0\ndevice 0:0:2:0 tape block_size 0x40000\n",
         [] { settings.block_size_from_mode_sense = true; }, -1,
         "ERROR: logical block size cannot be greater than maximum write/read data\ntransfer length\n",
         TUR + TUR + INQUIRY + MODE_SENSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reset();
        load(c.description);
        c.adjust();
        std::FILE* captured = std::tmpfile();
        channels.console = captured;
        EXPECT_EQ(scsi::start_run(nullptr), c.result);
        if (c.result == 0) {
            EXPECT_EQ(layer.outcome.srb_status, scsi::SRB_OK);
        }
        close_files();
        EXPECT_EQ(stream_text(captured), c.report);
        EXPECT_EQ(read_file(output_name), c.report);
        EXPECT_EQ(read_file(cdb_list_name), c.commands);
        EXPECT_EQ(stream_text(error_console), "");
        std::fclose(captured);
        channels.console = console;
    }
}

TEST_F(StartupTest, BlockSizeFromModeSenseIsKept) {
    load("adapter 0\nbus 0\ndevice 0:0:2:0 tape block_size 0x800\n");
    settings.block_size_from_mode_sense = true;
    ASSERT_EQ(scsi::start_run(nullptr), 0);
    EXPECT_EQ(settings.logical_block_size, 0x800u);
}

TEST_F(StartupTest, FilesThatCannotBeOpenedAreBothReported) {
    load(ONE_DRIVE);
    settings.output_file_name = "/nonexistent-zv-dir/report.out";
    settings.cdb_list_file_name = "/nonexistent-zv-dir/commands.cdb";
    EXPECT_EQ(scsi::start_run(nullptr), -1);
    EXPECT_EQ(stream_text(error_console), "ERROR: unable to open \"/nonexistent-zv-dir/report.out\" for output\n"
                                       "ERROR: unable to open \"/nonexistent-zv-dir/commands.cdb\" for CDB output\n");
    EXPECT_EQ(stream_text(console), "");
    EXPECT_EQ(channels.output_file, nullptr);
    EXPECT_EQ(channels.cdb_list_file, nullptr);
    EXPECT_EQ(layer.sense_data, nullptr);  // the layer was never initialised
}

TEST_F(StartupTest, OneFileFailingStillStops) {
    load(ONE_DRIVE);
    settings.cdb_list_file_name = "/nonexistent-zv-dir/commands.cdb";
    EXPECT_EQ(scsi::start_run(nullptr), -1);
    EXPECT_EQ(stream_text(error_console), "ERROR: unable to open \"/nonexistent-zv-dir/commands.cdb\" for CDB output\n");
    EXPECT_NE(channels.output_file, nullptr);  // left open for the clean-up
    EXPECT_EQ(channels.layer_log_stream, channels.output_file);
    EXPECT_EQ(layer.sense_data, nullptr);
}

TEST_F(StartupTest, AppendModeKeepsTheEarlierReport) {
    load(ONE_DRIVE);
    std::FILE* earlier = std::fopen(output_name.c_str(), "wb");
    std::fputs("earlier run\r\n", earlier);
    std::fclose(earlier);
    settings.output_file_mode = "ab";
    settings.cdb_list_enabled = false;
    settings.target_id = 3;
    EXPECT_EQ(scsi::start_run(nullptr), -1);
    EXPECT_EQ(channels.cdb_list_file, nullptr);
    close_files();
    EXPECT_EQ(read_file(output_name), "earlier run\r\nERROR: unable to access tape drive at SCSI id 3 LUN 0\n");
    EXPECT_EQ(read_file(cdb_list_name), "<missing>");
}

}  // namespace
}  // namespace zv::test
