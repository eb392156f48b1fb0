#include "platform/core/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/core/case_fold.h"
#include "platform/core/folder_names.h"
#include "platform/core/host_file.h"
#include "platform/core/profile.h"

namespace ce {

namespace fs = std::filesystem;

namespace {

// The pseudo mount that stands for the host's own root, for programs outside every mount.
constexpr std::string_view kHostMount = "Host";

// Its device path, "\Host" (built by appending: GCC 12 warns falsely on "\\" + std::string).
std::string hostMountPath() {
    std::string path;
    path.reserve(kHostMount.size() + 1);
    path += '\\';
    path += kHostMount;
    return path;
}

// The components of a device path, "." and empty ones dropped, ".." kept for the caller.
std::vector<std::string> rawComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&] {
        if (!part.empty() && part != ".") parts.push_back(part);
        part.clear();
    };
    for (char c : path) {
        if (c == '\\' || c == '/') flush();
        else part += c;
    }
    flush();
    return parts;
}

// Applies ".." to the components below a volume's root; nothing when one would climb above it.
std::optional<std::vector<std::string>> collapseBelowRoot(std::vector<std::string>::const_iterator from,
                                                          std::vector<std::string>::const_iterator to) {
    std::vector<std::string> below;
    for (auto it = from; it != to; ++it) {
        if (*it != "..") {
            below.push_back(*it);
        } else if (below.empty()) {
            return std::nullopt;
        } else {
            below.pop_back();
        }
    }
    return below;
}

bool sameName(std::string_view a, std::string_view b) { return equalNoCase(a, b); }

using detail::caseVariantIn;
using detail::UniqueFd;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Why a folder on the way cannot be opened: a missing one, a file or a link in its place all
// leave the path without a folder.
Error folderError(int err) {
    return err == EMFILE || err == ENFILE || err == ENOMEM ? errorFromErrno(err) : ERROR_PATH_NOT_FOUND;
}

// Opens the folder `name` of the open folder `dir` (one component: no separator, never "." or
// ".."): the exact name if it exists (a link there refuses the path), else its first case
// variant. `found` gets the name as stored.
int openChildFolder(int dir, const std::string& name, std::string* found) {
    *found = name;
    int fd = ::openat(dir, name.c_str(), kFolderFlags | O_NOFOLLOW);
    if (fd >= 0 || errno != ENOENT) return fd;
    auto variant = caseVariantIn(dir, name);
    if (!variant) {
        errno = ENOENT;
        return -1;
    }
    *found = std::move(*variant);
    return ::openat(dir, found->c_str(), kFolderFlags | O_NOFOLLOW);
}

// Opens the folder parts[0]/…/parts[count-1] below the open folder `base`, each one a folder
// of its own, never a link; `host` gets the names as stored. Nothing is opened for count 0 (the
// folder is `base` itself). Nearly every path is spelled as stored: one openat2 settles the
// whole chain. Otherwise (a case variant on the way, or a host without openat2) one component
// at a time.
Result<UniqueFd> openFolders(int base, const std::vector<std::string>& parts, size_t count, fs::path* host) {
    if (count == 0) return UniqueFd();
    std::string joined = parts[0];
    for (size_t i = 1; i < count; ++i) (joined += '/') += parts[i];
    struct open_how how {};
    how.flags = kFolderFlags | O_NOFOLLOW;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = ::syscall(SYS_openat2, base, joined.c_str(), &how, sizeof how);
    if (fd >= 0) {
        for (size_t i = 0; i < count; ++i) *host /= parts[i];
        return UniqueFd(static_cast<int>(fd));
    }
    if (errno != ENOENT && errno != ENOSYS) return fail(folderError(errno));
    UniqueFd current;
    std::string found;
    for (size_t i = 0; i < count; ++i) {
        const int next = openChildFolder(i == 0 ? base : current.get(), parts[i], &found);
        if (next < 0) return fail(folderError(errno));
        current.reset(next);
        *host /= found;
    }
    return current;
}

