#include <cstdio>
#include <string>

#include "scan/scan.h"

namespace zv::scan {

namespace {
// The message buffer the text has to fit in, terminator included; a longer
// text counts as none, so the plain code is shown instead of a cut message.
constexpr std::size_t MESSAGE_BUFFER_SIZE = 80;
}  // namespace

void print_system_error(const char* prefix, std::uint32_t code) {
    std::string text;
    if (port::PortDriver* port = port::active_port()) text = port->error_text(code);
    // Port texts may come without a line end; the message always ends its line.
    if (!text.empty() && text.back() != '\n') text += '\n';
    if (text.size() >= MESSAGE_BUFFER_SIZE) text.clear();

    if (prefix != nullptr) std::fprintf(stderr, "%s", prefix);
    if (!text.empty())
        std::fprintf(stderr, "%s", text.c_str());
    else
        std::fprintf(stderr, "Error code %d\n", static_cast<int>(code));
}

}  // namespace zv::scan
