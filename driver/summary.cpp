// The JSON run summary. The run only fills plain records here, once per
// interval at most; the document is built and written after the clean-up.
// nlohmann::json does the escaping and UTF-8 handling; its exceptions stay
// inside this file.
#include "driver/summary.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "driver/phases.h"
#include "driver/plan.h"
#include "frontend/help.h"
#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/layer.h"
#include "tape/dsc_config.h"

namespace zv::driver::summary {

namespace {

using frontend::settings;
// Keys stay in the order written, so the document reads top-down.
using json = nlohmann::ordered_json;

constexpr int STATUS_VALUE_COUNT = 6;
const char* const STATUS_VALUE_NAMES[STATUS_VALUE_COUNT] = {
    "compression_ratio",        "rwr_percentage",        "ecc_percentage", "tape_position",
    "read_write_retry_counter", "tracking_retry_counter",
};

struct IntervalRecord {
    std::uint32_t number = 0;
    double mb_planned = 0.0;
    double mb_moved = 0.0;
    std::uint32_t commands_planned = 0;
    std::uint32_t commands = 0;
    double seconds = 0.0;
    double rate_kb_per_sec = 0.0;
    bool end_reached = false;
    bool status_printed[STATUS_VALUE_COUNT] = {};
    double status[STATUS_VALUE_COUNT] = {};
};

struct PhaseRecord {
    bool started = false;
    bool completed = false;
    bool end_at_filemarks = false;
    std::vector<IntervalRecord> intervals;
};

struct Maximum {
    bool printed = false;
    double value = 0.0;
    bool passed = false;
};

struct IterationRecord {
    unsigned number = 0;
    PhaseRecord write;
    PhaseRecord read_compare;
    Maximum rwr;
    Maximum ecc;
};

// Where the run stands: the failure or the break is reported from here.
struct Position {
    unsigned iteration = 0;  // 0: outside the iterations
    Phase phase = Phase::none;
    std::uint32_t interval = 0;  // 0: not inside an interval
};

struct LastCommand {
    bool sent = false;  // the port saw at least one CDB
    std::uint8_t cdb[16] = {};
    std::uint8_t cdb_length = 0;
    std::uint8_t sense_length = 0;  // sense bytes the device returned
};

struct CapturedCommand {
    bool captured = false;
    bool failed = false;
    bool cdb_known = false;
    std::uint8_t cdb[16] = {};
    std::uint8_t cdb_length = 0;
    scsi::CommandOutcome outcome;
    std::vector<std::uint8_t> sense;
};

struct MiscompareRecord {
    bool happened = false;
    Position position;
    std::uint32_t command = 0;
    std::uint32_t offset = 0;
};

struct SummaryState {
    std::string start_time;
    bool drive_known = false;
    std::string vendor;
    std::string product;
    std::string revision;
    bool plan_known = false;
    TransferPlan plan;
    std::vector<IterationRecord> iterations;
    Position position;
    MiscompareRecord miscompare;
    LastCommand last_command;
    CapturedCommand captured;
    // Set when recording ran out of memory: the run goes on, and the summary
    // is then reported as not written.
    bool out_of_memory = false;
};


SummaryState state;

// Runs a recording step; an allocation failure must not end the test run.
template <typename Step>
void guarded(Step step) {
    try {
        step();
    } catch (const std::exception&) {
        state.out_of_memory = true;
    }
}

// ISO 8601 local time with its offset from UTC, e.g. 2026-03-07T13:05:00+01:00.
std::string iso_time_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0) return "";
    // strftime gives +hhmm; the extended form wants +hh:mm.
    const std::size_t length = std::strlen(text);
    if (length < 5) return text;
    return std::string(text, length - 2) + ':' + std::string(text + length - 2, 2);
}

