// The Linux SCSI generic implementation of the port driver interface.
//
// Adapter N is SCSI host N; its inquiry data is read from sysfs each time it
// is asked for. The exclusivity that protects a drive is on the device nodes:
// opening an adapter opens, with O_EXCL, the /dev/sgN nodes of its unclaimed
// tape drives and medium changers (the devices that commands reach through
// an adapter), so an adapter whose drive another process holds is "in use",
// as an exclusively opened adapter would be. Other devices' nodes are opened
// by their first command. Tape device N is /dev/nstN, which st lets only one
// process open. Every command is one SG_IO on the node's descriptor.
#include "scsi/linux_sg.h"

#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "scsi/linux_sg_codes.h"
#include "scsi/linux_sg_sys.h"

namespace zv::port {

namespace {

namespace fs = std::filesystem;

constexpr char ADAPTER_PREFIX[] = "\\\\.\\Scsi";
constexpr char TAPE_PREFIX[] = "\\\\.\\Tape";
// sysfs shows no initiator id (this_id absent or -1) for most modern
// transports (iSCSI, SAS, FC, USB); 255 can never be a target's id.
constexpr std::uint8_t NO_INITIATOR_ID = 0xFF;

// PREFIX + decimal number + suffix, nothing else; numbers above 254 are
// never made by the programs and are refused.
bool parse_device_number(const char* name, const char* prefix, const char* suffix, unsigned& number) {
    const std::size_t prefix_length = std::strlen(prefix);
    if (std::strncmp(name, prefix, prefix_length) != 0) return false;
    const char* p = name + prefix_length;
    if (*p < '0' || *p > '9') return false;
    unsigned value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + static_cast<unsigned>(*p - '0');
        if (value > 254) return false;
    }
    if (std::strcmp(p, suffix) != 0) return false;
    number = value;
    return true;
}

struct Hctl {
    unsigned host = 0, channel = 0, target = 0, lun = 0;
};

// "H:C:T:L" exactly, as sysfs names SCSI devices.
bool parse_hctl(const std::string& text, Hctl& hctl) {
    unsigned values[4];
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
        unsigned long value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            value = value * 10 + static_cast<unsigned long>(text[pos] - '0');
            if (value > UINT_MAX) return false;
            ++pos;
        }
        values[i] = static_cast<unsigned>(value);
        if (i < 3) {
            if (pos >= text.size() || text[pos] != ':') return false;
            ++pos;
        }
    }
    if (pos != text.size()) return false;
    hctl = {values[0], values[1], values[2], values[3]};
    return true;
}

// Reads up to capacity bytes of a sysfs attribute; -errno when it cannot.
long read_file(const std::string& path, void* buffer, std::size_t capacity) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -errno;
    std::size_t total = 0;
    while (total < capacity) {
        const ssize_t n = ::read(fd, static_cast<char*>(buffer) + total, capacity - total);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return -error;
        }
        if (n == 0) break;
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return static_cast<long>(total);
}

// A text attribute without its line end; empty when missing.
std::string read_text(const std::string& path) {
    char buffer[256];
    const long n = read_file(path, buffer, sizeof buffer);
    if (n <= 0) return {};
    std::string text(buffer, static_cast<std::size_t>(n));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    return text;
}

bool parse_int(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 0);
    return errno == 0 && end != nullptr && *end == '\0';
}

// Copies an identification attribute into its fixed INQUIRY field, padded
// with blanks as the standard pads it.
void put_field(std::uint8_t* field, std::size_t width, const std::string& text) {
    std::memset(field, ' ', width);
    std::memcpy(field, text.data(), std::min(width, text.size()));
}

std::uint8_t clamp_sense_count(unsigned count, unsigned capacity) {
    return static_cast<std::uint8_t>(std::min(count, capacity));
}

void clear_results(PassThroughRequest& request) {
    request.scsi_status = 0;
    request.data_transfer_length = 0;
    request.sense_info_length = 0;
}

struct SgNode {
    std::uint8_t channel = 0, target = 0, lun = 0;
    int fd = -1;
};

struct OpenObject {
    enum class Kind : std::uint8_t { free, adapter, tape } kind = Kind::free;
    unsigned number = 0;        // host number or tape number
    int fd = -1;                // tape: the /dev/nstN descriptor
    int sg_fd = -1;             // tape: its sg node, when st refused SG_IO
    std::vector<SgNode> nodes;  // adapter: the sg descriptors opened so far
};

