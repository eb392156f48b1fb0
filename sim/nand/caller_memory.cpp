#include "sim/nand/caller_memory.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>

namespace sim {

namespace {

constexpr uint64_t kPage = 4096;

bool copyIn(uint64_t address, void* to, size_t size) {
    if (address == 0 || address + size < address) return false;
    iovec local{to, size};
    iovec remote{reinterpret_cast<void*>(address), size};
    return ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0) == ssize_t(size);
}

}  // namespace

std::optional<std::u16string> readCallerString(uint64_t address, size_t maxChars) {
    if (address == 0) return std::nullopt;
    std::u16string text;
    // Page by page, so that a string ending just before an unmapped page is still read.
    while (text.size() < maxChars) {
        size_t chunk = std::min<uint64_t>(std::max<uint64_t>((kPage - address % kPage) / 2, 1), maxChars - text.size());
        std::u16string piece(chunk, u'\0');
        if (!copyIn(address, piece.data(), chunk * 2)) return std::nullopt;
        size_t end = piece.find(u'\0');
        if (end != std::u16string::npos) return text + piece.substr(0, end);
        text += piece;
        address += chunk * 2;
    }
    return std::nullopt;
}

}  // namespace sim
