// The write phase and the read/compare phase.
#pragma once

#include <cstdint>

namespace zv::driver {

struct PhaseStatistics {
    std::uint32_t commands = 0;
    double seconds = 0.0;
    bool end_reached = false;
    double amount_mb = 0.0;
    double rate_kb_per_sec = 0.0;
};

int run_write_phase();
int write_interval(std::uint32_t blocks_per_command, PhaseStatistics& statistics);
int run_read_compare_phase();
int read_compare_interval(std::uint32_t blocks_per_command, const std::uint8_t* expected,
                          PhaseStatistics& statistics);
void start_interval_timer();
double interval_timer_seconds();

}  // namespace zv::driver
