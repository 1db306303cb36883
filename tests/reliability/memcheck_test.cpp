// Whole runs under valgrind's memcheck: no invalid access, no use of
// uninitialised values, nothing definitely lost, for a run that completes, a
// run that a failed command ends and a run that Ctrl-C ends.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "process.h"

namespace {

using namespace zv::reliability;

// The address sanitizer's runtime and valgrind do not mix.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif
#else
constexpr bool SANITIZED = false;
#endif

constexpr int VALGRIND_ERROR_EXIT = 99;

bool valgrind_present() { return std::system("valgrind --version >/dev/null 2>&1") == 0; }

std::vector<std::string> memcheck_prefix(const fs::path& log) {
    return {"valgrind", "--tool=memcheck", "--leak-check=full", "--errors-for-leak-kinds=definite",
            "--error-exitcode=" + std::to_string(VALGRIND_ERROR_EXIT), "--track-origins=yes",
            "--log-file=" + log.string()};
}

// Skips (or, when CI asks for valgrind, fails) where memcheck cannot run.
#define REQUIRE_MEMCHECK()                                                              \
    do {                                                                                \
        if (SANITIZED) GTEST_SKIP() << "built with the address sanitizer";              \
        if (!valgrind_present()) {                                                      \
            const char* required = std::getenv("ZV_REQUIRE_VALGRIND");                  \
            if (required != nullptr && required[0] == '1') FAIL() << "valgrind missing"; \
            GTEST_SKIP() << "valgrind is not installed";                                \
        }                                                                               \
    } while (0)

void expect_clean_log(const fs::path& log) {
    const std::string text = read_file(log);
    EXPECT_NE(text.find("ERROR SUMMARY: 0 errors"), std::string::npos) << text;
    // Either every block was freed or none was definitely lost.
    const bool all_freed = text.find("All heap blocks were freed") != std::string::npos;
    const bool none_lost = text.find("definitely lost: 0 bytes") != std::string::npos;
    EXPECT_TRUE(all_freed || none_lost) << text;
}

struct MemcheckCase {
    const char* name;
    const char* bus;
    int exit_status;
};

TEST(Memcheck, CompletedAndFailingRuns) {
    REQUIRE_MEMCHECK();
    const MemcheckCase cases[] = {
        {"default run", "basic.vbus", 0},
        {"a WRITE(6) fails", "write_fails.vbus", 1},
    };
    for (const MemcheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path directory = scratch_directory("memcheck");
        const fs::path log = directory / "memcheck.log";
        const CapturedRun result =
            run_program(directory, {"/vbus", (DATA / c.bus).string(), "/megs", "1", "/cfile", "cdb.txt"},
                        memcheck_prefix(log));
        EXPECT_EQ(result.exit_status, c.exit_status) << result.err;
        expect_clean_log(log);
        fs::remove_all(directory);
    }
}

TEST(Memcheck, BreakDuringTransfer) {
    REQUIRE_MEMCHECK();
    const fs::path directory = scratch_directory("memcheck_break");
    const fs::path log = directory / "memcheck.log";
    TerminalRun run = start_on_terminal(directory, {"/vbus", (DATA / "slow_run.vbus").string(), "/megs", "2"},
                                        memcheck_prefix(log));
    ASSERT_GT(run.pid, 0);
    // Break once the first interval is under way.
    bool interrupted = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (run.pump(50) && std::chrono::steady_clock::now() < deadline) {
        if (!interrupted && run.console.find("writing 2.000 MB") != std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            ::kill(run.pid, SIGINT);
            interrupted = true;
        }
    }
    if (!run.ended) ::kill(run.pid, SIGKILL);
    while (run.pump(100)) {
    }
    ASSERT_TRUE(interrupted) << visible_line_ends(run.console);
    const CapturedRun result = run.result();
    EXPECT_EQ(result.exit_status, 1) << result.err;
    expect_clean_log(log);
    fs::remove_all(directory);
}

}  // namespace
