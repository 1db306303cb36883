#include "frontend/options.h"

namespace zv::frontend {
TestSettings settings;
std::uint16_t exit_status = 1;
int parse_options(int, char**) { return -1; }
std::uint32_t parse_number(char*) { return 0; }
bool cut_at_line_end(char*) { return false; }
void tabs_to_blanks(char*) {}
void ctrl_z_to_blanks(char*) {}
bool texts_equal(const char*, const char*) { return false; }
}  // namespace zv::frontend
