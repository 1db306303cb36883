// The machine-readable run summary ("/json <file>"): figures are collected
// per interval while the run goes on and written as one JSON document after
// the clean-up. Every function does nothing unless a summary was asked for,
// so a run without "/json" is unchanged.
#pragma once

#include <cstdint>
#include <memory>

#include "scsi/port.h"

namespace zv::driver {

struct PhaseStatistics;

namespace summary {

enum class Phase { none, write, read_compare };

// The printed drive status values of the current interval (the drive status
// monitoring reports each one as it prints it).
enum class StatusValue {
    compression_ratio,
    rwr_percentage,
    ecc_percentage,
    tape_position,
    read_write_retry_counter,
    tracking_retry_counter,
};

enum class Outcome { completed, failed, interrupted };

bool enabled();

// Program start, once the options are parsed: the start time.
void begin_run();

// Wraps the run's port driver so that the last CDB sent is known when a
// command fails; returns the port unchanged without a summary.
std::unique_ptr<port::PortDriver> watch_port(std::unique_ptr<port::PortDriver> port);

// The drive's INQUIRY identity, taken right after the report header.
void note_drive();
// The transfer plan, once planning succeeded.
void note_plan();

void begin_iteration(unsigned number);
void begin_phase(Phase phase);
// The phase returned 0; a failure after this point lies outside the phase.
void end_phase();
// The filemark step before the first interval met end of medium or blank check.
void note_end_at_filemarks();
void begin_interval(std::uint32_t number);
// The interval's report was printed (before its drive status values).
void record_interval(const PhaseStatistics& statistics);
void note_status_value(StatusValue which, double value);
// The RWR/ECC line of the iteration summary.
void note_maximum(bool rwr, double maximum, bool passed);
void note_miscompare(std::uint32_t command, std::uint32_t offset);

// Before the clean-up frees the command layer: the last command's outcome
// and sense data.
void capture_last_command();

// After the clean-up: writes the summary through a temporary file and a
// rename. Returns 0, or -1 after a message on the error console.
int write(Outcome outcome, int exit_status);

}  // namespace summary
}  // namespace zv::driver
