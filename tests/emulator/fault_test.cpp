// Injected faults, delays and the speed cap; and the memory a long run of
// identical blocks costs.
#include <chrono>
#include <fstream>

#include "emulator/medium.h"
#include "tests/emulator/harness.h"

namespace zv::emulator::testing {
namespace {

const std::vector<Case> fault_cases = {
    {"NthCommandStatusWithSense", "\nfault at 2 status 02 sense 3/11/00 eom info 5",
     {
         tur(),
         tur().expect_check(0x43, 0x11, 0x00, 5),
         tur(),
     }},
    {"NthOfOneOpcodeForSeveralCommands",
     "block_size 512\nfault opcode 08 at 2 count 2 status 08",
     {
         write6(true, 4, 2048, 0x21),
         rewind_tape(),
         read6(true, 1, 512).expect_fill(0x21),
         tur(),
         read6(true, 1, 512).expect_status(0x08).expect_moved(0),
         read6(true, 1, 512).expect_status(0x08),
         read6(true, 1, 512).expect_moved(512).expect_fill(0x21),  // the failed reads did not move the tape
     }},
    {"EveryCommandFromTheNthOn", "\nfault opcode 00 at 2 count 0 status 02 sense 2/04/00",
     {
         tur(),
         tur().expect_check(0x02, 0x04, 0x00),
         tur().expect_check(0x02, 0x04, 0x00),
         inquiry(36).expect_moved(36),
     }},
    {"CallFails", "\nfault at 2 call_fails 1117",
     {
         tur(),
         write6(false, 10, 10, 1).expect_call_error(1117),
         position_is(0, 0x80),  // nothing was written
     }},
    {"ReadWithAChangedByte", "\nfault opcode 08 at 1 corrupt_byte 5 xor 0F",
     {
         write6(false, 64, 64, 0xA0),
         rewind_tape(),
         read6(false, 64, 64).expect_moved(64).expect_bytes({{4, 0xA0}, {5, 0xAF}, {6, 0xA0}}),
         rewind_tape(),
         read6(false, 64, 64).expect_fill(0xA0),
     }},
    {"ShortReadWithGoodStatus", "block_size 512\nfault opcode 08 at 1 short 16",
     {
         write6(true, 2, 1024, 0x5C),
         rewind_tape(),
         read6(true, 2, 1024).expect_moved(1008).expect_fill(0x5C).expect_bytes({{1008, 0xEE}, {1023, 0xEE}}),
         position_is(2, 0x00),
     }},
};

class FaultCase : public CaseTest {};

TEST_P(FaultCase, Applies) { run_case(); }

INSTANTIATE_TEST_SUITE_P(Faults, FaultCase, ::testing::ValuesIn(fault_cases), case_name);

double seconds_for(Bench& bench, const std::vector<Step>& steps) {
    const auto start = std::chrono::steady_clock::now();
    bench.run_all(steps);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(Pacing, DelayPerCommand) {
    Bench bench(tape_bus("delay_ms 40"));
    EXPECT_GE(seconds_for(bench, {tur(), tur(), tur()}), 0.12);
}

TEST(Pacing, SpeedCapOnData) {
    Bench bench(tape_bus("speed_mbps 20"));
    // 4 MB at 20 MB/s: at least 0.2 s; commands without data are not slowed.
    std::vector<Step> writes(4, write6(false, 1048576, 1048576, 1));
    EXPECT_GE(seconds_for(bench, writes), 0.19);
    EXPECT_LT(seconds_for(bench, std::vector<Step>(50, tur())), 0.05);
}

std::size_t resident_bytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4096;
}

TEST(Memory, IdenticalBlocksShareOneCopy) {
    std::string error;
    auto port = parse_virtual_bus(tape_bus("capacity_mb 8192 block_size 1024"), "mem.vbus", error);
    ASSERT_NE(port, nullptr);
    std::uint32_t code = 0;
    const port::Handle h = port->open("\\\\.\\Scsi0:", code);
    std::vector<std::uint8_t> block(65536);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
    port::PassThroughRequest request;
    request.target_id = 2;
    request.cdb_length = 6;
    request.cdb[0] = 0x0A;
    request.cdb[1] = 0x01;
    request.cdb[3] = 0x00;
    request.cdb[4] = 64;  // 64 blocks of 1024 bytes
    request.direction = port::Direction::out;
    request.data_buffer = block.data();
    const std::size_t before = resident_bytes();
    for (int i = 0; i < 32768; ++i) {  // 2 GB
        request.data_transfer_length = 65536;
        ASSERT_TRUE(port->pass_through(h, request, code));
        ASSERT_EQ(request.scsi_status, 0);
    }
    EXPECT_LT(resident_bytes() - before, 8u * 1048576);
    // Read one back: the shared copy holds the bytes.
    request.cdb[0] = 0x01;  // REWIND
    request.data_transfer_length = 0;
    request.direction = port::Direction::in;
    ASSERT_TRUE(port->pass_through(h, request, code));
    std::vector<std::uint8_t> read(65536);
    request.cdb[0] = 0x08;
    request.data_buffer = read.data();
    request.data_transfer_length = 65536;
    ASSERT_TRUE(port->pass_through(h, request, code));
    EXPECT_EQ(request.scsi_status, 0);
    EXPECT_EQ(read, block);
}

TEST(Memory, TruncationReleasesContentNoLongerOnTape) {
    Medium medium;
    const std::uint8_t a[4] = {1, 2, 3, 4}, b2[4] = {5, 6, 7, 8};
    medium.append_records(a, 4, 1);
    medium.append_records(a, 4, 1);
    medium.append_records(b2, 4, 1);
    EXPECT_EQ(medium.store().live_contents(), 2u);
    medium.rewind();
    medium.skip_blocks(1);
    medium.truncate();
    EXPECT_EQ(medium.store().live_contents(), 1u);
    EXPECT_EQ(medium.entry_count(), 1u);
    EXPECT_TRUE(medium.at_eod());
}

}  // namespace
}  // namespace zv::emulator::testing
