// Device discovery: which devices are reachable, and through which name.
#pragma once

#include <cstdint>

#include "scsi/layer.h"

namespace zv::scsi {

int initialize_scsi_layer(BreakHandler handler);
int allocate_data_structures();
int scan_devices();

}  // namespace zv::scsi
