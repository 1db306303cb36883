// Device names shared by both programs.
#pragma once

#include <cstdint>

namespace zv::scsi {

// Writes the decimal digits of value (no leading zeros, "0" for zero) without
// a terminator; returns the position after the last digit.
char* append_decimal(char* position, std::uint32_t value);
// "\\.\Scsi" + number + ":"   (buffer of at least 32 characters)
void make_adapter_device_name(char* buffer, std::uint8_t number);
// "\\.\Tape" + number
void make_tape_device_name(char* buffer, std::uint32_t number);

}  // namespace zv::scsi
