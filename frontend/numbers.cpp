// Number strings and the small text helpers shared by the option parser and
// the drive status configuration reader.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "frontend/options.h"
#include "frontend/output.h"

namespace zv::frontend {

namespace {

constexpr unsigned long long MAX_U32 = 0xFFFFFFFFull;

// strtoul of a 32-bit unsigned long: a negative number wraps modulo 2^32 and
// anything whose magnitude does not fit 32 bits gives 0xFFFFFFFF, on every
// host.
std::uint32_t convert_u32(const char* text, int radix, char** end) {
    const char* first = text;
    while (std::isspace(static_cast<unsigned char>(*first))) ++first;
    const bool negative = *first == '-';

    errno = 0;
    unsigned long long value = std::strtoull(text, end, radix);
    if (errno == ERANGE) return static_cast<std::uint32_t>(MAX_U32);
    unsigned long long magnitude = negative ? 0ull - value : value;
    if (magnitude > MAX_U32) return static_cast<std::uint32_t>(MAX_U32);
    return static_cast<std::uint32_t>(negative ? (0ull - magnitude) & MAX_U32 : magnitude);
}

}  // namespace

std::uint32_t parse_number(char* text) {
    if (text == nullptr || text[0] == '\0') return 0;

    int radix = 10;
    char* digits = text;
    if (std::strcmp(text, "0b") == 0 || std::strcmp(text, "0d") == 0) {
        // Alone, these read as the hexadecimal digits b and d.
        radix = 16;
        digits = text + 1;
    } else if (std::strncmp(text, "0o", 2) == 0) {
        radix = 8;
        digits = text + 2;
    } else if (std::strncmp(text, "0x", 2) == 0) {
        radix = 16;
        digits = text + 2;
    } else if (std::strncmp(text, "0b", 2) == 0) {
        radix = 2;
        digits = text + 2;
    } else if (std::strncmp(text, "0d", 2) == 0) {
        radix = 10;
        digits = text + 2;
    } else {
        char& last = text[std::strlen(text) - 1];
        bool suffix = true;
        switch (std::tolower(static_cast<unsigned char>(last))) {
            case 'o': radix = 8; break;
            case 'h': radix = 16; break;
            case 'b': radix = 2; break;
            case 'd': radix = 10; break;
            default: suffix = false; break;
        }
        if (suffix) last = '\0';
    }

    if (digits[0] == '\0') return 0;

    char* end = nullptr;
    std::uint32_t value = convert_u32(digits, radix, &end);
    if (end != nullptr && *end != '\0') {
        print_to_streams(channels.console, channels.layer_log_stream,
                         "ERROR: illegal character(s) in number string\r\n");
    }
    return value;
}

bool cut_at_line_end(char* text) {
    char* end = std::strpbrk(text, "\r\n");
    if (end == nullptr) return false;
    *end = '\0';
    return true;
}

void tabs_to_blanks(char* text) {
    for (char* c = text; *c != '\0'; ++c) {
        if (*c == '\t') *c = ' ';
    }
}

void ctrl_z_to_blanks(char* text) {
    for (char* c = text; *c != '\0'; ++c) {
        if (*c == '\x1a') *c = ' ';
    }
}

bool texts_equal(const char* a, const char* b) {
    return a != nullptr && b != nullptr && std::strcmp(a, b) == 0;
}

}  // namespace zv::frontend
