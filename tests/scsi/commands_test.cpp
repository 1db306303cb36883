// The command builders: CDB bytes, data length, buffer and direction.
#include <functional>

#include "fake_port.h"
#include "scsi/commands.h"

namespace zv::test {
namespace {

using scsi::layer;

class CommandsTest : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        port.adapters[0].buses.push_back({7, {FakePort::device(2, 0, 0x01, false), FakePort::device(2, 3, 0x01, false),
                                              FakePort::device(2, 7, 0x01, false)}});
        discover();
        target(0, 2);
    }
};

// Runs first in a fresh process: nothing has been registered yet.
TEST_F(CommandsTest, ReadWriteWithoutRegisteredBufferSendNothing) {
    layer.outcome = {0x00, 1234, 0x02, 0x66, 77};
    EXPECT_EQ(scsi::read_data(1), -1);
    EXPECT_EQ(scsi::write_data(1), -1);
    EXPECT_TRUE(port.sent.empty());
    EXPECT_EQ(layer.outcome.error_code, 1234u);
    EXPECT_EQ(layer.outcome.sense_key_byte, 0x66);
    EXPECT_EQ(stream_text(console), "ERROR: NULL read/write buffer\r\n"
                                 "ERROR: NULL read/write buffer\r\n");
}

TEST_F(CommandsTest, RegisterRefusesNullOrEmptyAndKeepsThePrevious) {
    static std::uint8_t first[64], second[32];
    std::FILE* log = std::tmpfile();
    frontend::set_layer_log_stream(log);
    ASSERT_EQ(scsi::register_read_write_buffer(first, sizeof first), 0);
    EXPECT_EQ(scsi::register_read_write_buffer(nullptr, 16), -1);
    EXPECT_EQ(scsi::register_read_write_buffer(second, 0), -1);
    const char* message = "ERROR: NULL buffer or zero buffer length (r/w buffer pointer not used)\r\n";
    EXPECT_EQ(stream_text(console), std::string(message) + message);
    EXPECT_EQ(stream_text(log), std::string(message) + message);
    EXPECT_EQ(scsi::write_data(4), 0);
    EXPECT_EQ(port.sent.back().buffer, first);
    EXPECT_EQ(port.sent.back().length, 64u);
    ASSERT_EQ(scsi::register_read_write_buffer(second, sizeof second), 0);
    EXPECT_EQ(scsi::read_data(4), 0);
    EXPECT_EQ(port.sent.back().buffer, second);
    EXPECT_EQ(port.sent.back().length, 32u);
    std::fclose(log);
}

