#include "platform/core/folder_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <list>
#include <mutex>
#include <unordered_map>

#include "platform/core/case_fold.h"

namespace ce::detail {

namespace {

constexpr size_t kFoldersKept = 8;

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// One folder's names, folded, each with the first of its spellings in name order.
struct Listing {
    dev_t dev = 0;
    ino_t ino = 0;
    timespec modified{};
    timespec changed{};
    std::unordered_map<std::u32string, std::string> names;

    bool describes(const struct stat& st) const { return dev == st.st_dev && ino == st.st_ino; }
    bool current(const struct stat& st) const {
        return describes(st) && sameTime(modified, st.st_mtim) && sameTime(changed, st.st_ctim);
    }
    void stamp(const struct stat& st) {
        dev = st.st_dev;
        ino = st.st_ino;
        modified = st.st_mtim;
        changed = st.st_ctim;
    }
    void add(const std::string& name) {
        auto [it, added] = names.try_emplace(foldCase(name), name);
        if (!added && name < it->second) it->second = name;
    }
};

// Reads the names of the open folder `dir`; false when it cannot be listed.
bool readListing(int dir, Listing* listing) {
    const int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* stream = ::fdopendir(fd);
    if (stream == nullptr) {
        ::close(fd);
        return false;
    }
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") listing->add(std::string(name));
    }
    ::closedir(stream);
    return true;
}

class FolderNames {
public:
    static FolderNames& instance() {
        static FolderNames names;
        return names;
    }

    std::optional<std::string> caseVariant(int dir, const std::string& name) {
        struct stat st {};
        if (::fstat(dir, &st) != 0) return std::nullopt;
        const std::u32string folded = foldCase(name);
        std::lock_guard lock(mutex_);
        auto it = std::find_if(kept_.begin(), kept_.end(), [&](const Listing& l) { return l.describes(st); });
        if (it == kept_.end() || !it->current(st)) {
            // The times from before the read: a change made while it runs shows at the next search.
            Listing fresh;
            fresh.stamp(st);
            if (!readListing(dir, &fresh)) return std::nullopt;
            if (it != kept_.end()) kept_.erase(it);
            kept_.push_front(std::move(fresh));
            if (kept_.size() > kFoldersKept) kept_.pop_back();
            it = kept_.begin();
        } else if (it != kept_.begin()) {
            kept_.splice(kept_.begin(), kept_, it);
            it = kept_.begin();
        }
        auto found = it->names.find(folded);
        if (found == it->names.end()) return std::nullopt;
        return found->second;
    }

    void created(int dir, const std::string& name) {
        struct stat st {};
        if (::fstat(dir, &st) != 0) return;
        std::lock_guard lock(mutex_);
        auto it = std::find_if(kept_.begin(), kept_.end(), [&](const Listing& l) { return l.describes(st); });
        if (it == kept_.end()) return;
        it->add(name);
        it->stamp(st);
    }

private:
    std::mutex mutex_;
    std::list<Listing> kept_;  // most recently used first
};

}  // namespace

std::optional<std::string> caseVariantIn(int dir, const std::string& name) {
    return FolderNames::instance().caseVariant(dir, name);
}

void noteCreated(int dir, const std::string& name) { FolderNames::instance().created(dir, name); }

}  // namespace ce::detail
