// Program entry: the run sequence, the exit status, the clean-up that every
// way out after start-up passes through, and the break handling.
#include "driver/run.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

#include "driver/iterations.h"
#include "driver/plan.h"
#include "driver/summary.h"
#include "emulator/virtual_bus.h"
#include "frontend/options.h"
#include "frontend/output.h"
#include "frontend/report_header.h"
#include "scsi/layer.h"
#include "scsi/linux_sg.h"
#include "scsi/port.h"
#include "scsi/startup.h"
#include "tape/patterns.h"

namespace zv::driver {

using frontend::channels;
using frontend::settings;

namespace {

// The port driver of this run: the virtual bus or the Linux SCSI generic
// layer. It outlives every command and goes with the clean-up.
std::unique_ptr<port::PortDriver> run_port;

// The layer is released once per run, whichever way out comes first.
bool layer_held = false;

void close_file(std::FILE*& stream) {
    if (stream == nullptr) return;
    std::fclose(stream);
    stream = nullptr;
}

}  // namespace

int run_program(int argc, char** argv) {
    if (frontend::parse_options(argc, argv) != 0) return frontend::exit_status;
    summary::begin_run();

    if (!settings.vbus_file_name.empty()) {
        std::string error;
        run_port = emulator::load_virtual_bus(settings.vbus_file_name, error);
        if (!run_port) {
            std::fprintf(channels.error_console, "%s\n", error.c_str());
            summary::write(summary::Outcome::failed, 1);
            return 1;
        }
    } else {
        run_port = port::make_linux_sg_port();
    }
    run_port = summary::watch_port(std::move(run_port));
    port::set_active_port(run_port.get());
    layer_held = true;

    if (scsi::start_run(on_break_interrupt) == 0) {
        frontend::print_report_header();
        summary::note_drive();
        frontend::print_settings_summary();
        if (plan_transfers() == 0) {
            summary::note_plan();
            if (run_test_iterations() == 0) frontend::exit_status = 0;
        }
    }
    // A Ctrl-C after the last command still ends the run as a break.
    scsi::poll_interrupt();
    summary::capture_last_command();
    clean_up();
    if (scsi::interrupt_pending) {
        summary::write(summary::Outcome::interrupted, 1);
        return 1;
    }
    const int status = frontend::exit_status;
    // A script that asked for a summary must not take a run without one for
    // a good run.
    if (summary::write(status == 0 ? summary::Outcome::completed : summary::Outcome::failed, status) != 0) return 1;
    return status;
}

void clean_up() {
    tape::free_buffer(tape::data_buffers.data_buffer_1, settings.max_transfer_length);
    tape::free_buffer(tape::data_buffers.data_buffer_2, settings.max_transfer_length);
    if (layer_held) {
        layer_held = false;
        scsi::release_scsi_layer();
        port::set_active_port(nullptr);
        run_port.reset();
    }
    // Both aliases of the files go before the files themselves.
    scsi::set_cdb_list_file(nullptr);
    frontend::set_layer_log_stream(nullptr);
    close_file(channels.output_file);
    close_file(channels.cdb_list_file);
    frontend::show_console_cursor();
}

void on_break_interrupt(int) {
    // A second Ctrl-C during the clean-up must not start another one.
    std::signal(SIGINT, SIG_IGN);
    summary::capture_last_command();
    clean_up();
    // The handler runs from the main flow's poll, not inside the signal, so
    // the summary may allocate and write files here.
    summary::write(summary::Outcome::interrupted, 1);
    std::signal(SIGINT, SIG_DFL);
    std::exit(1);
}

}  // namespace zv::driver
