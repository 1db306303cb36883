#include "scsi/commands.h"

namespace zv::scsi {

void test_unit_ready() {}
void rewind(std::uint8_t) {}
void request_sense(std::uint8_t) {}
int read_data(std::uint32_t) { return -1; }
int write_data(std::uint32_t) { return -1; }
void write_filemarks(std::uint32_t) {}
void space(std::uint8_t, std::int32_t) {}
void inquiry(std::uint8_t) {}
void mode_select(std::uint8_t) {}
void mode_sense(std::uint8_t) {}
void load_unload(std::uint8_t, std::uint8_t, std::uint8_t) {}
void prevent_allow_medium_removal(std::uint8_t) {}
void read_position() {}
void log_sense(std::uint8_t, std::uint8_t, std::uint8_t) {}
int register_read_write_buffer(std::uint8_t*, std::uint32_t) { return -1; }
std::uint32_t big_endian_field(const std::uint8_t*, std::uint32_t, std::uint16_t) { return 0; }

}  // namespace zv::scsi
