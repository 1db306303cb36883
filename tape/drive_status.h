// Drive status monitoring: the drive's own counters around every interval.
#pragma once

#include <cstdint>

namespace zv::tape {

extern double max_rwr_percentage;
extern double max_ecc_percentage;

// moment: 0 start of an interval, 1 end; phase: 0 write, else read/compare;
// amount: bytes the interval moved (0.0 at the start).
int display_drive_status(std::uint16_t moment, std::uint16_t phase, double amount);
int get_drive_status_value(int item, double& value);

}  // namespace zv::tape
