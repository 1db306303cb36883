// The virtual bus as a port driver: device names, exclusive handles, the
// adapters' inquiry data, tape addresses and command routing.
#include "emulator/virtual_bus.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "emulator/description.h"
#include "emulator/device.h"
#include "emulator/tape_drive.h"

namespace zv::emulator {

namespace {

constexpr port::Handle FIRST_HANDLE = 100;

class VirtualBus : public port::PortDriver {
public:
    explicit VirtualBus(BusDescription description);

    port::Handle open(const char* device_name, std::uint32_t& error_code) override;
    bool close(port::Handle handle, std::uint32_t& error_code) override;
    bool get_inquiry_data(port::Handle adapter, port::AdapterInquiry& data, std::uint32_t& error_code) override;
    bool get_address(port::Handle tape, port::ScsiAddress& address, std::uint32_t& error_code) override;
    bool pass_through(port::Handle handle, port::PassThroughRequest& request, std::uint32_t& error_code) override;
    std::string error_text(std::uint32_t error_code) override;

private:
    struct OpenHandle {
        bool open = false;
        bool is_tape = false;
        std::uint8_t number = 0;  // adapter or tape device number
        Device* tape = nullptr;   // a tape handle's device, found once at open
    };

    const AdapterConfig* adapter(std::uint8_t number) const;
    Device* tape_device(std::uint8_t number) const;
    Device* device_at(std::uint8_t adapter, std::uint8_t bus, std::uint8_t target, std::uint8_t lun) const;
    bool target_exists(std::uint8_t adapter, std::uint8_t bus, std::uint8_t target) const;
    OpenHandle* find(port::Handle handle);
    void answer_absent_lun(port::PassThroughRequest& request) const;

