// Text measurement and DrawText layout, checked on what lands in the pixels.
#include <gtest/gtest.h>

#include "platform/gfx/draw_text.h"
#include "platform/gfx/tests/ink.h"

namespace ce {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

struct Canvas {
    Surface surface;
    Dc dc;
    explicit Canvas(int w = 300, int h = 120, int fontHeight = 30) : surface(w, h, kWhite), dc(surface) {
        dc.selectObject(createFont(fontHeight, FW_BOLD, "나눔고딕"));
        dc.setBkMode(TRANSPARENT);
    }
    Rect ink() const { return gfxtest::inkBounds(surface, kWhite); }
};

TEST(TextTest, FitCountsCodeUnitsOfTheStringGiven) {
    Canvas c;
    const std::string text = "가A";  // 3 bytes + 1 byte
    const TextFit all = getTextExtentExPoint(c.dc, text, 10000);
    ASSERT_EQ(all.dx.size(), 4u);
    EXPECT_EQ(all.dx[0], all.dx[2]);  // the bytes of one character share its position
    EXPECT_EQ(all.dx[3], all.size.cx);
    EXPECT_EQ(all.size.cx, getTextExtentPoint(c.dc, text).cx);
    EXPECT_EQ(all.fit, 4);
    EXPECT_EQ(getTextExtentExPoint(c.dc, text, all.dx[2]).fit, 3);
    EXPECT_EQ(getTextExtentExPoint(c.dc, text, all.dx[2] - 1).fit, 0);

    const std::u16string wide = u"A\U0001F600B";  // a surrogate pair in the middle
    const TextFit w = getTextExtentExPoint(c.dc, wide, 10000);
    ASSERT_EQ(w.dx.size(), 4u);
    EXPECT_EQ(w.dx[1], w.dx[2]);
    EXPECT_EQ(getTextExtentExPoint(c.dc, wide, w.dx[2] - 1).fit, 1);  // never half a pair
    EXPECT_EQ(getTextExtentPoint(c.dc, u"Привет").cx, getTextExtentPoint(c.dc, "Привет").cx);
}

// Ill-formed UTF-8 is measured as the text conversions read it: one replacement character per
// maximal ill-formed subpart, each owning the bytes it stands for.
TEST(TextTest, IllFormedUtf8MeasuresAsItsReplacementCharacters) {
    Canvas c;
    EXPECT_EQ(getTextExtentPoint(c.dc, "\xED\xA0\x80").cx, getTextExtentPoint(c.dc, u"\uFFFD\uFFFD\uFFFD").cx);
    EXPECT_EQ(getTextExtentPoint(c.dc, "\xE4\xB8" "A").cx, getTextExtentPoint(c.dc, u"\uFFFDA").cx);
    const TextFit fit = getTextExtentExPoint(c.dc, std::string("\xE4\xB8" "A"), 10000);
    ASSERT_EQ(fit.dx.size(), 3u);
    EXPECT_EQ(fit.dx[0], fit.dx[1]);  // both bytes belong to the one replacement character
    EXPECT_LT(fit.dx[1], fit.dx[2]);
}

TEST(TextTest, HorizontalAndVerticalAlignment) {
    const Rect box{20, 10, 280, 110};
    Canvas left, centre, right, middle;
    drawText(left.dc, "Abc", box, DT_LEFT);
    drawText(centre.dc, "Abc", box, DT_CENTER);
    drawText(right.dc, "Abc", box, DT_RIGHT);
    drawText(middle.dc, "Abc", box, DT_VCENTER);  // centred without DT_SINGLELINE too
    const int width = getTextExtentPoint(left.dc, "Abc").cx;
    EXPECT_NEAR(left.ink().left, box.left, 3);
    EXPECT_NEAR(right.ink().right, box.right, 4);
    EXPECT_NEAR(centre.ink().left - box.left, box.right - centre.ink().right, 3);
    EXPECT_NEAR(centre.ink().left, box.left + (box.width() - width) / 2, 3);
    const int lineTop = box.top + (box.height() - 30) / 2;
    EXPECT_GE(middle.ink().top, lineTop);
    EXPECT_LE(middle.ink().bottom, lineTop + 30);
    EXPECT_LT(left.ink().bottom, lineTop);  // the unaligned text sits at the top
}

TEST(TextTest, LineBreaksAndWordWrapping) {
    Canvas c;
    Rect r{0, 0, 300, 0};
    EXPECT_EQ(drawText(c.dc, "one\r\ntwo\nthree", r, DT_CALCRECT), 90);
    EXPECT_EQ(r.bottom, 90);
    r = Rect{0, 0, 300, 0};
    EXPECT_EQ(drawText(c.dc, "one\r\ntwo", r, DT_CALCRECT | DT_SINGLELINE), 30);

    const std::string sentence = "업그레이드가 정상적으로 완료 되었습니다.";
    const int narrow = getTextExtentPoint(c.dc, "업그레이드가 정상적").cx;
    r = Rect{0, 0, narrow, 0};
    const int height = drawText(c.dc, sentence, r, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(height % 30, 0);
    EXPECT_GE(height, 60);
    EXPECT_LE(r.right, narrow);  // every line fits
    drawText(c.dc, sentence, Rect{0, 0, narrow, 120}, DT_WORDBREAK);
    EXPECT_LE(c.ink().right, narrow);

    // A word wider than the rectangle is broken between characters, not cut off.
    Canvas w;
    r = Rect{0, 0, 40, 0};
    EXPECT_GE(drawText(w.dc, "WWWWWWWW", r, DT_CALCRECT | DT_WORDBREAK), 90);
    EXPECT_LE(r.right, 40);
}

TEST(TextTest, EndEllipsisKeepsTheLongestStartThatFits) {
    Canvas c, expected;
    const std::string text = "Невский проспект, Санкт-Петербург";
    const Rect box{0, 0, 200, 40};
    drawText(c.dc, text, box, DT_SINGLELINE | DT_END_ELLIPSIS);
    // The same picture as drawing the fitted start plus "..." directly.
    const int dots = getTextExtentPoint(c.dc, "...").cx;
    const TextFit fit = getTextExtentExPoint(c.dc, text, box.width() - dots);
    const std::string shortened = text.substr(0, fit.fit) + "...";
    drawText(expected.dc, shortened, box, DT_SINGLELINE);
    EXPECT_TRUE(c.surface == expected.surface) << shortened;
    EXPECT_LE(c.ink().right, box.right);

    Canvas fits;
    const int exact = getTextExtentPoint(fits.dc, "Short").cx;
    Rect r{0, 0, exact, 40};
    drawText(fits.dc, "Short", r, DT_SINGLELINE | DT_END_ELLIPSIS | DT_CALCRECT);
    EXPECT_EQ(r.right, exact);  // exactly as wide as the rectangle: unchanged
}

TEST(TextTest, OpaqueBackgroundFillsTheLineBoxAndTextIsClippedToTheRectangle) {
    Canvas opaque;
    opaque.dc.setBkMode(OPAQUE);
    opaque.dc.setBkColor(RGB(0, 0, 255));
    opaque.dc.setTextColor(RGB(255, 255, 0));
    drawText(opaque.dc, "Hi", Rect{10, 10, 200, 100}, DT_LEFT);
    const int width = getTextExtentPoint(opaque.dc, "Hi").cx;
    const Rect box = opaque.ink();
    EXPECT_TRUE(box.left == 10 && box.top == 10 && box.right == 10 + width && box.bottom == 40)
        << box.left << "," << box.top << "," << box.right << "," << box.bottom;
    EXPECT_GT(gfxtest::countPixels(opaque.surface, 0xFFFF00), 20);  // full coverage is the exact colour

    Canvas clipped;
    drawText(clipped.dc, "WWWWWWWWWW", Rect{10, 10, 60, 25}, DT_LEFT);
    EXPECT_GE(clipped.ink().left, 10);
    EXPECT_LE(clipped.ink().right, 60);
    EXPECT_LE(clipped.ink().bottom, 25);
    Canvas unclipped;
    drawText(unclipped.dc, "WWWWWWWWWW", Rect{10, 10, 60, 25}, DT_LEFT | DT_NOCLIP);
    EXPECT_GT(unclipped.ink().right, 60);
}

}  // namespace
}  // namespace ce
