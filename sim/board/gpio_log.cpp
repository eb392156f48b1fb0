#include "sim/board/gpio_log.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "sim/board/fault_plan.h"

namespace sim {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

fs::path logFile(const fs::path& root) { return root / "flash" / "gpio.log"; }
fs::path levelsFile(const fs::path& root) { return root / "flash" / "gpio_levels.json"; }

// Whole lines of text from offset on; offset moves past the last whole line.
std::vector<GpioEvent> parseFrom(const fs::path& file, uint64_t& offset) {
    std::vector<GpioEvent> events;
    std::ifstream in(file, std::ios::binary);
    if (!in) return events;
    in.seekg(0, std::ios::end);
    uint64_t size = uint64_t(in.tellg());
    if (size < offset) offset = 0;  // the log was started anew
    in.seekg(std::streamoff(offset));
    std::string text(size - offset, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        json j = json::parse(text.substr(start, end - start), nullptr, false);
        if (!j.is_object()) continue;
        GpioEvent e;
        e.t_ms = j.value("t_ms", uint64_t(0));
        e.port = j.value("port", 0);
        e.mask = j.value("mask", uint32_t(0));
        e.level = j.value("level", 0);
        e.pid = j.value("pid", 0);
        events.push_back(e);
    }
    offset += start;
    return events;
}

}  // namespace

std::vector<GpioEvent> GpioLog::read(const fs::path& root) {
    uint64_t offset = 0;
    return parseFrom(logFile(root), offset);
}

std::map<int, uint32_t> GpioLog::levels(const fs::path& root) {
    std::map<int, uint32_t> levels;
    std::ifstream in(levelsFile(root), std::ios::binary);
    json j = json::parse(in, nullptr, false);
    if (!j.is_object()) return levels;
    for (const auto& [port, mask] : j.items())
        if (mask.is_number_unsigned()) levels[std::atoi(port.c_str())] = mask.get<uint32_t>();
    return levels;
}

bool GpioLog::append(const fs::path& root, int port, uint32_t mask, int level) {
    FlashLock lock(root, "board.lock");
    GpioEvent e{monotonicMs(), port, mask, level, int(::getpid())};
    std::string line = json{{"t_ms", e.t_ms}, {"port", e.port}, {"mask", e.mask}, {"level", e.level}, {"pid", e.pid}}.dump() + "\n";
    int fd = ::open(logFile(root).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool written = ::write(fd, line.data(), line.size()) == ssize_t(line.size());
    ::close(fd);
    if (!written) return false;

    std::map<int, uint32_t> now = levels(root);
    now[port] = level ? (now[port] | mask) : (now[port] & ~mask);
    json j = json::object();
    for (const auto& [p, m] : now) j[std::to_string(p)] = m;
    return replaceFile(levelsFile(root), j.dump(2) + "\n");
}

// ---- GpioWatcher -----------------------------------------------------------------------------

GpioWatcher::GpioWatcher(const fs::path& root, bool fromStart) : file_(logFile(root)) {
    notify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify_ >= 0) ::inotify_add_watch(notify_, (root / "flash").c_str(), IN_MODIFY | IN_CREATE | IN_MOVED_TO);
    if (!fromStart) readNew();  // skip what is already there
}

GpioWatcher::~GpioWatcher() {
    if (notify_ >= 0) ::close(notify_);
}

std::vector<GpioEvent> GpioWatcher::readNew() { return parseFrom(file_, offset_); }

std::vector<GpioEvent> GpioWatcher::next(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (true) {
        std::vector<GpioEvent> events = readNew();
        if (!events.empty()) return events;
        int wait = -1;
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) return events;
            wait = int(left);
        }
        if (notify_ < 0) {
            ::usleep(2000);  // no inotify: look again shortly
            continue;
        }
        pollfd p{notify_, POLLIN, 0};
        if (::poll(&p, 1, wait) > 0) {
            char buffer[4096];
            while (::read(notify_, buffer, sizeof buffer) > 0) {
            }
        }
    }
}

}  // namespace sim
