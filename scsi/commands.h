// The tape command set: one builder per SCSI command.
#pragma once

#include <cstdint>

namespace zv::scsi {

void test_unit_ready();
void rewind(std::uint8_t immed);
void request_sense(std::uint8_t alloc);
int read_data(std::uint32_t count);
int write_data(std::uint32_t count);
void write_filemarks(std::uint32_t count);
void space(std::uint8_t code, std::int32_t count);
void inquiry(std::uint8_t alloc);
// page_format sets the PF bit (byte 1 bit 4).
void mode_select(std::uint8_t length, std::uint8_t page_format = 0);
void mode_sense(std::uint8_t alloc);
void load_unload(std::uint8_t immed, std::uint8_t reten, std::uint8_t load);
void prevent_allow_medium_removal(std::uint8_t prevent);
void read_position();
void log_sense(std::uint8_t page, std::uint8_t page_control, std::uint8_t alloc);

int register_read_write_buffer(std::uint8_t* buffer, std::uint32_t length);
std::uint32_t big_endian_field(const std::uint8_t* buffer, std::uint32_t offset, std::uint16_t count);

}  // namespace zv::scsi
