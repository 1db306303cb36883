// Error codes of the Linux SCSI generic port driver.
//
// Where a Linux failure means what a Windows system error code means, the
// Windows number is used, so the status report's table names it. Failures
// that have no such counterpart use numbers with bit 29 set (the range Windows
// leaves to applications), so they can never be mistaken for a system code:
//   2000000xh  conditions of this driver (see below)
//   2001xxxxh  any other errno, in the low 16 bits (20010005h is EIO)
//   2002HHDDh  a transport failure: host status HH, driver status DD of SG_IO
#pragma once

#include <cstdint>

#include "scsi/port.h"

namespace zv::port {

constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;        // EACCES/EPERM on open
constexpr std::uint32_t ERROR_WRITE_PROTECT = 19;       // EROFS
constexpr std::uint32_t ERROR_BUS_RESET = 1111;         // host status DID_RESET

constexpr std::uint32_t ERROR_COMMAND_NOT_PERMITTED = 0x20000001;  // EPERM from SG_IO
constexpr std::uint32_t ERROR_TRANSFER_TOO_LARGE = 0x20000002;     // EINVAL/ENOMEM/EIO with data
constexpr std::uint32_t ERROR_NO_SG_NODE = 0x20000003;             // device without /dev/sgN

constexpr std::uint32_t ERRNO_CODE_BASE = 0x20010000;
constexpr std::uint32_t TRANSPORT_CODE_BASE = 0x20020000;

constexpr std::uint32_t errno_code(int error) {
    return ERRNO_CODE_BASE | (static_cast<std::uint32_t>(error) & 0xFFFFu);
}
constexpr std::uint32_t transport_code(std::uint8_t host_status, std::uint8_t driver_status) {
    return TRANSPORT_CODE_BASE | (std::uint32_t{host_status} << 8) | driver_status;
}

// Host status values of sg_io_hdr (the kernel's DID_* codes).
enum HostStatus : std::uint8_t {
    DID_OK = 0x00,
    DID_NO_CONNECT = 0x01,
    DID_BUS_BUSY = 0x02,
    DID_TIME_OUT = 0x03,
    DID_BAD_TARGET = 0x04,
    DID_ABORT = 0x05,
    DID_PARITY = 0x06,
    DID_ERROR = 0x07,
    DID_RESET = 0x08,
    DID_BAD_INTR = 0x09,
    DID_PASSTHROUGH = 0x0A,
    DID_SOFT_ERROR = 0x0B,
    DID_IMM_RETRY = 0x0C,
    DID_REQUEUE = 0x0D,
    DID_TRANSPORT_DISRUPTED = 0x0E,
    DID_TRANSPORT_FAILFAST = 0x0F,
    DID_TARGET_FAILURE = 0x10,
    DID_NEXUS_FAILURE = 0x11,
    DID_ALLOC_FAILURE = 0x12,
    DID_MEDIUM_ERROR = 0x13,
    DID_TRANSPORT_MARGINAL = 0x14,
};

// Driver status values (low four bits; the high four are retry suggestions).
enum DriverStatus : std::uint8_t {
    DRIVER_OK = 0x00,
    DRIVER_BUSY = 0x01,
    DRIVER_SOFT = 0x02,
    DRIVER_MEDIA = 0x03,
    DRIVER_ERROR = 0x04,
    DRIVER_INVALID = 0x05,
    DRIVER_TIMEOUT = 0x06,
    DRIVER_HARD = 0x07,
    DRIVER_SENSE = 0x08,  // sense data came back: not a failure
};

// Which call failed: EPERM from SG_IO is the kernel's command filter, and
// EINVAL, ENOMEM or EIO from an SG_IO that moves data mean the transfer was
// larger than the kernel accepts.
enum class FailedCall : std::uint8_t { open_or_query, command, data_command };

// Maps a failed system call's errno onto a code.
std::uint32_t code_for_errno(int error, FailedCall call);

// The text for every code this driver produces; empty for others.
std::string linux_sg_error_text(std::uint32_t code);

}  // namespace zv::port
