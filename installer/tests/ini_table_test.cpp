#include "installer/ini/ini_table.h"

#include <gtest/gtest.h>

#include <string>

namespace installer {
namespace {

TEST(IniTable, HashIsTheOneAtATimeHashOverSignedBytes) {
    EXPECT_EQ(IniHash("a"), 0xca2e9442u);
    EXPECT_EQ(IniHash("The quick brown fox jumps over the lazy dog"), 0x519e91f5u);
    EXPECT_EQ(IniHash("\xB0" "A"), 0x0078ed8au);  // a byte above 0x7F counts as negative
    EXPECT_EQ(IniHash(""), 0u);
}

TEST(IniTable, CapacityStartsAtLeastAt128) {
    EXPECT_EQ(IniTable(4).capacity, 128);
    EXPECT_EQ(IniTable(300).capacity, 300);
    EXPECT_EQ(IniTable().count, 0);
}

TEST(IniTable, InsertReplacesTheValueOfAnExistingKeyInPlace) {
    IniTable table;
    IniInsert(table, "source", std::nullopt);
    IniInsert(table, "source:src1", "ZEK");
    IniInsert(table, "source:src1", "Other");
    EXPECT_EQ(table.count, 2);
    EXPECT_STREQ(IniLookup(&table, "Source:SRC1", nullptr), "Other");
    EXPECT_EQ(IniLookup(&table, "SOURCE", "default"), nullptr);  // a section entry has no value
    EXPECT_STREQ(IniLookup(&table, "source:src2", "default"), "default");
    EXPECT_STREQ(IniLookup(nullptr, "source:src1", "default"), "default");
    EXPECT_STREQ(IniLookup(&table, nullptr, "default"), "default");
}

TEST(IniTable, GrowsByDoublingAndKeepsEveryEarlierEntry) {
    IniTable table;
    for (int i = 0; i < 300; ++i) IniInsert(table, "s:key" + std::to_string(i), "value" + std::to_string(i));
    EXPECT_EQ(table.count, 300);
    EXPECT_EQ(table.capacity, 512);
    for (int i = 0; i < 300; ++i) {
        const std::string key = "S:KEY" + std::to_string(i);
        ASSERT_STREQ(IniLookup(&table, key.c_str(), nullptr), ("value" + std::to_string(i)).c_str()) << key;
    }
    // Entries stay in the slot they were given: the first key is still in slot 0.
    EXPECT_EQ(table.keys[0], std::optional<std::string>("s:key0"));
}

TEST(IniTable, StringHelpersFoldAndTrimTheCLibraryWay) {
    EXPECT_EQ(FoldCase("Source:SRC1 \xC4"), "source:src1 \xC4");  // bytes above 0x7F stay
    EXPECT_EQ(FoldCase(std::string(2000, 'A')).size(), kFoldBufferBytes);
    EXPECT_EQ(TrimLeft(" \t\v\f\r\nx y "), "x y ");
    EXPECT_EQ(TrimRight("x y \t\r\n\v\f"), "x y");
    EXPECT_EQ(TrimRight(" \n"), "");
}

}  // namespace
}  // namespace installer
