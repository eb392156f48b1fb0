#include "sim/board/fault_plan.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include <nlohmann/json.hpp>

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

void bumpSettingsGeneration(const fs::path& root);

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
    if (!replaceFile(root / "headunit.json", doc.dump(2) + "\n")) return false;
    bumpSettingsGeneration(root);
    return true;
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

namespace {

// flash/requests.bin: a generation number of the settings, then named 64-bit counters. A
// slot is claimed (its name written) under flash/requests.lock; counting is an atomic add.
struct CounterSlot {
    char name[56];
    uint64_t count;
};

constexpr size_t kSlots = 63;

struct CounterTable {
    uint64_t settingsGeneration;
    uint64_t reserved;
    CounterSlot slots[kSlots];
};

// The table of one head unit, mapped once per process; nullptr when flash/ is unusable.
CounterTable* counterTable(const fs::path& root) {
    static std::mutex mutex;
    static std::map<fs::path, CounterTable*> mapped;
    std::lock_guard lock(mutex);
    auto it = mapped.find(root);
    if (it != mapped.end()) return it->second;
    int fd = ::open((root / "flash" / "requests.bin").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || (size_t(st.st_size) < sizeof(CounterTable) && ::ftruncate(fd, sizeof(CounterTable)) != 0)) {
        ::close(fd);
        return nullptr;
    }
    void* p = ::mmap(nullptr, sizeof(CounterTable), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return nullptr;
    return mapped[root] = static_cast<CounterTable*>(p);
}

uint64_t* counterFor(const fs::path& root, const std::string& kind) {
    CounterTable* table = counterTable(root);
    if (table == nullptr || kind.empty() || kind.size() >= sizeof(CounterSlot::name)) return nullptr;
    auto find = [&]() -> CounterSlot* {
        for (CounterSlot& slot : table->slots)
            if (std::strncmp(slot.name, kind.c_str(), sizeof slot.name) == 0) return &slot;
        return nullptr;
    };
    if (CounterSlot* slot = find()) return &slot->count;
    FlashLock lock(root, "requests.lock");
    if (CounterSlot* slot = find()) return &slot->count;
    for (CounterSlot& slot : table->slots) {
        if (slot.name[0] == '\0') {
            std::memcpy(slot.name, kind.c_str(), kind.size() + 1);
            return &slot.count;
        }
    }
    return nullptr;  // more kinds than slots: never the case for the drivers' fixed set
}

void bumpSettingsGeneration(const fs::path& root) {
    if (CounterTable* table = counterTable(root)) __atomic_add_fetch(&table->settingsGeneration, 1, __ATOMIC_ACQ_REL);
}

uint64_t settingsGeneration(const fs::path& root) {
    CounterTable* table = counterTable(root);
    return table ? __atomic_load_n(&table->settingsGeneration, __ATOMIC_ACQUIRE) : 0;
}

}  // namespace

uint64_t countRequest(const fs::path& root, const std::string& kind) {
    uint64_t* counter = counterFor(root, kind);
    return counter ? __atomic_add_fetch(counter, 1, __ATOMIC_ACQ_REL) : 0;
}

json requestCounts(const fs::path& root) {
    json counts = json::object();
    CounterTable* table = counterTable(root);
    if (table == nullptr) return counts;
    for (const CounterSlot& slot : table->slots) {
        if (slot.name[0] == '\0') continue;
        counts[std::string(slot.name, strnlen(slot.name, sizeof slot.name))] =
            __atomic_load_n(&slot.count, __ATOMIC_ACQUIRE);
    }
    return counts;
}

CachedSimSettings::CachedSimSettings(fs::path root, std::string simulator)
    : root_(std::move(root)), simulator_(std::move(simulator)), generation_(settingsGeneration(root_)),
      settings_(std::make_unique<json>(simSettings(root_, simulator_))) {}

CachedSimSettings::~CachedSimSettings() = default;

const json& CachedSimSettings::get() {
    uint64_t now = settingsGeneration(root_);
    if (now != generation_) {
        generation_ = now;
        *settings_ = simSettings(root_, simulator_);
    }
    return *settings_;
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
