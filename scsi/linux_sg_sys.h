// The system calls the Linux SCSI generic port driver makes on device nodes,
// behind a small interface so that tests can stand in for the kernel.
#pragma once

#include <memory>
#include <string>

#include "scsi/port.h"

namespace zv::port {

class DeviceCalls {
public:
    virtual ~DeviceCalls() = default;
    // Each returns a file descriptor (open) or 0 (close, ioctl) on success,
    // and the negated errno on failure.
    virtual int open(const char* path, int flags) = 0;
    virtual int close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
};

// The real system calls.
DeviceCalls& system_device_calls();

// The port driver over the given sysfs and /dev trees, making its device
// calls through calls (which must outlive the driver).
std::unique_ptr<PortDriver> make_linux_sg_port(const std::string& sysfs_root, const std::string& dev_root,
                                               DeviceCalls& calls);

}  // namespace zv::port