    BusDescription description_;
    std::vector<std::unique_ptr<Device>> devices_;  // in description order
    std::vector<OpenHandle> handles_;
};

VirtualBus::VirtualBus(BusDescription description) : description_(std::move(description)) {
    for (const DeviceConfig& config : description_.devices) {
        if (config.type == TYPE_TAPE)
            devices_.push_back(std::make_unique<TapeDrive>(config));
        else
            devices_.push_back(std::make_unique<SimpleDevice>(config));
    }
}

const AdapterConfig* VirtualBus::adapter(std::uint8_t number) const {
    for (const AdapterConfig& a : description_.adapters)
        if (a.number == number) return &a;
    return nullptr;
}

Device* VirtualBus::tape_device(std::uint8_t number) const {
    for (const auto& d : devices_)
        if (d->config().tape_device == number) return d.get();
    return nullptr;
}

Device* VirtualBus::device_at(std::uint8_t adapter, std::uint8_t bus, std::uint8_t target, std::uint8_t lun) const {
    for (const auto& d : devices_) {
        const DeviceConfig& s = d->config();
        if (s.adapter == adapter && s.bus == bus && s.target == target && s.lun == lun) return d.get();
    }
    return nullptr;
}

bool VirtualBus::target_exists(std::uint8_t adapter, std::uint8_t bus, std::uint8_t target) const {
    for (const auto& d : devices_) {
        const DeviceConfig& s = d->config();
        if (s.adapter == adapter && s.bus == bus && s.target == target) return true;
    }
    return false;
}

// "\\.\Scsi" N ":" or "\\.\Tape" N, N decimal without leading zeros, 0 to 255.
bool parse_device_name(const char* name, bool& is_tape, std::uint8_t& number) {
    if (name == nullptr) return false;
    const char* rest;
    if (std::strncmp(name, "\\\\.\\Scsi", 8) == 0) {
        is_tape = false;
    } else if (std::strncmp(name, "\\\\.\\Tape", 8) == 0) {
        is_tape = true;
    } else {
        return false;
    }
    rest = name + 8;
    unsigned value = 0;
    int digits = 0;
    while (*rest >= '0' && *rest <= '9' && digits < 4) {
        value = value * 10 + unsigned(*rest - '0');
        ++rest;
        ++digits;
    }
    if (digits == 0 || (digits > 1 && name[8] == '0') || value > 255) return false;
    if (is_tape ? *rest != '\0' : std::strcmp(rest, ":") != 0) return false;
    number = static_cast<std::uint8_t>(value);
    return true;
}

port::Handle VirtualBus::open(const char* device_name, std::uint32_t& error_code) {
    bool is_tape = false;
    std::uint8_t number = 0;
    if (!parse_device_name(device_name, is_tape, number)) {
        error_code = port::ERROR_NOT_FOUND;
        return port::INVALID_HANDLE;
    }
    Device* tape = nullptr;
    if (is_tape) {
        tape = tape_device(number);
        if (tape == nullptr) {
            error_code = port::ERROR_NOT_FOUND;
            return port::INVALID_HANDLE;
        }
        if (tape->config().tape_device_in_use) {
            error_code = port::ERROR_IN_USE;
            return port::INVALID_HANDLE;
        }
    } else {
        const AdapterConfig* a = adapter(number);
        if (a == nullptr) {
            error_code = port::ERROR_NOT_FOUND;
            return port::INVALID_HANDLE;
        }
        if (a->in_use) {
            error_code = port::ERROR_IN_USE;
            return port::INVALID_HANDLE;
        }
    }
    std::size_t free_slot = handles_.size();
    for (std::size_t i = 0; i < handles_.size(); ++i) {
        const OpenHandle& h = handles_[i];
        if (h.open && h.is_tape == is_tape && h.number == number) {
            error_code = port::ERROR_IN_USE;  // opens are exclusive
            return port::INVALID_HANDLE;
        }
        if (!h.open && free_slot == handles_.size()) free_slot = i;
    }
    if (free_slot == handles_.size()) handles_.emplace_back();
    handles_[free_slot] = OpenHandle{true, is_tape, number, tape};
    error_code = port::ERROR_NONE;
    return FIRST_HANDLE + static_cast<port::Handle>(free_slot);
}

VirtualBus::OpenHandle* VirtualBus::find(port::Handle handle) {
    if (handle < FIRST_HANDLE) return nullptr;
    const auto index = static_cast<std::size_t>(handle - FIRST_HANDLE);
    if (index >= handles_.size() || !handles_[index].open) return nullptr;
    return &handles_[index];
}

bool VirtualBus::close(port::Handle handle, std::uint32_t& error_code) {
    OpenHandle* h = find(handle);
    if (h == nullptr) {
        error_code = ERROR_INVALID_HANDLE;
        return false;
    }
    h->open = false;
    if (!h->is_tape && adapter(h->number)->close_fails) {
        error_code = ERROR_INVALID_HANDLE;
        return false;
    }
    error_code = port::ERROR_NONE;
    return true;
}

bool VirtualBus::get_inquiry_data(port::Handle handle, port::AdapterInquiry& data, std::uint32_t& error_code) {
    const OpenHandle* h = find(handle);
    if (h == nullptr) {
        error_code = ERROR_INVALID_HANDLE;
        return false;
    }
    if (h->is_tape) {
        error_code = ERROR_INVALID_FUNCTION;
        return false;
    }
    const AdapterConfig* a = adapter(h->number);
    if (a->inquiry_fails) {
        error_code = ERROR_IO_DEVICE;
        return false;
    }
    data.buses.clear();
    for (std::size_t b = 0; b < a->buses.size(); ++b) {
        port::BusInquiry bus;
        bus.initiator_id = a->buses[b].initiator;
        for (const auto& d : devices_) {
            const DeviceConfig& s = d->config();
            if (s.adapter != a->number || s.bus != b) continue;
            port::InquiryRecord record;
            record.path_id = s.bus;
            record.target_id = s.target;
            record.lun = s.lun;
            record.claimed = s.claimed;
            build_inquiry(s, record.inquiry);
            bus.devices.push_back(record);
        }
        std::sort(bus.devices.begin(), bus.devices.end(), [](const port::InquiryRecord& x, const port::InquiryRecord& y) {
            return x.target_id != y.target_id ? x.target_id < y.target_id : x.lun < y.lun;
        });
        data.buses.push_back(std::move(bus));
    }
    error_code = port::ERROR_NONE;
    return true;
}

bool VirtualBus::get_address(port::Handle handle, port::ScsiAddress& address, std::uint32_t& error_code) {
    const OpenHandle* h = find(handle);
    if (h == nullptr) {
        error_code = ERROR_INVALID_HANDLE;
        return false;
    }
    if (!h->is_tape) {
        error_code = ERROR_INVALID_FUNCTION;
        return false;
    }
    const DeviceConfig& s = h->tape->config();
    if (s.address_fails) {
        error_code = ERROR_IO_DEVICE;
        return false;
    }
    address = port::ScsiAddress{s.adapter, s.bus, s.target, s.lun};
    error_code = port::ERROR_NONE;
    return true;
}

// A target without the LUN asked for: INQUIRY says "no device here", anything
// else is an illegal request.
void VirtualBus::answer_absent_lun(port::PassThroughRequest& request) const {
    if (request.cdb[0] == 0x12) {
        request.scsi_status = STATUS_GOOD;
        request.sense_info_length = 0;
        std::uint8_t data[36] = {};
        data[0] = 0x7F;
        data[3] = 0x02;
        data[4] = 31;
        const std::uint32_t allocation = (std::uint32_t(request.cdb[3]) << 8) | request.cdb[4];
        const std::uint32_t n = std::min({36u, allocation, request.data_transfer_length});
        if (n > 0) std::memcpy(request.data_buffer, data, n);
        request.data_transfer_length = n;
        return;
    }
    request.data_transfer_length = 0;
    request.scsi_status = STATUS_CHECK_CONDITION;
    put_auto_sense(request, Sense{true, KEY_ILLEGAL_REQUEST, 0, 0x25, 0x00, false, 0});
}

bool VirtualBus::pass_through(port::Handle handle, port::PassThroughRequest& request, std::uint32_t& error_code) {
    const OpenHandle* h = find(handle);
    if (h == nullptr) {
        error_code = ERROR_INVALID_HANDLE;
        return false;
    }
    if (request.cdb_length == 0 || request.cdb_length > 16 ||
        (request.data_transfer_length > 0 && request.data_buffer == nullptr)) {
        error_code = ERROR_INVALID_PARAMETER;
        return false;
    }
    // The device list is fixed once the bus is built, so a tape handle's
    // device is still the one open() found.
    Device* device = h->is_tape ? h->tape : device_at(h->number, request.path_id, request.target_id, request.lun);
    if (device == nullptr) {
        if (!target_exists(h->number, request.path_id, request.target_id)) {
            error_code = ERROR_DEVICE_NOT_CONNECTED;
            return false;
        }
        answer_absent_lun(request);
        error_code = port::ERROR_NONE;
        return true;
    }
    return device->execute(request, error_code);
}

std::string VirtualBus::error_text(std::uint32_t error_code) {
    switch (error_code) {
    case ERROR_INVALID_FUNCTION: return "Incorrect function.";
    case port::ERROR_NOT_FOUND: return "The system cannot find the file specified.";
    case ERROR_INVALID_HANDLE: return "The handle is invalid.";
    case port::ERROR_IN_USE: return "The process cannot access the file because it is being used by another process.";
    case port::ERROR_NOT_SUPPORTED: return "The request is not supported.";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
    case ERROR_IO_DEVICE: return "The request could not be performed because of an I/O device error.";
    case ERROR_DEVICE_NOT_CONNECTED: return "The device is not connected.";
    default: return "";
    }
}

}  // namespace

std::unique_ptr<port::PortDriver> parse_virtual_bus(const std::string& text, const std::string& name,
                                                    std::string& error) {
    BusDescription description;
    if (!parse_description(text, name, description, error)) return nullptr;
    return std::make_unique<VirtualBus>(std::move(description));
}

std::unique_ptr<port::PortDriver> load_virtual_bus(const std::string& file_name, std::string& error) {
    std::ifstream file(file_name, std::ios::binary);
    if (!file) {
        error = file_name + ": cannot open the file";
        return nullptr;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        error = file_name + ": cannot read the file";
        return nullptr;
    }
    return parse_virtual_bus(text.str(), file_name, error);
}

}  // namespace zv::emulator
