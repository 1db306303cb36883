// The option parser: command line and options file ("/cfg").
#include "frontend/options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

#include "frontend/help.h"
#include "frontend/output.h"
#include "tape/dsc_config.h"

namespace zv::frontend {

TestSettings settings;
std::uint16_t exit_status = 1;

namespace {

// On while the options of an options file are parsed: a nested "/cfg" is
// skipped there and the final checks wait for the top level.
bool in_options_file = false;

constexpr std::size_t DSC_LABEL_MAX = 82;
// One read of an options file: 256 characters, CR LF and the terminator.
constexpr int OPTIONS_LINE_BUFFER = 256 + 2 + 1;
constexpr const char* TOKEN_SEPARATORS = " ,=\r\n";

// File names end only at their first line end: a shortened name would read
// or write a different file than the one the user named.
std::string file_name_value(const char* value) { return std::string(value, std::strcspn(value, "\r\n")); }

int missing_value(const char* option) {
    std::fprintf(channels.error_console, "ERROR: missing value for option \"%s\"\n", option);
    return -1;
}

char** allocate_argument_vector(int count) {
    return static_cast<char**>(std::calloc(static_cast<std::size_t>(count), sizeof(char*)));
}

void free_argument_vector(int count, char** vector) {
    if (vector == nullptr) return;
    for (int i = 0; i < count; ++i) std::free(vector[i]);
    std::free(vector);
}

// Reads the whole file from its beginning and returns the number of tokens
// plus one. With store on, copies the tokens into vector[1], vector[2], ...
// (at most capacity - 1 of them); -1 when a token buffer cannot be made.
int read_options_file_tokens(std::FILE* file, bool store, char** vector, int capacity) {
    std::rewind(file);
    int count = 1;
    char line[OPTIONS_LINE_BUFFER];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        cut_at_line_end(line);
        tabs_to_blanks(line);
        ctrl_z_to_blanks(line);
        if (line[0] == '\0') continue;

        char* position = nullptr;
        char* token = strtok_r(line, TOKEN_SEPARATORS, &position);
        // Only lines that start with an option count; the rest is commentary.
        if (token == nullptr || token[0] != '/') continue;
        for (; token != nullptr; token = strtok_r(nullptr, TOKEN_SEPARATORS, &position)) {
            if (store) {
                if (count >= capacity) return count;
                std::size_t size = std::strlen(token) + 1;
                vector[count] = static_cast<char*>(std::malloc(size));
                if (vector[count] == nullptr) {
                    std::fputs("ERROR: unable to allocate arg buffer\n", channels.error_console);
                    return -1;
                }
                std::memcpy(vector[count], token, size);
            }
            ++count;
        }
    }
    return count;
}

int read_options_file(const char* value) {
    std::string name = file_name_value(value);
    std::FILE* file = std::fopen(name.c_str(), "rb");
    // Both passes read to the end of the file: a device or a pipe (/dev/zero,
    // a FIFO) would never end, so only a regular file counts as openable.
    struct stat status {};
    if (file != nullptr && (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode))) {
        std::fclose(file);
        file = nullptr;
    }
    if (file == nullptr) {
        std::fprintf(channels.error_console, "ERROR: unable to open configuration file \"%s\" for input\n",
                     name.c_str());
        return -1;
    }

    in_options_file = true;
    int result = -1;
    int count = read_options_file_tokens(file, false, nullptr, 0);
    char** vector = allocate_argument_vector(count);
    if (vector == nullptr) {
        std::fputs("ERROR: unable to allocate arg buffer pointers\n", channels.error_console);
    } else if (read_options_file_tokens(file, true, vector, count) >= 0) {
        result = parse_options(count, vector);
    }
    free_argument_vector(count, vector);
    std::fclose(file);
    in_options_file = false;
    return result;
}

bool is_file_name_option(const char* option) {
    static const char* const names[] = {"/ofile", "/afile", "/cfile", "/dfile", "/vbus", "/json"};
    for (const char* name : names) {
        if (texts_equal(option, name)) return true;
    }
    return false;
}

void apply_file_name_option(const char* option, const char* value) {
    std::string name = file_name_value(value);
    if (texts_equal(option, "/ofile") || texts_equal(option, "/afile")) {
        settings.output_file_name = name;
        settings.output_file_mode = texts_equal(option, "/ofile") ? "wb" : "ab";
    } else if (texts_equal(option, "/cfile")) {
        settings.cdb_list_file_name = name;
        settings.cdb_list_enabled = true;
    } else if (texts_equal(option, "/dfile")) {
        settings.pattern_file_name = name;
        settings.data_pattern = PATTERN_USER_FILE;
    } else if (texts_equal(option, "/vbus")) {
        settings.vbus_file_name = name;
    } else {
        settings.json_file_name = name;
    }
}