// An INQUIRY field as text: up to its first zero byte, trailing blanks off.
std::string inquiry_text(const std::uint8_t* data, std::size_t offset, std::size_t width) {
    std::string text;
    for (std::size_t i = 0; i < width && data[offset + i] != 0; ++i) text += static_cast<char>(data[offset + i]);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

IterationRecord* current_iteration() {
    if (state.iterations.empty() || state.position.iteration == 0) return nullptr;
    return &state.iterations.back();
}

PhaseRecord* current_phase() {
    IterationRecord* iteration = current_iteration();
    if (iteration == nullptr) return nullptr;
    switch (state.position.phase) {
        case Phase::write: return &iteration->write;
        case Phase::read_compare: return &iteration->read_compare;
        case Phase::none: break;
    }
    return nullptr;
}

const char* phase_name(Phase phase) {
    switch (phase) {
        case Phase::write: return "write";
        case Phase::read_compare: return "read_compare";
        case Phase::none: break;
    }
    return nullptr;
}

json optional_text(const std::string& text) { return text.empty() ? json(nullptr) : json(text); }

json settings_json() {
    const char* pattern = "null";
    if (settings.data_pattern == frontend::PATTERN_RANDOM) pattern = "random";
    if (settings.data_pattern == frontend::PATTERN_USER_FILE) pattern = "user_file";
    return json{
        {"output_file", settings.output_file_name},
        {"output_file_mode", settings.output_file_mode == "ab" ? "append" : "create"},
        {"cdb_list_file", settings.cdb_list_enabled ? json(settings.cdb_list_file_name) : json(nullptr)},
        {"data_pattern", pattern},
        {"random_repeat", settings.random_repeat},
        {"pattern_file", settings.data_pattern == frontend::PATTERN_USER_FILE ? json(settings.pattern_file_name)
                                                                              : json(nullptr)},
        {"host_adapter", settings.host_adapter_number},
        {"bus", settings.bus_number},
        {"target_id", settings.target_id},
        {"lun", settings.lun},
        {"density_code", settings.density_code},
        {"iterations", settings.iterations},
        {"data_amount_mb", settings.data_amount_mb},
        {"status_interval_mb", settings.status_interval_given ? json(settings.status_interval_mb) : json(nullptr)},
        {"logical_block_size", settings.logical_block_size},
        {"block_size_from_mode_sense", settings.block_size_from_mode_sense},
        {"max_transfer_length", settings.max_transfer_length},
        {"drive_status_config_loaded", tape::drive_status_config.loaded},
        {"dsc_delay_ms", settings.dsc_delay},
        {"unload_reload", settings.unload_reload},
        {"virtual_bus_file", optional_text(settings.vbus_file_name)},
        {"dump_bytes", settings.dump_bytes == 0 ? json(nullptr) : json(settings.dump_bytes)},
    };
}

json interval_json(const IntervalRecord& interval, const char* end_name) {
    json status = json::object();
    for (int i = 0; i < STATUS_VALUE_COUNT; ++i) {
        if (!interval.status_printed[i]) continue;
        // Position and retry counters are whole numbers; the rest are ratios.
        if (i >= static_cast<int>(StatusValue::tape_position)) {
            status[STATUS_VALUE_NAMES[i]] = static_cast<std::uint64_t>(interval.status[i]);
        } else {
            status[STATUS_VALUE_NAMES[i]] = interval.status[i];
        }
    }
    return json{
        {"interval", interval.number},
        {"mb_planned", interval.mb_planned},
        {"mb_moved", interval.mb_moved},
        {"commands_planned", interval.commands_planned},
        {"commands", interval.commands},
        {"seconds", interval.seconds},
        {"rate_kb_per_sec", interval.rate_kb_per_sec},
        {end_name, interval.end_reached},
        {"drive_status", std::move(status)},
    };
}

// A phase that ended at end of medium (write) or blank check (read/compare),
// in an interval or already at the filemarks, carries end_name true.
json phase_json(const PhaseRecord& phase, const char* end_name) {
    json intervals = json::array();
    bool end_reached = phase.end_at_filemarks;
    for (const IntervalRecord& interval : phase.intervals) {
        intervals.push_back(interval_json(interval, end_name));
        end_reached = end_reached || interval.end_reached;
    }
    return json{
        {"completed", phase.completed},
        {end_name, end_reached},
        {"at_filemarks", phase.end_at_filemarks},
        {"intervals", std::move(intervals)},
    };
}

json maximum_json(const Maximum& maximum) {
    return json{{"max_percentage", maximum.value}, {"verdict", maximum.passed ? "passed" : "failed"}};
}

json iterations_json() {
    json iterations = json::array();
    for (const IterationRecord& record : state.iterations) {
        json iteration = {{"iteration", record.number}};
        if (record.write.started) iteration["write"] = phase_json(record.write, "end_of_medium");
        if (record.read_compare.started) iteration["read_compare"] = phase_json(record.read_compare, "blank_check");
        if (record.rwr.printed) iteration["rwr"] = maximum_json(record.rwr);
        if (record.ecc.printed) iteration["ecc"] = maximum_json(record.ecc);
        iterations.push_back(std::move(iteration));
    }
    return iterations;
}

json position_json(const Position& position) {
    const char* phase = phase_name(position.phase);
    return json{
        {"iteration", position.iteration == 0 ? json(nullptr) : json(position.iteration)},
        {"phase", phase == nullptr ? json(nullptr) : json(phase)},
        {"interval", position.interval == 0 ? json(nullptr) : json(position.interval)},
    };
}

json failed_command_json() {
    const CapturedCommand& command = state.captured;
    if (!command.captured || !command.failed) return nullptr;
    json cdb = nullptr;
    if (command.cdb_known) cdb = std::vector<std::uint8_t>(command.cdb, command.cdb + command.cdb_length);
    return json{
        {"cdb", std::move(cdb)},
        {"srb_status", command.outcome.srb_status},
        {"error_code", command.outcome.error_code},
        {"target_status", command.outcome.target_status},
        {"sense", command.sense},
    };
}

json outcome_json(Outcome outcome, int exit_status) {
    if (outcome == Outcome::completed) return json{{"result", "completed"}, {"exit_status", exit_status}};
    if (outcome == Outcome::interrupted) {
        return json{{"result", "interrupted"}, {"exit_status", exit_status}, {"where", position_json(state.position)}};
    }
    if (state.miscompare.happened) {
        return json{
            {"result", "miscompare"},
            {"exit_status", exit_status},
            {"where", position_json(state.miscompare.position)},
            {"command", state.miscompare.command},
            {"offset", state.miscompare.offset},
        };
    }
    return json{
        {"result", "failed"},
        {"exit_status", exit_status},
        {"where", position_json(state.position)},
        {"command", failed_command_json()},
    };
}

json document(Outcome outcome, int exit_status) {
    json drive = nullptr;
    if (state.drive_known) {
        drive = {{"vendor", state.vendor}, {"product", state.product}, {"revision", state.revision}};
    }
    json plan = nullptr;
    if (state.plan_known) {
        plan = {
            {"blocks_per_command", state.plan.blocks_per_command},
            {"total_commands", state.plan.total_commands},
            {"commands_per_interval", state.plan.commands_per_interval},
            {"interval_mb", state.plan.interval_mb},
            {"interval_count", state.plan.interval_count},
        };
    }
    return json{
        {"program", "zvtape"},
        {"title", frontend::PROGRAM_TITLE},
        {"version", ZV_VERSION},
        {"start_time", state.start_time},
        {"end_time", iso_time_now()},
        {"settings", settings_json()},
        {"drive", std::move(drive)},
        {"plan", std::move(plan)},
        {"iterations", iterations_json()},
        {"outcome", outcome_json(outcome, exit_status)},
    };
}

int write_file(const std::string& name, const std::string& text) {
    // The temporary file sits beside the summary, so the rename cannot cross
    // file systems and a reader sees either no summary or all of it.
    const std::string temporary = name + "." + std::to_string(::getpid()) + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) return -1;
    bool good = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    good = std::fflush(file) == 0 && good;
    good = ::fsync(::fileno(file)) == 0 && good;
    good = std::fclose(file) == 0 && good;
    if (good && std::rename(temporary.c_str(), name.c_str()) == 0) return 0;
    std::remove(temporary.c_str());
    return -1;
}

