#pragma once

#include "scsi/layer.h"

namespace zv::scsi {

// Opens the files, discovers the devices, validates the target. 0 or -1.
int start_run(BreakHandler handler);

}  // namespace zv::scsi
