#include "installer/crc/crc32.h"

#include <isa-l/crc.h>

#include <array>

#include "platform/core/files.h"

namespace installer {
namespace {

constexpr size_t kFileBlock = 4096;

// ISA-L takes and returns the finished CRC (complemented); the running register is its
// complement.
uint32_t carryLessUpdate(uint32_t crc, const void* data, size_t size) {
    if (size == 0) return crc;
    return ~crc32_gzip_refl(~crc, static_cast<const unsigned char*>(data), size);
}

// The folding code needs carry-less multiplication and SSE4.1 (its 128-bit loads and shuffles).
bool processorHasCarryLess() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
#else
    return false;
#endif
}

using UpdateFunction = uint32_t (*)(uint32_t, const void*, size_t);

UpdateFunction chosenUpdate() {
    static const UpdateFunction chosen = processorHasCarryLess() ? carryLessUpdate : Crc32UpdatePortable;
    return chosen;
}

}  // namespace

Crc32Method ActiveCrc32Method() {
    return chosenUpdate() == carryLessUpdate ? Crc32Method::CarryLess : Crc32Method::Portable;
}

bool Crc32MethodAvailable(Crc32Method method) {
    return method == Crc32Method::Portable || processorHasCarryLess();
}

uint32_t Crc32Update(uint32_t crc, const void* data, size_t size) { return chosenUpdate()(crc, data, size); }

uint32_t Crc32UpdateWith(Crc32Method method, uint32_t crc, const void* data, size_t size) {
    return method == Crc32Method::CarryLess ? carryLessUpdate(crc, data, size) : Crc32UpdatePortable(crc, data, size);
}

namespace {

// The CRC of what an open file holds from where it stands, read in 4096-byte blocks.
uint32_t crcOfFile(ce::File& file) {
    const UpdateFunction update = chosenUpdate();
    uint32_t running = 0xFFFFFFFFu;
    alignas(64) std::array<unsigned char, kFileBlock> block;
    for (;;) {
        uint32_t bytesRead = 0;
        if (file.read(block.data(), kFileBlock, &bytesRead) != ce::ERROR_SUCCESS || bytesRead == 0) break;
        running = update(running, block.data(), bytesRead);
        if (bytesRead < kFileBlock) break;  // a read comes back short only at the end of the file
    }
    return ~running;
}

}  // namespace

ce::Error FileCrc32(std::string_view path, uint32_t* crc) {
    *crc = 0;
    auto file = ce::File::open(path, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING, ce::FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) return file.error();
    *crc = crcOfFile(**file);
    return ce::ERROR_SUCCESS;
}

ce::Error FileCrc32(const ce::Folder& folder, std::string_view relative, uint32_t* crc) {
    *crc = 0;
    auto file = folder.openFile(relative, ce::GENERIC_READ, ce::FILE_SHARE_READ, ce::OPEN_EXISTING, ce::FILE_FLAG_SEQUENTIAL_SCAN);
    if (!file) return file.error();
    *crc = crcOfFile(**file);
    return ce::ERROR_SUCCESS;
}

}  // namespace installer
