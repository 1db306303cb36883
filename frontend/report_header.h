#pragma once

namespace zv::frontend {

// Title block, test date/time and the drive's INQUIRY identity.
void print_report_header();
// Where the report and the CDB list go.
void print_settings_summary();

}  // namespace zv::frontend
