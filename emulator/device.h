// An emulated SCSI device: what every device shares (INQUIRY data, unit
// attention, pending sense, injected faults, delay and speed cap) and the
// simple devices that only answer INQUIRY, TEST UNIT READY and REQUEST SENSE.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "emulator/description.h"
#include "scsi/port.h"

namespace zv::emulator {

// Sense keys, status bytes and sense flags used by the devices.
constexpr std::uint8_t STATUS_GOOD = 0x00;
constexpr std::uint8_t STATUS_CHECK_CONDITION = 0x02;
constexpr std::uint8_t KEY_NO_SENSE = 0x0;
constexpr std::uint8_t KEY_NOT_READY = 0x2;
constexpr std::uint8_t KEY_ILLEGAL_REQUEST = 0x5;
constexpr std::uint8_t KEY_UNIT_ATTENTION = 0x6;
constexpr std::uint8_t KEY_DATA_PROTECT = 0x7;
constexpr std::uint8_t KEY_BLANK_CHECK = 0x8;
constexpr std::uint8_t KEY_VOLUME_OVERFLOW = 0xD;
constexpr std::uint8_t FLAG_FMK = 0x80;
constexpr std::uint8_t FLAG_EOM = 0x40;
constexpr std::uint8_t FLAG_ILI = 0x20;

constexpr std::uint32_t ERROR_INVALID_FUNCTION = 1;
using port::ERROR_INVALID_HANDLE;
using port::ERROR_INVALID_PARAMETER;
constexpr std::uint32_t ERROR_IO_DEVICE = 1117;
constexpr std::uint32_t ERROR_DEVICE_NOT_CONNECTED = 1167;

constexpr std::uint32_t AUTO_SENSE_LENGTH = 18;
constexpr std::uint32_t REQUEST_SENSE_LENGTH = 28;

struct Sense {
    bool present = false;
    std::uint8_t key = 0;
    std::uint8_t flags = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    bool valid = false;
    std::uint32_t info = 0;
};

// One command on its way through a device.
struct Command {
    const std::uint8_t* cdb = nullptr;
    std::uint8_t* data = nullptr;
    std::uint32_t length = 0;  // bytes the caller's buffer offers
    std::uint32_t moved = 0;
    std::uint8_t status = STATUS_GOOD;
    Sense sense;
    Sense pending;  // sense the previous command left, for REQUEST SENSE
    bool call_failed = false;
    std::uint32_t error_code = 0;

    void check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq, std::uint8_t flags = 0, bool valid = false,
               std::uint32_t info = 0) {
        status = STATUS_CHECK_CONDITION;
        sense = Sense{true, key, flags, asc, ascq, valid, info};
    }
    void fail_call(std::uint32_t code) {
        call_failed = true;
        error_code = code;
    }
    // Copies a response cut to the allocation length and the buffer.
    void respond(const std::uint8_t* bytes, std::uint32_t size, std::uint32_t allocation);
};

// Writes fixed-format sense data (70h) of `size` bytes (18 or more).
void build_sense(const Sense& sense, std::uint8_t* out, std::uint32_t size);
// Fills a request's auto-sense, cut to the capacity its sense_info_length
// offers; sense_info_length then holds the bytes returned.
void put_auto_sense(port::PassThroughRequest& request, const Sense& sense);
using port::is_data_out_opcode;
// Standard INQUIRY data, 36 bytes.
void build_inquiry(const DeviceConfig& config, std::uint8_t* out);

class Device {
public:
    explicit Device(const DeviceConfig& config);
    virtual ~Device() = default;

    const DeviceConfig& config() const { return config_; }
    // Runs one CDB; false with error_code when the call itself fails.
    bool execute(port::PassThroughRequest& request, std::uint32_t& error_code);

protected:
    virtual void run(Command& command) = 0;
    // INQUIRY, REQUEST SENSE and TEST UNIT READY as a device without medium.
    bool run_common(Command& command);
    virtual void fill_vendor_sense(std::uint8_t*) {}

    DeviceConfig config_;

private:
    const FaultConfig* matching_fault(std::uint8_t opcode);
    void pace(std::chrono::steady_clock::time_point start, std::uint32_t bytes);

    bool unit_attention_pending_ = false;
    Sense pending_;
    std::uint64_t command_count_ = 0;
    std::vector<std::uint64_t> opcode_counts_;
    std::vector<std::uint8_t> saved_tail_;  // for short reads
    std::chrono::steady_clock::time_point next_free_{};
};

class SimpleDevice : public Device {
public:
    using Device::Device;

protected:
    void run(Command& command) override;
};

// Sleeps for the duration in slices of at most 50 ms; a signal ends it early.
void sleep_for(std::chrono::nanoseconds duration);

}  // namespace zv::emulator
