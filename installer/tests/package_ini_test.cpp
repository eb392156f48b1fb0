#include "installer/ini/package_ini.h"

#include <gtest/gtest.h>

#include <string>

#include "installer/tests/test_support.h"
#include "platform/core/debug.h"
#include "sim/headunit/headunit.h"

namespace installer {
namespace {

using testing::writeHostFile;

class PackageIni : public ::testing::Test {
protected:
    bool read(std::string_view text) {
        writeHostFile(unit_.sdcard() / "ZEK_Update.ini", text);
        return ReadPackageIni(entries_, "\\SDMMC Card\\ZEK_Update.ini");
    }

    sim::TempHeadUnit unit_;
    InstallEntries entries_;
};

TEST_F(PackageIni, FillsThePairsThatHaveBothKeys) {
    ASSERT_TRUE(read(
        "[SOURCE]\n"
        "SRC1 = ZEK\n"
        "src3 = Fonts\n"
        "src4 = OnlySource\n"
        "[Destination]\n"
        "dst1 = \\NAND Flash\\ZEK\n"
        "dst2 = \\NAND Flash\\NoSource\n"
        "dst3 = \"\\NAND Flash\\Fonts ; kept\"\n"));
    EXPECT_EQ(entries_[0].used, 1);
    EXPECT_EQ(entries_[0].source, "ZEK");
    EXPECT_EQ(entries_[0].destination, "\\NAND Flash\\ZEK");
    EXPECT_EQ(entries_[1].used, 0);  // pair 2 has no source
    EXPECT_EQ(entries_[2].used, 1);  // pair 3 still counts
    EXPECT_EQ(entries_[2].destination, "\\NAND Flash\\Fonts ; kept");
    EXPECT_EQ(entries_[3].used, 0);
    EXPECT_EQ(entries_[4].used, 0);
}

TEST_F(PackageIni, KeysOutsideTheirSectionDoNotCount) {
    ASSERT_TRUE(read(
        "src1 = ZEK\n"
        "dst1 = \\NAND Flash\\ZEK\n"
        "[ Source]\n"
        "src2 = ZEK\n"
        "[Destination]\n"
        "dst2 = \\NAND Flash\\ZEK\n"));
    for (const auto& entry : entries_) EXPECT_EQ(entry.used, 0);
}

TEST_F(PackageIni, ValuesThatWouldAimTheDeleteWalkAmissLeaveTheirPairUnused) {
    const std::string longValue(255, 'x');
    ce::DebugCapture debug;
    ASSERT_TRUE(read(
        "[Source]\n"
        "src1 = ZEK\n"
        "src2 = \" \"\n"
        "src3 = ZEK\n"
        "src4 = " + longValue + "\n"
        "src5 = ZEK\n"
        "[Destination]\n"
        "dst1 = \" \"\n"
        "dst2 = \\NAND Flash\\ZEK\n"
        "dst3 = \\NAND Flash\\" + std::string(254 - 12, 'y') + "\n"
        "dst4 = \\NAND Flash\\ZEK\n"
        "dst5 = \\\\\n"));
    EXPECT_EQ(entries_[0].used, 0);  // empty destination: the root of the device
    EXPECT_EQ(entries_[1].used, 0);  // empty source: the whole installer folder
    EXPECT_EQ(entries_[2].used, 1);  // exactly 254 bytes is still whole
    EXPECT_EQ(entries_[2].destination.size(), 254u);
    EXPECT_EQ(entries_[3].used, 0);  // 255 bytes would have been cut
    EXPECT_EQ(entries_[4].used, 0);  // backslashes alone name the root
    EXPECT_TRUE(debug.contains("Pair 1 not used: a value is empty"));
    EXPECT_TRUE(debug.contains("Pair 4 not used: a value is longer than 254 bytes"));
}

// Files that give no pair at all: the installation has nothing to do, and says so by failing.
TEST_F(PackageIni, AFileWithoutUsablePairsUsesNone) {
    const std::string utf16 = std::string("\xFF\xFE[\0S\0o\0u\0r\0c\0e\0]\0\n\0s\0r\0c\0001\0=\0Z\0\n\0", 26);
    for (const std::string& text : {std::string(), std::string("\x01\x02garbage\xFF\n==\n[[["), utf16,
                                     std::string("[Source]\nsrc1 = ZEK\n[Target]\ndst1 = \\NAND Flash\\ZEK\n")}) {
        ASSERT_TRUE(read(text));
        EXPECT_EQ(UsedPairCount(entries_), 0) << text;
    }
}

TEST_F(PackageIni, ASourceLosesItsTrailingBackslashes) {
    ASSERT_TRUE(read("[Source]\nsrc1 = ZEK\\\nsrc2 = A\\B\\\\\nsrc3 = \\\\\n[Destination]\ndst1 = \\NAND Flash\\X\ndst2 = \\NAND Flash\\Y\ndst3 = \\NAND Flash\\Z\n"));
    EXPECT_EQ(entries_[0].source, "ZEK");
    EXPECT_EQ(entries_[1].source, "A\\B");
    EXPECT_EQ(entries_[2].used, 0);  // backslashes alone name no folder
    EXPECT_EQ(UsedPairCount(entries_), 2);
}

// Each pair as the only one of a package file in the package folder on the card: whether it is
// used, and the debug line when it is not.
struct PairCase {
    const char* source;
    const char* destination;
    const char* unusedBecause;  // nullptr: the pair is used
};

TEST_F(PackageIni, DestinationsThatTheDeletePhaseWouldWipeLeaveTheirPairUnused) {
    const std::string package = "\\SDMMC Card\\UpdateXan\\ZEK_Update";
    std::filesystem::create_directories(unit_.sdcard() / "UpdateXan/ZEK_Update/ZEK");
    const PairCase cases[] = {
        {"ZEK", "\\NAND Flash\\ZEK", nullptr},
        {"ZEK", "\\NAND Flash\\ZEK\\..\\Fonts", nullptr},
        {"ZEK", "\\NAND Flash", "the destination is the root of a volume"},
        {"ZEK", "\\nand flash\\.\\", "the destination is the root of a volume"},
        {"ZEK", "\\SDMMC Card\\ZEK\\..", "the destination is the root of a volume"},
        {"ZEK", "\\.", "the destination is not on a volume of the head unit"},
        {"ZEK", "\\Host\\tmp", "the destination is not on a volume of the head unit"},
        {"ZEK", "\\NAND Flash\\..\\..\\Host\\tmp", "the destination is not on a volume of the head unit"},
        {"ZEK", "\\NAND Flash\\ZEK\\..\\..\\SDMMC Card\\x", "the destination is not on a volume of the head unit"},
        {"ZEK", "\\Windows\\ZEK", "the destination is not on a volume of the head unit"},
        {"ZEK", "\\SDMMC CARD\\updatexan\\zek_update\\zek", "the destination holds its source"},
        {"Panel\\ZEK", "\\SDMMC Card\\UpdateXan\\ZEK_Update\\Panel", "the destination holds its source"},
        {"ZEK", "\\SDMMC Card\\UpdateXan", "the destination holds its source"},
        {"..\\Other", "\\SDMMC Card\\UpdateXan\\ZEK_Update", "the destination holds the package folder"},
        {"..\\Other", "\\SDMMC Card\\UpdateXan\\ZEK_Update\\Fonts", "the destination lies inside the package folder"},
        {"ZEK", "\\SDMMC Card\\UpdateXan\\ZEK_Update\\zek\\IMG", "the destination lies inside its source"},
        {"..\\Other", "\\SDMMC Card\\UpdateXan\\other\\new", "the destination lies inside its source"},
        {"ZEK", "\\SDMMC Card\\UpdateXan\\ZEK_Update\\Fonts\\..\\zek\\x", "the destination lies inside its source"},
        {"..\\Other", "\\SDMMC Card\\UpdateXan\\ZEK_Updates", nullptr},
        {"ZEK", "\\SDMMC Card\\Maps", nullptr},
        {"..\\..\\..\\..\\Host\\etc", "\\NAND Flash\\ZEK", "the source is not on a volume of the head unit"},
    };
    for (const PairCase& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " -> " + c.destination);
        writeHostFile(unit_.sdcard() / "UpdateXan/ZEK_Update/ZEK_Update.ini",
                      std::string("[Source]\nsrc2=") + c.source + "\n[Destination]\ndst2=" + c.destination + "\n");
        ce::DebugCapture debug;
        ASSERT_TRUE(ReadPackageIni(entries_, package + "\\ZEK_Update.ini"));
        EXPECT_EQ(entries_[1].used, c.unusedBecause ? 0 : 1);
        if (c.unusedBecause) {
            EXPECT_TRUE(debug.contains(std::string("Pair 2 not used: ") + c.unusedBecause)) << debug.text();
        }
    }
}

TEST_F(PackageIni, EveryReadStartsFromClearedRecordsButAFailedReadKeepsThem) {
    ASSERT_TRUE(read("[Source]\nsrc2=A\n[Destination]\ndst2=\\NAND Flash\\B\n"));
    EXPECT_EQ(entries_[1].used, 1);
    ASSERT_TRUE(read("[Source]\nsrc1=A\n[Destination]\ndst1=\\NAND Flash\\B\n"));
    EXPECT_EQ(entries_[0].used, 1);
    EXPECT_EQ(entries_[1].used, 0);
    EXPECT_EQ(entries_[1].source, "");
    EXPECT_FALSE(ReadPackageIni(entries_, "\\SDMMC Card\\missing.ini"));
    EXPECT_EQ(entries_[0].used, 1);
}

}  // namespace
}  // namespace installer
