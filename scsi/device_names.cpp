#include "scsi/device_names.h"

#include <cstring>

namespace zv::scsi {

char* append_decimal(char* position, std::uint32_t value) {
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) *position++ = digits[--count];
    return position;
}

void make_adapter_device_name(char* buffer, std::uint8_t number) {
    static const char prefix[] = "\\\\.\\Scsi";
    std::memcpy(buffer, prefix, sizeof prefix - 1);
    char* end = append_decimal(buffer + sizeof prefix - 1, number);
    end[0] = ':';
    end[1] = '\0';
}

void make_tape_device_name(char* buffer, std::uint32_t number) {
    static const char prefix[] = "\\\\.\\Tape";
    std::memcpy(buffer, prefix, sizeof prefix - 1);
    *append_decimal(buffer + sizeof prefix - 1, number) = '\0';
}

}  // namespace zv::scsi
