// Test settings and the option parser (command line and options file).
#pragma once

#include <cstdint>
#include <string>

namespace zv::frontend {

constexpr std::uint16_t PATTERN_NULL = 0;
constexpr std::uint16_t PATTERN_RANDOM = 1;
constexpr std::uint16_t PATTERN_USER_FILE = 2;

struct TestSettings {
    std::string output_file_name = "zvtape.out";
    std::string output_file_mode = "wb";  // "wb" or "ab"
    std::string cdb_list_file_name;
    bool cdb_list_enabled = false;
    std::string pattern_file_name;
    std::uint16_t data_pattern = PATTERN_NULL;
    bool random_repeat = false;
    std::uint8_t host_adapter_number = 0;
    std::uint8_t bus_number = 0;
    std::uint8_t target_id = 2;
    std::uint8_t lun = 0;
    std::uint8_t density_code = 0;
    std::uint16_t iterations = 1;
    double data_amount_mb = 128.0;
    double status_interval_mb = 128.0;
    bool status_interval_given = false;
    std::uint32_t logical_block_size = 0x400;
    bool block_size_from_mode_sense = false;
    std::uint32_t max_transfer_length = 0x10000;
    std::uint16_t dsc_delay = 0;
    bool unload_reload = false;
    // Virtual SCSI bus description ("/vbus"); empty: the real adapters.
    std::string vbus_file_name;
    // "/dump [value]": bytes of good and read data shown after a miscompare;
    // 0: no dump.
    std::uint32_t dump_bytes = 0;
    // "/json <file>": where the run's machine-readable summary goes; empty: none.
    std::string json_file_name;
};

// Bytes that "/dump" shows when its value is 0 or absent.
constexpr std::uint32_t DEFAULT_DUMP_BYTES = 256;

extern TestSettings settings;

// The process exit status: starts at 1; "/?" and a completed run set it to 0.
extern std::uint16_t exit_status;

// Applies the options of args[1..count-1] in order. 0: go on; -1: stop.
int parse_options(int count, char** args);

// Unsigned 32-bit number with radix prefixes/suffixes; may cut a suffix off
// the text. Null or empty gives 0.
std::uint32_t parse_number(char* text);

bool cut_at_line_end(char* text);
void tabs_to_blanks(char* text);
void ctrl_z_to_blanks(char* text);
bool texts_equal(const char* a, const char* b);

}  // namespace zv::frontend
