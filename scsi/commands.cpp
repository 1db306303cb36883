// The tape command set: each builder fills its CDB, sets the data length and
// hands both to execute_cdb. None of them judges the outcome.
#include "scsi/commands.h"

#include <cstring>

#include "frontend/output.h"
#include "scsi/layer.h"

namespace zv::scsi {

namespace {

std::uint8_t* read_write_buffer = nullptr;
std::uint32_t read_write_length = 0;

void send(void* buffer, std::uint32_t length, std::uint8_t cdb_length, const std::uint8_t* cdb) {
    layer.data_transfer_length = length;
    execute_cdb(buffer, cdb_length, cdb);
}

void clear(std::uint8_t* structure, std::size_t size) {
    if (structure != nullptr) std::memset(structure, 0, size);
}

constexpr std::uint8_t bits_23_16(std::uint32_t value) { return static_cast<std::uint8_t>(value >> 16); }
constexpr std::uint8_t bits_15_8(std::uint32_t value) { return static_cast<std::uint8_t>(value >> 8); }
constexpr std::uint8_t bits_7_0(std::uint32_t value) { return static_cast<std::uint8_t>(value); }

int transfer(std::uint8_t opcode, std::uint32_t count) {
    if (read_write_buffer == nullptr) {
        frontend::print_to_streams(frontend::channels.console, frontend::channels.layer_log_stream,
                                   "ERROR: NULL read/write buffer\r\n");
        return -1;
    }
    const std::uint8_t cdb[6] = {opcode, static_cast<std::uint8_t>(layer.lun_bits | layer.fixed_bit),
                                 bits_23_16(count), bits_15_8(count), bits_7_0(count), 0x00};
    send(read_write_buffer, read_write_length, 6, cdb);
    return 0;
}

}  // namespace

void test_unit_ready() {
    const std::uint8_t cdb[6] = {0x00, layer.lun_bits, 0x00, 0x00, 0x00, 0x00};
    send(layer.no_data_buffer, 0, 6, cdb);
}

void rewind(std::uint8_t immed) {
    const std::uint8_t cdb[6] = {0x01, static_cast<std::uint8_t>(layer.lun_bits | (immed ? 0x01 : 0x00)), 0x00,
                                 0x00, 0x00, 0x00};
    send(layer.no_data_buffer, 0, 6, cdb);
}

void request_sense(std::uint8_t alloc) {
    const std::uint8_t cdb[6] = {0x03, layer.lun_bits, 0x00, 0x00, alloc, 0x00};
    clear(layer.sense_data, SENSE_DATA_SIZE);
    send(layer.sense_data, alloc, 6, cdb);
}

int read_data(std::uint32_t count) { return transfer(0x08, count); }

int write_data(std::uint32_t count) { return transfer(0x0A, count); }

void write_filemarks(std::uint32_t count) {
    const std::uint8_t cdb[6] = {0x10, layer.lun_bits, bits_23_16(count), bits_15_8(count), bits_7_0(count), 0x00};
    send(layer.no_data_buffer, 0, 6, cdb);
}

void space(std::uint8_t code, std::int32_t count) {
    const auto raw = static_cast<std::uint32_t>(count);  // two's complement: negative spaces backwards
    const std::uint8_t cdb[6] = {0x11,
                                 static_cast<std::uint8_t>(layer.lun_bits | (code & 0x03)),
                                 bits_23_16(raw),
                                 bits_15_8(raw),
                                 bits_7_0(raw),
                                 static_cast<std::uint8_t>(code & 0x80)};
    send(layer.no_data_buffer, 0, 6, cdb);
}

void inquiry(std::uint8_t alloc) {
    const std::uint8_t cdb[6] = {0x12, layer.lun_bits, 0x00, 0x00, alloc, 0x00};
    clear(layer.inquiry_data, INQUIRY_DATA_SIZE);
    send(layer.inquiry_data, alloc, 6, cdb);
}

void mode_select(std::uint8_t length, std::uint8_t page_format) {
    const std::uint8_t flags = page_format != 0 ? 0x10 : 0x00;
    const std::uint8_t cdb[6] = {0x15, static_cast<std::uint8_t>(layer.lun_bits | flags), 0x00, 0x00, length, 0x00};
    send(layer.mode_data, length, 6, cdb);
}

void mode_sense(std::uint8_t alloc) {
    const std::uint8_t cdb[6] = {0x1A, layer.lun_bits, 0x00, 0x00, alloc, 0x00};
    clear(layer.mode_data, MODE_DATA_SIZE);
    send(layer.mode_data, alloc, 6, cdb);
}

void load_unload(std::uint8_t immed, std::uint8_t reten, std::uint8_t load) {
    const std::uint8_t cdb[6] = {0x1B,
                                 static_cast<std::uint8_t>(layer.lun_bits | (immed ? 0x01 : 0x00)),
                                 0x00,
                                 0x00,
                                 static_cast<std::uint8_t>((reten ? 0x02 : 0x00) | (load ? 0x01 : 0x00)),
                                 0x00};
    send(layer.no_data_buffer, 0, 6, cdb);
}

void prevent_allow_medium_removal(std::uint8_t prevent) {
    const std::uint8_t cdb[6] = {0x1E, layer.lun_bits, 0x00, 0x00, static_cast<std::uint8_t>(prevent == 1 ? 1 : 0),
                                 0x00};
    send(layer.no_data_buffer, 0, 6, cdb);
}

void read_position() {
    const std::uint8_t cdb[10] = {0x34, layer.lun_bits, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    clear(layer.read_position_data, READ_POSITION_DATA_SIZE);
    send(layer.read_position_data, READ_POSITION_DATA_SIZE, 10, cdb);
}

void log_sense(std::uint8_t page, std::uint8_t page_control, std::uint8_t alloc) {
    const std::uint8_t cdb[10] = {0x4D, layer.lun_bits, static_cast<std::uint8_t>((page_control << 6) | (page & 0x3F)),
                                  0x00, 0x00, 0x00, 0x00, 0x00, alloc, 0x00};
    clear(layer.log_data, LOG_DATA_SIZE);
    // The structure holds 40 bytes: a larger allocation length may not let the
    // device write past it.
    send(layer.log_data, alloc < LOG_DATA_SIZE ? alloc : LOG_DATA_SIZE, 10, cdb);
}

int register_read_write_buffer(std::uint8_t* buffer, std::uint32_t length) {
    if (buffer == nullptr || length == 0) {
        frontend::print_to_streams(frontend::channels.console, frontend::channels.layer_log_stream,
                                   "ERROR: NULL buffer or zero buffer length (r/w buffer pointer not used)\r\n");
        return -1;
    }
    read_write_buffer = buffer;
    read_write_length = length;
    return 0;
}

std::uint32_t big_endian_field(const std::uint8_t* buffer, std::uint32_t offset, std::uint16_t count) {
    std::uint32_t value = 0;
    for (std::uint16_t i = 0; i < count; ++i) value = (value << 8) | buffer[offset + i];
    return value;
}

}  // namespace zv::scsi
