#include "tools/hu/tests/run_command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace hu::testing {

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

Outcome runCommand(const std::string& command, const std::string& environment, int timeoutSeconds) {
    char templ[] = "/tmp/hu-run-XXXXXX";
    const fs::path dir = ::mkdtemp(templ);
    const fs::path out = dir / "out", err = dir / "err";
    // timeout's own status 124 stands for a hang, which every caller treats as a failure.
    const std::string line = environment + " timeout -s KILL " + std::to_string(timeoutSeconds) + " " + command +
                             " </dev/null >" + out.string() + " 2>" + err.string();
    const int raw = std::system(line.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    outcome.out = slurp(out);
    outcome.err = slurp(err);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return outcome;
}

std::string hu(const std::string& arguments) { return std::string(HU_BIN_DIR) + "/hu " + arguments; }

std::string program(const std::string& name) { return std::string(HU_BIN_DIR) + "/" + name; }

}  // namespace hu::testing
