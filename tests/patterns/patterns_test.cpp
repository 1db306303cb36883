// Data patterns, buffer allocation and the compare.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "frontend/options.h"
#include "frontend/output.h"
#include "tape/patterns.h"
#include "report_capture.h"

namespace {

using namespace zv;
using tape::data_buffers;
using test::Capture;


class PatternTest : public ::testing::Test {
protected:
    void SetUp() override {
        frontend::settings = frontend::TestSettings{};
        directory_ = std::filesystem::temp_directory_path() /
                     ("zv_patterns_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override {
        tape::free_buffer(data_buffers.data_buffer_1, 0);
        tape::free_buffer(data_buffers.data_buffer_2, 0);
        std::filesystem::remove_all(directory_);
    }
    std::string write_file(const std::string& name, const std::string& bytes) {
        const auto path = directory_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    std::vector<std::uint8_t> pattern() {
        const std::uint8_t* data = data_buffers.data_buffer_1;
        return std::vector<std::uint8_t>(data, data + frontend::settings.max_transfer_length);
    }
    std::filesystem::path directory_;
};

const std::vector<std::uint8_t> SEED_0_START = {0x26, 0x27, 0xF6, 0x85, 0x97, 0x15, 0xAD, 0x1D};

TEST_F(PatternTest, RandomFromSeedZeroStartsWithKnownBytesAtAnyLength) {
    for (std::uint32_t length : {8u, 9u, 0x10000u}) {
        std::vector<std::uint8_t> buffer(length, 0xEE);
        ASSERT_EQ(tape::randomize_buffer(0, buffer.data(), length, 0, length), 0);
        EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 8), SEED_0_START) << length;
    }
}

TEST_F(PatternTest, RandomizeOffsetAndCountRules) {
    struct Case {
        std::uint32_t offset, count;
        std::size_t first, end;  // the randomised range
    };
    const Case cases[] = {
        {2, 3, 2, 5},    // inside the buffer
        {2, 0, 2, 16},   // count 0: to the end
        {10, 20, 10, 16},  // past the end: cut at the end
        {17, 4, 0, 4},   // offset beyond the buffer: from 0
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> buffer(16, 0xEE);
        ASSERT_EQ(tape::randomize_buffer(0, buffer.data(), 16, c.offset, c.count), 0);
        for (std::size_t i = 0; i < 16; ++i) {
            if (i < c.first || i >= c.end) {
                EXPECT_EQ(buffer[i], 0xEE) << "offset " << c.offset << " byte " << i;
            } else if (i - c.first < SEED_0_START.size()) {
                // Every call seeds afresh, so the range starts with the seed's first byte.
                EXPECT_EQ(buffer[i], SEED_0_START[i - c.first]) << "offset " << c.offset << " byte " << i;
            }
        }
    }
}

TEST_F(PatternTest, RandomizeRefusesNullOrEmptyBuffer) {
    Capture capture;
    std::uint8_t byte = 0;
    EXPECT_EQ(tape::randomize_buffer(0, nullptr, 16, 0, 0), -1);
    EXPECT_EQ(tape::randomize_buffer(0, &byte, 0, 0, 0), -1);
    const std::string message = "ERROR: NULL buffer or zero buffer length (buffer not randomized)\r\n";
    EXPECT_EQ(capture.console(), message + message);
    EXPECT_EQ(capture.file(), message + message);
}

TEST_F(PatternTest, NullPatternIsZerosAndAnnounced) {
    Capture capture;
    ASSERT_EQ(tape::allocate_data_buffers(), 0);
    ASSERT_EQ(tape::set_data_pattern(), 0);
    EXPECT_EQ(pattern(), std::vector<std::uint8_t>(0x10000, 0));
    EXPECT_EQ(capture.console(), "setting null data pattern\r\n");
    EXPECT_EQ(capture.file(), "setting null data pattern\r\n");
}

TEST_F(PatternTest, RandomRepeatCopiesOneLogicalBlock) {
    frontend::settings.data_pattern = frontend::PATTERN_RANDOM;
    frontend::settings.random_repeat = true;
    Capture capture;
    ASSERT_EQ(tape::allocate_data_buffers(), 0);
    ASSERT_EQ(tape::set_data_pattern(), 0);
    const std::vector<std::uint8_t> data = pattern();
    const std::vector<std::uint8_t> block(data.begin(), data.begin() + 0x400);
    EXPECT_EQ(std::vector<std::uint8_t>(block.begin(), block.begin() + 4),
              std::vector<std::uint8_t>(SEED_0_START.begin(), SEED_0_START.begin() + 4));
    for (std::size_t copy = 1; copy < 64; ++copy) {
        ASSERT_TRUE(std::equal(block.begin(), block.end(), data.begin() + copy * 0x400)) << copy;
    }
    EXPECT_EQ(capture.file(), "setting pseudo-random data pattern (seed = 0; repeat every 0x400 bytes)\r\n");
}

TEST_F(PatternTest, RandomWithoutRepeatOrInVariableModeIsOneSequence) {
    for (bool repeat : {false, true}) {
        frontend::settings = frontend::TestSettings{};
        frontend::settings.data_pattern = frontend::PATTERN_RANDOM;
        frontend::settings.random_repeat = repeat;
        frontend::settings.logical_block_size = repeat ? 0 : 0x400;
        frontend::settings.max_transfer_length = 0x1000;
        Capture capture;
        ASSERT_EQ(tape::allocate_data_buffers(), 0);
        ASSERT_EQ(tape::set_data_pattern(), 0);
        std::vector<std::uint8_t> expected(0x1000);
        tape::randomize_buffer(0, expected.data(), 0x1000, 0, 0);
        EXPECT_EQ(pattern(), expected);
        // A repeat would make byte 0x400 the same as byte 0 again.
        EXPECT_NE(std::vector<std::uint8_t>(expected.begin(), expected.begin() + 8),
                  std::vector<std::uint8_t>(expected.begin() + 0x400, expected.begin() + 0x408));
        EXPECT_EQ(capture.file(), "setting pseudo-random data pattern (seed = 0)\r\n");
        tape::free_buffer(data_buffers.data_buffer_1, 0);
        tape::free_buffer(data_buffers.data_buffer_2, 0);
    }
}

TEST_F(PatternTest, UserFileIsRepeatedOrCut) {
    struct Case {
        std::string contents;
        std::uint32_t length;
        std::string expected;
    };
    const Case cases[] = {
        {"abc", 8, "abcabcab"},
        {"abc", 3, "abc"},
        {"x", 5, "xxxxx"},
        {"0123456789", 4, "0123"},
    };
    for (const Case& c : cases) {
        frontend::settings.data_pattern = frontend::PATTERN_USER_FILE;
        frontend::settings.pattern_file_name = write_file("pattern.bin", c.contents);
        frontend::settings.max_transfer_length = c.length;
        Capture capture;
        ASSERT_EQ(tape::allocate_data_buffers(), 0);
        ASSERT_EQ(tape::set_data_pattern(), 0) << c.contents;
        const std::vector<std::uint8_t> data = pattern();
        EXPECT_EQ(std::string(data.begin(), data.end()), c.expected);
        EXPECT_EQ(capture.file(), "setting user-defined data pattern (input file = \"" +
                                      frontend::settings.pattern_file_name + "\")\r\n");
        tape::free_buffer(data_buffers.data_buffer_1, 0);
        tape::free_buffer(data_buffers.data_buffer_2, 0);
    }
}

TEST_F(PatternTest, MissingOrEmptyUserFileFailsOnConsoleOnly) {
    for (bool exists : {false, true}) {
        frontend::settings.data_pattern = frontend::PATTERN_USER_FILE;
        frontend::settings.pattern_file_name =
            exists ? write_file("empty.bin", "") : (directory_ / "missing.bin").string();
        Capture capture;
        ASSERT_EQ(tape::allocate_data_buffers(), 0);
        EXPECT_EQ(tape::set_data_pattern(), -1);
        const std::string announcement =
            "setting user-defined data pattern (input file = \"" + frontend::settings.pattern_file_name + "\")\r\n";
        EXPECT_EQ(capture.console(),
                  announcement + "ERROR: cannot open \"" + frontend::settings.pattern_file_name + "\" for input\r\n");
        EXPECT_EQ(capture.file(), announcement);
        tape::free_buffer(data_buffers.data_buffer_1, 0);
        tape::free_buffer(data_buffers.data_buffer_2, 0);
    }
}

TEST_F(PatternTest, LoadRefusesMissingArgumentsAndClampsCount) {
    Capture capture;
    std::uint8_t buffer[4] = {};
    std::uint32_t count = 0;
    EXPECT_EQ(tape::load_buffer_from_file(nullptr, buffer, 4, count), -1);
    EXPECT_EQ(tape::load_buffer_from_file("x", nullptr, 4, count), -1);
    EXPECT_EQ(tape::load_buffer_from_file("x", buffer, 0, count), -1);
    const std::string message = "ERROR: no file name, NULL buffer, or zero buffer length (buffer not loaded)\r\n";
    EXPECT_EQ(capture.console(), message + message + message);
    EXPECT_EQ(capture.file(), "");

    const std::string name = write_file("ab.bin", "ab");
    for (std::uint32_t asked : {0u, 9u}) {
        count = asked;
        ASSERT_EQ(tape::load_buffer_from_file(name.c_str(), buffer, 4, count), 0);
        EXPECT_EQ(count, 4u);
        EXPECT_EQ(std::string(buffer, buffer + 4), "abab");
    }
    count = 3;
    std::uint8_t partial[4] = {'-', '-', '-', '-'};
    ASSERT_EQ(tape::load_buffer_from_file(name.c_str(), partial, 4, count), 0);
    EXPECT_EQ(std::string(partial, partial + 4), "aba-");
}

TEST_F(PatternTest, CompareGivesFirstDifferingOffset) {
    std::vector<std::uint8_t> a(64, 7), b(64, 7);
    EXPECT_EQ(tape::compare_buffers(a.data(), b.data(), 64), tape::BUFFERS_EQUAL);
    b[40] = 0;
    b[5] = 0;
    EXPECT_EQ(tape::compare_buffers(a.data(), b.data(), 64), 5u);
    EXPECT_EQ(tape::compare_buffers(a.data(), b.data(), 5), tape::BUFFERS_EQUAL);
    EXPECT_EQ(tape::compare_buffers(a.data(), b.data(), 0), tape::BUFFERS_EQUAL);
    b[0] = 1;
    EXPECT_EQ(tape::compare_buffers(a.data(), b.data(), 64), 0u);
    a[63] = 1;
    EXPECT_EQ(tape::compare_buffers(a.data() + 63, b.data() + 63, 1), 0u);
}

TEST_F(PatternTest, AllocationIsZeroFilledAndFreeNullsThePointer) {
    for (std::uint32_t size : {1u, 0xFFFFu, 0x10000u, 0x1FFFFu}) {
        std::uint8_t* buffer = nullptr;
        ASSERT_EQ(tape::allocate_buffer(buffer, size), 0);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + size), std::vector<std::uint8_t>(size, 0)) << size;
        tape::free_buffer(buffer, size);
        EXPECT_EQ(buffer, nullptr);
        tape::free_buffer(buffer, size);  // a second free does nothing
    }
}

}  // namespace
