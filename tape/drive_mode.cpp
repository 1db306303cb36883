// Block mode: one MODE SELECT before the test, and the drive's own block
// length through MODE SENSE for "/lbsize ms".
#include "tape/drive_mode.h"

#include <cstring>

#include "driver/plan.h"
#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/commands.h"
#include "scsi/layer.h"
#include "scsi/status_report.h"

namespace zv::tape {

namespace {
constexpr std::uint8_t MODE_PARAMETER_LIST_LENGTH = 12;  // header and one block descriptor

// ILLEGAL REQUEST, INVALID FIELD IN CDB (5h, 24h/00h).
bool invalid_field_in_cdb() { return scsi::sense_is(scsi::SENSE_KEY_ILLEGAL_REQUEST, 0x24, 0x00); }
}

int set_block_mode() {
    using frontend::channels;
    const frontend::TestSettings& settings = frontend::settings;
    frontend::print_to_streams(channels.console, channels.output_file,
                               "setting block mode (density code = 0x%X; logical block size = 0x%lX)\r\n",
                               static_cast<unsigned>(settings.density_code),
                               static_cast<unsigned long>(settings.logical_block_size));
    frontend::print_to_streams(channels.console, channels.output_file,
                               "setting maximum transfer lengths (write/read CDB = 0x%lX; data = 0x%lX)\r\n",
                               static_cast<unsigned long>(driver::plan.blocks_per_command),
                               static_cast<unsigned long>(settings.max_transfer_length));

    std::uint8_t* const list = scsi::layer.mode_data;
    std::memset(list, 0, scsi::MODE_DATA_SIZE);
    list[2] = 0x10;  // buffered mode 1, default speed
    list[3] = 0x08;  // one block descriptor
    list[4] = settings.density_code;
    list[9] = static_cast<std::uint8_t>(settings.logical_block_size >> 16);
    list[10] = static_cast<std::uint8_t>(settings.logical_block_size >> 8);
    list[11] = static_cast<std::uint8_t>(settings.logical_block_size);

    // Block size 0 is variable block mode; the fixed bit follows whatever the
    // drive says to the MODE SELECT.
    scsi::set_fixed_bit(settings.logical_block_size > 0 ? 1 : 0);
    scsi::mode_select(MODE_PARAMETER_LIST_LENGTH);
    // A drive that insists on standard page format refuses PF=0 as an invalid
    // field in the CDB even with no page after the block descriptor; the same
    // list is then sent again with PF set, and that answer is the one judged.
    if (scsi::command_failed() && invalid_field_in_cdb()) scsi::mode_select(MODE_PARAMETER_LIST_LENGTH, 1);

    int result = 0;
    if (scsi::command_failed()) {
        frontend::print_to_streams(channels.console, channels.output_file,
                                   "ERROR: unable to \"mode select\" requested block mode at SCSI id %X LUN %u\r\n",
                                   static_cast<unsigned>(settings.target_id), static_cast<unsigned>(settings.lun));
        scsi::report_command_status();
        result = -1;
    }
    frontend::flush_report_files();
    return result;
}

int read_block_size() {
    using frontend::channels;
    frontend::TestSettings& settings = frontend::settings;
    scsi::mode_sense(MODE_PARAMETER_LIST_LENGTH);
    if (scsi::command_failed()) {
        frontend::print_to_streams(channels.console, channels.output_file,
                                   "ERROR: unable to \"mode sense\" block mode at SCSI id %X LUN %u\r\n",
                                   static_cast<unsigned>(settings.target_id), static_cast<unsigned>(settings.lun));
        scsi::report_command_status();
        return -1;
    }
    // Block length of the block descriptor; a header alone leaves it 0
    // (variable block mode).
    settings.logical_block_size = scsi::big_endian_field(scsi::layer.mode_data, 9, 3);
    if (settings.logical_block_size > settings.max_transfer_length) {
        frontend::print_to_streams(channels.console, channels.output_file,
                                   "ERROR: logical block size cannot be greater than maximum write/read data\n"
                                   "transfer length\n");
        return -1;
    }
    return 0;
}

}  // namespace zv::tape
