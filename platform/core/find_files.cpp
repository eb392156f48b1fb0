// Directory search: FindFirstFile/FindNextFile as one sorted list.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/core/case_fold.h"
#include "platform/core/files.h"
#include "platform/core/host_file.h"
#include "platform/core/paths.h"
#include "platform/core/profile.h"

namespace ce {

namespace fs = std::filesystem;

namespace {

bool hasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

std::optional<FindData> entryOf(const fs::path& host, std::string name) {
    auto entry = detail::describeEntry(host);
    if (!entry) return std::nullopt;  // vanished, or a dangling link
    FindData data;
    data.name = std::move(name);
    data.attributes = entry->attributes;
    data.size = entry->size;
    return data;
}

// Sorts entries in case-insensitive name order (compareNoCase), folding each name once.
void sortByName(std::vector<FindData>& entries) {
    struct Keyed {
        std::u32string folded;
        FindData data;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(entries.size());
    for (FindData& e : entries) keyed.push_back({foldCase(e.name), std::move(e)});
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (int c = a.folded.compare(b.folded); c != 0) return c < 0;
        return a.data.name < b.data.name;
    });
    for (size_t i = 0; i < entries.size(); ++i) entries[i] = std::move(keyed[i].data);
}

// The name a search reports for a host folder: a mount's root is named as on the device
// ("SDMMC Card"), everything else by its host name.
std::string reportedName(const fs::path& host) {
    if (auto profile = Profile::current()) {
        std::error_code ec;
        for (const Mount& m : (*profile)->mounts())
            if (fs::equivalent(m.host, host, ec)) return fileNameOf(m.devicePath);
    }
    return host.filename().string();
}

Result<std::vector<FindData>> exactSearch(std::string_view path) {
    auto pinned = detail::pinEntry(path);
    if (!pinned) return fail(pinned.error());
    const fs::path& host = pinned->host;
    // A volume's root is described as the folder it stands for, whatever its host path is.
    if (pinned->volumeRoot) {
        std::error_code ec;
        const fs::path real = fs::canonical(host, ec);
        auto entry = ec ? std::nullopt : entryOf(real, reportedName(host));
        if (!entry) return fail(ERROR_FILE_NOT_FOUND);
        return std::vector<FindData>{std::move(*entry)};
    }
    if (!pinned->entry) return fail(ERROR_FILE_NOT_FOUND);
    FindData data;
    data.name = pinned->name;
    data.attributes = detail::attributesAt(pinned->folder, pinned->name.c_str(), *pinned->entry);
    data.size = S_ISREG(pinned->entry->st_mode) ? static_cast<uint64_t>(pinned->entry->st_size) : 0;
    return std::vector<FindData>{std::move(data)};
}

// Opens a pinned folder for listing; a link in the folder's place is not walked
// (ERROR_PATH_NOT_FOUND). A volume's root is its pinned folder itself.
int openFolder(const detail::PinnedEntry& pinned) {
    return ::openat(pinned.folder, pinned.name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
}

}  // namespace

Result<std::vector<FindData>> findFiles(std::string_view pattern) { return findFiles(pattern, FindDetail::Full); }

Result<std::vector<FindData>> findFiles(std::string_view pattern, FindDetail level) {
    size_t slash = pattern.find_last_of("\\/");
    std::string_view folder = slash == std::string_view::npos ? std::string_view() : pattern.substr(0, slash);
    std::string_view namePattern = slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
    if (hasWildcard(folder)) return fail(ERROR_INVALID_NAME);
    if (!hasWildcard(namePattern)) return exactSearch(pattern);

    auto pinned = detail::pinEntry(folder);
    if (!pinned) return fail(ERROR_PATH_NOT_FOUND);

    const int dir = openFolder(*pinned);
    if (dir < 0)
        return fail(errno == ENOENT || errno == ENOTDIR || errno == ELOOP ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
    auto found = detail::listFolder(dir, namePattern, level);
    if (found && found->empty()) return fail(ERROR_FILE_NOT_FOUND);
    return found;
}

Result<std::vector<FindData>> detail::listFolder(int dir, std::string_view namePattern, FindDetail level) {
    DIR* stream = ::fdopendir(dir);
    if (stream == nullptr) {
        const int err = errno;
        ::close(dir);
        return fail(errorFromErrno(err));
    }
    // Each entry is looked at relative to the open folder.
    std::vector<FindData> found;
    int readError = 0;
    for (;;) {
        errno = 0;
        const dirent* dirEntry = ::readdir(stream);
        if (dirEntry == nullptr) {
            readError = errno;
            break;
        }
        std::string name = dirEntry->d_name;
        if (name == "." || name == ".." || !wildcardMatch(namePattern, name)) continue;
        auto entry = detail::describeEntryAt(::dirfd(stream), name.c_str(), level == FindDetail::Full);
        if (!entry) continue;  // vanished meanwhile
        FindData data;
        data.name = std::move(name);
        data.attributes = entry->attributes;
        data.size = entry->size;
        found.push_back(std::move(data));
    }
    ::closedir(stream);
    if (readError != 0) return fail(errorFromErrno(readError));
    sortByName(found);
    return found;
}

bool pathExists(std::string_view devicePath) {
    if (hasWildcard(devicePath)) return false;
    return exactSearch(devicePath).ok();
}

}  // namespace ce
