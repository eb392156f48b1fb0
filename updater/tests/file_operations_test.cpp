// Folder clearing with its shared retry budget, the SFLASH copy and the option file copy.

#include <gtest/gtest.h>

#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "sim/headunit/headunit.h"
#include "updater/files/folder_clearing.h"
#include "updater/files/option_copy.h"
#include "updater/files/sflash_copy.h"
#include "updater/tests/recording_output.h"
#include "updater/tests/test_files.h"

namespace updater {
namespace {

using testing::CountWrites;
using testing::RecordingOutput;
using testing::WriteHostFile;

TEST(FolderClearing, LockedAndReadOnlyFilesShareFiveRetries) {
    sim::TempHeadUnit unit;
    const auto sflash = unit.nand() / "SFLASH";
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) WriteHostFile(sflash / name, name);
    WriteHostFile(sflash / "hidden.bmp", "h");
    WriteHostFile(sflash / "sub" / "inner.bmp", "i");
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\SFLASH\\hidden.bmp", ce::FILE_ATTRIBUTE_HIDDEN), ce::ERROR_SUCCESS);
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\SFLASH\\c.bmp", ce::FILE_ATTRIBUTE_READONLY), ce::ERROR_SUCCESS);
    auto lock = ce::File::open("\\NAND Flash\\SFLASH\\b.bmp", ce::GENERIC_READ, 0, ce::OPEN_EXISTING);
    ASSERT_TRUE(lock);

    ce::DebugCapture capture;
    ClearFolder("\\NAND Flash\\SFLASH\\");
    const auto writes = capture.writes();

    EXPECT_EQ(CountWrites(writes, "@ DELETE : \\NAND Flash\\SFLASH\\a.bmp - Success \r\n"), 1);
    // b.bmp: one attempt plus all five retries, a retry line after each, then its skip line.
    EXPECT_EQ(CountWrites(writes, "@ DELETE : \\NAND Flash\\SFLASH\\b.bmp - ### Fail : 32 ### -> Retry!!  \r\n"), 6);
    EXPECT_EQ(CountWrites(writes, "Delete Fail! - file(DELETE:\\NAND Flash\\SFLASH\\b.bmp:32) - skip"), 1);
    // c.bmp: the budget is spent, so one attempt, one retry line, one skip line.
    EXPECT_EQ(CountWrites(writes, "@ DELETE : \\NAND Flash\\SFLASH\\c.bmp - ### Fail : 5 ### -> Retry!!  \r\n"), 1);
    EXPECT_EQ(CountWrites(writes, "Delete Fail! - file(DELETE:\\NAND Flash\\SFLASH\\c.bmp:5) - skip"), 1);
    EXPECT_EQ(CountWrites(writes, "d.bmp - Success"), 1);
    EXPECT_EQ(CountWrites(writes, "hidden.bmp"), 0);

    EXPECT_FALSE(std::filesystem::exists(sflash / "a.bmp"));
    EXPECT_TRUE(std::filesystem::exists(sflash / "b.bmp"));
    EXPECT_TRUE(std::filesystem::exists(sflash / "c.bmp"));
    EXPECT_FALSE(std::filesystem::exists(sflash / "d.bmp"));
    EXPECT_TRUE(std::filesystem::exists(sflash / "hidden.bmp"));
    EXPECT_TRUE(std::filesystem::exists(sflash / "sub" / "inner.bmp"));

