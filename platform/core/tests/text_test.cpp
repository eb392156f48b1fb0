// Text conversions: UTF-8/UTF-16 and the ANSI code pages the head unit's text files use.

#include <gtest/gtest.h>

#include "platform/core/case_fold.h"
#include "platform/core/text.h"

namespace {

TEST(Text, Utf16RoundTripsAndReplacesBadInput) {
    std::string mixed = "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";  // A é 中 😀
    std::u16string wide = ce::toUtf16(mixed);
    EXPECT_EQ(wide, (std::u16string{u'A', u'\u00E9', u'\u4E2D', 0xD83D, 0xDE00}));
    EXPECT_EQ(ce::toUtf8(wide), mixed);

    EXPECT_EQ(ce::toUtf8(std::u16string{u'x', 0xD800, u'y'}), "x\xEF\xBF\xBDy");
    EXPECT_EQ(ce::toUtf8(std::u16string{0xDC00}), "\xEF\xBF\xBD");
    EXPECT_EQ(ce::toUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

// Each maximal ill-formed subpart is one U+FFFD: a sequence cut short is one character, the
// valid text after a bad byte survives, and forms no encoder may produce (overlong, surrogate,
// past U+10FFFF) are refused byte by byte.
TEST(Text, IllFormedUtf8BecomesOneReplacementPerMaximalSubpart) {
    const std::u16string r = u"\uFFFD";
    EXPECT_EQ(ce::toUtf16("a\xFF" "b"), u"a" + r + u"b");                  // stray byte
    EXPECT_EQ(ce::toUtf16("\x80\xBF"), r + r);                            // lone continuations
    EXPECT_EQ(ce::toUtf16("\xE4\xB8"), r);                                // cut short at the end
    EXPECT_EQ(ce::toUtf16("\xE4\xB8" "A\xF0\x9F\x98" "b"), r + u"A" + r + u"b");  // cut short by text
    EXPECT_EQ(ce::toUtf16("\xC0\xAF"), r + r);                            // overlong '/'
    EXPECT_EQ(ce::toUtf16("\xE0\x80\xAF"), r + r + r);                    // overlong, three bytes
    EXPECT_EQ(ce::toUtf16("\xED\xA0\x80"), r + r + r);                    // encoded surrogate
    EXPECT_EQ(ce::toUtf16("\xF4\x90\x80\x80"), r + r + r + r);            // above U+10FFFF
    EXPECT_EQ(ce::toUtf16("\xF4\x8F\xBF\xBF"), (std::u16string{0xDBFF, 0xDFFF}));  // U+10FFFF itself
    // The code page conversion skips the same subparts: one '?' for a sequence cut short.
    EXPECT_EQ(ce::utf8ToAnsi("x\xE4\xB8y", 1252), "x?y");
}

// Names compare without regard to case; ill-formed bytes in them compare as themselves, so two
// names that differ only there stay two names.
TEST(Text, CaseFoldingKeepsIllFormedBytesDistinct) {
    EXPECT_TRUE(ce::equalNoCase("\xC3\x84rger\xFF", "\xC3\xA4RGER\xFF"));  // Ärger, ärger
    EXPECT_FALSE(ce::equalNoCase("a\xE4\xB8", "a\xE4\xB9"));
    EXPECT_FALSE(ce::equalNoCase("\xFF", "\xFE"));
    EXPECT_NE(ce::compareNoCase("x\xE4\xB8" "A", "x\xE4\xB8" "b"), 0);
    EXPECT_LT(ce::compareNoCase("x\xE4\xB8" "A", "x\xE4\xB8" "b"), 0);  // 'a' folds before 'b'
}

TEST(Text, KoreanThroughCodePage949) {
    // "안녕" and "똠", the last only in the code page's extension of the national standard.
    std::string bytes = "\xBE\xC8\xB3\xE7\x8C\x63";
    EXPECT_EQ(ce::ansiToUtf8(bytes, 949), "안녕똠");
    EXPECT_EQ(ce::ansiToUtf16(bytes, 949), u"안녕똠");
    EXPECT_EQ(ce::utf8ToAnsi("안녕똠 1.0", 949), bytes + " 1.0");
    // A lead byte without its trail byte, and a byte the code page does not use.
    EXPECT_EQ(ce::ansiToUtf16("a\xBE", 949), u"a\uFFFD");
    EXPECT_EQ(ce::ansiToUtf16("\xFF" "b", 949), u"\uFFFDb");
}

TEST(Text, CyrillicAndWesternCodePages) {
    EXPECT_EQ(ce::ansiToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2", 1251), "Привет");
    EXPECT_EQ(ce::utf8ToAnsi("Привет", 1251), "\xCF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_EQ(ce::ansiToUtf8("\xE9\x80", 1252), "é€");
    // Characters the code page cannot hold become '?', one per character.
    EXPECT_EQ(ce::utf8ToAnsi("a한b", 1251), "a?b");
    EXPECT_EQ(ce::utf8ToAnsi("x\xFFy", 1252), "x?y");
    // Long input goes through the converter's buffer in several rounds.
    std::string longRussian;
    for (int i = 0; i < 2000; ++i) longRussian += "Привет";
    EXPECT_EQ(ce::ansiToUtf8(ce::utf8ToAnsi(longRussian, 1251), 1251), longRussian);
}

TEST(Text, AsciiCaseOnlyTouchesAscii) {
    EXPECT_EQ(ce::asciiUpper("nk.bin é"), "NK.BIN é");
    EXPECT_EQ(ce::asciiLower("NK.BIN Ж"), "nk.bin Ж");
}

}  // namespace
