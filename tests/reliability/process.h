// Runs the built zvtape for the reliability tests: in a scratch directory,
// with its console on a file or on a pseudo-terminal, and the helpers that
// judge what it left behind.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "captured_run.h"

namespace zv::reliability {

namespace fs = std::filesystem;

const fs::path DATA = ZV_TESTDATA_DIR;
const fs::path EXAMPLES = fs::path(ZV_SOURCE_DIR) / "examples";
const std::string HIDE_CURSOR = "\x1b[?25l";
const std::string SHOW_CURSOR = "\x1b[?25h";

using test::CapturedRun;
using test::mask_variable_fields;
using test::read_file;
using test::scratch_directory;
using test::visible_line_ends;
using test::with_crlf;

// Runs program (zvtape unless given) with args in directory, console and
// error console to files, and waits for it.
CapturedRun run_program(const fs::path& directory, const std::vector<std::string>& args,
                        const std::vector<std::string>& prefix = {});

// A zvtape started on a pseudo-terminal (its console), error console to a
// file in its directory. The caller reads the console with pump().
struct TerminalRun {
    pid_t pid = -1;
    int master = -1;
    fs::path directory;
    std::string console;
    bool ended = false;
    int status = 0;  // waitpid status once ended

    // Reads what the terminal has (waiting up to timeout_ms); reaps the
    // program once it has ended. False once it has ended.
    bool pump(int timeout_ms);
    CapturedRun result() const;
};
TerminalRun start_on_terminal(const fs::path& directory, const std::vector<std::string>& args,
                              const std::vector<std::string>& prefix = {});

std::size_t count_of(const std::string& text, const std::string& part);

}  // namespace zv::reliability
