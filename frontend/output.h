// Output channels: the console, the error console, the output file, the CDB
// list file and the command layer's second destination.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace zv::frontend {

constexpr int SCREEN_WIDTH = 80;

// The banner line that stands centred above every title.
extern const char* const BANNER_LINE;

struct OutputChannels {
    std::FILE* console = stdout;
    std::FILE* error_console = stderr;
    std::FILE* output_file = nullptr;
    std::FILE* cdb_list_file = nullptr;
    // Alias of output_file once the run has started; never closed through it.
    std::FILE* layer_log_stream = nullptr;
};

extern OutputChannels channels;

// Formats once by printf rules and writes the same bytes to each destination
// that is not null, in order. Nothing is added. Write errors are not checked.
void print_to_streams(std::FILE* first, std::FILE* second, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Flushes a stream; null does nothing. A failed flush writes
// "ERROR: unable to flush output stream\r\n" to the error console.
void flush_stream(std::FILE* stream);
// The output file, then the CDB list: what every report step ends with.
void flush_report_files();

void print_blanks(std::FILE* first, std::FILE* second, int width);
void print_centred(std::FILE* first, std::FILE* second, const char* text);
// "\r\n", centred banner, "\r\n", centred title: the whole block to the first
// destination, then the whole block to the second.
void print_title_block(std::FILE* first, std::FILE* second, const char* title);

void set_layer_log_stream(std::FILE* stream);

// Terminal cursor switch (ESC [ ? 25 l / h), only when stdout is a terminal.
void hide_console_cursor();
void show_console_cursor();

// Local date "MM/DD/YY" and 12-hour time "HH:MM:SS am|pm". Each returns a
// static text that the next call of the same function overwrites.
const char* date_text();
const char* time_text();

// The clock behind date_text and time_text; tests put a fixed time here.
using LocalTimeSource = std::tm (*)();
void set_local_time_source(LocalTimeSource source);  // null restores the real clock

}  // namespace zv::frontend
