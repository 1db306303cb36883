// The test iteration loop: write, rewind, read/compare, rewind, the RWR/ECC
// verdicts and the optional unload/reload, as many times as asked.
#include "driver/iterations.h"

#include "driver/phases.h"
#include "driver/summary.h"
#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/layer.h"
#include "tape/drive_mode.h"
#include "tape/drive_status.h"
#include "tape/dsc_config.h"
#include "tape/media.h"

namespace zv::driver {

using frontend::channels;
using frontend::print_to_streams;
using frontend::settings;

namespace {

// Highest RWR/ECC percentage a drive may show and still pass.
constexpr double PERCENTAGE_LIMIT = 1.0;

const char* verdict(double maximum) { return maximum <= PERCENTAGE_LIMIT ? "passed" : "failed"; }

}  // namespace

int run_test_iterations() {
    if (tape::rewind_tape() != 0) return -1;
    if (tape::set_block_mode() != 0) return -1;

    const bool rwr_enabled = tape::drive_status_config.items[tape::ITEM_DRWR].enabled;
    const bool ecc_enabled = tape::drive_status_config.items[tape::ITEM_DECC].enabled;

    for (unsigned n = 1; n <= settings.iterations; ++n) {
        scsi::poll_interrupt();
        summary::begin_iteration(n);
        if (rwr_enabled || ecc_enabled) {
            tape::max_rwr_percentage = 0.0;
            tape::max_ecc_percentage = 0.0;
        }
        if (settings.iterations > 1) {
            print_to_streams(channels.console, channels.output_file, "\r\nTEST ITERATION %u (%s %s):\r\n", n,
                             frontend::date_text(), frontend::time_text());
        }
        summary::begin_phase(summary::Phase::write);
        if (run_write_phase() != 0) return -1;
        summary::end_phase();
        if (tape::rewind_tape() != 0) return -1;
        summary::begin_phase(summary::Phase::read_compare);
        if (run_read_compare_phase() != 0) return -1;
        summary::end_phase();
        if (tape::rewind_tape() != 0) return -1;

        if (rwr_enabled || ecc_enabled) print_to_streams(channels.console, channels.output_file, "\r\n");
        if (rwr_enabled) {
            print_to_streams(channels.console, channels.output_file,
                             "maximum RWR percentage calculated ............ %.1f%% (%s)\r\n",
                             tape::max_rwr_percentage, verdict(tape::max_rwr_percentage));
            summary::note_maximum(true, tape::max_rwr_percentage, tape::max_rwr_percentage <= PERCENTAGE_LIMIT);
        }
        if (ecc_enabled) {
            print_to_streams(channels.console, channels.output_file,
                             "maximum ECC percentage calculated ............ %.1f%% (%s)\r\n",
                             tape::max_ecc_percentage, verdict(tape::max_ecc_percentage));
            summary::note_maximum(false, tape::max_ecc_percentage, tape::max_ecc_percentage <= PERCENTAGE_LIMIT);
        }
        if (settings.unload_reload && tape::unload_reload_drive() != 0) return -1;
        frontend::flush_report_files();
    }
    return 0;
}

}  // namespace zv::driver
