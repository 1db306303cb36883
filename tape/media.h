// Media handling and positioning.
#pragma once

#include <cstdint>

namespace zv::tape {

extern bool prevent_allow_supported;
extern bool load_unload_supported;

int rewind_tape();
int write_two_filemarks(bool& end_of_medium);
int space_two_filemarks(bool& blank_check);
int unload_reload_drive();
void wait_for_drive_ready();
// Sleeps, acting on a pending Ctrl-C while it waits.
void sleep_milliseconds(std::uint32_t milliseconds);

}  // namespace zv::tape
