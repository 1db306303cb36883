// The install tree of this build and its Debian package: what goes where,
// the package's dependencies, and both programs running from an unpacked
// package.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"

namespace {

namespace fs = std::filesystem;
using zv::test::read_file;
using zv::test::run_program;

const fs::path BUILD = ZV_BINARY_DIR;

// Relative to the installation prefix.
const std::vector<std::string> INSTALLED_FILES = {
    "bin/zvtape",
    "bin/zvscan",
    "share/man/man1/zvtape.1",
    "share/man/man1/zvscan.1",
    "share/doc/zvtape/README.md",
    "share/doc/zvtape/linux.md",
    "share/doc/zvtape/virtual-bus.md",
    "share/doc/zvtape/summary.schema.json",
    "share/doc/zvtape/examples/virtual-lab.vbus",
    "share/doc/zvtape/examples/zvtape.dsc",
};

bool executable(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXOTH) != 0;
}

// Both programs, run from prefix: their versions, and a short test and a
// scan on the installed sample virtual bus.
void check_programs_run(const fs::path& prefix) {
    const fs::path scratch = zv::test::scratch_directory("run_installed");
    const zv::test::ProcessResult tape_version = run_program((prefix / "bin/zvtape").string(), {"--version"}, scratch);
    EXPECT_EQ(tape_version.exit_status, 0);
    EXPECT_EQ(tape_version.out, "-- ZV TAPE DRIVE TEST PROGRAM V1.57CV --\nzvtape 1.57\n");
    const zv::test::ProcessResult scan_version = run_program((prefix / "bin/zvscan").string(), {"--version"}, scratch);
    EXPECT_EQ(scan_version.exit_status, 0);
    EXPECT_EQ(scan_version.out, "-- ZENTROVA SCSI HOST ADAPTER SCAN PROGRAM V1.00 (Win32) --\nzvscan 1.00\n");

    const std::string lab = (prefix / "share/doc/zvtape/examples/virtual-lab.vbus").string();
    const zv::test::ProcessResult run =
        run_program((prefix / "bin/zvtape").string(), {"/vbus", lab, "/megs", "1"}, scratch);
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_NE(read_file(scratch / "zvtape.out").find("DRIVE PRODUCT ID ............ VIRTUAL TAPE"),
              std::string::npos);
    const zv::test::ProcessResult scan = run_program((prefix / "bin/zvscan").string(), {"/vbus", lab}, scratch);
    EXPECT_EQ(scan.exit_status, 0) << scan.err;
    EXPECT_NE(scan.out.find("VIRTUAL TAPE"), std::string::npos);
    fs::remove_all(scratch);
}

TEST(Install, TreeHoldsProgramsManualPagesDocsAndExamples) {
    const fs::path prefix = zv::test::scratch_directory("install");
    const zv::test::ProcessResult install =
        run_program(ZV_CMAKE_COMMAND, {"--install", BUILD.string(), "--prefix", prefix.string()}, prefix);
    ASSERT_EQ(install.exit_status, 0) << install.out << install.err;
    for (const std::string& file : INSTALLED_FILES) EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
    EXPECT_TRUE(executable(prefix / "bin/zvtape"));
    EXPECT_TRUE(executable(prefix / "bin/zvscan"));
    // Every document of the source tree goes along, as it is.
    for (const auto& entry : fs::directory_iterator(fs::path(ZV_SOURCE_DIR) / "docs")) {
        if (entry.path().extension() != ".md") continue;
        const fs::path installed = prefix / "share/doc/zvtape" / entry.path().filename();
        EXPECT_EQ(read_file(installed), read_file(entry.path())) << installed;
    }
    EXPECT_EQ(read_file(prefix / "share/doc/zvtape/summary.schema.json"),
              read_file(fs::path(ZV_SOURCE_DIR) / "docs/summary.schema.json"));
    check_programs_run(prefix);
    fs::remove_all(prefix);
}