class LinuxSgPort final : public PortDriver {
public:
    LinuxSgPort(std::string sysfs_root, std::string dev_root, DeviceCalls& calls)
        : sysfs_(std::move(sysfs_root)), dev_(std::move(dev_root)), calls_(calls) {}

    ~LinuxSgPort() override {
        for (OpenObject& object : objects_) release(object);
    }

    Handle open(const char* device_name, std::uint32_t& error_code) override {
        unsigned number = 0;
        if (device_name != nullptr && parse_device_number(device_name, ADAPTER_PREFIX, ":", number)) {
            std::error_code ec;
            const bool present = fs::is_directory(sysfs_ + "/class/scsi_host/host" + std::to_string(number), ec);
            if (!present) {
                error_code = ec && ec.value() != ENOENT ? code_for_errno(ec.value(), FailedCall::open_or_query)
                                                          : ERROR_NOT_FOUND;
                return INVALID_HANDLE;
            }
            OpenObject& object = new_object();
            object.kind = OpenObject::Kind::adapter;
            object.number = number;
            if (!claim_adapter_nodes(object, error_code)) return INVALID_HANDLE;
            return handle_of(object);
        }
        if (device_name != nullptr && parse_device_number(device_name, TAPE_PREFIX, "", number)) {
            // Never /dev/stN: closing that would rewind the tape. O_NONBLOCK lets
            // an empty or not-ready drive be opened.
            const std::string path = dev_ + "/nst" + std::to_string(number);
            const int fd = calls_.open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0) {
                error_code = code_for_errno(-fd, FailedCall::open_or_query);
                return INVALID_HANDLE;
            }
            OpenObject& object = new_object();
            object.kind = OpenObject::Kind::tape;
            object.number = number;
            object.fd = fd;
            error_code = ERROR_NONE;
            return handle_of(object);
        }
        error_code = ERROR_NOT_FOUND;
        return INVALID_HANDLE;
    }

    bool close(Handle handle, std::uint32_t& error_code) override {
        OpenObject* object = find(handle);
        if (object == nullptr) {
            error_code = ERROR_INVALID_HANDLE;
            return false;
        }
        const int result = release(*object);
        error_code = result < 0 ? code_for_errno(-result, FailedCall::open_or_query) : ERROR_NONE;
        return result >= 0;
    }

    bool get_inquiry_data(Handle handle, AdapterInquiry& data, std::uint32_t& error_code) override {
        OpenObject* object = find(handle);
        if (object == nullptr) {
            error_code = ERROR_INVALID_HANDLE;
            return false;
        }
        if (object->kind != OpenObject::Kind::adapter) {
            error_code = ERROR_NOT_SUPPORTED;
            return false;
        }
        return list_devices(object->number, data, error_code);
    }

    bool get_address(Handle handle, ScsiAddress& address, std::uint32_t& error_code) override {
        OpenObject* object = find(handle);
        if (object == nullptr) {
            error_code = ERROR_INVALID_HANDLE;
            return false;
        }
        if (object->kind != OpenObject::Kind::tape) {
            error_code = ERROR_NOT_SUPPORTED;
            return false;
        }
        return address_of(*object, address, error_code);
    }

    bool pass_through(Handle handle, PassThroughRequest& request, std::uint32_t& error_code) override {
        OpenObject* object = find(handle);
        if (object == nullptr) {
            clear_results(request);
            error_code = ERROR_INVALID_HANDLE;
            return false;
        }
        if (request.cdb_length == 0 || request.cdb_length > sizeof request.cdb) {
            clear_results(request);
            error_code = ERROR_INVALID_PARAMETER;
            return false;
        }
        int fd = object->sg_fd >= 0 ? object->sg_fd : object->fd;
        if (object->kind == OpenObject::Kind::adapter) {
            fd = node_for(*object, request.path_id, request.target_id, request.lun, error_code);
            if (fd < 0) {
                clear_results(request);
                return false;
            }
        }

        sg_io_hdr_t header;
        build_header(request, header);
        int result = calls_.ioctl(fd, SG_IO, &header);
        if (result == -EPERM && object->kind == OpenObject::Kind::tape && object->sg_fd < 0) {
            // st passes SG_IO on only for processes with CAP_SYS_RAWIO; sg takes
            // commands from anyone who may open its node for writing. Same
            // device, and this process already owns it through st.
            object->sg_fd = open_tape_sg_node(*object, error_code);
            if (object->sg_fd < 0) {
                clear_results(request);
                return false;
            }
            build_header(request, header);
            result = calls_.ioctl(object->sg_fd, SG_IO, &header);
        }
        return finish(result, header, request, error_code);
    }

    std::string error_text(std::uint32_t error_code) override { return linux_sg_error_text(error_code); }

