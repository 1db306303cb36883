#include <string>
#include <vector>

#include "capture.h"
#include "frontend/dump.h"

namespace zv::test {
namespace {

// A short row of four bytes: 12 blank fields of 3 and 3 blank separators of 2.
const std::string BLANK_FIELDS_AFTER_FIRST_GROUP(12 * 3 + 3 * 2, ' ');

class DumpTest : public CapturedOutput {
protected:
    std::vector<std::uint8_t> counting(std::size_t size) {
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i);
        return bytes;
    }
};

TEST_F(DumpTest, FullRowsAndShortLastRow) {
    std::vector<std::uint8_t> buffer(64, 0);
    for (int i = 0; i < 20; ++i) buffer[0x10 + i] = static_cast<std::uint8_t>(0x41 + i);
    EXPECT_EQ(frontend::dump_buffer(nullptr, buffer.data(), 64, 0x10, 20), 0);
    EXPECT_EQ(console(),
              std::string("000010: 41 42 43 44 | 45 46 47 48 | 49 4a 4b 4c | 4d 4e 4f 50  ABCDEFGHIJKLMNOP\r\n") +
              "000020: 51 52 53 54 " + BLANK_FIELDS_AFTER_FIRST_GROUP + " QRST            \r\n");
}

TEST_F(DumpTest, TextColumnShowsOnlyPrintableBytes) {
    const std::uint8_t bytes[] = {0x1F, 0x7F, 0x9F, 0xFF, 0x20, 0x7E, 0xA0, 0xFE,
                                  0x00, 0x0D, 0x0A, 0x80, 0x30, 0x61, 0x5A, 0xC8};
    EXPECT_EQ(frontend::dump_buffer(nullptr, bytes, sizeof bytes, 0, 0), 0);
    EXPECT_EQ(console(), "000000: 1f 7f 9f ff | 20 7e a0 fe | 00 0d 0a 80 | 30 61 5a c8  "
                         "...." " ~\xA0\xFE" "...." "0aZ\xC8" "\r\n");
}

TEST_F(DumpTest, LimitsAndDestinations) {
    const std::vector<std::uint8_t> buffer = counting(256);
    struct Case {
        std::uint32_t length, start, count;
        std::size_t rows;
        const char* first_offset;
    };
    const Case cases[] = {
        {256, 0, 263, 16, "000000: "},  // sense data asking for 0xFF + 8 bytes
        {256, 256, 16, 0, ""},          // start at the end: nothing left
        {256, 300, 16, 1, "000000: "},  // start beyond the end restarts at 0
        {40, 0, 40, 3, "000000: "},     // log data: 16 + 16 + 8
        {256, 0xF0, 0xFFFFFFFF, 1, "0000F0: "},
        {256, 8, 0, 16, "000008: "},    // count 0: the rest of the buffer
    };
    for (const Case& c : cases) {
        reset();
        EXPECT_EQ(frontend::dump_buffer(nullptr, buffer.data(), c.length, c.start, c.count), 0);
        const std::string text = console();
        std::size_t rows = 0;
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++rows;
        EXPECT_EQ(rows, c.rows) << c.start << " " << c.count;
        EXPECT_EQ(text.substr(0, 8), c.first_offset);
        EXPECT_EQ(text.size(), c.rows * 81);  // 79 characters and CR LF
    }
}

TEST_F(DumpTest, NullDestinationAlsoReachesLayerLogAGivenStreamGetsItAlone) {
    const std::vector<std::uint8_t> buffer = counting(4);
    const std::string row =
        "000000: 00 01 02 03 " + BLANK_FIELDS_AFTER_FIRST_GROUP + " ....            \r\n";
    std::FILE* log = std::tmpfile();
    frontend::channels.layer_log_stream = log;
    EXPECT_EQ(frontend::dump_buffer(nullptr, buffer.data(), 4, 0, 4), 0);
    EXPECT_EQ(console(), row);
    EXPECT_EQ(stream_text(log), row);

    std::FILE* given = std::tmpfile();
    EXPECT_EQ(frontend::dump_buffer(given, buffer.data(), 4, 0, 4), 0);
    EXPECT_EQ(stream_text(given), row);
    EXPECT_EQ(console(), row);
    std::fclose(given);
    std::fclose(log);
}

TEST_F(DumpTest, MissingBufferIsRefusedOnConsoleAndLayerLog) {
    const std::uint8_t byte = 0;
    const std::string message = "ERROR: NULL buffer or zero buffer length (buffer not dumped)\r\n";
    std::FILE* log = std::tmpfile();
    std::FILE* given = std::tmpfile();
    frontend::channels.layer_log_stream = log;
    EXPECT_EQ(frontend::dump_buffer(given, nullptr, 16, 0, 16), -1);
    EXPECT_EQ(frontend::dump_buffer(nullptr, &byte, 0, 0, 16), -1);
    EXPECT_EQ(console(), message + message);
    EXPECT_EQ(stream_text(log), message + message);
    EXPECT_EQ(stream_text(given), "");
    std::fclose(given);
    std::fclose(log);
}

}  // namespace
}  // namespace zv::test
