#include "platform/core/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
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

// Splits a device path into its components. "." is dropped and ".." steps back, never above
// the root, so no device path reaches outside its mount.
std::vector<std::string> components(std::string_view path) {
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&] {
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (char c : path) {
        if (c == '\\' || c == '/') flush();
        else part += c;
    }
    flush();
    return parts;
}

bool sameName(std::string_view a, std::string_view b) { return equalNoCase(a, b); }

bool isDirectory(const fs::path& host) {
    struct stat st {};
    return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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
// case variant is looked for in the folder's listing.
Result<fs::path> walkComponents(fs::path current, const std::vector<std::string>& parts, size_t from) {
    if (!isDirectory(current)) return fail(ERROR_PATH_NOT_FOUND);
    for (size_t i = from; i < parts.size(); ++i) {
        const bool last = i + 1 == parts.size();
        auto entry = findEntry(current, parts[i]);
        if (last) return entry.value_or(current / parts[i]);
        if (!entry || !isDirectory(*entry)) return fail(ERROR_PATH_NOT_FOUND);
        current = std::move(*entry);
    }
    return current;
}

}  // namespace

Result<fs::path> hostPath(std::string_view devicePath) {
    auto lookup = detail::lookUpHostPath(devicePath);
    if (!lookup) return fail(lookup.error());
    return std::move(lookup->host);
}

Result<detail::HostLookup> detail::lookUpHostPath(std::string_view devicePath) {
    if (devicePath.find('\0') != std::string_view::npos) return fail(ERROR_INVALID_NAME);
    std::vector<std::string> parts = components(devicePath);
    if (parts.empty()) return fail(ERROR_PATH_NOT_FOUND);

    // The mount with the longest device path that prefixes this one.
    fs::path base;
    size_t used = 0;
    if (auto profile = Profile::current()) {
        for (const Mount& m : (*profile)->mounts()) {
            std::vector<std::string> mountParts = components(m.devicePath);
            if (mountParts.size() <= used || mountParts.size() > parts.size()) continue;
            if (std::equal(mountParts.begin(), mountParts.end(), parts.begin(), sameName)) {
                base = m.host;
                used = mountParts.size();
            }
        }
    }
    if (used == 0) {
        if (!sameName(parts.front(), kHostMount)) return fail(ERROR_PATH_NOT_FOUND);
        base = "/";
        used = 1;
    }

    if (used == parts.size()) return HostLookup{std::move(base), std::nullopt};

    // Nearly every path is spelled as stored: one lstat of the whole path settles it, since
    // the kernel's walk to it passes only folders under their exact names, as the walk below
    // would. The next most common case is a file about to be created in an existing folder,
    // where only the last component needs the folder's listing.
    fs::path exact = base;
    for (size_t i = used; i < parts.size(); ++i) exact /= parts[i];
    struct stat st {};
    if (::lstat(exact.c_str(), &st) == 0) return HostLookup{std::move(exact), st};
    fs::path parent = exact.parent_path();
    if (isDirectory(parent))
        return HostLookup{findCaseVariant(parent, parts.back()).value_or(std::move(exact)), std::nullopt};
    auto walked = walkComponents(std::move(base), parts, used);
    if (!walked) return fail(walked.error());
    return HostLookup{std::move(*walked), std::nullopt};
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
