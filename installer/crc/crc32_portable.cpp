// The portable CRC-32: table-driven, for a processor without carry-less multiplication.
#include "installer/crc/crc32.h"

#include <array>

namespace installer {
namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

constexpr size_t kSlices = 16;
using Tables = std::array<std::array<uint32_t, 256>, kSlices>;

// tables[0] is the standard byte table; tables[k][n] is the register after n is followed by
// k zero bytes, so that sixteen bytes can be folded with sixteen independent look-ups.
constexpr Tables makeTables() {
    Tables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n) {
        for (size_t k = 1; k < kSlices; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    }
    return t;
}

constexpr Tables kTables = makeTables();

// Folding sixteen bytes waits for the register of the sixteen before, so one run of folds
// leaves most of the processor idle. Three lanes of kLane bytes are therefore folded side by
// side, the second and third from a zero register, and joined afterwards: the register after
// lanes A and B is the register after A moved on by kLane zero bytes, XOR the register of B
// alone. Moving a register on by kLane zero bytes is linear, so four more tables do it. Three
// lanes fill a 4096-byte block up to its last sixteen bytes.
constexpr size_t kLane = 1360;
static_assert(kLane % kSlices == 0);

using ShiftTables = std::array<std::array<uint32_t, 256>, 4>;

constexpr ShiftTables makeLaneShift() {
    // The image of each register bit, then every byte value of each register byte as the XOR
    // of the images of its bits.
    std::array<uint32_t, 32> bitImage{};
    for (size_t bit = 0; bit < 32; ++bit) {
        uint32_t r = 1u << bit;
        for (size_t n = 0; n < kLane; ++n) r = (r >> 8) ^ kTables[0][r & 0xFF];
        bitImage[bit] = r;
    }
    ShiftTables s{};
    for (size_t byte = 0; byte < 4; ++byte) {
        for (uint32_t v = 0; v < 256; ++v) {
            for (size_t k = 0; k < 8; ++k)
                if (v & (1u << k)) s[byte][v] ^= bitImage[8 * byte + k];
        }
    }
    return s;
}

constexpr ShiftTables kLaneShift = makeLaneShift();

uint32_t loadLittleEndian32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// The register after sixteen more bytes: it is folded into the first four; each byte then
// contributes the register it leaves after the bytes that follow it in the sixteen.
inline uint32_t foldSixteen(uint32_t crc, const unsigned char* p) {
    const uint32_t w0 = loadLittleEndian32(p) ^ crc, w1 = loadLittleEndian32(p + 4), w2 = loadLittleEndian32(p + 8),
                   w3 = loadLittleEndian32(p + 12);
    return kTables[15][w0 & 0xFF] ^ kTables[14][(w0 >> 8) & 0xFF] ^ kTables[13][(w0 >> 16) & 0xFF] ^
           kTables[12][w0 >> 24] ^ kTables[11][w1 & 0xFF] ^ kTables[10][(w1 >> 8) & 0xFF] ^
           kTables[9][(w1 >> 16) & 0xFF] ^ kTables[8][w1 >> 24] ^ kTables[7][w2 & 0xFF] ^
           kTables[6][(w2 >> 8) & 0xFF] ^ kTables[5][(w2 >> 16) & 0xFF] ^ kTables[4][w2 >> 24] ^
           kTables[3][w3 & 0xFF] ^ kTables[2][(w3 >> 8) & 0xFF] ^ kTables[1][(w3 >> 16) & 0xFF] ^
           kTables[0][w3 >> 24];
}

uint32_t shiftByLane(uint32_t r) {
    return kLaneShift[0][r & 0xFF] ^ kLaneShift[1][(r >> 8) & 0xFF] ^ kLaneShift[2][(r >> 16) & 0xFF] ^
           kLaneShift[3][r >> 24];
}

}  // namespace

uint32_t Crc32UpdatePortable(uint32_t crc, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (size >= 3 * kLane) {
        uint32_t a = crc, b = 0, c = 0;
        for (size_t at = 0; at < kLane; at += kSlices) {
            a = foldSixteen(a, p + at);
            b = foldSixteen(b, p + kLane + at);
            c = foldSixteen(c, p + 2 * kLane + at);
        }
        crc = shiftByLane(shiftByLane(a) ^ b) ^ c;
        p += 3 * kLane;
        size -= 3 * kLane;
    }
    while (size >= kSlices) {
        crc = foldSixteen(crc, p);
        p += kSlices;
        size -= kSlices;
    }
    while (size-- > 0) crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return crc;
}

}  // namespace installer
