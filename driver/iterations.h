#pragma once

namespace zv::driver {

int run_test_iterations();

}  // namespace zv::driver
