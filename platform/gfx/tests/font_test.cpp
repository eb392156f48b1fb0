// Font resolution, sizes and glyph coverage.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/gfx/draw_text.h"
#include "platform/gfx/font.h"
#include "platform/gfx/font_engine.h"
#include "sim/headunit/headunit.h"

namespace ce {
namespace {

std::string fileOf(const HFONT& font) { return font->fontFile().filename().string(); }

int inkPixels(const Glyph& g) {
    int n = 0;
    for (uint8_t c : g.coverage) n += c > 0;
    return n;
}

TEST(FontTest, FaceNamesResolveAsOnTheDevice) {
    EXPECT_EQ(fileOf(createFont(20, FW_NORMAL, "나눔고딕")), "NanumGothic.ttf");
    EXPECT_EQ(fileOf(createFont(20, FW_BOLD, "나눔고딕")), "NanumGothicBold.ttf");
    EXPECT_EQ(fileOf(createFont(20, FW_NORMAL, "nanumgothic")), "NanumGothic.ttf");
    EXPECT_EQ(fileOf(createFont(20, FW_NORMAL, "DejaVu Sans")), "DejaVuSans.ttf");
    for (const char* fallback : {"MS Shell Dlg", "System", "", "No Such Face"})
        EXPECT_EQ(createFont(20, FW_NORMAL, fallback)->familyName(), "NanumGothic") << fallback;
    EXPECT_EQ(createFont(20, FW_NORMAL, "나눔고딕"), createFont(20, FW_NORMAL, "나눔고딕"));  // shared
}

TEST(FontTest, PositiveHeightIsTheCellAndNegativeTheEmSize) {
    for (int h : {12, 15, 30, 41, 50}) {
        const TextMetrics& m = createFont(h, FW_BOLD)->metrics();
        EXPECT_EQ(m.height, h);
        EXPECT_EQ(m.ascent + m.descent, h);
        EXPECT_GT(m.ascent, m.descent);
    }
    const HFONT cell = createFont(40), em = createFont(-40);
    EXPECT_GT(em->metrics().height, 40);
    EXPECT_EQ(em->metrics().internalLeading, em->metrics().height - 40);
    // The same em size, whichever way asked for, gives the same glyphs.
    const HFONT sameEm = createFont(em->metrics().height);
    EXPECT_EQ(sameEm->engine().glyph(U'H').height, em->engine().glyph(U'H').height);
    EXPECT_LT(cell->engine().glyph(U'H').height, em->engine().glyph(U'H').height);
}

TEST(FontTest, HangulCyrillicAndLatinAllHaveGlyphsEvenWhereTheFaceLacksThem) {
    const HFONT font = createFont(30, FW_BOLD, "나눔고딕");
    FontEngine& engine = font->engine();
    const Glyph& missing = engine.glyph(U'\U0010FFFD');  // in no font: the missing-glyph box
    // ї and Ґ are not in NanumGothic; they come from the next font that has them.
    for (char32_t ch : {U'A', U'한', U'Ж', U'ї', U'Ґ', U'☃'}) {
        const Glyph& g = engine.glyph(ch);
        EXPECT_GT(inkPixels(g), 10) << static_cast<uint32_t>(ch);
        EXPECT_GT(g.advance, 0);
        EXPECT_NE(g.coverage, missing.coverage) << static_cast<uint32_t>(ch);
    }
    EXPECT_EQ(engine.glyph(U'\n').advance, 0);
}

TEST(FontTest, BoldIsHeavierThanRegular) {
    const HFONT regular = createFont(30, FW_NORMAL, "DejaVu Sans Mono");
    const HFONT bold = createFont(30, FW_BOLD, "DejaVu Sans Mono");
    EXPECT_NE(regular->fontFile(), bold->fontFile());
    EXPECT_GT(inkPixels(bold->engine().glyph(U'm')), inkPixels(regular->engine().glyph(U'm')));
    // A family without a bold face is emboldened: here a program's own copy of the regular
    // face only, which is preferred to the installed bold face.
    const auto copy = std::filesystem::temp_directory_path() / "gfx-font-regular-only.ttf";
    std::filesystem::copy_file(createFont(30)->fontFile(), copy, std::filesystem::copy_options::overwrite_existing);
    ASSERT_EQ(addFontFile(copy), 1);
    const HFONT synthetic = createFont(30, FW_BOLD, "NanumGothic");
    const HFONT plain = createFont(30, FW_NORMAL, "NanumGothic");
    EXPECT_EQ(synthetic->fontFile(), plain->fontFile());
    EXPECT_GT(inkPixels(synthetic->engine().glyph(U'm')), inkPixels(plain->engine().glyph(U'm')));
    EXPECT_GT(synthetic->engine().glyph(U'm').advance, plain->engine().glyph(U'm').advance);
    EXPECT_TRUE(removeFontFile(copy));
    std::filesystem::remove(copy);
}

TEST(FontTest, AddedFontFilesComeFirstUntilRemoved) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("gfx-font-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const std::string system = createFont(20, FW_NORMAL, "DejaVu Sans Mono")->fontFile().string();
    const auto own = dir / "own.ttf";
    std::filesystem::copy_file(system, own, std::filesystem::copy_options::overwrite_existing);

    EXPECT_EQ(addFontFile(own), 1);
    EXPECT_EQ(addFontFile(own), 1);  // counted twice
    const HFONT fromOwn = createFont(20, FW_NORMAL, "DejaVu Sans Mono");
    EXPECT_EQ(fromOwn->fontFile(), std::filesystem::canonical(own));
    EXPECT_TRUE(removeFontFile(own));
    EXPECT_EQ(createFont(20, FW_NORMAL, "DejaVu Sans Mono")->fontFile(), std::filesystem::canonical(own));
    EXPECT_TRUE(removeFontFile(own));
    EXPECT_EQ(createFont(20, FW_NORMAL, "DejaVu Sans Mono")->fontFile().string(), system);
    EXPECT_FALSE(removeFontFile(own));
    EXPECT_GT(getTextExtentPoint(*fromOwn, "still usable").cx, 0);  // a font made earlier keeps working

    std::ofstream(dir / "notafont.ttf") << "plain text";
    EXPECT_EQ(addFontFile(dir / "notafont.ttf"), 0);
    EXPECT_EQ(addFontFile(dir / "missing.ttf"), 0);
    std::filesystem::remove_all(dir);
}

TEST(FontTest, AddFontResourceTakesDevicePaths) {
    sim::TempHeadUnit headUnit;
    std::filesystem::create_directories(headUnit.nand() / "ZEK");
    const std::string system = createFont(20, FW_NORMAL, "DejaVu Sans Mono")->fontFile().string();
    std::filesystem::copy_file(system, headUnit.nand() / "ZEK" / "NanumGothic.ttf");
    EXPECT_EQ(addFontResource("\\NAND Flash\\ZEK\\NanumGothic.ttf"), 1);
    EXPECT_TRUE(removeFontResource("\\NAND Flash\\ZEK\\nanumgothic.TTF"));
    EXPECT_EQ(addFontResource("\\NAND Flash\\ZEK\\Missing.ttf"), 0);
    EXPECT_FALSE(removeFontResource("\\NAND Flash\\ZEK\\Missing.ttf"));
}

TEST(FontTest, AverageCharacterSizeFollowsTheFont) {
    const Size small = averageCharSize(*createFont(-12, FW_NORMAL, "System"));
    const Size large = averageCharSize(*createFont(-24, FW_NORMAL, "System"));
    EXPECT_GT(small.cx, 3);
    EXPECT_LT(small.cx, 12);
    EXPECT_NEAR(large.cx, 2 * small.cx, 2);
    EXPECT_EQ(large.cy, createFont(-24)->metrics().height);
}

}  // namespace
}  // namespace ce
