#pragma once
// The composed image of a top-level window in memory that other processes can read
// (internal): a file in /dev/shm (or the head unit's run/ folder where /dev/shm is missing)
// holding a small header and the pixels, mapped by the owner for writing and by a capture
// for reading. A private desktop keeps the image in ordinary memory instead.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/core/error.h"
#include "platform/gfx/surface.h"

namespace ce {

class SharedPixels {
public:
    // Creates (or replaces) the image at `path` with the given size; an empty path keeps it
    // in private memory.
    static std::unique_ptr<SharedPixels> create(const std::string& path, int width, int height);
    ~SharedPixels();
    SharedPixels(const SharedPixels&) = delete;
    SharedPixels& operator=(const SharedPixels&) = delete;

    // A view over the pixels (valid until resize or destruction).
    Surface& surface() { return view_; }
    bool resize(int width, int height);
    const std::string& path() const { return path_; }

    // Reads the image another process published (a copy, checked against the file's size).
    static Result<Surface> read(const std::string& path);

    // Removes the images in folder whose names start with prefix and whose owner is gone. An
    // owner holds a shared lock on its image for as long as it lives, so an image nobody holds
    // was left by a process that ended without destroying its windows (killed, or exited
    // without clean-up). Images younger than minAgeSeconds are left alone: their owner may be
    // between creating the file and locking it. Returns how many were removed.
    static int removeOrphans(const std::string& folder, const std::string& prefix, int minAgeSeconds);

private:
    SharedPixels() = default;
    bool map(int width, int height);
    void unmap();

    std::string path_;
    int fd_ = -1;
    void* base_ = nullptr;
    size_t size_ = 0;
    std::vector<uint32_t> privateMemory_;
    Surface view_;
};

}  // namespace ce
