#include "process.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zv::test {

namespace fs = std::filesystem;

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
