#include "captured_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <fstream>
#include <sstream>

namespace zv::test {

namespace fs = std::filesystem;

namespace {

// Matches shape at position: d a digit, x "a" or "p", anything else itself.
bool has_shape(const std::string& text, std::size_t position, const std::string& shape) {
    if (text.size() - position < shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const char c = text[position + i];
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(c))
                            : shape[i] == 'x' ? c != 'a' && c != 'p' : c != shape[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

CapturedRun run_captured(const std::vector<std::string>& arguments, const fs::path& directory) {
    // Outside the working directory, so the program's own files there are
    // all that a test finds in it.
    static std::atomic<unsigned> serial{0};
    const std::string stem = "zv_run_" + std::to_string(::getpid()) + "_" + std::to_string(serial++);
    const fs::path out_path = fs::temp_directory_path() / (stem + ".out");
    const fs::path err_path = fs::temp_directory_path() / (stem + ".err");
    std::vector<std::string> storage = arguments;
    const std::vector<char*> argv = argument_pointers(storage);

    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(directory.c_str()) != 0) ::_exit(127);
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0) ::_exit(127);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    CapturedRun result;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) result = judge(status);
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    fs::remove(out_path);
    fs::remove(err_path);
    return result;
}

std::vector<char*> argument_pointers(std::vector<std::string>& storage) {
    std::vector<char*> argv;
    for (std::string& arg : storage) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

CapturedRun judge(int wait_status) {
    CapturedRun result;
    if (WIFEXITED(wait_status)) result.exit_status = WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) result.signal = WTERMSIG(wait_status);
    return result;
}

fs::path scratch_directory(const std::string& name) {
    const fs::path path = fs::temp_directory_path() / ("zv_test_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(path);
    fs::create_directories(path);
    return path;
}

std::string read_file(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string mask_variable_fields(const std::string& text) {
    static const std::string DATE_TIME = "dd/dd/dd dd:dd:dd xm";
    std::string masked;
    std::size_t i = 0;
    while (i < text.size()) {
        const bool word_start = i == 0 || !std::isdigit(static_cast<unsigned char>(text[i - 1]));
        if (word_start && has_shape(text, i, DATE_TIME)) {
            masked += "MM/DD/YY HH:MM:SS xm";
            i += DATE_TIME.size();
            continue;
        }
        std::size_t end = i;
        while (word_start && end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end > i && has_shape(text, end, ".dd SEC")) {
            masked += "#.## SEC";
            i = end + 7;
        } else if (end > i && has_shape(text, end, " KB/SEC")) {
            masked += "# KB/SEC";
            i = end + 7;
        } else if (end > i) {
            masked.append(text, i, end - i);
            i = end;
        } else {
            masked += text[i++];
        }
    }
    return masked;
}

std::string with_crlf(const std::string& text) {
    std::string converted;
    for (char c : text) {
        if (c == '\n') converted += '\r';
        converted += c;
    }
    return converted;
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
