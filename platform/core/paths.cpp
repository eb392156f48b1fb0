#include "platform/core/paths.h"

#include <algorithm>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/core/case_fold.h"
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

bool sameName(std::string_view a, std::string_view b) { return foldCase(a) == foldCase(b); }

// The entry of `dir` called `name` without regard to case: the exact name if it exists,
// otherwise the first case-insensitive match in name order (so the choice is reproducible).
std::optional<fs::path> findEntry(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    fs::path exact = dir / name;
    if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found && !ec) return exact;
    std::optional<std::string> best;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (sameName(entry, name) && (!best || entry < *best)) best = entry;
    }
    if (!best) return std::nullopt;
    return dir / *best;
}

}  // namespace

Result<fs::path> hostPath(std::string_view devicePath) {
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

    fs::path current = base;
    std::error_code ec;
    for (size_t i = used; i < parts.size(); ++i) {
        if (!fs::is_directory(current, ec)) return fail(ERROR_PATH_NOT_FOUND);
        auto entry = findEntry(current, parts[i]);
        if (i + 1 == parts.size()) return entry.value_or(current / parts[i]);
        if (!entry) return fail(ERROR_PATH_NOT_FOUND);
        current = *entry;
    }
    return current;
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
    std::u32string p = foldCase(pattern), n = foldCase(name);
    if (matchFolded(p, n)) return true;
    // A trailing ".*" also matches a name without an extension: "*.*" matches every name,
    // "README.*" matches "README".
    if (p.size() >= 2 && p.ends_with(U".*") && n.find(U'.') == std::u32string::npos)
        return matchFolded(std::u32string_view(p).substr(0, p.size() - 2), n);
    return false;
}

}  // namespace ce