// Pins parts[last] below the open folder `base` (whose host path is `host`); `owned` is `base`
// when the caller opened it for this pin alone.
Result<detail::PinnedEntry> pinBelow(int base, UniqueFd owned, fs::path host, const std::vector<std::string>& parts) {
    detail::PinnedEntry pinned;
    auto folder = openFolders(base, parts, parts.size() - 1, &host);
    if (!folder) return fail(folder.error());
    const bool opened = folder->get() >= 0;
    pinned.owned = opened ? std::move(*folder) : std::move(owned);
    pinned.folder = opened ? pinned.owned.get() : base;
    pinned.name = parts.back();
    struct stat st {};
    if (::fstatat(pinned.folder, pinned.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        pinned.entry = st;
    } else if (errno == ENOENT) {
        // A file about to be created keeps the caller's spelling unless a case variant exists.
        auto variant = caseVariantIn(pinned.folder, pinned.name);
        if (variant && ::fstatat(pinned.folder, variant->c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
            pinned.name = std::move(*variant);
            pinned.entry = st;
        }
    }
    pinned.host = std::move(host) / pinned.name;
    return pinned;
}

// Pins the root of a volume (or an admitted host file): its own host path may be a link.
Result<detail::PinnedEntry> pinRoot(const fs::path& base) {
    detail::PinnedEntry pinned;
    pinned.volumeRoot = true;
    pinned.host = base;
    UniqueFd folder(::open(base.c_str(), kFolderFlags));
    if (folder.get() >= 0) {
        pinned.name.assign(1, '.');  // the folder itself
    } else {
        // An admitted file, or a volume whose folder is missing: its parent holds it.
        if (errno != ENOTDIR && errno != ENOENT) return fail(folderError(errno));
        folder.reset(::open(base.parent_path().c_str(), kFolderFlags));
        if (folder.get() < 0) return fail(ERROR_PATH_NOT_FOUND);
        pinned.name = base.filename().string();
    }
    pinned.owned = std::move(folder);
    pinned.folder = pinned.owned.get();
    struct stat st {};
    if (::fstatat(pinned.folder, pinned.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) pinned.entry = st;
    return pinned;
}

// True when `inner` is `outer` or lies below it, compared component by component.
bool hostWithin(const fs::path& inner, const fs::path& outer, bool ignoreCase) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty()) continue;  // a trailing separator
        if (i == inner.end()) return false;
        if (ignoreCase ? !equalNoCase(i->string(), o->string()) : *i != *o) return false;
    }
    return true;
}

// What "\Host" reaches: the running program's folder, and the files tools admitted.
class HostAdmissions {
public:
    static HostAdmissions& instance() {
        static HostAdmissions admissions;
        return admissions;
    }

    const fs::path& programFolder() const { return programFolder_; }

    void admit(const fs::path& file) {
        std::lock_guard lock(mutex_);
        files_.push_back(file.lexically_normal());
    }

    bool admitted(const fs::path& file) const {
        std::lock_guard lock(mutex_);
        return std::find(files_.begin(), files_.end(), file) != files_.end();
    }

private:
    HostAdmissions() {
        std::error_code ec;
        fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        if (!ec) programFolder_ = exe.parent_path();
    }

    fs::path programFolder_;
    mutable std::mutex mutex_;
    std::vector<fs::path> files_;
};

// A "\Host" place as a host path ("/" and the components below).
fs::path hostOfPlace(const DevicePlace& place) {
    fs::path host = place.volumeHost;
    for (const auto& part : place.below) host /= part;
    return host;
}

// Where resolution of a place starts and what it walks: a volume's root (or the program's
// folder for "\Host") and the components below it.
struct Walk {
    fs::path base;
    std::vector<std::string> parts;
};

