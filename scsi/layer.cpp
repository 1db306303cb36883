// Pass-through execution, the handle cache, the command log, the target
// settings, break handling and the layer's release.
#include "scsi/layer.h"

#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "frontend/output.h"

namespace zv::scsi {

alignas(64) ScsiLayerState layer;  // its per-command fields in one cache line
volatile std::sig_atomic_t interrupt_pending = 0;

namespace {

BreakHandler program_break_handler = nullptr;

constexpr std::uint8_t REQUEST_SENSE_OPCODE = 0x03;

// One line of the CDB list: " %02x" per byte and CR LF, put by hand into the
// stream's buffer: no printf formatting, and no fwrite call, which costs more
// than the whole line at memory speed. The program has one thread, so the
// unlocked stream functions are safe.
void log_cdb(std::FILE* stream, std::uint8_t cdb_length, const std::uint8_t* cdb) {
    static const char hex[] = "0123456789abcdef";
    for (std::uint8_t i = 0; i < cdb_length; ++i) {
        putc_unlocked(' ', stream);
        putc_unlocked(hex[cdb[i] >> 4], stream);
        putc_unlocked(hex[cdb[i] & 0x0F], stream);
    }
    putc_unlocked('\r', stream);
    putc_unlocked('\n', stream);
}

// The sense structure this layer cleared last and has not written since
// (only execute_cdb and REQUEST SENSE write it). A command without sense
// then leaves it alone: clearing, or even reading, 256 bytes per command
// costs four cache lines that a 64 KiB transfer has just evicted.
const std::uint8_t* cleared_sense_data = nullptr;

void clear_sense_data(std::uint8_t* sense_data) {
    if (sense_data == cleared_sense_data) return;
    std::memset(sense_data, 0, SENSE_DATA_SIZE);
    cleared_sense_data = sense_data;
}

// The adapter, bus, target and LUN bytes lead both records, so an entry and
// the current target compare as one 32-bit value: the handle walk below runs
// on every command.
static_assert(offsetof(AccessibleDevice, adapter) == 0 && offsetof(AccessibleDevice, lun) == 3);
static_assert(offsetof(TargetAddress, adapter) == 0 && offsetof(TargetAddress, lun) == 3);

std::uint32_t address_of(const void* record) {
    std::uint32_t address;
    std::memcpy(&address, record, sizeof address);
    return address;
}

void close_handle(HandleInfo& info) {
    std::uint32_t error_code = 0;
    if (port::PortDriver* port = port::active_port()) port->close(info.handle, error_code);
    info.handle = port::INVALID_HANDLE;
    --layer.open_handle_count;
}

// Opens the handle of info; on failure the open's error code becomes the
// command's error code.
void open_handle(HandleInfo& info) {
    port::PortDriver* port = port::active_port();
    if (port == nullptr) return;
    std::uint32_t error_code = 0;
    info.handle = port->open(info.device_name, error_code);
    if (info.handle == port::INVALID_HANDLE)
        layer.outcome.error_code = error_code;
    else
        ++layer.open_handle_count;
}

// The SIGINT handler: async-signal-safe, it only records the interrupt and
// makes a second Ctrl-C harmless. The main flow acts on it in poll_interrupt.
extern "C" void record_interrupt(int) {
    interrupt_pending = 1;
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, nullptr);
}

void set_sigint_disposition(void (*disposition)(int)) {
    struct sigaction action {};
    action.sa_handler = disposition;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait for a command that the interrupt cut short is not
    // restarted (a restarted pass-through could send the command again); the
    // run ends at the next poll anyway.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
}

// get_device_handle, inlined into execute_cdb.
[[gnu::always_inline]] inline port::Handle find_device_handle() {
    layer.outcome.error_code = port::ERROR_NOT_FOUND;
    const std::uint32_t target = address_of(&layer.current_target);

    // Every entry is visited on every call. The handles of the other targets
    // age first, so a handle shared with them is never closed after it has
    // been picked for this command: it is closed first and opened again.
    for (int i = 0; i < layer.device_count; ++i) {
        AccessibleDevice& device = layer.devices[i];
        HandleInfo* info = device.handle_info;
        if (info == nullptr || info->handle == port::INVALID_HANDLE || address_of(&device) == target) continue;
        if (--info->usage_score < -10) close_handle(*info);
    }

    port::Handle result = port::INVALID_HANDLE;
    for (int i = 0; i < layer.device_count; ++i) {
        AccessibleDevice& device = layer.devices[i];
        HandleInfo* info = device.handle_info;
        if (info == nullptr || address_of(&device) != target) continue;
        if (info->handle == port::INVALID_HANDLE) open_handle(*info);
        if (info->handle == port::INVALID_HANDLE) continue;
        layer.outcome.error_code = 0;
        result = info->handle;
        if (info->usage_score < 100) {
            if (info->usage_score < 0)
                info->usage_score = layer.open_handle_count;
            else
                info->usage_score += layer.open_handle_count;
        }
    }
    return result;
}

}  // namespace

