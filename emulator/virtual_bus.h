// The virtual SCSI bus: a port driver whose adapters and devices are
// described by a text file and emulated in memory.
#pragma once

#include <memory>
#include <string>

#include "scsi/port.h"

namespace zv::emulator {

// Reads a description. On failure returns null and sets error to one line
// (no line end) naming the file, the line number and what is wrong.
std::unique_ptr<port::PortDriver> load_virtual_bus(const std::string& file_name, std::string& error);
// The same from text in memory (name is used in messages).
std::unique_ptr<port::PortDriver> parse_virtual_bus(const std::string& text, const std::string& name,
                                                    std::string& error);

}  // namespace zv::emulator
