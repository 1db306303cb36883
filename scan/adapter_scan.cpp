#include <cstdio>
#include <new>

#include "scan/scan.h"
#include "scsi/device_names.h"

namespace zv::scan {

namespace {

constexpr char BANNER_LINE[] =
    "============================================================================";
static_assert(sizeof(BANNER_LINE) - 1 == 76, "the banner line is 76 characters wide");

BusSummary* first_summary = nullptr;
BusSummary* last_summary = nullptr;

BusSummary* append_summary(std::uint8_t adapter, std::uint32_t bus, std::uint8_t initiator_id) {
    auto* summary = new (std::nothrow) BusSummary{adapter, bus, initiator_id, 0, nullptr};
    if (summary == nullptr) return nullptr;
    if (last_summary != nullptr)
        last_summary->next = summary;
    else
        first_summary = summary;
    last_summary = summary;
    return summary;
}

void free_summaries() {
    while (first_summary != nullptr) {
        BusSummary* next = first_summary->next;
        delete first_summary;
        first_summary = next;
    }
    last_summary = nullptr;
}

void print_device_row(unsigned adapter, unsigned bus, const port::InquiryRecord& device) {
    // Vendor, product and revision are inquiry bytes 8 to 35; "%.28s" reads no
    // further and stops early at a zero byte.
    std::printf("  % 3d   % 2d  % 2d % 2d    %s  %.28s", static_cast<int>(adapter), static_cast<int>(bus),
                static_cast<int>(device.target_id), static_cast<int>(device.lun),
                device.claimed ? "Yes" : "No ", reinterpret_cast<const char*>(&device.inquiry[8]));
    for (int i = 0; i < 8; ++i) std::printf(" %02X", static_cast<unsigned>(device.inquiry[i]));
    std::printf("\n");
}

// Lists one adapter's devices and records its buses. Returns -1 when its
// handle could not be closed.
int scan_adapter(unsigned number, port::Handle handle, port::AdapterInquiry& inquiry) {
    std::uint32_t error_code = 0;
    inquiry.buses.clear();
    if (!port::active_port()->get_inquiry_data(handle, inquiry, error_code)) {
        print_system_error("Error getting inquiry data: ", error_code);
        return close_adapter(handle);
    }
    for (std::uint32_t bus = 0; bus < inquiry.buses.size(); ++bus) {
        const port::BusInquiry& bus_data = inquiry.buses[bus];
        // Without a summary record the bus's devices are still listed.
        BusSummary* summary = append_summary(static_cast<std::uint8_t>(number), bus, bus_data.initiator_id);
        for (const port::InquiryRecord& device : bus_data.devices) {
            if (summary != nullptr) ++summary->device_count;
            print_device_row(number, bus, device);
        }
    }
    return close_adapter(handle);
}

}  // namespace

port::Handle open_adapter(std::uint8_t number, std::uint32_t& error_code) {
    char name[32];
    scsi::make_adapter_device_name(name, number);
    return port::active_port()->open(name, error_code);
}

int close_adapter(port::Handle handle) {
    std::uint32_t error_code = 0;
    if (port::active_port()->close(handle, error_code)) return 0;
    print_system_error("Error closing device handle: ", error_code);
    return -1;
}

int run_scan() {
    std::printf("\r\n%s", BANNER_LINE);
    std::printf("\r\n\r\n       %s\r\n", SCAN_TITLE);

    std::printf("\n");
    std::printf("Adapter Bus ID LUN Driver Device Identification        Inquiry Header\n");
    std::printf("------- --- -- --- ------ ---------------------------- -----------------------\n");

    free_summaries();
    port::AdapterInquiry inquiry;  // reused, so its vectors keep their capacity
    for (unsigned number = 0; number <= LAST_ADAPTER_NUMBER; ++number) {
        std::uint32_t error_code = 0;
        port::Handle handle = open_adapter(static_cast<std::uint8_t>(number), error_code);
        if (handle == port::INVALID_HANDLE) {
            if (error_code == port::ERROR_IN_USE)
                std::printf("Adapter %d is in use by another process.\n", static_cast<int>(number));
            continue;  // a missing number is passed over silently
        }
        if (scan_adapter(number, handle, inquiry) != 0) {
            free_summaries();
            return 1;
        }
    }

    std::printf("\n");
    std::printf("Adapter Bus Number of Devices Initiator ID\n");
    std::printf("------- --- ----------------- ------------\n");
    for (const BusSummary* summary = first_summary; summary != nullptr; summary = summary->next)
        std::printf("  % 3d   % 2d        % 3d            % 3d\n", static_cast<int>(summary->adapter),
                    static_cast<int>(summary->bus), static_cast<int>(summary->device_count),
                    static_cast<int>(summary->initiator_id));
    free_summaries();
    return 0;
}

}  // namespace zv::scan
