// The two test data buffers and the data patterns.
#pragma once

#include <cstdint>

namespace zv::tape {

constexpr std::uint32_t BUFFERS_EQUAL = 0xFFFFFFFF;

struct DataBuffer {
    std::uint8_t* data_buffer_1 = nullptr;  // the pattern
    std::uint8_t* data_buffer_2 = nullptr;  // read data
};

extern DataBuffer data_buffers;

int allocate_buffer(std::uint8_t*& buffer, std::uint32_t size);
void free_buffer(std::uint8_t*& buffer, std::uint32_t size);  // nulls the pointer
int allocate_data_buffers();
int set_data_pattern();
int randomize_buffer(std::int16_t seed, std::uint8_t* buffer, std::uint32_t buffer_length,
                     std::uint32_t offset, std::uint32_t count);
int load_buffer_from_file(const char* file_name, std::uint8_t* buffer, std::uint32_t buffer_length,
                          std::uint32_t& count);
std::uint32_t compare_buffers(const std::uint8_t* read_data, const std::uint8_t* expected,
                              std::uint32_t length);

}  // namespace zv::tape
