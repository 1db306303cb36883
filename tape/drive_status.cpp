// Drive status monitoring: reads the drive's own counters around every status
// display interval and reports compression, RWR/ECC percentages, position and
// retry counters.
#include "tape/drive_status.h"

#include <cmath>
#include <cstring>

#include "driver/summary.h"
#include "frontend/dump.h"
#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/commands.h"
#include "scsi/layer.h"
#include "scsi/status_report.h"
#include "tape/dsc_config.h"
#include "tape/media.h"

namespace zv::tape {

double max_rwr_percentage = 0.0;
double max_ecc_percentage = 0.0;

namespace {

using frontend::channels;
using frontend::settings;

constexpr std::uint8_t LOG_PAGE_CONTROL_CUMULATIVE = 1;
constexpr std::uint32_t LOG_PAGE_HEADER_SIZE = 4;
constexpr std::uint8_t REQUEST_SENSE_ALLOCATION = 255;
constexpr std::uint32_t MAX_FIELD_LENGTH = 4;

const char* const ITEM_KEYWORDS[DSC_ITEM_COUNT] = {"TDWR", "TDRD", "WCMP", "RCMP", "DRWR",
                                                   "DECC", "RPOS", "RWRC", "TKRC"};

// Counter values at the start of the current interval, by item number.
double start_values[DSC_ITEM_COUNT] = {};

#define REPORT(...) frontend::print_to_streams(channels.console, channels.output_file, __VA_ARGS__)

unsigned target_id() { return settings.target_id; }
unsigned target_lun() { return settings.lun; }

bool command_is(const DriveStatusItem& item, const char* name) {
    return std::memcmp(item.command, name, 3) == 0;
}

// The loader refuses counters that reach past their data; this guard keeps a
// configuration built any other way from reading outside the buffers.
bool counter_fits(const DriveStatusItem& item, std::uint32_t data_size) {
    return item.field_length <= MAX_FIELD_LENGTH &&
           std::uint32_t{item.field_offset} + item.field_length <= data_size;
}

// Walks the log pages of the 40 returned bytes to the configured one.
// Returns the offset of its counter area, or -1 when the page is missing or
// lies so late that the counter would run past the data.
long find_log_counter_area(const DriveStatusItem& item) {
    const std::uint8_t* log = scsi::layer.log_data;
    std::uint32_t place = 0;
    while (place + LOG_PAGE_HEADER_SIZE <= scsi::LOG_DATA_SIZE) {
        if ((log[place] & 0x3F) == item.log_page) {
            const std::uint32_t area = place + LOG_PAGE_HEADER_SIZE;
            if (area + item.field_offset + item.field_length > scsi::LOG_DATA_SIZE) return -1;
            return static_cast<long>(area);
        }
        place += scsi::big_endian_field(log, place + 2, 2) + LOG_PAGE_HEADER_SIZE;
    }
    return -1;
}

int read_counter(const DriveStatusItem& item, double& value) {
    const std::uint8_t* data = nullptr;
    std::uint32_t area = 0;

    if (command_is(item, "LSD")) {
        scsi::log_sense(item.log_page, LOG_PAGE_CONTROL_CUMULATIVE, scsi::LOG_DATA_SIZE);
        if (scsi::command_failed()) {
            REPORT("ERROR: unable to get drive status information with \"Log Sense\" command\r\n"
                   "at SCSI id %X LUN %u\r\n",
                   target_id(), target_lun());
            scsi::report_command_status();
            return -1;
        }
        const long found = find_log_counter_area(item);
        if (found < 0) {
            REPORT("ERROR: invalid \"Log Sense\" data (cannot find requested page data)\r\n"
                   "at SCSI id %X LUN %u\r\n",
                   target_id(), target_lun());
            frontend::dump_buffer(nullptr, scsi::layer.log_data, scsi::LOG_DATA_SIZE, 0, scsi::LOG_DATA_SIZE);
            return -1;
        }
        data = scsi::layer.log_data;
        area = static_cast<std::uint32_t>(found);
    } else if (command_is(item, "RPD")) {
        scsi::read_position();
        if (scsi::command_failed()) {
            REPORT("ERROR: unable to get drive status information with \"Read Position\" command\r\n"
                   "at SCSI id %X LUN %u\r\n",
                   target_id(), target_lun());
            scsi::report_command_status();
            return -1;
        }
        data = scsi::layer.read_position_data;
    } else {
        scsi::request_sense(REQUEST_SENSE_ALLOCATION);
        if (scsi::command_failed()) {
            REPORT("ERROR: unable to get drive status information with \"Request Sense\" command\r\n"
                   "at SCSI id %X LUN %u\r\n",
                   target_id(), target_lun());
            scsi::report_command_status();
            return -1;
        }
        data = scsi::layer.sense_data;
    }

    const std::uint32_t counter = scsi::big_endian_field(data, area + item.field_offset, item.field_length);
    value = static_cast<double>(counter) * static_cast<double>(item.multiplier);
    return 0;
}

// Reads an enabled item; -1 ends the caller's report at once.
int read_item(int item, double& value) { return get_drive_status_value(item, value); }

bool enabled(int item) { return drive_status_config.items[item].enabled; }

double difference(double now, int item) { return std::fabs(now - start_values[item]); }

// Start of an interval: the counters the end of the interval is measured from.
int read_start_values(int data_item, int compression_item, int rewritten_item) {
    for (int item : {data_item, compression_item, rewritten_item}) {
        if (enabled(item) && read_item(item, start_values[item]) != 0) return -1;
    }
    return 0;
}

// End of an interval: compression ratio and RWR (write) or ECC (read)
// percentage.
int report_interval(bool write_phase, double amount) {
    const int data_item = write_phase ? ITEM_TDWR : ITEM_TDRD;
    const int compression_item = write_phase ? ITEM_WCMP : ITEM_RCMP;
    const int corrected_item = write_phase ? ITEM_DRWR : ITEM_DECC;
    double& maximum = write_phase ? max_rwr_percentage : max_ecc_percentage;
    double value = 0.0;
    double data = amount;
    if (enabled(data_item)) {
        if (read_item(data_item, value) != 0) return -1;
        data = difference(value, data_item);
    }
    if (enabled(compression_item)) {
        if (read_item(compression_item, value) != 0) return -1;
        const double compressed = difference(value, compression_item);
        // The ratio is always over the interval's own bytes, not the drive's count.
        const double ratio = compressed == 0.0 ? 0.0 : amount / compressed;
        REPORT(write_phase ? "  write data compression ratio ............... %.1f to 1\r\n"
                           : "  read data compression ratio ................ %.1f to 1\r\n",
               ratio);
        driver::summary::note_status_value(driver::summary::StatusValue::compression_ratio, ratio);
    }
    if (enabled(corrected_item)) {
        if (read_item(corrected_item, value) != 0) return -1;
        const double corrected = difference(value, corrected_item);
        // Without the drive's own data count the rewritten/corrected data
        // comes on top of what the host moved.
        if (!enabled(data_item)) data += corrected;
        const double percentage = data == 0.0 ? 0.0 : corrected / data * 100.0;
        REPORT(write_phase ? "  drive RWR percentage ....................... %.1f%%\r\n"
                           : "  drive ECC percentage ....................... %.1f%%\r\n",
               percentage);
        driver::summary::note_status_value(write_phase ? driver::summary::StatusValue::rwr_percentage
                                                       : driver::summary::StatusValue::ecc_percentage,
                                           percentage);
        if (percentage > maximum) maximum = percentage;
    }
    return 0;
}

std::uint64_t whole(double value) { return static_cast<std::uint64_t>(value); }

int report_position_and_retries() {
    double value = 0.0;
    if (enabled(ITEM_RPOS)) {
        if (read_item(ITEM_RPOS, value) != 0) return -1;
        const unsigned long position = static_cast<unsigned long>(whole(value) & 0xFFFFFFFFu);
        REPORT("  tape logical block position ................ 0x%lX\r\n", position);
        driver::summary::note_status_value(driver::summary::StatusValue::tape_position,
                                           static_cast<double>(position));
    }
    if (enabled(ITEM_RWRC)) {
        if (read_item(ITEM_RWRC, value) != 0) return -1;
        const unsigned counter = static_cast<unsigned>(whole(value) & 0xFFu);
        REPORT("  drive read/write retry counter ............. 0x%02X\r\n", counter);
        driver::summary::note_status_value(driver::summary::StatusValue::read_write_retry_counter, counter);
    }
    if (enabled(ITEM_TKRC)) {
        if (read_item(ITEM_TKRC, value) != 0) return -1;
        const unsigned counter = static_cast<unsigned>(whole(value) & 0xFFu);
        REPORT("  drive tracking retry counter ............... 0x%02X\r\n", counter);
        driver::summary::note_status_value(driver::summary::StatusValue::tracking_retry_counter, counter);
    }
    return 0;
}

int drive_status(std::uint16_t moment, std::uint16_t phase, double amount) {
    const bool write_phase = phase == 0;
    // A WRITE FILEMARKS of count 0 writes no mark but makes the drive write
    // out its buffer, so its counters cover the whole interval.
    if (moment == 1 && write_phase && (enabled(ITEM_WCMP) || enabled(ITEM_DRWR))) {
        scsi::write_filemarks(0);
    }
    if (settings.dsc_delay > 0) sleep_milliseconds(settings.dsc_delay);
    // Lets the drive report a pending condition here rather than in the
    // counter commands; its answer is not looked at.
    scsi::test_unit_ready();

    if (moment == 0) {
        return write_phase ? read_start_values(ITEM_TDWR, ITEM_WCMP, ITEM_DRWR)
                           : read_start_values(ITEM_TDRD, ITEM_RCMP, ITEM_DECC);
    }
    if (moment != 1) return 0;

    if (report_interval(write_phase, amount) != 0) return -1;
    return report_position_and_retries();
}

}  // namespace

int get_drive_status_value(int item, double& value) {
    if (item < 0 || item >= DSC_ITEM_COUNT) return -1;
    const DriveStatusItem& config = drive_status_config.items[item];
    std::uint32_t data_size = scsi::SENSE_DATA_SIZE;
    if (command_is(config, "LSD")) data_size = scsi::LOG_DATA_SIZE - LOG_PAGE_HEADER_SIZE;
    if (command_is(config, "RPD")) data_size = scsi::READ_POSITION_DATA_SIZE;
    int result = -1;
    if (!counter_fits(config, data_size)) {
        REPORT("DSC FILE ERROR: field offset/length out of range for \"%s\" in DSC file\r\n", ITEM_KEYWORDS[item]);
    } else {
        result = read_counter(config, value);
    }
    frontend::flush_report_files();
    return result;
}

int display_drive_status(std::uint16_t moment, std::uint16_t phase, double amount) {
    const int result = drive_status(moment, phase, amount);
    frontend::flush_report_files();
    return result;
}

#undef REPORT

}  // namespace zv::tape
