// "/json <file>": the summary of every kind of run ending, each checked
// against the schema in docs/ and for the figures the run reported; the
// report itself stays what it is without the option.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "process.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using zv::test::read_file;

const fs::path DATA = ZV_TESTDATA_DIR;
const fs::path DSC_FILE = fs::path(ZV_SOURCE_DIR) / "examples" / "zvtape.dsc";
const char* const SUMMARY = "summary.json";

json where(const json& iteration, const json& phase, const json& interval) {
    return json{{"iteration", iteration}, {"phase", phase}, {"interval", interval}};
}

struct SummaryCase {
    const char* name;
    const char* bus;
    std::vector<std::string> options;
    int exit_status;
    std::function<void(const json&)> check;
};

void PrintTo(const SummaryCase& c, std::ostream* os) { *os << c.name; }

void check_completed_with_drive_status(const json& s) {
    EXPECT_EQ(s["outcome"], (json{{"result", "completed"}, {"exit_status", 0}}));
    EXPECT_EQ(s["drive"], (json{{"vendor", "ZENTROVA"}, {"product", "VIRTUAL TAPE"}, {"revision", "1.00"}}));
    EXPECT_EQ(s["settings"]["data_amount_mb"], 2.0);
    EXPECT_EQ(s["settings"]["status_interval_mb"], 1.0);
    EXPECT_EQ(s["settings"]["drive_status_config_loaded"], true);
    EXPECT_EQ(s["plan"]["interval_count"], 2);
    EXPECT_EQ(s["plan"]["commands_per_interval"], 16);
    ASSERT_EQ(s["iterations"].size(), 1u);
    const json& iteration = s["iterations"][0];
    for (const char* phase : {"write", "read_compare"}) {
        SCOPED_TRACE(phase);
        ASSERT_EQ(iteration[phase]["intervals"].size(), 2u);
        EXPECT_EQ(iteration[phase]["completed"], true);
        for (int k = 0; k < 2; ++k) {
            const json& interval = iteration[phase]["intervals"][k];
            EXPECT_EQ(interval["interval"], k + 1);
            EXPECT_EQ(interval["commands"], 16);
            EXPECT_EQ(interval["mb_moved"], 1.0);
            const json& status = interval["drive_status"];
            EXPECT_EQ(status["compression_ratio"], 2.0);
            // Two filemarks and 1024 blocks of 1 KB per interval.
            EXPECT_EQ(status["tape_position"], 2 + 1024 * (k + 1));
            EXPECT_EQ(status["read_write_retry_counter"], 3);
            EXPECT_EQ(status["tracking_retry_counter"], 1);
        }
    }
    EXPECT_NEAR(iteration["write"]["intervals"][0]["drive_status"]["rwr_percentage"].get<double>(), 0.4, 0.05);
    EXPECT_NEAR(iteration["read_compare"]["intervals"][1]["drive_status"]["ecc_percentage"].get<double>(), 0.1, 0.05);
    EXPECT_EQ(iteration["rwr"]["verdict"], "passed");
    EXPECT_NEAR(iteration["rwr"]["max_percentage"].get<double>(), 0.4, 0.05);
    EXPECT_EQ(iteration["ecc"]["verdict"], "passed");
    EXPECT_LE(s["start_time"].get<std::string>(), s["end_time"].get<std::string>());
}

void check_end_of_medium(const json& s) {
    EXPECT_EQ(s["outcome"]["result"], "completed");
    const json& write = s["iterations"][0]["write"];
    EXPECT_EQ(write["end_of_medium"], true);
    EXPECT_EQ(write["at_filemarks"], false);
    ASSERT_EQ(write["intervals"].size(), 2u);
    EXPECT_EQ(write["intervals"][0]["end_of_medium"], false);
    const json& last_write = write["intervals"][1];
    EXPECT_EQ(last_write["end_of_medium"], true);
    EXPECT_EQ(last_write["commands_planned"], 16);
    EXPECT_EQ(last_write["commands"], 5);
    EXPECT_EQ(last_write["mb_planned"], 1.0);
    EXPECT_EQ(last_write["mb_moved"], 0.3125);
    EXPECT_EQ(last_write["drive_status"], json::object());
    // The read/compare phase meets blank check right after the 21 records.
    const json& read = s["iterations"][0]["read_compare"];
    EXPECT_EQ(read["blank_check"], true);
    ASSERT_EQ(read["intervals"].size(), 2u);
    EXPECT_EQ(read["intervals"][0]["blank_check"], false);
    EXPECT_EQ(read["intervals"][1]["blank_check"], true);
    EXPECT_EQ(read["intervals"][1]["commands"], 6);
}

