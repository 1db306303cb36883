#include "run_zvtape.h"

namespace zv::test {

CapturedRun run_zvtape(const std::filesystem::path& directory, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ZVTAPE_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_captured(argv, directory);
}

}  // namespace zv::test
