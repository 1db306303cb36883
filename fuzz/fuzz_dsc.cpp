// The drive status configuration loader. Input: the label, a NUL, then the
// contents of zvtape.dsc; without a NUL the whole input is the file and the
// label is VIRTUAL.
#include <cstring>
#include <string>

#include "fuzz/harness.h"
#include "tape/dsc_config.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    zv::fuzz::enter_scratch_directory(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zv::fuzz::reset_process_state();
    const void* nul = std::memchr(data, 0, size);
    std::string label = "VIRTUAL";
    const std::uint8_t* file = data;
    std::size_t file_size = size;
    if (nul != nullptr) {
        const std::size_t length = static_cast<const std::uint8_t*>(nul) - data;
        // The option parser hands over at most 82 characters.
        label.assign(reinterpret_cast<const char*>(data), length < 82 ? length : 82);
        file = data + length + 1;
        file_size = size - length - 1;
    }
    zv::fuzz::write_file("zvtape.dsc", file, file_size);
    const int result = zv::tape::load_drive_status_config(label.c_str());
    if (result != 0 && result != -1) __builtin_trap();
    if (!zv::tape::drive_status_config.loaded) __builtin_trap();
    // Whatever loaded without an error is safe to read a counter with: a
    // known command and a field of 1 to 4 bytes inside that command's data.
    if (result == 0) {
        for (const zv::tape::DriveStatusItem& item : zv::tape::drive_status_config.items) {
            if (!item.enabled || item.command[0] == '\0') continue;
            if (item.field_length > 4) __builtin_trap();
            const unsigned end = unsigned(item.field_offset) + item.field_length;
            if (std::strcmp(item.command, "LSD") == 0 && end + 4 > 40) __builtin_trap();
            if (std::strcmp(item.command, "RPD") == 0 && end > 20) __builtin_trap();
        }
    }
    return 0;
}