private:
    // The SCSI address of a tape device: the descriptor itself knows it;
    // sysfs answers when the ioctls are not there (or the node is not a real
    // device).
    bool address_of(const OpenObject& object, ScsiAddress& address, std::uint32_t& error_code) {
        int idlun[2] = {0, 0};
        int host = 0;
        int result = calls_.ioctl(object.fd, SCSI_IOCTL_GET_IDLUN, idlun);
        if (result == 0) result = calls_.ioctl(object.fd, SCSI_IOCTL_GET_BUS_NUMBER, &host);
        if (result == 0 && host >= 0 && host <= 255) {
            const auto dev_id = static_cast<std::uint32_t>(idlun[0]);
            address.adapter = static_cast<std::uint8_t>(host);
            address.bus = static_cast<std::uint8_t>(dev_id >> 16);
            address.target = static_cast<std::uint8_t>(dev_id);
            address.lun = static_cast<std::uint8_t>(dev_id >> 8);
            error_code = ERROR_NONE;
            return true;
        }
        std::error_code ec;
        const fs::path link =
            fs::read_symlink(sysfs_ + "/class/scsi_tape/nst" + std::to_string(object.number) + "/device", ec);
        Hctl hctl;
        if (!ec && parse_hctl(link.filename().string(), hctl) && hctl.host <= 255 && hctl.channel <= 255 &&
            hctl.target <= 255 && hctl.lun <= 255) {
            address.adapter = static_cast<std::uint8_t>(hctl.host);
            address.bus = static_cast<std::uint8_t>(hctl.channel);
            address.target = static_cast<std::uint8_t>(hctl.target);
            address.lun = static_cast<std::uint8_t>(hctl.lun);
            error_code = ERROR_NONE;
            return true;
        }
        error_code = result < 0 ? code_for_errno(-result, FailedCall::open_or_query) : ERROR_NOT_FOUND;
        return false;
    }
    static void build_header(PassThroughRequest& request, sg_io_hdr_t& header) {
        const std::uint32_t length = request.data_transfer_length;
        std::memset(&header, 0, sizeof header);
        header.interface_id = 'S';
        if (length == 0)
            header.dxfer_direction = SG_DXFER_NONE;
        else
            header.dxfer_direction = request.direction == Direction::out ? SG_DXFER_TO_DEV : SG_DXFER_FROM_DEV;
        header.cmd_len = request.cdb_length;
        header.mx_sb_len = static_cast<unsigned char>(std::min<unsigned>(request.sense_info_length, 255));
        header.dxfer_len = length;
        header.dxferp = length != 0 ? request.data_buffer : nullptr;
        header.cmdp = request.cdb;
        header.sbp = request.sense;
        const std::uint64_t timeout_ms = std::uint64_t{request.timeout_seconds} * 1000u;
        header.timeout = static_cast<unsigned>(std::min<std::uint64_t>(timeout_ms, UINT_MAX));
    }

    // What came back from SG_IO (0 or the negated errno), as the interface
    // reports it.
    static bool finish(int result, const sg_io_hdr_t& header, PassThroughRequest& request, std::uint32_t& error_code) {
        const std::uint32_t length = header.dxfer_len;
        if (result < 0) {
            clear_results(request);
            error_code = code_for_errno(-result, length != 0 ? FailedCall::data_command : FailedCall::command);
            return false;
        }
        // A transport failure: the command may not have reached the device, so
        // nothing it returned can be trusted. Sense alongside is normal.
        const unsigned driver = header.driver_status & 0x0Fu;
        if (header.host_status != DID_OK || (driver != DRIVER_OK && driver != DRIVER_SENSE)) {
            clear_results(request);
            error_code = header.host_status == DID_RESET
                             ? ERROR_BUS_RESET
                             : transport_code(static_cast<std::uint8_t>(header.host_status),
                                              static_cast<std::uint8_t>(header.driver_status));
            return false;
        }
        std::uint8_t status = header.status;
        if (status == 0 && header.masked_status != 0) status = static_cast<std::uint8_t>(header.masked_status << 1);
        request.scsi_status = status;
        if (header.resid <= 0)
            request.data_transfer_length = length;
        else if (static_cast<std::uint32_t>(header.resid) >= length)
            request.data_transfer_length = 0;
        else
            request.data_transfer_length = length - static_cast<std::uint32_t>(header.resid);
        request.sense_info_length = clamp_sense_count(header.sb_len_wr, header.mx_sb_len);
        error_code = ERROR_NONE;
        return true;
    }

    // The sg node of the device behind a tape device, opened exclusively.
    // Without one, st's refusal stands.
    int open_tape_sg_node(const OpenObject& tape, std::uint32_t& error_code) {
        ScsiAddress address;
        std::string name;
        if (address_of(tape, address, error_code))
            name = sg_name(device_dir(address.adapter, address.bus, address.target, address.lun));
        if (name.empty()) {
            error_code = ERROR_COMMAND_NOT_PERMITTED;
            return -1;
        }
        const std::string path = dev_ + "/" + name;
        const int fd = calls_.open(path.c_str(), O_RDWR | O_NONBLOCK | O_EXCL | O_CLOEXEC);
        if (fd < 0) error_code = code_for_errno(-fd, FailedCall::open_or_query);
        return fd;
    }

    OpenObject& new_object() {
        for (OpenObject& object : objects_)
            if (object.kind == OpenObject::Kind::free) return object;
        return objects_.emplace_back();
    }

    Handle handle_of(const OpenObject& object) const { return static_cast<Handle>(&object - objects_.data()) + 1; }

    OpenObject* find(Handle handle) {
        if (handle < 1 || static_cast<std::size_t>(handle) > objects_.size()) return nullptr;
        OpenObject& object = objects_[static_cast<std::size_t>(handle - 1)];
        return object.kind == OpenObject::Kind::free ? nullptr : &object;
    }

    // Closes every descriptor of the object and frees it; the first failure's
    // negated errno, or 0.
    int release(OpenObject& object) {
        int result = 0;
        if (object.fd >= 0) result = calls_.close(object.fd);
        if (object.sg_fd >= 0) {
            const int r = calls_.close(object.sg_fd);
            if (result == 0) result = r;
        }
        for (const SgNode& node : object.nodes) {
            const int r = calls_.close(node.fd);
            if (result == 0) result = r;
        }
        object.nodes.clear();
        object.fd = -1;
        object.sg_fd = -1;
        object.kind = OpenObject::Kind::free;
        return result;
    }

    std::string device_dir(unsigned host, unsigned channel, unsigned target, unsigned lun) const {
        char name[64];
        std::snprintf(name, sizeof name, "/bus/scsi/devices/%u:%u:%u:%u", host, channel, target, lun);
        return sysfs_ + name;
    }

    // The name of the device's sg node ("sg3"), or empty when it has none.
    static std::string sg_name(const std::string& dir) {
        std::error_code ec;
        for (fs::directory_iterator it(dir + "/scsi_generic", ec), end; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.rfind("sg", 0) == 0) return name;
        }
        const fs::path link = fs::read_symlink(dir + "/generic", ec);
        if (!ec) {
            const std::string name = link.filename().string();
            if (name.rfind("sg", 0) == 0) return name;
        }
        return {};
    }

    // The open sg descriptor of one device of an adapter, opened on first use.
    int node_for(OpenObject& adapter, std::uint8_t channel, std::uint8_t target, std::uint8_t lun,
                 std::uint32_t& error_code) {
        for (const SgNode& node : adapter.nodes)
            if (node.channel == channel && node.target == target && node.lun == lun) return node.fd;
        const std::string dir = device_dir(adapter.number, channel, target, lun);
        std::error_code ec;
        if (!fs::exists(dir, ec)) {
            error_code = ERROR_NOT_FOUND;
            return -1;
        }
        const std::string name = sg_name(dir);
        if (name.empty()) {
            error_code = ERROR_NO_SG_NODE;
            return -1;
        }
        // O_NONBLOCK: with O_EXCL a busy node then fails with EBUSY at once
        // instead of waiting for the other process to close it.
        const std::string path = dev_ + "/" + name;
        const int fd = calls_.open(path.c_str(), O_RDWR | O_NONBLOCK | O_EXCL | O_CLOEXEC);
        if (fd < 0) {
            error_code = code_for_errno(-fd, FailedCall::open_or_query);
            return -1;
        }
        adapter.nodes.push_back({channel, target, lun, fd});
        return fd;
    }

    void fill_inquiry(const std::string& dir, std::uint8_t (&inquiry)[36]) const {
        std::memset(inquiry, 0, sizeof inquiry);
        if (read_file(dir + "/inquiry", inquiry, sizeof inquiry) > 0) return;
        // Kernels without the inquiry attribute: the standard layout from the
        // parts sysfs does show.
        long value = 0;
        if (parse_int(read_text(dir + "/type"), value)) inquiry[0] = static_cast<std::uint8_t>(value & 0x1F);
        if (parse_int(read_text(dir + "/scsi_level"), value) && value > 0)
            inquiry[2] = static_cast<std::uint8_t>(value >= 2 ? value - 1 : value);
        inquiry[3] = 0x02;  // response data format
        inquiry[4] = 31;    // additional length of the 36-byte standard data
        put_field(inquiry + 8, 8, read_text(dir + "/vendor"));
        put_field(inquiry + 16, 16, read_text(dir + "/model"));
        put_field(inquiry + 32, 4, read_text(dir + "/rev"));
    }

    struct Found {
        Hctl hctl;
        std::string name;
    };

    // The devices of one host that a port can address, in bus, target and LUN
    // order; false with the code when sysfs cannot be read.
    bool devices_of(unsigned host, std::vector<Found>& found, std::uint32_t& error_code) const {
        found.clear();
        std::error_code ec;
        fs::directory_iterator it(sysfs_ + "/bus/scsi/devices", ec);
        if (ec && ec.value() != ENOENT) {
            error_code = code_for_errno(ec.value(), FailedCall::open_or_query);
            return false;
        }
        for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
            Hctl hctl;
            std::string name = it->path().filename().string();
            // Channels, targets and LUNs beyond one byte cannot be addressed.
            if (parse_hctl(name, hctl) && hctl.host == host && hctl.channel <= 255 && hctl.target <= 255 &&
                hctl.lun <= 255)
                found.push_back({hctl, std::move(name)});
        }
        std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
            if (a.hctl.channel != b.hctl.channel) return a.hctl.channel < b.hctl.channel;
            if (a.hctl.target != b.hctl.target) return a.hctl.target < b.hctl.target;
            return a.hctl.lun < b.hctl.lun;
        });
        return true;
    }

    static bool is_claimed(const std::string& dir) {
        std::error_code ec;
        // Claimed when an upper-level driver (st, sd, ch, ...) is bound.
        return fs::is_symlink(fs::symlink_status(dir + "/driver", ec));
    }

    // An adapter is in use when another process holds the sg node of one of
    // its unclaimed tape drives or medium changers exclusively: the devices
    // that commands reach through the adapter. Those nodes are opened now and
    // kept; any other failure is left for the first command to report.
    bool claim_adapter_nodes(OpenObject& adapter, std::uint32_t& error_code) {
        AdapterInquiry devices;
        if (!list_devices(adapter.number, devices, error_code)) {
            error_code = ERROR_NONE;  // the inquiry data query reports it
            return true;
        }
        for (const BusInquiry& bus : devices.buses) {
            for (const InquiryRecord& record : bus.devices) {
                const unsigned type = record.inquiry[0] & 0x1Fu;
                if ((type != 0x01 && type != 0x08) || record.claimed) continue;
                std::uint32_t code = ERROR_NONE;
                const int fd = node_for(adapter, record.path_id, record.target_id, record.lun, code);
                if (fd < 0 && code == ERROR_IN_USE) {
                    release(adapter);
                    error_code = ERROR_IN_USE;
                    return false;
                }
            }
        }
        error_code = ERROR_NONE;
        return true;
    }

    bool list_devices(unsigned host, AdapterInquiry& data, std::uint32_t& error_code) {
        std::vector<Found> found;
        if (!devices_of(host, found, error_code)) return false;
        const std::string devices = sysfs_ + "/bus/scsi/devices";

        // Every adapter has at least one bus; a bus between two used ones is
        // listed empty.
        unsigned buses = 1;
        for (const Found& f : found) buses = std::max(buses, f.hctl.channel + 1);
        long this_id = -1;
        const std::string host_dir = sysfs_ + "/class/scsi_host/host" + std::to_string(host);
        const bool has_id = parse_int(read_text(host_dir + "/this_id"), this_id) && this_id >= 0 && this_id <= 254;

        data.buses.assign(buses, BusInquiry{});
        for (BusInquiry& bus : data.buses)
            bus.initiator_id = has_id ? static_cast<std::uint8_t>(this_id) : NO_INITIATOR_ID;
        for (const Found& f : found) {
            InquiryRecord record;
            record.path_id = static_cast<std::uint8_t>(f.hctl.channel);
            record.target_id = static_cast<std::uint8_t>(f.hctl.target);
            record.lun = static_cast<std::uint8_t>(f.hctl.lun);
            const std::string dir = devices + "/" + f.name;
            record.claimed = is_claimed(dir);
            fill_inquiry(dir, record.inquiry);
            data.buses[f.hctl.channel].devices.push_back(record);
        }
        error_code = ERROR_NONE;
        return true;
    }

    std::string sysfs_;
    std::string dev_;
    DeviceCalls& calls_;
    std::vector<OpenObject> objects_;
};

}  // namespace

