// The command layer's state, pass-through execution and the command log.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>

#include "scsi/port.h"

namespace zv::scsi {

constexpr std::uint8_t SRB_OK = 0x00;
constexpr std::uint8_t SRB_NO_DEVICE_HANDLE = 0x11;
constexpr std::uint8_t SRB_CALL_FAILED = 0xFF;

constexpr int MAX_ACCESSIBLE_DEVICES = 64;
constexpr std::uint32_t SENSE_DATA_SIZE = 256;
constexpr std::uint32_t INQUIRY_DATA_SIZE = 256;
constexpr std::uint32_t MODE_DATA_SIZE = 256;
constexpr std::uint32_t READ_POSITION_DATA_SIZE = 20;
constexpr std::uint32_t LOG_DATA_SIZE = 40;

struct TargetAddress {
    std::uint8_t adapter = 0;
    std::uint8_t bus = 0;
    std::uint8_t tid = 2;
    std::uint8_t lun = 0;
};

struct CommandOutcome {
    std::uint8_t srb_status = 0;
    std::uint32_t error_code = 0;
    std::uint8_t target_status = 0;
    std::uint8_t sense_key_byte = 0;
    std::uint32_t true_transfer_length = 0;
};

// AdapterHandleInfo and TapeHandleInfo: a device name and its cached handle.
struct HandleInfo {
    char device_name[32] = {};
    port::Handle handle = port::INVALID_HANDLE;
    std::int32_t usage_score = 0;
};
using AdapterHandleInfo = HandleInfo;
using TapeHandleInfo = HandleInfo;

struct AccessibleDevice {
    std::uint8_t adapter = 0;
    std::uint8_t bus = 0;
    std::uint8_t tid = 0;
    std::uint8_t lun = 0;
    HandleInfo* handle_info = nullptr;  // shared by all unclaimed devices of an adapter
};

struct ScsiLayerState {
    std::FILE* cdb_list_stream = nullptr;
    TargetAddress current_target;
    std::uint8_t lun_bits = 0;
    std::uint8_t fixed_bit = 1;
    std::uint32_t data_transfer_length = 0;
    CommandOutcome outcome;
    std::uint8_t open_handle_count = 0;
    std::uint8_t device_count = 0;
    // Data structures allocated by allocate_data_structures (null before).
    std::uint8_t* sense_data = nullptr;          // 256
    std::uint8_t* inquiry_data = nullptr;        // 256
    std::uint8_t* mode_data = nullptr;           // 256
    std::uint8_t* read_position_data = nullptr;  // 20
    std::uint8_t* log_data = nullptr;            // 40
    std::uint8_t* no_data_buffer = nullptr;      // 1
    // Last: every command reads the fields above, which then share its first
    // cache lines.
    AccessibleDevice devices[MAX_ACCESSIBLE_DEVICES];
};

extern ScsiLayerState layer;

// Sends one CDB to current_target and fills layer.outcome. Prints nothing.
void execute_cdb(void* data_buffer, std::uint8_t cdb_length, const std::uint8_t* cdb);
port::Handle get_device_handle();
// Closes the table's open handles and forgets the table (before a new scan).
void release_device_table();
void release_scsi_layer();

void set_cdb_list_file(std::FILE* stream);
void set_fixed_bit(std::uint8_t bit);
int set_target_lun(std::uint8_t lun);
int set_target_scsi_id(std::uint8_t id);
int set_host_adapter_number(std::uint8_t adapter);
int set_bus_number(std::uint8_t bus);

// A command succeeded when both statuses are 0.
inline bool command_failed() { return layer.outcome.srb_status != 0 || layer.outcome.target_status != 0; }

// Sense keys and bits the tape routines act on.
constexpr std::uint8_t SENSE_KEY_NO_SENSE = 0x0;
constexpr std::uint8_t SENSE_KEY_NOT_READY = 0x2;
constexpr std::uint8_t SENSE_KEY_ILLEGAL_REQUEST = 0x5;
constexpr std::uint8_t SENSE_KEY_BLANK_CHECK = 0x8;

// The last command's sense: key, additional sense code and qualifier.
inline bool sense_is(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    const std::uint8_t* sense = layer.sense_data;
    return sense != nullptr && (sense[2] & 0x0F) == key && sense[12] == asc && sense[13] == ascq;
}

// The last command stopped at early warning: NO SENSE with the EOM bit.
inline bool hit_end_of_medium() {
    const std::uint8_t key_byte = layer.outcome.sense_key_byte;
    return (key_byte & 0x0F) == SENSE_KEY_NO_SENSE && (key_byte & 0x40) != 0;
}

// The last command found no more data (BLANK CHECK).
inline bool hit_blank_check() { return (layer.outcome.sense_key_byte & 0x0F) == SENSE_KEY_BLANK_CHECK; }

// Break handling. The signal handler only records the interrupt (and ignores
// further SIGINTs); the main flow calls poll_interrupt() after every command
// and inside every wait, which runs the program's break handler when a
// Ctrl-C has arrived.
extern volatile std::sig_atomic_t interrupt_pending;
using BreakHandler = void (*)(int);
void install_break_handler(BreakHandler handler);  // null: none
void run_break_handler();                           // slow path of poll_interrupt
inline void poll_interrupt() {
    if (interrupt_pending) run_break_handler();
}

}  // namespace zv::scsi
