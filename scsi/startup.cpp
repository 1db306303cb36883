// Run start-up: the files, the command layer and a validated target.
#include "scsi/startup.h"

#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/commands.h"
#include "scsi/discovery.h"
#include "tape/drive_mode.h"

namespace zv::scsi {

namespace {
constexpr std::uint8_t TYPE_SEQUENTIAL_ACCESS = 0x01;
constexpr std::uint8_t TYPE_UNKNOWN = 0x1F;
constexpr std::uint8_t QUALIFIER_LUN_NOT_SUPPORTED = 3;
}  // namespace

int start_run(BreakHandler handler) {
    using frontend::channels;
    const frontend::TestSettings& settings = frontend::settings;
    frontend::hide_console_cursor();

    // Both files are tried, so one run reports both when neither can be opened.
    bool files_failed = false;
    std::FILE* output = std::fopen(settings.output_file_name.c_str(), settings.output_file_mode.c_str());
    if (output == nullptr) {
        frontend::print_to_streams(channels.error_console, nullptr, "ERROR: unable to open \"%s\" for output\n",
                                   settings.output_file_name.c_str());
        files_failed = true;
    } else {
        channels.output_file = output;
        frontend::set_layer_log_stream(output);
    }
    if (settings.cdb_list_enabled) {
        std::FILE* cdb_list = std::fopen(settings.cdb_list_file_name.c_str(), "wb");
        if (cdb_list == nullptr) {
            frontend::print_to_streams(channels.error_console, nullptr, "ERROR: unable to open \"%s\" for CDB output\n",
                                       settings.cdb_list_file_name.c_str());
            files_failed = true;
        } else {
            // One line per command: a large buffer keeps the log off the command path.
            static char cdb_list_buffer[1 << 16];
            std::setvbuf(cdb_list, cdb_list_buffer, _IOFBF, sizeof cdb_list_buffer);
            channels.cdb_list_file = cdb_list;
            set_cdb_list_file(cdb_list);
        }
    }
    if (files_failed) return -1;

    if (initialize_scsi_layer(handler) != 0) return -1;

    set_host_adapter_number(settings.host_adapter_number);
    set_bus_number(settings.bus_number);
    const int id_result = set_target_scsi_id(settings.target_id);
    const int lun_result = set_target_lun(settings.lun);
    if (id_result != 0 || lun_result != 0) return -1;

    // A unit attention or a drive that is not ready yet is no reason to stop:
    // only whether the target can be reached at all counts here.
    test_unit_ready();
    test_unit_ready();
    const unsigned id = settings.target_id;
    const unsigned lun = settings.lun;
    if (layer.outcome.srb_status == SRB_NO_DEVICE_HANDLE) {
        frontend::print_to_streams(channels.console, channels.output_file,
                                   "ERROR: unable to access tape drive at SCSI id %X LUN %u\n", id, lun);
        return -1;
    }

    // A failed INQUIRY leaves the cleared structure: device type 00h.
    inquiry(255);
    const std::uint8_t device_type = layer.inquiry_data[0] & 0x1F;
    const std::uint8_t qualifier = layer.inquiry_data[0] >> 5;
    if (device_type == TYPE_SEQUENTIAL_ACCESS)
        return settings.block_size_from_mode_sense ? tape::read_block_size() : 0;
    if (device_type == TYPE_UNKNOWN && qualifier == QUALIFIER_LUN_NOT_SUPPORTED) {
        frontend::print_to_streams(channels.console, channels.output_file,
                                   "ERROR: LUN %u is not supported by the device at SCSI id %X\n", lun, id);
        return -1;
    }
    frontend::print_to_streams(channels.console, channels.output_file,
                               "ERROR: device at SCSI id %X LUN %u is not a sequential access device (type %02X)\n", id,
                               lun, static_cast<unsigned>(device_type));
    return -1;
}

}  // namespace zv::scsi
