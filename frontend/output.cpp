#include "frontend/output.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

namespace zv::frontend {

const char* const BANNER_LINE = "ZENTROVA STORAGE TEST SUITE";

OutputChannels channels;

namespace {

std::tm real_local_time() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

LocalTimeSource local_time_source = real_local_time;

// Indent that centres a text of this many visible characters, left margin
// rounded up.
int centring_indent(const char* text) {
    int length = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c != '\r' && *c != '\n') ++length;
    }
    if (length > SCREEN_WIDTH) length = SCREEN_WIDTH;
    return (SCREEN_WIDTH - length) / 2 + (length % 2);
}

void write_text(std::FILE* stream, const char* text) { std::fwrite(text, 1, std::strlen(text), stream); }

void write_blanks(std::FILE* stream, int width) {
    static const char blanks[SCREEN_WIDTH + 1] =
        "                                                                                ";
    if (width > SCREEN_WIDTH) width = SCREEN_WIDTH;
    if (width > 0) std::fwrite(blanks, 1, static_cast<std::size_t>(width), stream);
}

void write_centred(std::FILE* stream, const char* text) {
    write_blanks(stream, centring_indent(text));
    write_text(stream, text);
    write_text(stream, "\r\n");
}

void write_cursor_sequence(const char* sequence) {
    // Only a terminal understands the sequence; a redirected stdout would
    // just collect the bytes.
    if (!isatty(STDOUT_FILENO)) return;
    std::fputs(sequence, stdout);
    std::fflush(stdout);
}

}  // namespace

void print_to_streams(std::FILE* first, std::FILE* second, const char* format, ...) {
    if (first == nullptr && second == nullptr) return;

    // Format once so that both destinations get the very same bytes; most
    // report lines fit the stack buffer.
    char local[1024];
    va_list args;
    va_start(args, format);
    va_list retry;
    va_copy(retry, args);
    int length = std::vsnprintf(local, sizeof local, format, args);
    va_end(args);

    const char* text = local;
    char* heap = nullptr;
    if (length < 0) {
        va_end(retry);
        return;
    }
    if (static_cast<std::size_t>(length) >= sizeof local) {
        heap = static_cast<char*>(std::malloc(static_cast<std::size_t>(length) + 1));
        if (heap == nullptr) {
            // Better a cut line than none.
            length = static_cast<int>(sizeof local) - 1;
        } else {
            std::vsnprintf(heap, static_cast<std::size_t>(length) + 1, format, retry);
            text = heap;
        }
    }
    va_end(retry);

    if (first != nullptr) std::fwrite(text, 1, static_cast<std::size_t>(length), first);
    if (second != nullptr) std::fwrite(text, 1, static_cast<std::size_t>(length), second);
    std::free(heap);
}

void flush_stream(std::FILE* stream) {
    if (stream == nullptr) return;
    if (std::fflush(stream) != 0) {
        std::fputs("ERROR: unable to flush output stream\r\n", channels.error_console);
    }
}

void flush_report_files() {
    flush_stream(channels.output_file);
    flush_stream(channels.cdb_list_file);
}

void print_blanks(std::FILE* first, std::FILE* second, int width) {
    if (first != nullptr) write_blanks(first, width);
    if (second != nullptr) write_blanks(second, width);
}

void print_centred(std::FILE* first, std::FILE* second, const char* text) {
    if (first != nullptr) write_centred(first, text);
    if (second != nullptr) write_centred(second, text);
}

void print_title_block(std::FILE* first, std::FILE* second, const char* title) {
    for (std::FILE* stream : {first, second}) {
        if (stream == nullptr) continue;
        write_text(stream, "\r\n");
        write_centred(stream, BANNER_LINE);
        write_text(stream, "\r\n");
        write_centred(stream, title);
    }
}

void set_layer_log_stream(std::FILE* stream) { channels.layer_log_stream = stream; }

void hide_console_cursor() { write_cursor_sequence("\x1b[?25l"); }

void show_console_cursor() { write_cursor_sequence("\x1b[?25h"); }

void set_local_time_source(LocalTimeSource source) {
    local_time_source = source != nullptr ? source : real_local_time;
}

const char* date_text() {
    static char text[16];
    std::tm now = local_time_source();
    std::snprintf(text, sizeof text, "%02u/%02u/%02u", static_cast<unsigned>(now.tm_mon + 1) % 100u,
                  static_cast<unsigned>(now.tm_mday) % 100u, static_cast<unsigned>(now.tm_year + 1900) % 100u);
    return text;
}

const char* time_text() {
    static char text[24];
    std::tm now = local_time_source();
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02u:%02u:%02u", static_cast<unsigned>(now.tm_hour) % 100u,
                  static_cast<unsigned>(now.tm_min) % 100u, static_cast<unsigned>(now.tm_sec) % 100u);

    unsigned hour = static_cast<unsigned>(now.tm_hour) % 100u;
    char hour_text[8];
    std::snprintf(hour_text, sizeof hour_text, "%.2s", clock);
    if (hour > 12) std::snprintf(hour_text, sizeof hour_text, "%02u", hour - 12);
    const char* suffix = (hour >= 12 && hour <= 23) ? " pm" : " am";
    std::snprintf(text, sizeof text, "%s%6.6s%s", hour_text, clock + 2, suffix);
    return text;
}

}  // namespace zv::frontend
