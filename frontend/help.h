#pragma once

namespace zv::frontend {

constexpr const char* PROGRAM_TITLE = "-- ZV TAPE DRIVE TEST PROGRAM V1.57CV --";

// The "/?" screen, to the console alone, with the settings as they stand.
void print_help_screen();

}  // namespace zv::frontend
