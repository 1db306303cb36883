// "/dump [value]": after a miscompare, the good data and the data read from
// the 16-byte row of the first differing byte, in the report and on the
// console; the run still fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "process.h"

namespace {

namespace fs = std::filesystem;
using zv::test::read_file;
using zv::test::with_crlf;

const fs::path DATA = ZV_TESTDATA_DIR;

// The bytes of pattern.bin, "0123456789abcdef", as one dump row.
const std::string PATTERN_ROW = "30 31 32 33 | 34 35 36 37 | 38 39 61 62 | 63 64 65 66  0123456789abcdef\n";
// A short last row of the four bytes "0123".
const std::string PATTERN_FOUR = "30 31 32 33 " + std::string(42, ' ') + " 0123" + std::string(12, ' ') + "\n";

std::string offset(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%06X: ", value);
    return text;
}

std::string pattern_rows(unsigned first, int count) {
    std::string rows;
    for (int i = 0; i < count; ++i) rows += offset(first + 16u * static_cast<unsigned>(i)) + PATTERN_ROW;
    return rows;
}

const std::string GOOD = "expected (good) data:\n";
const std::string READ = "data read from the drive:\n";
// dump_row.vbus: byte 0x25 of the first READ(6) comes back as 15h.
const std::string ROW_20_READ = "000020: 30 31 32 33 | 34 15 36 37 | 38 39 61 62 | 63 64 65 66  01234.6789abcdef\n";
const std::string ROW_MESSAGE = "ERROR: data miscompare after read command 1 at offset 0x25\nfor SCSI id 2 LUN 0\n";

struct DumpCase {
    const char* name;
    const char* bus;
    std::vector<std::string> dump_options;  // at the end of the command line
    std::string report_end;                 // the report from the miscompare message on
};

void PrintTo(const DumpCase& c, std::ostream* os) { *os << c.name; }

class DumpTest : public ::testing::TestWithParam<DumpCase> {};

TEST_P(DumpTest, GoodAndReadDataFromTheDifferingRow) {
    const DumpCase& c = GetParam();
    const fs::path directory = zv::test::scratch_directory(c.name);
    fs::copy_file(DATA / "pattern.bin", directory / "pattern.bin");
    std::vector<std::string> args = {"/vbus", (DATA / c.bus).string(), "/megs", "1", "/dfile", "pattern.bin"};
    args.insert(args.end(), c.dump_options.begin(), c.dump_options.end());
    const zv::test::ProcessResult result = zv::test::run_program(ZVTAPE_BIN, args, directory);

    EXPECT_EQ(result.exit_status, 1);
    EXPECT_EQ(result.err, "");
    const std::string expected = with_crlf(c.report_end);
    const std::string report = read_file(directory / "zvtape.out");
    ASSERT_GE(report.size(), expected.size());
    EXPECT_EQ(report.substr(report.size() - expected.size()), expected);
    EXPECT_NE(result.out.find(expected), std::string::npos) << "console:\n" << result.out;
    fs::remove_all(directory);
}

INSTANTIATE_TEST_SUITE_P(
    Miscompares, DumpTest,
    ::testing::Values(
        // 20 bytes: a full row and a short one, from row 0x20.
        DumpCase{"twenty_bytes", "dump_row.vbus", {"/dump", "20"},
                 ROW_MESSAGE + GOOD + offset(0x20) + PATTERN_ROW + offset(0x30) + PATTERN_FOUR + READ + ROW_20_READ +
                     offset(0x30) + PATTERN_FOUR},
        // No value: 256 bytes, sixteen rows.
        DumpCase{"no_value", "dump_row.vbus", {"/dump"},
                 ROW_MESSAGE + GOOD + pattern_rows(0x20, 16) + READ + ROW_20_READ + pattern_rows(0x30, 15)},
        // 0 means 256 too; the option after it is still parsed.
        DumpCase{"zero", "dump_row.vbus", {"/dump", "0", "/tid", "2"},
                 ROW_MESSAGE + GOOD + pattern_rows(0x20, 16) + READ + ROW_20_READ + pattern_rows(0x30, 15)},
        // The next argument is an option, not a value.
        DumpCase{"option_follows", "dump_row.vbus", {"/dump", "/maxtl", "0x10000"},
                 ROW_MESSAGE + GOOD + pattern_rows(0x20, 16) + READ + ROW_20_READ + pattern_rows(0x30, 15)},
        // A difference in the last row of the command's data: the dump stops
        // at the end of the 64 KB buffer.
        DumpCase{"last_row", "dump_end.vbus", {"/dump", "0x100"},
                 "ERROR: data miscompare after read command 2 at offset 0xFFFA\nfor SCSI id 2 LUN 0\n" + GOOD +
                     pattern_rows(0xFFF0, 1) + READ +
                     "00FFF0: 30 31 32 33 | 34 35 36 37 | 38 39 9e 62 | 63 64 65 66  0123456789.bcdef\n"}),
    [](const ::testing::TestParamInfo<DumpCase>& info) { return std::string(info.param.name); });

}  // namespace
