// Program entry, run sequence, clean-up and break handling.
#pragma once

namespace zv::driver {

// The whole program: returns the exit status.
int run_program(int argc, char** argv);
void clean_up();
void on_break_interrupt(int signal_number);

}  // namespace zv::driver
