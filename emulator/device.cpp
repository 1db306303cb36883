#include "emulator/device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace zv::emulator {

void Command::respond(const std::uint8_t* bytes, std::uint32_t size, std::uint32_t allocation) {
    moved = std::min({size, allocation, length});
    if (moved > 0) std::memcpy(data, bytes, moved);
}

void build_sense(const Sense& sense, std::uint8_t* out, std::uint32_t size) {
    std::memset(out, 0, size);
    out[0] = sense.valid ? 0xF0 : 0x70;
    out[2] = static_cast<std::uint8_t>(sense.flags | (sense.key & 0x0F));
    out[3] = static_cast<std::uint8_t>(sense.info >> 24);
    out[4] = static_cast<std::uint8_t>(sense.info >> 16);
    out[5] = static_cast<std::uint8_t>(sense.info >> 8);
    out[6] = static_cast<std::uint8_t>(sense.info);
    out[7] = static_cast<std::uint8_t>(size - 8);
    out[12] = sense.asc;
    out[13] = sense.ascq;
}

void put_auto_sense(port::PassThroughRequest& request, const Sense& sense) {
    std::uint8_t bytes[AUTO_SENSE_LENGTH];
    build_sense(sense, bytes, AUTO_SENSE_LENGTH);
    const std::uint32_t n = std::min<std::uint32_t>(AUTO_SENSE_LENGTH, request.sense_info_length);
    std::memcpy(request.sense, bytes, n);
    request.sense_info_length = static_cast<std::uint8_t>(n);
}

namespace {

void put_text(std::uint8_t* out, const std::string& text, std::size_t width) {
    std::memset(out, ' ', width);
    std::memcpy(out, text.data(), std::min(width, text.size()));
}

const char* default_product(std::uint8_t type) {
    switch (type) {
    case TYPE_TAPE: return "VIRTUAL TAPE";
    case TYPE_DISK: return "VIRTUAL DISK";
    case TYPE_CHANGER: return "VIRTUAL CHANGER";
    case TYPE_PROCESSOR: return "VIRTUAL PROC";
    default: return "VIRTUAL DEVICE";
    }
}

}  // namespace

void build_inquiry(const DeviceConfig& config, std::uint8_t* out) {
    std::memset(out, 0, 36);
    out[0] = static_cast<std::uint8_t>((config.qualifier << 5) | config.type);
    out[1] = (config.type == TYPE_TAPE || config.type == TYPE_CHANGER) ? 0x80 : 0x00;  // removable medium
    out[2] = 0x05;
    out[3] = 0x02;
    out[4] = 31;
    put_text(out + 8, config.vendor, 8);
    put_text(out + 16, config.product.empty() ? default_product(config.type) : config.product, 16);
    put_text(out + 32, config.revision, 4);
}

void sleep_for(std::chrono::nanoseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    for (;;) {
        auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero()) return;
        left = std::min<std::chrono::nanoseconds>(left, std::chrono::milliseconds(50));
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timespec slice{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        if (nanosleep(&slice, nullptr) != 0 && errno == EINTR) return;
    }
}

Device::Device(const DeviceConfig& config) : config_(config), opcode_counts_(256, 0) {
    unit_attention_pending_ = config.unit_attention;
    std::uint32_t longest_short = 0;
    for (const FaultConfig& f : config.faults)
        if (f.action == FaultAction::short_read) longest_short = std::max(longest_short, f.short_bytes);
    saved_tail_.resize(longest_short);
}

const FaultConfig* Device::matching_fault(std::uint8_t opcode) {
    for (const FaultConfig& f : config_.faults) {
        if (f.by_opcode && f.opcode != opcode) continue;
        const std::uint64_t n = f.by_opcode ? opcode_counts_[opcode] : command_count_;
        if (n >= f.at && (f.count == 0 || n - f.at < f.count)) return &f;
    }
    return nullptr;
}

void Device::pace(std::chrono::steady_clock::time_point start, std::uint32_t bytes) {
    using namespace std::chrono;
    auto wait_until = start + milliseconds(config_.delay_ms);
    if (config_.speed_mbps > 0 && bytes > 0) {
        // Commands queue behind each other at the capped rate. A short lag
        // (sleep overshoot, the caller's own work) is made up later; a longer
        // idle time earns no credit, so a burst after a pause never beats the cap.
        if (next_free_ < start - milliseconds(100)) next_free_ = start;
        next_free_ += nanoseconds(static_cast<std::int64_t>(double(bytes) * 1e9 / (double(config_.speed_mbps) * MB)));
        wait_until = std::max(wait_until, next_free_);
    }
    const auto now = steady_clock::now();
    if (wait_until > now) sleep_for(wait_until - now);
}

