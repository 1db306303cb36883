#include "run_zvtape.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace zv::test {

std::filesystem::path make_scratch_directory(const std::string& name) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("zv_scenario_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
}

RunResult run_zvtape(const std::filesystem::path& directory, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ZVTAPE_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    const CapturedRun run = run_captured(argv, directory);
    return {run.exit_status, run.out, run.err};
}


std::string visible_line_ends(const std::string& text) {
    std::string shown;
    for (char c : text) {
        if (c == '\r') {
            shown += "<CR>";
        } else if (c == '\n') {
            shown += "<LF>\n";
        } else {
            shown += c;
        }
    }
    return shown;
}

}  // namespace zv::test
