// Runs a program for an end-to-end test: in a given working directory, its
// standard output and error captured, its way of ending judged.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zv::test {

struct CapturedRun {
    int exit_status = -1;  // -1: did not exit normally
    int signal = 0;        // the signal that ended it, if one did
    std::string out;
    std::string err;
};

// argv[0] is the program (looked up in PATH when it has no slash).
CapturedRun run_captured(const std::vector<std::string>& argv, const std::filesystem::path& directory);

// Pointers into storage, ended by a null pointer, as exec takes them.
std::vector<char*> argument_pointers(std::vector<std::string>& storage);

// How the program ended, from the status waitpid gave; out and err empty.
CapturedRun judge(int wait_status);

// A fresh, empty directory under the system's temporary directory; the
// process id in its name keeps test programs run side by side apart.
std::filesystem::path scratch_directory(const std::string& name);

std::string read_file(const std::filesystem::path& path);

// Date "MM/DD/YY HH:MM:SS xm", "#.## SEC" and "# KB/SEC" in place of the
// figures that change from run to run.
std::string mask_variable_fields(const std::string& text);

// Every LF as CR LF: expected reports are written with LF alone.
std::string with_crlf(const std::string& text);

// Shows CR and LF so that a failed comparison tells line ends apart.
std::string visible_line_ends(const std::string& text);

}  // namespace zv::test
