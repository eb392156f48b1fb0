#include "installer/ini/ini_reader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "installer/tests/test_support.h"
#include "sim/headunit/headunit.h"

namespace installer {
namespace {

using testing::writeHostFile;
using namespace std::string_view_literals;

class IniReader : public ::testing::Test {
protected:
    // Loads text written as a file on the card.
    std::unique_ptr<IniTable> load(std::string_view text) {
        writeHostFile(unit_.sdcard() / "test.ini", text);
        return IniLoad("\\SDMMC Card\\test.ini");
    }
    static std::string lookup(const IniTable& table, const char* name) {
        const char* value = IniLookup(&table, name, "<missing>");
        return value ? value : "<null>";
    }

    sim::TempHeadUnit unit_;
};

TEST_F(IniReader, KeyLineFormsAndTheirComments) {
    const auto table = load(
        "[Source]\r\n"
        "dq=\"x;y#z\" ; comment\n"
        "sq = 'p#q;r'\n"
        "plain = a value ; comment\n"
        "hash=bare#comment\n"
        "open = \"no closing quote\n"
        "spaced   =     padded value   \t\n"
        "MixedName = MixedValue\n"
        "nul = before\0after\n"
        "inner = a=b\n"sv);
    ASSERT_TRUE(table);
    EXPECT_EQ(lookup(*table, "source:dq"), "x;y#z");
    EXPECT_EQ(lookup(*table, "source:sq"), "p#q;r");
    EXPECT_EQ(lookup(*table, "source:plain"), "a value");
    EXPECT_EQ(lookup(*table, "source:hash"), "bare");
    EXPECT_EQ(lookup(*table, "source:open"), "no closing quote");
    EXPECT_EQ(lookup(*table, "source:spaced"), "padded value");
    EXPECT_EQ(lookup(*table, "SOURCE:MIXEDNAME"), "MixedValue");  // names fold, values keep case
    EXPECT_EQ(lookup(*table, "source:nul"), "before");           // a zero byte ends the line
    EXPECT_EQ(lookup(*table, "source:inner"), "a=b");
}

TEST_F(IniReader, EmptyQuotedValues) {
    const auto table = load(
        "[s]\n"
        "semicolon = \"\";c\n"
        "hash = \"\"#c\n"
        "blank = \" \"\n"
        "newline = \"\"\n"
        "single = ''");  // end of file right after the quotes
    ASSERT_TRUE(table);
    EXPECT_EQ(lookup(*table, "s:semicolon"), "");
    EXPECT_EQ(lookup(*table, "s:hash"), "");
    EXPECT_EQ(lookup(*table, "s:blank"), "");
    EXPECT_EQ(lookup(*table, "s:newline"), "\"\"");  // the line break was part of the capture
    EXPECT_EQ(lookup(*table, "s:single"), "");
}

TEST_F(IniReader, LinesThatAreNotKeyLinesAreSkipped) {
    const auto table = load(
        "   ; indented = comment\n"
        "\t# hash = comment\n"
        "no equals sign\n"
        "= no name\n"
        "novalue =\n"
        "onlycomment = ; c\n"
        "[]\n"
        "\n");
    ASSERT_TRUE(table);
    EXPECT_EQ(table->count, 0);
}

TEST_F(IniReader, SectionsKeysBeforeThemAndDuplicates) {
    const auto table = load(
        "top = before any section\n"
        "[ Source]\n"
        "src1 = blank in header\n"
        "[DESTINATION]\n"
        "dst1 = first\n"
        "DST1 = second\n"
        "[Source\n"
        "src1 = open header\n");
    ASSERT_TRUE(table);
    EXPECT_EQ(lookup(*table, ":top"), "before any section");
    EXPECT_EQ(lookup(*table, "source:top"), "<missing>");
    EXPECT_EQ(lookup(*table, " source:src1"), "blank in header");
    EXPECT_EQ(lookup(*table, "destination:dst1"), "second");
    EXPECT_EQ(lookup(*table, "destination"), "<null>");  // the header's own entry
    // Without a closing bracket the section name runs to the end of the line, break included.
    EXPECT_EQ(lookup(*table, "source:src1"), "<missing>");
    EXPECT_EQ(lookup(*table, "source\n:src1"), "open header");
}

TEST_F(IniReader, LongLinesComeBackInPiecesOf1023Bytes) {
    std::string text = "[s]\nlong=" + std::string(1023 - 5, 'x') + "next=tail\n";
    const auto table = load(text);
    ASSERT_TRUE(table);
    EXPECT_EQ(lookup(*table, "s:long"), std::string(1023 - 5, 'x'));
    EXPECT_EQ(lookup(*table, "s:next"), "tail");
}

TEST_F(IniReader, MoreThan128EntriesGrowTheTable) {
    std::string text = "[s]\n";
    for (int i = 0; i < 200; ++i) text += "k" + std::to_string(i) + " = v" + std::to_string(i) + "\n";
    const auto table = load(text);
    ASSERT_TRUE(table);
    EXPECT_EQ(table->count, 201);
    EXPECT_EQ(table->capacity, 256);
    EXPECT_EQ(lookup(*table, "s:k0"), "v0");
    EXPECT_EQ(lookup(*table, "s:k199"), "v199");
}

TEST_F(IniReader, AFileThatCannotBeOpenedGivesNoTable) {
    EXPECT_EQ(IniLoad("\\SDMMC Card\\missing.ini"), nullptr);
}

}  // namespace
}  // namespace installer