Result<Walk> walkOf(DevicePlace place) {
    if (place.volume != hostMountPath()) return Walk{std::move(place.volumeHost), std::move(place.below)};
    // Below the program's own folder, resolved like any volume; an admitted file as it is.
    const fs::path& folder = HostAdmissions::instance().programFolder();
    const fs::path host = hostOfPlace(place);
    if (!folder.empty() && hostWithin(host, folder, true)) {
        const fs::path relative = folder.relative_path();
        const auto depth = std::distance(relative.begin(), relative.end());
        return Walk{folder, std::vector<std::string>(place.below.begin() + depth, place.below.end())};
    }
    if (HostAdmissions::instance().admitted(host)) return Walk{host, {}};
    return fail(ERROR_PATH_NOT_FOUND);
}

}  // namespace

Result<DevicePlace> placeOf(std::string_view devicePath) {
    if (devicePath.find('\0') != std::string_view::npos) return fail(ERROR_INVALID_NAME);
    std::vector<std::string> parts = rawComponents(devicePath);
    // The device root is its own parent.
    auto first = std::find_if(parts.begin(), parts.end(), [](const std::string& p) { return p != ".."; });

    // The mount with the longest device path that prefixes this one.
    const Mount* mount = nullptr;
    size_t used = 0;
    if (auto profile = Profile::current()) {
        const auto available = static_cast<size_t>(parts.end() - first);
        for (const Mount& m : (*profile)->mounts()) {
            std::vector<std::string> mountParts = rawComponents(m.devicePath);
            if (mountParts.empty() || mountParts.size() <= used || mountParts.size() > available) continue;
            if (std::equal(mountParts.begin(), mountParts.end(), first, sameName)) {
                mount = &m;
                used = mountParts.size();
            }
        }
    }
    DevicePlace place;
    if (mount != nullptr) {
        place.volume = mount->devicePath;
        place.volumeHost = mount->host;
    } else {
        if (first == parts.end() || !sameName(*first, kHostMount)) return fail(ERROR_PATH_NOT_FOUND);
        place.volume = hostMountPath();
        place.volumeHost = "/";
        used = 1;
    }
    auto below = collapseBelowRoot(first + static_cast<std::ptrdiff_t>(used), parts.end());
    if (!below) return fail(ERROR_PATH_NOT_FOUND);
    place.below = std::move(*below);
    if (mount == nullptr && !walkOf(place)) return fail(ERROR_PATH_NOT_FOUND);
    return place;
}

bool placeWithin(const DevicePlace& inner, const DevicePlace& outer) {
    if (!pathEquals(inner.volume, outer.volume) || inner.below.size() < outer.below.size()) return false;
    return std::equal(outer.below.begin(), outer.below.end(), inner.below.begin(), sameName);
}

Result<fs::path> hostPath(std::string_view devicePath) {
    auto pinned = detail::pinEntry(devicePath);
    if (!pinned) return fail(pinned.error());
    return std::move(pinned->host);
}

Result<detail::PinnedEntry> detail::pinEntry(std::string_view devicePath) {
    auto place = placeOf(devicePath);
    if (!place) return fail(place.error());
    auto walk = walkOf(std::move(*place));
    if (!walk) return fail(walk.error());
    if (walk->parts.empty()) return pinRoot(walk->base);
    // The volume's own folder may be a link (a card mounted elsewhere): it is the head unit's.
    UniqueFd root(::open(walk->base.c_str(), kFolderFlags));
    if (root.get() < 0) return fail(folderError(errno));
    const int base = root.get();
    return pinBelow(base, std::move(root), std::move(walk->base), walk->parts);
}

Result<detail::PinnedEntry> detail::pinEntryBelow(int folder, const fs::path& folderHost, std::string_view relative) {
    if (relative.find('\0') != std::string_view::npos) return fail(ERROR_INVALID_NAME);
    const std::vector<std::string> raw = rawComponents(relative);
    auto parts = collapseBelowRoot(raw.begin(), raw.end());
    if (!parts || parts->empty()) return fail(ERROR_PATH_NOT_FOUND);
    return pinBelow(folder, UniqueFd(), folderHost, *parts);
}

