// The options file reader: the input is the file that "/cfg" names.
#include "frontend/options.h"
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    zv::fuzz::enter_scratch_directory(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zv::fuzz::reset_process_state();
    zv::fuzz::write_file("fuzz.cfg", data, size);
    char program[] = "zvtape";
    char option[] = "/cfg";
    char name[] = "fuzz.cfg";
    char* args[] = {program, option, name, nullptr};
    const int result = zv::frontend::parse_options(3, args);
    if (result != 0 && result != -1) __builtin_trap();
    // A nested "/cfg" is skipped, so a second top-level parse works the same.
    zv::fuzz::reset_process_state();
    if (zv::frontend::parse_options(3, args) != result) __builtin_trap();
    return 0;
}
