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

// The items one phase measures over an interval: the drive's data count, its
// compressed count and the rewritten (write) or corrected (read) count.
struct PhaseItems {
    int data;
    int compression;
    int corrected;
};
constexpr PhaseItems WRITE_PHASE_ITEMS = {ITEM_TDWR, ITEM_WCMP, ITEM_DRWR};
constexpr PhaseItems READ_PHASE_ITEMS = {ITEM_TDRD, ITEM_RCMP, ITEM_DECC};

constexpr const PhaseItems& phase_items(bool write_phase) {
    return write_phase ? WRITE_PHASE_ITEMS : READ_PHASE_ITEMS;
}

// Counter values at the start of the current interval, by item number.
double start_values[DSC_ITEM_COUNT] = {};

#define REPORT(...) frontend::print_to_streams(channels.console, channels.output_file, __VA_ARGS__)

unsigned target_id() { return settings.target_id; }
unsigned target_lun() { return settings.lun; }

bool command_is(const DriveStatusItem& item, const char* name) {
    return std::memcmp(item.command, name, 3) == 0;
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

// The counter command named command_name failed: say so, then the status.
int counter_command_failed(const char* command_name) {
    REPORT("ERROR: unable to get drive status information with \"%s\" command\r\n"
           "at SCSI id %X LUN %u\r\n",
           command_name, target_id(), target_lun());
    scsi::report_command_status();
    return -1;
}

int read_counter(const DriveStatusItem& item, double& value) {
    const std::uint8_t* data = nullptr;
    std::uint32_t area = 0;

    if (command_is(item, "LSD")) {
        scsi::log_sense(item.log_page, LOG_PAGE_CONTROL_CUMULATIVE, scsi::LOG_DATA_SIZE);
        if (scsi::command_failed()) return counter_command_failed("Log Sense");
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
        if (scsi::command_failed()) return counter_command_failed("Read Position");
        data = scsi::layer.read_position_data;
    } else {
        scsi::request_sense(REQUEST_SENSE_ALLOCATION);
        if (scsi::command_failed()) return counter_command_failed("Request Sense");
        data = scsi::layer.sense_data;
    }

    const std::uint32_t counter = scsi::big_endian_field(data, area + item.field_offset, item.field_length);
    value = static_cast<double>(counter) * static_cast<double>(item.multiplier);
    return 0;
}

// Reads one item without flushing the report files (the public entry points
// flush once when they are done); -1 ends the caller's report at once.
// The loader refuses counters that reach past their data; the guard keeps a
// configuration built any other way from reading outside the buffers.
int read_item(int item, double& value) {
    const DriveStatusItem& config = drive_status_config.items[item];
    if (!counter_in_range(config)) {
        REPORT("DSC FILE ERROR: field offset/length out of range for \"%s\" in DSC file\r\n",
               dsc_item_keyword(item));
        return -1;
    }
    return read_counter(config, value);
}

bool enabled(int item) { return drive_status_config.items[item].enabled; }

double difference(double now, int item) { return std::fabs(now - start_values[item]); }

// Start of an interval: the counters the end of the interval is measured from.
int read_start_values(const PhaseItems& items) {
    for (int item : {items.data, items.compression, items.corrected}) {
        if (enabled(item) && read_item(item, start_values[item]) != 0) return -1;
    }
    return 0;
}

// End of an interval: compression ratio and RWR (write) or ECC (read)
// percentage.
int report_interval(bool write_phase, double amount) {
    const auto [data_item, compression_item, corrected_item] = phase_items(write_phase);
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

    if (moment == 0) return read_start_values(phase_items(write_phase));
    if (moment != 1) return 0;

    if (report_interval(write_phase, amount) != 0) return -1;
    return report_position_and_retries();
}

}  // namespace

int get_drive_status_value(int item, double& value) {
    if (item < 0 || item >= DSC_ITEM_COUNT) return -1;
    const int result = read_item(item, value);
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
