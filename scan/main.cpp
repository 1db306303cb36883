// zvscan: lists what every SCSI host adapter reports. Takes no arguments
// except "/vbus <file>", which scans a virtual bus instead of the real
// adapters, and "--help"/"-h" (usage) and "--version" (title and version),
// which end the program with status 0 before anything is scanned. Any other
// argument is ignored, as it always was.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "emulator/virtual_bus.h"
#include "scan/scan.h"
#include "scsi/linux_sg.h"

namespace {

constexpr const char* SCAN_VERSION = "1.00";

void print_usage() {
    std::printf("%s\n"
                "\nPROGRAM USAGE:\n\n  zvscan [/vbus <file>]\n"
                "\nCOMMAND LINE OPTIONS:\n\n"
                "  /vbus <file>\t\tscan the virtual SCSI bus described in <file>\n"
                "  --help, -h\t\tthis help screen\n"
                "  --version\t\tprogram title and version\n"
                "\n  Without options every SCSI host adapter of the machine is scanned.\n",
                zv::scan::SCAN_TITLE);
}

}  // namespace

int main(int argc, char** argv) {
    const char* virtual_bus_file = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            print_usage();
            return 0;
        }
        if (std::strcmp(argument, "--version") == 0) {
            std::printf("%s\nzvscan %s\n", zv::scan::SCAN_TITLE, SCAN_VERSION);
            return 0;
        }
        if (std::strcmp(argument, "/vbus") == 0 && i + 1 < argc) virtual_bus_file = argv[++i];
    }

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
