#include "tape/drive_mode.h"

namespace zv::tape {

int set_block_mode() { return -1; }
int read_block_size() { return -1; }

}  // namespace zv::tape
