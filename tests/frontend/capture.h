// Fixture for front end tests: console and error console go to temporary
// files, and every process-wide record starts from its defaults.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "frontend/options.h"
#include "frontend/output.h"
#include "stream_text.h"
#include "tape/dsc_config.h"

namespace zv::test {

class CapturedOutput : public ::testing::Test {
protected:
    void SetUp() override { open_fresh(); }
    void TearDown() override {
        frontend::channels = frontend::OutputChannels{};
        std::fclose(console_);
        std::fclose(error_console_);
    }
    // Starts a further case within one test: fresh captures and records.
    void reset() {
        std::fclose(console_);
        std::fclose(error_console_);
        open_fresh();
    }

    void open_fresh() {
        console_ = std::tmpfile();
        error_console_ = std::tmpfile();
        ASSERT_NE(console_, nullptr);
        ASSERT_NE(error_console_, nullptr);
        frontend::channels = frontend::OutputChannels{};
        frontend::channels.console = console_;
        frontend::channels.error_console = error_console_;
        frontend::settings = frontend::TestSettings{};
        frontend::exit_status = 1;
        tape::drive_status_config = tape::DriveStatusConfig{};
    }

    std::string console() { return stream_text(console_); }
    std::string errors() { return stream_text(error_console_); }

    // Runs the parser on a command line (the program name is added).
    static int parse(std::vector<std::string> args) {
        args.insert(args.begin(), "zvtape");
        std::vector<char*> pointers;
        for (std::string& arg : args) pointers.push_back(arg.data());
        return frontend::parse_options(static_cast<int>(pointers.size()), pointers.data());
    }

    std::FILE* console_ = nullptr;
    std::FILE* error_console_ = nullptr;
};

// The same, run in a fresh directory that is the current one meanwhile, for
// the files that the parser and the loaders read from there.
class CapturedOutputInScratchDirectory : public CapturedOutput {
protected:
    void SetUp() override {
        CapturedOutput::SetUp();
        std::string pattern = (std::filesystem::temp_directory_path() / "zv-test-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(directory_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
        CapturedOutput::TearDown();
    }

    std::filesystem::path directory_;
    std::filesystem::path previous_;
};

}  // namespace zv::test
