// Command-line argument vectors (NUL-separated in the input) through the
// option parser. A drive status file with the VIRTUAL entry and a small
// options file lie in the working directory, so "/dsc VIRTUAL" and
// "/cfg opts.cfg" reach their readers too.
#include <cstring>
#include <string>

#include "frontend/options.h"
#include "fuzz/harness.h"
#include "tape/dsc_config.h"

namespace {

const char DSC_TEXT[] =
    "; test entry\r\n"
    "VIRTUAL\r\n"
    "TDWR LSD 30h  4 4 1024\r\n"
    "WCMP,LSD,30h,12,4,1024\r\n"
    "RPOS=RPD=0=4=4=1\r\n"
    "RWRC RSD 0 20 4 1\r\n"
    "OTHER\r\n"
    "TKRC RSD 0 24 4 1\r\n";
const char CFG_TEXT[] = "; options\n/tid 3 /lun 1\n\t/loop=4\n/cfg opts.cfg\n/megs 0x10\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    zv::fuzz::enter_scratch_directory(argc, argv);
    zv::fuzz::write_file("zvtape.dsc", reinterpret_cast<const std::uint8_t*>(DSC_TEXT), std::strlen(DSC_TEXT));
    zv::fuzz::write_file("opts.cfg", reinterpret_cast<const std::uint8_t*>(CFG_TEXT), std::strlen(CFG_TEXT));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // "/cfg /dev/zero" would read forever and "/cfg /dev/stdin" wait for
    // input: names of special files are not what this target is about.
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const char* special : {"/dev", "/proc", "/sys"})
        if (text.find(special) != std::string::npos) return 0;
    zv::fuzz::reset_process_state();
    zv::fuzz::ArgumentVector args = zv::fuzz::split_arguments(data, size, 64);
    const int result = zv::frontend::parse_options(args.count(), args.data());
    if (result != 0 && result != -1) __builtin_trap();
    // The status changes only through "/?".
    if (zv::frontend::exit_status != 0 && zv::frontend::exit_status != 1) __builtin_trap();
    // After success the final checks hold.
    const zv::frontend::TestSettings& s = zv::frontend::settings;
    if (result == 0 && (s.max_transfer_length == 0 ||
                        (!s.block_size_from_mode_sense && s.logical_block_size > s.max_transfer_length)))
        __builtin_trap();
    return 0;
}
