#include "scsi/port.h"

namespace zv::port {

namespace {
PortDriver* current_port = nullptr;
}

PortDriver* active_port() { return current_port; }

void set_active_port(PortDriver* port) { current_port = port; }

}  // namespace zv::port
