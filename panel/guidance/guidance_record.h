#pragma once
// GuidanceInfo: the record the navigation program sends in WM_COPYDATA, 308 bytes or more,
// little-endian, road names in UTF-16:
//   4 distance to the next manoeuvre (m)   8 road name 1 (48 units)   104 road name 2 (96 units)
//   296 turn code   304 safety code   305 speed limit (km/h)   306 distance to the safety point (m)
// A road name ends at its NUL, or at the end of its field when the sender left none.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace panel {

inline constexpr size_t kGuidanceRecordSize = 308;

struct GuidanceInfo {
    uint32_t distance = 0;
    std::u16string roadName1;
    std::u16string roadName2;
    uint8_t turnCode = 0;
    uint8_t safetyCode = 0;
    uint8_t speedLimit = 0;
    uint16_t cameraDistance = 0;
};

// Nothing for a record shorter than 308 bytes.
std::optional<GuidanceInfo> ParseGuidanceRecord(std::span<const uint8_t> bytes);

// The 308 bytes of a record (for tests, tools and the benchmark).
std::array<uint8_t, kGuidanceRecordSize> EncodeGuidanceRecord(const GuidanceInfo& info);

}  // namespace panel
