// Drive status monitoring.
#include "tape/drive_status.h"

namespace zv::tape {

double max_rwr_percentage = 0.0;
double max_ecc_percentage = 0.0;

int display_drive_status(std::uint16_t, std::uint16_t, double) { return -1; }
int get_drive_status_value(int, double&) { return -1; }

}  // namespace zv::tape
