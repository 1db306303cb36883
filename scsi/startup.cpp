#include "scsi/startup.h"

namespace zv::scsi {

int start_run(BreakHandler) { return -1; }

}  // namespace zv::scsi
