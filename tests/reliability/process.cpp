#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>


namespace zv::reliability {

CapturedRun run_program(const fs::path& directory, const std::vector<std::string>& args,
                        const std::vector<std::string>& prefix) {
    std::vector<std::string> argv = prefix;
    argv.push_back(ZVTAPE_BIN);
    argv.insert(argv.end(), args.begin(), args.end());
    return test::run_captured(argv, directory);
}

TerminalRun start_on_terminal(const fs::path& directory, const std::vector<std::string>& args,
                              const std::vector<std::string>& prefix) {
    TerminalRun run;
    run.directory = directory;
    run.master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (run.master < 0 || ::grantpt(run.master) != 0 || ::unlockpt(run.master) != 0) return run;
    const std::string terminal = ::ptsname(run.master);
    const std::string err_path = (directory / ".stderr").string();
    std::vector<std::string> storage = prefix;
    storage.push_back(ZVTAPE_BIN);
    storage.insert(storage.end(), args.begin(), args.end());
    const std::vector<char*> argv = test::argument_pointers(storage);

    run.pid = ::fork();
    if (run.pid == 0) {
        const int slave = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (slave < 0 || err < 0 || ::chdir(directory.c_str()) != 0) ::_exit(127);
        // Raw, so that the console bytes arrive as the program wrote them.
        termios mode{};
        if (::tcgetattr(slave, &mode) == 0) {
            ::cfmakeraw(&mode);
            ::tcsetattr(slave, TCSANOW, &mode);
        }
        ::dup2(slave, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return run;
}

bool TerminalRun::pump(int timeout_ms) {
    if (ended) return false;
    pollfd ready{master, POLLIN, 0};
    if (::poll(&ready, 1, timeout_ms) <= 0) return true;
    char buffer[4096];
    const ssize_t count = ::read(master, buffer, sizeof buffer);
    if (count > 0) {
        console.append(buffer, static_cast<std::size_t>(count));
        return true;
    }
    // Every holder of the terminal has closed it: the program has ended
    // (what it wrote before was read first).
    ::waitpid(pid, &status, 0);
    ended = true;
    ::close(master);
    return false;
}

CapturedRun TerminalRun::result() const {
    CapturedRun r = test::judge(status);
    r.out = console;
    r.err = read_file(directory / ".stderr");
    return r;
}

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

}  // namespace zv::reliability