    ClearFolder("\\NAND Flash\\NoSuchFolder\\");  // nothing to list: nothing happens
}

TEST(SflashCopy, CopiesBitmapsAndReportsAnyFailedCopy) {
    sim::TempHeadUnit unit;
    const auto source = unit.sdcard() / "UpdateXan" / "SFLASH";
    WriteHostFile(source / "A.BMP", "new a");
    WriteHostFile(source / "B.BMP", "new b");
    WriteHostFile(source / "notes.txt", "not a bitmap");
    WriteHostFile(unit.nand() / "SFLASH" / "old.bmp", "old");

    RecordingOutput output;
    EXPECT_EQ(CopySflashFiles(output, Language::English, false), SflashOutcome::Copied);
    EXPECT_EQ(output.statuses, (std::vector<std::string>{"Write... [SFLASH]", "Success... [SFLASH]"}));
    EXPECT_EQ(output.progress, (std::vector<int>{0, 100}));
    EXPECT_FALSE(std::filesystem::exists(unit.nand() / "SFLASH" / "old.bmp"));
    EXPECT_EQ(testing::ReadHostFile(unit.nand() / "SFLASH" / "B.BMP"), "new b");
    EXPECT_FALSE(std::filesystem::exists(unit.nand() / "SFLASH" / "notes.txt"));

    // A read-only A.BMP survives the clearing and refuses the copy; B.BMP is the last copy
    // and succeeds, yet the status reports the failure.
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\SFLASH\\A.BMP", ce::FILE_ATTRIBUTE_READONLY), ce::ERROR_SUCCESS);
    RecordingOutput russian;
    EXPECT_EQ(CopySflashFiles(russian, Language::Russian, false), SflashOutcome::Failed);
    ASSERT_EQ(russian.statuses.size(), 2u);
    EXPECT_EQ(russian.statuses[1], "Ошибка...Номер Ошибки[80] [SFLASH]");
    EXPECT_EQ(testing::ReadHostFile(unit.nand() / "SFLASH" / "B.BMP"), "new b");
}

TEST(SflashCopy, NoBitmapsLeaveTheFolderAlone) {
    sim::TempHeadUnit unit;
    WriteHostFile(unit.sdcard() / "UpdateXan" / "SFLASH" / "readme.txt", "x");
    WriteHostFile(unit.nand() / "SFLASH" / "old.bmp", "old");
    RecordingOutput output;
    EXPECT_EQ(CopySflashFiles(output, Language::Korean, false), SflashOutcome::NothingToCopy);
    EXPECT_TRUE(output.statuses.empty());
    EXPECT_TRUE(output.progress.empty());
    EXPECT_TRUE(std::filesystem::exists(unit.nand() / "SFLASH" / "old.bmp"));
}

TEST(SflashCopy, TargetFolderThatCannotBeCreated) {
    sim::TempHeadUnit unit;
    WriteHostFile(unit.sdcard() / "UpdateXan" / "SFLASH" / "a.bmp", "a");
    WriteHostFile(unit.nand() / "SFLASH", "a file where the folder should be");

    RecordingOutput attended;
    EXPECT_EQ(CopySflashFiles(attended, Language::English, false), SflashOutcome::Failed);
    EXPECT_EQ(attended.messageBoxes, (std::vector<std::string>{"Fail to create Sflash folder!"}));

    RecordingOutput unattended;
    ce::DebugCapture capture;
    EXPECT_EQ(CopySflashFiles(unattended, Language::English, true), SflashOutcome::Failed);
    EXPECT_TRUE(unattended.messageBoxes.empty());
    EXPECT_TRUE(capture.contains("Fail to create Sflash folder!"));
}

TEST(OptionCopy, ClearsTheNandRootAndCopiesWithoutOverwriting) {
    sim::TempHeadUnit unit;
    const char* optionPath = "\\SDMMC Card\\UpdateXan\\OPTION\\PIM.ORV";
    WriteHostFile(unit.sdcard() / "UpdateXan" / "OPTION" / "PIM.ORV", "option v2");
    WriteHostFile(unit.nand() / "PimConfig.ORV", "option v1");
    WriteHostFile(unit.nand() / "other.dat", "x");
    WriteHostFile(unit.nand() / "ZEK" / "keep.bin", "k");

    EXPECT_EQ(CopyOptionFile(""), OptionCopyOutcome::NoOptionFile);
    EXPECT_TRUE(std::filesystem::exists(unit.nand() / "other.dat"));

    EXPECT_EQ(CopyOptionFile(optionPath), OptionCopyOutcome::Copied);
    EXPECT_EQ(testing::ReadHostFile(unit.nand() / "PimConfig.ORV"), "option v2");
    EXPECT_FALSE(std::filesystem::exists(unit.nand() / "other.dat"));
    EXPECT_TRUE(std::filesystem::exists(unit.nand() / "ZEK" / "keep.bin"));

    // A hidden target survives the clearing and blocks the copy.
    ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\PimConfig.ORV", ce::FILE_ATTRIBUTE_HIDDEN), ce::ERROR_SUCCESS);
    EXPECT_EQ(CopyOptionFile(optionPath), OptionCopyOutcome::Failed);
    EXPECT_EQ(testing::ReadHostFile(unit.nand() / "PimConfig.ORV"), "option v2");

    EXPECT_EQ(CopyOptionFile("\\SDMMC Card\\UpdateXan\\OPTION\\GONE.ORV"), OptionCopyOutcome::Failed);
}

// Links in the NAND that point out of the head unit: the SFLASH folder's target is neither
// emptied nor written, and a linked option file is replaced by a file of its own.
TEST(NandLinks, AreNeitherEmptiedNorWrittenThrough) {
    sim::TempHeadUnit unit;
    const auto outside = unit.root() / "outside";
    WriteHostFile(outside / "old.bmp", "precious");
    WriteHostFile(outside / "secret.txt", "precious");
    WriteHostFile(unit.sdcard() / "UpdateXan" / "SFLASH" / "old.bmp", "new a");
    WriteHostFile(unit.sdcard() / "UpdateXan" / "OPTION" / "PIM.ORV", "option v2");
    std::filesystem::create_directory_symlink(outside, unit.nand() / "SFLASH");
    std::filesystem::create_symlink(outside / "secret.txt", unit.nand() / "PimConfig.ORV");

    RecordingOutput output;
    EXPECT_EQ(CopySflashFiles(output, Language::English, true), SflashOutcome::Failed);
    EXPECT_EQ(CopyOptionFile("\\SDMMC Card\\UpdateXan\\OPTION\\PIM.ORV"), OptionCopyOutcome::Copied);

    EXPECT_EQ(testing::ReadHostFile(outside / "old.bmp"), "precious");
    EXPECT_EQ(testing::ReadHostFile(outside / "secret.txt"), "precious");
    EXPECT_FALSE(std::filesystem::is_symlink(unit.nand() / "PimConfig.ORV"));
    EXPECT_EQ(testing::ReadHostFile(unit.nand() / "PimConfig.ORV"), "option v2");
}

}  // namespace
}  // namespace updater
