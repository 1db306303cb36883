#pragma once

#include <cstdint>

namespace zv::scsi {

extern const char* const SENSE_KEY_NAMES[16];
const char* error_code_text(std::uint32_t code);
const char* target_status_text(std::uint8_t status);
// The status block of the last command, to console and layer_log_stream.
void report_command_status();

}  // namespace zv::scsi