// Watches the CDBs on their way to the device: a copy of at most 16 bytes
// per command, nothing else.
class WatchingPort : public port::PortDriver {
public:
    explicit WatchingPort(std::unique_ptr<port::PortDriver> inner) : inner_(std::move(inner)) {}

    port::Handle open(const char* device_name, std::uint32_t& error_code) override {
        return inner_->open(device_name, error_code);
    }
    bool close(port::Handle handle, std::uint32_t& error_code) override { return inner_->close(handle, error_code); }
    bool get_inquiry_data(port::Handle adapter, port::AdapterInquiry& data, std::uint32_t& error_code) override {
        return inner_->get_inquiry_data(adapter, data, error_code);
    }
    bool get_address(port::Handle tape, port::ScsiAddress& address, std::uint32_t& error_code) override {
        return inner_->get_address(tape, address, error_code);
    }
    bool pass_through(port::Handle handle, port::PassThroughRequest& request, std::uint32_t& error_code) override {
        LastCommand& last = state.last_command;
        last.sent = true;
        last.cdb_length = request.cdb_length > 16 ? 16 : request.cdb_length;
        std::memcpy(last.cdb, request.cdb, last.cdb_length);
        const bool sent = inner_->pass_through(handle, request, error_code);
        last.sense_length = sent ? request.sense_info_length : 0;
        return sent;
    }
    std::string error_text(std::uint32_t error_code) override { return inner_->error_text(error_code); }

private:
    std::unique_ptr<port::PortDriver> inner_;
};

}  // namespace

bool enabled() { return !settings.json_file_name.empty() && !state.out_of_memory; }

void begin_run() {
    if (!enabled()) return;
    state = SummaryState{};
    guarded([] { state.start_time = iso_time_now(); });
}

std::unique_ptr<port::PortDriver> watch_port(std::unique_ptr<port::PortDriver> port) {
    if (!enabled() || !port) return port;
    std::unique_ptr<port::PortDriver> watching;
    // On a failed allocation the port is still ours, unwatched.
    guarded([&] { watching = std::make_unique<WatchingPort>(std::move(port)); });
    return watching ? std::move(watching) : std::move(port);
}

