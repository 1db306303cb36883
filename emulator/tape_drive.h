// An emulated SSC tape drive: medium with records and filemarks, fixed and
// variable block modes, early warning and end of medium, load/unload, and the
// counters that drive status monitoring reads (LOG SENSE pages 30h and 31h,
// REQUEST SENSE bytes 20-27, READ POSITION).
#pragma once

#include "emulator/device.h"
#include "emulator/medium.h"

namespace zv::emulator {

class TapeDrive : public Device {
public:
    explicit TapeDrive(const DeviceConfig& config);

    const Medium& medium() const { return medium_; }

protected:
    void run(Command& command) override;
    void fill_vendor_sense(std::uint8_t* sense) override;

private:
    bool ready(Command& c);
    void test_unit_ready(Command& c);
    void read(Command& c);
    void write(Command& c);
    void write_filemarks(Command& c);
    void space(Command& c);
    void mode_select(Command& c);
    void mode_sense(Command& c);
    void load_unload(Command& c);
    void prevent_allow(Command& c);
    void read_position(Command& c);
    void read_block_limits(Command& c);
    void log_select(Command& c);
    void log_sense(Command& c);
    void space_blocks(Command& c, std::int32_t count);
    void space_filemarks(Command& c, std::int32_t count);
    void early_warning_check(Command& c);
    bool stop_at_mark(Command& c, std::uint32_t residue);

    const TapeOptions& options_;
    Medium medium_;
    bool loaded_;
    bool waiting_for_medium_ = false;  // a load found no medium
    std::uint32_t medium_turs_left_ = 0;
    std::uint32_t becoming_ready_left_ = 0;
    std::uint32_t block_length_;
    std::uint8_t density_;
    std::uint64_t bytes_written_ = 0;
    std::uint64_t bytes_read_ = 0;
};

}  // namespace zv::emulator
