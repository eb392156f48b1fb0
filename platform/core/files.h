#pragma once
// Files and folders of the head unit, with the device's semantics enforced by the platform.
//
// Attributes (read-only, hidden, ...) are kept by this layer on the host file (an extended
// attribute), not derived from permission bits: tests and tools run as root, which ignores
// permission bits. A read-only file refuses writing and deletion with ERROR_ACCESS_DENIED until
// its attribute is cleared; a file held open without sharing refuses other opens and deletion
// with ERROR_SHARING_VIOLATION, also across processes (open file description locks).
//
// The attributes live in the extended attribute "user.ce.attrib". On a host file system
// without user extended attributes every file reads as having none, clearing them succeeds,
// and setting read-only, hidden or system fails with ERROR_NOT_SUPPORTED rather than
// pretending to have stored them.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/error.h"

namespace ce {

enum : uint32_t {
    FILE_ATTRIBUTE_READONLY = 0x1,
    FILE_ATTRIBUTE_HIDDEN = 0x2,
    FILE_ATTRIBUTE_SYSTEM = 0x4,
    FILE_ATTRIBUTE_DIRECTORY = 0x10,
    FILE_ATTRIBUTE_ARCHIVE = 0x20,
    FILE_ATTRIBUTE_NORMAL = 0x80,
    FILE_ATTRIBUTE_REPARSE_POINT = 0x400,  // a symbolic link: never followed, walked or opened
    INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF,
};

// Each operation resolves the folders of its path once, opening each from the volume's root
// without following any link, and then acts on its entry relative to that open folder: someone
// who swaps a folder on the path for a link meanwhile cannot send it outside the volume.
//
// A symbolic link inside a volume is an entry of its own: searches report it with
// FILE_ATTRIBUTE_REPARSE_POINT alone (never as a folder, so walks do not descend into it),
// deleteFile removes the link itself, and opening, creating or truncating a file through it
// fails with ERROR_CANT_ACCESS_FILE. So does opening a FIFO, socket or device where a file is
// expected, at once instead of blocking.

// ---- Directory search -----------------------------------------------------------------

struct FindData {
    std::string name;  // entry name as stored on the host
    uint32_t attributes = 0;
    uint64_t size = 0;
};

// All entries of a folder matching the pattern's last component ("\NAND Flash\SFLASH\*.bmp"),
// files and folders alike, in case-insensitive name order so runs are reproducible. "." and
// ".." are never returned. A pattern without wildcards is an exact-path search: it finds the
// file or folder of that name. Errors: ERROR_PATH_NOT_FOUND when the folder does not exist,
// ERROR_FILE_NOT_FOUND when it exists and nothing matches (FindFirstFile's results).
Result<std::vector<FindData>> findFiles(std::string_view pattern);

// How much a search reads for each entry. A walk that only counts files, adds up their sizes
// or descends into folders asks for NamesAndSizes, which spares reading the attributes kept by
// this layer: `attributes` is then FILE_ATTRIBUTE_DIRECTORY for a folder and
// FILE_ATTRIBUTE_NORMAL for anything else. Everything else is as findFiles(pattern).
enum class FindDetail { Full, NamesAndSizes };
Result<std::vector<FindData>> findFiles(std::string_view pattern, FindDetail detail);

// True when an exact-path search finds the file or folder.
bool pathExists(std::string_view devicePath);

// ---- Whole-file operations ----------------------------------------------------------------

Error deleteFile(std::string_view path);        // 2, 3, 5 (read-only or folder), 32 (open without sharing)
Error removeDirectory(std::string_view path);   // only an empty folder: 145 otherwise
Error createDirectory(std::string_view path);   // one level; 183 when it exists, 3 when the parent is missing
Result<uint32_t> getFileAttributes(std::string_view path);
Error setFileAttributes(std::string_view path, uint32_t attributes);  // NORMAL (0x80) clears all

// MoveFileEx within one volume, for files. The rename is one step: a reader sees the old file or
// the new one, never a part, so a program writes a new copy beside a file and moves it over the
// old one to replace it safely. An existing target is replaced only with MOVEFILE_REPLACE_EXISTING
// (else ERROR_ALREADY_EXISTS); a read-only or folder target refuses with ERROR_ACCESS_DENIED, a
// file held open without sharing (either one) with ERROR_SHARING_VIOLATION. A link is moved or
// replaced as the link itself, never followed.
enum : uint32_t { MOVEFILE_REPLACE_EXISTING = 0x1 };
Error moveFileEx(std::string_view existing, std::string_view newName, uint32_t flags);

// Progress of a copy, as CopyFileEx reports it.
struct CopyProgressInfo {
    uint64_t totalFileSize = 0;
    uint64_t totalBytesTransferred = 0;
    uint64_t streamSize = 0;
    uint64_t streamBytesTransferred = 0;
    uint32_t streamNumber = 1;
    uint32_t callbackReason = 0;  // 1 (stream switch) for the first call of a file, else 0
};

enum CopyProgressResult : uint32_t {
    PROGRESS_CONTINUE = 0,
    PROGRESS_CANCEL = 1,  // the copy fails with ERROR_REQUEST_ABORTED and the target is removed
    PROGRESS_STOP = 2,
    PROGRESS_QUIET = 3,   // no further calls for this copy
};

using CopyProgressRoutine = std::function<CopyProgressResult(const CopyProgressInfo&)>;

enum : uint32_t { COPY_FILE_FAIL_IF_EXISTS = 0x1 };

// Copies one file. The routine is called first with 0 bytes transferred, then after every
// chunk; *cancel (if given) set to true stops the copy like PROGRESS_CANCEL. An existing target
// is replaced unless COPY_FILE_FAIL_IF_EXISTS (then ERROR_FILE_EXISTS); a read-only target
// refuses with ERROR_ACCESS_DENIED. The copy keeps the source's attributes.
Error copyFileEx(std::string_view source, std::string_view target, const CopyProgressRoutine& progress,
                 const bool* cancel, uint32_t flags);

inline Error copyFile(std::string_view source, std::string_view target, bool failIfExists) {
    return copyFileEx(source, target, {}, nullptr, failIfExists ? uint32_t{COPY_FILE_FAIL_IF_EXISTS} : 0u);
}

// ---- File handles -------------------------------------------------------------------------

enum : uint32_t {
    GENERIC_READ = 0x80000000,
    GENERIC_WRITE = 0x40000000,
    FILE_SHARE_READ = 0x1,
    FILE_SHARE_WRITE = 0x2,
    CREATE_NEW = 1,
    CREATE_ALWAYS = 2,
    OPEN_EXISTING = 3,
    OPEN_ALWAYS = 4,
    TRUNCATE_EXISTING = 5,
    FILE_BEGIN = 0,
    FILE_CURRENT = 1,
    FILE_END = 2,
    // A hint at open: the file is read from start to end. A handle opened for reading only
    // then takes the file from the host 128 KiB at a time and hands it out in the sizes asked
    // for, so that small reads cost no system call each; any other handle ignores it.
    FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000,
};

// An open file (CreateFile). Share mode 0 makes the open exclusive: it fails with
// ERROR_SHARING_VIOLATION while any other handle is open on the file, and while it is held
// every other open and every deletion fails the same way. Other share modes are compatible
// with each other.
class File {
public:
    static Result<std::unique_ptr<File>> open(std::string_view path, uint32_t access, uint32_t share,
                                              uint32_t disposition, uint32_t flags = 0);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    Error read(void* buffer, uint32_t size, uint32_t* bytesRead);
    Error write(const void* buffer, uint32_t size, uint32_t* bytesWritten);
    Result<uint64_t> seek(int64_t distance, uint32_t method);
    Result<uint64_t> size() const;
    Error flush();