bool Device::run_common(Command& c) {
    std::uint8_t buffer[std::max<std::uint32_t>(REQUEST_SENSE_LENGTH, 36)];
    switch (c.cdb[0]) {
    case 0x12:  // INQUIRY
        if (c.cdb[1] & 0x01) {
            c.check(KEY_ILLEGAL_REQUEST, 0x24, 0x00);
            return true;
        }
        build_inquiry(config_, buffer);
        c.respond(buffer, 36, (std::uint32_t(c.cdb[3]) << 8) | c.cdb[4]);
        return true;
    case 0x03:  // REQUEST SENSE
        build_sense(c.pending, buffer, REQUEST_SENSE_LENGTH);
        fill_vendor_sense(buffer);
        c.respond(buffer, REQUEST_SENSE_LENGTH, c.cdb[4]);
        return true;
    case 0x00:  // TEST UNIT READY
        return true;
    default:
        return false;
    }
}

bool Device::execute(port::PassThroughRequest& request, std::uint32_t& error_code) {
    // Only a device with a delay or a speed cap reads the clock: at memory
    // speed two clock reads are a few per cent of a 64 KB command.
    const bool paced = config_.delay_ms > 0 || config_.speed_mbps > 0;
    const auto start = paced ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point{};
    Command c;
    c.cdb = request.cdb;
    c.data = static_cast<std::uint8_t*>(request.data_buffer);
    c.length = request.data_buffer != nullptr ? request.data_transfer_length : 0;
    c.pending = pending_;
    const std::uint8_t opcode = request.cdb[0];
    ++command_count_;
    ++opcode_counts_[opcode];

    const FaultConfig* fault = matching_fault(opcode);
    const bool data_in = request.direction == port::Direction::in;
    const bool wrong_direction =
        request.data_transfer_length > 0 && data_in == is_data_out_opcode(opcode);
    if ((request.data_transfer_length > 0 && request.data_buffer == nullptr) || wrong_direction) {
        c.fail_call(ERROR_INVALID_PARAMETER);
    } else if (fault != nullptr && fault->action == FaultAction::call_fails) {
        c.fail_call(fault->error_code);
    } else if (fault != nullptr && fault->action == FaultAction::status) {
        c.status = fault->status;
        if (fault->has_sense)
            c.sense = Sense{true, fault->sense_key, fault->sense_flags, fault->asc, fault->ascq, fault->has_info,
                            fault->info};
    } else if (unit_attention_pending_ && opcode != 0x12) {
        unit_attention_pending_ = false;
        if (opcode == 0x03) {
            c.pending = Sense{true, KEY_UNIT_ATTENTION, 0, 0x29, 0x00, false, 0};
            run_common(c);
        } else {
            c.check(KEY_UNIT_ATTENTION, 0x29, 0x00);
        }
    } else {
        const bool short_read = fault != nullptr && fault->action == FaultAction::short_read && data_in;
        std::uint32_t tail = 0;
        if (short_read) {
            tail = std::min(fault->short_bytes, c.length);
            if (tail > 0) std::memcpy(saved_tail_.data(), c.data + c.length - tail, tail);
        }
        run(c);
        if (fault != nullptr && data_in && !c.call_failed) {
            if (fault->action == FaultAction::corrupt_byte && fault->byte_offset < c.moved)
                c.data[fault->byte_offset] ^= fault->xor_value;
            if (short_read && tail > 0 && c.moved == c.length) {
                c.moved -= tail;
                std::memcpy(c.data + c.length - tail, saved_tail_.data(), tail);
            }
        }
    }

    if (paced) pace(start, (opcode == 0x08 || opcode == 0x0A) && !c.call_failed ? c.moved : 0);

    if (c.call_failed) {
        pending_ = Sense{};
        request.scsi_status = 0;
        request.data_transfer_length = 0;
        request.sense_info_length = 0;
        error_code = c.error_code;
        return false;
    }
    request.scsi_status = c.status;
    request.data_transfer_length = c.moved;
    if (c.sense.present && c.status == STATUS_CHECK_CONDITION) {
        put_auto_sense(request, c.sense);
        pending_ = c.sense;
    } else {
        request.sense_info_length = 0;
        pending_ = Sense{};
    }
    error_code = 0;
    return true;
}

void SimpleDevice::run(Command& c) {
    if (!run_common(c)) c.check(KEY_ILLEGAL_REQUEST, 0x20, 0x00);
}

}  // namespace zv::emulator