// Number options; a missing value converts to 0. False for other names.
bool apply_number_option(const char* option, char* value) {
    if (texts_equal(option, "/hanum")) {
        settings.host_adapter_number = static_cast<std::uint8_t>(parse_number(value));
    } else if (texts_equal(option, "/bus")) {
        settings.bus_number = static_cast<std::uint8_t>(parse_number(value));
    } else if (texts_equal(option, "/tid")) {
        settings.target_id = static_cast<std::uint8_t>(parse_number(value));
    } else if (texts_equal(option, "/lun")) {
        settings.lun = static_cast<std::uint8_t>(parse_number(value));
    } else if (texts_equal(option, "/den")) {
        settings.density_code = static_cast<std::uint8_t>(parse_number(value));
    } else if (texts_equal(option, "/loop")) {
        settings.iterations = static_cast<std::uint16_t>(parse_number(value));
    } else if (texts_equal(option, "/megs")) {
        settings.data_amount_mb = static_cast<double>(parse_number(value));
    } else if (texts_equal(option, "/sdint")) {
        settings.status_interval_mb = static_cast<double>(parse_number(value));
        settings.status_interval_given = true;
    } else if (texts_equal(option, "/lbsize")) {
        // "ms" asks the drive at start-up; a number after it does not undo that.
        if (value != nullptr && std::strcmp(value, "ms") == 0) {
            settings.block_size_from_mode_sense = true;
        } else {
            settings.logical_block_size = parse_number(value);
        }
    } else if (texts_equal(option, "/maxtl")) {
        settings.max_transfer_length = parse_number(value);
    } else {
        return false;
    }
    return true;
}

int run_final_checks(int result) {
    if (settings.max_transfer_length == 0) {
        std::fputs("ERROR: maximum write/read data transfer length must be greater than zero\n",
                   channels.error_console);
        result = -1;
    }
    if (!settings.block_size_from_mode_sense && settings.logical_block_size > settings.max_transfer_length) {
        std::fputs("ERROR: logical block size cannot be greater than maximum write/read data\n",
                   channels.error_console);
        std::fputs("transfer length\n", channels.error_console);
        result = -1;
    }
    return result;
}

}  // namespace

int parse_options(int count, char** args) {
    int result = 0;
    for (int i = 1; i < count && result == 0; ++i) {
        const char* option = args[i];
        // A value is the next argument whatever it is, even one that looks
        // like an option.
        char* value = i + 1 < count ? args[i + 1] : nullptr;

        if (texts_equal(option, "/cfg")) {
            if (value == nullptr) {
                result = missing_value(option);
            } else {
                ++i;
                if (!in_options_file) result = read_options_file(value);
            }
        } else if (is_file_name_option(option)) {
            if (value == nullptr) {
                result = missing_value(option);
            } else {
                apply_file_name_option(option, value);
                ++i;
            }
        } else if (texts_equal(option, "/drand")) {
            settings.data_pattern = PATTERN_RANDOM;
            if (value != nullptr && value[0] == 'r') {
                settings.random_repeat = true;
                ++i;
            }
        } else if (apply_number_option(option, value)) {
            if (value != nullptr) ++i;
        } else if (texts_equal(option, "/dsc")) {
            if (value == nullptr) {
                result = missing_value(option);
            } else {
                char label[DSC_LABEL_MAX + 1];
                std::size_t length = std::strcspn(value, "\r\n");
                if (length > DSC_LABEL_MAX) length = DSC_LABEL_MAX;
                std::memcpy(label, value, length);
                label[length] = '\0';
                ++i;
                if (i + 1 < count && args[i + 1][0] != '/') {
                    settings.dsc_delay = static_cast<std::uint16_t>(parse_number(args[i + 1]));
                    ++i;
                }
                result = tape::load_drive_status_config(label);
            }
        } else if (texts_equal(option, "/dump")) {
            // Like the delay of "/dsc": a value is taken only when it is not
            // the next option.
            std::uint32_t bytes = 0;
            if (value != nullptr && value[0] != '/') {
                bytes = parse_number(value);
                ++i;
            }
            settings.dump_bytes = bytes == 0 ? DEFAULT_DUMP_BYTES : bytes;
        } else if (texts_equal(option, "/uld")) {
            settings.unload_reload = true;
        } else if (texts_equal(option, "/?") || texts_equal(option, "--help") || texts_equal(option, "-h")) {
            print_help_screen();
            exit_status = 0;
            result = -1;
        } else if (texts_equal(option, "--version")) {
            print_version();
            exit_status = 0;
            result = -1;
        } else {
            std::fprintf(channels.error_console, "ERROR: invalid option on command line -- \"%s\"\n", option);
            result = -1;
        }
    }

    if (!in_options_file) result = run_final_checks(result);
    return result;
}

}  // namespace zv::frontend
