// The guidance record as the panel reads it: every field at its offset, names in UTF-16 with
// their NUL inside the field, and values refused before they could be cut or wrapped.

#include <gtest/gtest.h>

#include "sim/navigation/guidance_record.h"

namespace sim::nav {
namespace {

uint32_t U32(const GuidanceRecord& r, size_t at) {
    return r[at] | (r[at + 1] << 8) | (r[at + 2] << 16) | (static_cast<uint32_t>(r[at + 3]) << 24);
}
std::u16string Utf16At(const GuidanceRecord& r, size_t at, size_t units) {
    std::u16string s;
    for (size_t i = 0; i < units; ++i) {
        const char16_t c = static_cast<char16_t>(r[at + 2 * i] | (r[at + 2 * i + 1] << 8));
        if (!c) break;
        s += c;
    }
    return s;
}

TEST(GuidanceRecord, PutsEveryFieldAtItsOffset) {
    GuidanceFields f;
    ASSERT_EQ(setGuidanceField(f, "distance", "1.2km"), "");
    ASSERT_EQ(setGuidanceField(f, "road1", "테헤란로"), "");
    ASSERT_EQ(setGuidanceField(f, "road2", "Gangnam-daero 𝄞"), "");
    ASSERT_EQ(setGuidanceField(f, "turn", "0x67"), "");
    ASSERT_EQ(setGuidanceField(f, "safety", "160"), "");
    ASSERT_EQ(setGuidanceField(f, "limit", "80"), "");
    ASSERT_EQ(setGuidanceField(f, "camera", "65535"), "");
    const GuidanceRecord r = encodeGuidanceRecord(f);
    ASSERT_EQ(r.size(), 308u);
    EXPECT_EQ(U32(r, 0), 0u);
    EXPECT_EQ(U32(r, 4), 1200u);
    EXPECT_EQ(Utf16At(r, 8, 48), u"테헤란로");
    EXPECT_EQ(r[8 + 2 * 4], 0);  // the NUL right after the name
    EXPECT_EQ(Utf16At(r, 104, 96), u"Gangnam-daero \U0001D11E");
    EXPECT_EQ(r[296], 103);
    for (size_t i = 297; i < 304; ++i) EXPECT_EQ(r[i], 0) << i;
    EXPECT_EQ(r[304], 160);
    EXPECT_EQ(r[305], 80);
    EXPECT_EQ(r[306] | (r[307] << 8), 65535);
}

TEST(GuidanceRecord, RoadNamesMustLeaveRoomForTheirNul) {
    GuidanceFields f;
    EXPECT_EQ(setGuidanceField(f, "road1", std::string(47, 'a')), "");
    EXPECT_NE(setGuidanceField(f, "road1", std::string(48, 'b')), "");
    EXPECT_EQ(f.road1, std::string(47, 'a'));  // a refused value changes nothing
    EXPECT_EQ(setGuidanceField(f, "road2", std::string(95, 'c')), "");
    EXPECT_NE(setGuidanceField(f, "road2", std::string(96, 'c')), "");
    // A character outside the basic plane takes two units of the field.
    std::string clefs;
    for (int i = 0; i < 24; ++i) clefs += "𝄞";
    EXPECT_NE(setGuidanceField(f, "road1", clefs), "");
    EXPECT_NE(setGuidanceField(f, "road1", std::string("a\0b", 3)), "");
    f.road2 = std::string(120, 'x');
    EXPECT_NE(checkGuidanceFields(f), "");
}

TEST(GuidanceRecord, RefusesValuesOutsideTheirRange) {
    GuidanceFields f;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"turn", "256"}, {"turn", "-1"}, {"turn", "12x"}, {"turn", ""}, {"safety", "300"}, {"limit", "1e3"},
             {"camera", "65536"}, {"camera", "70km"}, {"distance", "-5"}, {"distance", "5000000km"}, {"distance", "km"},
             {"speed", "1"}})
        EXPECT_NE(setGuidanceField(f, name, value), "") << name << " " << value;
    EXPECT_EQ(f, GuidanceFields{});
    EXPECT_EQ(setGuidanceField(f, "distance", "1000 m"), "");
    EXPECT_EQ(f.distance, 1000u);
    EXPECT_EQ(setGuidanceField(f, "distance", "4294967295"), "");
    EXPECT_EQ(f.distance, 4294967295u);
    EXPECT_EQ(setGuidanceField(f, "distance", "0.0005km"), "");
    EXPECT_EQ(f.distance, 1u);  // rounded to the nearest metre
}

}  // namespace
}  // namespace sim::nav
