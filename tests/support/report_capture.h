// Catches what the report sends to the console and to the output file.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "frontend/output.h"

namespace zv::test {

class Capture {
public:
    Capture() {
        console_ = open_memstream(&console_text_, &console_size_);
        file_ = open_memstream(&file_text_, &file_size_);
        frontend::channels.console = console_;
        frontend::channels.output_file = file_;
    }
    ~Capture() {
        frontend::channels = frontend::OutputChannels{};
        std::fclose(console_);
        std::fclose(file_);
        std::free(console_text_);
        std::free(file_text_);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::string console() {
        std::fflush(console_);
        return std::string(console_text_, console_size_);
    }
    std::string file() {
        std::fflush(file_);
        return std::string(file_text_, file_size_);
    }

private:
    std::FILE* console_;
    std::FILE* file_;
    char* console_text_ = nullptr;
    char* file_text_ = nullptr;
    std::size_t console_size_ = 0;
    std::size_t file_size_ = 0;
};

}  // namespace zv::test
