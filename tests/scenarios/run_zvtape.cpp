#include "run_zvtape.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>
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
    const std::string out_path = (directory / ".stdout").string();
    const std::string err_path = (directory / ".stderr").string();
    std::vector<std::string> storage = {ZVTAPE_BIN};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);

    RunResult result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(directory.c_str()) != 0) ::_exit(127);
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0) ::_exit(127);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    result.console = read_file(out_path);
    result.errors = read_file(err_path);
    std::filesystem::remove(out_path);
    std::filesystem::remove(err_path);
    return result;
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string mask_variable_fields(const std::string& text) {
    static const std::regex date_time(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d [ap]m)");
    static const std::regex seconds(R"(\d+\.\d\d SEC)");
    static const std::regex rate(R"(\d+ KB/SEC)");
    std::string masked = std::regex_replace(text, date_time, "MM/DD/YY HH:MM:SS xm");
    masked = std::regex_replace(masked, seconds, "#.## SEC");
    return std::regex_replace(masked, rate, "# KB/SEC");
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
