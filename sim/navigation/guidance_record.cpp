#include "sim/navigation/guidance_record.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "platform/core/text.h"

namespace sim::nav {

namespace {

constexpr size_t kDistanceOffset = 4;
constexpr size_t kRoad1Offset = 8;
constexpr size_t kRoad2Offset = 104;
constexpr size_t kTurnOffset = 296;
constexpr size_t kSafetyOffset = 304;
constexpr size_t kLimitOffset = 305;
constexpr size_t kCameraOffset = 306;

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string roadProblem(const char* name, const std::string& road, size_t fieldUnits) {
    const std::u16string units = ce::toUtf16(road);
    if (units.find(u'\0') != std::u16string::npos) return fmt::format("{} holds a NUL character", name);
    if (units.size() > fieldUnits - 1)
        return fmt::format("{} is {} UTF-16 units long; its field holds at most {}", name, units.size(), fieldUnits - 1);
    return {};
}

void putRoad(GuidanceRecord& record, size_t offset, const std::string& road, size_t fieldUnits) {
    const std::u16string units = ce::toUtf16(road);
    for (size_t i = 0; i < units.size() && i < fieldUnits - 1; ++i) {
        record[offset + 2 * i] = static_cast<uint8_t>(units[i] & 0xFF);
        record[offset + 2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
}

}  // namespace

bool parseUnsigned(std::string_view text, uint64_t max, uint64_t* value) {
    text = trim(text);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return false;
    uint64_t v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
    if (ec != std::errc() || end != text.data() + text.size() || v > max) return false;
    *value = v;
    return true;
}

bool parseDistance(std::string_view text, uint32_t* metres) {
    text = trim(text);
    double scale = 1.0;
    if (text.size() > 2 && text.substr(text.size() - 2) == "km") {
        scale = 1000.0;
        text.remove_suffix(2);
    } else if (text.size() > 1 && text.back() == 'm') {
        text.remove_suffix(1);
    }
    text = trim(text);
    if (text.empty() || text.front() == '-' || text.front() == '+') return false;
    double v = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return false;
    const double m = std::round(v * scale);
    if (m < 0 || m > static_cast<double>(std::numeric_limits<uint32_t>::max())) return false;
    *metres = static_cast<uint32_t>(m);
    return true;
}

std::string setGuidanceField(GuidanceFields& f, std::string_view name, std::string_view value) {
    uint64_t v = 0;
    auto number = [&](uint64_t max, const char* what) -> std::string {
        if (parseUnsigned(value, max, &v)) return {};
        return fmt::format("{} must be a number from 0 to {} ({}), not \"{}\"", name, max, what, value);
    };
    if (name == "distance") {
        if (!parseDistance(value, &f.distance))
            return fmt::format("distance must be metres (850, 850m) or kilometres (1.2km) below 4295 km, not \"{}\"", value);
        return {};
    }
    if (name == "road1" || name == "road2") {
        std::string& road = name == "road1" ? f.road1 : f.road2;
        const std::string previous = road;
        road = std::string(value);
        std::string problem = roadProblem(name == "road1" ? "road1" : "road2", road, name == "road1" ? kRoad1Units : kRoad2Units);
        if (!problem.empty()) road = previous;
        return problem;
    }
    if (name == "turn") {
        std::string e = number(255, "the turn code");
        if (e.empty()) f.turn = static_cast<uint8_t>(v);
        return e;
    }
    if (name == "safety") {
        std::string e = number(255, "the safety code");
        if (e.empty()) f.safety = static_cast<uint8_t>(v);
        return e;
    }
    if (name == "limit") {
        std::string e = number(255, "km/h");
        if (e.empty()) f.limit = static_cast<uint8_t>(v);
        return e;
    }
    if (name == "camera") {
        uint32_t metres = 0;
        if (!parseDistance(value, &metres) || metres > 0xFFFF)
            return fmt::format("camera must be metres from 0 to 65535, not \"{}\"", value);
        f.camera = static_cast<uint16_t>(metres);
        return {};
    }
    return fmt::format("unknown field \"{}\" (distance, turn, road1, road2, safety, limit, camera)", name);
}

std::string checkGuidanceFields(const GuidanceFields& f) {
    std::string problem = roadProblem("road1", f.road1, kRoad1Units);
    if (problem.empty()) problem = roadProblem("road2", f.road2, kRoad2Units);
    return problem;
}

GuidanceRecord encodeGuidanceRecord(const GuidanceFields& f) {
    GuidanceRecord r{};
    for (int i = 0; i < 4; ++i) r[kDistanceOffset + i] = static_cast<uint8_t>(f.distance >> (8 * i));
    putRoad(r, kRoad1Offset, f.road1, kRoad1Units);
    putRoad(r, kRoad2Offset, f.road2, kRoad2Units);
    r[kTurnOffset] = f.turn;
    r[kSafetyOffset] = f.safety;
    r[kLimitOffset] = f.limit;
    r[kCameraOffset] = static_cast<uint8_t>(f.camera & 0xFF);
    r[kCameraOffset + 1] = static_cast<uint8_t>(f.camera >> 8);
    return r;
}

}  // namespace sim::nav
