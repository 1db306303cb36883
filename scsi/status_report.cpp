#include "scsi/status_report.h"

namespace zv::scsi {

const char* const SENSE_KEY_NAMES[16] = {};
const char* error_code_text(std::uint32_t) { return "unknown error"; }
const char* target_status_text(std::uint8_t) { return "UNKNOWN STATUS!!!"; }
void report_command_status() {}

}  // namespace zv::scsi
