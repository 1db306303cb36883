#include "frontend/dump.h"

#include "frontend/output.h"

namespace zv::frontend {

namespace {

constexpr std::uint32_t ROW_BYTES = 16;

bool printable(std::uint8_t byte) { return (byte >= 0x20 && byte <= 0x7E) || (byte >= 0xA0 && byte <= 0xFE); }

}  // namespace

int dump_buffer(std::FILE* destination, const std::uint8_t* buffer, std::uint32_t buffer_length,
                std::uint32_t start, std::uint32_t count) {
    if (buffer == nullptr || buffer_length == 0) {
        print_to_streams(channels.console, channels.layer_log_stream,
                         "ERROR: NULL buffer or zero buffer length (buffer not dumped)\r\n");
        return -1;
    }

    std::FILE* first = destination != nullptr ? destination : channels.console;
    std::FILE* second = destination != nullptr ? nullptr : channels.layer_log_stream;

    // Out-of-range requests are narrowed to what the buffer holds.
    if (start > buffer_length) start = 0;
    if (count == 0 || static_cast<std::uint64_t>(start) + count > buffer_length) count = buffer_length - start;

    const std::uint32_t rows = count / ROW_BYTES + (count % ROW_BYTES != 0 ? 1 : 0);
    for (std::uint32_t row = 0; row < rows; ++row) {
        print_to_streams(first, second, "%06lX: ", static_cast<unsigned long>(start + ROW_BYTES * row));
        char text[ROW_BYTES + 1];
        for (std::uint32_t column = 0; column < ROW_BYTES; ++column) {
            const std::uint32_t position = ROW_BYTES * row + column + 1;
            const bool separator = column == 4 || column == 8 || column == 12;
            if (position <= count) {
                const std::uint8_t byte = buffer[start + position - 1];
                if (separator) print_to_streams(first, second, "| ");
                print_to_streams(first, second, "%02x ", static_cast<unsigned>(byte));
                text[column] = printable(byte) ? static_cast<char>(byte) : '.';
            } else {
                if (separator) print_to_streams(first, second, "  ");
                print_to_streams(first, second, "   ");
                text[column] = ' ';
            }
        }
        text[ROW_BYTES] = '\0';
        print_to_streams(first, second, " %s\r\n", text);
    }
    return 0;
}

}  // namespace zv::frontend
