// The status block printed after a failed command.
#include "scsi/status_report.h"

#include <string>

#include "frontend/dump.h"
#include "frontend/output.h"
#include "scsi/layer.h"
#include "scsi/port.h"

namespace zv::scsi {

namespace {
constexpr std::uint32_t APPLICATION_CODE_BIT = 0x20000000;
}

const char* const SENSE_KEY_NAMES[16] = {
    "no sense",        "recovered error", "not ready",      "medium error",    "hardware error", "illegal request",
    "unit attention",  "write protect",   "blank check",    "vendor unique",   "copy aborted",   "aborted command",
    "equal",           "volume overflow", "miscompare",     "reserved"};

const char* error_code_text(std::uint32_t code) {
    switch (code) {
    case 0: return "no error";
    case 2: return "device not found";
    case 19: return "write protect";
    case 32: return "device is in use by another process";
    case 50: return "function not supported";
    case 1100: return "EOM";
    case 1101: return "filemark detected";
    case 1102: return "BOM";
    case 1103: return "setmark detected";
    case 1104: return "EOD";
    case 1105: return "partition failure";
    case 1106: return "ILI";
    case 1107: return "device not partitioned";
    case 1108: return "unable to lock media";
    case 1109: return "unable to unload media";
    case 1110: return "media changed";
    case 1111: return "bus reset detected";
    case 1112: return "no media in drive";
    default: break;
    }
    // Codes with bit 29 set are the port driver's own (never a system code):
    // its text tells the user what to do, e.g. to lower "/maxtl".
    if ((code & APPLICATION_CODE_BIT) != 0) {
        static std::string port_text;
        port_text.clear();
        if (port::PortDriver* port = port::active_port()) port_text = port->error_text(code);
        if (!port_text.empty()) return port_text.c_str();
    }
    return "unknown error";
}

const char* target_status_text(std::uint8_t status) {
    switch (status) {
    case 0x00: return "no error";
    case 0x02: return "check condition";
    case 0x04: return "condition met for pre-fetch SCSI commands";
    case 0x08: return "LUN busy";
    case 0x22: return "command terminated";
    case 0x28: return "queue full";
    default: return "UNKNOWN STATUS!!!";
    }
}

void report_command_status() {
    std::FILE* const console = frontend::channels.console;
    std::FILE* const log = frontend::channels.layer_log_stream;
    const CommandOutcome& outcome = layer.outcome;
    static const std::uint8_t no_sense[SENSE_DATA_SIZE] = {};
    const std::uint8_t* const sense = layer.sense_data != nullptr ? layer.sense_data : no_sense;

    frontend::print_to_streams(console, log, "\r\n");
    frontend::print_to_streams(console, log, "Win32 SRB status . %02X (%s)\r\n", static_cast<unsigned>(outcome.error_code),
                               error_code_text(outcome.error_code));
    frontend::print_to_streams(console, log, "SRB targ status .. %02X (%s)\r\n",
                               static_cast<unsigned>(outcome.target_status), target_status_text(outcome.target_status));
    frontend::print_to_streams(console, log, "SRB sense key .... %02X (%s)", static_cast<unsigned>(outcome.sense_key_byte),
                               SENSE_KEY_NAMES[outcome.sense_key_byte & 0x0F]);
    if (sense[2] & 0x80) frontend::print_to_streams(console, log, "; FMK");
    if (sense[2] & 0x40) frontend::print_to_streams(console, log, "; EOM");
    if (sense[2] & 0x20) frontend::print_to_streams(console, log, "; ILI");
    if (sense[0] & 0x80)
        frontend::print_to_streams(console, log, "; true CDB xfer = %lx",
                                   static_cast<unsigned long>(outcome.true_transfer_length));
    frontend::print_to_streams(console, log, "\r\n\r\n");
    frontend::dump_buffer(nullptr, sense, SENSE_DATA_SIZE, 0, static_cast<std::uint32_t>(sense[7]) + 8);
}

}  // namespace zv::scsi
