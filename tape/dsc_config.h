// The drive status configuration file "zvtape.dsc".
#pragma once

#include <cstdint>
#include <cstdio>

namespace zv::tape {

constexpr int DSC_ITEM_COUNT = 9;
enum DriveStatusItemNumber {
    ITEM_TDWR = 0, ITEM_TDRD, ITEM_WCMP, ITEM_RCMP, ITEM_DRWR, ITEM_DECC, ITEM_RPOS, ITEM_RWRC, ITEM_TKRC
};

struct DriveStatusItem {
    bool enabled = false;
    char command[4] = {};  // "LSD", "RPD" or "RSD"
    std::uint8_t log_page = 0;
    std::uint8_t field_offset = 0;
    std::uint8_t field_length = 0;
    std::uint32_t multiplier = 0;
};

struct DriveStatusConfig {
    bool loaded = false;
    DriveStatusItem items[DSC_ITEM_COUNT];
};

extern DriveStatusConfig drive_status_config;

// The keyword of an item number ("TDWR" ... "TKRC"); nullptr outside them.
const char* dsc_item_keyword(int item_number);

// Whether the item's counter lies wholly inside the data its command returns
// (for "LSD" the counter area after the 4-byte log page header). The loader
// refuses an item that fails this; the reader checks it again.
bool counter_in_range(const DriveStatusItem& item);

// Loads the entry under label from "zvtape.dsc" in the current directory.
int load_drive_status_config(const char* label);

}  // namespace zv::tape
