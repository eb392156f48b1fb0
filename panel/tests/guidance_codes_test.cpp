// The guidance record's fields, and the texts and icons its codes stand for.

#include <gtest/gtest.h>

#include "panel/guidance/guidance_codes.h"
#include "panel/guidance/guidance_record.h"

namespace panel {
namespace {

TEST(GuidanceRecord, FieldsAtTheirOffsets) {
    std::vector<uint8_t> bytes(320, 0xEE);
    bytes[4] = 0x39; bytes[5] = 0x30; bytes[6] = 0; bytes[7] = 0;  // 12345 m
    const std::u16string road1 = u"강남대로", road2 = u"Teheran-ro";
    for (size_t i = 0; i <= road1.size(); ++i) {
        const char16_t unit = i < road1.size() ? road1[i] : 0;
        bytes[8 + 2 * i] = unit & 0xFF;
        bytes[9 + 2 * i] = unit >> 8;
    }
    for (size_t i = 0; i <= road2.size(); ++i) {
        const char16_t unit = i < road2.size() ? road2[i] : 0;
        bytes[104 + 2 * i] = unit & 0xFF;
        bytes[105 + 2 * i] = unit >> 8;
    }
    bytes[296] = 103;
    bytes[304] = 160;
    bytes[305] = 80;
    bytes[306] = 0x5E; bytes[307] = 0x01;  // 350 m
    const auto info = ParseGuidanceRecord(bytes);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->distance, 12345u);
    EXPECT_EQ(info->roadName1, road1);
    EXPECT_EQ(info->roadName2, road2);
    EXPECT_EQ(info->turnCode, 103);
    EXPECT_EQ(info->safetyCode, 160);
    EXPECT_EQ(info->speedLimit, 80);
    EXPECT_EQ(info->cameraDistance, 350);
    const auto again = EncodeGuidanceRecord(*info);
    EXPECT_EQ(ParseGuidanceRecord(again)->roadName2, road2);
}

TEST(GuidanceRecord, ShortRecordsAreRefusedAndNamesStopAtTheirField) {
    std::vector<uint8_t> bytes(308, 0x41);  // no NUL anywhere: every unit reads 'AA'
    EXPECT_FALSE(ParseGuidanceRecord(std::span(bytes).first(307)));
    EXPECT_FALSE(ParseGuidanceRecord({}));
    const auto info = ParseGuidanceRecord(bytes);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->roadName1, std::u16string(48, u'\u4141'));
    EXPECT_EQ(info->roadName2, std::u16string(96, u'\u4141'));
}

TEST(GuidanceTexts, DistancesInMetresAndKilometresInSinglePrecision) {
    EXPECT_EQ(DistanceText(0), u" ");
    EXPECT_EQ(DistanceText(1), u"1 m");
    EXPECT_EQ(DistanceText(1000), u"1000 m");
    EXPECT_EQ(DistanceText(1001), u"1.0 km");
    EXPECT_EQ(DistanceText(12345), u"12.3 km");
    EXPECT_EQ(DistanceText(1050), u"1.1 km");  // 1.05f is slightly above 1.05
    EXPECT_EQ(DistanceText(4294967295u), u"4294967.5 km");
    EXPECT_EQ(SpeedText(7), u"007");
    EXPECT_EQ(SpeedText(123), u"123");
    EXPECT_EQ(CameraDistanceText(350), u"(350m)");
    EXPECT_EQ(SafetyText(SafetyShow::Text1, 80), u"110 Km");
    EXPECT_EQ(SafetyText(SafetyShow::Text2, 80), u"80 Km");
    EXPECT_EQ(SafetyText(SafetyShow::Text3, 80), u"버스전용");
}

TEST(GuidanceCodes, TurnIconsByClass) {
    for (int code = 0; code <= 22; ++code) {
        const auto icon = TurnIconFor(code);
        ASSERT_TRUE(icon) << code;
        EXPECT_EQ(icon->imageId, code + 2);
        EXPECT_TRUE(icon->keyed);
    }
    for (int code = 23; code <= 50; ++code) {
        const auto icon = TurnIconFor(code);
        ASSERT_TRUE(icon) << code;
        EXPECT_EQ(icon->imageId, code + 2);
        EXPECT_FALSE(icon->keyed);
    }
    EXPECT_EQ(TurnIconFor(103)->imageId, 53);
    EXPECT_TRUE(TurnIconFor(103)->keyed);
    EXPECT_EQ(TurnIconFor(104)->imageId, 54);
    for (int code : {51, 60, 102, 105, 107, 255}) EXPECT_FALSE(TurnIconFor(code)) << code;
}

TEST(GuidanceCodes, SafetyCodesByClass) {
    const int icons[] = {111, 112, 113, 117, 118, 124, 129};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(SafetyShowFor(icons[i]), SafetyShow::Icon);
        EXPECT_EQ(SafetyIconFor(icons[i]), 56 + i);
    }
    EXPECT_EQ(SafetyShowFor(143), SafetyShow::Text1);
    for (int code : {151, 164, 166, 179, 201, 214, 232, 245}) EXPECT_EQ(SafetyShowFor(code), SafetyShow::Text2) << code;
    EXPECT_EQ(SafetyShowFor(246), SafetyShow::Text3);
    for (int code : {0, 110, 114, 150, 165, 180, 200, 215, 231, 247, 255}) {
        EXPECT_EQ(SafetyShowFor(code), SafetyShow::Clear) << code;
        EXPECT_EQ(SafetyIconFor(code), -1);
    }
}

}  // namespace
}  // namespace panel
