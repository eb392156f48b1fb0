// Fonts of the panel and fitting texts into cells: "..." truncation and marquee rotation.

#include <gtest/gtest.h>

#include "panel/images/panel_font.h"
#include "panel/images/text_fit.h"
#include "panel/tests/test_support.h"
#include "platform/gfx/draw_text.h"

namespace panel {
namespace {

class TextFit : public ::testing::Test {
protected:
    void SetUp() override {
        testing::HeadUnit();
        dc.selectObject(CreatePanelFont(30, true, {}));
    }
    int width(std::u16string_view text) const { return ce::getTextExtentPoint(dc, text).cx; }
    ce::Dc dc = ce::Dc::createCompatibleDC();
};

TEST(PanelFont, EveryFieldOfTheRequestIsFixedButHeightWeightAndFace) {
    const ce::LogFont bold = PanelLogFont(40, true, {});
    EXPECT_EQ(bold.height, 40);
    EXPECT_EQ(bold.weight, 700);
    EXPECT_EQ(bold.faceName, "나눔고딕");
    EXPECT_EQ(bold.charSet, 1);
    EXPECT_EQ(bold.outPrecision, 0);
    EXPECT_EQ(bold.clipPrecision, 2);
    EXPECT_EQ(bold.quality, 5);
    EXPECT_FALSE(bold.italic || bold.underline || bold.strikeOut);
    const ce::LogFont plain = PanelLogFont(25, false, u"DejaVu Sans");
    EXPECT_EQ(plain.weight, 400);
    EXPECT_EQ(plain.faceName, "DejaVu Sans");
    EXPECT_EQ(PanelLogFont(10, false, std::u16string(40, u'x')).faceName, std::string(31, 'x'));
    EXPECT_EQ(CreatePanelFont(30, true, {})->familyName(), "NanumGothic");
}

TEST_F(TextFit, ATextExactlyAsWideStaysAndOnePixelLessCutsItWithDots) {
    const std::u16string text = u"Gangnam-daero 123";
    const int full = width(text);
    EXPECT_EQ(TruncatedText(dc, text, full), text);
    EXPECT_EQ(TruncatedText(dc, text, full + 40), text);
    const std::u16string cut = TruncatedText(dc, text, full - 1);
    ASSERT_GE(cut.size(), 3u);
    EXPECT_EQ(cut.substr(cut.size() - 3), u"...");
    const std::u16string kept = cut.substr(0, cut.size() - 3);
    EXPECT_EQ(text.substr(0, kept.size()), kept);
    EXPECT_LT(width(cut), full - 1);
    // The longest such start: one character more would not be narrower than the cell.
    EXPECT_GE(width(text.substr(0, kept.size() + 1) + u"..."), full - 1);
}

TEST_F(TextFit, NothingFitsButTheDots) {
    EXPECT_EQ(TruncatedText(dc, u"강남대로", 3), u"...");
    EXPECT_EQ(TruncatedText(dc, u"", 0), u"");
}

TEST_F(TextFit, CharactersOfTwoUnitsAreNeverSplit) {
    const std::u16string text = u"AB\U0001F697\U0001F697\U0001F697CD";
    for (int w = 1; w < width(text); w += 3) {
        const std::u16string cut = TruncatedText(dc, text, w);
        for (size_t i = 0; i < cut.size(); ++i)
            if (cut[i] >= 0xD800 && cut[i] <= 0xDBFF) {
                ASSERT_TRUE(i + 1 < cut.size() && cut[i + 1] >= 0xDC00) << w;
            }
    }
}

TEST_F(TextFit, LongTextsRotateFromThePosition) {
    EXPECT_EQ(RotatedText(dc, u"ABCDEFG", 10, 3), u"DEFG ABCDEFG");
    EXPECT_EQ(RotatedText(dc, u"ABCDEFG", 10, 0), u"ABCDEFG ABCDEFG");
    EXPECT_EQ(RotatedText(dc, u"ABCDEFG", 500, 3), u"ABCDEFG");  // fits: drawn as it is
    EXPECT_EQ(RotatedText(dc, u"ABC", 5, 99), u" ABC");          // a stale position cannot overrun
    EXPECT_EQ(NextMarqueePosition(0, 7), 1);
    EXPECT_EQ(NextMarqueePosition(6, 7), 0);
    EXPECT_EQ(NextMarqueePosition(0, 0), 0);
}

TEST_F(TextFit, DrawnTextStaysInsideItsRectangle) {
    ce::HBITMAP canvas = ce::createCompatibleBitmap(dc, 300, 60);
    canvas->fill(0xFFFFFF);
    dc.selectObject(canvas);
    dc.setTextColor(0x000000);
    dc.setBkMode(ce::TRANSPARENT);
    const ce::Rect cell{20, 10, 120, 50};
    DrawTruncated(dc, u"A rather long road name that cannot fit", cell, ce::DT_VCENTER);
    int inside = 0, outside = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 300; ++x) {
            if (canvas->pixel(x, y) == 0xFFFFFF) continue;
            (cell.contains({x, y}) ? inside : outside)++;
        }
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
}

}  // namespace
}  // namespace panel
