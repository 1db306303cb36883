// The Linux SCSI generic implementation of the port driver interface.
#pragma once

#include <memory>
#include <string>

#include "scsi/port.h"

namespace zv::port {

// sysfs_root and dev_root are "/sys" and "/dev" on a real system; tests pass
// fake trees.
std::unique_ptr<PortDriver> make_linux_sg_port(const std::string& sysfs_root = "/sys",
                                               const std::string& dev_root = "/dev");

}  // namespace zv::port
