// The write phase and the read/compare phase: intervals of data commands with
// their time, rate and the drive's counters around them.
#include "driver/phases.h"

#include <time.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "driver/plan.h"
#include "driver/summary.h"
#include "frontend/dump.h"
#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/commands.h"
#include "scsi/layer.h"
#include "scsi/status_report.h"
#include "tape/drive_status.h"
#include "tape/dsc_config.h"
#include "tape/media.h"
#include "tape/patterns.h"

namespace zv::driver {

using frontend::channels;
using frontend::print_to_streams;
using frontend::settings;

namespace {

constexpr double BYTES_PER_MB = 1048576.0;
constexpr std::uint64_t MB_SHIFT = 20;
constexpr std::uint64_t BELOW_MB_MASK = (1u << MB_SHIFT) - 1;


constexpr std::uint16_t MOMENT_START = 0;
constexpr std::uint16_t MOMENT_END = 1;
constexpr std::uint16_t PHASE_WRITE = 0;
constexpr std::uint16_t PHASE_READ = 1;

std::int64_t interval_start_ms = 0;

std::int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

unsigned target_id() { return settings.target_id; }
unsigned target_lun() { return settings.lun; }

// Counts the bytes of the interval's good commands and shows the whole MB on
// the console ("%lu MB\r") when another MB is complete; nothing else happens
// per command. At memory speed (the virtual bus) a MB takes some 30 us, so
// the count is written by hand rather than through printf, and the clock
// that paces the flushes is the coarse one: both cost a share of the run
// otherwise. The bytes are the same as the format's.
class ProgressCount {
public:
    void add(std::uint32_t bytes) {
        partial_ += bytes;
        if (partial_ > BELOW_MB_MASK) {
            mb_ += partial_ >> MB_SHIFT;
            partial_ &= BELOW_MB_MASK;
            show();
        }
    }

private:
    void show() {
        std::FILE* const console = channels.console;
        if (console == nullptr) return;
        static constexpr char SUFFIX[] = " MB\r";
        char text[32];
        char* const end = text + sizeof text;
        char* first = end - (sizeof SUFFIX - 1);
        std::memcpy(first, SUFFIX, sizeof SUFFIX - 1);
        std::uint64_t value = mb_;
        do {
            *--first = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        fwrite_unlocked(first, 1, static_cast<std::size_t>(end - first), console);
        // A real drive moves a few hundred MB a second, so every count
        // reaches the screen at once; a faster source would otherwise spend
        // its time in console writes. The bytes are the same either way,
        // only the flushes are fewer.
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
        const std::int64_t now_ms = static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
        if (now_ms - last_flush_ms_ >= CONSOLE_FLUSH_INTERVAL_MS) {
            std::fflush(console);
            last_flush_ms_ = now_ms;
        }
    }

    static constexpr std::int64_t CONSOLE_FLUSH_INTERVAL_MS = 50;
    std::uint64_t mb_ = 0;
    std::uint64_t partial_ = 0;
    std::int64_t last_flush_ms_ = INT64_MIN / 2;
};

// What the phases print around one interval; the two phases differ only in
// these texts and in the drive status phase number.
struct PhaseTexts {
    const char* interval_header;  // "%lu of %lu (%s %s)"
    const char* amount_line;      // "%.3f MB ...%s"
    const char* actual_amount;
    const char* actual_commands;
    const char* time_taken;
    const char* rate;
    std::uint16_t status_phase;
};

const PhaseTexts WRITE_TEXTS = {
    "write test interval %lu of %lu (%s %s)\r\n",
    "writing %.3f MB of test data%s\r\n",
    "  actual amount of test data written ......... %.3f MB\r\n",
    "  actual number of write commands issued ..... %lu\r\n",
    "  total time taken for write test ............ %.2f SEC\r\n",
    "  write transfer rate ........................ %u KB/SEC\r\n",
    PHASE_WRITE,
};

const PhaseTexts READ_TEXTS = {
    "read/compare test interval %lu of %lu (%s %s)\r\n",
    "reading/comparing %.3f MB of test data%s\r\n",
    "  actual amount of test data read/compared ... %.3f MB\r\n",
    "  actual number of read commands issued ...... %lu\r\n",
    "  total time taken for read/compare test ..... %.2f SEC\r\n",
    "  read/compare transfer rate ................. %u KB/SEC\r\n",
    PHASE_READ,
};

// The header lines and the drive status before the transfer loop.
int begin_interval(const PhaseTexts& texts, std::uint32_t k) {
    summary::begin_interval(k);
    print_to_streams(channels.console, channels.output_file, texts.interval_header,
                     static_cast<unsigned long>(k), static_cast<unsigned long>(plan.interval_count),
                     frontend::date_text(), frontend::time_text());
    print_to_streams(channels.console, channels.output_file, texts.amount_line, plan.interval_mb, "");
    if (tape::drive_status_config.loaded &&
        tape::display_drive_status(MOMENT_START, texts.status_phase, 0.0) != 0) {
        return -1;
    }
    return 0;
}

// The report after the transfer loop: actual figures when it ended early,
// time, rate and the drive status.
int end_interval(const PhaseTexts& texts, PhaseStatistics& statistics) {
    if (statistics.commands != plan.commands_per_interval) {
        statistics.amount_mb = static_cast<double>(statistics.commands) *
                               static_cast<double>(settings.max_transfer_length) / BYTES_PER_MB;
        print_to_streams(channels.console, channels.output_file, texts.actual_amount, statistics.amount_mb);
        print_to_streams(channels.console, channels.output_file, texts.actual_commands,
                         static_cast<unsigned long>(statistics.commands));
    }
    const double bytes = statistics.amount_mb * BYTES_PER_MB;
    statistics.rate_kb_per_sec =
        (statistics.seconds > 0 ? statistics.amount_mb * 1024.0 / statistics.seconds : 0) * 1.024;
    print_to_streams(channels.console, channels.output_file, texts.time_taken, statistics.seconds);
    // The whole rate: drives faster than 65 MB/s must not wrap around.
    print_to_streams(channels.console, channels.output_file, texts.rate,
                     static_cast<unsigned>(count_from_double(statistics.rate_kb_per_sec)));
    summary::record_interval(statistics);
    if (tape::drive_status_config.loaded &&
        tape::display_drive_status(MOMENT_END, texts.status_phase, bytes) != 0) {
        return -1;
    }
    frontend::flush_report_files();
    return 0;
}

// "/dump": the good data and the data read, from the 16-byte row that holds
// the first differing byte.
void dump_miscompare(const std::uint8_t* expected, const std::uint8_t* read_data, std::uint32_t length,
                     std::uint32_t offset) {
    const std::uint32_t row = offset & ~std::uint32_t{0xF};
    print_to_streams(channels.console, channels.output_file, "expected (good) data:\r\n");
    frontend::dump_buffer(nullptr, expected, length, row, settings.dump_bytes);
    print_to_streams(channels.console, channels.output_file, "data read from the drive:\r\n");
    frontend::dump_buffer(nullptr, read_data, length, row, settings.dump_bytes);
}

void reset_statistics(PhaseStatistics& statistics) {
    statistics = PhaseStatistics{};
    statistics.commands = plan.commands_per_interval;
    statistics.amount_mb = plan.interval_mb;
}

}  // namespace

void start_interval_timer() { interval_start_ms = now_ms(); }

double interval_timer_seconds() { return static_cast<double>(now_ms() - interval_start_ms) / 1000.0; }

namespace {

// The two phases share their interval structure: the filemark step before the
// first interval, then per interval its header, the transfer loop and the
// report; end of medium (or blank check) ends the phase after its interval.
using FilemarkStep = int (*)(bool& end_reached);
using TransferStep = int (*)(std::uint32_t blocks_per_command, PhaseStatistics& statistics);

int run_phase(const PhaseTexts& texts, std::uint8_t* buffer, FilemarkStep filemarks, TransferStep transfer) {
    scsi::register_read_write_buffer(buffer, settings.max_transfer_length);
    PhaseStatistics statistics;
    reset_statistics(statistics);
    bool filemarks_pending = true;

    for (std::uint32_t k = 1; k <= plan.interval_count && k != 0; ++k) {
        scsi::poll_interrupt();
        print_to_streams(channels.console, channels.output_file, "\r\n");
        if (filemarks_pending) {
            if (filemarks(statistics.end_reached) != 0) return -1;
            if (statistics.end_reached) {
                summary::note_end_at_filemarks();
                return 0;
            }
            filemarks_pending = false;
        }
        if (begin_interval(texts, k) != 0) return -1;
        if (transfer(plan.blocks_per_command, statistics) != 0) return -1;
        if (end_interval(texts, statistics) != 0) return -1;
        if (statistics.end_reached) return 0;
    }
    return 0;
}

}  // namespace

int run_write_phase() {
    return run_phase(WRITE_TEXTS, tape::data_buffers.data_buffer_1, tape::write_two_filemarks, write_interval);
}

int write_interval(std::uint32_t blocks_per_command, PhaseStatistics& statistics) {
    const std::uint32_t length = settings.max_transfer_length;
    ProgressCount progress;
    int result = 0;

    start_interval_timer();
    for (std::uint32_t i = 0; i < statistics.commands; ++i) {
        scsi::write_data(blocks_per_command);
        if (scsi::command_failed()) {
            if (scsi::hit_end_of_medium()) {
                print_to_streams(channels.console, channels.output_file,
                                 "hit \"EOM\" writing data at SCSI id %X LUN %u (aborting all write testing)\r\n",
                                 target_id(), target_lun());
                statistics.commands = i + 1;
                statistics.end_reached = true;
            } else {
                print_to_streams(channels.console, channels.output_file,
                                 "ERROR: failure writing data at SCSI id %X LUN %u (aborting all write testing)\r\n",
                                 target_id(), target_lun());
                scsi::report_command_status();
                result = -1;
            }
            break;
        }
        progress.add(length);
    }
    statistics.seconds = interval_timer_seconds();
    frontend::flush_report_files();
    return result;
}

int run_read_compare_phase() {
    return run_phase(READ_TEXTS, tape::data_buffers.data_buffer_2, tape::space_two_filemarks,
                     [](std::uint32_t blocks_per_command, PhaseStatistics& statistics) {
                         return read_compare_interval(blocks_per_command, tape::data_buffers.data_buffer_1,
                                                      statistics);
                     });
}

int read_compare_interval(std::uint32_t blocks_per_command, const std::uint8_t* expected,
                          PhaseStatistics& statistics) {
    const std::uint32_t length = settings.max_transfer_length;
    const std::uint8_t* read_data = tape::data_buffers.data_buffer_2;
    const scsi::CommandOutcome& outcome = scsi::layer.outcome;
    ProgressCount progress;
    int result = 0;
    std::uint32_t miscompare_offset = tape::BUFFERS_EQUAL;

    start_interval_timer();
    for (std::uint32_t i = 0; i < statistics.commands; ++i) {
        scsi::read_data(blocks_per_command);
        if (scsi::command_failed()) {
            if (scsi::hit_blank_check()) {
                print_to_streams(channels.console, channels.output_file,
                                 "hit \"blank check\" reading/comparing data at SCSI id %X LUN %u (aborting all\r\n"
                                 "read testing)\r\n",
                                 target_id(), target_lun());
                statistics.commands = i + 1;
                statistics.end_reached = true;
            } else {
                print_to_streams(channels.console, channels.output_file,
                                 "ERROR: failure reading/comparing data at SCSI id %X LUN %u (aborting all read\r\n"
                                 "testing)\r\n",
                                 target_id(), target_lun());
                scsi::report_command_status();
                result = -1;
            }
            break;
        }
        std::uint32_t offset = tape::compare_buffers(read_data, expected, length);
        // A short read with good status lost data even when the stale bytes
        // left in the buffer happen to match: the first byte not moved is the
        // first one that cannot be trusted.
        if (outcome.true_transfer_length < length && offset > outcome.true_transfer_length) {
            offset = outcome.true_transfer_length;
        }
        if (offset != tape::BUFFERS_EQUAL) {
            print_to_streams(channels.console, channels.output_file,
                             "ERROR: data miscompare after read command %lu at offset 0x%lX\r\nfor SCSI id %X LUN %u\r\n",
                             static_cast<unsigned long>(i) + 1, static_cast<unsigned long>(offset), target_id(),
                             target_lun());
            statistics.commands = i + 1;
            miscompare_offset = offset;
            result = -1;
            break;
        }
        progress.add(length);
    }
    statistics.seconds = interval_timer_seconds();
    if (miscompare_offset != tape::BUFFERS_EQUAL) {
        summary::note_miscompare(statistics.commands, miscompare_offset);
        if (settings.dump_bytes != 0) dump_miscompare(expected, read_data, length, miscompare_offset);
    }
    frontend::flush_report_files();
    return result;
}

}  // namespace zv::driver
