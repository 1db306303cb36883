#include "process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zv::test {

namespace fs = std::filesystem;

fs::path scratch_directory(const std::string& name) {
    const fs::path path = fs::temp_directory_path() / ("zv_ecosystem_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(path);
    fs::create_directories(path);
    return path;
}

ProcessResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const fs::path& directory) {
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_captured(argv, directory);
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
}

std::string schema_errors(const fs::path& summary) {
    // Debian's python3-jsonschema, with the system interpreter it is installed
    // for (a python3 earlier in PATH may not have it).
    static const char* const script =
        "import json, sys\n"
        "import jsonschema\n"
        "schema = json.load(open(sys.argv[1]))\n"
        "jsonschema.Draft202012Validator.check_schema(schema)\n"
        "validator = jsonschema.Draft202012Validator(schema)\n"
        "errors = list(validator.iter_errors(json.load(open(sys.argv[2]))))\n"
        "for error in errors:\n"
        "    print(list(error.absolute_path), error.message)\n"
        "sys.exit(1 if errors else 0)\n";
    const ProcessResult result =
        run_program("/usr/bin/python3",
                    {"-c", script, std::string(ZV_SOURCE_DIR) + "/docs/summary.schema.json", fs::absolute(summary)},
                    fs::temp_directory_path());
    if (result.exit_status == 0) return "";
    return "validator exit " + std::to_string(result.exit_status) + ": " + result.out + result.err;
}

namespace {

// True when text at position has the shape: 'd' a digit, 'x' 'a' or 'p',
// anything else itself.
bool has_shape(const std::string& text, std::size_t position, const std::string& shape) {
    if (text.size() - position < shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const char c = text[position + i];
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(c))
                            : shape[i] == 'x' ? c != 'a' && c != 'p' : c != shape[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

// Written out by hand rather than with std::regex, which g++ 12 warns about
// in sanitizer builds.
std::string mask_variable_fields(const std::string& text) {
    static const std::string DATE_TIME = "dd/dd/dd dd:dd:dd xm";
    std::string masked;
    std::size_t i = 0;
    while (i < text.size()) {
        const bool word_start = i == 0 || !std::isdigit(static_cast<unsigned char>(text[i - 1]));
        if (word_start && has_shape(text, i, DATE_TIME)) {
            masked += "MM/DD/YY HH:MM:SS xm";
            i += DATE_TIME.size();
            continue;
        }
        std::size_t end = i;
        while (word_start && end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end > i && has_shape(text, end, ".dd SEC")) {
            masked += "#.## SEC";
            i = end + 7;
        } else if (end > i && has_shape(text, end, " KB/SEC")) {
            masked += "# KB/SEC";
            i = end + 7;
        } else if (end > i) {
            masked.append(text, i, end - i);
            i = end;
        } else {
            masked += text[i++];
        }
    }
    return masked;
}

bool tool_exists(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream directories(path == nullptr ? "/usr/bin:/bin" : path);
    std::string directory;
    while (std::getline(directories, directory, ':')) {
        if (!directory.empty() && ::access((directory + "/" + name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

}  // namespace zv::test
