// End-to-end runs of zvscan on virtual bus descriptions. Expected outputs are
// spelled out row by row from the program's printf formats.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "captured_run.h"

namespace {

using zv::test::CapturedRun;

CapturedRun run_zvscan(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ZVSCAN_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return zv::test::run_captured(argv, std::filesystem::temp_directory_path());
}

const std::string HEAD =
    "\r\n"
    "============================================================================"
    "\r\n\r\n       -- ZENTROVA SCSI HOST ADAPTER SCAN PROGRAM V1.00 (Win32) --\r\n"
    "\n"
    "Adapter Bus ID LUN Driver Device Identification        Inquiry Header\n"
    "------- --- -- --- ------ ---------------------------- -----------------------\n";

const std::string SUMMARY_HEAD =
    "\n"
    "Adapter Bus Number of Devices Initiator ID\n"
    "------- --- ----------------- ------------\n";

}  // namespace


struct ScanCase {
    const char* name;
    std::vector<std::string> args_before;  // ignored arguments around "/vbus <file>"
    const char* fixture;
    std::vector<std::string> args_after;
    std::string expected_out;
    std::string expected_err;
    int expected_status;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.name; }

class ScanRun : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanRun, PrintsTablesAndExitStatus) {
    const ScanCase& c = GetParam();
    std::vector<std::string> args = c.args_before;
    args.push_back("/vbus");
    args.push_back(std::string(ZV_TESTDATA_DIR) + "/" + c.fixture);
    args.insert(args.end(), c.args_after.begin(), c.args_after.end());
    CapturedRun result = run_zvscan(args);
    EXPECT_EQ(result.out, c.expected_out);
    EXPECT_EQ(result.err, c.expected_err);
    EXPECT_EQ(result.exit_status, c.expected_status);
}

INSTANTIATE_TEST_SUITE_P(
    VirtualBus, ScanRun,
    ::testing::Values(
        ScanCase{"NoAdapters", {}, "no-adapters.vbus", {}, HEAD + SUMMARY_HEAD, "", 0},
        ScanCase{"OtherArgumentsIgnored", {"/?", "-x"}, "no-adapters.vbus", {"extra"}, HEAD + SUMMARY_HEAD, "", 0},
        ScanCase{"AdaptersZeroAndThree", {}, "adapters-0-and-3.vbus", {},
                 HEAD +
                     "    0    0   2  0    No   ACME    DAT 72          A1   01 80 05 02 1F 00 00 00\n"
                     "    3    0   1  0    No   ZENTROVAVIRTUAL DISK    1.00 00 00 05 02 1F 00 00 00\n" +
                     SUMMARY_HEAD +
                     "    0    0          1              7\n"
                     "    3    0          1              6\n",
                 "", 0},
        ScanCase{"GapAboveTen", {}, "gap-above-ten.vbus", {},
                 HEAD +
                     "   10    0   0  0    No   ZENTROVAENCLOSURE       0.10 03 00 05 02 1F 00 00 00\n"
                     "   12    0   1  0    No   ZENTROVAVIRTUAL TAPE    1.00 01 80 05 02 1F 00 00 00\n" +
                     SUMMARY_HEAD +
                     "    0    0          0              7\n"
                     "    1    0          0              7\n"
                     "    2    0          0              7\n"
                     "    3    0          0              7\n"
                     "    4    0          0              7\n"
                     "    5    0          0              7\n"
                     "    6    0          0              7\n"
                     "    7    0          0              7\n"
                     "    8    0          0              7\n"
                     "    9    0          0              7\n"
                     "   10    0          1             15\n"
                     "   12    0          1              5\n",
                 "", 0},
        ScanCase{"LastAdapterNumber", {}, "last-adapter.vbus", {},
                 HEAD +
                     "   254    0   2  0    No   ZENTROVAVIRTUAL TAPE    1.00 01 80 05 02 1F 00 00 00\n" +
                     SUMMARY_HEAD + "   254    0          1              7\n",
                 "", 0},
        ScanCase{"TwoBusesDevicesOnBusZeroOnly", {}, "two-buses.vbus", {},
                 HEAD +
                     "    0    0   2  0    No   ZENTROVAVIRTUAL TAPE    1.00 01 80 05 02 1F 00 00 00\n"
                     "    0    0   4  1    No   ZENTROVAVIRTUAL CHANGER 1.00 08 80 05 02 1F 00 00 00\n" +
                     SUMMARY_HEAD +
                     "    0    0          2              7\n"
                     "    0    1          0              5\n",
                 "", 0},
        ScanCase{"ClaimedAndUnclaimed", {}, "claimed.vbus", {},
                 HEAD +
                     "    0    0   3  0    Yes  ZENTROVAVIRTUAL TAPE    1.00 01 80 05 02 1F 00 00 00\n"
                     "    0    0   5  0    No   ZENTROVAVIRTUAL TAPE    1.00 01 80 05 02 1F 00 00 00\n"
                     "    0    0   12  7    No   ZENTROVALAST LUN        9.99 01 80 05 02 1F 00 00 00\n" +
                     SUMMARY_HEAD + "    0    0          3              7\n",
                 "", 0},
        ScanCase{"AdapterInUse", {}, "in-use.vbus", {},
                 HEAD +
                     "    0    0   2  0    No   ZENTROVAVIRTUAL TAPE    1.00 01 80 05 02 1F 00 00 00\n"
                     "Adapter 1 is in use by another process.\n" +
                     SUMMARY_HEAD +
                     "    0    0          1              7\n"
                     "    2    0          0              6\n",
                 "", 0},
        ScanCase{"InquiryFails", {}, "inquiry-fails.vbus", {},
                 HEAD +
                     "    1    0   2  0    No   ZENTROVAVIRTUAL TAPE    1.00 01 80 05 02 1F 00 00 00\n" +
                     SUMMARY_HEAD + "    1    0          1              7\n",
                 "Error getting inquiry data: The request could not be performed because of an I/O device error.\n",
                 0},
        ScanCase{"CloseFails", {}, "close-fails.vbus", {},
                 HEAD +
                     "    0    0   2  0    No   ZENTROVAVIRTUAL TAPE    1.00 01 80 05 02 1F 00 00 00\n"
                     "    1    0   4  0    No   ZENTROVAVIRTUAL TAPE    1.00 01 80 05 02 1F 00 00 00\n",
                 "Error closing device handle: The handle is invalid.\n", 1},
        ScanCase{"CloseFailsAfterFailedInquiry", {}, "inquiry-and-close-fail.vbus", {}, HEAD,
                 "Error getting inquiry data: The request could not be performed because of an I/O device error.\n"
                 "Error closing device handle: The handle is invalid.\n",
                 1}),
    [](const ::testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

TEST(ScanArguments, UnreadableDescriptionEndsWithItsErrorLine) {
    const std::string file = std::string(ZV_TESTDATA_DIR) + "/missing.vbus";
    CapturedRun result = run_zvscan({"/vbus", file});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, file + ": cannot open the file\n");
    EXPECT_EQ(result.exit_status, 1);
}
