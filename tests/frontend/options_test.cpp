#include <dirent.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "capture.h"

namespace zv::test {
namespace {

using frontend::TestSettings;

// Every field in one line, so that a mismatch shows which one differs.
std::string describe(const TestSettings& s) {
    std::ostringstream out;
    out << "ofile=" << s.output_file_name << " mode=" << s.output_file_mode << " cfile=" << s.cdb_list_file_name
        << " cdb=" << s.cdb_list_enabled << " dfile=" << s.pattern_file_name << " pattern=" << s.data_pattern
        << " repeat=" << s.random_repeat << " hanum=" << +s.host_adapter_number << " bus=" << +s.bus_number
        << " tid=" << +s.target_id << " lun=" << +s.lun << " den=" << +s.density_code << " loop=" << s.iterations
        << " megs=" << s.data_amount_mb << " sdint=" << s.status_interval_mb << " given=" << s.status_interval_given
        << " lbsize=" << s.logical_block_size << " ms=" << s.block_size_from_mode_sense
        << " maxtl=" << s.max_transfer_length << " delay=" << s.dsc_delay << " uld=" << s.unload_reload
        << " vbus=" << s.vbus_file_name << " dump=" << s.dump_bytes << " json=" << s.json_file_name;
    return out.str();
}

const std::string INVALID = "ERROR: invalid option on command line -- ";
const std::string MAXTL_ZERO = "ERROR: maximum write/read data transfer length must be greater than zero\n";
const std::string BLOCK_TOO_BIG =
    "ERROR: logical block size cannot be greater than maximum write/read data\ntransfer length\n";
const std::string NUMBER_MESSAGE = "ERROR: illegal character(s) in number string\r\n";

struct GrammarCase {
    std::vector<std::string> args;
    int result;
    std::string errors;
    std::function<void(TestSettings&)> expected;  // changes from the defaults
    std::string console = "";
};

class OptionsTest : public CapturedOutput {
protected:
    void check(const GrammarCase& c) {
        reset();
        std::string line;
        for (const std::string& arg : c.args) line += "[" + arg + "]";
        EXPECT_EQ(parse(c.args), c.result) << line;
        TestSettings expected;
        c.expected(expected);
        EXPECT_EQ(describe(frontend::settings), describe(expected)) << line;
        EXPECT_EQ(errors(), c.errors) << line;
        EXPECT_EQ(console(), c.console) << line;
        EXPECT_EQ(frontend::exit_status, 1) << line;
    }
};

TEST_F(OptionsTest, CommandLineGrammar) {
    const std::string long_name(200, 'n');
    const GrammarCase cases[] = {
        {{}, 0, "", [](TestSettings&) {}},
        {{"/tid", "0x10A"}, 0, "", [](TestSettings& s) { s.target_id = 0x0A; }},
        {{"/loop", "0x12345"}, 0, "", [](TestSettings& s) { s.iterations = 0x2345; }},
        {{"/tid", "12x", "/lun", "1"}, 0, "", [](TestSettings& s) { s.target_id = 12; s.lun = 1; }, NUMBER_MESSAGE},
        {{"/hanum", "1", "/bus", "2", "/lun", "3", "/den", "42h", "/megs", "256", "/sdint", "5", "/maxtl",
          "0x20000", "/uld", "/vbus", "lab.vbus"},
         0, "",
         [](TestSettings& s) {
             s.host_adapter_number = 1; s.bus_number = 2; s.lun = 3; s.density_code = 0x42;
             s.data_amount_mb = 256; s.status_interval_mb = 5; s.status_interval_given = true;
             s.max_transfer_length = 0x20000; s.unload_reload = true; s.vbus_file_name = "lab.vbus";
         }},
        // A value is the next argument, even when it looks like an option.
        {{"/ofile", "/tid"}, 0, "", [](TestSettings& s) { s.output_file_name = "/tid"; }},
        {{"/afile", "a.out"}, 0, "", [](TestSettings& s) { s.output_file_name = "a.out"; s.output_file_mode = "ab"; }},
        {{"/afile", "a.out", "/ofile", "b.out"}, 0, "", [](TestSettings& s) { s.output_file_name = "b.out"; }},
        {{"/cfile", "cdb.txt"}, 0, "",
         [](TestSettings& s) { s.cdb_list_file_name = "cdb.txt"; s.cdb_list_enabled = true; }},
        // Names end at their first line end and are never shortened.
        {{"/ofile", "name\rrest", "/dfile", long_name},
         0, "",
         [&](TestSettings& s) {
             s.output_file_name = "name"; s.pattern_file_name = long_name; s.data_pattern = frontend::PATTERN_USER_FILE;
         }},
        {{"/dfile", "p.dat", "/drand"}, 0, "",
         [](TestSettings& s) { s.pattern_file_name = "p.dat"; s.data_pattern = frontend::PATTERN_RANDOM; }},
        {{"/drand", "/dfile", "p.dat"}, 0, "",
         [](TestSettings& s) { s.pattern_file_name = "p.dat"; s.data_pattern = frontend::PATTERN_USER_FILE; }},
        {{"/drand", "r"}, 0, "", [](TestSettings& s) { s.data_pattern = frontend::PATTERN_RANDOM; s.random_repeat = true; }},
        {{"/drand", "rep"}, 0, "", [](TestSettings& s) { s.data_pattern = frontend::PATTERN_RANDOM; s.random_repeat = true; }},
        {{"/drand", "/tid", "3"}, 0, "", [](TestSettings& s) { s.data_pattern = frontend::PATTERN_RANDOM; s.target_id = 3; }},
        {{"/drand", "R"}, -1, INVALID + "\"R\"\n", [](TestSettings& s) { s.data_pattern = frontend::PATTERN_RANDOM; }},
        {{"/drand"}, 0, "", [](TestSettings& s) { s.data_pattern = frontend::PATTERN_RANDOM; }},
        {{"/lbsize", "ms"}, 0, "", [](TestSettings& s) { s.block_size_from_mode_sense = true; }},
        {{"/lbsize", "ms", "/lbsize", "0x20000"}, 0, "",
         [](TestSettings& s) { s.block_size_from_mode_sense = true; s.logical_block_size = 0x20000; }},
        {{"/lbsize", "0x20000", "/maxtl", "0x20000"}, 0, "",
         [](TestSettings& s) { s.logical_block_size = 0x20000; s.max_transfer_length = 0x20000; }},
        {{"/tid", "3", "/tid", "4"}, 0, "", [](TestSettings& s) { s.target_id = 4; }},
        // Number options standing last take 0.
        {{"/tid"}, 0, "", [](TestSettings& s) { s.target_id = 0; }},
        {{"/lbsize"}, 0, "", [](TestSettings& s) { s.logical_block_size = 0; }},
        // Invalid options stop the parsing.
        {{"/OFILE", "x"}, -1, INVALID + "\"/OFILE\"\n", [](TestSettings&) {}},
        {{"/dump", "100"}, 0, "", [](TestSettings& s) { s.dump_bytes = 100; }},
        {{"/dump"}, 0, "", [](TestSettings& s) { s.dump_bytes = 256; }},
        {{"/dump", "0"}, 0, "", [](TestSettings& s) { s.dump_bytes = 256; }},
        {{"/dump", "/tid", "3"}, 0, "", [](TestSettings& s) { s.dump_bytes = 256; s.target_id = 3; }},
        {{"/json", "s.json"}, 0, "", [](TestSettings& s) { s.json_file_name = "s.json"; }},
        {{"-x"}, -1, INVALID + "\"-x\"\n", [](TestSettings&) {}},
        {{"--HELP"}, -1, INVALID + "\"--HELP\"\n", [](TestSettings&) {}},
        {{"/tid=5"}, -1, INVALID + "\"/tid=5\"\n", [](TestSettings&) {}},
        {{"/lun", "1", "5", "/tid", "4"}, -1, INVALID + "\"5\"\n", [](TestSettings& s) { s.lun = 1; }},
        // Final checks run after everything, errors included.
        {{"/lbsize", "0x20000"}, -1, BLOCK_TOO_BIG, [](TestSettings& s) { s.logical_block_size = 0x20000; }},
        {{"/maxtl", "0"}, -1, MAXTL_ZERO + BLOCK_TOO_BIG, [](TestSettings& s) { s.max_transfer_length = 0; }},
        {{"/lbsize", "0", "/maxtl", "0"}, -1, MAXTL_ZERO,
         [](TestSettings& s) { s.logical_block_size = 0; s.max_transfer_length = 0; }},
        {{"/lbsize", "ms", "/maxtl", "0x100"}, 0, "",
         [](TestSettings& s) { s.block_size_from_mode_sense = true; s.max_transfer_length = 0x100; }},
        {{"/maxtl", "0", "/bogus", "/tid", "5"}, -1, INVALID + "\"/bogus\"\n" + MAXTL_ZERO + BLOCK_TOO_BIG,
         [](TestSettings& s) { s.max_transfer_length = 0; }},
    };
    for (const GrammarCase& c : cases) check(c);
}

TEST_F(OptionsTest, FileAndLabelOptionsStandingLastAreRefused) {
    for (const char* option : {"/cfg", "/ofile", "/afile", "/cfile", "/dfile", "/dsc", "/vbus"}) {
        check({{"/tid", "3", option}, -1, std::string("ERROR: missing value for option \"") + option + "\"\n",
               [](TestSettings& s) { s.target_id = 3; }});
    }
    check({{"/maxtl", "0", "/cfile"}, -1, "ERROR: missing value for option \"/cfile\"\n" + MAXTL_ZERO + BLOCK_TOO_BIG,
           [](TestSettings& s) { s.max_transfer_length = 0; }});
}

TEST_F(OptionsTest, OptionsFileMustBeARegularFile) {
    // A device or a folder would be read forever (or not at all): refused as unopenable.
    for (const char* name : {"/dev/zero", "/dev/null", "/tmp"}) {
        check({{"/cfg", name, "/tid", "3"}, -1,
               std::string("ERROR: unable to open configuration file \"") + name + "\" for input\n",
               [](TestSettings&) {}});
    }
}

TEST_F(OptionsTest, HelpStopsParsingWithExitStatusZero) {
    EXPECT_EQ(parse({"/tid", "5", "/?", "/lun", "3"}), -1);
    EXPECT_EQ(frontend::exit_status, 0);
    EXPECT_EQ(frontend::settings.lun, 0);
    EXPECT_NE(console().find("  tape drive SCSI id\t\t\t\t= 5\n"), std::string::npos);
    EXPECT_EQ(errors(), "");
}

TEST_F(OptionsTest, HelpBeforeOtherOptionsShowsDefaultsAndFinalChecksStillRun) {
    EXPECT_EQ(parse({"/maxtl", "0", "/?", "/tid", "5"}), -1);
    EXPECT_EQ(frontend::exit_status, 0);
    EXPECT_EQ(frontend::settings.target_id, 2);
    EXPECT_NE(console().find("  tape drive SCSI id\t\t\t\t= 2\n"), std::string::npos);
    EXPECT_EQ(errors(), MAXTL_ZERO + BLOCK_TOO_BIG);
}

// Options files live in a fresh directory that is the current one meanwhile.
class OptionsFileTest : public CapturedOutputInScratchDirectory {
protected:
    static void write_file(const std::string& name, const std::string& content) {
        std::FILE* file = std::fopen(name.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(content.data(), 1, content.size(), file);
        std::fclose(file);
    }
    std::vector<std::string> directory_entries() {
        std::vector<std::string> names;
        DIR* dir = opendir(".");
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
        return names;
    }
};

TEST_F(OptionsFileTest, LinesSeparatorsAndNesting) {
    struct Case {
        std::string content;
        std::function<void(TestSettings&)> expected;
    };
    const std::string padding_to_258 = std::string(258 - 6, ' ');
    const Case cases[] = {
        {"; comment\n/tid 3 /lun 1\n\t/loop=4\n/cfg other.cfg\n",
         [](TestSettings& s) { s.target_id = 3; s.lun = 1; s.iterations = 4; }},
        {"/tid,5\r\n/lun=2,,/den  0x42\r\n", [](TestSettings& s) { s.target_id = 5; s.lun = 2; s.density_code = 0x42; }},
        // Lines that do not start with an option are commentary.
        {"tid 3 /lun 1\n/den 7\n", [](TestSettings& s) { s.density_code = 7; }},
        // A value alone on its line is ignored; the option then stands last.
        {"/tid\n5\n", [](TestSettings& s) { s.target_id = 0; }},
        {"/tid\x1a" "6\t/lun\t1\n", [](TestSettings& s) { s.target_id = 6; s.lun = 1; }},
        {"/cfg missing.cfg /tid 4\n", [](TestSettings& s) { s.target_id = 4; }},
        // Past 258 characters the rest of a line counts as a line of its own.
        {"/tid 3" + padding_to_258 + "/lun 5\n", [](TestSettings& s) { s.target_id = 3; s.lun = 5; }},
        {"/tid 3" + padding_to_258 + "junk /lun 5\n", [](TestSettings& s) { s.target_id = 3; }},
        {"", [](TestSettings&) {}},
        {"/ofile out.txt /cfile cdb.txt /dfile p.dat\n",
         [](TestSettings& s) {
             s.output_file_name = "out.txt"; s.cdb_list_file_name = "cdb.txt"; s.cdb_list_enabled = true;
             s.pattern_file_name = "p.dat"; s.data_pattern = frontend::PATTERN_USER_FILE;
         }},
    };
    for (const Case& c : cases) {
        reset();
        write_file("opts.cfg", c.content);
        EXPECT_EQ(parse({"/cfg", "opts.cfg"}), 0) << c.content;
        TestSettings expected;
        c.expected(expected);
        EXPECT_EQ(describe(frontend::settings), describe(expected)) << c.content;
        EXPECT_EQ(errors(), "") << c.content;
    }
    // Parsing opens nothing but the options file.
    EXPECT_EQ(directory_entries(), std::vector<std::string>{"opts.cfg"});
}

TEST_F(OptionsFileTest, ValuesStandWhereTheFileIsNamed) {
    write_file("opts.cfg", "/tid 2\n");
    EXPECT_EQ(parse({"/tid", "1", "/cfg", "opts.cfg", "/lun", "4"}), 0);
    EXPECT_EQ(frontend::settings.target_id, 2);
    EXPECT_EQ(frontend::settings.lun, 4);
    EXPECT_EQ(parse({"/cfg", "opts.cfg", "/tid", "3"}), 0);
    EXPECT_EQ(frontend::settings.target_id, 3);
}

TEST_F(OptionsFileTest, NamesAreNotShortened) {
    write_file("abcdefghijklmnop.cfg", "/tid 7\n");
    write_file("abcdefghijkl", "/tid 9\n");
    EXPECT_EQ(parse({"/cfg", "abcdefghijklmnop.cfg"}), 0);
    EXPECT_EQ(frontend::settings.target_id, 7);
    EXPECT_EQ(parse({"/cfg", "abcdefghijklmnop.cfg\r\n"}), 0);
    EXPECT_EQ(errors(), "");
}

TEST_F(OptionsFileTest, ErrorsInsideAFileStopEverything) {
    struct Case {
        std::string content;
        std::string errors;
    };
    const Case cases[] = {
        {"/bogus\n/tid 4\n", INVALID + "\"/bogus\"\n"},
        {"/tid 4 /ofile\n", "ERROR: missing value for option \"/ofile\"\n"},
    };
    for (const Case& c : cases) {
        reset();
        write_file("opts.cfg", c.content);
        EXPECT_EQ(parse({"/cfg", "opts.cfg", "/den", "5"}), -1) << c.content;
        EXPECT_EQ(frontend::settings.density_code, 0) << c.content;
        EXPECT_EQ(errors(), c.errors) << c.content;
    }
}

TEST_F(OptionsFileTest, FinalChecksRunOnceAtTheTopLevel) {
    write_file("opts.cfg", "/maxtl 0 /tid 4 /lbsize 0\n/uld /lun\n");
    EXPECT_EQ(parse({"/cfg", "opts.cfg", "/den", "5"}), -1);
    EXPECT_EQ(errors(), MAXTL_ZERO);
    EXPECT_EQ(frontend::settings.lun, 0);
    EXPECT_EQ(frontend::settings.density_code, 5);
}

TEST_F(OptionsFileTest, UnopenableFileIsNamedInTheMessage) {
    EXPECT_EQ(parse({"/cfg", "nofile.cfg", "/tid", "5"}), -1);
    EXPECT_EQ(errors(), "ERROR: unable to open configuration file \"nofile.cfg\" for input\n");
    EXPECT_EQ(frontend::settings.target_id, 2);
}

TEST_F(OptionsFileTest, HelpInsideAFileEndsTheRunWithStatusZero) {
    write_file("opts.cfg", "/tid 6 /?\n/lun 3\n");
    EXPECT_EQ(parse({"/cfg", "opts.cfg", "/den", "5"}), -1);
    EXPECT_EQ(frontend::exit_status, 0);
    EXPECT_EQ(frontend::settings.lun, 0);
    EXPECT_EQ(frontend::settings.density_code, 0);
    EXPECT_NE(console().find("  tape drive SCSI id\t\t\t\t= 6\n"), std::string::npos);
    EXPECT_EQ(errors(), "");
}

}  // namespace
}  // namespace zv::test
