// The least a tape test can do on the virtual bus: the same WRITE(6) and
// READ(6) sequence zvtape sends, through the same port driver, to the same
// emulated drive, with one memcmp per read and nothing else. zvbench compares
// zvtape's rates with this program's.
//
//   zvbench_baseline VBUS_FILE TRANSFER_LENGTH MEGABYTES null|random [ITERATIONS]
//
// Each iteration writes two filemarks and the data, rewinds, spaces over the
// filemarks, reads and compares, and rewinds, as zvtape does. Prints two
// lines per iteration, "write NS MB" and "read NS MB": the nanoseconds the
// data commands of the phase took (timed from before the first to after the
// last, like zvtape's "total time taken") and the MB they moved.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "emulator/virtual_bus.h"
#include "scsi/port.h"
#include "tape/patterns.h"

namespace {

constexpr std::uint32_t BLOCK_SIZE = 0x400;  // zvtape's default logical block size
constexpr std::uint64_t MB = 1048576;

zv::port::PortDriver* port = nullptr;
zv::port::Handle handle = zv::port::INVALID_HANDLE;
zv::port::PassThroughRequest request;

bool send(const std::uint8_t (&cdb)[6], zv::port::Direction direction, void* buffer, std::uint32_t length) {
    std::memcpy(request.cdb, cdb, 6);
    request.cdb_length = 6;
    request.direction = direction;
    request.data_buffer = buffer;
    request.data_transfer_length = length;
    request.sense_info_length = zv::port::SENSE_CAPACITY;
    request.scsi_status = 0;
    std::uint32_t error_code = 0;
    return port->pass_through(handle, request, error_code) && request.scsi_status == 0;
}

bool fail(const char* what) {
    std::fprintf(stderr, "zvbench_baseline: %s failed\n", what);
    return false;
}

std::int64_t now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: zvbench_baseline VBUS_FILE TRANSFER_LENGTH MEGABYTES null|random [ITERATIONS]\n");
        return 2;
    }
    const std::uint32_t length = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 0));
    const std::uint64_t megabytes = std::strtoull(argv[3], nullptr, 0);
    const bool random = std::strcmp(argv[4], "random") == 0;
    const unsigned long iterations = argc == 6 ? std::strtoul(argv[5], nullptr, 0) : 1;
    if (length == 0 || length % BLOCK_SIZE != 0 || length / BLOCK_SIZE > 0xFFFFFF) {
        std::fprintf(stderr, "zvbench_baseline: the transfer length must be a whole number of 1024-byte blocks\n");
        return 2;
    }

    std::string error;
    std::unique_ptr<zv::port::PortDriver> bus = zv::emulator::load_virtual_bus(argv[1], error);
    if (!bus) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    port = bus.get();
    std::uint32_t error_code = 0;
    handle = port->open("\\\\.\\Scsi0:", error_code);
    if (handle == zv::port::INVALID_HANDLE) return fail("open"), 1;
    request.path_id = 0;
    request.target_id = 2;
    request.lun = 0;

    // The buffers as zvtape allocates and fills them (calloc, same generator).
    std::uint8_t* pattern = nullptr;
    std::uint8_t* read_data = nullptr;
    if (zv::tape::allocate_buffer(pattern, length) != 0 || zv::tape::allocate_buffer(read_data, length) != 0)
        return fail("allocation"), 1;
    if (random) zv::tape::randomize_buffer(0, pattern, length, 0, length);

    // Fixed blocks of 1024, as zvtape sets them before its first iteration.
    const std::uint32_t blocks = length / BLOCK_SIZE;
    std::uint8_t mode[12] = {0, 0, 0x10, 8, 0, 0, 0, 0, 0, 0, BLOCK_SIZE >> 8, 0};
    const std::uint8_t mode_select[6] = {0x15, 0x10, 0, 0, sizeof mode, 0};
    const std::uint8_t rewind[6] = {0x01, 0, 0, 0, 0, 0};
    const std::uint8_t filemarks[6] = {0x10, 0, 0, 0, 2, 0};
    const std::uint8_t space[6] = {0x11, 0x01, 0, 0, 2, 0};
    const std::uint8_t write[6] = {0x0A, 0x01, static_cast<std::uint8_t>(blocks >> 16),
                                   static_cast<std::uint8_t>(blocks >> 8), static_cast<std::uint8_t>(blocks), 0};
    const std::uint8_t read[6] = {0x08, 0x01, write[2], write[3], write[4], 0};
    if (!send(rewind, zv::port::Direction::in, nullptr, 0)) return fail("REWIND"), 1;
    if (!send(mode_select, zv::port::Direction::out, mode, sizeof mode)) return fail("MODE SELECT"), 1;

    const std::uint64_t commands = megabytes * MB / length;
    const double moved_mb = static_cast<double>(commands * length) / MB;
    for (unsigned long iteration = 0; iteration < iterations; ++iteration) {
        if (!send(filemarks, zv::port::Direction::in, nullptr, 0)) return fail("WRITE FILEMARKS"), 1;
        std::int64_t start = now_ns();
        for (std::uint64_t i = 0; i < commands; ++i)
            if (!send(write, zv::port::Direction::out, pattern, length)) return fail("WRITE(6)"), 1;
        const std::int64_t write_ns = now_ns() - start;

        if (!send(rewind, zv::port::Direction::in, nullptr, 0)) return fail("REWIND"), 1;
        if (!send(space, zv::port::Direction::in, nullptr, 0)) return fail("SPACE"), 1;
        start = now_ns();
        for (std::uint64_t i = 0; i < commands; ++i) {
            if (!send(read, zv::port::Direction::in, read_data, length)) return fail("READ(6)"), 1;
            if (std::memcmp(read_data, pattern, length) != 0) return fail("compare"), 1;
        }
        const std::int64_t read_ns = now_ns() - start;
        if (!send(rewind, zv::port::Direction::in, nullptr, 0)) return fail("REWIND"), 1;
        // Printed after the phases, outside their timing.
        std::printf("write %lld %.6f\nread %lld %.6f\n", static_cast<long long>(write_ns), moved_mb,
                    static_cast<long long>(read_ns), moved_mb);
    }

    zv::tape::free_buffer(pattern, length);
    zv::tape::free_buffer(read_data, length);
    port->close(handle, error_code);
    return 0;
}
