#include "sim/board/fault_plan.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace sim {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// headunit.json of one head unit, parsed again only when it changed on disk.
struct CachedProfile {
    int64_t modifiedNs = -1;
    off_t size = -1;
    ino_t inode = 0;
    json doc = json::object();
};

}  // namespace

json simSettings(const fs::path& root, const std::string& simulator) {
    static std::mutex mutex;
    static std::map<fs::path, CachedProfile> cache;
    fs::path file = root / "headunit.json";
    struct stat st {};
    std::lock_guard lock(mutex);
    CachedProfile& c = cache[file];
    if (::stat(file.c_str(), &st) != 0) return json::object();
    int64_t modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (st.st_size != c.size || st.st_ino != c.inode || modifiedNs != c.modifiedNs) {
        json doc = json::parse(readText(file), nullptr, false);
        c.doc = doc.is_object() ? std::move(doc) : json::object();
        c.size = st.st_size;
        c.inode = st.st_ino;
        c.modifiedNs = modifiedNs;
    }
    const json* sim = c.doc.contains("sim") ? &c.doc["sim"] : nullptr;
    if (sim && sim->is_object() && sim->contains(simulator) && (*sim)[simulator].is_object()) return (*sim)[simulator];
    return json::object();
}

bool setSimSetting(const fs::path& root, const std::string& simulator, const std::string& key, const json& value) {
    FlashLock lock(root, "settings.lock");
    json doc = json::parse(readText(root / "headunit.json"), nullptr, false);
    if (!doc.is_object()) return false;
    json& section = doc["sim"][simulator];
    if (!section.is_object()) section = json::object();
    if (value.is_null()) section.erase(key);
    else section[key] = value;
    return replaceFile(root / "headunit.json", doc.dump(2) + "\n");
}

json parseFailurePlan(const std::string& text) {
    if (text == "always") return true;
    if (text == "off") return false;
    json numbers = json::array();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = std::min(text.find(',', start), text.size());
        std::string item = text.substr(start, end - start);
        if (item.empty() || item.size() > 12 || item.find_first_not_of("0123456789") != std::string::npos) return nullptr;
        uint64_t n = std::stoull(item);
        if (n == 0) return nullptr;  // requests are numbered from 1
        numbers.push_back(n);
        start = end + 1;
    }
    return numbers.size() == 1 ? numbers[0] : numbers;
}

bool plannedFailure(const json& settings, const std::string& key, uint64_t count) {
    auto it = settings.find(key);
    if (it == settings.end()) return false;
    if (it->is_boolean()) return it->get<bool>();
    if (it->is_number_unsigned() || it->is_number_integer()) return it->get<int64_t>() == int64_t(count);
    if (it->is_array()) {
        for (const auto& n : *it)
            if ((n.is_number_unsigned() || n.is_number_integer()) && n.get<int64_t>() == int64_t(count)) return true;
    }
    return false;
}

FlashLock::FlashLock(const fs::path& root, const char* name) {
    fd_ = ::open((root / "flash" / name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ >= 0)
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
}

FlashLock::~FlashLock() {
    if (fd_ >= 0) ::close(fd_);
}

uint64_t countRequest(const fs::path& root, const std::string& kind) {
    FlashLock lock(root, "requests.lock");
    json counts = requestCounts(root);
    uint64_t n = counts.value(kind, uint64_t(0)) + 1;
    counts[kind] = n;
    replaceFile(root / "flash" / "requests.json", counts.dump(2) + "\n");
    return n;
}

json requestCounts(const fs::path& root) {
    json counts = json::parse(readText(root / "flash" / "requests.json"), nullptr, false);
    return counts.is_object() ? counts : json::object();
}

uint64_t monotonicMs() {
    // steady_clock is the monotonic clock, the one the platform's tick count reads.
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

bool replaceFile(const fs::path& file, const std::string& bytes) {
    fs::path temp = file;
    temp += ".tmp." + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << bytes;
        if (!out.flush()) return false;
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    if (!ec) return true;
    fs::remove(temp, ec);
    return false;
}

}  // namespace sim
