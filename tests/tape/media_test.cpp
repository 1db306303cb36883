// Rewind, filemarks, spacing and unload/reload against a scripted drive.
#include "tape/media.h"

#include <signal.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "fake_drive.h"

namespace zv::test {
namespace {

class Media : public DriveFixture {
protected:
    void SetUp() override {
        DriveFixture::SetUp();
        tape::prevent_allow_supported = true;
        tape::load_unload_supported = true;
    }
};

TEST_F(Media, RewindSendsRewindWithoutImmediate) {
    drive.script = {good(OP_REWIND)};
    EXPECT_EQ(tape::rewind_tape(), 0);
    expect_report("\r\nrewinding tape\r\n");
    ASSERT_EQ(drive.cdbs.size(), 1u);
    EXPECT_EQ(drive.cdbs[0], (Bytes{0x01, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(Media, RewindRejectedReportsTargetAndStatus) {
    drive.script = {check(OP_REWIND, 0x03, 0x14, 0x00)};
    EXPECT_EQ(tape::rewind_tape(), -1);
    expect_report_then_status("\r\nrewinding tape\r\nERROR: unable to rewind tape at SCSI id 2 LUN 0\r\n");
}

// Filemarks and spacing: the one stop that is no failure, and every other.
struct StopCase {
    const char* name;
    int (*operation)(bool&);
    Step reply;
    int result;
    bool flag;
    bool status_report;
    const char* text;
};

const StopCase STOP_CASES[] = {
    {"FilemarksWritten", tape::write_two_filemarks, good(OP_WRITE_FILEMARKS), 0, false, false,
     "writing two filemarks\r\n"},
    {"FilemarksEndOfMedium", tape::write_two_filemarks, check(OP_WRITE_FILEMARKS, 0x40, 0x00, 0x02), 0, true, false,
     "writing two filemarks\r\n"
     "hit \"EOM\" writing filemarks at SCSI id 2 LUN 0\r\n(aborting all write testing)\r\n"},
    {"FilemarksNoSenseWithoutEom", tape::write_two_filemarks, check(OP_WRITE_FILEMARKS, 0x00), -1, false, true,
     "writing two filemarks\r\nERROR: failure writing requested filemarks at SCSI id 2 LUN 0\r\n"},
    {"FilemarksVolumeOverflowWithEom", tape::write_two_filemarks, check(OP_WRITE_FILEMARKS, 0x4D, 0x00, 0x02), -1,
     false, true, "writing two filemarks\r\nERROR: failure writing requested filemarks at SCSI id 2 LUN 0\r\n"},
    {"SpaceDone", tape::space_two_filemarks, good(OP_SPACE), 0, false, false, "spacing two filemarks\r\n"},
    {"SpaceBlankCheck", tape::space_two_filemarks, check(OP_SPACE, 0x08, 0x00, 0x05), 0, true, false,
     "spacing two filemarks\r\n"
     "hit \"blank check\" spacing filemarks at SCSI id 2 LUN 0\r\n(aborting all read testing)\r\n"},
    {"SpaceBlankCheckWithEom", tape::space_two_filemarks, check(OP_SPACE, 0x48, 0x00, 0x05), 0, true, false,
     "spacing two filemarks\r\n"
     "hit \"blank check\" spacing filemarks at SCSI id 2 LUN 0\r\n(aborting all read testing)\r\n"},
    {"SpaceMediumError", tape::space_two_filemarks, check(OP_SPACE, 0x03, 0x11, 0x00), -1, false, true,
     "spacing two filemarks\r\nERROR: failure spacing requested filemarks at SCSI id 2 LUN 0\r\n"},
};

class Stops : public Media, public ::testing::WithParamInterface<StopCase> {};

TEST_P(Stops, ReportAndFlag) {
    const StopCase& c = GetParam();
    drive.script = {c.reply};
    bool flag = false;
    EXPECT_EQ(c.operation(flag), c.result);
    EXPECT_EQ(flag, c.flag);
    if (c.status_report) {
        expect_report_then_status(c.text);
    } else {
        expect_report(c.text);
    }
}

void PrintTo(const StopCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Media, Stops, ::testing::ValuesIn(STOP_CASES),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Media, FilemarkAndSpaceCommands) {
    drive.script = {good(OP_WRITE_FILEMARKS), good(OP_SPACE)};
    bool flag = true;  // left alone on success
    EXPECT_EQ(tape::write_two_filemarks(flag), 0);
    EXPECT_EQ(tape::space_two_filemarks(flag), 0);
    EXPECT_TRUE(flag);
    ASSERT_EQ(drive.cdbs.size(), 2u);
    EXPECT_EQ(drive.cdbs[0], (Bytes{0x10, 0x00, 0x00, 0x00, 0x02, 0x00}));
    EXPECT_EQ(drive.cdbs[1], (Bytes{0x11, 0x01, 0x00, 0x00, 0x02, 0x00}));
}

TEST_F(Media, MessagesNameTheConfiguredTarget) {
    frontend::settings.target_id = 0x0C;
    frontend::settings.lun = 7;
    drive.script = {check(OP_WRITE_FILEMARKS, 0x40)};
    bool end_of_medium = false;
    EXPECT_EQ(tape::write_two_filemarks(end_of_medium), 0);
    expect_report("writing two filemarks\r\n"
                  "hit \"EOM\" writing filemarks at SCSI id C LUN 7\r\n(aborting all write testing)\r\n");
}

// The load finds no medium: not an error; the drive is polled until ready.
TEST_F(Media, ReloadWithoutMediumWaitsUntilReady) {
    drive.script = {good(OP_PREVENT_ALLOW),
                    good(OP_LOAD_UNLOAD),
                    check(OP_LOAD_UNLOAD, 0x02, 0x3A, 0x00),
                    check(OP_TEST_UNIT_READY, 0x02, 0x3A, 0x00),
                    good(OP_TEST_UNIT_READY),
                    good(OP_PREVENT_ALLOW)};
    EXPECT_EQ(tape::unload_reload_drive(), 0);
    expect_report("\r\nunloading/reloading drive ...\r\n");
    expect_commands_as_scripted();
    ASSERT_EQ(drive.cdbs.size(), 6u);
    EXPECT_EQ(drive.cdbs[0], (Bytes{0x1E, 0x00, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(drive.cdbs[1], (Bytes{0x1B, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(drive.cdbs[2], (Bytes{0x1B, 0x00, 0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(drive.cdbs[5], (Bytes{0x1E, 0x00, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(tape::prevent_allow_supported);
    EXPECT_TRUE(tape::load_unload_supported);
}

TEST_F(Media, UnloadNotSupportedIsReportedOnceAndDropped) {
    drive.script = {good(OP_PREVENT_ALLOW), check(OP_LOAD_UNLOAD, 0x05, 0x20, 0x00), good(OP_PREVENT_ALLOW),
                    good(OP_PREVENT_ALLOW), good(OP_PREVENT_ALLOW)};
    EXPECT_EQ(tape::unload_reload_drive(), 0);
    EXPECT_EQ(tape::unload_reload_drive(), 0);
    expect_report("\r\nunloading/reloading drive ...\r\n"
                  "ERROR: \"load/unload\" command is not supported (aborting \"/uld\" option\r\n"
                  "for SCSI id 2 LUN 0)\r\n"
                  "\r\nunloading/reloading drive ...\r\n");
    expect_commands_as_scripted();
    EXPECT_FALSE(tape::load_unload_supported);
    EXPECT_TRUE(tape::prevent_allow_supported);
}

TEST_F(Media, PreventNotSupportedIsDroppedSilently) {
    tape::load_unload_supported = false;  // keeps the test free of the ready wait
    drive.script = {check(OP_PREVENT_ALLOW, 0x05, 0x20, 0x00)};
    EXPECT_EQ(tape::unload_reload_drive(), 0);
    EXPECT_EQ(tape::unload_reload_drive(), 0);
    expect_report("\r\nunloading/reloading drive ...\r\n\r\nunloading/reloading drive ...\r\n");
    expect_commands_as_scripted();
    EXPECT_FALSE(tape::prevent_allow_supported);
}

// A failure ends the unload/reload at the failing step.
struct ReloadFailure {
    const char* name;
    bool load_unload_supported;
    std::vector<Step> script;
    const char* error_line;
};

const ReloadFailure RELOAD_FAILURES[] = {
    {"Prevent", true, {check(OP_PREVENT_ALLOW, 0x05, 0x24, 0x00)},
     "ERROR: unable to prevent medium removal at SCSI id 2 LUN 0\r\n"},
    {"Unload", true, {good(OP_PREVENT_ALLOW), check(OP_LOAD_UNLOAD, 0x05, 0x20, 0x01)},
     "ERROR: unable to unload drive at SCSI id 2 LUN 0\r\n"},
    {"Load", true, {good(OP_PREVENT_ALLOW), good(OP_LOAD_UNLOAD), check(OP_LOAD_UNLOAD, 0x02, 0x3A, 0x01)},
     "ERROR: unable to load drive at SCSI id 2 LUN 0\r\n"},
    {"Allow", false, {good(OP_PREVENT_ALLOW), check(OP_PREVENT_ALLOW, 0x02, 0x04, 0x00)},
     "ERROR: unable to allow medium removal at SCSI id 2 LUN 0\r\n"},
};

class ReloadFailures : public Media, public ::testing::WithParamInterface<ReloadFailure> {};

TEST_P(ReloadFailures, StopWithErrorAndStatus) {
    const ReloadFailure& c = GetParam();
    tape::load_unload_supported = c.load_unload_supported;
    drive.script = c.script;
    EXPECT_EQ(tape::unload_reload_drive(), -1);
    expect_report_then_status(std::string("\r\nunloading/reloading drive ...\r\n") + c.error_line);
    expect_commands_as_scripted();
    EXPECT_TRUE(tape::prevent_allow_supported);
    EXPECT_EQ(tape::load_unload_supported, c.load_unload_supported);
}

void PrintTo(const ReloadFailure& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Media, ReloadFailures, ::testing::ValuesIn(RELOAD_FAILURES),
                         [](const auto& info) { return std::string(info.param.name); });

// A Ctrl-C during a long wait reaches the program's break handler within a
// slice, not at the end of the wait.
std::chrono::steady_clock::time_point sleep_began;

void exit_on_break(int) {
    const auto waited = std::chrono::steady_clock::now() - sleep_began;
    std::_Exit(waited < std::chrono::milliseconds(1000) ? 3 : 4);
}

TEST(SleepMilliseconds, BreakIsActedOnDuringTheWait) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            scsi::install_break_handler(exit_on_break);
            sleep_began = std::chrono::steady_clock::now();
            std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                ::kill(::getpid(), SIGINT);
            }).detach();
            tape::sleep_milliseconds(5000);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(3), "");
}

TEST(SleepMilliseconds, LastsAtLeastTheTimeAsked) {
    const auto begin = std::chrono::steady_clock::now();
    tape::sleep_milliseconds(130);
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(130));
}

}  // namespace
}  // namespace zv::test
