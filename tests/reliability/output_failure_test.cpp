// The output file and the CDB list file where they cannot be written: on a
// full device each flush reports its failure and the run goes on; where they
// cannot be created the run ends at start-up with its message.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "process.h"

namespace {

using namespace zv::reliability;

const std::string FLUSH_FAILED = "ERROR: unable to flush output stream\r\n";

// Standard error holds the flush message, at least once, and nothing else.
void expect_only_flush_failures(const std::string& errors) {
    ASSERT_FALSE(errors.empty());
    std::string rest = errors;
    std::size_t count = 0;
    while (rest.compare(0, FLUSH_FAILED.size(), FLUSH_FAILED) == 0) {
        rest.erase(0, FLUSH_FAILED.size());
        ++count;
    }
    EXPECT_GE(count, 1u);
    EXPECT_EQ(visible_line_ends(rest), "") << visible_line_ends(errors);
}

struct FullDeviceCase {
    const char* name;
    const char* bus;
    std::vector<std::string> options;
    int exit_status;
    const char* failure_line;  // a failing run went on to here
};

TEST(OutputFailure, FullDeviceReportsEachFailedFlushAndTheRunGoesOn) {
    if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    const FullDeviceCase cases[] = {
        {"output file", "basic.vbus", {"/ofile", "/dev/full"}, 0, nullptr},
        {"CDB list file", "basic.vbus", {"/cfile", "/dev/full"}, 0, nullptr},
        {"output file, failing run", "write_fails.vbus", {"/ofile", "/dev/full"}, 1,
         "ERROR: failure writing data at SCSI id 2 LUN 0 (aborting all write testing)\r\n"},
    };
    for (const FullDeviceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path directory = scratch_directory("full_device");
        std::vector<std::string> args = {"/vbus", (DATA / c.bus).string(), "/megs", "1"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CapturedRun result = run_program(directory, args);
        EXPECT_EQ(result.exit_status, c.exit_status);
        expect_only_flush_failures(result.err);
        // The console has the whole report all the same: it ends as the run
        // ended, with the last rewind or the failure.
        if (c.exit_status == 0) {
            const std::string ending = "\r\nrewinding tape\r\n";
            ASSERT_GE(result.out.size(), ending.size());
            EXPECT_EQ(visible_line_ends(result.out.substr(result.out.size() - ending.size())),
                      visible_line_ends(ending));
        } else {
            EXPECT_NE(result.out.find(c.failure_line), std::string::npos) << result.out;
        }
        fs::remove_all(directory);
    }
}

struct CreateCase {
    const char* name;
    std::vector<std::string> options;
    const char* message;
};

TEST(OutputFailure, FileThatCannotBeCreatedEndsStartUp) {
    const fs::path directory = scratch_directory("cannot_create");
    // A path below a regular file fails for every user, root included.
    { std::ofstream(directory / "file") << "x"; }
    const CreateCase cases[] = {
        {"output file in a missing folder", {"/ofile", "missing/x.out"},
         "ERROR: unable to open \"missing/x.out\" for output\n"},
        {"appended output file below a regular file", {"/afile", "file/x.out"},
         "ERROR: unable to open \"file/x.out\" for output\n"},
        {"output file in /proc", {"/ofile", "/proc/zvtape.out"},
         "ERROR: unable to open \"/proc/zvtape.out\" for output\n"},
        {"CDB list file in a missing folder", {"/cfile", "missing/cdb.txt"},
         "ERROR: unable to open \"missing/cdb.txt\" for CDB output\n"},
    };
    for (const CreateCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"/vbus", (DATA / "basic.vbus").string(), "/megs", "1"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CapturedRun result = run_program(directory, args);
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(visible_line_ends(result.err), visible_line_ends(c.message));
        EXPECT_EQ(result.out, "");
    }
    fs::remove_all(directory);
}

// Only an ordinary user is kept out of a read-only folder.
TEST(OutputFailure, ReadOnlyFolderEndsStartUp) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may write into a read-only folder";
    const fs::path directory = scratch_directory("read_only");
    fs::create_directory(directory / "locked");
    ::chmod((directory / "locked").c_str(), 0555);
    const CapturedRun result = run_program(
        directory, {"/vbus", (DATA / "basic.vbus").string(), "/megs", "1", "/ofile", "locked/x.out"});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "ERROR: unable to open \"locked/x.out\" for output\n");
    ::chmod((directory / "locked").c_str(), 0755);
    fs::remove_all(directory);
}

}  // namespace
