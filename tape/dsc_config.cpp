#include "tape/dsc_config.h"

namespace zv::tape {
DriveStatusConfig drive_status_config;
int load_drive_status_config(const char*) { return -1; }
}  // namespace zv::tape
