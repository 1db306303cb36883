// The emulated tape drive, command by command: each case is a drive
// description and a sequence of CDBs with the answers a real SSC drive gives.
#include "tests/emulator/harness.h"

namespace zv::emulator::testing {
namespace {

constexpr std::uint8_t FMK = 0x80, EOM = 0x40, ILI = 0x20;
constexpr std::uint8_t NOT_READY = 0x02, ILLEGAL = 0x05, BLANK = 0x08, OVERFLOW = 0x0D;

const std::vector<Case> cases = {
    {"VariableRecordsFilemarkAndEndOfData", "",
     {
         write6(false, 100, 100, 0x11),
         write6(false, 200, 200, 0x22),
         write_filemarks(1),
         position_is(3, 0x00),
         rewind_tape(),
         position_is(0, 0x80),
         read6(false, 100, 100).expect_moved(100).expect_fill(0x11),
         // A shorter record than asked: ILI, residue positive.
         read6(false, 300, 300).expect_check(ILI, 0, 0, 100).expect_moved(200).expect_fill(0x22),
         read6(false, 100, 100).expect_check(FMK, 0x00, 0x01, 100).expect_moved(0),
         position_is(3, 0x00),
         read6(false, 100, 100).expect_check(BLANK, 0x00, 0x05, 100).expect_moved(0),
     }},
    {"LongerRecordThanAskedGivesNegativeResidue", "",
     {
         write6(false, 300, 300, 0x33),
         rewind_tape(),
         read6(false, 100, 100).expect_check(ILI, 0, 0, -200).expect_moved(100).expect_fill(0x33),
         read6(false, 100, 100).expect_check(BLANK, 0x00, 0x05, 100),
     }},
    {"FixedBlockMode", "",
     {
         read6(true, 1, 512).expect_check(ILLEGAL, 0x24, 0x00),  // fixed bit in variable mode
         mode_select_block(512),
         mode_sense(12).expect_moved(12).expect_bytes({{0, 11}, {2, 0x10}, {3, 8}, {9, 0}, {10, 2}, {11, 0}}),
         write6(true, 4, 2048, 0x44),
         write_filemarks(1),
         write6(true, 2, 1024, 0x55),
         position_is(7, 0x00),
         rewind_tape(),
         read6(true, 2, 1024).expect_moved(1024).expect_fill(0x44),
         position_is(2, 0x00),
         // The filemark after two more blocks: they move, the rest is the residue.
         read6(true, 4, 2048).expect_check(FMK, 0x00, 0x01, 2).expect_moved(1024).expect_fill(0x44),
         position_is(5, 0x00),
         read6(true, 2, 1024).expect_moved(1024).expect_fill(0x55),
         read6(true, 1, 512).expect_check(BLANK, 0x00, 0x05, 1).expect_moved(0),
         // Back to variable mode.
         mode_select_block(0),
         mode_sense(12).expect_bytes({{9, 0}, {10, 0}, {11, 0}}),
     }},
    {"FixedReadOfRecordOfOtherLength", "",
     {
         write6(false, 100, 100, 0x66),
         mode_select_block(512),
         rewind_tape(),
         read6(true, 3, 1536).expect_check(ILI, 0, 0, 3).expect_moved(0),
         position_is(1, 0x00),
     }},
    {"BlockLengthLimitsAndDensities", "min_block 4 max_block 1024 densities 40h,42h density 40",
     {
         mode_select_block(2048).expect_check(ILLEGAL, 0x26, 0x00),
         mode_select_block(2).expect_check(ILLEGAL, 0x26, 0x00),
         mode_select_block(1024, 0x41).expect_check(ILLEGAL, 0x26, 0x00),
         mode_select_block(1024, 0x42),
         mode_sense(12).expect_bytes({{4, 0x42}, {10, 4}}),
         write6(false, 2048, 2048, 0).expect_check(ILLEGAL, 0x24, 0x00).expect_moved(0),
         cdb({0x05, 0, 0, 0, 0, 0}, 6).expect_moved(6).expect_bytes({{1, 0}, {2, 4}, {3, 0}, {4, 0}, {5, 4}}),
     }},
    {"ModeSenseHeaderOnly", "mode_sense_header_only block_size 1024",
     {
         mode_sense(12).expect_moved(4).expect_bytes({{0, 3}, {2, 0x10}, {3, 0}}),
     }},
    {"WriteTruncatesWhatFollows", "",
     {
         write6(false, 10, 10, 0x01),
         write6(false, 10, 10, 0x02),
         write_filemarks(1),
         rewind_tape(),
         read6(false, 10, 10).expect_moved(10).expect_fill(0x01),
         write6(false, 20, 20, 0x03),
         rewind_tape(),
         read6(false, 10, 10).expect_fill(0x01),
         read6(false, 20, 20).expect_moved(20).expect_fill(0x03),
         read6(false, 10, 10).expect_check(BLANK, 0x00, 0x05, 10),
     }},
    {"TruncationInsideAFixedWrite", "block_size 100",
     {
         write6(true, 5, 500, 0x07),
         rewind_tape(),
         read6(true, 2, 200).expect_fill(0x07),
         write6(true, 1, 100, 0x08),
         position_is(3, 0x00),
         rewind_tape(),
         read6(true, 3, 300).expect_moved(300),
         read6(true, 1, 100).expect_check(BLANK, 0x00, 0x05, 1),
     }},
    {"WriteFilemarksCountZeroWritesNothing", "",
     {
         write6(false, 10, 10, 0x01),
         rewind_tape(),
         write_filemarks(0),
         read6(false, 10, 10).expect_moved(10).expect_fill(0x01),
     }},
    {"EarlyWarningAndVolumeOverflow", "capacity_kb 64 early_warning_kb 32",
     {
         write6(false, 16384, 16384, 1),
         write6(false, 16384, 16384, 2),  // exactly at the early-warning point
         position_is(2, 0x00),
         write6(false, 16384, 16384, 3).expect_check(EOM, 0x00, 0x02, 0).expect_moved(16384),
         write_filemarks(1).expect_check(EOM, 0x00, 0x02, 0),
         position_is(4, 0x40),
         write6(false, 16384, 16384, 4).expect_check(EOM, 0x00, 0x02, 0).expect_moved(16384),
         write6(false, 1, 1, 5).expect_check(EOM | OVERFLOW, 0x00, 0x02, 1).expect_moved(0),
         write_filemarks(2).expect_check(EOM | OVERFLOW, 0x00, 0x02, 2),
         position_is(5, 0x40),
         rewind_tape(),
         space(3, 0),
         position_is(5, 0x40),
     }},
    {"SpaceFilemarksAndBlocks", "",
     {
         write6(false, 10, 10, 1), write_filemarks(1), write6(false, 10, 10, 2), write_filemarks(1),
         write6(false, 10, 10, 3),
         rewind_tape(),
         space(1, 2),
         position_is(4, 0x00),
         read6(false, 10, 10).expect_fill(3),
         space(1, 1).expect_check(BLANK, 0x00, 0x05, 1),
         position_is(5, 0x00),
         space(1, -1),  // back over the record and the second filemark
         position_is(3, 0x00),
         read6(false, 10, 10).expect_check(FMK, 0x00, 0x01, 10),
         space(1, -5).expect_check(EOM, 0x00, 0x04, 3),
         position_is(0, 0x80),
         space(0, 2).expect_check(FMK, 0x00, 0x01, 1),
         position_is(2, 0x00),
         space(0, -1).expect_check(FMK, 0x00, 0x01, 1),
         position_is(1, 0x00),
         space(0, -2).expect_check(EOM, 0x00, 0x04, 1),
         space(0, 0),
         space(3, 0),
         position_is(5, 0x00),
         space(0, 1).expect_check(BLANK, 0x00, 0x05, 1),
         space(2, 1).expect_check(ILLEGAL, 0x24, 0x00),
     }},
    {"UnloadedDriveUntilLoaded", "unloaded",
     {
         tur().expect_check(NOT_READY, 0x3A, 0x00),
         read6(false, 10, 10).expect_check(NOT_READY, 0x3A, 0x00),
         rewind_tape().expect_check(NOT_READY, 0x3A, 0x00),
         inquiry(36).expect_moved(36).expect_bytes({{0, 0x01}, {1, 0x80}}),
         load_unload(1),
         tur(),
         load_unload(0),
         tur().expect_check(NOT_READY, 0x3A, 0x00),
     }},
    {"BecomingReadyAfterLoad", "becoming_ready 2",
     {
         write6(false, 10, 10, 1),
         load_unload(0),
         load_unload(1),
         tur().expect_check(NOT_READY, 0x04, 0x01),
         read6(false, 10, 10).expect_check(NOT_READY, 0x04, 0x01),
         tur().expect_check(NOT_READY, 0x04, 0x01),
         tur(),
         position_is(0, 0x80),
         read6(false, 10, 10).expect_fill(1),  // the medium kept its data
     }},
    {"LoadFindsNoMedium", "load_no_medium 2 becoming_ready 1",
     {
         load_unload(0),
         load_unload(1).expect_check(NOT_READY, 0x3A, 0x00),
         tur().expect_check(NOT_READY, 0x3A, 0x00),
         tur().expect_check(NOT_READY, 0x3A, 0x00),
         tur().expect_check(NOT_READY, 0x04, 0x01),
         tur(),
     }},
    {"PreventAllowAndLoadUnloadOptions", "no_load_unload no_prevent_allow",
     {
         load_unload(0).expect_check(ILLEGAL, 0x20, 0x00),
         prevent_allow(1).expect_check(ILLEGAL, 0x20, 0x00),
     }},
    {"PreventAllowSupported", "",
     {
         prevent_allow(1),
         load_unload(0),
         load_unload(1),
         prevent_allow(0),
         prevent_allow(2).expect_check(ILLEGAL, 0x24, 0x00),
     }},
    {"WriteProtected", "write_protected",
     {
         write6(false, 10, 10, 1).expect_check(0x07, 0x27, 0x00).expect_moved(0),
         write_filemarks(1).expect_check(0x07, 0x27, 0x00),
         mode_sense(12).expect_bytes({{2, 0x90}}),
     }},
    {"UnitAttentionAtFirstCommand", "unit_attention",
     {
         inquiry(36).expect_moved(36),
         tur().expect_check(0x06, 0x29, 0x00),
         tur(),
     }},
    {"UnitAttentionReportedByRequestSense", "unit_attention",
     {
         request_sense(255).expect_moved(28).expect_bytes({{2, 0x06}, {12, 0x29}, {13, 0x00}}),
         tur(),
     }},
    {"RequestSenseGivesPendingSenseThenNoSense", "rw_retries 300 tracking_retries 7",
     {
         read6(false, 10, 10).expect_check(BLANK, 0x00, 0x05, 10),
         request_sense(255).expect_moved(28).expect_bytes(
             {{0, 0xF0}, {2, 0x08}, {6, 10}, {7, 20}, {12, 0x00}, {13, 0x05}, {22, 0x01}, {23, 0x2C}, {27, 7}}),
         request_sense(255).expect_moved(28).expect_bytes({{0, 0x70}, {2, 0x00}, {13, 0x00}, {23, 0x2C}}),
         request_sense(18).expect_moved(18),
     }},
    {"InquiryData", R"(vendor "ACME" product "STREAMER 9" rev "2.1")",
     {
         inquiry(36).expect_moved(36).expect_bytes({{0, 0x01}, {4, 31}, {8, 'A'}, {11, 'E'}, {12, ' '}, {16, 'S'},
                                                    {25, '9'}, {26, ' '}, {32, '2'}, {34, '1'}, {35, ' '}}),
         inquiry(5).expect_moved(5),
         cdb({0x12, 1, 0, 0, 36, 0}, 36).expect_check(ILLEGAL, 0x24, 0x00),
     }},
    {"UnknownOpcode", "",
     {
         cdb({0x0B, 0, 0, 0, 0, 0}).expect_check(ILLEGAL, 0x20, 0x00),
         cdb({0xA3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}).expect_check(ILLEGAL, 0x20, 0x00),
     }},
    {"LogPagesAndCounters", "compression 2.0 rwr_permille 10 ecc_permille 3 block_size 1024",
     {
         log_sense(0x00).expect_moved(7).expect_bytes({{0, 0}, {3, 3}, {4, 0x00}, {5, 0x30}, {6, 0x31}}),
         write6(true, 1000, 1024000, 0x5A),
         // data written 1000 KB, compressed 500 KB, rewritten 10240 bytes = 10 KB
         log_sense(0x30).expect_moved(28).expect_bytes(
             {{0, 0x30}, {3, 24}, {5, 0}, {7, 4}, {10, 0x03}, {11, 0xE8}, {13, 1}, {18, 0x01}, {19, 0xF4}, {27, 10}}),
         log_sense(0x31).expect_bytes({{0, 0x31}, {11, 0}}),
         rewind_tape(),
         read6(true, 1000, 1024000).expect_moved(1024000).expect_fill(0x5A),
         // data read 1000 KB, corrected 3072 bytes = 3 KB
         log_sense(0x31).expect_bytes({{10, 0x03}, {11, 0xE8}, {19, 0xF4}, {27, 3}}),
         log_sense(0x31, 40, 0).expect_bytes({{11, 0}, {27, 0}}),  // thresholds: zero
         log_sense(0x30, 12).expect_moved(12),
         log_sense(0x35).expect_check(ILLEGAL, 0x24, 0x00),
         cdb({0x4C, 0x02, 0, 0, 0, 0, 0, 0, 0, 0}),  // LOG SELECT with PCR resets
         log_sense(0x30).expect_bytes({{11, 0}, {19, 0}, {27, 0}}),
     }},
    {"DataLengthTooShortForTheCommand", "block_size 512",
     {
         write6(true, 2, 512, 1).expect_call_error(87),
         read6(true, 2, 512).expect_call_error(87),
     }},
};

class TapeDriveCase : public CaseTest {};

TEST_P(TapeDriveCase, AnswersLikeARealDrive) { run_case(); }

INSTANTIATE_TEST_SUITE_P(Commands, TapeDriveCase, ::testing::ValuesIn(cases), case_name);

TEST(SimpleDevices, AnswerInquiryAndRejectTheRest) {
    Bench bench("adapter 0\nbus 0\ndevice 0:0:0:0 disk qualifier 1\ndevice 0:0:4:0 changer\n"
                "device 0:0:2:0 tape\n");
    bench.run_all({inquiry(36).expect_moved(36).expect_bytes({{0, 0x20}, {1, 0x00}, {16, 'V'}, {24, 'D'}}),
                   tur(), request_sense(255).expect_moved(28).expect_bytes({{2, 0}}),
                   read6(false, 10, 10).expect_check(0x05, 0x20, 0x00)},
                  0);
    bench.run(inquiry(36).expect_bytes({{0, 0x08}, {1, 0x80}}), 4);
}

TEST(SimpleDevices, AbsentLunAnswersInquiryWith7Fh) {
    Bench bench(tape_bus(""));
    bench.run_all({inquiry(36).expect_moved(36).expect_bytes({{0, 0x7F}}), tur().expect_check(0x05, 0x25, 0x00)}, 2, 1);
    bench.run(tur().expect_call_error(1167), 3);  // no target at all
}

}  // namespace
}  // namespace zv::emulator::testing
