#pragma once
// CRC-32 of files, as the package's checksum lists state it.
//
// The checksum is the common CRC-32 (reflected polynomial 0xEDB88320, initial value and final
// complement 0xFFFFFFFF; an empty input gives 0). Files are read in 4096-byte blocks. Two
// implementations give the same values: one folds the input with carry-less multiplication
// (ISA-L's crc32_gzip_refl, at memory speed), the other is table-driven and runs on any
// processor. The first is used when the processor has the instructions it needs, decided once
// at run time.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/core/error.h"
#include "platform/core/files.h"

namespace installer {

enum class Crc32Method { Portable, CarryLess };

// The method Crc32Update uses on this processor.
Crc32Method ActiveCrc32Method();

// True when this processor can run the method.
bool Crc32MethodAvailable(Crc32Method method);

// Continues a running CRC register (before its final complement) over more bytes.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);

// The same with a chosen method; the method must be available.
uint32_t Crc32UpdateWith(Crc32Method method, uint32_t crc, const void* data, size_t size);

// The table-driven method alone.
uint32_t Crc32UpdatePortable(uint32_t crc, const void* data, size_t size);

// The finished CRC-32 of a buffer.
inline uint32_t Crc32(const void* data, size_t size) { return ~Crc32Update(0xFFFFFFFFu, data, size); }

// CRC-32 of the file at a device path. Returns 0 when the file was opened (*crc is then the CRC
// of the bytes read; a failing read ends the file early) or the system error code when it could
// not be opened (*crc is then 0).
ce::Error FileCrc32(std::string_view path, uint32_t* crc);

// The same for a file named relative to a folder held open (a checksum list's line below the
// destination), which spares resolving the folder again for every file.
ce::Error FileCrc32(const ce::Folder& folder, std::string_view relative, uint32_t* crc);

}  // namespace installer