std::uint32_t code_for_errno(int error, FailedCall call) {
    switch (error) {
    case 0: return ERROR_NONE;
    case ENOENT:
    case ENXIO:
    case ENODEV: return ERROR_NOT_FOUND;
    case EACCES: return ERROR_ACCESS_DENIED;
    // EPERM on SG_IO: the kernel's command filter (no CAP_SYS_RAWIO); on open
    // it is a plain permission problem.
    case EPERM: return call == FailedCall::open_or_query ? ERROR_ACCESS_DENIED : ERROR_COMMAND_NOT_PERMITTED;
    case EBUSY: return ERROR_IN_USE;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENOTTY:
    case ENOSYS:
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    // sg refuses a request beyond max_sectors/its buffers with EINVAL or
    // ENOMEM; SG_IO through st says EIO for one beyond max_hw_sectors.
    case EINVAL:
    case ENOMEM:
    case EIO:
        if (call == FailedCall::data_command) return ERROR_TRANSFER_TOO_LARGE;
        break;
    default: break;
    }
    return errno_code(error);
}

namespace {

const char* host_status_name(unsigned status) {
    static const char* const names[] = {"ok",           "no connect",       "bus busy",           "time out",
                                        "bad target",   "abort",            "parity error",       "host error",
                                        "reset",        "bad interrupt",    "passthrough",        "soft error",
                                        "retry",        "requeue",          "transport disrupted", "transport failfast",
                                        "target failure", "nexus failure",  "allocation failure", "medium error",
                                        "transport marginal"};
    return status < sizeof names / sizeof *names ? names[status] : "unknown";
}

}  // namespace