void check_write_fails(const json& s) {
    const json& outcome = s["outcome"];
    EXPECT_EQ(outcome["result"], "failed");
    EXPECT_EQ(outcome["exit_status"], 1);
    EXPECT_EQ(outcome["where"], where(1, "write", 1));
    const json& command = outcome["command"];
    // WRITE(6), fixed blocks, 64 blocks of 1 KB.
    EXPECT_EQ(command["cdb"], (json{0x0A, 0x01, 0x00, 0x00, 0x40, 0x00}));
    EXPECT_EQ(command["srb_status"], 0);
    EXPECT_EQ(command["error_code"], 0);
    EXPECT_EQ(command["target_status"], 2);
    // Fixed-format auto-sense: MEDIUM ERROR, 0Ch/00h.
    EXPECT_EQ(command["sense"], (json{0x70, 0, 0x03, 0, 0, 0, 0, 0x0A, 0, 0, 0, 0, 0x0C, 0, 0, 0, 0, 0}));
    EXPECT_EQ(s["iterations"][0]["write"]["completed"], false);
    EXPECT_FALSE(s["iterations"][0].contains("read_compare"));
}

void check_read_call_fails(const json& s) {
    const json& outcome = s["outcome"];
    EXPECT_EQ(outcome["result"], "failed");
    EXPECT_EQ(outcome["where"], where(1, "read_compare", 1));
    const json& command = outcome["command"];
    EXPECT_EQ(command["cdb"], (json{0x08, 0x01, 0x00, 0x00, 0x40, 0x00}));
    EXPECT_EQ(command["srb_status"], 0xFF);
    EXPECT_EQ(command["error_code"], 1117);
    EXPECT_EQ(command["target_status"], 0);
    EXPECT_EQ(command["sense"], json::array());
    EXPECT_EQ(s["iterations"][0]["write"]["completed"], true);
    EXPECT_EQ(s["iterations"][0]["read_compare"]["completed"], false);
}

void check_unknown_target(const json& s) {
    EXPECT_EQ(s["outcome"]["result"], "failed");
    EXPECT_EQ(s["outcome"]["where"], where(nullptr, nullptr, nullptr));
    EXPECT_EQ(s["drive"], nullptr);
    EXPECT_EQ(s["plan"], nullptr);
    EXPECT_EQ(s["iterations"], json::array());
    EXPECT_EQ(s["settings"]["target_id"], 5);
}

void check_miscompare(const json& s) {
    EXPECT_EQ(s["outcome"], (json{{"result", "miscompare"},
                                  {"exit_status", 1},
                                  {"where", where(1, "read_compare", 1)},
                                  {"command", 3},
                                  {"offset", 9}}));
    EXPECT_EQ(s["settings"]["dump_bytes"], nullptr);
}

void check_miscompare_in_iteration_2(const json& s) {
    EXPECT_EQ(s["outcome"]["result"], "miscompare");
    // Two READ(6) per iteration: the 3rd one is the first of iteration 2.
    EXPECT_EQ(s["outcome"]["where"], where(2, "read_compare", 1));
    EXPECT_EQ(s["outcome"]["command"], 1);
    EXPECT_EQ(s["outcome"]["offset"], 9);
    ASSERT_EQ(s["iterations"].size(), 2u);
    EXPECT_EQ(s["iterations"][0]["read_compare"]["completed"], true);
    EXPECT_EQ(s["settings"]["iterations"], 3);
}

class SummaryTest : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(SummaryTest, ValidAndTellsHowTheRunEnded) {
    const SummaryCase& c = GetParam();
    const fs::path directory = zv::test::scratch_directory(std::string(c.name) + "_json");
    const fs::path plain = zv::test::scratch_directory(std::string(c.name) + "_plain");
    for (const fs::path& d : {directory, plain}) fs::copy_file(DSC_FILE, d / "zvtape.dsc");
    std::vector<std::string> args = {"/vbus", (DATA / c.bus).string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const zv::test::ProcessResult without = zv::test::run_program(ZVTAPE_BIN, args, plain);
    args.insert(args.end(), {"/json", SUMMARY});
    const zv::test::ProcessResult with = zv::test::run_program(ZVTAPE_BIN, args, directory);

    EXPECT_EQ(with.exit_status, c.exit_status) << with.err;
    EXPECT_EQ(with.err, without.err);
    // The report does not change with the option.
    EXPECT_EQ(zv::test::mask_variable_fields(read_file(directory / "zvtape.out")),
              zv::test::mask_variable_fields(read_file(plain / "zvtape.out")));

    // The temporary file is gone: only the summary is left beside the report.
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(directory)) files.push_back(entry.path().filename());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{SUMMARY, "zvtape.dsc", "zvtape.out"}));

    const fs::path summary = directory / SUMMARY;
    EXPECT_EQ(zv::test::schema_errors(summary), "");
    const json document = json::parse(read_file(summary), nullptr, false);
    ASSERT_FALSE(document.is_discarded());
    EXPECT_EQ(document["program"], "zvtape");
    EXPECT_EQ(document["version"], "1.57");
    EXPECT_EQ(document["outcome"]["exit_status"], c.exit_status);
    c.check(document);
    fs::remove_all(directory);
    fs::remove_all(plain);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, SummaryTest,
    ::testing::Values(
        SummaryCase{"completed", "drive_status.vbus", {"/megs", "2", "/sdint", "1", "/dsc", "VIRTUAL"}, 0,
                    check_completed_with_drive_status},
        SummaryCase{"end_of_medium", "eom.vbus", {"/megs", "4", "/sdint", "1"}, 0, check_end_of_medium},
        SummaryCase{"write_fails", "write_fails.vbus", {"/megs", "1"}, 1, check_write_fails},
        SummaryCase{"read_call_fails", "read_call_fails.vbus", {"/megs", "1"}, 1, check_read_call_fails},
        SummaryCase{"unknown_target", "basic.vbus", {"/tid", "5"}, 1, check_unknown_target},
        SummaryCase{"miscompare", "miscompare.vbus", {"/megs", "1"}, 1, check_miscompare},
        SummaryCase{"miscompare_iteration_2", "miscompare.vbus", {"/megs", "1", "/maxtl", "0x80000", "/loop", "3"}, 1,
                    check_miscompare_in_iteration_2}),
    [](const ::testing::TestParamInfo<SummaryCase>& info) { return std::string(info.param.name); });

