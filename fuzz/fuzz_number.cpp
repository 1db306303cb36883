// parse_number on any text, checked against the digits it was given.
#include <cstdlib>
#include <cstring>
#include <string>

#include "frontend/options.h"
#include "fuzz/harness.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    zv::fuzz::enter_scratch_directory(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zv::fuzz::reset_process_state();
    std::string text(reinterpret_cast<const char*>(data), size);
    text.resize(std::strlen(text.c_str()));  // the parser sees a C string
    std::string copy = text;
    const std::uint32_t value = zv::frontend::parse_number(copy.data());
    // The text may lose its suffix, never more, and never grows.
    if (copy.size() != text.size() || std::strlen(copy.c_str()) + 1 < text.size()) __builtin_trap();
    // Plain decimal digits read as themselves (saturating at 32 bits).
    if (!text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos &&
        value != std::strtoul(text.c_str(), nullptr, 10))
        __builtin_trap();
    return 0;
}
