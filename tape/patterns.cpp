#include "tape/patterns.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/options.h"
#include "frontend/output.h"

namespace zv::tape {

using frontend::channels;
using frontend::print_to_streams;
using frontend::settings;

DataBuffer data_buffers;

namespace {

constexpr std::int16_t RANDOM_SEED = 0;

// One generator state for the whole program.
std::uint32_t random_state = 0;

void seed_random(std::int16_t seed) { random_state = static_cast<std::uint32_t>(static_cast<std::int32_t>(seed)); }

std::uint32_t next_random() {
    random_state = random_state * 214013u + 2531011u;
    return (random_state >> 16) & 0x7FFFu;
}

}  // namespace

int allocate_buffer(std::uint8_t*& buffer, std::uint32_t size) {
    // Asked for as count x element size with a count below 65536: 0x10000
    // bytes become 32768 elements of 2 bytes.
    std::uint32_t count = size;
    std::uint32_t element_size = 1;
    while (count >= 65536) {
        count = count / 2 + count % 2;
        element_size *= 2;
    }
    buffer = static_cast<std::uint8_t*>(std::calloc(count, element_size));
    return buffer != nullptr ? 0 : -1;
}

void free_buffer(std::uint8_t*& buffer, std::uint32_t) {
    if (buffer == nullptr) return;
    std::free(buffer);
    buffer = nullptr;
}

int allocate_data_buffers() {
    const std::uint32_t length = settings.max_transfer_length;
    int result = 0;
    if (allocate_buffer(data_buffers.data_buffer_1, length) != 0) {
        print_to_streams(channels.console, channels.output_file,
                         "ERROR: unable to allocate data buffer 1 (0x%lX bytes)\r\n",
                         static_cast<unsigned long>(length));
        result = -1;
    } else if (allocate_buffer(data_buffers.data_buffer_2, length) != 0) {
        free_buffer(data_buffers.data_buffer_1, length);
        print_to_streams(channels.console, channels.output_file,
                         "ERROR: unable to allocate data buffer 2 (0x%lX bytes)\r\n",
                         static_cast<unsigned long>(length));
        result = -1;
    }
    frontend::flush_report_files();
    return result;
}

int set_data_pattern() {
    const std::uint32_t length = settings.max_transfer_length;
    const std::uint32_t block = settings.logical_block_size;
    std::uint8_t* buffer = data_buffers.data_buffer_1;
    int result = 0;

    switch (settings.data_pattern) {
    case frontend::PATTERN_RANDOM:
        if (settings.random_repeat && block > 0) {
            print_to_streams(channels.console, channels.output_file,
                             "setting pseudo-random data pattern (seed = %d; repeat every 0x%lX bytes)\r\n",
                             static_cast<int>(RANDOM_SEED), static_cast<unsigned long>(block));
            result = randomize_buffer(RANDOM_SEED, buffer, length, 0, block);
            if (result == 0) {
                for (std::uint32_t offset = block; offset < length; offset += block) {
                    const std::uint32_t piece = length - offset < block ? length - offset : block;
                    std::memcpy(buffer + offset, buffer, piece);
                }
            }
        } else {
            print_to_streams(channels.console, channels.output_file,
                             "setting pseudo-random data pattern (seed = %d)\r\n", static_cast<int>(RANDOM_SEED));
            result = randomize_buffer(RANDOM_SEED, buffer, length, 0, length);
        }
        break;
    case frontend::PATTERN_USER_FILE: {
        print_to_streams(channels.console, channels.output_file,
                         "setting user-defined data pattern (input file = \"%s\")\r\n",
                         settings.pattern_file_name.c_str());
        std::uint32_t count = length;
        result = load_buffer_from_file(settings.pattern_file_name.c_str(), buffer, length, count);
        break;
    }
    default:
        // The buffer keeps the zeros of its allocation.
        print_to_streams(channels.console, channels.output_file, "setting null data pattern\r\n");
        break;
    }
    frontend::flush_report_files();
    return result;
}

int randomize_buffer(std::int16_t seed, std::uint8_t* buffer, std::uint32_t buffer_length, std::uint32_t offset,
                     std::uint32_t count) {
    if (buffer == nullptr || buffer_length == 0) {
        print_to_streams(channels.console, channels.output_file,
                         "ERROR: NULL buffer or zero buffer length (buffer not randomized)\r\n");
        return -1;
    }
    if (offset > buffer_length) offset = 0;
    std::uint64_t end = static_cast<std::uint64_t>(offset) + count;
    if (count == 0 || end > buffer_length) end = buffer_length;
    seed_random(seed);
    for (std::uint64_t position = offset; position < end; ++position) {
        buffer[position] = static_cast<std::uint8_t>(next_random());
    }
    return 0;
}

int load_buffer_from_file(const char* file_name, std::uint8_t* buffer, std::uint32_t buffer_length,
                          std::uint32_t& count) {
    if (file_name == nullptr || buffer == nullptr || buffer_length == 0) {
        print_to_streams(channels.console, nullptr,
                         "ERROR: no file name, NULL buffer, or zero buffer length (buffer not loaded)\r\n");
        return -1;
    }
    if (count == 0 || count > buffer_length) count = buffer_length;

    std::FILE* file = std::fopen(file_name, "rb");
    std::size_t stored = 0;
    if (file != nullptr) {
        stored = std::fread(buffer, 1, count, file);
        std::fclose(file);
    }
    // An empty file has no byte to repeat: refused like one that cannot be
    // opened, rather than filling the buffer with a made-up value.
    if (stored == 0) {
        print_to_streams(channels.console, nullptr, "ERROR: cannot open \"%s\" for input\r\n", file_name);
        return -1;
    }
    // A short file repeats from its first byte; each copy doubles what is
    // already in place.
    while (stored < count) {
        const std::size_t piece = stored < count - stored ? stored : count - stored;
        std::memcpy(buffer + stored, buffer, piece);
        stored += piece;
    }
    return 0;
}

std::uint32_t compare_buffers(const std::uint8_t* read_data, const std::uint8_t* expected, std::uint32_t length) {
    if (std::memcmp(read_data, expected, length) == 0) return BUFFERS_EQUAL;
    for (std::uint32_t offset = 0; offset < length; ++offset) {
        if (read_data[offset] != expected[offset]) return offset;
    }
    return BUFFERS_EQUAL;
}

}  // namespace zv::tape
