#include "frontend/report_header.h"

namespace zv::frontend {
void print_report_header() {}
void print_settings_summary() {}
}  // namespace zv::frontend
