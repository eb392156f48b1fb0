#include "tools/hu/demo/head_unit_processes.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <thread>

namespace hu::demo {

namespace fs = std::filesystem;

namespace {

std::string canonicalText(const fs::path& path) {
    std::error_code ec;
    fs::path c = fs::weakly_canonical(path, ec);
    return (ec ? path : c).lexically_normal().string();
}

// The value of HEADUNIT_ROOT in a process's environment, empty when it has none or the
// environment cannot be read (a process of another user, or one that just ended).
std::string headUnitRootOf(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    if (!in) return {};
    const std::string environ((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static const std::string kKey = "HEADUNIT_ROOT=";
    size_t start = 0;
    while (start < environ.size()) {
        size_t end = environ.find('\0', start);
        if (end == std::string::npos) end = environ.size();
        if (environ.compare(start, kKey.size(), kKey) == 0) return environ.substr(start + kKey.size(), end - start - kKey.size());
        start = end + 1;
    }
    return {};
}

// A process counts as gone once nothing of it runs any more. A zombie still answers kill(0),
// and the leader of a killed process with threads turns zombie while its other threads are
// still ending and still hold its files (and the locks on its window images): it is gone
// only when the leader is a zombie and no other thread is left.
bool alive(pid_t pid) {
    if (::kill(pid, 0) != 0) return false;
    const std::string proc = "/proc/" + std::to_string(pid);
    std::ifstream stat(proc + "/stat");
    std::string line;
    std::getline(stat, line);
    size_t close = line.rfind(')');
    const bool zombie = close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
    if (!zombie) return true;
    std::error_code ec;
    int threads = 0;
    for (fs::directory_iterator it(proc + "/task", ec), end; !ec && it != end; it.increment(ec)) ++threads;
    return threads > 1;
}

}  // namespace

std::vector<pid_t> headUnitProcesses(const fs::path& root, const std::vector<pid_t>& except) {
    const std::string wanted = canonicalText(root);
    const pid_t self = ::getpid();
    std::vector<pid_t> found;
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        if (pid == self || std::find(except.begin(), except.end(), pid) != except.end()) continue;
        const std::string theirs = headUnitRootOf(pid);
        if (!theirs.empty() && canonicalText(theirs) == wanted && alive(pid)) found.push_back(pid);
    }
    return found;
}

std::vector<pid_t> endHeadUnitProcesses(const fs::path& root, std::chrono::milliseconds grace,
                                        const std::vector<pid_t>& except) {
    using Clock = std::chrono::steady_clock;
    auto waitWhileAnyAlive = [](const std::vector<pid_t>& pids, Clock::time_point deadline) {
        while (std::any_of(pids.begin(), pids.end(), alive) && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    std::vector<pid_t> ended;
    // A process may start another while it is being ended: look again until none is left.
    for (int round = 0; round < 5; ++round) {
        const std::vector<pid_t> found = headUnitProcesses(root, except);
        if (found.empty()) break;
        for (pid_t pid : found) ::kill(pid, SIGTERM);
        waitWhileAnyAlive(found, Clock::now() + grace);
        for (pid_t pid : found)
            if (alive(pid)) ::kill(pid, SIGKILL);
        // A killed process lets go of its files only once it has really exited; what is
        // removed next must not find them still held.
        waitWhileAnyAlive(found, Clock::now() + std::chrono::seconds(2));
        for (pid_t pid : found)
            if (std::find(ended.begin(), ended.end(), pid) == ended.end()) ended.push_back(pid);
    }
    return ended;
}

}  // namespace hu::demo
