// The adapter scan program: lists every device that the host adapters report
// and one summary row per bus.
#pragma once

#include <cstdint>

#include "scsi/port.h"

namespace zv::scan {

// One bus of an adapter whose inquiry data was read, in discovery order.
struct BusSummary {
    std::uint8_t adapter = 0;
    std::uint32_t bus = 0;
    std::uint8_t initiator_id = 0;
    std::uint8_t device_count = 0;
    BusSummary* next = nullptr;
};

// Adapter numbers tried: 0 to LAST_ADAPTER_NUMBER, every one of them (a gap
// does not end the scan, and the one-byte number never wraps).
constexpr unsigned LAST_ADAPTER_NUMBER = 254;

// The program's title: in the scan's heading, the help screen and --version.
constexpr const char* SCAN_TITLE = "-- ZENTROVA SCSI HOST ADAPTER SCAN PROGRAM V1.00 (Win32) --";

// Writes prefix (when not null) and the port's text for code to stderr, or
// "Error code %d\n" when the port has no text for it.
void print_system_error(const char* prefix, std::uint32_t code);

// Opens "\\.\ScsiN:" through the active port; INVALID_HANDLE with
// error_code set on failure.
port::Handle open_adapter(std::uint8_t number, std::uint32_t& error_code);
// Closes an adapter handle; on failure reports it and returns -1 (the caller
// ends the program with status 1).
int close_adapter(port::Handle handle);

// Prints the banner, the device table and the bus summary through the active
// port. Returns the exit status: 0, or 1 when a handle could not be closed.
int run_scan();

}  // namespace zv::scan
