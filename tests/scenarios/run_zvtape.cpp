#include "run_zvtape.h"

namespace zv::test {

RunResult run_zvtape(const std::filesystem::path& directory, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {ZVTAPE_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    const CapturedRun run = run_captured(argv, directory);
    return {run.exit_status, run.out, run.err};
}

}  // namespace zv::test
