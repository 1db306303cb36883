#include "tape/patterns.h"

namespace zv::tape {

DataBuffer data_buffers;

int allocate_buffer(std::uint8_t*& buffer, std::uint32_t) { buffer = nullptr; return -1; }
void free_buffer(std::uint8_t*& buffer, std::uint32_t) { buffer = nullptr; }
int allocate_data_buffers() { return -1; }
int set_data_pattern() { return -1; }
int randomize_buffer(std::int16_t, std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t) { return -1; }
int load_buffer_from_file(const char*, std::uint8_t*, std::uint32_t, std::uint32_t&) { return -1; }
std::uint32_t compare_buffers(const std::uint8_t*, const std::uint8_t*, std::uint32_t) { return BUFFERS_EQUAL; }

}  // namespace zv::tape
