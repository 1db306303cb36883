// Runs the built zvtape in a scratch directory and masks what changes from
// run to run (date, time, measured seconds and rates).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "captured_run.h"

namespace zv::test {

struct RunResult {
    int exit_status = -1;  // -1: did not exit normally
    std::string console;   // standard output
    std::string errors;    // standard error
};

// Runs ZVTAPE_BIN with args in directory and waits for it.
RunResult run_zvtape(const std::filesystem::path& directory, const std::vector<std::string>& args);

}  // namespace zv::test
