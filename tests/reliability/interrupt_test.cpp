// Ctrl-C (SIGINT) at many moments of a slowed run: start-up, the filemarks,
// the middle of an interval, a drive status read, the waits for the drive
// after a load and after the unload/reload. Every time the run must end with
// exit status 1, leave the report as the uninterrupted run has it up to a
// whole line, leave the CDB list with whole lines only, give the terminal its
// cursor back and clean up once. A second SIGINT during the clean-up must
// change nothing.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <random>

#include "process.h"

namespace {

using namespace zv::reliability;
using Clock = std::chrono::steady_clock;

// One iteration of 2 MB in two intervals per phase, every command 10 ms
// slower, the drive's counters read around every interval with a 100 ms
// pause, unload/reload at the end, a CDB list.
std::vector<std::string> slow_run_args() {
    return {"/vbus", (DATA / "slow_run.vbus").string(), "/megs", "2", "/sdint", "1", "/uld",
            "/dsc",  "VIRTUAL", "100", "/cfile", "cdb.txt"};
}

// When to break: a while (0 to max_ms) after the console first shows a text.
struct Moment {
    const char* name;
    const char* trigger;
    int max_ms;
};
const Moment MOMENTS[] = {
    {"start-up", "-- ZV TAPE DRIVE TEST PROGRAM", 5},
    {"first rewind and its wait for the drive", "\r\nrewinding tape\r\n", 900},
    {"writing the two filemarks", "writing two filemarks", 15},
    {"middle of a write interval", "writing 1.000 MB of test data", 140},
    {"drive status read", "write transfer rate", 250},
    {"middle of a read/compare interval", "reading/comparing 1.000 MB of test data", 140},
    {"unload/reload wait", "unloading/reloading drive ...", 700},
    {"read/compare status read", "read/compare transfer rate", 250},
};
constexpr int ROUNDS = 3;
constexpr std::size_t AT_ONCE = 6;  // runs in parallel: they mostly wait

struct Break {
    const Moment* moment = nullptr;
    int delay_ms = 0;
    bool twice = false;  // a second SIGINT right after the first, during the clean-up
    TerminalRun run;
    bool triggered = false;
    Clock::time_point at;
    bool sent = false;
};

// One or more " xx" groups (lower-case hex), then CR. Checked by hand: the
// sanitizer build's g++ 12 warns inside <regex>.
bool is_cdb_line(const std::string& line) {
    const auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    if (line.size() < 4 || (line.size() - 1) % 3 != 0 || line.back() != '\r') return false;
    for (std::size_t i = 0; i + 1 < line.size(); i += 3)
        if (line[i] != ' ' || !hex(line[i + 1]) || !hex(line[i + 2])) return false;
    return true;
}

struct Reference {
    std::string report;    // masked
    std::string cdb_list;
    std::size_t cursor_shows = 0;
};

// The run without a break, on a terminal as well.
Reference reference_run() {
    Reference reference;
    const fs::path directory = scratch_directory("interrupt_reference");
    fs::copy_file(EXAMPLES / "zvtape.dsc", directory / "zvtape.dsc");
    TerminalRun run = start_on_terminal(directory, slow_run_args());
    const auto deadline = Clock::now() + std::chrono::seconds(120);
    while (run.pump(100) && Clock::now() < deadline) {
    }
    if (!run.ended) ::kill(run.pid, SIGKILL);
    while (run.pump(100)) {
    }
    const CapturedRun result = run.result();
    EXPECT_EQ(result.exit_status, 0) << result.err;
    reference.report = mask_variable_fields(read_file(directory / "zvtape.out"));
    EXPECT_EQ(visible_line_ends(reference.report), visible_line_ends(with_crlf(read_file(DATA / "slow_run.out"))));
    reference.cdb_list = read_file(directory / "cdb.txt");
    reference.cursor_shows = count_of(result.out, SHOW_CURSOR);
    EXPECT_GE(reference.cursor_shows, 1u);
    fs::remove_all(directory);
    return reference;
}

void judge(const Break& b, const Reference& reference) {
    SCOPED_TRACE(std::string(b.moment->name) + ", " + std::to_string(b.delay_ms) + " ms after \"" +
                 b.moment->trigger + "\"" + (b.twice ? ", two SIGINTs" : ""));
    ASSERT_TRUE(b.sent) << "the console never showed the trigger:\n" << visible_line_ends(b.run.console);
    const CapturedRun result = b.run.result();
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "");

