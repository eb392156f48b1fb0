// The version decision against a head unit's registry and a package on its SD card.

#include <gtest/gtest.h>

#include "platform/core/debug.h"
#include "sim/headunit/headunit.h"
#include "updater/tests/test_files.h"
#include "updater/versions/version_decision.h"
#include "updater/versions/version_file.h"

namespace updater {
namespace {

using testing::WriteHostFile;

sim::HeadUnitOptions Installed(const char* os, const char* mcu, const char* bt) {
    sim::HeadUnitOptions options;
    options.osVersion = os;
    options.micomVersion = mcu;
    options.bluetoothVersion = bt;
    return options;
}

void WritePackage(const sim::TempHeadUnit& unit, std::string_view os, std::string_view mcu, std::string_view bt,
                  bool withImages = true) {
    const auto root = unit.sdcard() / "UpdateXan";
    WriteHostFile(root / "OSVer.bin", os);
    WriteHostFile(root / "MicomVer.bin", mcu);
    WriteHostFile(root / "BTVer.bin", bt);
    if (withImages) {
        for (const char* image : {"tcBoot.rom", "nk.rom", "MICOM.BIN", "BT.bin"}) WriteHostFile(root / image, "x");
    }
}

uint32_t Decide(VersionSet& versions, uint32_t* failures = nullptr) {
    uint32_t f = ReadVersions(versions);
    if (failures) *failures = f;
    return CompareVersions(versions);
}

TEST(VersionDecision, DifferentVersionsUpdateOsAndMcuButBluetoothOnlyWhenGreater) {
    {
        sim::TempHeadUnit unit(Installed("1.0.10", "1.0.10", "1.0.10"));
        WritePackage(unit, "1.0.2", "1.0.2", "1.0.2");
        VersionSet versions;
        ce::DebugCapture capture;
        EXPECT_EQ(Decide(versions), 0x7u);  // "1.0.2" > "1.0.10" code unit by code unit
        EXPECT_TRUE(capture.contains("### UPDATE_XAN:0x0007 \n"));
        EXPECT_TRUE(capture.contains("::OS:: 1.0.2 \n"));
        EXPECT_TRUE(capture.contains("::BLUETOOTH:: 1.0.10 \n"));
    }
    {
        sim::TempHeadUnit unit(Installed("2.1", "2.1", "2.1"));
        WritePackage(unit, "2.0", "2.0", "2.0");
        VersionSet versions;
        EXPECT_EQ(Decide(versions), 0x3u);
    }
    {
        sim::TempHeadUnit unit(Installed("2.0", "2.0", "2.0"));
        WritePackage(unit, "2.0", "2.0", "2.0.1");  // a longer string with the same start is greater
        VersionSet versions;
        EXPECT_EQ(Decide(versions), 0x4u);
    }
}

TEST(VersionDecision, LineEndStaysPartOfTheVersion) {
    sim::TempHeadUnit unit(Installed("1.0", "1.0", "1.0"));
    WritePackage(unit, "1.0\r\nsecond line", "1.0", "1.0\n");
    VersionSet versions;
    EXPECT_EQ(Decide(versions), 0x5u);  // OS differs; "1.0\n" > "1.0" for Bluetooth
    EXPECT_EQ(versions.os.package, u"1.0\r\n");
    EXPECT_EQ(versions.mcu.package, u"1.0");
}

TEST(VersionDecision, MissingImagesKeepTheirComponentOut) {
    sim::TempHeadUnit unit(Installed("1", "1", "1"));
    WritePackage(unit, "2", "2", "2", false);
    WriteHostFile(unit.sdcard() / "UpdateXan" / "nk.rom", "x");  // kernel without bootloader
    VersionSet versions;
    ce::DebugCapture capture;
    EXPECT_EQ(Decide(versions), 0u);
    EXPECT_TRUE(capture.contains("Error Can't Find bootloader Bin File!!!\n"));
    EXPECT_FALSE(capture.contains("Error Can't Find kernel Bin File!!!\n"));
    EXPECT_TRUE(capture.contains("Error Can't Find Micom Bin File!!\n"));
    EXPECT_TRUE(capture.contains("Error Can't Find Bluetooth Bin File!!\n"));
    EXPECT_TRUE(versions.os.installed.empty());
    EXPECT_EQ(versions.os.package, u"2");
}

TEST(VersionDecision, UnreadableInstalledVersionsSetTheirFailureBits) {
    {
        sim::HeadUnitOptions options;
        options.osVersion.reset();
        options.micomVersion.reset();
        options.bluetoothVersion.reset();  // the whole VERSION key is missing
        sim::TempHeadUnit unit(options);
        WritePackage(unit, "2", "2", "2");
        VersionSet versions;
        uint32_t failures = 0;
        EXPECT_EQ(Decide(versions, &failures), 0u);
        EXPECT_EQ(failures, 0x7u);
    }
    {
        sim::HeadUnitOptions options = Installed("1", "1", "1");
        options.micomVersion.reset();
        options.bluetoothVersion = std::string(200, '9');  // 402 bytes with its terminator
        sim::TempHeadUnit unit(options);
        WritePackage(unit, "2", "2", "2");
        VersionSet versions;
        uint32_t failures = 0;
        EXPECT_EQ(Decide(versions, &failures), 0x1u);
        EXPECT_EQ(failures, 0x6u);
        EXPECT_TRUE(versions.bluetooth.installed.empty());
    }
}

TEST(VersionFile, FirstLineInTheAnsiCodePageAtMost259Bytes) {
    EXPECT_EQ(VersionFromLine("\xBF\xB9", 949), u"\uC608");       // a Hangul syllable in 949
    EXPECT_EQ(VersionFromLine("\xC2\xE5\xF0", 1251), u"Вер");
    EXPECT_EQ(VersionFromLine(std::string_view("1.0\0junk", 8), 949), u"1.0");
    EXPECT_EQ(VersionFromLine(std::string(400, '7'), 949).size(), 259u);

    sim::TempHeadUnit unit;
    WriteHostFile(unit.sdcard() / "UpdateXan" / "OSVer.bin", std::string(300, 'a') + "\nnext");
    EXPECT_EQ(ReadVersionFile("\\SDMMC Card\\UpdateXan\\OSVer.bin"), std::u16string(259, u'a'));
    EXPECT_EQ(ReadVersionFile("\\SDMMC Card\\UpdateXan\\MicomVer.bin"), u"");
}

}  // namespace
}  // namespace updater
