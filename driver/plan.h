// Transfer planning.
#pragma once

#include <cstdint>

namespace zv::driver {

struct TransferPlan {
    std::uint32_t block_size = 0;
    std::uint32_t blocks_per_command = 0;
    std::uint32_t total_commands = 0;
    std::uint32_t commands_per_interval = 0;
    double interval_mb = 0.0;
    std::uint32_t interval_count = 0;
};

extern TransferPlan plan;

int plan_transfers();
void plan_status_intervals();

// Double to unsigned 32-bit count: truncated to 64 bits, low 32 kept; 2^63 or
// more, infinities and NaN give 0.
std::uint32_t count_from_double(double value);

}  // namespace zv::driver
