// Runs the built or installed programs in a scratch directory, and the JSON
// Schema check of a summary file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "captured_run.h"

namespace zv::test {

using ProcessResult = CapturedRun;

// Runs program with args in directory and waits for it.
ProcessResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& directory);

void write_file(const std::filesystem::path& path, const std::string& text);

// "" when the file is valid against docs/summary.schema.json, otherwise the
// validator's messages.
std::string schema_errors(const std::filesystem::path& summary);

bool tool_exists(const std::string& name);

}  // namespace zv::test
