#pragma once
// Helpers behind files.h that meet the host: device paths pinned to an open folder, the
// attributes kept on a host file, the locks that carry share modes across handles and
// processes, and opening a host file with the device's rules. Internal to platform/core.
//
// Every operation on a device path acts on an entry *pinned* to the open folder that holds it:
// resolution opens that folder from the volume's root without following any link (openat2
// with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS, or one component at a time with O_NOFOLLOW where
// the host lacks it), and the operation then names only the last component relative to it
// (openat, unlinkat, mkdirat, renameat, getxattrat). Someone who can write in a folder of the
// volume may swap a checked folder for a link at any moment: the open folder stays the one
// that was checked, so the operation can never land outside the volume.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/core/error.h"
#include "platform/core/files.h"

namespace ce::detail {

// A host descriptor closed with its owner.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// An entry of a volume pinned to the folder that holds it. `name` is the entry's name in that
// folder as stored (a case variant of the caller's spelling when only one exists), or "." for
// a volume's root, whose own host path may be a link that is the head unit's to follow.
// `entry` is an lstat of the entry when it exists. The folder is `owned` when the pin opened
// it, or borrowed from a folder the caller holds open.
struct PinnedEntry {
    UniqueFd owned;
    int folder = -1;
    std::string name;
    std::filesystem::path host;
    std::optional<struct stat> entry;
    bool volumeRoot = false;
};
Result<PinnedEntry> pinEntry(std::string_view devicePath);

// The entry `relative` ("IMG\a.bmp") below the open folder `folder` (host path `folderHost`),
// resolved the same way; ".." never climbs above the folder (ERROR_PATH_NOT_FOUND). The pin
// may borrow `folder`, which must stay open while it is used.
Result<PinnedEntry> pinEntryBelow(int folder, const std::filesystem::path& folderHost, std::string_view relative);

// The same, for an entry that must exist: ERROR_FILE_NOT_FOUND when it does not.
Result<PinnedEntry> pinExisting(std::string_view devicePath);
Result<PinnedEntry> pinExistingBelow(int folder, const std::filesystem::path& folderHost, std::string_view relative);

// Name of the extended attribute that holds the device attributes (read-only, hidden,
// system, archive) as a 4-byte little-endian number. A file without it has none of them.
inline constexpr const char* kAttributeXattr = "user.ce.attrib";

// The bits this layer stores; the directory bit always comes from the host.
inline constexpr uint32_t kStoredAttributes = 0x1 | 0x2 | 0x4 | 0x20;

// The device attributes of an entry of an open folder, whose lstat is at hand: stored bits,
// plus the directory bit, FILE_ATTRIBUTE_NORMAL for a file with none, or the reparse-point
// bit alone for a link.
uint32_t attributesAt(int folder, const char* name, const struct stat& st);

// The attributes and the size (of a regular file; 0 for anything else) of an entry.
struct HostEntry {
    uint32_t attributes = 0;
    uint64_t size = 0;
};

// The same for a host path (a volume's root as it really is, after its links).
Result<HostEntry> describeEntry(const std::filesystem::path& host);

// The stored attribute bits (kStoredAttributes) of an open file; 0 when it has none.
uint32_t storedAttributes(int fd);

// The same for the entry `name` of an open folder. Without `stored` only the host's own stat
// is read, which gives a folder, a link or FILE_ATTRIBUTE_NORMAL.
Result<HostEntry> describeEntryAt(int folder, const char* name, bool stored);

// Stores the given attributes (only kStoredAttributes are kept) on an entry of an open folder
// or an open file. On a host file system without user extended attributes, clearing succeeds
// and storing a bit fails with ERROR_NOT_SUPPORTED. A link, FIFO or device stores nothing
// (ERROR_CANT_ACCESS_FILE).
Error storeAttributesAt(int folder, const char* name, uint32_t attributes);
Error storeAttributes(int fd, uint32_t attributes);

// Share modes are carried by flock() locks, which belong to the open file description: a
// share-mode-0 handle holds an exclusive lock, any other handle a shared one, so an exclusive
// open conflicts with every other handle in any process and shared opens coexist.
bool tryLockShared(int fd);
bool tryLockExclusive(int fd);

// ERROR_SHARING_VIOLATION while some handle holds the regular file `name` of an open folder
// exclusively, else ERROR_SUCCESS. On success `guard` holds a shared lock that keeps exclusive
// opens out until it is closed (after the file is deleted or replaced), and *readOnly (if
// given) tells whether the file held carries the read-only attribute.
Error holdAgainstExclusiveOpens(int folder, const char* name, UniqueFd* guard, bool* readOnly = nullptr);

// Opens a pinned file as File::open does (disposition, access, share mode, read-only
// attribute, a folder refused) and returns its descriptor, which the caller closes. The
// disposition must already be valid.
// What openPinnedFile found: the opened file's stat, and whether the open created it (a
// fresh file carries no attribute).
struct OpenedFile {
    struct stat st {};
    bool created = false;
};
Result<int> openPinnedFile(const PinnedEntry& pinned, uint32_t access, uint32_t share, uint32_t disposition,
                           OpenedFile* opened = nullptr);

// The operations behind files.h on a pinned entry, shared by the calls on device paths and
// those on held folders.
Error deletePinned(const PinnedEntry& found);  // the entry must exist
// The target is pinned (by pinTarget) only once the source is open.
Error copyPinned(const PinnedEntry& from, const std::function<Result<PinnedEntry>()>& pinTarget,
                 const CopyProgressRoutine& progress, const bool* cancel, uint32_t flags);
// Lists the open folder `dir` (taken over and closed) as findFiles lists a folder: the entries
// matching namePattern, in name order; an empty list when nothing matches.
Result<std::vector<FindData>> listFolder(int dir, std::string_view namePattern, FindDetail detail);

}  // namespace ce::detail