Result<detail::PinnedEntry> detail::pinExisting(std::string_view devicePath) {
    auto pinned = pinEntry(devicePath);
    if (pinned && !pinned->entry) return fail(ERROR_FILE_NOT_FOUND);
    return pinned;
}

Result<detail::PinnedEntry> detail::pinExistingBelow(int folder, const fs::path& folderHost, std::string_view relative) {
    auto pinned = pinEntryBelow(folder, folderHost, relative);
    if (pinned && !pinned->entry) return fail(ERROR_FILE_NOT_FOUND);
    return pinned;
}

std::string devicePathOf(const fs::path& host) {
    std::error_code ec;
    fs::path abs = fs::weakly_canonical(fs::absolute(host, ec), ec);
    if (ec) abs = fs::absolute(host).lexically_normal();

    auto join = [](std::string prefix, const fs::path& rel) {
        for (const auto& part : rel) {
            if (part.empty() || part == ".") continue;
            prefix += '\\';
            prefix += part.string();
        }
        return prefix;
    };

    std::string best;
    size_t bestDepth = 0;
    if (auto profile = Profile::current()) {
        for (const Mount& m : (*profile)->mounts()) {
            fs::path mountHost = fs::weakly_canonical(m.host, ec);
            if (ec) mountHost = m.host;
            auto [mountEnd, absIt] = std::mismatch(mountHost.begin(), mountHost.end(), abs.begin(), abs.end());
            if (mountEnd != mountHost.end()) continue;
            size_t depth = static_cast<size_t>(std::distance(mountHost.begin(), mountHost.end()));
            if (!best.empty() && depth <= bestDepth) continue;
            fs::path rel;
            for (auto it = absIt; it != abs.end(); ++it) rel /= *it;
            best = join(m.devicePath, rel);
            bestDepth = depth;
        }
    }
    if (!best.empty()) return best;
    return join(hostMountPath(), abs.relative_path());
}

std::string admitHostFile(const fs::path& host) {
    std::error_code ec;
    fs::path abs = fs::weakly_canonical(fs::absolute(host, ec), ec);
    if (ec) abs = fs::absolute(host).lexically_normal();
    HostAdmissions::instance().admit(abs);
    return devicePathOf(abs);
}

std::string modulePath() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : devicePathOf(exe);
}

std::string folderOf(std::string_view devicePath) {
    size_t slash = devicePath.find_last_of("\\/");
    return slash == std::string_view::npos ? std::string() : std::string(devicePath.substr(0, slash + 1));
}

std::string fileNameOf(std::string_view devicePath) {
    size_t slash = devicePath.find_last_of("\\/");
    return std::string(slash == std::string_view::npos ? devicePath : devicePath.substr(slash + 1));
}

bool pathEquals(std::string_view a, std::string_view b) {
    std::u32string fa = foldCase(a), fb = foldCase(b);
    std::replace(fa.begin(), fa.end(), U'/', U'\\');
    std::replace(fb.begin(), fb.end(), U'/', U'\\');
    return fa == fb;
}

namespace {

bool matchFolded(std::u32string_view pattern, std::u32string_view name) {
    // Greedy match with one backtrack point: the last '*' seen.
    size_t p = 0, n = 0, star = std::u32string_view::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == U'*') {
            star = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (star != std::u32string_view::npos) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') ++p;
    return p == pattern.size();
}

}  // namespace

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    // Stars alone match every name (a folder's listing); nothing to fold.
    if (!pattern.empty() && pattern.find_first_not_of('*') == std::string_view::npos) return true;
    std::u32string p = foldCase(pattern), n = foldCase(name);
    if (matchFolded(p, n)) return true;
    // A trailing ".*" also matches a name without an extension: "*.*" matches every name,
    // "README.*" matches "README".
    if (p.size() >= 2 && p.ends_with(U".*") && n.find(U'.') == std::u32string::npos)
        return matchFolded(std::u32string_view(p).substr(0, p.size() - 2), n);
    return false;
}

}  // namespace ce
