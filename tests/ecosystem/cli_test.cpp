// The conventions a Linux user expects of both programs: "--help" and "-h"
// as well as "/?", "--version", and any other dash argument refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "process.h"

namespace {

namespace fs = std::filesystem;
using zv::test::read_file;
using zv::test::run_program;

const std::string ZVTAPE = ZVTAPE_BIN;
const std::string ZVSCAN = ZVSCAN_BIN;

const std::string ZVTAPE_VERSION = "-- ZV TAPE DRIVE TEST PROGRAM V1.57CV --\nzvtape 1.57\n";
const std::string ZVSCAN_VERSION = "-- ZENTROVA SCSI HOST ADAPTER SCAN PROGRAM V1.00 (Win32) --\nzvscan 1.00\n";
const std::string ZVSCAN_USAGE =
    "-- ZENTROVA SCSI HOST ADAPTER SCAN PROGRAM V1.00 (Win32) --\n"
    "\n"
    "PROGRAM USAGE:\n"
    "\n"
    "  zvscan [/vbus <file>]\n"
    "\n"
    "COMMAND LINE OPTIONS:\n"
    "\n"
    "  /vbus <file>\t\tscan the virtual SCSI bus described in <file>\n"
    "  --help, -h\t\tthis help screen\n"
    "  --version\t\tprogram title and version\n"
    "\n"
    "  Without options every SCSI host adapter of the machine is scanned.\n";

// The hand-written help screen of the front end's own test.
std::string zvtape_help() { return read_file(fs::path(ZV_SOURCE_DIR) / "tests/frontend/data/help.txt"); }

struct CliCase {
    const char* name;
    const std::string* program;
    std::vector<std::string> args;
    std::string out;  // expected standard output
    std::string err;  // expected standard error
    int exit_status;
};

void PrintTo(const CliCase& c, std::ostream* os) { *os << c.name; }

class CliTest : public ::testing::TestWithParam<CliCase> {};

TEST_P(CliTest, OutputAndExitStatus) {
    const CliCase& c = GetParam();
    const fs::path directory = zv::test::scratch_directory(c.name);
    const zv::test::ProcessResult result = run_program(*c.program, c.args, directory);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.exit_status, c.exit_status);
    // Nothing is opened or written: no report, no summary.
    EXPECT_TRUE(fs::is_empty(directory)) << "files left in " << directory;
    fs::remove_all(directory);
}

std::string invalid(const std::string& argument) {
    return "ERROR: invalid option on command line -- \"" + argument + "\"\n";
}

INSTANTIATE_TEST_SUITE_P(
    Programs, CliTest,
    ::testing::Values(
        CliCase{"zvtape_help_long", &ZVTAPE, {"--help"}, zvtape_help(), "", 0},
        CliCase{"zvtape_help_short", &ZVTAPE, {"-h"}, zvtape_help(), "", 0},
        CliCase{"zvtape_help_slash", &ZVTAPE, {"/?"}, zvtape_help(), "", 0},
        // Parsing stops at the help: a summary asked for after it is not written.
        CliCase{"zvtape_help_before_json", &ZVTAPE, {"-h", "/json", "s.json"}, zvtape_help(), "", 0},
        CliCase{"zvtape_version", &ZVTAPE, {"--version"}, ZVTAPE_VERSION, "", 0},
        CliCase{"zvtape_version_stops_parsing", &ZVTAPE, {"--version", "/bogus"}, ZVTAPE_VERSION, "", 0},
        CliCase{"zvtape_other_long_option", &ZVTAPE, {"--verbose"}, "", invalid("--verbose"), 1},
        CliCase{"zvtape_other_short_option", &ZVTAPE, {"-v"}, "", invalid("-v"), 1},
        CliCase{"zvtape_help_is_case_sensitive", &ZVTAPE, {"--HELP"}, "", invalid("--HELP"), 1},
        CliCase{"zvtape_single_dash_help", &ZVTAPE, {"-help"}, "", invalid("-help"), 1},
        CliCase{"zvtape_version_with_value", &ZVTAPE, {"--version=1"}, "", invalid("--version=1"), 1},
        CliCase{"zvtape_json_without_file", &ZVTAPE, {"/json"}, "", "ERROR: missing value for option \"/json\"\n", 1},
        CliCase{"zvscan_help_long", &ZVSCAN, {"--help"}, ZVSCAN_USAGE, "", 0},
        CliCase{"zvscan_help_short", &ZVSCAN, {"-h"}, ZVSCAN_USAGE, "", 0},
        CliCase{"zvscan_version", &ZVSCAN, {"--version"}, ZVSCAN_VERSION, "", 0},
        // The help wins over a bus description that would fail to load.
        CliCase{"zvscan_help_before_bus", &ZVSCAN, {"/vbus", "missing.vbus", "--help"}, ZVSCAN_USAGE, "", 0}),
    [](const ::testing::TestParamInfo<CliCase>& info) { return std::string(info.param.name); });

}  // namespace