void note_drive() {
    if (!enabled() || scsi::layer.inquiry_data == nullptr) return;
    const std::uint8_t* data = scsi::layer.inquiry_data;
    guarded([data] {
        state.vendor = inquiry_text(data, 8, 8);
        state.product = inquiry_text(data, 16, 16);
        state.revision = inquiry_text(data, 32, 4);
        state.drive_known = true;
    });
}

void note_plan() {
    if (!enabled()) return;
    state.plan_known = true;
    state.plan = plan;
}

void begin_iteration(unsigned number) {
    if (!enabled()) return;
    guarded([number] {
        IterationRecord record;
        record.number = number;
        state.iterations.push_back(std::move(record));
        state.position = Position{number, Phase::none, 0};
    });
}

void begin_phase(Phase phase) {
    if (!enabled()) return;
    state.position.phase = phase;
    state.position.interval = 0;
    if (PhaseRecord* record = current_phase()) record->started = true;
}

void end_phase() {
    if (!enabled()) return;
    if (PhaseRecord* record = current_phase()) record->completed = true;
    state.position.phase = Phase::none;
    state.position.interval = 0;
}

void note_end_at_filemarks() {
    if (!enabled()) return;
    if (PhaseRecord* record = current_phase()) record->end_at_filemarks = true;
}

void begin_interval(std::uint32_t number) {
    if (!enabled()) return;
    state.position.interval = number;
}

void record_interval(const PhaseStatistics& statistics) {
    if (!enabled()) return;
    PhaseRecord* record = current_phase();
    if (record == nullptr) return;
    IntervalRecord interval;
    interval.number = state.position.interval;
    interval.mb_planned = plan.interval_mb;
    interval.mb_moved = statistics.amount_mb;
    interval.commands_planned = plan.commands_per_interval;
    interval.commands = statistics.commands;
    interval.seconds = statistics.seconds;
    interval.rate_kb_per_sec = statistics.rate_kb_per_sec;
    interval.end_reached = statistics.end_reached;
    guarded([&] { record->intervals.push_back(interval); });
}

void note_status_value(StatusValue which, double value) {
    if (!enabled()) return;
    PhaseRecord* record = current_phase();
    if (record == nullptr || record->intervals.empty()) return;
    const int index = static_cast<int>(which);
    if (index < 0 || index >= STATUS_VALUE_COUNT) return;
    IntervalRecord& interval = record->intervals.back();
    interval.status_printed[index] = true;
    interval.status[index] = value;
}

void note_maximum(bool rwr, double maximum, bool passed) {
    if (!enabled()) return;
    IterationRecord* iteration = current_iteration();
    if (iteration == nullptr) return;
    Maximum& record = rwr ? iteration->rwr : iteration->ecc;
    record = Maximum{true, maximum, passed};
}

void note_miscompare(std::uint32_t command, std::uint32_t offset) {
    if (!enabled()) return;
    state.miscompare = MiscompareRecord{true, state.position, command, offset};
}

void capture_last_command() {
    if (!enabled()) return;
    CapturedCommand& captured = state.captured;
    captured = CapturedCommand{};
    captured.captured = true;
    captured.outcome = scsi::layer.outcome;
    captured.failed = scsi::command_failed();
    // Without a device handle the command never reached the port.
    const LastCommand& last = state.last_command;
    captured.cdb_known = last.sent && captured.outcome.srb_status != scsi::SRB_NO_DEVICE_HANDLE;
    if (captured.cdb_known) {
        captured.cdb_length = last.cdb_length;
        std::memcpy(captured.cdb, last.cdb, last.cdb_length);
        if (scsi::layer.sense_data != nullptr) {
            const std::uint32_t length = last.sense_length;
            guarded([&] { captured.sense.assign(scsi::layer.sense_data, scsi::layer.sense_data + length); });
        }
    }
}

int write(Outcome outcome, int exit_status) {
    if (settings.json_file_name.empty()) return 0;
    int result = -1;
    // A summary with holes would mislead more than none.
    if (!state.out_of_memory) {
        try {
            // Names and INQUIRY fields may hold bytes that are not UTF-8:
            // they become U+FFFD instead of failing the whole summary.
            const std::string text =
                document(outcome, exit_status).dump(2, ' ', false, json::error_handler_t::replace);
            result = write_file(settings.json_file_name, text + "\n");
        } catch (const std::exception&) {
            result = -1;
        }
    }
    if (result != 0) {
        std::fprintf(frontend::channels.error_console, "ERROR: unable to write JSON summary file \"%s\"\n",
                     settings.json_file_name.c_str());
    }
    return result;
}

}  // namespace zv::driver::summary
