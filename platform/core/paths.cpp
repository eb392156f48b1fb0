#include "platform/core/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/core/case_fold.h"
#include "platform/core/host_file.h"
#include "platform/core/profile.h"

namespace ce {

namespace fs = std::filesystem;

namespace {

// The pseudo mount that stands for the host's own root, for programs outside every mount.
constexpr std::string_view kHostMount = "Host";

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

// A folder in its own right: a link to one is not.
bool isRealDirectory(const fs::path& host) {
    struct stat st {};
    return ::lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool existsAsEntry(const fs::path& host) {
    struct stat st {};
    return ::lstat(host.c_str(), &st) == 0;
}

// The first entry of `dir` (in name order, so the choice is reproducible) whose name equals
// `name` without regard to case.
std::optional<fs::path> findCaseVariant(const fs::path& dir, const std::string& name) {
    DIR* stream = ::opendir(dir.c_str());
    if (stream == nullptr) return std::nullopt;
    std::optional<std::string> best;
    while (const dirent* entry = ::readdir(stream)) {
        std::string_view entryName = entry->d_name;
        if (entryName == "." || entryName == "..") continue;
        if ((!best || entryName < *best) && equalNoCase(entryName, name)) best = std::string(entryName);
    }
    ::closedir(stream);
    if (!best) return std::nullopt;
    return dir / *best;
}

// The entry of the folder `dir` called `name` without regard to case: the exact name if it
// exists (a dangling link included), otherwise the first case variant.
std::optional<fs::path> findEntry(const fs::path& dir, const std::string& name) {
    fs::path exact = dir / name;
    if (existsAsEntry(exact)) return exact;
    return findCaseVariant(dir, name);
}

// Resolution one component at a time below the folder `base`: the exact name wins, any other
// case variant is looked for in the folder's listing. Every component but the last must be a
// folder of its own, never a link.
Result<fs::path> walkComponents(fs::path current, const std::vector<std::string>& parts) {
    for (size_t i = 0; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        auto entry = findEntry(current, parts[i]);
        if (last) return entry.value_or(current / parts[i]);
        if (!entry || !isRealDirectory(*entry)) return fail(ERROR_PATH_NOT_FOUND);
        current = std::move(*entry);
    }
    return current;
}

// True when base/parts[0] … base/parts[count-1] are all folders of their own (no links).
bool foldersWithoutLinks(fs::path current, const std::vector<std::string>& parts, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        current /= parts[i];
        if (!isRealDirectory(current)) return false;
    }
    return true;
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
    if (place.volume != "\\" + std::string(kHostMount)) return Walk{std::move(place.volumeHost), std::move(place.below)};
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
        place.volume = "\\" + std::string(kHostMount);
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
    auto lookup = detail::lookUpHostPath(devicePath);
    if (!lookup) return fail(lookup.error());
    return std::move(lookup->host);
}

Result<detail::HostLookup> detail::lookUpHostPath(std::string_view devicePath) {
    auto place = placeOf(devicePath);
    if (!place) return fail(place.error());
    auto walk = walkOf(std::move(*place));
    if (!walk) return fail(walk.error());
    fs::path base = std::move(walk->base);
    const std::vector<std::string>& parts = walk->parts;
    if (parts.empty()) return HostLookup{std::move(base), std::nullopt, true};
    // The volume's own folder may be a link (a card mounted elsewhere): it is the head unit's.
    struct stat st {};
    if (::stat(base.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return fail(ERROR_PATH_NOT_FOUND);

    // Nearly every path is spelled as stored: one lstat of the whole path settles it, once the
    // folders on the way are known to be folders of their own. The next most common case is a
    // file about to be created in an existing folder, where only the last component needs the
    // folder's listing.
    fs::path exact = base;
    for (const auto& part : parts) exact /= part;
    const size_t folders = parts.size() - 1;
    if (::lstat(exact.c_str(), &st) == 0) {
        if (!foldersWithoutLinks(base, parts, folders)) return fail(ERROR_PATH_NOT_FOUND);
        return HostLookup{std::move(exact), st, false};
    }
    fs::path parent = exact.parent_path();
    if (foldersWithoutLinks(base, parts, folders))
        return HostLookup{findCaseVariant(parent, parts.back()).value_or(std::move(exact)), std::nullopt, false};
    auto walked = walkComponents(std::move(base), parts);
    if (!walked) return fail(walked.error());
    return HostLookup{std::move(*walked), std::nullopt, false};
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
    return join("\\" + std::string(kHostMount), abs.relative_path());
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
