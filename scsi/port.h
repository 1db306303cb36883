// The port driver interface: the only way either program reaches a SCSI
// device. Two implementations: the Linux SCSI generic layer for real drives
// and the virtual SCSI bus of emulator/. Callers never know which one runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv::port {

using Handle = std::intptr_t;
constexpr Handle INVALID_HANDLE = -1;

// Error codes shared by every implementation (the status report prints them).
constexpr std::uint32_t ERROR_NONE = 0;
constexpr std::uint32_t ERROR_NOT_FOUND = 2;         // no such adapter or tape device
constexpr std::uint32_t ERROR_INVALID_HANDLE = 6;
constexpr std::uint32_t ERROR_IN_USE = 32;           // held by another process
constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;  // a request that cannot be sent as given

constexpr std::uint32_t PASS_THROUGH_TIMEOUT_SECONDS = 108000;  // 30 hours
constexpr std::uint8_t SENSE_CAPACITY = 255;

enum class Direction : std::uint8_t { in, out };

// The opcodes whose data goes from the host to the device; every other
// command is sent as data in, including those that move no data at all.
constexpr bool is_data_out_opcode(std::uint8_t opcode) {
    switch (opcode) {
    case 0x0A: case 0x13: case 0x15: case 0x1D: case 0x2A: case 0x2E: case 0x2F: case 0x3B:
    case 0x3F: case 0x4C: case 0x55: case 0xAA: case 0xAE: case 0xAF: case 0xB6:
        return true;
    default:
        return false;
    }
}

// One device as an adapter lists it.
struct InquiryRecord {
    std::uint8_t path_id = 0;
    std::uint8_t target_id = 0;
    std::uint8_t lun = 0;
    bool claimed = false;             // an upper-level (class) driver owns it
    std::uint8_t inquiry[36] = {};   // standard INQUIRY data, first 36 bytes
};

struct BusInquiry {
    std::uint8_t initiator_id = 0;
    std::vector<InquiryRecord> devices;  // in the adapter's order
};

struct AdapterInquiry {
    std::vector<BusInquiry> buses;
};

struct ScsiAddress {
    std::uint8_t adapter = 0;  // port number
    std::uint8_t bus = 0;      // path id
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
};

// One CDB, submitted synchronously. Data moves directly in data_buffer.
struct PassThroughRequest {
    // in
    std::uint8_t path_id = 0;
    std::uint8_t target_id = 0;
    std::uint8_t lun = 0;
    std::uint8_t cdb_length = 0;
    std::uint8_t cdb[16] = {};
    Direction direction = Direction::in;
    std::uint32_t data_transfer_length = 0;  // in: length asked; out: count moved
    std::uint32_t timeout_seconds = PASS_THROUGH_TIMEOUT_SECONDS;
    void* data_buffer = nullptr;
    std::uint8_t sense_info_length = SENSE_CAPACITY;  // in: capacity; out: bytes returned
    // out
    std::uint8_t scsi_status = 0;
    std::uint8_t sense[256];  // the first sense_info_length bytes are valid after the call
};

class PortDriver {
public:
    virtual ~PortDriver() = default;

    // Opens "\\.\ScsiN:" (adapter N) or "\\.\TapeN" (tape device N)
    // exclusively. INVALID_HANDLE with error_code set on failure.
    virtual Handle open(const char* device_name, std::uint32_t& error_code) = 0;
    virtual bool close(Handle handle, std::uint32_t& error_code) = 0;
    // The devices an adapter handle reports, bus by bus.
    virtual bool get_inquiry_data(Handle adapter, AdapterInquiry& data, std::uint32_t& error_code) = 0;
    // The SCSI address of a tape device handle.
    virtual bool get_address(Handle tape, ScsiAddress& address, std::uint32_t& error_code) = 0;
    // False with error_code when the call itself failed (nothing trustworthy
    // came back); true when the device answered, whatever its status.
    virtual bool pass_through(Handle handle, PassThroughRequest& request, std::uint32_t& error_code) = 0;
    // The implementation's text for an error code, or empty when it has none.
    virtual std::string error_text(std::uint32_t error_code) = 0;
};

// The implementation in use for this process (set once by the program entry).
PortDriver* active_port();
void set_active_port(PortDriver* port);

}  // namespace zv::port
