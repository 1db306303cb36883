// What a virtual bus description file says, as plain records; the parser
// checks everything, so the bus can trust these values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zv::emulator {

enum class FaultAction : std::uint8_t { status, call_fails, corrupt_byte, short_read };

struct FaultConfig {
    bool by_opcode = false;
    std::uint8_t opcode = 0;
    std::uint64_t at = 0;     // 1-based number of the first matching command
    std::uint64_t count = 1;  // matching commands in a row; 0 = all from `at` on
    FaultAction action = FaultAction::status;
    // status
    std::uint8_t status = 0;
    bool has_sense = false;
    std::uint8_t sense_key = 0;
    std::uint8_t asc = 0;
    std::uint8_t ascq = 0;
    std::uint8_t sense_flags = 0;  // 80h FMK, 40h EOM, 20h ILI
    bool has_info = false;
    std::uint32_t info = 0;
    // call_fails
    std::uint32_t error_code = 0;
    // corrupt_byte
    std::uint32_t byte_offset = 0;
    std::uint8_t xor_value = 0xFF;
    // short_read
    std::uint32_t short_bytes = 0;
};

constexpr std::uint64_t MB = 1048576;
constexpr std::uint64_t KB = 1024;

struct TapeOptions {
    bool loaded = true;
    bool write_protected = false;
    bool load_unload_supported = true;
    bool prevent_allow_supported = true;
    std::uint64_t capacity_bytes = 4096 * MB;
    bool early_warning_given = false;
    std::uint64_t early_warning_bytes = 0;  // from the beginning of the tape
    std::uint32_t min_block = 1;
    std::uint32_t max_block = 0xFFFFFF;
    std::uint32_t block_size = 0;
    std::uint8_t density = 0;
    bool densities_restricted = false;
    std::vector<std::uint8_t> densities;
    bool mode_sense_header_only = false;
    std::uint32_t becoming_ready = 0;
    bool load_no_medium = false;
    std::uint32_t load_no_medium_turs = 0;
    std::uint32_t compression_milli = 1000;  // ratio x 1000
    std::uint32_t rwr_permille = 0;
    std::uint32_t ecc_permille = 0;
    std::uint32_t rw_retries = 0;
    std::uint32_t tracking_retries = 0;
};

constexpr std::uint8_t TYPE_DISK = 0x00;
constexpr std::uint8_t TYPE_TAPE = 0x01;
constexpr std::uint8_t TYPE_PROCESSOR = 0x03;
constexpr std::uint8_t TYPE_CHANGER = 0x08;

struct DeviceConfig {
    std::uint8_t adapter = 0;
    std::uint8_t bus = 0;
    std::uint8_t target = 0;
    std::uint8_t lun = 0;
    std::uint8_t type = TYPE_TAPE;
    std::uint8_t qualifier = 0;
    std::string vendor = "ZENTROVA";
    std::string product;  // empty: a default by type
    std::string revision = "1.00";
    bool claimed = false;
    int tape_device = -1;  // -1: none
    bool tape_device_in_use = false;
    bool address_fails = false;
    bool unit_attention = false;
    std::uint32_t delay_ms = 0;
    std::uint32_t speed_mbps = 0;  // 0: no cap
    TapeOptions tape;
    std::vector<FaultConfig> faults;
};

struct BusConfig {
    std::uint8_t initiator = 7;
};

struct AdapterConfig {
    std::uint8_t number = 0;
    bool in_use = false;
    bool inquiry_fails = false;
    bool close_fails = false;
    std::vector<BusConfig> buses;
};

struct BusDescription {
    std::vector<AdapterConfig> adapters;
    std::vector<DeviceConfig> devices;
};

// Parses a description; false with error = "NAME:LINE: what is wrong".
bool parse_description(const std::string& text, const std::string& name, BusDescription& description,
                       std::string& error);

}  // namespace zv::emulator