// Each manual page has the sections an operator looks for, and zvtape(1)
// names every option of the help screen.
TEST(Install, ManualPagesCoverEveryOption) {
    const std::string tape = read_file(fs::path(ZV_SOURCE_DIR) / "docs/man/zvtape.1");
    const std::string scan = read_file(fs::path(ZV_SOURCE_DIR) / "docs/man/zvscan.1");
    for (const char* section : {".SH NAME", ".SH SYNOPSIS", ".SH OPTIONS", ".SH EXIT STATUS", ".SH FILES",
                                ".SH VIRTUAL BUS", ".SH PERMISSIONS", ".SH EXAMPLES"}) {
        EXPECT_NE(tape.find(section), std::string::npos) << "zvtape.1: " << section;
        EXPECT_NE(scan.find(section), std::string::npos) << "zvscan.1: " << section;
    }
    for (const char* file : {"zvtape.out", "zvtape.dsc"}) EXPECT_NE(tape.find(file), std::string::npos) << file;

    const fs::path scratch = zv::test::scratch_directory("help_options");
    const zv::test::ProcessResult help = run_program(ZVTAPE_BIN, {"--help"}, scratch);
    std::istringstream lines(help.out);
    std::string line;
    int options = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("  /", 0) != 0) continue;
        const std::string option = line.substr(2, line.find_first_of(" \t", 2) - 2);
        ++options;
        EXPECT_NE(tape.find(option), std::string::npos) << "zvtape.1 lacks " << option;
    }
    EXPECT_EQ(options, 22);
    for (const char* option : {"\\-\\-help", "\\-h", "\\-\\-version"}) {
        EXPECT_NE(tape.find(option), std::string::npos) << option;
        EXPECT_NE(scan.find(option), std::string::npos) << option;
    }
    fs::remove_all(scratch);
}

std::string field(const fs::path& package, const std::string& name) {
    const zv::test::ProcessResult result =
        run_program("dpkg-deb", {"--field", package.string(), name}, package.parent_path());
    std::string value = result.out;
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

TEST(Package, DebianPackageInstallsAndRuns) {
    for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps", "dpkg-query"}) {
        if (!zv::test::tool_exists(tool)) GTEST_SKIP() << tool << " is not installed (Debian package dpkg-dev)";
    }
    const fs::path work = zv::test::scratch_directory("package");
    const zv::test::ProcessResult cpack = run_program(
        ZV_CPACK_COMMAND, {"-G", "DEB", "--config", (BUILD / "CPackConfig.cmake").string(), "-B", work.string()},
        BUILD);
    ASSERT_EQ(cpack.exit_status, 0) << cpack.out << cpack.err;
    const fs::path package = work / "zvtape_1.57_amd64.deb";
    ASSERT_TRUE(fs::exists(package)) << cpack.out;

    EXPECT_EQ(field(package, "Package"), "zvtape");
    EXPECT_EQ(field(package, "Version"), "1.57");
    EXPECT_EQ(field(package, "Architecture"), "amd64");
    // The dependencies come from the programs themselves: the C and C++
    // runtimes, each installed here.
    const std::string depends = field(package, "Depends");
    std::vector<std::string> names;
    std::istringstream entries(depends);
    std::string entry;
    while (std::getline(entries, entry, ',')) {
        entry.erase(0, entry.find_first_not_of(' '));
        names.push_back(entry.substr(0, entry.find_first_of(" (")));
    }
    for (const char* needed : {"libc6", "libstdc++6"}) {
        EXPECT_NE(std::find(names.begin(), names.end(), needed), names.end()) << depends;
    }
    for (const std::string& name : names) {
        const zv::test::ProcessResult installed =
            run_program("dpkg-query", {"--show", "--showformat=${Status}", name}, work);
        EXPECT_EQ(installed.out, "install ok installed") << name;
    }

    const zv::test::ProcessResult contents = run_program("dpkg-deb", {"--contents", package.string()}, work);
    for (const std::string& file : INSTALLED_FILES) {
        EXPECT_NE(contents.out.find(" ./usr/" + file + "\n"), std::string::npos) << file;
    }
    // Owned by root whoever built it; no test program slipped in.
    std::istringstream listing(contents.out);
    std::string line;
    while (std::getline(listing, line)) EXPECT_NE(line.find(" root/root "), std::string::npos) << line;
    EXPECT_EQ(contents.out.find("tests_"), std::string::npos);

    const fs::path root = work / "root";
    const zv::test::ProcessResult unpack = run_program("dpkg-deb", {"-x", package.string(), root.string()}, work);
    ASSERT_EQ(unpack.exit_status, 0) << unpack.err;
    check_programs_run(root / "usr");
    fs::remove_all(work);
}

}  // namespace
