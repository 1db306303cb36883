// The drive status configuration file: where the drive keeps each counter.
#include "tape/dsc_config.h"

#include <cstring>

#include "frontend/options.h"
#include "frontend/output.h"
#include "scsi/layer.h"

namespace zv::tape {

DriveStatusConfig drive_status_config;

namespace {

using frontend::channels;
using frontend::print_to_streams;

constexpr const char* DSC_FILE_NAME = "zvtape.dsc";
// One read: 82 characters and the terminator.
constexpr int DSC_LINE_BUFFER = 83;
constexpr const char* TOKEN_SEPARATORS = " ,=\r\n";

constexpr const char* ITEM_KEYWORDS[DSC_ITEM_COUNT] = {"TDWR", "TDRD", "WCMP", "RCMP", "DRWR",
                                                       "DECC", "RPOS", "RWRC", "TKRC"};

constexpr std::uint32_t LOG_PAGE_HEADER_BYTES = 4;
// Counters are read as one big-endian value of at most 32 bits.
constexpr std::uint32_t MAX_FIELD_LENGTH = 4;

// The file being read, its current line and the tokenizer's place in it.
struct DscReader {
    std::FILE* file = nullptr;
    char line[DSC_LINE_BUFFER] = {};
    char* position = nullptr;

    char* next_token() { return strtok_r(nullptr, TOKEN_SEPARATORS, &position); }
};

// Reads lines until one qualifies (contains search when given, is neither
// empty nor a comment). 0 with its first token, -1 at the end of the file.
int next_dsc_line(DscReader& reader, const char* search, char** first_token) {
    while (std::fgets(reader.line, sizeof reader.line, reader.file) != nullptr) {
        frontend::cut_at_line_end(reader.line);
        frontend::tabs_to_blanks(reader.line);
        frontend::ctrl_z_to_blanks(reader.line);
        if (search != nullptr && std::strstr(reader.line, search) == nullptr) continue;
        if (reader.line[0] == '\0') continue;
        char* token = strtok_r(reader.line, TOKEN_SEPARATORS, &reader.position);
        if (token == nullptr || token[0] == ';') continue;
        *first_token = token;
        return 0;
    }
    return -1;
}

int dsc_item_number(const char* keyword, int* item_number) {
    for (int i = 0; i < DSC_ITEM_COUNT; ++i) {
        if (frontend::texts_equal(keyword, ITEM_KEYWORDS[i])) {
            drive_status_config.items[i].enabled = true;
            *item_number = i;
            return 0;
        }
    }
    return -1;
}

int too_few_arguments() {
    print_to_streams(channels.console, channels.output_file,
                     "DSC FILE ERROR: invalid option syntax in DSC file (too few arguments)\r\n");
    return -1;
}

// Reads the command and the four numbers after the keyword.
int parse_dsc_item(DscReader& reader, int item_number) {
    DriveStatusItem& item = drive_status_config.items[item_number];

    char* token = reader.next_token();
    if (token == nullptr) return too_few_arguments();
    if (!frontend::texts_equal(token, "LSD") && !frontend::texts_equal(token, "RPD") &&
        !frontend::texts_equal(token, "RSD")) {
        print_to_streams(channels.console, channels.output_file,
                         "DSC FILE ERROR: unknown command \"%s\" in DSC file\r\n", token);
        return -1;
    }
    std::memcpy(item.command, token, sizeof item.command);

    std::uint8_t* const small_fields[] = {&item.log_page, &item.field_offset, &item.field_length};
    for (std::uint8_t* field : small_fields) {
        token = reader.next_token();
        if (token == nullptr) return too_few_arguments();
        *field = static_cast<std::uint8_t>(frontend::parse_number(token));
    }
    token = reader.next_token();
    if (token == nullptr) return too_few_arguments();
    item.multiplier = frontend::parse_number(token);

    if (!counter_in_range(item)) {
        print_to_streams(channels.console, channels.output_file,
                         "DSC FILE ERROR: field offset/length out of range for \"%s\" in DSC file\r\n",
                         ITEM_KEYWORDS[item_number]);
        return -1;
    }
    return 0;
}

}  // namespace

const char* dsc_item_keyword(int item_number) {
    if (item_number < 0 || item_number >= DSC_ITEM_COUNT) return nullptr;
    return ITEM_KEYWORDS[item_number];
}

// A counter read from outside its command's data would be garbage.
bool counter_in_range(const DriveStatusItem& item) {
    std::uint32_t data_size = scsi::SENSE_DATA_SIZE;
    if (std::memcmp(item.command, "LSD", 3) == 0) data_size = scsi::LOG_DATA_SIZE - LOG_PAGE_HEADER_BYTES;
    if (std::memcmp(item.command, "RPD", 3) == 0) data_size = scsi::READ_POSITION_DATA_SIZE;
    return item.field_length <= MAX_FIELD_LENGTH &&
           std::uint32_t{item.field_offset} + item.field_length <= data_size;
}

int load_drive_status_config(const char* label) {
    DscReader reader;
    reader.file = std::fopen(DSC_FILE_NAME, "rb");
    if (reader.file == nullptr) {
        print_to_streams(channels.console, channels.output_file,
                         "DSC FILE ERROR: unable to open DSC file \"zvtape.dsc\"\r\n");
        return -1;
    }
    drive_status_config.loaded = true;

    int result = 0;
    char* token = nullptr;
    if (next_dsc_line(reader, label, &token) != 0) {
        print_to_streams(channels.console, channels.output_file, "DSC FILE ERROR: unable to find \"%s\" in DSC file\r\n",
                         label);
        result = -1;
    } else {
        // The entry ends at the end of the file or at the first line that is
        // not an item.
        int item_number = 0;
        while (next_dsc_line(reader, nullptr, &token) == 0 && dsc_item_number(token, &item_number) == 0) {
            if (parse_dsc_item(reader, item_number) != 0) {
                result = -1;
                break;
            }
        }
    }
    std::fclose(reader.file);
    return result;
}

}  // namespace zv::tape
