// The VIRTUAL entry of examples/zvtape.dsc must read every drive status
// counter of the emulated drive from the right place, within the bytes the
// monitoring asks for (40 log bytes, 20 position bytes, 255 sense bytes).
#include <fstream>
#include <map>
#include <sstream>

#include "tests/emulator/harness.h"

namespace zv::emulator::testing {
namespace {

struct Item {
    std::string command;
    unsigned page = 0, offset = 0, length = 0, multiplier = 0;
};

unsigned number(std::string text) {
    if (!text.empty() && (text.back() == 'h' || text.back() == 'H')) {
        text.pop_back();
        return static_cast<unsigned>(std::stoul(text, nullptr, 16));
    }
    return static_cast<unsigned>(std::stoul(text, nullptr, 0));
}

std::map<std::string, Item> virtual_entry() {
    std::ifstream file(std::string(ZV_SOURCE_DIR) + "/examples/zvtape.dsc");
    std::map<std::string, Item> items;
    std::string line;
    bool in_entry = false;
    while (std::getline(file, line)) {
        for (char& c : line)
            if (c == ',' || c == '=' || c == '\t' || c == '\r') c = ' ';
        std::istringstream tokens(line);
        std::string keyword;
        if (!(tokens >> keyword) || keyword[0] == ';') continue;
        if (!in_entry) {
            in_entry = line.find("VIRTUAL") != std::string::npos;
            continue;
        }
        Item item;
        std::string page, offset, length, multiplier;
        if (!(tokens >> item.command >> page >> offset >> length >> multiplier)) break;
        item.page = number(page);
        item.offset = number(offset);
        item.length = number(length);
        item.multiplier = number(multiplier);
        items[keyword] = item;
    }
    return items;
}

TEST(DscEntry, ReadsEveryCounterOfTheEmulatedDrive) {
    const auto items = virtual_entry();
    ASSERT_EQ(items.size(), 9u);
    Bench bench(tape_bus("block_size 1024 compression 2 rwr_permille 10 ecc_permille 3 rw_retries 3 "
                         "tracking_retries 1"));
    bench.run(write6(true, 1000, 1024000, 0x11));
    bench.run(rewind_tape());
    bench.run(read6(true, 1000, 1024000).expect_moved(1024000));
    const std::map<std::string, double> expected = {
        {"TDWR", 1024000}, {"WCMP", 512000}, {"DRWR", 10240}, {"TDRD", 1024000}, {"RCMP", 512000},
        {"DECC", 3072},    {"RPOS", 1000},   {"RWRC", 3},     {"TKRC", 1},
    };
    for (const auto& [keyword, item] : items) {
        SCOPED_TRACE(keyword);
        ASSERT_GE(item.length, 1u);
        ASSERT_LE(item.length, 4u);
        std::uint32_t start = 0;  // counter area within the returned data
        if (item.command == "LSD") {
            ASSERT_LE(4 + item.offset + item.length, 40u);
            bench.run(log_sense(static_cast<std::uint8_t>(item.page)));
            ASSERT_EQ(bench.buffer()[0], item.page);  // the page asked for comes first
            start = 4;
        } else if (item.command == "RPD") {
            ASSERT_LE(item.offset + item.length, 20u);
            bench.run(read_position());
        } else {
            ASSERT_EQ(item.command, "RSD");
            ASSERT_LE(item.offset + item.length, 255u);
            bench.run(request_sense(255));
        }
        std::uint32_t value = 0;
        for (unsigned i = 0; i < item.length; ++i) value = value << 8 | bench.buffer()[start + item.offset + i];
        EXPECT_EQ(double(value) * item.multiplier, expected.at(keyword));
    }
}

}  // namespace
}  // namespace zv::emulator::testing
