#include "scsi/device_names.h"

namespace zv::scsi {

char* append_decimal(char* position, std::uint32_t) { return position; }
void make_adapter_device_name(char* buffer, std::uint8_t) { buffer[0] = 0; }
void make_tape_device_name(char* buffer, std::uint32_t) { buffer[0] = 0; }

}  // namespace zv::scsi
