// Package checks: the installer lists, the Bluetooth module test and the OPTION folder search.

#include <gtest/gtest.h>

#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "sim/headunit/headunit.h"
#include "updater/package/option_search.h"
#include "updater/package/package_checks.h"
#include "updater/tests/test_files.h"

namespace updater {
namespace {

using testing::WriteHostFile;

const char* const kVrdbFiles[] = {
    "BackupDB/CNC/ORV.adaptDict", "BackupDB/CNC/ORV.dict",       "BackupDB/CNC/ORV.hmm",
    "BackupDB/CNC/ORV.hmmF",      "BackupDB/CNC/ORV.hmmPhone",   "BackupDB/CNC/ORV.hmmPhoneF",
    "BackupDB/CNC/ORV.recog",     "BackupDB/CNC/ORV.wlist",      "BackupDB/CNC/set.dat",
    "VRDB_Update.exe",            "VRDB_Update.ini",             "BackupDB.crc",
    "BackupDB/VSR/hmm.hm",        "BackupDB/VSR/hmm.hmF",        "BackupDB/VSR/Opensesame.erd",
    "BackupDB/VSR/Opensesame.grd", "BackupDB/VSR/Opensesame.plf", "BackupDB/VSR/SIL.hm",
};

TEST(PackageChecks, InstallerPackagesNeedEveryListedEntry) {
    sim::TempHeadUnit unit;
    EXPECT_FALSE(VrdbPackagePresent());
    EXPECT_FALSE(PanelPackagePresent());

    const auto vrdb = unit.sdcard() / "UpdateXan" / "VRDB_Update";
    for (const char* file : kVrdbFiles) {
        if (std::string_view(file) != "BackupDB/VSR/SIL.hm") WriteHostFile(vrdb / file, "db");
    }
    EXPECT_TRUE(VrdbPackagePresent());
    EXPECT_FALSE(VrdbFilesComplete());
    WriteHostFile(vrdb / "BackupDB" / "VSR" / "sil.HM", "db");  // names match without regard to case
    EXPECT_TRUE(VrdbFilesComplete());

    const auto panel = unit.sdcard() / "UpdateXan" / "ZEK_Update" / "ZEK";
    WriteHostFile(panel / "Kelo_ZEK.exe", "exe");
    EXPECT_TRUE(PanelPackagePresent());
    EXPECT_FALSE(PanelFilesComplete());
    std::filesystem::create_directories(panel / "Kelo_ZEK_IMG");  // a folder counts
    EXPECT_TRUE(PanelFilesComplete());
}

TEST(PackageChecks, BluetoothModuleFromSrcInfoBit2) {
    for (auto [srcInfo, expected] : {std::pair{0x4u, true}, std::pair{0x3u, false}, std::pair{0xFFu, true}}) {
        sim::HeadUnitOptions options;
        options.srcInfo = srcInfo;
        sim::TempHeadUnit unit(options);
        ce::DebugCapture capture;
        EXPECT_EQ(BluetoothModulePresent(), expected) << srcInfo;
        EXPECT_TRUE(capture.contains(expected ? "### BT Exist\r\n" : "### BT Not Exist\r\n"));
    }
    sim::HeadUnitOptions options;
    options.srcInfo.reset();
    sim::TempHeadUnit unit(options);
    EXPECT_FALSE(BluetoothModulePresent());
}

TEST(OptionSearch, FirstFileWhoseUpperCasedNameEndsInTheSuffix) {
    sim::TempHeadUnit unit;
    const char* folder = "\\SDMMC Card\\UpdateXan\\OPTION";
    EXPECT_EQ(FindOptionFile(folder, "LGO"), "");  // no folder at all

    const auto option = unit.sdcard() / "UpdateXan" / "OPTION";
    std::filesystem::create_directories(option / "A.LGO");  // a folder is never the logo
    WriteHostFile(option / "c_logo.lgo", "2");
    WriteHostFile(option / "B_LOGO.LGO", "1");
    WriteHostFile(option / "pim.orv", "o");
    EXPECT_EQ(FindOptionFile(folder, "LGO"), "\\SDMMC Card\\UpdateXan\\OPTION\\B_LOGO.LGO");
    EXPECT_EQ(FindOptionFile(folder, "ORV"), "\\SDMMC Card\\UpdateXan\\OPTION\\pim.orv");

    EXPECT_TRUE(NameEndsWithSuffix("x.Orv", "ORV"));
    EXPECT_FALSE(NameEndsWithSuffix("RV", "ORV"));
    EXPECT_FALSE(NameEndsWithSuffix("", "ORV"));
    EXPECT_FALSE(NameEndsWithSuffix("x.ORV.bak", "ORV"));
}

}  // namespace
}  // namespace updater
