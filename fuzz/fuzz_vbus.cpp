// The virtual bus description loader, then the bus itself. Input: the
// description text, and after a NUL byte a stream of commands that go to the
// described devices through the port driver interface:
//   device selector, CDB (6 or 10 bytes), buffer length (2 bytes), flags.
// Devices with a delay or a speed cap are left out of the command stream, and
// WRITE FILEMARKS counts are kept small, so that an input costs neither
// minutes nor gigabytes (one filemark entry per filemark is by design).
#include <cstring>
#include <string>
#include <vector>

#include "emulator/description.h"
#include "emulator/virtual_bus.h"
#include "fuzz/harness.h"

namespace {

using zv::port::Handle;

constexpr std::size_t MAX_COMMANDS = 64;
constexpr std::uint32_t MAX_FILEMARKS = 255;
// Opcodes the tape drive knows, so that most commands reach a real path.
constexpr std::uint8_t OPCODES[] = {0x00, 0x01, 0x03, 0x05, 0x08, 0x0A, 0x10, 0x11,
                                    0x12, 0x15, 0x1A, 0x1B, 0x1E, 0x34, 0x4C, 0x4D};

bool is_data_out(std::uint8_t opcode) { return opcode == 0x0A || opcode == 0x15 || opcode == 0x4C; }

std::string adapter_name(unsigned number) { return "\\\\.\\Scsi" + std::to_string(number) + ":"; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    zv::fuzz::enter_scratch_directory(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const void* nul = std::memchr(data, 0, size);
    const std::size_t text_size = nul != nullptr ? static_cast<const std::uint8_t*>(nul) - data : size;
    const std::string text(reinterpret_cast<const char*>(data), text_size);

    std::string error;
    std::unique_ptr<zv::port::PortDriver> bus = zv::emulator::parse_virtual_bus(text, "fuzz.vbus", error);
    if (!bus) {
        // One line naming the file.
        if (error.rfind("fuzz.vbus", 0) != 0 || error.find('\n') != std::string::npos) __builtin_trap();
        return 0;
    }
    zv::emulator::BusDescription description;
    if (!zv::emulator::parse_description(text, "fuzz.vbus", description, error)) __builtin_trap();

    // Every adapter's inquiry data and every tape device's address.
    std::vector<Handle> adapters(256, zv::port::INVALID_HANDLE);
    for (const zv::emulator::AdapterConfig& adapter : description.adapters) {
        std::uint32_t code = 0;
        const Handle handle = bus->open(adapter_name(adapter.number).c_str(), code);
        if (handle == zv::port::INVALID_HANDLE) continue;
        adapters[adapter.number] = handle;
        zv::port::AdapterInquiry inquiry;
        bus->get_inquiry_data(handle, inquiry, code);
    }
    for (const zv::emulator::DeviceConfig& device : description.devices) {
        if (device.tape_device < 0) continue;
        std::uint32_t code = 0;
        const Handle handle = bus->open(("\\\\.\\Tape" + std::to_string(device.tape_device)).c_str(), code);
        if (handle == zv::port::INVALID_HANDLE) continue;
        zv::port::ScsiAddress address;
        if (bus->get_address(handle, address, code) &&
            (address.adapter != device.adapter || address.target != device.target))
            __builtin_trap();
        bus->close(handle, code);
    }

    std::vector<const zv::emulator::DeviceConfig*> targets;
    for (const zv::emulator::DeviceConfig& device : description.devices) {
        if (device.delay_ms == 0 && device.speed_mbps == 0 && adapters[device.adapter] != zv::port::INVALID_HANDLE)
            targets.push_back(&device);
    }

    const std::uint8_t* p = nul != nullptr ? data + text_size + 1 : data + size;
    const std::uint8_t* const end = data + size;
    std::vector<std::uint8_t> buffer;
    for (std::size_t n = 0; n < MAX_COMMANDS && !targets.empty() && end - p >= 14; ++n, p += 14) {
        const zv::emulator::DeviceConfig& device = *targets[p[0] % targets.size()];
        zv::port::PassThroughRequest request;
        request.path_id = device.bus;
        request.target_id = device.target;
        request.lun = device.lun;
        std::memcpy(request.cdb, p + 1, 10);
        const std::uint8_t flags = p[13];
        if (!(flags & 0x80)) request.cdb[0] = OPCODES[request.cdb[0] % sizeof OPCODES];
        const std::uint8_t opcode = request.cdb[0];
        request.cdb_length = (opcode >> 5) == 0 ? 6 : 10;
        if (opcode == 0x10 && ((std::uint32_t(request.cdb[2]) << 16) | (std::uint32_t(request.cdb[3]) << 8) |
                               request.cdb[4]) > MAX_FILEMARKS) {
            request.cdb[2] = 0;
            request.cdb[3] = 0;
        }
        const std::uint32_t length = std::uint32_t(p[11]) | (std::uint32_t(p[12]) << 8);
        request.direction = is_data_out(opcode) != bool(flags & 0x01) ? zv::port::Direction::out
                                                                      : zv::port::Direction::in;
        request.data_transfer_length = length;
        // An exact-size buffer (or none) so that any overrun is seen.
        buffer.assign(length, static_cast<std::uint8_t>(flags));
        request.data_buffer = (length > 0 && !(flags & 0x02)) ? buffer.data() : nullptr;
        request.sense_info_length = (flags & 0x04) ? static_cast<std::uint8_t>(flags & 0x1F) : zv::port::SENSE_CAPACITY;
        const std::uint8_t sense_capacity = request.sense_info_length;
        std::uint32_t code = 0;
        if (bus->pass_through(adapters[device.adapter], request, code)) {
            if (request.data_transfer_length > length || request.sense_info_length > sense_capacity) __builtin_trap();
        }
    }
    for (const Handle handle : adapters) {
        std::uint32_t code = 0;
        if (handle != zv::port::INVALID_HANDLE) bus->close(handle, code);
    }
    return 0;
}