    // The report so far: the uninterrupted one, cut after a whole line.
    const std::string report = mask_variable_fields(read_file(b.run.directory / "zvtape.out"));
    EXPECT_EQ(visible_line_ends(reference.report.substr(0, report.size())), visible_line_ends(report));
    EXPECT_TRUE(report.empty() || report.compare(report.size() - 2, 2, "\r\n") == 0)
        << visible_line_ends(report.substr(report.size() > 80 ? report.size() - 80 : 0));

    // The CDB list: whole lines, the same commands as without the break.
    const std::string cdb_list = read_file(b.run.directory / "cdb.txt");
    EXPECT_TRUE(cdb_list.empty() || cdb_list.back() == '\n');
    EXPECT_EQ(reference.cdb_list.substr(0, cdb_list.size()), cdb_list);
    std::size_t start = 0;
    while (start < cdb_list.size()) {
        const std::size_t end = cdb_list.find('\n', start);
        const std::string line = cdb_list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        EXPECT_TRUE(is_cdb_line(line)) << visible_line_ends(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }

    // The cursor: hidden once, shown again at the end, by one clean-up (as
    // many show switches as an uninterrupted run makes).
    const std::size_t hidden = result.out.find(HIDE_CURSOR);
    ASSERT_NE(hidden, std::string::npos);
    EXPECT_EQ(count_of(result.out, HIDE_CURSOR), 1u);
    EXPECT_GT(result.out.rfind(SHOW_CURSOR), hidden);
    EXPECT_EQ(count_of(result.out, SHOW_CURSOR), reference.cursor_shows);
}

TEST(Interrupt, BreakAtRandomMomentsKeepsReportAndCleansUpOnce) {
    const Reference reference = reference_run();
    if (HasFailure()) return;

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::vector<Break> breaks;
    for (int round = 0; round < ROUNDS; ++round) {
        for (const Moment& moment : MOMENTS) {
            std::uniform_int_distribution<int> delay(0, moment.max_ms);
            Break b;
            b.moment = &moment;
            b.delay_ms = delay(random);
            b.twice = breaks.size() % 2 == 1;
            breaks.push_back(std::move(b));
        }
    }

    for (std::size_t first = 0; first < breaks.size(); first += AT_ONCE) {
        const std::size_t last = std::min(breaks.size(), first + AT_ONCE);
        for (std::size_t i = first; i < last; ++i) {
            const fs::path directory = scratch_directory("interrupt_" + std::to_string(i));
            fs::copy_file(EXAMPLES / "zvtape.dsc", directory / "zvtape.dsc");
            breaks[i].run = start_on_terminal(directory, slow_run_args());
            ASSERT_GT(breaks[i].run.pid, 0);
        }
        const auto deadline = Clock::now() + std::chrono::seconds(120);
        for (bool running = true; running && Clock::now() < deadline;) {
            running = false;
            for (std::size_t i = first; i < last; ++i) {
                Break& b = breaks[i];
                if (!b.run.pump(2)) continue;
                running = true;
                if (!b.triggered && b.run.console.find(b.moment->trigger) != std::string::npos) {
                    b.triggered = true;
                    b.at = Clock::now() + std::chrono::milliseconds(b.delay_ms);
                }
                if (b.triggered && !b.sent && Clock::now() >= b.at) {
                    ::kill(b.run.pid, SIGINT);
                    if (b.twice) ::kill(b.run.pid, SIGINT);
                    b.sent = true;
                }
            }
        }
        for (std::size_t i = first; i < last; ++i) {
            if (!breaks[i].run.ended) ::kill(breaks[i].run.pid, SIGKILL);
            while (breaks[i].run.pump(100)) {
            }
            judge(breaks[i], reference);
            fs::remove_all(breaks[i].run.directory);
        }
    }
}

}  // namespace
