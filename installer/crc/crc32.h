#pragma once
// CRC-32 of files, as the package's checksum lists state it.
//
// The checksum is the common CRC-32 (reflected polynomial 0xEDB88320, initial value and final
// complement 0xFFFFFFFF; an empty input gives 0). Files are read in 4096-byte blocks and each
// block is folded sixteen bytes at a time with sixteen derived tables, in three lanes side by
// side that are joined with four more tables, which gives the same values as the byte-at-a-time
// table at many times its speed.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/core/error.h"

namespace installer {

// Continues a running CRC register (before its final complement) over more bytes.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);

// The finished CRC-32 of a buffer.
inline uint32_t Crc32(const void* data, size_t size) { return ~Crc32Update(0xFFFFFFFFu, data, size); }

// CRC-32 of the file at a device path. Returns 0 when the file was opened (*crc is then the CRC
// of the bytes read; a failing read ends the file early) or the system error code when it could
// not be opened (*crc is then 0).
ce::Error FileCrc32(std::string_view path, uint32_t* crc);

}  // namespace installer
