// Pass-through execution, the command log, the handle cache and break handling.
#include <csignal>
#include <functional>
#include <utility>

#include "fake_port.h"
#include "scsi/commands.h"

namespace zv::test {
namespace {

using scsi::layer;

class ExecuteTest : public LayerTest {
protected:
    void SetUp() override {
        LayerTest::SetUp();
        port.adapters[0].buses.push_back({7, {FakePort::device(2, 0, 0x01, false), FakePort::device(2, 3, 0x01, false)}});
        discover();
        target(0, 2);
    }
    void send(std::initializer_list<std::uint8_t> cdb, std::uint32_t length = 0) {
        static std::uint8_t buffer[512];
        const std::vector<std::uint8_t> bytes(cdb);
        layer.data_transfer_length = length;
        scsi::execute_cdb(buffer, static_cast<std::uint8_t>(bytes.size()), bytes.data());
    }
};

TEST_F(ExecuteTest, DirectionFollowsTheOpcodeAlone) {
    const std::set<std::uint8_t> data_out = {0x0A, 0x13, 0x15, 0x1D, 0x2A, 0x2E, 0x2F, 0x3B,
                                             0x3F, 0x4C, 0x55, 0xAA, 0xAE, 0xAF, 0xB6};
    for (int opcode = 0; opcode <= 0xFF; ++opcode) {
        send({static_cast<std::uint8_t>(opcode), 0, 0, 0, 0, 0});
        const bool out = data_out.count(static_cast<std::uint8_t>(opcode)) != 0;
        EXPECT_EQ(port.sent.back().direction, out ? port::Direction::out : port::Direction::in) << opcode;
    }
}

TEST_F(ExecuteTest, RequestCarriesTargetLengthTimeoutAndSenseCapacity) {
    target(0, 2, 3);
    scsi::test_unit_ready();
    send({0x08, 0x61, 0x00, 0x00, 0x40, 0x00, 0x11, 0x22, 0x33, 0x44}, 0x10000);
    ASSERT_EQ(port.sent.size(), 2u);
    EXPECT_EQ(port.sent[0].cdb, (std::vector<std::uint8_t>{0x00, 0x60, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(port.sent[0].length, 0u);
    EXPECT_EQ(port.sent[0].direction, port::Direction::in);
    const SentCommand& read = port.sent[1];
    EXPECT_EQ(read.cdb.size(), 10u);
    EXPECT_EQ(read.length, 0x10000u);
    EXPECT_EQ(read.timeout, 108000u);
    EXPECT_EQ(read.sense_capacity, 255);
    EXPECT_EQ(read.path_id, 0);
    EXPECT_EQ(read.target_id, 2);
    EXPECT_EQ(read.lun, 3);
}

TEST_F(ExecuteTest, CdbListLineIsWrittenBeforeEachSubmission) {
    std::FILE* list = std::tmpfile();
    scsi::set_cdb_list_file(list);
    target(0, 2, 3);
    scsi::test_unit_ready();
    port.answers.push_back({.sent = false, .error_code = 5});
    send({0x34, 0x60, 0, 0, 0, 0, 0, 0, 0xAB, 0x00});  // a failed submission is still logged
    target(0, 9);                                       // no handle: not logged
    scsi::test_unit_ready();
    EXPECT_EQ(stream_text(list), " 00 60 00 00 00 00\r\n"
                              " 34 60 00 00 00 00 00 00 ab 00\r\n");
    scsi::set_cdb_list_file(nullptr);
    std::fclose(list);
}

TEST_F(ExecuteTest, OutcomeAndSenseData) {
    std::vector<std::uint8_t> sense18(18, 0x5A);
    sense18[2] = 0xA0;
    std::vector<std::uint8_t> sense255(255, 0x33);
    sense255[2] = 0x06;
    struct Case {
        const char* name;
        Answer answer;
        std::uint8_t srb_status;
        std::uint32_t error_code;
        std::uint8_t target_status;
        std::uint8_t sense_key_byte;
        std::uint32_t true_length;
        std::size_t sense_bytes;  // bytes of the structure that hold returned sense
    };
    const Case cases[] = {
        {"success", {}, 0x00, 0, 0, 0, 0x200, 0},
        {"short transfer", {.transferred = 0x80}, 0x00, 0, 0, 0, 0x80, 0},
        {"check condition, 18 sense bytes", {.status = 0x02, .sense = sense18, .transferred = 0x10}, 0x00, 0, 0x02,
         0xA0, 0x10, 18},
        {"255 sense bytes", {.status = 0x02, .sense = sense255}, 0x00, 0, 0x02, 0x06, 0x200, 255},
        {"call failed", {.sent = false, .error_code = 1117}, 0xFF, 1117, 0, 0, 0x200, 0},
    };
    // What an earlier command leaves in the structure: its sense bytes, or the
    // data of a REQUEST SENSE. Either must be gone after the next command.
    const std::vector<std::uint8_t> stale(255, 0xEE);
    const std::pair<const char*, std::function<void()>> earlier[] = {
        {"after sense", [&] {
             port.answers.push_back({.status = 0x02, .sense = stale});
             send({0x00, 0, 0, 0, 0, 0});
         }},
        {"after request sense", [&] {
             port.answers.push_back({.data = stale, .transferred = 255});
             scsi::request_sense(255);
         }},
        {"after a clean command", [&] { send({0x00, 0, 0, 0, 0, 0}); }},
    };
    for (const auto& [before, leave] : earlier) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + before);
            leave();
            port.answers.push_back(c.answer);
            send({0x08, 0x01, 0x00, 0x00, 0x01, 0x00}, 0x200);
            EXPECT_EQ(layer.outcome.srb_status, c.srb_status);
            EXPECT_EQ(layer.outcome.error_code, c.error_code);
            EXPECT_EQ(layer.outcome.target_status, c.target_status);
            EXPECT_EQ(layer.outcome.sense_key_byte, c.sense_key_byte);
            EXPECT_EQ(layer.outcome.true_transfer_length, c.true_length);
            EXPECT_TRUE(c.sense_bytes == 0 || std::memcmp(layer.sense_data, c.answer.sense.data(), c.sense_bytes) == 0);
            for (std::size_t i = c.sense_bytes; i < scsi::SENSE_DATA_SIZE; ++i) ASSERT_EQ(layer.sense_data[i], 0) << i;
        }
    }
}

TEST_F(ExecuteTest, RequestSenseKeepsItsDataInTheSenseStructure) {
    std::vector<std::uint8_t> data(18, 0);
    data[0] = 0x70;
    data[2] = 0x06;
    data[7] = 0x0A;
    data[12] = 0x28;
    port.answers.push_back({.data = data, .transferred = 18});
    scsi::request_sense(255);
    EXPECT_EQ(port.sent.back().length, 255u);
    EXPECT_EQ(port.sent.back().buffer, layer.sense_data);
    EXPECT_EQ(0, std::memcmp(layer.sense_data, data.data(), data.size()));
    EXPECT_EQ(layer.outcome.sense_key_byte, 0);  // no auto-sense came back
    EXPECT_EQ(layer.outcome.true_transfer_length, 18u);
}

TEST_F(ExecuteTest, UnregisteredTargetGetsNoHandle) {
    std::FILE* list = std::tmpfile();
    scsi::set_cdb_list_file(list);
    std::memset(layer.sense_data, 0xEE, scsi::SENSE_DATA_SIZE);
    target(0, 10);
    scsi::test_unit_ready();
    EXPECT_EQ(layer.outcome.srb_status, scsi::SRB_NO_DEVICE_HANDLE);
    EXPECT_EQ(layer.outcome.error_code, 2u);
    EXPECT_EQ(layer.outcome.target_status, 0);
    EXPECT_EQ(layer.outcome.sense_key_byte, 0);
    EXPECT_EQ(layer.outcome.true_transfer_length, 0u);
    for (std::uint32_t i = 0; i < scsi::SENSE_DATA_SIZE; ++i) ASSERT_EQ(layer.sense_data[i], 0);
    EXPECT_TRUE(port.sent.empty());
    EXPECT_EQ(stream_text(list), "");
    EXPECT_EQ(stream_text(console), "");
    scsi::set_cdb_list_file(nullptr);
    std::fclose(list);
}

TEST_F(ExecuteTest, HandleInUseKeepsTheOpenError) {
    port.in_use.insert("\\\\.\\Scsi0:");
    scsi::test_unit_ready();
    EXPECT_EQ(layer.outcome.srb_status, scsi::SRB_NO_DEVICE_HANDLE);
    EXPECT_EQ(layer.outcome.error_code, 32u);
    port.in_use.clear();
    scsi::test_unit_ready();
    EXPECT_EQ(layer.outcome.srb_status, scsi::SRB_OK);
    EXPECT_EQ(layer.outcome.error_code, 0u);
}

TEST_F(ExecuteTest, TargetSetters) {
    EXPECT_EQ(scsi::set_target_lun(7), 0);
    EXPECT_EQ(layer.lun_bits, 0xE0);
    EXPECT_EQ(scsi::set_target_lun(8), -1);
    EXPECT_EQ(layer.lun_bits, 0xE0);
    EXPECT_EQ(layer.current_target.lun, 7);
    EXPECT_EQ(scsi::set_target_scsi_id(15), 0);
    EXPECT_EQ(scsi::set_target_scsi_id(16), -1);
    EXPECT_EQ(layer.current_target.tid, 15);
    EXPECT_EQ(stream_text(console), "ERROR: invalid logical unit number specified (use 0 - 7 only)\r\n"
                                 "ERROR: invalid SCSI id specified (use 0 - 15 only)\r\n");
    const std::pair<std::uint8_t, std::uint8_t> fixed[] = {{1, 1}, {0, 0}, {2, 0}, {1, 1}, {255, 0}};
    for (auto [argument, bit] : fixed) {
        scsi::set_fixed_bit(argument);
        EXPECT_EQ(layer.fixed_bit, bit) << int(argument);
    }
}

// Handle ageing: N unclaimed devices share their adapter's handle.
class AgeingTest : public LayerTest {
protected:
    void adapter_with(int devices) {
        port::BusInquiry bus;
        for (int tid = 0; tid < devices; ++tid)
            bus.devices.push_back(FakePort::device(static_cast<std::uint8_t>(tid), 0, 0x01, false));
        port.adapters[0].buses.push_back(bus);
        discover();
    }
};

TEST_F(AgeingTest, SharedHandleSurvivesUpToTwelveDevicesAndIsReopenedBeyond) {
    for (int devices = 2; devices <= 16; ++devices) {
        // The target's entry first, last and in between.
        for (int tid : {0, devices / 2, devices - 1}) {
            SCOPED_TRACE(testing::Message() << devices << " devices, target " << tid);
            scsi::release_scsi_layer();
            port = FakePort{};
            adapter_with(devices);
            target(0, static_cast<std::uint8_t>(tid));
            for (int command = 0; command < 40; ++command) {
                scsi::test_unit_ready();
                ASSERT_EQ(layer.outcome.srb_status, scsi::SRB_OK);
            }
            EXPECT_EQ(port.opened.size(), devices <= 12 ? 1u : 40u);
            EXPECT_EQ(port.open_handles.size(), 1u);
            EXPECT_EQ(layer.open_handle_count, 1);
            if (devices <= 12) {
                EXPECT_EQ(port.close_count, 0);
                EXPECT_GE(layer.devices[0].handle_info->usage_score, -10);
                EXPECT_LE(layer.devices[0].handle_info->usage_score, 1);
            }
        }
    }
}

TEST_F(AgeingTest, IdleHandleClosesAfterElevenPlusItsScoreCommands) {
    port.adapters[0].buses.push_back({7, {FakePort::device(2, 0, 0x01, false)}});
    port.adapters[1].buses.push_back({7, {FakePort::device(3, 0, 0x01, false)}});
    discover();
    target(0, 2);
    scsi::test_unit_ready();  // adapter 0: score 1
    target(1, 3);
    for (int command = 1; command <= 11; ++command) scsi::test_unit_ready();
    EXPECT_EQ(port.close_count, 0);
    EXPECT_EQ(layer.open_handle_count, 2);
    scsi::test_unit_ready();  // the 12th: 1 - 12 < -10
    EXPECT_EQ(port.close_count, 1);
    EXPECT_EQ(layer.open_handle_count, 1);
    EXPECT_EQ(port.open_handles.begin()->second, "\\\\.\\Scsi1:");
    target(0, 2);
    scsi::test_unit_ready();
    EXPECT_EQ(port.opened, (std::vector<std::string>{"\\\\.\\Scsi0:", "\\\\.\\Scsi1:", "\\\\.\\Scsi0:"}));
    EXPECT_EQ(layer.outcome.srb_status, scsi::SRB_OK);
}

TEST_F(AgeingTest, ReleaseClosesEachOpenHandleOnce) {
    port.adapters[0].buses.push_back({7, {FakePort::device(2, 0, 0x01, false), FakePort::device(3, 0, 0x08, false)}});
    port.adapters[1].buses.push_back({7, {FakePort::device(4, 0, 0x01, true)}});
    port.tapes[0] = {1, 0, 4, 0};
    discover();
    target(0, 2);
    scsi::test_unit_ready();
    target(0, 3);
    scsi::test_unit_ready();
    target(1, 4);
    scsi::test_unit_ready();
    EXPECT_EQ(port.opened.size(), 2u);
    std::FILE* output = std::tmpfile();
    frontend::set_layer_log_stream(output);
    scsi::release_scsi_layer();
    EXPECT_EQ(port.close_count, 2);
    EXPECT_TRUE(port.open_handles.empty());
    EXPECT_EQ(frontend::channels.layer_log_stream, nullptr);
    EXPECT_EQ(layer.sense_data, nullptr);
    struct sigaction current {};
    sigaction(SIGINT, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
    std::fclose(output);
}

// Break handling: the signal only records the interrupt; the next command
// runs the program's handler, once.
int break_calls = 0;
int break_signal = 0;
void record_break(int signal_number) {
    ++break_calls;
    break_signal = signal_number;
}

TEST_F(ExecuteTest, CtrlCIsActedOnAfterTheCommandAndOnlyOnce) {
    break_calls = 0;
    scsi::install_break_handler(record_break);
    std::raise(SIGINT);
    EXPECT_EQ(scsi::interrupt_pending, 1);
    std::raise(SIGINT);  // ignored now: the process lives on
    EXPECT_EQ(break_calls, 0);
    scsi::test_unit_ready();
    EXPECT_EQ(break_calls, 1);
    EXPECT_EQ(break_signal, SIGINT);
    EXPECT_EQ(port.sent.size(), 1u);
    scsi::test_unit_ready();
    EXPECT_EQ(break_calls, 1);

    // Released while the interrupt is handled: SIGINT stays ignored.
    scsi::release_scsi_layer();
    struct sigaction current {};
    sigaction(SIGINT, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_IGN);
    scsi::interrupt_pending = 0;
    signal(SIGINT, SIG_DFL);
}

}  // namespace
}  // namespace zv::test
