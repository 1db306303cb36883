// dump_buffer's arguments: buffer length, start and count from the first 12
// bytes, the buffer from the rest. The dump goes to a memory stream and must
// have the documented shape: rows of 79 characters plus CR LF.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/dump.h"
#include "fuzz/harness.h"

namespace {

std::uint32_t take32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    zv::fuzz::enter_scratch_directory(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 12) return 0;
    zv::fuzz::reset_process_state();
    const std::uint32_t start = take32(data + 4);
    const std::uint32_t count = take32(data + 8);
    // The length may claim less than the bytes there are, never more: the
    // function cannot know a buffer's true size. The top two bits set ask for
    // a missing buffer with a length, which must be refused.
    const std::uint32_t raw = take32(data);
    const std::size_t available = size - 12;
    const bool missing = (raw >> 30) == 3;
    const std::uint32_t length =
        missing ? (raw & 0xFFFF) : raw % (static_cast<std::uint32_t>(available) + 1);
    // An exact-size heap copy lets the address sanitizer see every overrun.
    std::uint8_t* buffer = nullptr;
    if (!missing) {
        buffer = static_cast<std::uint8_t*>(std::malloc(length > 0 ? length : 1));
        if (length > 0) std::memcpy(buffer, data + 12, length);
    }

    char* text = nullptr;
    std::size_t text_size = 0;
    std::FILE* stream = open_memstream(&text, &text_size);
    if (stream == nullptr) std::abort();
    const int result = zv::frontend::dump_buffer(stream, buffer, length, start, count);
    std::fclose(stream);

    if (buffer == nullptr || length == 0) {
        if (result != -1 || text_size != 0) __builtin_trap();
    } else {
        const std::uint32_t first = start > length ? 0 : start;
        const std::uint32_t shown =
            (count == 0 || std::uint64_t(first) + count > length) ? length - first : count;
        const std::size_t rows = shown / 16 + (shown % 16 != 0 ? 1 : 0);
        if (result != 0 || text_size != rows * 81) __builtin_trap();
        for (std::size_t row = 0; row < rows; ++row) {
            if (text[row * 81 + 79] != '\r' || text[row * 81 + 80] != '\n') __builtin_trap();
        }
    }
    std::free(text);
    std::free(buffer);
    return 0;
}
