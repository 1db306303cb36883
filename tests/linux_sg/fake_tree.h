// Fake sysfs and /dev trees for the Linux SCSI generic port driver, and fake
// device calls that stand in for the kernel's open, close and ioctl.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scsi/linux_sg.h"
#include "scsi/linux_sg_codes.h"
#include "scsi/linux_sg_sys.h"

namespace zv::port::testing_support {

namespace fs = std::filesystem;

struct FakeDevice {
    FakeDevice(std::string address, int device_type, std::string sg_name = "")
        : hctl(std::move(address)), type(device_type), sg(std::move(sg_name)) {}
    FakeDevice& identified(std::string v, std::string m, std::string r) {
        vendor = std::move(v);
        model = std::move(m);
        rev = std::move(r);
        return *this;
    }
    FakeDevice& claimed_by(std::string upper_level_driver) {
        driver = std::move(upper_level_driver);
        return *this;
    }
    FakeDevice& without_inquiry_attribute() {
        inquiry_attribute = false;
        return *this;
    }
    FakeDevice& without_dev_node() {
        sg_in_dev = false;
        return *this;
    }

    std::string hctl;          // "H:C:T:L"
    int type;
    std::string sg;            // "sg3"; empty: no sg node
    std::string vendor = "ACME    ";
    std::string model = "TAPE DRIVE 9000 ";
    std::string rev = "1.0 ";
    std::string driver;        // "st", "sd", ... ; empty: unclaimed
    bool inquiry_attribute = true;
    bool sg_in_dev = true;     // the /dev node exists
};

class FakeCalls : public DeviceCalls {
public:
    struct Open {
        std::string path;
        int flags;
    };
    std::map<std::string, int> open_errno;  // by file name ("sg1", "nst0")
    std::vector<Open> opens;
    std::vector<int> closed;
    std::function<int(int fd, unsigned long request, void* arg)> on_ioctl;
    int ioctl_count = 0;

    int open(const char* path, int flags) override {
        opens.push_back({path, flags});
        const std::string name = fs::path(path).filename().string();
        if (auto it = open_errno.find(name); it != open_errno.end()) return -it->second;
        std::error_code ec;
        if (!fs::exists(path, ec)) return -ENOENT;
        return next_fd_++;
    }
    int close(int fd) override {
        closed.push_back(fd);
        return 0;
    }
    int ioctl(int fd, unsigned long request, void* arg) override {
        ++ioctl_count;
        return on_ioctl ? on_ioctl(fd, request, arg) : -ENOTTY;
    }

private:
    int next_fd_ = 100;
};

// A temporary root holding sys/ and dev/.
class FakeTree {
public:
    FakeTree() {
        char pattern[] = "/tmp/zv-linux-sg-XXXXXX";
        const char* dir = ::mkdtemp(pattern);
        root_ = dir != nullptr ? dir : "/tmp/zv-linux-sg-fallback";
        fs::create_directories(sys() + "/bus/scsi/devices");
        fs::create_directories(sys() + "/class/scsi_host");
        fs::create_directories(sys() + "/class/scsi_tape");
        fs::create_directories(dev());
    }
    ~FakeTree() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    FakeTree(const FakeTree&) = delete;
    FakeTree& operator=(const FakeTree&) = delete;

    std::string sys() const { return root_ + "/sys"; }
    std::string dev() const { return root_ + "/dev"; }

    // this_id: the attribute's text, or empty for none.
    void add_host(unsigned number, const std::string& this_id = "") {
        const std::string dir = sys() + "/class/scsi_host/host" + std::to_string(number);
        fs::create_directories(dir);
        if (!this_id.empty()) write(dir + "/this_id", this_id + "\n");
        fs::create_directories(sys() + "/bus/scsi/devices/host" + std::to_string(number));
    }

    void add_device(const FakeDevice& d) {
        const std::string dir = sys() + "/bus/scsi/devices/" + d.hctl;
        fs::create_directories(dir);
        write(dir + "/type", std::to_string(d.type) + "\n");
        write(dir + "/vendor", d.vendor + "\n");
        write(dir + "/model", d.model + "\n");
        write(dir + "/rev", d.rev + "\n");
        write(dir + "/scsi_level", "6\n");
        if (d.inquiry_attribute) {
            std::string inquiry(36, '\0');
            inquiry[0] = static_cast<char>(d.type);
            inquiry[2] = 0x05;
            inquiry[3] = 0x12;
            inquiry[4] = 0x3D;
            inquiry.replace(8, 8, d.vendor);
            inquiry.replace(16, 16, d.model);
            inquiry.replace(32, 4, d.rev);
            write(dir + "/inquiry", inquiry + std::string(30, 'x'));
        }
        // A dangling link is enough: only its presence counts.
        if (!d.driver.empty()) fs::create_symlink("../../../../bus/scsi/drivers/" + d.driver, dir + "/driver");
        if (!d.sg.empty()) {
            fs::create_directories(dir + "/scsi_generic/" + d.sg);
            if (d.sg_in_dev) write(dev() + "/" + d.sg, "");
        }
    }

    // Tape device N of st: /dev/nstN and class/scsi_tape/nstN/device -> H:C:T:L.
    void add_tape(unsigned number, const std::string& hctl) {
        const std::string dir = sys() + "/class/scsi_tape/nst" + std::to_string(number);
        fs::create_directories(dir);
        fs::create_symlink("../../../" + hctl, dir + "/device");
        write(dev() + "/nst" + std::to_string(number), "");
        write(dev() + "/st" + std::to_string(number), "");
    }

    static void write(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }

private:
    std::string root_;
};

inline std::string adapter_name(unsigned n) { return "\\\\.\\Scsi" + std::to_string(n) + ":"; }
inline std::string tape_name(unsigned n) { return "\\\\.\\Tape" + std::to_string(n); }

}  // namespace zv::port::testing_support
