#pragma once

namespace zv::frontend {

constexpr const char* PROGRAM_TITLE = "-- ZV TAPE DRIVE TEST PROGRAM V1.57CV --";

// The "/?" screen, to the console alone, with the settings as they stand.
void print_help_screen();

// "--version": the title line and the version number, to the console alone.
void print_version();

}  // namespace zv::frontend
