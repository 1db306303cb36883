// Block mode: the MODE SELECT parameter list, the fixed bit, and the block
// size read back with MODE SENSE.
#include "driver/plan.h"
#include "fake_port.h"
#include "tape/drive_mode.h"

namespace zv::test {
namespace {

using frontend::settings;
using scsi::layer;

class DriveModeTest : public OneDriveTest {
protected:
    void SetUp() override {
        OneDriveTest::SetUp();
        driver::plan = driver::TransferPlan{};
    }
    std::vector<std::uint8_t> parameter_list() const {
        return {layer.mode_data, layer.mode_data + 12};
    }
};

const std::vector<std::uint8_t> CHECK_ILLEGAL_REQUEST = {0x70, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00,
                                                          0x00, 0x00, 0x00, 0x26, 0x00, 0x00, 0x00, 0x00, 0x00};

TEST_F(DriveModeTest, DefaultSettingsSelectFixedBlocksOf1024) {
    driver::plan.blocks_per_command = 0x40;
    scsi::set_fixed_bit(0);
    std::memset(layer.mode_data, 0xEE, scsi::MODE_DATA_SIZE);
    EXPECT_EQ(tape::set_block_mode(), 0);
    ASSERT_EQ(port.sent.size(), 1u);
    EXPECT_EQ(port.sent[0].cdb, (std::vector<std::uint8_t>{0x15, 0x00, 0x00, 0x00, 0x0C, 0x00}));
    EXPECT_EQ(port.sent[0].direction, port::Direction::out);
    EXPECT_EQ(parameter_list(),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x10, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00}));
    for (std::uint32_t i = 12; i < scsi::MODE_DATA_SIZE; ++i) ASSERT_EQ(layer.mode_data[i], 0) << i;
    EXPECT_EQ(layer.fixed_bit, 1);
    const std::string expected = "setting block mode (density code = 0x0; logical block size = 0x400)\r\n"
                                 "setting maximum transfer lengths (write/read CDB = 0x40; data = 0x10000)\r\n";
    EXPECT_EQ(stream_text(console), expected);
    EXPECT_EQ(stream_text(output), expected);
}

