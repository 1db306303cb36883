#include "frontend/dump.h"

namespace zv::frontend {
int dump_buffer(std::FILE*, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t) { return -1; }
}  // namespace zv::frontend
