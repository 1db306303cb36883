#include "driver/run.h"

int main(int argc, char** argv) { return zv::driver::run_program(argc, argv); }