std::string linux_sg_error_text(std::uint32_t code) {
    switch (code) {
    case ERROR_NONE: return "no error";
    case ERROR_NOT_FOUND: return "device not found";
    case ERROR_ACCESS_DENIED: return "permission denied (run as root or join the disk/tape group)";
    case ERROR_INVALID_HANDLE: return "invalid handle";
    case ERROR_WRITE_PROTECT: return "write protect";
    case ERROR_IN_USE: return "device is in use by another process";
    case ERROR_NOT_SUPPORTED: return "function not supported";
    case ERROR_INVALID_PARAMETER: return "invalid parameter";
    case ERROR_BUS_RESET: return "bus reset detected";
    case ERROR_COMMAND_NOT_PERMITTED: return "command refused by the kernel: needs CAP_SYS_RAWIO (run as root)";
    case ERROR_TRANSFER_TOO_LARGE: return "transfer too large for the kernel: lower /maxtl";
    case ERROR_NO_SG_NODE: return "no SCSI generic node for the device (modprobe sg)";
    default: break;
    }
    char text[96];
    if ((code & 0xFFFF0000u) == ERRNO_CODE_BASE) {
        std::snprintf(text, sizeof text, "system error %u: %s", code & 0xFFFFu,
                      std::strerror(static_cast<int>(code & 0xFFFFu)));
        return text;
    }
    if ((code & 0xFFFF0000u) == TRANSPORT_CODE_BASE) {
        const unsigned host = (code >> 8) & 0xFFu;
        const unsigned driver = code & 0xFFu;
        std::snprintf(text, sizeof text, "transport failure: host status %02Xh (%s), driver status %02Xh", host,
                      host_status_name(host), driver);
        return text;
    }
    return {};
}

std::unique_ptr<PortDriver> make_linux_sg_port(const std::string& sysfs_root, const std::string& dev_root,
                                               DeviceCalls& calls) {
    return std::make_unique<LinuxSgPort>(sysfs_root, dev_root, calls);
}

std::unique_ptr<PortDriver> make_linux_sg_port(const std::string& sysfs_root, const std::string& dev_root) {
    return make_linux_sg_port(sysfs_root, dev_root, system_device_calls());
}

}  // namespace zv::port