    int hostFd() const { return fd_; }  // for the platform's own use (devices)

private:
    friend class Folder;
    File(int fd, uint32_t access, uint32_t flags);
    Error readAhead(char* out, uint32_t size, uint32_t* bytesRead);

    int fd_;
    uint32_t access_;
    // FILE_FLAG_SEQUENTIAL_SCAN on a read-only handle: bytes taken from the host and not yet
    // handed out (the host's file position stands at the end of them).
    std::unique_ptr<char[]> ahead_;
    uint32_t aheadPos_ = 0, aheadEnd_ = 0;
};

// A file read line by line as fgets reads it: a line keeps its line end, and a line longer
// than the buffer comes back in pieces of bufferSize - 1 bytes. In text mode ("r") a stored
// "\r\n" reads as "\n", as the device's C library translates it; in binary mode ("rb") every
// byte stays as stored.
class TextReader {
public:
    enum Mode { Text, Binary };
    static Result<std::unique_ptr<TextReader>> open(std::string_view path, Mode mode);
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // The next line (at most bufferSize - 1 bytes), or nothing at the end of the file.
    std::optional<std::string> readLine(size_t bufferSize);

private:
    TextReader() = default;
    std::unique_ptr<File> file_;
    std::string pending_;
    size_t pos_ = 0;
    bool eof_ = false;
    Mode mode_ = Text;
};

// ---- Folders held open --------------------------------------------------------------------

// A folder held open for a walk that acts on many of its entries. Each call names an entry by a
// path relative to the folder ("a.bmp", "IMG\a.bmp") and resolves only that path, from the
// folder that was opened, with the same rules and results as the calls on whole device paths:
// names without regard to case, no link followed, ".." never above the held folder
// (ERROR_PATH_NOT_FOUND). A folder renamed, or swapped for a link, after it was opened stays the
// folder the calls act in.
class Folder {
public:
    // ERROR_PATH_NOT_FOUND when the path names no folder (a link in its place included).
    static Result<Folder> open(std::string_view devicePath);
    Result<Folder> openFolder(std::string_view relative) const;

    // Every entry, as findFiles("folder\*", detail) finds them; an empty folder gives an empty list.
    Result<std::vector<FindData>> list(FindDetail detail) const;

    Error deleteFile(std::string_view relative) const;
    Error setFileAttributes(std::string_view relative, uint32_t attributes) const;
    Result<std::unique_ptr<File>> openFile(std::string_view relative, uint32_t access, uint32_t share,
                                           uint32_t disposition, uint32_t flags = 0) const;

    // copyFileEx from an entry of this folder to an entry of `targetFolder`.
    Error copyFileTo(std::string_view source, const Folder& targetFolder, std::string_view target,
                     const CopyProgressRoutine& progress, const bool* cancel, uint32_t flags) const;

    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    ~Folder();

private:
    Folder(int fd, std::string host);
    int fd_;
    std::string host_;  // the folder's host path, for the names pins report
};

}  // namespace ce
