#pragma once
// Writing packages onto the SD card of a head unit without ever destroying what they replace
// and without ever writing through a symbolic link someone left on the card.
//
// StagedFolder builds the new folder beside the one it replaces (".NAME.new-PID") and swaps it
// in with one rename when it is complete; until then, and on any failure, the card holds
// exactly what it held before. CardFile writes one file of it: any entry of that name (a file
// or a link) is replaced, never opened, and runs of zero bytes stay holes, so a large sparse
// image costs neither memory nor disk. Inputs are read in chunks, never whole.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace hu {

using ChunkSink = std::function<void(const char* data, size_t size)>;

// Reads a host file in chunks. Throws std::runtime_error ("cannot read FILE: reason").
void readChunks(const std::filesystem::path& file, const ChunkSink& each);

// The size of a host file that must be a non-empty regular file; what names it in the error
// ("the MCU image --micom FILE is empty").
uint64_t inputSize(const std::filesystem::path& file, const std::string& what);

class CardFile {
public:
    // Replaces whatever stands at path (a file or a link) with a new, empty file; the folders
    // above it must exist.
    explicit CardFile(const std::filesystem::path& path);
    ~CardFile();
    CardFile(const CardFile&) = delete;
    CardFile& operator=(const CardFile&) = delete;

    void write(const char* data, size_t size);
    void write(const std::string& bytes) { write(bytes.data(), bytes.size()); }
    // Overwrites bytes already written.
    void patch(uint64_t offset, const char* data, size_t size);
    // Ends the file at its full size; throws when anything failed.
    void finish();
    uint64_t size() const { return size_; }

private:
    [[noreturn]] void fail(const char* what) const;
    std::filesystem::path path_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

// Makes base/relative as real folders: a symbolic link on the way is replaced by a folder.
void makeFolders(const std::filesystem::path& base, const std::filesystem::path& relative);

class StagedFolder {
public:
    // target: the folder to replace (it may be missing, or a link: the link itself is then
    // replaced). keepExisting: the new folder starts with the target's files (hard links, so
    // nothing is copied; every file written later replaces its entry instead of changing it).
    StagedFolder(const std::filesystem::path& target, bool keepExisting);
    ~StagedFolder();  // removes the new folder unless it was committed
    StagedFolder(const StagedFolder&) = delete;
    StagedFolder& operator=(const StagedFolder&) = delete;

    const std::filesystem::path& path() const { return staging_; }
    // Puts the new folder in the target's place and removes the old one.
    void commit();

private:
    std::filesystem::path target_;
    std::filesystem::path staging_;
    bool committed_ = false;
};

}  // namespace hu
