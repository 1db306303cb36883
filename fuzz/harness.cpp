#include "fuzz/harness.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "frontend/options.h"
#include "frontend/output.h"
#include "tape/dsc_config.h"

namespace zv::fuzz {

namespace {

std::FILE* null_stream = nullptr;
std::string scratch;
bool verbose = false;

void remove_scratch() {
    std::error_code ignored;
    if (!scratch.empty()) std::filesystem::remove_all(scratch, ignored);
}

}  // namespace

void enter_scratch_directory(int* argc, char*** argv) {
    if (!scratch.empty()) return;
    // Paths in the arguments were meant from the starting directory.
    static std::vector<std::string> texts;
    static std::vector<char*> pointers;
    const std::filesystem::path start = std::filesystem::current_path();
    bool artifact_prefix = false;
    for (int i = 0; i < *argc; ++i) {
        std::string arg = (*argv)[i];
        if (i > 0 && !arg.empty() && arg[0] != '-' && arg[0] != '/') arg = (start / arg).string();
        for (const char* flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict="}) {
            const std::size_t n = std::strlen(flag);
            if (arg.compare(0, n, flag) == 0 && arg.size() > n && arg[n] != '/') arg = flag + (start / arg.substr(n)).string();
        }
        if (arg.rfind("-artifact_prefix=", 0) == 0) artifact_prefix = true;
        texts.push_back(arg);
    }
    if (!artifact_prefix) texts.push_back("-artifact_prefix=" + start.string() + "/");
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(texts.size());
    *argv = pointers.data();

    char pattern[] = "/tmp/zvfuzz.XXXXXX";
    if (::mkdtemp(pattern) == nullptr || ::chdir(pattern) != 0) std::abort();
    scratch = pattern;
    std::atexit(remove_scratch);
    null_stream = std::fopen("/dev/null", "wb");
    if (null_stream == nullptr) std::abort();
    const char* flag = std::getenv("ZV_FUZZ_VERBOSE");
    verbose = flag != nullptr && flag[0] == '1';
}

void reset_process_state() {
    frontend::settings = frontend::TestSettings{};
    frontend::exit_status = 1;
    tape::drive_status_config = tape::DriveStatusConfig{};
    frontend::channels = frontend::OutputChannels{};
    if (!verbose) {
        frontend::channels.console = null_stream;
        frontend::channels.error_console = null_stream;
    }
}

void write_file(const char* name, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(name, "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
}

ArgumentVector split_arguments(const std::uint8_t* data, std::size_t size, std::size_t max_arguments) {
    ArgumentVector args;
    args.texts.emplace_back("zvtape");
    std::string current;
    for (std::size_t i = 0; i < size && args.texts.size() <= max_arguments; ++i) {
        if (data[i] == 0) {
            args.texts.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (!current.empty() && args.texts.size() <= max_arguments) args.texts.push_back(current);
    for (std::string& text : args.texts) args.pointers.push_back(text.data());
    args.pointers.push_back(nullptr);
    return args;
}

}  // namespace zv::fuzz
