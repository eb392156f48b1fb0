// The registry of the head unit: registry.reg, cached per process and kept in step with the disk.
//
// Reads use the cached document and re-read the file whenever it changed on disk (another
// process saved it, or a person edited it). A write takes an exclusive lock on run/registry.lock,
// reads the file afresh, applies the change and saves the whole document to a temporary file
// that is renamed over registry.reg: two processes writing at once never lose each other's
// values, and a reader never sees half a file. A file that cannot be read whole is refused for
// reads and writes alike: taken for an empty registry it would make the updater believe
// nothing is installed.

#include "platform/core/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>

#include "platform/core/debug.h"
#include "platform/core/host_io.h"
#include "platform/core/profile.h"
#include "platform/core/reg_file.h"

namespace ce {

namespace {

namespace fs = std::filesystem;

// Identity of a file version: any save (a rename) or edit changes at least one field.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

FileStamp stampOf(const fs::path& file) {
    struct stat st {};
    FileStamp stamp;
    if (::stat(file.c_str(), &st) != 0) return stamp;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return stamp;
}

Result<std::string> readWholeFile(const fs::path& file) {
    // O_NONBLOCK: a FIFO in the file's place is refused at once instead of waited on.
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : errorFromErrno(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(ERROR_CANT_ACCESS_FILE);
    }
    std::string bytes;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0) {
            if (errno == EINTR) continue;
            int err = errno;
            ::close(fd);
            return fail(errorFromErrno(err));
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

// Replaces file with bytes: a temporary file beside it, flushed, then renamed over it.
Error saveAtomically(const fs::path& file, const std::string& bytes) {
    return host::replaceFile(file, bytes, 0644, /*flush=*/true);
}

// Holds an exclusive lock on run/registry.lock for its lifetime (between processes; threads
// of one process are ordered by the store's mutex).
class FileLock {
public:
    explicit FileLock(const fs::path& runDir) {
        std::error_code ec;
        fs::create_directories(runDir, ec);
        auto lock = host::openLockFile(runDir / "registry.lock");
        if (!lock) return;
        fd_ = *lock;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// The process's copy of registry.reg.
class Store {
public:
    static Store& instance() {
        static Store* store = new Store;  // never destroyed: other threads may read during exit
        return *store;
    }

    // Runs read with the current document. ERROR_FILE_NOT_FOUND when there is no head unit.
    Error read(const std::function<Error(const reg::Document&)>& read) {
        std::lock_guard lock(mutex_);
        Error error = refresh();
        if (error != ERROR_SUCCESS) return error;
        if (!problem_.empty()) return ERROR_BADDB;
        return read(document_);
    }

    // Why the current file cannot be read whole; empty when it can.
    std::string problem() {
        std::lock_guard lock(mutex_);
        if (Error error = refresh(); error != ERROR_SUCCESS) return fmt::format("the registry cannot be read (error {})", error);
        return problem_;
    }

    // Runs change on the document as it is on disk now and saves the result when change
    // succeeded and reports that it changed something.
    Error write(const std::function<Error(reg::Document&, bool& changed)>& change) {
        std::lock_guard lock(mutex_);
        auto profile = Profile::current();
        if (!profile) return ERROR_PATH_NOT_FOUND;
        FileLock fileLock((*profile)->runDir());
        if (!fileLock.held()) return ERROR_ACCESS_DENIED;
        file_.clear();  // read afresh under the lock, whatever the stamp says
        Error error = refresh();
        if (error != ERROR_SUCCESS) return error;
        if (!problem_.empty()) return ERROR_BADDB;
        bool changed = false;
        error = change(document_, changed);
        if (error != ERROR_SUCCESS || !changed) return error;
        error = saveAtomically(file_, reg::format(document_));
        stamp_ = stampOf(file_);
        if (error != ERROR_SUCCESS) file_.clear();  // the cache no longer matches the disk
        return error;
    }

private:
    // Brings the cached document in step with registry.reg of the current head unit.
    Error refresh() {
        auto profile = Profile::current();
        if (!profile) return ERROR_FILE_NOT_FOUND;
        fs::path file = (*profile)->root() / "registry.reg";
        FileStamp stamp = stampOf(file);
        if (file == file_ && stamp == stamp_) return ERROR_SUCCESS;

        reg::ParseResult parsed;
        std::string problem;
        std::error_code ec;
        if (!stamp.exists) {
            problem = file.string() + " is missing";
        } else if (fs::is_directory(file, ec)) {
            problem = file.string() + " is a folder, not a file";
        } else if (auto bytes = readWholeFile(file); !bytes) {
            problem = fmt::format("{} cannot be read (error {})", file.string(), bytes.error());
        } else {
            parsed = reg::parse(*bytes);
            if (!parsed.errors.empty()) problem = file.string() + ": " + parsed.errors.front();
        }
        for (const auto& e : parsed.errors) debugPrint("registry.reg: %s\n", e);
        document_ = std::move(parsed.document);
        problem_ = std::move(problem);
        file_ = file;
        stamp_ = stamp;
        return ERROR_SUCCESS;
    }

    std::mutex mutex_;
    fs::path file_;  // empty: nothing cached
    FileStamp stamp_;
    reg::Document document_;
    std::string problem_;  // why the file cannot be read whole; empty when it can
};

std::string fullPath(Hive hive, std::string_view subKey) {
    std::string path = reg::hiveName(hive);
    if (!subKey.empty()) path += "\\" + std::string(subKey);
    return reg::canonicalKeyPath(path);
}

// Names that a line of registry.reg cannot carry.
bool storable(std::string_view name) { return name.find_first_of("\r\n") == std::string_view::npos; }

}  // namespace

std::string registryProblem() { return Store::instance().problem(); }

Result<RegKey> RegKey::open(Hive hive, std::string_view subKey) {
    std::string path = fullPath(hive, subKey);
    Error error = Store::instance().read([&](const reg::Document& doc) {
        bool isRoot = path.find('\\') == std::string::npos;
        return isRoot || doc.find(path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (error != ERROR_SUCCESS) return fail(error);
    RegKey key;
    key.hive_ = hive;
    key.path_ = path;
    return key;
}

Result<RegKey> RegKey::create(Hive hive, std::string_view subKey) {
    if (!storable(subKey) || subKey.find(']') != std::string_view::npos) return fail(ERROR_INVALID_PARAMETER);
    std::string path = fullPath(hive, subKey);
    Error error = Store::instance().write([&](reg::Document& doc, bool& changed) {
        if (!doc.find(path)) {
            doc.create(path);
            changed = true;
        }
        return ERROR_SUCCESS;
    });
    if (error != ERROR_SUCCESS) return fail(error);
    RegKey key;
    key.hive_ = hive;
    key.path_ = path;
    return key;
}

Error RegKey::queryValue(std::string_view name, uint32_t* type, void* data, uint32_t* size) const {
    if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
    return Store::instance().read([&](const reg::Document& doc) {
        const reg::Key* key = doc.find(path_);
        const reg::NamedValue* value = key ? key->find(name) : nullptr;
        if (value == nullptr) return ERROR_FILE_NOT_FOUND;
        const auto& bytes = value->value.data;
        if (type) *type = value->value.type;
        if (size == nullptr) return ERROR_SUCCESS;
        uint32_t room = *size;
        *size = static_cast<uint32_t>(bytes.size());
        if (data == nullptr) return ERROR_SUCCESS;
        if (room < bytes.size()) return ERROR_MORE_DATA;
        if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
        return ERROR_SUCCESS;
    });
}

Result<uint32_t> RegKey::readDword(std::string_view name) const {
    uint32_t type = 0;
    uint8_t bytes[4];
    uint32_t size = sizeof bytes;
    Error error = queryValue(name, &type, bytes, &size);
    if (error == ERROR_MORE_DATA || (error == ERROR_SUCCESS && (type != REG_DWORD || size != 4))) return fail(ERROR_INVALID_DATA);
    if (error != ERROR_SUCCESS) return fail(error);
    return uint32_t(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24);
}

Result<std::u16string> RegKey::readString(std::string_view name) const {
    uint32_t type = 0;
    uint32_t size = 0;
    Error error = queryValue(name, &type, nullptr, &size);
    if (error != ERROR_SUCCESS) return fail(error);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return fail(ERROR_INVALID_DATA);
    std::vector<uint8_t> bytes(size);
    error = queryValue(name, &type, bytes.data(), &size);
    if (error != ERROR_SUCCESS) return fail(error);  // changed in between: report, do not guess
    if (type != REG_SZ && type != REG_EXPAND_SZ) return fail(ERROR_INVALID_DATA);
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    while (!text.empty() && text.back() == u'\0') text.pop_back();  // the terminator(s)
    return text;
}

Error RegKey::setValue(std::string_view name, uint32_t type, const void* data, uint32_t size) {
    if ((data == nullptr && size > 0) || !storable(name)) return ERROR_INVALID_PARAMETER;
    RegValue value;
    value.type = type;
    if (size > 0) value.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
    return Store::instance().write([&](reg::Document& doc, bool& changed) {
        reg::Key* key = doc.find(path_);
        if (key == nullptr) {
            if (path_.find('\\') != std::string::npos) return ERROR_FILE_NOT_FOUND;  // deleted meanwhile
            key = &doc.create(path_);
        }
        key->set(name, std::move(value));
        changed = true;
        return ERROR_SUCCESS;
    });
}

Error RegKey::setDword(std::string_view name, uint32_t value) {
    uint8_t bytes[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return setValue(name, REG_DWORD, bytes, sizeof bytes);
}

Error RegKey::setString(std::string_view name, std::u16string_view value) {
    std::vector<uint8_t> bytes;
    for (char16_t c : value) bytes.insert(bytes.end(), {uint8_t(c), uint8_t(c >> 8)});
    bytes.insert(bytes.end(), {0, 0});
    return setValue(name, REG_SZ, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

}  // namespace ce
