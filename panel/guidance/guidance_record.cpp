#include "panel/guidance/guidance_record.h"

namespace panel {

namespace {

constexpr size_t kDistanceOffset = 4;
constexpr size_t kRoadName1Offset = 8;
constexpr size_t kRoadName1Units = 48;
constexpr size_t kRoadName2Offset = 104;
constexpr size_t kRoadName2Units = 96;
constexpr size_t kTurnCodeOffset = 296;
constexpr size_t kSafetyCodeOffset = 304;
constexpr size_t kSpeedLimitOffset = 305;
constexpr size_t kCameraDistanceOffset = 306;

std::u16string ReadName(std::span<const uint8_t> bytes, size_t offset, size_t units) {
    std::u16string name;
    for (size_t i = 0; i < units; ++i) {
        const auto unit = static_cast<char16_t>(bytes[offset + 2 * i] | (bytes[offset + 2 * i + 1] << 8));
        if (unit == 0) break;
        name += unit;
    }
    return name;
}

void WriteName(uint8_t* out, std::u16string_view name, size_t units) {
    for (size_t i = 0; i < units && i < name.size(); ++i) {
        out[2 * i] = static_cast<uint8_t>(name[i] & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(name[i] >> 8);
    }
}

}  // namespace

std::optional<GuidanceInfo> ParseGuidanceRecord(std::span<const uint8_t> bytes) {
    if (bytes.size() < kGuidanceRecordSize) return std::nullopt;
    GuidanceInfo info;
    for (int i = 0; i < 4; ++i) info.distance |= static_cast<uint32_t>(bytes[kDistanceOffset + i]) << (8 * i);
    info.roadName1 = ReadName(bytes, kRoadName1Offset, kRoadName1Units);
    info.roadName2 = ReadName(bytes, kRoadName2Offset, kRoadName2Units);
    info.turnCode = bytes[kTurnCodeOffset];
    info.safetyCode = bytes[kSafetyCodeOffset];
    info.speedLimit = bytes[kSpeedLimitOffset];
    info.cameraDistance = static_cast<uint16_t>(bytes[kCameraDistanceOffset] | (bytes[kCameraDistanceOffset + 1] << 8));
    return info;
}

std::array<uint8_t, kGuidanceRecordSize> EncodeGuidanceRecord(const GuidanceInfo& info) {
    std::array<uint8_t, kGuidanceRecordSize> bytes{};
    for (int i = 0; i < 4; ++i) bytes[kDistanceOffset + i] = static_cast<uint8_t>(info.distance >> (8 * i));
    // Each name keeps room for its NUL, as the navigation program sends it.
    WriteName(&bytes[kRoadName1Offset], info.roadName1, kRoadName1Units - 1);
    WriteName(&bytes[kRoadName2Offset], info.roadName2, kRoadName2Units - 1);
    bytes[kTurnCodeOffset] = info.turnCode;
    bytes[kSafetyCodeOffset] = info.safetyCode;
    bytes[kSpeedLimitOffset] = info.speedLimit;
    bytes[kCameraDistanceOffset] = static_cast<uint8_t>(info.cameraDistance & 0xFF);
    bytes[kCameraDistanceOffset + 1] = static_cast<uint8_t>(info.cameraDistance >> 8);
    return bytes;
}

}  // namespace panel