// Ctrl-C while writing: the clean-up runs, then the summary says where the
// run stood.
TEST(Summary, InterruptedRun) {
    const fs::path directory = zv::test::scratch_directory("interrupted");
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const std::string bus = (DATA / "slow.vbus").string();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(out[0]);
        if (::chdir(directory.c_str()) != 0) ::_exit(127);
        ::dup2(out[1], STDOUT_FILENO);
        ::execl(ZVTAPE_BIN, ZVTAPE_BIN, "/vbus", bus.c_str(), "/megs", "64", "/json", SUMMARY,
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string console;
    bool interrupted = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd ready{out[0], POLLIN, 0};
        if (::poll(&ready, 1, 100) > 0) {
            char buffer[4096];
            const ssize_t count = ::read(out[0], buffer, sizeof buffer);
            if (count <= 0) break;
            console.append(buffer, static_cast<std::size_t>(count));
        }
        // Break once the transfer is under way.
        if (!interrupted && console.find("1 MB\r") != std::string::npos) {
            ::kill(pid, SIGINT);
            interrupted = true;
        }
    }
    if (!interrupted) ::kill(pid, SIGKILL);
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(interrupted) << console;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);

    const fs::path summary = directory / SUMMARY;
    ASSERT_TRUE(fs::exists(summary));
    EXPECT_EQ(zv::test::schema_errors(summary), "");
    const json document = json::parse(read_file(summary), nullptr, false);
    ASSERT_FALSE(document.is_discarded());
    EXPECT_EQ(document["outcome"],
              (json{{"result", "interrupted"}, {"exit_status", 1}, {"where", where(1, "write", 1)}}));
    EXPECT_EQ(document["drive"]["product"], "VIRTUAL TAPE");
    // The interval in progress was never reported.
    EXPECT_EQ(document["iterations"][0]["write"]["intervals"], json::array());
    fs::remove_all(directory);
}

// A summary that cannot be written turns a good run into a failed one: a
// script must not take a missing summary for success.
TEST(Summary, UnwritableFileFailsTheRun) {
    const fs::path directory = zv::test::scratch_directory("unwritable");
    const zv::test::ProcessResult result = zv::test::run_program(
        ZVTAPE_BIN, {"/vbus", (DATA / "basic.vbus").string(), "/megs", "1", "/json", "missing/summary.json"},
        directory);
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "ERROR: unable to write JSON summary file \"missing/summary.json\"\n");
    EXPECT_NE(read_file(directory / "zvtape.out").find("read/compare transfer rate"), std::string::npos);
    fs::remove_all(directory);
}

// The schema is not a formality: summaries that break its rules fail.
TEST(Summary, SchemaRejectsInconsistentSummaries) {
    const fs::path directory = zv::test::scratch_directory("schema");
    const zv::test::ProcessResult run = zv::test::run_program(
        ZVTAPE_BIN, {"/vbus", (DATA / "basic.vbus").string(), "/megs", "1", "/json", SUMMARY}, directory);
    ASSERT_EQ(run.exit_status, 0) << run.err;
    const json good = json::parse(read_file(directory / SUMMARY));
    ASSERT_EQ(zv::test::schema_errors(directory / SUMMARY), "");

    const std::vector<std::pair<const char*, std::function<void(json&)>>> breaks = {
        {"completed with exit status 1", [](json& s) { s["outcome"]["exit_status"] = 1; }},
        {"miscompare without offset",
         [](json& s) { s["outcome"] = {{"result", "miscompare"}, {"exit_status", 1}, {"command", 1}}; }},
        {"time without offset from UTC", [](json& s) { s["end_time"] = "2026-03-07T13:05:00"; }},
        {"unknown phase in an interval",
         [](json& s) { s["iterations"][0]["write"]["intervals"][0]["blank_check"] = false; }},
        {"settings field missing", [](json& s) { s["settings"].erase("max_transfer_length"); }},
    };
    for (const auto& [name, change] : breaks) {
        json broken = good;
        change(broken);
        const fs::path file = directory / "broken.json";
        zv::test::write_file(file, broken.dump(2));
        EXPECT_NE(zv::test::schema_errors(file), "") << name;
    }
    fs::remove_all(directory);
}

}  // namespace
