// Whole runs of zvtape on virtual bus fixtures. Each run's output file is
// compared with an expected file written from the report formats (LF line
// ends there; the report has CR LF), with date, time, seconds and rates
// masked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_zvtape.h"

namespace {

namespace fs = std::filesystem;
using zv::test::mask_variable_fields;
using zv::test::read_file;
using zv::test::visible_line_ends;
using zv::test::with_crlf;

const fs::path DATA = ZV_TESTDATA_DIR;
// The drive status entry "VIRTUAL" for the emulated drive.
const fs::path DSC_FILE = fs::path(ZV_SOURCE_DIR) / "examples" / "zvtape.dsc";

// The console shows the report, the console-only progress count ("N MB\r"
// at the start of a line) and the output file line of the settings summary.
std::string console_without_progress(const std::string& console) {
    std::string kept;
    std::size_t i = 0;
    while (i < console.size()) {
        const bool line_start = i == 0 || console[i - 1] == '\n' || console[i - 1] == '\r';
        std::size_t j = i;
        while (line_start && j < console.size() && std::isdigit(static_cast<unsigned char>(console[j]))) ++j;
        if (j > i && console.compare(j, 4, " MB\r") == 0) {
            i = j + 4;
            continue;
        }
        kept += console[i++];
    }
    return kept;
}

struct Scenario {
    const char* name;  // expected output: data/<name>.out
    const char* bus;   // fixture in data/
    std::vector<std::string> options;
    int exit_status;
    std::vector<fs::path> inputs;  // files copied into the working directory
    const char* cdb_list = nullptr;   // expected CDB list in data/, written as "cdb.txt"
};

void PrintTo(const Scenario& scenario, std::ostream* os) { *os << scenario.name; }

class ScenarioTest : public ::testing::TestWithParam<Scenario> {};

TEST_P(ScenarioTest, ReportAndExitStatus) {
    const Scenario& s = GetParam();
    const fs::path directory = zv::test::scratch_directory(s.name);
    for (const fs::path& input : s.inputs) fs::copy_file(input, directory / input.filename());
    std::vector<std::string> args = {"/vbus", (DATA / s.bus).string()};
    args.insert(args.end(), s.options.begin(), s.options.end());

    const zv::test::CapturedRun result = zv::test::run_zvtape(directory, args);

    EXPECT_EQ(result.exit_status, s.exit_status) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string report = read_file(directory / "zvtape.out");
    const std::string expected = with_crlf(read_file(DATA / (std::string(s.name) + ".out")));
    EXPECT_EQ(visible_line_ends(mask_variable_fields(report)), visible_line_ends(expected));

    // The console holds the same report, plus the progress count and the
    // output file line, which the file never gets.
    const std::string file_line = "output file = \"zvtape.out\"\r\n";
    std::string console = console_without_progress(result.out);
    const std::size_t at = console.find(file_line);
    ASSERT_NE(at, std::string::npos);
    console.erase(at, file_line.size());
    EXPECT_EQ(visible_line_ends(console), visible_line_ends(report));
    EXPECT_EQ(report.find("output file ="), std::string::npos);

    if (s.cdb_list != nullptr) {
        EXPECT_EQ(visible_line_ends(read_file(directory / "cdb.txt")),
                  visible_line_ends(with_crlf(read_file(DATA / s.cdb_list))));
    }
    fs::remove_all(directory);
}

const std::vector<std::string> ONE_MB = {"/megs", "1"};

std::vector<std::string> one_mb_and(std::vector<std::string> more) {
    more.insert(more.begin(), ONE_MB.begin(), ONE_MB.end());
    return more;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ScenarioTest,
    ::testing::Values(
        Scenario{"defaults", "basic.vbus", {}, 0, {}},
        Scenario{"three_iterations_uld", "basic.vbus", one_mb_and({"/loop", "3", "/uld"}), 0, {}},
        Scenario{"sdint_10", "basic.vbus", {"/sdint", "10"}, 0, {}},
        Scenario{"no_intervals", "basic.vbus", {"/maxtl", "0x200000", "/sdint", "1"}, 0, {}},
        Scenario{"no_iterations", "basic.vbus", {"/loop", "0"}, 0, {}},
        Scenario{"eom_interval_2", "eom_interval_2.vbus", {"/megs", "4", "/sdint", "1"}, 0, {}},
        Scenario{"eom_last_command", "eom_last_command.vbus", {"/megs", "4", "/sdint", "1"}, 0, {}},
        Scenario{"blank_check_last_command", "blank_check_last_command.vbus", {"/megs", "4", "/sdint", "1"}, 0, {}},
        Scenario{"eom_filemarks", "eom_filemarks.vbus", ONE_MB, 0, {}},
        Scenario{"miscompare", "miscompare.vbus", ONE_MB, 1, {}},
        Scenario{"miscompare_iteration_2", "miscompare_iteration_2.vbus", one_mb_and({"/loop", "3"}), 1, {}},
        Scenario{"short_read", "short_read.vbus", ONE_MB, 1, {}},
        Scenario{"drive_status", "drive_status.vbus", one_mb_and({"/dsc", "VIRTUAL"}), 0, {DSC_FILE}},
        Scenario{"drive_status_limit", "drive_status_limit.vbus", {"/megs", "100", "/dsc", "VIRTUAL"}, 0,
                 {DSC_FILE}},
        Scenario{"log_sense_fails", "log_sense_fails.vbus", one_mb_and({"/dsc", "VIRTUAL"}), 1, {DSC_FILE}},
        Scenario{"no_load_unload", "no_load_unload.vbus", one_mb_and({"/loop", "2", "/uld"}), 0, {}},
        Scenario{"no_prevent_allow", "no_prevent_allow.vbus",
                 one_mb_and({"/loop", "2", "/uld", "/maxtl", "0x40000", "/cfile", "cdb.txt"}), 0, {},
                 "no_prevent_allow.cdb"},
        Scenario{"load_no_medium", "load_no_medium.vbus", one_mb_and({"/uld"}), 0, {}},
        Scenario{"rewind_fails", "rewind_fails.vbus", ONE_MB, 1, {}},
        Scenario{"mode_select_fails", "mode_select_fails.vbus", ONE_MB, 1, {}},
        Scenario{"write_fails", "write_fails.vbus", ONE_MB, 1, {}},
        Scenario{"read_fails", "read_fails.vbus", ONE_MB, 1, {}},
        Scenario{"write_no_sense_without_eom", "write_no_sense_without_eom.vbus", ONE_MB, 1, {}},
        Scenario{"write_volume_overflow", "write_volume_overflow.vbus", ONE_MB, 1, {}},
        Scenario{"read_filemark", "read_filemark.vbus", ONE_MB, 1, {}},
        Scenario{"space_fails", "space_fails.vbus", ONE_MB, 1, {}},
        Scenario{"variable_block_mode", "basic.vbus", one_mb_and({"/lbsize", "0"}), 0, {}},
        Scenario{"block_size_from_drive", "block_512.vbus", one_mb_and({"/lbsize", "ms"}), 0, {}},
        Scenario{"random", "basic.vbus", one_mb_and({"/drand"}), 0, {}},
        Scenario{"random_repeat", "basic.vbus", one_mb_and({"/drand", "r"}), 0, {}},
        Scenario{"user_pattern", "basic.vbus", one_mb_and({"/dfile", "pattern.bin"}), 0, {DATA / "pattern.bin"}}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

// The console count shows the whole MB moved so far in the interval, also
// when one command moves more than 1 MB or a fraction of a MB.
TEST(Progress, CountsWholeMegabytesMoved) {
    struct Case {
        const char* transfer_length;
        const char* megabytes;
        std::vector<int> counts;  // per phase
    };
    const Case cases[] = {
        {"0x200000", "8", {2, 4, 6, 8}},
        {"0x18000", "3", {1, 2, 3}},  // 96 KB commands: the 11th, 22nd and 32nd complete a MB
    };
    for (const Case& c : cases) {
        const fs::path directory = zv::test::scratch_directory("progress");
        const zv::test::CapturedRun result = zv::test::run_zvtape(
            directory, {"/vbus", (DATA / "basic.vbus").string(), "/maxtl", c.transfer_length, "/megs", c.megabytes});
        EXPECT_EQ(result.exit_status, 0);
        std::string expected;
        for (int phase = 0; phase < 2; ++phase) {
            for (int count : c.counts) expected += std::to_string(count) + " MB\r";
        }
        const std::string report = read_file(directory / "zvtape.out");
        const std::string& progress = result.out;
        std::string shown;
        std::size_t i = 0;
        while ((i = progress.find(" MB\r", i)) != std::string::npos) {
            std::size_t start = i;
            while (start > 0 && std::isdigit(static_cast<unsigned char>(progress[start - 1]))) --start;
            const bool line_start = start == 0 || progress[start - 1] == '\n' || progress[start - 1] == '\r';
            if (line_start) shown += progress.substr(start, i + 4 - start);
            i += 4;
        }
        EXPECT_EQ(visible_line_ends(shown), visible_line_ends(expected)) << c.transfer_length;
        EXPECT_EQ(report.find(" MB\r"), std::string::npos);
        fs::remove_all(directory);
    }
}

// A rate above 65,535 KB/SEC is printed whole, not cut to 16 bits.
TEST(Rates, FastDriveRateIsPrintedWhole) {
    const fs::path directory = zv::test::scratch_directory("fast");
    const zv::test::CapturedRun result =
        zv::test::run_zvtape(directory, {"/vbus", (DATA / "fast.vbus").string(), "/megs", "32"});
    EXPECT_EQ(result.exit_status, 0);
    const std::string report = read_file(directory / "zvtape.out");
    for (const char* line : {"  write transfer rate ........................ ",
                             "  read/compare transfer rate ................. "}) {
        const std::size_t at = report.find(line);
        ASSERT_NE(at, std::string::npos) << line;
        const unsigned long rate = std::stoul(report.substr(at + std::string(line).size()));
        // The cap bounds it from above; a loaded machine may be somewhat slower.
        EXPECT_GT(rate, 65535u) << line;
        EXPECT_LE(rate, 110000u) << line;
    }
    fs::remove_all(directory);
}

TEST(WholeRuns, UnreadableBusDescriptionStopsBeforeAnythingIsOpened) {
    const fs::path directory = zv::test::scratch_directory("bad_bus");
    const std::string missing = (directory / "missing.vbus").string();
    const zv::test::CapturedRun result = zv::test::run_zvtape(directory, {"/vbus", missing});
    EXPECT_EQ(result.exit_status, 1);
    // One line on standard error, naming the file; nothing on the console.
    EXPECT_NE(result.err.find(missing), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_FALSE(fs::exists(directory / "zvtape.out"));
    fs::remove_all(directory);
}

TEST(WholeRuns, UnknownTargetEndsStartUpWithItsReportKept) {
    const fs::path directory = zv::test::scratch_directory("unknown_target");
    const zv::test::CapturedRun result =
        zv::test::run_zvtape(directory, {"/vbus", (DATA / "basic.vbus").string(), "/tid", "10"});
    EXPECT_EQ(result.exit_status, 1);
    const std::string message = "ERROR: unable to access tape drive at SCSI id A LUN 0\n";
    EXPECT_EQ(visible_line_ends(read_file(directory / "zvtape.out")), visible_line_ends(message));
    EXPECT_EQ(visible_line_ends(result.out), visible_line_ends(message));
    fs::remove_all(directory);
}

// "/afile" keeps what the file held and adds the new report; the console
// says so, the file never does.
TEST(WholeRuns, AppendedReportFollowsTheEarlierOne) {
    const fs::path directory = zv::test::scratch_directory("append");
    const std::vector<std::string> args = {"/vbus", (DATA / "basic.vbus").string(), "/loop", "0", "/afile",
                                           "report.out"};
    const std::string one_report = with_crlf(read_file(DATA / "no_iterations.out"));
    for (int run = 1; run <= 2; ++run) {
        const zv::test::CapturedRun result = zv::test::run_zvtape(directory, args);
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_NE(result.out.find("output file (append) = \"report.out\"\r\n"), std::string::npos);
    }
    std::string twice = one_report + one_report;
    EXPECT_EQ(visible_line_ends(mask_variable_fields(read_file(directory / "report.out"))),
              visible_line_ends(twice));
    EXPECT_FALSE(fs::exists(directory / "zvtape.out"));
    fs::remove_all(directory);
}

TEST(WholeRuns, EmptyPatternFileEndsTheRunBeforeTheTest) {
    const fs::path directory = zv::test::scratch_directory("empty_pattern");
    { std::ofstream(directory / "empty.bin"); }
    const zv::test::CapturedRun result = zv::test::run_zvtape(
        directory, {"/vbus", (DATA / "basic.vbus").string(), "/dfile", "empty.bin"});
    EXPECT_EQ(result.exit_status, 1);
    const std::string report = read_file(directory / "zvtape.out");
    const std::string announcement = "setting user-defined data pattern (input file = \"empty.bin\")\r\n";
    // The announcement ends the report; the error reaches the console only.
    ASSERT_GE(report.size(), announcement.size());
    EXPECT_EQ(report.substr(report.size() - announcement.size()), announcement);
    EXPECT_NE(result.out.find(announcement + "ERROR: cannot open \"empty.bin\" for input\r\n"), std::string::npos);
    fs::remove_all(directory);
}

}  // namespace
