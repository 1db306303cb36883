// zvscan: lists what every SCSI host adapter reports. Takes no arguments
// except "/vbus <file>", which scans a virtual bus instead of the real
// adapters; anything else is ignored.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "emulator/virtual_bus.h"
#include "scan/scan.h"
#include "scsi/linux_sg.h"

int main(int argc, char** argv) {
    const char* virtual_bus_file = nullptr;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "/vbus") == 0) virtual_bus_file = argv[++i];

    std::unique_ptr<zv::port::PortDriver> port;
    if (virtual_bus_file != nullptr) {
        std::string error;
        port = zv::emulator::load_virtual_bus(virtual_bus_file, error);
        if (!port) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    } else {
        port = zv::port::make_linux_sg_port();
        if (!port) return 1;
    }
    zv::port::set_active_port(port.get());
    int status = zv::scan::run_scan();
    zv::port::set_active_port(nullptr);
    return status;
}
