#pragma once
// One guidance record as the navigation program sends it to the panel in WM_COPYDATA: 308
// bytes, little-endian, strings NUL-terminated UTF-16 within their fields.
//
//   offset 4    distance to the next manoeuvre, metres (32 bits)
//   offset 8    road name 1, 96 bytes (47 characters and the NUL)
//   offset 104  road name 2, 192 bytes (95 characters and the NUL)
//   offset 296  turn code (8 bits)
//   offset 304  safety code, 305 speed limit km/h, 306 distance to the safety point (16 bits)
// Every other byte is zero.
//
// Both players of the navigation side (the simulator and `hu nav`) build records here, and
// set fields from text through setGuidanceField(), so a value is checked the same way
// wherever it comes from.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace sim::nav {

inline constexpr size_t kRecordSize = 308;
inline constexpr size_t kRoad1Units = 48;  // field size in UTF-16 units, NUL included
inline constexpr size_t kRoad2Units = 96;

using GuidanceRecord = std::array<uint8_t, kRecordSize>;

struct GuidanceFields {
    uint32_t distance = 0;  // metres
    std::string road1;      // UTF-8
    std::string road2;
    uint8_t turn = 0;
    uint8_t safety = 0;
    uint8_t limit = 0;      // km/h
    uint16_t camera = 0;    // metres to the safety point
    bool operator==(const GuidanceFields&) const = default;
};

// Sets one field from its text form and returns "" or one line saying why the value is refused.
// Names: distance (metres; "850", "850m", "1.2km"), turn (0..255), road1, road2 (any script,
// at most 47 and 95 UTF-16 units), safety (0..255), limit (0..255), camera (0..65535 metres).
std::string setGuidanceField(GuidanceFields& fields, std::string_view name, std::string_view value);

// "" when every field fits its place in the record, else why not (a road name too long).
std::string checkGuidanceFields(const GuidanceFields& fields);

// The record's bytes; road names that do not fit are cut at their field (check first).
GuidanceRecord encodeGuidanceRecord(const GuidanceFields& fields);

// Reads a number: decimal or 0x hexadecimal, the whole text, within 0..max.
bool parseUnsigned(std::string_view text, uint64_t max, uint64_t* value);

// A distance in metres: "850", "850m", "1.2km", "0.5 km" (rounded to the nearest metre).
bool parseDistance(std::string_view text, uint32_t* metres);

}  // namespace sim::nav
