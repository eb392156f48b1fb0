#pragma once
// The composed image of a top-level window, readable by other processes (internal).
//
// The image lives in an anonymous memory file (memfd): a small header and the pixels, mapped
// by the owner for drawing. It has no name, so nothing can be planted in its place, read by
// another user or left behind: it vanishes with the last process holding it. Another process
// of the same user gets the file itself, handed over the desktop's socket by the owner (which
// checks who asks), and reads it with pread, which can never fault, even when the owner shrinks
// the image at that very moment. Where memory files are not available the image stays in
// private memory: the window works, only captures from other processes see nothing.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/core/error.h"
#include "platform/gfx/surface.h"
#include "platform/ui/wire.h"

namespace ce {

class SharedPixels {
public:
    static std::unique_ptr<SharedPixels> create(int width, int height);
    ~SharedPixels();
    SharedPixels(const SharedPixels&) = delete;
    SharedPixels& operator=(const SharedPixels&) = delete;

    // A view over the pixels (valid until resize or destruction). Owner thread only.
    Surface& surface() { return view_; }
    bool resize(int width, int height);

    // A descriptor of the memory file for a reader (invalid for an image in private memory).
    // Safe from any thread while the object lives.
    OwnedFd share() const;

    // Reads an image from its memory file: a copy, checked against the file's size, so an
    // image caught in the middle of a resize is refused (ERROR_INVALID_DATA) or read whole.
    static Result<Surface> read(int fd);

private:
    SharedPixels() = default;
    bool map(int width, int height);
    void unmap();

    int fd_ = -1;
    void* base_ = nullptr;
    size_t size_ = 0;
    std::vector<uint32_t> privateMemory_;
    Surface view_;
};

}  // namespace ce
