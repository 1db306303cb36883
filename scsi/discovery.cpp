// Device discovery: the accessible device table and the layer's fixed data
// structures.
#include "scsi/discovery.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "frontend/output.h"
#include "scsi/device_names.h"

namespace zv::scsi {

namespace {

constexpr int HIGHEST_DEVICE_NUMBER = 254;
constexpr std::uint8_t TYPE_SEQUENTIAL_ACCESS = 0x01;
constexpr std::uint8_t TYPE_MEDIUM_CHANGER = 0x08;

std::uint8_t no_data_byte;

// Allocates a zero-filled structure; a structure left from an earlier
// initialisation is reused (cleared), so repeating it does not leak.
bool allocate_zeroed(std::uint8_t*& structure, std::size_t size) {
    if (structure != nullptr) {
        std::memset(structure, 0, size);
        return true;
    }
    structure = static_cast<std::uint8_t*>(std::calloc(size, 1));
    return structure != nullptr;
}

void report_allocation_failure(const char* message) {
    frontend::print_to_streams(frontend::channels.console, frontend::channels.layer_log_stream, "%s", message);
}

HandleInfo* new_handle_info(bool adapter, std::uint32_t number) {
    HandleInfo* info = new (std::nothrow) HandleInfo;
    if (info == nullptr) return nullptr;
    if (adapter)
        make_adapter_device_name(info->device_name, static_cast<std::uint8_t>(number));
    else
        make_tape_device_name(info->device_name, number);
    return info;
}

// First scan: every sequential-access device and every unclaimed medium
// changer that an adapter lists. Unclaimed devices are reached through the
// adapter's name, claimed ones get a tape device name in the second scan.
int scan_adapters(port::PortDriver& port) {
    char name[32];
    port::AdapterInquiry inquiry;
    // Every number is tried: adapter numbers keep growing with hot-plug and
    // iSCSI logins, so a missing one says nothing about the ones above it.
    for (int n = 0; n <= HIGHEST_DEVICE_NUMBER; ++n) {
        make_adapter_device_name(name, static_cast<std::uint8_t>(n));
        std::uint32_t error_code = 0;
        const port::Handle handle = port.open(name, error_code);
        if (handle == port::INVALID_HANDLE) continue;  // missing or held by another process

        inquiry.buses.clear();
        const bool listed = port.get_inquiry_data(handle, inquiry, error_code);
        port.close(handle, error_code);
        if (!listed) continue;

        HandleInfo* adapter_info = nullptr;
        for (const port::BusInquiry& bus : inquiry.buses) {
            for (const port::InquiryRecord& record : bus.devices) {
                const std::uint8_t type = record.inquiry[0] & 0x1F;
                const bool registrable =
                    type == TYPE_SEQUENTIAL_ACCESS || (type == TYPE_MEDIUM_CHANGER && !record.claimed);
                // A full table stays whole: further devices are left out.
                if (!registrable || layer.device_count >= MAX_ACCESSIBLE_DEVICES) continue;
                AccessibleDevice& device = layer.devices[layer.device_count];
                device.adapter = static_cast<std::uint8_t>(n);
                device.bus = record.path_id;
                device.tid = record.target_id;
                device.lun = record.lun;
                device.handle_info = nullptr;
                if (!record.claimed) {
                    if (adapter_info == nullptr) {
                        adapter_info = new_handle_info(true, static_cast<std::uint32_t>(n));
                        if (adapter_info == nullptr) return -1;
                    }
                    device.handle_info = adapter_info;
                }
                ++layer.device_count;
            }
        }
    }
    return 0;
}

// Second scan: each tape device is attached to the claimed entry at its address.
int scan_tapes(port::PortDriver& port) {
    char name[32];
    // Tape numbers can have holes after a drive is removed: try every one.
    for (int t = 0; t <= HIGHEST_DEVICE_NUMBER; ++t) {
        make_tape_device_name(name, static_cast<std::uint32_t>(t));
        std::uint32_t error_code = 0;
        const port::Handle handle = port.open(name, error_code);
        if (handle == port::INVALID_HANDLE) continue;

        port::ScsiAddress address;
        const bool addressed = port.get_address(handle, address, error_code);
        port.close(handle, error_code);
        if (!addressed) continue;

        for (int i = 0; i < layer.device_count; ++i) {
            AccessibleDevice& device = layer.devices[i];
            if (device.handle_info != nullptr || device.adapter != address.adapter || device.bus != address.bus ||
                device.tid != address.target || device.lun != address.lun)
                continue;
            device.handle_info = new_handle_info(false, static_cast<std::uint32_t>(t));
            if (device.handle_info == nullptr) return -1;
            break;
        }
    }
    return 0;
}

}  // namespace

int allocate_data_structures() {
    if (!allocate_zeroed(layer.sense_data, SENSE_DATA_SIZE)) {
        report_allocation_failure("ERROR: cannot allocate request sense data structures\r\n");
        return -1;
    }
    if (!allocate_zeroed(layer.inquiry_data, INQUIRY_DATA_SIZE)) {
        report_allocation_failure("ERROR: cannot allocate inquiry data structure\r\n");
        return -1;
    }
    if (!allocate_zeroed(layer.mode_data, MODE_DATA_SIZE)) {
        report_allocation_failure("ERROR: cannot allocate mode select/sense data structures\r\n");
        return -1;
    }
    if (!allocate_zeroed(layer.read_position_data, READ_POSITION_DATA_SIZE)) {
        report_allocation_failure("ERROR: cannot allocate read position data structure\r\n");
        return -1;
    }
    if (!allocate_zeroed(layer.log_data, LOG_DATA_SIZE)) {
        report_allocation_failure("ERROR: cannot allocate log select/sense data structure\r\n");
        return -1;
    }
    layer.no_data_buffer = &no_data_byte;
    return 0;
}

int scan_devices() {
    release_device_table();
    port::PortDriver* port = port::active_port();
    // Without a port nothing is reachable; start-up reports the target.
    if (port == nullptr) return 0;
    if (scan_adapters(*port) != 0) return -1;
    return scan_tapes(*port);
}

int initialize_scsi_layer(BreakHandler handler) {
    if (allocate_data_structures() != 0) return -1;
    if (scan_devices() != 0) return -1;
    install_break_handler(handler);
    return 0;
}

}  // namespace zv::scsi
