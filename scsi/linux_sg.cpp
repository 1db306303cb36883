// The Linux SCSI generic implementation of the port driver interface.
// (Stub: every open fails with "not found" until the real layer lands.)
#include "scsi/linux_sg.h"

namespace zv::port {

namespace {

class LinuxSgPort final : public PortDriver {
public:
    Handle open(const char*, std::uint32_t& error_code) override {
        error_code = ERROR_NOT_FOUND;
        return INVALID_HANDLE;
    }
    bool close(Handle, std::uint32_t& error_code) override {
        error_code = ERROR_NOT_FOUND;
        return false;
    }
    bool get_inquiry_data(Handle, AdapterInquiry&, std::uint32_t& error_code) override {
        error_code = ERROR_NOT_FOUND;
        return false;
    }
    bool get_address(Handle, ScsiAddress&, std::uint32_t& error_code) override {
        error_code = ERROR_NOT_FOUND;
        return false;
    }
    bool pass_through(Handle, PassThroughRequest&, std::uint32_t& error_code) override {
        error_code = ERROR_NOT_FOUND;
        return false;
    }
    std::string error_text(std::uint32_t) override { return {}; }
};

}  // namespace

std::unique_ptr<PortDriver> make_linux_sg_port(const std::string&, const std::string&) {
    return std::make_unique<LinuxSgPort>();
}

}  // namespace zv::port
