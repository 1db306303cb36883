#include "emulator/virtual_bus.h"

namespace zv::emulator {

std::unique_ptr<port::PortDriver> parse_virtual_bus(const std::string&, const std::string& name,
                                                    std::string& error) {
    error = name + ": the virtual bus is not built yet";
    return nullptr;
}

std::unique_ptr<port::PortDriver> load_virtual_bus(const std::string& file_name, std::string& error) {
    return parse_virtual_bus("", file_name, error);
}

}  // namespace zv::emulator