void execute_cdb(void* data_buffer, std::uint8_t cdb_length, const std::uint8_t* cdb) {
    CommandOutcome& outcome = layer.outcome;
    std::uint8_t* const sense_data = layer.sense_data;
    if (cdb_length > 16) cdb_length = 16;

    const port::Handle handle = find_device_handle();
    if (handle == port::INVALID_HANDLE) {
        outcome.srb_status = SRB_NO_DEVICE_HANDLE;
        outcome.target_status = 0;
        outcome.sense_key_byte = 0;
        outcome.true_transfer_length = 0;
        if (sense_data != nullptr) {
            std::memset(sense_data, 0, SENSE_DATA_SIZE);
            cleared_sense_data = sense_data;
        }
        poll_interrupt();
        return;
    }

    port::PassThroughRequest request;
    request.path_id = layer.current_target.bus;
    request.target_id = layer.current_target.tid;
    request.lun = layer.current_target.lun;
    request.cdb_length = cdb_length;
    std::memcpy(request.cdb, cdb, cdb_length);
    request.direction = port::is_data_out_opcode(cdb[0]) ? port::Direction::out : port::Direction::in;
    request.data_transfer_length = layer.data_transfer_length;
    request.timeout_seconds = port::PASS_THROUGH_TIMEOUT_SECONDS;
    request.data_buffer = data_buffer;
    request.sense_info_length = port::SENSE_CAPACITY;
    request.scsi_status = 0;

    // Logged before submission, so a command whose submission fails is in the list.
    if (layer.cdb_list_stream != nullptr) log_cdb(layer.cdb_list_stream, cdb_length, cdb);

    std::uint32_t error_code = 0;
    const bool sent = port::active_port()->pass_through(handle, request, error_code);
    if (sent) {
        outcome.error_code = 0;
        outcome.srb_status = SRB_OK;
    } else {
        outcome.error_code = error_code;
        outcome.srb_status = SRB_CALL_FAILED;
    }
    outcome.true_transfer_length = request.data_transfer_length;
    outcome.target_status = request.scsi_status;

    // A failed call brings back nothing trustworthy, sense bytes included.
    const std::uint32_t sense_length = sent ? request.sense_info_length : 0;
    outcome.sense_key_byte = sense_length > 2 ? request.sense[2] : 0;
    // REQUEST SENSE reads into the sense structure itself: its data stays.
    if (sense_data != nullptr) {
        if (cdb[0] == REQUEST_SENSE_OPCODE) {
            cleared_sense_data = nullptr;
        } else if (sense_length == 0) {
            clear_sense_data(sense_data);
        } else {
            std::memcpy(sense_data, request.sense, sense_length);
            std::memset(sense_data + sense_length, 0, SENSE_DATA_SIZE - sense_length);
            cleared_sense_data = nullptr;
        }
    }
    poll_interrupt();
}

port::Handle get_device_handle() { return find_device_handle(); }

void release_device_table() {
    // Close each open handle once (a shared adapter handle is marked closed
    // by its first entry), then forget the table and its handle infos.
    for (int i = 0; i < layer.device_count; ++i) {
        HandleInfo* info = layer.devices[i].handle_info;
        if (info != nullptr && info->handle != port::INVALID_HANDLE) close_handle(*info);
    }
    for (int i = 0; i < layer.device_count; ++i) {
        HandleInfo* info = layer.devices[i].handle_info;
        if (info == nullptr) continue;
        for (int j = i; j < layer.device_count; ++j)
            if (layer.devices[j].handle_info == info) layer.devices[j].handle_info = nullptr;
        delete info;
    }
    layer.device_count = 0;
    layer.open_handle_count = 0;
}

void release_scsi_layer() {
    release_device_table();

    // While a Ctrl-C is being handled SIGINT stays ignored, so a second one
    // cannot kill the process before the clean-up has finished; the break
    // handler restores the default itself just before it exits.
    if (!interrupt_pending) set_sigint_disposition(SIG_DFL);

    std::free(layer.sense_data);
    cleared_sense_data = nullptr;
    std::free(layer.inquiry_data);
    std::free(layer.mode_data);
    std::free(layer.read_position_data);
    std::free(layer.log_data);
    layer.sense_data = layer.inquiry_data = layer.mode_data = nullptr;
    layer.read_position_data = layer.log_data = nullptr;

    // Both streams are aliases of files that the program's clean-up closes.
    frontend::set_layer_log_stream(nullptr);
    layer.cdb_list_stream = nullptr;
    frontend::show_console_cursor();
}

void set_cdb_list_file(std::FILE* stream) { layer.cdb_list_stream = stream; }

void set_fixed_bit(std::uint8_t bit) { layer.fixed_bit = bit == 1 ? 1 : 0; }

int set_target_lun(std::uint8_t lun) {
    if (lun > 7) {
        frontend::print_to_streams(frontend::channels.console, frontend::channels.layer_log_stream,
                                   "ERROR: invalid logical unit number specified (use 0 - 7 only)\r\n");
        return -1;
    }
    layer.current_target.lun = lun;
    layer.lun_bits = static_cast<std::uint8_t>(lun << 5);
    return 0;
}

int set_target_scsi_id(std::uint8_t id) {
    if (id > 15) {
        frontend::print_to_streams(frontend::channels.console, frontend::channels.layer_log_stream,
                                   "ERROR: invalid SCSI id specified (use 0 - 15 only)\r\n");
        return -1;
    }
    layer.current_target.tid = id;
    return 0;
}

int set_host_adapter_number(std::uint8_t adapter) {
    layer.current_target.adapter = adapter;
    return 0;
}

int set_bus_number(std::uint8_t bus) {
    layer.current_target.bus = bus;
    return 0;
}

void install_break_handler(BreakHandler handler) {
    program_break_handler = handler;
    if (handler == nullptr) return;
    interrupt_pending = 0;
    set_sigint_disposition(record_interrupt);
}

void run_break_handler() {
    // Taken out before the call, so the handler runs once however often the
    // clean-up it starts polls again. interrupt_pending stays set: release
    // then leaves SIGINT ignored.
    BreakHandler handler = program_break_handler;
    program_break_handler = nullptr;
    if (handler != nullptr) handler(SIGINT);
}

}  // namespace zv::scsi
