#pragma once

#include <cstdint>
#include <cstdio>

namespace zv::frontend {

// Rows of 16 bytes: offset, hex in four groups, text column. A null
// destination means console and layer_log_stream. 0 printed, -1 refused.
int dump_buffer(std::FILE* destination, const std::uint8_t* buffer, std::uint32_t buffer_length,
                std::uint32_t start, std::uint32_t count);

}  // namespace zv::frontend
