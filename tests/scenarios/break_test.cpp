// Ctrl-C in the middle of a transfer: the run ends with exit status 1, the
// report stays as far as it went, and the terminal gets its cursor back.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "run_zvtape.h"

namespace {

namespace fs = std::filesystem;
using zv::test::with_crlf;

const fs::path DATA = ZV_TESTDATA_DIR;
const std::string HIDE_CURSOR = "\x1b[?25l";
const std::string SHOW_CURSOR = "\x1b[?25h";

TEST(Break, CtrlCDuringTransferCleansUpAndExitsWithOne) {
    const fs::path directory = zv::test::scratch_directory("break");
    // The console is a terminal, so the cursor switch is really sent.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string terminal = ::ptsname(master);
    const std::string bus = (DATA / "slow.vbus").string();

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        const int slave = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
        if (slave < 0 || ::chdir(directory.c_str()) != 0) ::_exit(127);
        ::dup2(slave, STDOUT_FILENO);
        ::execl(ZVTAPE_BIN, ZVTAPE_BIN, "/vbus", bus.c_str(), "/megs", "64", static_cast<char*>(nullptr));
        ::_exit(127);
    }

    std::string console;
    bool interrupted = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t count = ::read(master, buffer, sizeof buffer);
            if (count <= 0) break;  // the program has ended and closed the terminal
            console.append(buffer, static_cast<std::size_t>(count));
        }
        // Break once the transfer is under way (the first MB is counted).
        if (!interrupted && console.find("1 MB\r") != std::string::npos) {
            ::kill(pid, SIGINT);
            interrupted = true;
        }
    }
    if (!interrupted) ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(master);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
    ASSERT_TRUE(interrupted) << zv::test::visible_line_ends(console);

    // The cursor was hidden and is shown again at the end.
    const std::size_t hidden = console.find(HIDE_CURSOR);
    const std::size_t shown = console.rfind(SHOW_CURSOR);
    ASSERT_NE(hidden, std::string::npos);
    ASSERT_NE(shown, std::string::npos);
    EXPECT_GT(shown, hidden);
    EXPECT_EQ(console.find(HIDE_CURSOR, hidden + 1), std::string::npos);

    // The report as far as it went: the interval header, no time or rate.
    const std::string report = zv::test::read_file(directory / "zvtape.out");
    EXPECT_EQ(zv::test::visible_line_ends(zv::test::mask_variable_fields(report)),
              zv::test::visible_line_ends(with_crlf(zv::test::read_file(DATA / "break.out"))));
    fs::remove_all(directory);
}

}  // namespace
