#include "driver/iterations.h"

namespace zv::driver {

int run_test_iterations() { return -1; }

}  // namespace zv::driver
