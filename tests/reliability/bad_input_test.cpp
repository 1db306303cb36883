// Bad input to the whole program: options, the options file, the drive
// status file, the virtual bus description and the pattern file. Each case
// states what the user sees, the exit status and whether the report file is
// there at all (nothing is created before the options are accepted).
#include <gtest/gtest.h>

#include <fstream>

#include "process.h"

namespace {

using namespace zv::reliability;

struct InputFile {
    const char* name;
    std::string content;
};

enum class Match { exact, contains };

struct BadInput {
    const char* name;
    std::vector<std::string> args;  // after "/vbus basic.vbus /megs 1"
    std::vector<InputFile> files;
    int exit_status;
    std::string errors;  // exact
    std::string console;
    Match console_match;
    bool report_created;
};

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }

const std::string DSC_EXAMPLE = read_file(EXAMPLES / "zvtape.dsc");

class BadInputTest : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputTest, MessageExitStatusAndFiles) {
    const BadInput& c = GetParam();
    const fs::path directory = scratch_directory("bad_input");
    for (const InputFile& file : c.files) std::ofstream(directory / file.name, std::ios::binary) << file.content;
    std::vector<std::string> args = {"/vbus", (DATA / "basic.vbus").string(), "/megs", "1"};
    args.insert(args.end(), c.args.begin(), c.args.end());

    const CapturedRun result = run_program(directory, args);

    EXPECT_EQ(result.exit_status, c.exit_status);
    EXPECT_EQ(visible_line_ends(result.err), visible_line_ends(c.errors));
    if (c.console_match == Match::exact)
        EXPECT_EQ(visible_line_ends(result.out), visible_line_ends(c.console));
    else
        EXPECT_NE(result.out.find(c.console), std::string::npos) << visible_line_ends(result.out);
    EXPECT_EQ(fs::exists(directory / "zvtape.out"), c.report_created);
    fs::remove_all(directory);
}

INSTANTIATE_TEST_SUITE_P(
    WholeProgram, BadInputTest,
    ::testing::Values(
        // Options.
        BadInput{"unknown_option", {"/OFILE", "x"}, {}, 1,
                 "ERROR: invalid option on command line -- \"/OFILE\"\n", "", Match::exact, false},
        BadInput{"stray_value", {"/tid", "3", "4"}, {}, 1, "ERROR: invalid option on command line -- \"4\"\n", "",
                 Match::exact, false},
        BadInput{"zero_transfer_length", {"/maxtl", "0", "/lbsize", "0"}, {}, 1,
                 "ERROR: maximum write/read data transfer length must be greater than zero\n", "", Match::exact,
                 false},
        BadInput{"block_above_transfer_length", {"/lbsize", "0x20000"}, {}, 1,
                 "ERROR: logical block size cannot be greater than maximum write/read data\ntransfer length\n", "",
                 Match::exact, false},
        BadInput{"number_with_stray_characters", {"/loop", "1x"}, {}, 0, "",
                 "ERROR: illegal character(s) in number string\r\n", Match::contains, true},
        // Options file.
        BadInput{"options_file_missing", {"/cfg", "none.cfg"}, {}, 1,
                 "ERROR: unable to open configuration file \"none.cfg\" for input\n", "", Match::exact, false},
        BadInput{"options_file_bad_option", {"/cfg", "bad.cfg"}, {{"bad.cfg", "/tid 3\n/bogus 1\n"}}, 1,
                 "ERROR: invalid option on command line -- \"/bogus\"\n", "", Match::exact, false},
        // Drive status file.
        BadInput{"dsc_file_missing", {"/dsc", "VIRTUAL"}, {}, 1, "",
                 "DSC FILE ERROR: unable to open DSC file \"zvtape.dsc\"\r\n", Match::exact, false},
        BadInput{"dsc_label_missing", {"/dsc", "NOSUCH"}, {{"zvtape.dsc", DSC_EXAMPLE}}, 1, "",
                 "DSC FILE ERROR: unable to find \"NOSUCH\" in DSC file\r\n", Match::exact, false},
        BadInput{"dsc_unknown_command", {"/dsc", "D"}, {{"zvtape.dsc", "D\nTDWR LSX 30h 4 4 1024\n"}}, 1, "",
                 "DSC FILE ERROR: unknown command \"LSX\" in DSC file\r\n", Match::exact, false},
        BadInput{"dsc_too_few_arguments", {"/dsc", "D"}, {{"zvtape.dsc", "D\nTDWR LSD 30h 4 4\n"}}, 1, "",
                 "DSC FILE ERROR: invalid option syntax in DSC file (too few arguments)\r\n", Match::exact, false},
        BadInput{"dsc_field_beyond_data", {"/dsc", "D"}, {{"zvtape.dsc", "D\nRPOS RPD 0 18 4 1\n"}}, 1, "",
                 "DSC FILE ERROR: field offset/length out of range for \"RPOS\" in DSC file\r\n", Match::exact,
                 false},
        // Virtual bus description.
        BadInput{"bus_description_missing", {"/vbus", "none.vbus"}, {}, 1, "none.vbus: cannot open the file\n", "",
                 Match::exact, false},
        BadInput{"bus_description_wrong", {"/vbus", "bad.vbus"}, {{"bad.vbus", "adapter 0\nbus 0\ndevise 0:0:2:0\n"}},
                 1, "bad.vbus:3: unknown keyword \"devise\"\n", "", Match::exact, false},
        // Pattern file: the report names it, the console says why the run stops.
        BadInput{"pattern_file_missing", {"/dfile", "none.bin"}, {}, 1, "",
                 "setting user-defined data pattern (input file = \"none.bin\")\r\n"
                 "ERROR: cannot open \"none.bin\" for input\r\n",
                 Match::contains, true}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

}  // namespace
