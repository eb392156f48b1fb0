#pragma once
// The checksum that guards the kernel image: CRC-32/CD-ROM-EDC (reflected, generator
// 0xD8018001, initial value 0, no final inversion; "123456789" gives 0x6EC2EDC4) over the
// first 128 KiB of the image, leaving out bytes 16 to 23. The expected value is stored as a
// little-endian word at byte offset 16 of the image; bytes 20 to 23 are not compared.
//
// An image shorter than 128 KiB is checked over the bytes it has. An image too short to hold
// the stored word (under 20 bytes) never passes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace updater {

inline constexpr size_t kKernelChecksumSpan = 128 * 1024;
inline constexpr size_t kKernelChecksumOffset = 16;

// The plain CRC over a byte run, continuing from crc (eight bytes at a time through sliced
// tables).
uint32_t CdRomEdcCrc(std::span<const uint8_t> bytes, uint32_t crc = 0);

// The CRC of an image head: its first 128 KiB (or all of it) without bytes 16 to 23.
uint32_t KernelChecksum(std::span<const uint8_t> imageHead);

// The word stored at offset 16, when the image is long enough to hold it.
std::optional<uint32_t> StoredKernelChecksum(std::span<const uint8_t> imageHead);

}  // namespace updater
