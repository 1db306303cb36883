#include "scsi/layer.h"

namespace zv::scsi {

ScsiLayerState layer;
volatile std::sig_atomic_t interrupt_pending = 0;

void execute_cdb(void*, std::uint8_t, const std::uint8_t*) {}
port::Handle get_device_handle() { return port::INVALID_HANDLE; }
void release_scsi_layer() {}
void set_cdb_list_file(std::FILE*) {}
void set_fixed_bit(std::uint8_t) {}
int set_target_lun(std::uint8_t) { return -1; }
int set_target_scsi_id(std::uint8_t) { return -1; }
int set_host_adapter_number(std::uint8_t) { return 0; }
int set_bus_number(std::uint8_t) { return 0; }
void install_break_handler(BreakHandler) {}
void run_break_handler() {}

}  // namespace zv::scsi
