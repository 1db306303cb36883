#include "frontend/output.h"

namespace zv::frontend {
const char* const BANNER_LINE = "ZENTROVA STORAGE TEST SUITE";
OutputChannels channels;
void print_to_streams(std::FILE*, std::FILE*, const char*, ...) {}
void flush_stream(std::FILE*) {}
void print_blanks(std::FILE*, std::FILE*, int) {}
void print_centred(std::FILE*, std::FILE*, const char*) {}
void print_title_block(std::FILE*, std::FILE*, const char*) {}
void set_layer_log_stream(std::FILE* stream) { channels.layer_log_stream = stream; }
void hide_console_cursor() {}
void show_console_cursor() {}
const char* date_text() { return "01/01/00"; }
const char* time_text() { return "12:00:00 am"; }
void set_local_time_source(LocalTimeSource) {}
}  // namespace zv::frontend
