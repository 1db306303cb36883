// What every fuzz target shares: a scratch working directory, silenced
// output channels and fresh process-wide records for each input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace zv::fuzz {

// Once per process, from LLVMFuzzerInitialize: chdir to a new directory
// under /tmp (removed at exit) so that files named by an input land there.
// libFuzzer reads its arguments after this, so relative corpus and input
// paths are made absolute first, and crash files still go to the directory
// the fuzzer was started in.
void enter_scratch_directory(int* argc, char*** argv);

// Before each input: settings, exit status, drive status configuration and
// output channels as at program start, with console and error console sent
// to /dev/null (ZV_FUZZ_VERBOSE=1 keeps them, for looking at one input).
void reset_process_state();

// Writes bytes to a file in the working directory.
void write_file(const char* name, const std::uint8_t* data, std::size_t size);

// Splits the input at NUL bytes into writable argument texts; argv[0] is the
// program name and the vector ends with a null pointer.
struct ArgumentVector {
    std::vector<std::string> texts;
    std::vector<char*> pointers;
    int count() const { return static_cast<int>(pointers.size()) - 1; }
    char** data() { return pointers.data(); }
};
ArgumentVector split_arguments(const std::uint8_t* data, std::size_t size, std::size_t max_arguments);

}  // namespace zv::fuzz
