// Runs the built zvtape in a scratch directory and masks what changes from
// run to run (date, time, measured seconds and rates).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "captured_run.h"

namespace zv::test {

// Runs ZVTAPE_BIN with args in directory and waits for it.
CapturedRun run_zvtape(const std::filesystem::path& directory, const std::vector<std::string>& args);

}  // namespace zv::test
