#include <string>

#include "capture.h"
#include "captured_run.h"
#include "frontend/help.h"

namespace zv::test {
namespace {

std::string expected_help_screen() { return read_file(ZV_TESTDATA_DIR "/help.txt"); }

void replace_line(std::string& text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

class HelpTest : public CapturedOutput {};

TEST_F(HelpTest, DefaultScreenByteForByte) {
    const std::string expected = expected_help_screen();
    ASSERT_FALSE(expected.empty());
    frontend::print_help_screen();
    EXPECT_EQ(console(), expected);
    EXPECT_EQ(errors(), "");
}

TEST_F(HelpTest, ShowsSettingsGivenBeforeTheHelpOption) {
    EXPECT_EQ(parse({"/ofile", "run.out", "/hanum", "1", "/bus", "3", "/tid", "0xC", "/den", "0x4A", "/loop", "3",
                     "/megs", "10", "/lbsize", "ms", "/lbsize", "0x200", "/maxtl", "0x8000", "/sdint", "5", "/?"}),
              -1);
    std::string expected = expected_help_screen();
    replace_line(expected, "= \"zvtape.out\"\n", "= \"run.out\"\n");
    replace_line(expected, "host adapter number\t\t\t\t= 0\n", "host adapter number\t\t\t\t= 1\n");
    replace_line(expected, "bus number\t\t\t= 0\n", "bus number\t\t\t= 3\n");
    replace_line(expected, "SCSI id\t\t\t\t= 2\n", "SCSI id\t\t\t\t= C\n");
    replace_line(expected, "= 0x00\n", "= 0x4A\n");
    replace_line(expected, "perform\t\t= 1\n", "perform\t\t= 3\n");
    replace_line(expected, "= 128.000 MB\n", "= 10.000 MB\n");
    replace_line(expected, "= 0x400 bytes\n", "= 0x200 bytes\n");
    replace_line(expected, "= 0x10000 bytes\n", "= 0x8000 bytes\n");
    EXPECT_EQ(console(), expected);
    EXPECT_EQ(frontend::exit_status, 0);
}

}  // namespace
}  // namespace zv::test
