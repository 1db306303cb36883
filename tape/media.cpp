// Media handling and positioning: rewind, the two filemarks that open the
// test area, spacing over them, and unload/reload between iterations.
#include "tape/media.h"

#include <chrono>
#include <thread>

#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/commands.h"
#include "scsi/layer.h"
#include "scsi/status_report.h"

namespace zv::tape {

bool prevent_allow_supported = true;
bool load_unload_supported = true;

namespace {

using frontend::channels;
using frontend::settings;

// Long waits are cut into slices so that a Ctrl-C is acted on promptly.
constexpr std::uint32_t SLEEP_SLICE_MS = 50;
constexpr std::uint32_t READY_POLL_MS = 1000;

// The drive does not know the command at all (invalid operation code).
bool command_unsupported() { return scsi::sense_is(scsi::SENSE_KEY_ILLEGAL_REQUEST, 0x20, 0x00); }

unsigned target_id() { return settings.target_id; }
unsigned target_lun() { return settings.lun; }

// Report lines go to the console and, byte for byte, to the output file.
#define REPORT(...) frontend::print_to_streams(channels.console, channels.output_file, __VA_ARGS__)

// The routine's own error line naming the target, then the status block.
#define REPORT_FAILURE(format)                          \
    do {                                                \
        REPORT(format, target_id(), target_lun());      \
        scsi::report_command_status();                  \
    } while (0)

int finish(int result) {
    frontend::flush_report_files();
    return result;
}

}  // namespace

int rewind_tape() {
    REPORT("\r\nrewinding tape\r\n");
    scsi::rewind(0);
    if (scsi::command_failed()) {
        REPORT_FAILURE("ERROR: unable to rewind tape at SCSI id %X LUN %u\r\n");
        return finish(-1);
    }
    return finish(0);
}

int write_two_filemarks(bool& end_of_medium) {
    REPORT("writing two filemarks\r\n");
    scsi::write_filemarks(2);
    if (scsi::command_failed()) {
        if (scsi::hit_end_of_medium()) {
            REPORT("hit \"EOM\" writing filemarks at SCSI id %X LUN %u\r\n(aborting all write testing)\r\n",
                   target_id(), target_lun());
            end_of_medium = true;
            return finish(0);
        }
        REPORT_FAILURE("ERROR: failure writing requested filemarks at SCSI id %X LUN %u\r\n");
        return finish(-1);
    }
    return finish(0);
}

int space_two_filemarks(bool& blank_check) {
    REPORT("spacing two filemarks\r\n");
    scsi::space(1, 2);
    if (scsi::command_failed()) {
        if (scsi::hit_blank_check()) {
            REPORT("hit \"blank check\" spacing filemarks at SCSI id %X LUN %u\r\n(aborting all read testing)\r\n",
                   target_id(), target_lun());
            blank_check = true;
            return finish(0);
        }
        REPORT_FAILURE("ERROR: failure spacing requested filemarks at SCSI id %X LUN %u\r\n");
        return finish(-1);
    }
    return finish(0);
}

int unload_reload_drive() {
    REPORT("\r\nunloading/reloading drive ...\r\n");

    if (prevent_allow_supported) {
        scsi::prevent_allow_medium_removal(1);
        if (scsi::command_failed()) {
            if (command_unsupported()) {
                prevent_allow_supported = false;
            } else {
                REPORT_FAILURE("ERROR: unable to prevent medium removal at SCSI id %X LUN %u\r\n");
                return finish(-1);
            }
        }
    }

    if (load_unload_supported) {
        scsi::load_unload(0, 0, 0);
        if (scsi::command_failed()) {
            if (command_unsupported()) {
                REPORT("ERROR: \"load/unload\" command is not supported (aborting \"/uld\" option\r\n"
                       "for SCSI id %X LUN %u)\r\n",
                       target_id(), target_lun());
                load_unload_supported = false;
            } else {
                REPORT_FAILURE("ERROR: unable to unload drive at SCSI id %X LUN %u\r\n");
                return finish(-1);
            }
        }
    }

    if (load_unload_supported) {
        scsi::load_unload(0, 0, 1);
        // No medium after the load is not an error: the wait below lasts
        // until an operator inserts one.
        if (scsi::command_failed() && !scsi::sense_is(scsi::SENSE_KEY_NOT_READY, 0x3A, 0x00)) {
            REPORT_FAILURE("ERROR: unable to load drive at SCSI id %X LUN %u\r\n");
            return finish(-1);
        }
        wait_for_drive_ready();
    }

    if (prevent_allow_supported) {
        scsi::prevent_allow_medium_removal(0);
        if (scsi::command_failed()) {
            REPORT_FAILURE("ERROR: unable to allow medium removal at SCSI id %X LUN %u\r\n");
            return finish(-1);
        }
    }
    return finish(0);
}

void wait_for_drive_ready() {
    for (;;) {
        sleep_milliseconds(READY_POLL_MS);
        scsi::test_unit_ready();
        if (!scsi::command_failed()) return;
    }
}

void sleep_milliseconds(std::uint32_t milliseconds) {
    while (milliseconds > 0) {
        const std::uint32_t slice = milliseconds < SLEEP_SLICE_MS ? milliseconds : SLEEP_SLICE_MS;
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        milliseconds -= slice;
        scsi::poll_interrupt();
    }
}

#undef REPORT_FAILURE
#undef REPORT

}  // namespace zv::tape
