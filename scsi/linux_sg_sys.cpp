// The real device calls of the Linux SCSI generic port driver.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "scsi/linux_sg_sys.h"

namespace zv::port {

namespace {

class SystemDeviceCalls final : public DeviceCalls {
public:
    int open(const char* path, int flags) override {
        int fd;
        do fd = ::open(path, flags);
        while (fd < 0 && errno == EINTR);
        return fd >= 0 ? fd : -errno;
    }
    // A close interrupted by a signal has still released the descriptor, so
    // it is not retried.
    int close(int fd) override { return ::close(fd) == 0 ? 0 : -errno; }
    int ioctl(int fd, unsigned long request, void* arg) override {
        return ::ioctl(fd, request, arg) == 0 ? 0 : -errno;
    }
};

}  // namespace

DeviceCalls& system_device_calls() {
    static SystemDeviceCalls calls;
    return calls;
}

}  // namespace zv::port
