#include "frontend/help.h"

namespace zv::frontend {
void print_help_screen() {}
}  // namespace zv::frontend