TEST_F(DriveModeTest, VariableBlockModeAndDensity) {
    settings.logical_block_size = 0;
    settings.density_code = 0x4C;
    settings.max_transfer_length = 0x3C000;
    driver::plan.blocks_per_command = 0x3C000;
    EXPECT_EQ(tape::set_block_mode(), 0);
    EXPECT_EQ(parameter_list(),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x10, 0x08, 0x4C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(layer.fixed_bit, 0);
    EXPECT_EQ(stream_text(console), "setting block mode (density code = 0x4C; logical block size = 0x0)\r\n"
                                 "setting maximum transfer lengths (write/read CDB = 0x3C000; data = 0x3C000)\r\n");
}

TEST_F(DriveModeTest, RejectedModeSelectReportsAndStillSetsTheFixedBit) {
    settings.logical_block_size = 0x123456;
    settings.target_id = 10;
    settings.lun = 0;
    scsi::set_fixed_bit(0);
    port.answers.push_back({.status = 0x02, .sense = CHECK_ILLEGAL_REQUEST});
    EXPECT_EQ(tape::set_block_mode(), -1);
    EXPECT_EQ(layer.fixed_bit, 1);
    EXPECT_EQ(parameter_list()[9], 0x12);
    EXPECT_EQ(parameter_list()[10], 0x34);
    EXPECT_EQ(parameter_list()[11], 0x56);
    const std::string text = stream_text(output);
    const std::string error = "ERROR: unable to \"mode select\" requested block mode at SCSI id A LUN 0\r\n"
                              "\r\n"
                              "Win32 SRB status . 00 (no error)\r\n"
                              "SRB targ status .. 02 (check condition)\r\n"
                              "SRB sense key .... 05 (illegal request)\r\n"
                              "\r\n"
                              "000000: 70 00 05 00 | 00 00 00 0a | 00 00 00 00 | 26 00 00 00  p...........&...\r\n";
    ASSERT_GE(text.size(), error.size());
    EXPECT_EQ(text.substr(text.find("ERROR"), error.size()), error);
    EXPECT_EQ(stream_text(console), text);
}

TEST_F(DriveModeTest, PageFormatRetryOnlyForInvalidFieldInCdb) {
    // 5h 24h/00h: the drive wants PF set; the same list goes again with PF.
    const std::vector<std::uint8_t> invalid_field = {0x70, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00,
                                                     0x00, 0x00, 0x00, 0x24, 0x00, 0x00, 0x00, 0x00, 0x00};
    struct Case {
        const char* name;
        std::vector<Answer> answers;
        int result;
        std::vector<std::uint8_t> second_byte_1;  // byte 1 of each MODE SELECT sent
    };
    const Case cases[] = {
        {"accepted as sent", {{}}, 0, {0x00}},
        {"PF wanted, then accepted", {{.status = 0x02, .sense = invalid_field}, {}}, 0, {0x00, 0x10}},
        {"PF wanted, then refused", {{.status = 0x02, .sense = invalid_field}, {.status = 0x02, .sense = invalid_field}},
         -1, {0x00, 0x10}},
        {"other refusal: no retry", {{.status = 0x02, .sense = CHECK_ILLEGAL_REQUEST}}, -1, {0x00}},
        {"failed call: no retry", {{.sent = false, .error_code = 1117}}, -1, {0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        port.sent.clear();
        for (const Answer& answer : c.answers) port.answers.push_back(answer);
        EXPECT_EQ(tape::set_block_mode(), c.result);
        ASSERT_EQ(port.sent.size(), c.second_byte_1.size());
        for (std::size_t i = 0; i < port.sent.size(); ++i) {
            EXPECT_EQ(port.sent[i].cdb[0], 0x15);
            EXPECT_EQ(port.sent[i].cdb[1], c.second_byte_1[i]);
        }
        EXPECT_EQ(parameter_list(),
                  (std::vector<std::uint8_t>{0x00, 0x00, 0x10, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00}));
    }
}

TEST_F(DriveModeTest, ReadBlockSizeFromTheBlockDescriptor) {
    struct Case {
        const char* name;
        Answer answer;
        std::uint32_t max_transfer_length;
        int result;
        std::uint32_t block_size;  // afterwards; 0x999 = kept
        std::string console;
    };
    const std::vector<std::uint8_t> descriptor_800 = {0x0B, 0x00, 0x10, 0x08, 0x00, 0x00,
                                                      0x00, 0x00, 0x00, 0x00, 0x08, 0x00};
    const std::vector<std::uint8_t> descriptor_40000 = {0x0B, 0x00, 0x10, 0x08, 0x00, 0x00,
                                                        0x00, 0x00, 0x00, 0x04, 0x00, 0x00};
    const Case cases[] = {
        {"block length 800h", {.data = descriptor_800}, 0x10000, 0, 0x800, ""},
        {"header only: variable", {.data = {0x03, 0x00, 0x10, 0x00}}, 0x10000, 0, 0, ""},
        {"block length equal to the transfer length", {.data = descriptor_40000}, 0x40000, 0, 0x40000, ""},
        {"block length above the transfer length", {.data = descriptor_40000}, 0x10000, -1, 0x40000,
         "ERROR: logical block size cannot be greater than maximum write/read data\ntransfer length\n"},
        {"rejected", {.status = 0x02, .sense = CHECK_ILLEGAL_REQUEST}, 0x10000, -1, 0x999,
         "ERROR: unable to \"mode sense\" block mode at SCSI id 2 LUN 0\r\n\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::FILE* captured = std::tmpfile();
        frontend::channels.console = captured;
        settings.logical_block_size = 0x999;
        settings.max_transfer_length = c.max_transfer_length;
        port.answers.push_back(c.answer);
        EXPECT_EQ(tape::read_block_size(), c.result);
        EXPECT_EQ(port.sent.back().cdb, (std::vector<std::uint8_t>{0x1A, 0x00, 0x00, 0x00, 0x0C, 0x00}));
        EXPECT_EQ(settings.logical_block_size, c.block_size);
        EXPECT_EQ(stream_text(captured).substr(0, c.console.size()), c.console);
        if (c.result == 0) {
            EXPECT_EQ(stream_text(captured), "");
        }
        frontend::channels.console = console;
        std::fclose(captured);
    }
}

}  // namespace
}  // namespace zv::test
