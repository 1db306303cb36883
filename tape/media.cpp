// Media handling and positioning.
#include "tape/media.h"

namespace zv::tape {

bool prevent_allow_supported = true;
bool load_unload_supported = true;

int rewind_tape() { return -1; }
int write_two_filemarks(bool&) { return -1; }
int space_two_filemarks(bool&) { return -1; }
int unload_reload_drive() { return -1; }
void wait_for_drive_ready() {}
void sleep_milliseconds(std::uint32_t) {}

}  // namespace zv::tape