TEST_F(CommandsTest, EachBuilderSendsItsCdb) {
    static std::uint8_t data[0x10000];
    ASSERT_EQ(scsi::register_read_write_buffer(data, sizeof data), 0);
    using Bytes = std::vector<std::uint8_t>;
    const auto in = port::Direction::in;
    const auto out = port::Direction::out;
    struct Case {
        const char* name;
        std::uint8_t lun;
        std::uint8_t fixed_bit;
        std::function<void()> build;
        Bytes cdb;
        std::uint32_t length;
        std::uint8_t* const* buffer;  // where the layer keeps the expected data buffer
        port::Direction direction;
    };
    std::uint8_t* rw = data;
    const Case cases[] = {
        {"test unit ready", 0, 1, [] { scsi::test_unit_ready(); }, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"test unit ready LUN 3", 3, 1, [] { scsi::test_unit_ready(); }, {0x00, 0x60, 0x00, 0x00, 0x00, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"rewind", 0, 1, [] { scsi::rewind(0); }, {0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, 0, &layer.no_data_buffer, in},
        {"rewind immed LUN 7", 7, 1, [] { scsi::rewind(5); }, {0x01, 0xE1, 0x00, 0x00, 0x00, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"request sense", 0, 1, [] { scsi::request_sense(255); }, {0x03, 0x00, 0x00, 0x00, 0xFF, 0x00}, 255,
         &layer.sense_data, in},
        {"write fixed 65536", 0, 1, [] { scsi::write_data(65536); }, {0x0A, 0x01, 0x01, 0x00, 0x00, 0x00}, 0x10000,
         &rw, out},
        {"read variable", 3, 0, [] { scsi::read_data(0x10000); }, {0x08, 0x60, 0x01, 0x00, 0x00, 0x00}, 0x10000,
         &rw, in},
        {"read count keeps low 24 bits", 0, 1, [] { scsi::read_data(0x12345678); },
         {0x08, 0x01, 0x34, 0x56, 0x78, 0x00}, 0x10000, &rw, in},
        {"write filemarks 2", 0, 1, [] { scsi::write_filemarks(2); }, {0x10, 0x00, 0x00, 0x00, 0x02, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"write filemarks 0", 3, 1, [] { scsi::write_filemarks(0); }, {0x10, 0x60, 0x00, 0x00, 0x00, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"space filemarks 2", 0, 1, [] { scsi::space(1, 2); }, {0x11, 0x01, 0x00, 0x00, 0x02, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"space filemarks back 2", 0, 1, [] { scsi::space(1, -2); }, {0x11, 0x01, 0xFF, 0xFF, 0xFE, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"space code bit 7 to control", 3, 1, [] { scsi::space(0x87, 0x010203); },
         {0x11, 0x63, 0x01, 0x02, 0x03, 0x80}, 0, &layer.no_data_buffer, in},
        {"inquiry", 0, 1, [] { scsi::inquiry(255); }, {0x12, 0x00, 0x00, 0x00, 0xFF, 0x00}, 255, &layer.inquiry_data,
         in},
        {"mode select", 0, 1, [] { scsi::mode_select(12); }, {0x15, 0x00, 0x00, 0x00, 0x0C, 0x00}, 12,
         &layer.mode_data, out},
        {"mode sense", 3, 1, [] { scsi::mode_sense(12); }, {0x1A, 0x60, 0x00, 0x00, 0x0C, 0x00}, 12,
         &layer.mode_data, in},
        {"unload", 0, 1, [] { scsi::load_unload(0, 0, 0); }, {0x1B, 0x00, 0x00, 0x00, 0x00, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"load", 0, 1, [] { scsi::load_unload(0, 0, 1); }, {0x1B, 0x00, 0x00, 0x00, 0x01, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"load immed reten", 0, 1, [] { scsi::load_unload(9, 9, 9); }, {0x1B, 0x01, 0x00, 0x00, 0x03, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"prevent", 0, 1, [] { scsi::prevent_allow_medium_removal(1); }, {0x1E, 0x00, 0x00, 0x00, 0x01, 0x00}, 0,
         &layer.no_data_buffer, in},
        {"prevent 2 allows", 0, 1, [] { scsi::prevent_allow_medium_removal(2); },
         {0x1E, 0x00, 0x00, 0x00, 0x00, 0x00}, 0, &layer.no_data_buffer, in},
        {"read position", 3, 1, [] { scsi::read_position(); },
         {0x34, 0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, 20, &layer.read_position_data, in},
        {"log sense", 0, 1, [] { scsi::log_sense(0x32, 1, 40); },
         {0x4D, 0x00, 0x72, 0x00, 0x00, 0x00, 0x00, 0x00, 0x28, 0x00}, 40, &layer.log_data, in},
        {"log sense page bits 5-0 only", 3, 1, [] { scsi::log_sense(0xFF, 0, 40); },
         {0x4D, 0x60, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x28, 0x00}, 40, &layer.log_data, in},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        target(0, 2, c.lun);
        scsi::set_fixed_bit(c.fixed_bit);
        const std::size_t before = port.sent.size();
        c.build();
        ASSERT_EQ(port.sent.size(), before + 1);
        const SentCommand& sent = port.sent.back();
        EXPECT_EQ(sent.cdb, c.cdb);
        EXPECT_EQ(sent.length, c.length);
        EXPECT_EQ(sent.buffer, *c.buffer);
        EXPECT_EQ(sent.direction, c.direction);
    }
}

TEST_F(CommandsTest, DataStructuresAreClearedBeforeTheCommand) {
    struct Case {
        const char* name;
        std::function<void()> build;
        std::uint8_t* structure;
        std::size_t size;
    };
    const Case cases[] = {
        {"request sense", [] { scsi::request_sense(255); }, layer.sense_data, 256},
        {"inquiry", [] { scsi::inquiry(255); }, layer.inquiry_data, 256},
        {"mode sense", [] { scsi::mode_sense(12); }, layer.mode_data, 256},
        {"read position", [] { scsi::read_position(); }, layer.read_position_data, 20},
        {"log sense", [] { scsi::log_sense(0x32, 1, 40); }, layer.log_data, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(c.structure, 0xEE, c.size);
        port.answers.push_back({.data = {0x11, 0x22}});
        c.build();
        EXPECT_EQ(c.structure[0], 0x11);
        EXPECT_EQ(c.structure[1], 0x22);
        for (std::size_t i = 2; i < c.size; ++i) ASSERT_EQ(c.structure[i], 0) << i;
    }
    // MODE SELECT sends the parameter list as it stands.
    layer.mode_data[0] = 0xAB;
    scsi::mode_select(12);
    EXPECT_EQ(layer.mode_data[0], 0xAB);
}

TEST(BigEndianField, ReadsCountBytesMostSignificantFirst) {
    const std::uint8_t data[12] = {0x00, 0x00, 0x10, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00};
    const std::uint8_t high[4] = {0xFF, 0xFE, 0x01, 0x80};
    EXPECT_EQ(scsi::big_endian_field(data, 9, 3), 1024u);
    EXPECT_EQ(scsi::big_endian_field(data, 2, 2), 0x1008u);
    EXPECT_EQ(scsi::big_endian_field(data, 3, 1), 0x08u);
    EXPECT_EQ(scsi::big_endian_field(high, 0, 4), 0xFFFE0180u);
    EXPECT_EQ(scsi::big_endian_field(high, 0, 0), 0u);
}

}  // namespace
}  // namespace zv::test
