#include "emulator/tape_drive.h"

#include <algorithm>
#include <cstring>

namespace zv::emulator {

namespace {

std::uint32_t count24(const std::uint8_t* cdb) {
    return (std::uint32_t(cdb[2]) << 16) | (std::uint32_t(cdb[3]) << 8) | cdb[4];
}

void put32(std::uint8_t* out, std::uint64_t value) {
    const auto v = static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
    out[0] = static_cast<std::uint8_t>(v >> 24);
    out[1] = static_cast<std::uint8_t>(v >> 16);
    out[2] = static_cast<std::uint8_t>(v >> 8);
    out[3] = static_cast<std::uint8_t>(v);
}

constexpr std::uint8_t PAGE_SUPPORTED = 0x00;
constexpr std::uint8_t PAGE_WRITE_COUNTERS = 0x30;
constexpr std::uint8_t PAGE_READ_COUNTERS = 0x31;

}  // namespace

TapeDrive::TapeDrive(const DeviceConfig& config)
    : Device(config),
      options_(config_.tape),
      loaded_(config_.tape.loaded),
      block_length_(config_.tape.block_size),
      density_(config_.tape.density) {}

void TapeDrive::fill_vendor_sense(std::uint8_t* sense) {
    put32(sense + 20, options_.rw_retries);
    put32(sense + 24, options_.tracking_retries);
}

// Medium commands need a loaded, ready drive.
bool TapeDrive::ready(Command& c) {
    if (!loaded_) {
        c.check(KEY_NOT_READY, 0x3A, 0x00);
        return false;
    }
    if (becoming_ready_left_ > 0) {
        c.check(KEY_NOT_READY, 0x04, 0x01);
        return false;
    }
    return true;
}

void TapeDrive::run(Command& c) {
    switch (c.cdb[0]) {
    case 0x00: test_unit_ready(c); return;
    case 0x01:
        if (ready(c)) medium_.rewind();
        return;
    case 0x03:
    case 0x12: run_common(c); return;
    case 0x05: read_block_limits(c); return;
    case 0x08: read(c); return;
    case 0x0A: write(c); return;
    case 0x10: write_filemarks(c); return;
    case 0x11: space(c); return;
    case 0x15: mode_select(c); return;
    case 0x1A: mode_sense(c); return;
    case 0x1B: load_unload(c); return;
    case 0x1E: prevent_allow(c); return;
    case 0x34: read_position(c); return;
    case 0x4C: log_select(c); return;
    case 0x4D: log_sense(c); return;
    default: c.check(KEY_ILLEGAL_REQUEST, 0x20, 0x00); return;
    }
}

void TapeDrive::test_unit_ready(Command& c) {
    if (waiting_for_medium_) {
        if (medium_turs_left_ > 0) {
            --medium_turs_left_;
            c.check(KEY_NOT_READY, 0x3A, 0x00);
            return;
        }
        // The operator has put a tape in.
        waiting_for_medium_ = false;
        loaded_ = true;
        medium_.rewind();
        becoming_ready_left_ = options_.becoming_ready;
    }
    if (loaded_ && becoming_ready_left_ > 0) {
        --becoming_ready_left_;
        c.check(KEY_NOT_READY, 0x04, 0x01);
        return;
    }
    ready(c);
}

void TapeDrive::early_warning_check(Command& c) {
    if (medium_.byte_position() > options_.early_warning_bytes) c.check(KEY_NO_SENSE, 0x00, 0x02, FLAG_EOM, true, 0);
}

void TapeDrive::write(Command& c) {
    if (!ready(c)) return;
    if (options_.write_protected) {
        c.check(KEY_DATA_PROTECT, 0x27, 0x00);
        return;
    }
    const bool fixed = c.cdb[1] & 0x01;
    const std::uint32_t count = count24(c.cdb);
    if (fixed && block_length_ == 0) {
        c.check(KEY_ILLEGAL_REQUEST, 0x24, 0x00);
        return;
    }
    if (count == 0) return;
    if (!fixed && (count < options_.min_block || count > options_.max_block)) {
        c.check(KEY_ILLEGAL_REQUEST, 0x24, 0x00);
        return;
    }
    const std::uint64_t bytes = fixed ? std::uint64_t(count) * block_length_ : count;
    if (bytes > c.length) {
        c.fail_call(ERROR_INVALID_PARAMETER);
        return;
    }
    medium_.truncate();
    if (medium_.byte_position() + bytes > options_.capacity_bytes) {
        c.check(KEY_VOLUME_OVERFLOW, 0x00, 0x02, FLAG_EOM, true, count);
        return;
    }
    medium_.append_records(c.data, fixed ? block_length_ : count, fixed ? count : 1);
    c.moved = static_cast<std::uint32_t>(bytes);
    bytes_written_ += bytes;
    early_warning_check(c);
}

void TapeDrive::write_filemarks(Command& c) {
    if (!ready(c)) return;
    const std::uint32_t count = count24(c.cdb);
    if (count == 0) return;  // writes nothing; the buffer is flushed anyway
    if (options_.write_protected) {
        c.check(KEY_DATA_PROTECT, 0x27, 0x00);
        return;
    }
    medium_.truncate();
    if (medium_.byte_position() >= options_.capacity_bytes) {
        c.check(KEY_VOLUME_OVERFLOW, 0x00, 0x02, FLAG_EOM, true, count);
        return;
    }
    for (std::uint32_t i = 0; i < count; ++i) medium_.append_filemark();
    early_warning_check(c);
}

// Reads and spaces over blocks stop at end of data (BLANK CHECK) or at a
// filemark, which is passed over (FILEMARK), reporting what was not done.
bool TapeDrive::stop_at_mark(Command& c, std::uint32_t residue) {
    if (medium_.at_eod()) {
        c.check(KEY_BLANK_CHECK, 0x00, 0x05, 0, true, residue);
        return true;
    }
    if (medium_.current().is_filemark()) {
        medium_.skip_entry();
        c.check(KEY_NO_SENSE, 0x00, 0x01, FLAG_FMK, true, residue);
        return true;
    }
    return false;
}

void TapeDrive::read(Command& c) {
    if (!ready(c)) return;
    const bool fixed = c.cdb[1] & 0x01;
    const std::uint32_t count = count24(c.cdb);
    if (fixed && block_length_ == 0) {
        c.check(KEY_ILLEGAL_REQUEST, 0x24, 0x00);
        return;
    }
    if (count == 0) return;
    if (!fixed) {
        if (count > c.length) {
            c.fail_call(ERROR_INVALID_PARAMETER);
            return;
        }
        if (stop_at_mark(c, count)) return;
        const std::uint32_t record = medium_.current().block_length;
        const std::uint32_t n = std::min(record, count);
        std::memcpy(c.data, medium_.current_block_bytes(), n);
        medium_.skip_blocks(1);
        c.moved = n;
        bytes_read_ += n;
        if (record != count)
            c.check(KEY_NO_SENSE, 0x00, 0x00, FLAG_ILI, true, static_cast<std::uint32_t>(std::int64_t(count) - record));
        return;
    }
    const std::uint64_t bytes = std::uint64_t(count) * block_length_;
    if (bytes > c.length) {
        c.fail_call(ERROR_INVALID_PARAMETER);
        return;
    }
    std::uint32_t done = 0;  // blocks moved
    while (done < count) {
        if (stop_at_mark(c, count - done)) break;
        const TapeEntry& entry = medium_.current();
        if (entry.block_length != block_length_) {
            medium_.skip_blocks(1);
            c.check(KEY_NO_SENSE, 0x00, 0x00, FLAG_ILI, true, count - done);
            break;
        }
        const std::uint32_t take = std::min(entry.block_count - medium_.block_in_entry(), count - done);
        std::memcpy(c.data + std::uint64_t(done) * block_length_, medium_.current_block_bytes(),
                    std::uint64_t(take) * block_length_);
        medium_.skip_blocks(take);
        done += take;
    }
    c.moved = done * block_length_;
    bytes_read_ += c.moved;
}

void TapeDrive::space(Command& c) {
    if (!ready(c)) return;
    std::int32_t count = static_cast<std::int32_t>(count24(c.cdb) << 8) >> 8;  // 24-bit two's complement
    switch (c.cdb[1] & 0x07) {
    case 0: space_blocks(c, count); return;
    case 1: space_filemarks(c, count); return;
    case 3: medium_.to_eod(); return;
    default: c.check(KEY_ILLEGAL_REQUEST, 0x24, 0x00); return;
    }
}

void TapeDrive::space_blocks(Command& c, std::int32_t count) {
    if (count >= 0) {
        for (std::int32_t done = 0; done < count; ++done) {
            if (stop_at_mark(c, static_cast<std::uint32_t>(count - done))) return;
            medium_.skip_blocks(1);
        }
        return;
    }
    const std::int32_t total = -count;
    for (std::int32_t done = 0; done < total; ++done) {
        if (medium_.at_bot()) {
            c.check(KEY_NO_SENSE, 0x00, 0x04, FLAG_EOM, true, static_cast<std::uint32_t>(total - done));
            return;
        }
        const bool filemark = medium_.filemark_before();
        medium_.back_object();
        if (filemark) {
            c.check(KEY_NO_SENSE, 0x00, 0x01, FLAG_FMK, true, static_cast<std::uint32_t>(total - done));
            return;
        }
    }
}

void TapeDrive::space_filemarks(Command& c, std::int32_t count) {
    if (count >= 0) {
        std::int32_t passed = 0;
        while (passed < count) {
            if (medium_.at_eod()) {
                c.check(KEY_BLANK_CHECK, 0x00, 0x05, 0, true, static_cast<std::uint32_t>(count - passed));
                return;
            }
            if (medium_.current().is_filemark()) ++passed;
            medium_.skip_entry();
        }
        return;
    }
    const std::int32_t total = -count;
    std::int32_t passed = 0;
    while (passed < total) {
        if (medium_.at_bot()) {
            c.check(KEY_NO_SENSE, 0x00, 0x04, FLAG_EOM, true, static_cast<std::uint32_t>(total - passed));
            return;
        }
        if (medium_.filemark_before()) ++passed;
        medium_.back_entry();
    }
}

void TapeDrive::mode_select(Command& c) {
    const std::uint32_t length = c.cdb[4];
    if (length == 0) return;
    if (length > c.length) {
        c.fail_call(ERROR_INVALID_PARAMETER);
        return;
    }
    const std::uint8_t* p = c.data;
    // A list shorter than its header has no byte 3 to look at.
    if (length < 4) {
        c.check(KEY_ILLEGAL_REQUEST, 0x1A, 0x00);
        return;
    }
    if ((p[3] != 0 && p[3] != 8) || 4u + p[3] > length) {
        c.check(KEY_ILLEGAL_REQUEST, p[3] != 0 && p[3] != 8 ? 0x26 : 0x1A, 0x00);
        return;
    }
    c.moved = length;
    if (p[3] == 0) return;
    const std::uint8_t density = p[4];
    const std::uint32_t block = (std::uint32_t(p[9]) << 16) | (std::uint32_t(p[10]) << 8) | p[11];
    const bool density_ok = density == 0 || !options_.densities_restricted ||
                            std::find(options_.densities.begin(), options_.densities.end(), density) !=
                                options_.densities.end();
    if (!density_ok || (block != 0 && (block < options_.min_block || block > options_.max_block))) {
        c.check(KEY_ILLEGAL_REQUEST, 0x26, 0x00);
        return;
    }
    if (density != 0) density_ = density;
    block_length_ = block;
}

void TapeDrive::mode_sense(Command& c) {
    const std::uint8_t page = c.cdb[2] & 0x3F;
    if (page != 0x00 && page != 0x3F) {
        c.check(KEY_ILLEGAL_REQUEST, 0x24, 0x00);
        return;
    }
    const bool descriptor = !options_.mode_sense_header_only && !(c.cdb[1] & 0x08);
    std::uint8_t data[12] = {};
    const std::uint32_t size = descriptor ? 12 : 4;
    data[0] = static_cast<std::uint8_t>(size - 1);
    data[2] = static_cast<std::uint8_t>(0x10 | (options_.write_protected ? 0x80 : 0x00));
    data[3] = descriptor ? 8 : 0;
    data[4] = density_;
    data[9] = static_cast<std::uint8_t>(block_length_ >> 16);
    data[10] = static_cast<std::uint8_t>(block_length_ >> 8);
    data[11] = static_cast<std::uint8_t>(block_length_);
    c.respond(data, size, c.cdb[4]);
}

void TapeDrive::load_unload(Command& c) {
    if (!options_.load_unload_supported) {
        c.check(KEY_ILLEGAL_REQUEST, 0x20, 0x00);
        return;
    }
    if (c.cdb[4] & 0x04) {  // EOT positioning is not emulated
        c.check(KEY_ILLEGAL_REQUEST, 0x24, 0x00);
        return;
    }
    medium_.rewind();
    if (!(c.cdb[4] & 0x01)) {
        loaded_ = false;
        waiting_for_medium_ = false;
        becoming_ready_left_ = 0;
        return;
    }
    if (options_.load_no_medium) {
        loaded_ = false;
        waiting_for_medium_ = true;
        medium_turs_left_ = options_.load_no_medium_turs;
        becoming_ready_left_ = 0;
        c.check(KEY_NOT_READY, 0x3A, 0x00);
        return;
    }
    if (!loaded_) {
        loaded_ = true;
        becoming_ready_left_ = options_.becoming_ready;
    }
}

void TapeDrive::prevent_allow(Command& c) {
    if (!options_.prevent_allow_supported) {
        c.check(KEY_ILLEGAL_REQUEST, 0x20, 0x00);
        return;
    }
    // Locking the medium in is not emulated (an unload always succeeds), so
    // the request is only checked.
    if ((c.cdb[4] & 0x03) > 1) c.check(KEY_ILLEGAL_REQUEST, 0x24, 0x00);
}

void TapeDrive::read_position(Command& c) {
    if (c.cdb[1] & 0x1E) {  // long form and service actions are not emulated
        c.check(KEY_ILLEGAL_REQUEST, 0x24, 0x00);
        return;
    }
    if (!ready(c)) return;
    std::uint8_t data[20] = {};
    data[0] = static_cast<std::uint8_t>((medium_.at_bot() ? 0x80 : 0) |
                                        (medium_.byte_position() > options_.early_warning_bytes ? 0x40 : 0));
    put32(data + 4, medium_.object_number());
    put32(data + 8, medium_.object_number());
    c.respond(data, 20, 20);
}

void TapeDrive::read_block_limits(Command& c) {
    std::uint8_t data[6] = {};
    data[1] = static_cast<std::uint8_t>(options_.max_block >> 16);
    data[2] = static_cast<std::uint8_t>(options_.max_block >> 8);
    data[3] = static_cast<std::uint8_t>(options_.max_block);
    data[4] = static_cast<std::uint8_t>(options_.min_block >> 8);
    data[5] = static_cast<std::uint8_t>(options_.min_block);
    c.respond(data, 6, 6);
}

void TapeDrive::log_select(Command& c) {
    if (c.cdb[1] & 0x02) {
        bytes_written_ = 0;
        bytes_read_ = 0;
    }
    const std::uint32_t length = (std::uint32_t(c.cdb[7]) << 8) | c.cdb[8];
    c.moved = std::min(length, c.length);
}

void TapeDrive::log_sense(Command& c) {
    const std::uint8_t page = c.cdb[2] & 0x3F;
    const bool cumulative = (c.cdb[2] >> 6) == 1;
    const std::uint32_t allocation = (std::uint32_t(c.cdb[7]) << 8) | c.cdb[8];
    std::uint8_t data[28] = {};
    data[0] = page;
    if (page == PAGE_SUPPORTED) {
        data[3] = 3;
        data[4] = PAGE_SUPPORTED;
        data[5] = PAGE_WRITE_COUNTERS;
        data[6] = PAGE_READ_COUNTERS;
        c.respond(data, 7, allocation);
        return;
    }
    if (page != PAGE_WRITE_COUNTERS && page != PAGE_READ_COUNTERS) {
        c.check(KEY_ILLEGAL_REQUEST, 0x24, 0x00);
        return;
    }
    // Counters in KB: data, compressed data, rewritten (write) or corrected (read) data.
    const std::uint64_t bytes = page == PAGE_WRITE_COUNTERS ? bytes_written_ : bytes_read_;
    const std::uint32_t permille = page == PAGE_WRITE_COUNTERS ? options_.rwr_permille : options_.ecc_permille;
    const std::uint64_t values[3] = {bytes / KB, bytes * 1000 / options_.compression_milli / KB,
                                     bytes * permille / 1000 / KB};
    data[3] = 24;
    for (int i = 0; i < 3; ++i) {
        std::uint8_t* parameter = data + 4 + 8 * i;
        parameter[1] = static_cast<std::uint8_t>(i);
        parameter[3] = 4;
        put32(parameter + 4, cumulative ? values[i] : 0);
    }
    c.respond(data, 28, allocation);
}

}  // namespace zv::emulator
