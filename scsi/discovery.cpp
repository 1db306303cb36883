#include "scsi/discovery.h"

namespace zv::scsi {

int initialize_scsi_layer(BreakHandler) { return -1; }
int allocate_data_structures() { return -1; }
int scan_devices() { return -1; }

}  // namespace zv::scsi
