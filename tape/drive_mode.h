// Block mode: MODE SELECT before the test, MODE SENSE for "/lbsize ms".
#pragma once

namespace zv::tape {

int set_block_mode();
int read_block_size();

}  // namespace zv::tape
