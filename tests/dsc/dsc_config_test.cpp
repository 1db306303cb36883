#include <filesystem>
#include <string>

#include <stdlib.h>

#include "../frontend/capture.h"

namespace zv::test {
namespace {

using tape::drive_status_config;
using tape::DriveStatusItem;

const std::string TOO_FEW = "DSC FILE ERROR: invalid option syntax in DSC file (too few arguments)\r\n";

std::string describe(const DriveStatusItem& item) {
    if (!item.enabled) return "off";
    return std::string(item.command) + " " + std::to_string(item.log_page) + " " + std::to_string(item.field_offset) +
           " " + std::to_string(item.field_length) + " " + std::to_string(item.multiplier);
}

// Each test runs in a fresh directory that holds its own "zvtape.dsc".
class DscTest : public CapturedOutputInScratchDirectory {
protected:
    static void write_dsc(const std::string& content) {
        std::FILE* file = std::fopen("zvtape.dsc", "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(content.data(), 1, content.size(), file);
        std::fclose(file);
    }
    // The items as "index:fields" for those enabled.
    static std::string enabled_items() {
        std::string text;
        for (int i = 0; i < tape::DSC_ITEM_COUNT; ++i) {
            if (drive_status_config.items[i].enabled) text += std::to_string(i) + ":" + describe(drive_status_config.items[i]) + ";";
        }
        return text;
    }
};

TEST_F(DscTest, EntriesAreFoundAndRead) {
    struct Case {
        const char* label;
        std::string content;
        int result;
        std::string items;
        std::string console = "";
    };
    const std::string long_item = "TDWR LSD 1 2 3 4";
    const Case cases[] = {
        // The label is found as contained text; the rest of its line is not read.
        {"ABC", "XYZ\nTDRD LSD 1 1 1 1\nABCD entry TDRD\nTDWR LSD 0x32 4 4 1000\n", 0, "0:LSD 50 4 4 1000;"},
        // A comment naming the label is not the label line.
        {"LAB", "; LAB is below\nTDWR LSD 1 0 4 1\nLAB\nTDRD RPD 0 4 4 512\n", 0, "1:RPD 0 4 4 512;"},
        // Comments, empty lines, tabs, Ctrl-Z and any separator mix inside an entry.
        {"LAB",
         "LAB\n\n; comment\nTDWR = LSD,3Ch,8,4,0x400\r\n\tTDRD\tLSD 0x3C 12 4 60\x1a\n   \nDRWR LSD 60 16 4 1 ; note\n",
         0, "0:LSD 60 8 4 1024;1:LSD 60 12 4 60;4:LSD 60 16 4 1;"},
        {"LAB", "LAB\nRPOS RPD 0 4 4 1\nRWRC RSD 0 16 2 1\nTKRC RSD 0 18 2 1\nWCMP LSD 0x39 0 4 1\n"
                "RCMP LSD 0x39 4 4 1\nDECC LSD 3 20 4 10b\n",
         0, "2:LSD 57 0 4 1;3:LSD 57 4 4 1;5:LSD 3 20 4 2;6:RPD 0 4 4 1;7:RSD 0 16 2 1;8:RSD 0 18 2 1;"},
        // A misspelt or lower-case keyword, or the next label, ends the entry silently.
        {"LAB", "LAB\nTDWR LSD 1 2 3 4\ntdrd LSD 1 2 3 4\nWCMP LSD 1 2 3 4\n", 0, "0:LSD 1 2 3 4;"},
        {"LAB", "LAB\nTDWR LSD 1 2 3 4\nNEXT\nWCMP LSD 1 2 3 4\n", 0, "0:LSD 1 2 3 4;"},
        {"LAB", "LAB", 0, ""},
        {"LAB", "LAB\nOTHER\n", 0, ""},
        // Past 82 characters the rest of a line is a line of its own.
        {"LAB", "LAB\n" + long_item + std::string(82 - long_item.size(), ' ') + "RPOS RPD 0 4 4 1\n", 0,
         "0:LSD 1 2 3 4;6:RPD 0 4 4 1;"},
        // A stray character costs a message; the leading digits count.
        {"LAB", "LAB\nTDWR LSD 1 2x 4 1\n", 0, "0:LSD 1 2 4 1;", "ERROR: illegal character(s) in number string\r\n"},
        // Failures.
        {"LAB", "LAB\nTDWR LSD 1 2 3\n", -1, "0:LSD 1 2 3 0;", TOO_FEW},
        {"LAB", "LAB\nTDWR\n", -1, "0: 0 0 0 0;", TOO_FEW},
        {"LAB", "LAB\nTDWR LOG 1 2 3 4\n", -1, "0: 0 0 0 0;", "DSC FILE ERROR: unknown command \"LOG\" in DSC file\r\n"},
        {"MISSING", "LAB\nTDWR LSD 1 2 3 4\n; MISSING\n", -1, "",
         "DSC FILE ERROR: unable to find \"MISSING\" in DSC file\r\n"},
    };
    for (const Case& c : cases) {
        reset();
        write_dsc(c.content);
        EXPECT_EQ(tape::load_drive_status_config(c.label), c.result) << c.content;
        EXPECT_TRUE(drive_status_config.loaded);
        EXPECT_EQ(enabled_items(), c.items) << c.content;
        EXPECT_EQ(console(), c.console) << c.content;
        EXPECT_EQ(errors(), "");
    }
}

TEST_F(DscTest, CountersPastTheirDataAreRefused) {
    struct Case {
        const char* line;
        const char* keyword;  // null: accepted
    };
    const Case cases[] = {
        {"TDWR LSD 0x32 32 4 1", nullptr}, {"TDWR LSD 0x32 33 4 1", "TDWR"}, {"TDWR LSD 0x32 36 0 1", nullptr},
        {"DECC LSD 3 0 5 1", "DECC"},      {"RPOS RPD 0 16 4 1", nullptr},   {"RPOS RPD 0 17 4 1", "RPOS"},
        {"RWRC RSD 0 252 4 1", nullptr},   {"RWRC RSD 0 253 4 1", "RWRC"},   {"TKRC RSD 0 0 0x105 1", "TKRC"},
    };
    for (const Case& c : cases) {
        reset();
        write_dsc(std::string("LAB\n") + c.line + "\n");
        EXPECT_EQ(tape::load_drive_status_config("LAB"), c.keyword == nullptr ? 0 : -1) << c.line;
        const std::string message = c.keyword == nullptr ? "" :
            std::string("DSC FILE ERROR: field offset/length out of range for \"") + c.keyword + "\" in DSC file\r\n";
        EXPECT_EQ(console(), message) << c.line;
    }
}

TEST_F(DscTest, MissingFile) {
    EXPECT_EQ(tape::load_drive_status_config("LAB"), -1);
    EXPECT_EQ(console(), "DSC FILE ERROR: unable to open DSC file \"zvtape.dsc\"\r\n");
    EXPECT_FALSE(drive_status_config.loaded);
}

TEST_F(DscTest, MessagesAlsoReachAnOpenOutputFile) {
    std::FILE* output = std::tmpfile();
    frontend::channels.output_file = output;
    write_dsc("LAB\nTDWR LSD 1 2\n");
    EXPECT_EQ(tape::load_drive_status_config("LAB"), -1);
    EXPECT_EQ(console(), TOO_FEW);
    EXPECT_EQ(stream_text(output), TOO_FEW);
    std::fclose(output);
}

TEST_F(DscTest, DscOptionLoadsEachLabelInTurn) {
    write_dsc("ONE\nTDWR LSD 1 2 3 4\nRPOS RPD 0 4 4 1\nTWO\nTDWR LSD 5 6 3 8\nRWRC RSD 0 16 2 1\n");
    EXPECT_EQ(parse({"/dsc", "ONE", "/dsc", "TWO", "500", "/tid", "3"}), 0);
    EXPECT_EQ(enabled_items(), "0:LSD 5 6 3 8;6:RPD 0 4 4 1;7:RSD 0 16 2 1;");
    EXPECT_EQ(frontend::settings.dsc_delay, 500);
    EXPECT_EQ(frontend::settings.target_id, 3);
    EXPECT_EQ(console(), "");

    reset();
    EXPECT_EQ(parse({"/dsc", "TWO", "/tid", "3"}), 0);
    EXPECT_EQ(frontend::settings.dsc_delay, 0);
    EXPECT_EQ(frontend::settings.target_id, 3);
    EXPECT_EQ(enabled_items(), "0:LSD 5 6 3 8;7:RSD 0 16 2 1;");
}

TEST_F(DscTest, FailedLoadStopsTheParsing) {
    write_dsc("ONE\nTDWR LSD 1 2 3 4\n");
    EXPECT_EQ(parse({"/dsc", "NONE", "/tid", "3"}), -1);
    EXPECT_EQ(console(), "DSC FILE ERROR: unable to find \"NONE\" in DSC file\r\n");
    EXPECT_EQ(frontend::settings.target_id, 2);
    EXPECT_EQ(frontend::exit_status, 1);
}

TEST_F(DscTest, LabelIsCutAtLineEndAndAfter82Characters) {
    const std::string label(82, 'L');
    write_dsc(label + "\nTDWR LSD 1 2 3 4\n");
    EXPECT_EQ(parse({"/dsc", label + "EXTRA"}), 0);
    EXPECT_EQ(enabled_items(), "0:LSD 1 2 3 4;");

    reset();
    EXPECT_EQ(parse({"/dsc", "LLL\r\nrest"}), 0);
    EXPECT_EQ(enabled_items(), "0:LSD 1 2 3 4;");
}

}  // namespace
}  // namespace zv::test

namespace zv::test {
namespace {

TEST_F(DscTest, ShippedExampleLoadsAllNineItems) {
    std::filesystem::copy_file(std::filesystem::path(ZV_SOURCE_DIR) / "examples" / "zvtape.dsc", "zvtape.dsc");
    EXPECT_EQ(tape::load_drive_status_config("VIRTUAL"), 0);
    EXPECT_EQ(console(), "");
    for (const DriveStatusItem& item : drive_status_config.items) EXPECT_TRUE(item.enabled);
}

}  // namespace
}  // namespace zv::test
