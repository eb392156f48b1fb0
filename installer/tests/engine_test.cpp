#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "installer/engine/copy_tree.h"
#include "installer/engine/delete_tree.h"
#include "installer/engine/install_paths.h"
#include "installer/engine/install_phases.h"
#include "installer/engine/percent.h"
#include "installer/engine/tree_walk.h"
#include "installer/tests/test_support.h"
#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "sim/headunit/headunit.h"

namespace installer {
namespace {

namespace fs = std::filesystem;
using testing::readHostFile;
using testing::RecordingView;
using testing::writeHostFile;
using Event = RecordingView::Event;

TEST(InstallPaths, JoinNeverDoublesOrDropsTheSeparator) {
    EXPECT_EQ(JoinPath("\\A\\B", "*"), "\\A\\B\\*");
    EXPECT_EQ(JoinPath("\\A\\B\\", "*.crc"), "\\A\\B\\*.crc");
    EXPECT_EQ(JoinPath("\\A\\", "\\x\\y"), "\\A\\x\\y");
    EXPECT_EQ(JoinPath("", "NAND Flash"), "\\NAND Flash");
}

TEST(Percent, UnknownTotalsShowZeroWithoutDividing) {
    EXPECT_EQ(CountPercent(3, 0), 0);
    EXPECT_EQ(CountPercent(3, -1), 0);
    EXPECT_EQ(CountPercent(1, 3), 33);
    EXPECT_EQ(CountPercent(5, 4), 125);
    EXPECT_EQ(BytePercent(10.0, 0.0), 0);
    EXPECT_EQ(BytePercent(10.0, -1.0), 0);
    EXPECT_EQ(BytePercent(999.0, 1000.0), 99);
    EXPECT_EQ(BytePercent(1e300, 1e-300), 2147483647);
}

class Engine : public ::testing::Test {
protected:
    Engine() : run_(view_, process_) {
        run_.m_strInstallerFolder = "\\SDMMC Card\\UpdateXan\\ZEK_Update\\";
    }
    fs::path package() const { return unit_.sdcard() / "UpdateXan" / "ZEK_Update"; }
    void usePair(int index, std::string source, std::string destination) {
        run_.m_Entries[static_cast<size_t>(index)] = InstallEntry{1, std::move(source), std::move(destination)};
    }
    // An installed panel folder with read-only members and a file the package no longer has.
    void writeOldInstall() {
        writeHostFile(unit_.nand() / "ZEK" / "Kelo_ZEK.exe", "old program");
        writeHostFile(unit_.nand() / "ZEK" / "stale.txt", "not in the package");
        writeHostFile(unit_.nand() / "ZEK" / "IMG" / "deep" / "a.bmp", "old picture");
        ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\ZEK\\Kelo_ZEK.exe", ce::FILE_ATTRIBUTE_READONLY), 0u);
        ASSERT_EQ(ce::setFileAttributes("\\NAND Flash\\ZEK\\IMG\\deep", ce::FILE_ATTRIBUTE_READONLY), 0u);
    }

    sim::TempHeadUnit unit_;
    RecordingView view_;
    ProcessState process_;
    InstallRun run_;
};

TEST_F(Engine, CountsAndSizesWholeTrees) {
    writeHostFile(unit_.nand() / "T" / "a", std::string(10, 'a'));
    writeHostFile(unit_.nand() / "T" / "sub" / "b", std::string(20, 'b'));
    writeHostFile(unit_.nand() / "T" / "sub" / "deeper" / "c", std::string(30, 'c'));
    fs::create_directories(unit_.nand() / "T" / "empty");
    EXPECT_EQ(CountFiles("\\NAND Flash\\T"), 3);
    EXPECT_EQ(FolderSize("\\NAND Flash\\T\\"), 60.0);
    EXPECT_EQ(CountFiles("\\NAND Flash\\T\\empty"), 0);
    EXPECT_EQ(FolderSize("\\NAND Flash\\T\\empty"), 0.0);
    EXPECT_EQ(CountFiles("\\NAND Flash\\missing"), -1);
    EXPECT_EQ(FolderSize("\\NAND Flash\\missing"), -1.0);
    EXPECT_EQ(CountFiles("\\NAND Flash\\T\\a"), -1);  // a file is no folder
}

TEST_F(Engine, DeleteRemovesTheWholeTreeReadOnlyMembersIncluded) {
    writeOldInstall();
    writeHostFile(package() / "ZEK" / "Kelo_ZEK.exe", "new program");
    usePair(0, "ZEK", "\\NAND Flash\\ZEK");

    ce::DebugCapture debug;
    ScanPhase(run_);
    EXPECT_EQ(run_.m_nDestFileTotal, 3);
    EXPECT_EQ(run_.m_nSourceFileTotal, 1);
    EXPECT_EQ(run_.m_dSourceByteTotal, 11.0);
    DeletePhase(run_);

    EXPECT_FALSE(fs::exists(unit_.nand() / "ZEK"));
    EXPECT_EQ(run_.m_nDeletedCount, 3);
    EXPECT_TRUE(debug.contains("0, \\NAND Flash\\ZEK\r\n"));
    EXPECT_TRUE(debug.contains("SetFileAttributes call for a file\r\n"));
    EXPECT_TRUE(debug.contains("SetFileAttributes call for a folder\r\n"));
    EXPECT_TRUE(debug.contains("=== Remove directory : \\NAND Flash\\ZEK\\IMG\\deep\r\n"));
    // Names in the platform's order (folders among files by name), percentages of 3 files.
    EXPECT_EQ(view_.statusTexts(), (std::vector<std::string>{"Delete : a.bmp(33%)", "Delete : Kelo_ZEK.exe(66%)",
                                                             "Delete : stale.txt(100%)"}));
    // The bar runs 0 … file count and moves by count; then 0 … 100 for the copy.
    EXPECT_EQ(view_.values(Event::Range), (std::vector<int32_t>{3, 100}));
    EXPECT_EQ(view_.values(Event::Pos), (std::vector<int32_t>{0, 1, 2, 3, 0}));
    EXPECT_EQ(view_.count(Event::Pump), 3);  // once per removed folder
}

TEST_F(Engine, AMissingSourceLeavesItsDestinationUntouched) {
    writeOldInstall();
    usePair(0, "NotInPackage", "\\NAND Flash\\ZEK");
    ScanPhase(run_);
    EXPECT_EQ(run_.m_nSourceFileTotal, -1);
    EXPECT_EQ(run_.m_dSourceByteTotal, -1.0);
    DeletePhase(run_);
    CopyPhase(run_);
    EXPECT_EQ(readHostFile(unit_.nand() / "ZEK" / "stale.txt"), "not in the package");
    EXPECT_TRUE(fs::exists(unit_.nand() / "ZEK" / "IMG" / "deep" / "a.bmp"));
    EXPECT_EQ(run_.m_nDeletedCount, 0);
}

TEST_F(Engine, AFileHeldOpenIsReportedAndItsFolderStays) {
    writeHostFile(unit_.nand() / "ZEK" / "busy.bin", "x");
    writeHostFile(unit_.nand() / "ZEK" / "free.bin", "y");
    auto held = ce::File::open("\\NAND Flash\\ZEK\\busy.bin", ce::GENERIC_READ, 0, ce::OPEN_EXISTING);
    ASSERT_TRUE(held);
    ce::DebugCapture debug;
    DeleteTree(run_, "\\NAND Flash\\ZEK");
    EXPECT_TRUE(debug.contains("Fail to delete File \\NAND Flash\\ZEK\\busy.bin\r\n"));
    EXPECT_TRUE(debug.contains("=== Fail to remove directory : \\NAND Flash\\ZEK\r\n"));
    EXPECT_FALSE(fs::exists(unit_.nand() / "ZEK" / "free.bin"));
    EXPECT_TRUE(fs::exists(unit_.nand() / "ZEK" / "busy.bin"));
}

TEST_F(Engine, CopyReplacesTheTreeWithCumulativeProgressOverAllPairs) {
    writeHostFile(unit_.nand() / "ZEK" / "Kelo_ZEK.exe", "old");
    writeHostFile(package() / "ZEK" / "Kelo_ZEK.exe", std::string(100, 'p'));
    writeHostFile(package() / "Fonts" / "sub" / "deep" / "font.ttf", std::string(300, 'f'));
    usePair(0, "ZEK", "\\NAND Flash\\ZEK");
    usePair(3, "Fonts", "\\NAND Flash\\Fonts");
    ScanPhase(run_);
    CopyPhase(run_);

    EXPECT_EQ(readHostFile(unit_.nand() / "ZEK" / "Kelo_ZEK.exe"), std::string(100, 'p'));
    EXPECT_EQ(readHostFile(unit_.nand() / "Fonts" / "sub" / "deep" / "font.ttf"), std::string(300, 'f'));
    EXPECT_EQ(run_.m_dCopiedBytes, 400.0);
    const auto texts = view_.statusTexts();
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Copy : Kelo_ZEK.exe(25%)"), texts.end());
    EXPECT_EQ(texts.back(), "Copy : font.ttf(100%)");
    // The very first progress step brings the dialog to the front and empties the queue.
    ASSERT_GE(view_.events.size(), 2u);
    EXPECT_EQ(view_.count(Event::Front), 1);
}

TEST_F(Engine, ProgressRedrawsOnlyOnChangeAndPumpsEveryHundredSteps) {
    run_.m_dSourceByteTotal = 1000;
    run_.m_strCurrentFileName = "x.bin";
    auto report = [&](uint64_t bytes) {
        ce::CopyProgressInfo info;
        info.streamBytesTransferred = bytes;
        EXPECT_EQ(OnCopyProgress(run_, info), ce::PROGRESS_CONTINUE);
    };
    report(0);  // a new file: no bytes, no step
    report(5);
    report(9);  // still 1 %... no: 9 bytes of 1000 is 0 %, the same text
    report(9);  // no new bytes: no step
    report(10);
    EXPECT_EQ(view_.statusTexts(), (std::vector<std::string>{"Copy : x.bin(0%)", "Copy : x.bin(1%)"}));
    EXPECT_EQ(view_.values(Event::Pos), (std::vector<int32_t>{1}));  // 0 % was already the bar's value
    EXPECT_EQ(process_.progressCallCount, 3);
    EXPECT_EQ(view_.count(Event::Pump), 1);

    report(0);  // the next file starts counting from its own 0
    for (uint64_t b = 1; b <= 100; ++b) report(b);
    EXPECT_EQ(run_.m_dCopiedBytes, 110.0);
    EXPECT_EQ(view_.count(Event::Pump), 2);  // step 100 pumped again
    EXPECT_EQ(view_.count(Event::Front), 2);
}

TEST_F(Engine, ADestinationWithoutItsParentCannotBeCreatedAndEveryCopyFails) {
    writeHostFile(package() / "ZEK" / "a.bin", "a");
    usePair(0, "ZEK", "\\NAND Flash\\No Parent\\ZEK");
    ce::DebugCapture debug;
    ScanPhase(run_);
    DeletePhase(run_);
    CopyPhase(run_);
    EXPECT_FALSE(fs::exists(unit_.nand() / "No Parent"));
    EXPECT_TRUE(debug.contains("CopyFiles Error : 3(\\SDMMC Card\\UpdateXan\\ZEK_Update\\ZEK\\a.bin)\r\n"));
    EXPECT_TRUE(fs::is_directory(unit_.nand() / "ZEK"));  // the panel folder is always made
}

TEST_F(Engine, ASuspendStopsTheWalksBetweenEntries) {
    writeOldInstall();
    writeHostFile(package() / "ZEK" / "a.bin", "a");
    writeHostFile(package() / "ZEK" / "b.bin", "b");
    usePair(0, "ZEK", "\\NAND Flash\\ZEK");
    // The suspend notification arrives while the first emptied folder pumps the queue.
    view_.onPump = [&] { process_.running = false; };
    ce::DebugCapture debug;
    ScanPhase(run_);
    DeletePhase(run_);
    EXPECT_TRUE(fs::exists(unit_.nand() / "ZEK" / "Kelo_ZEK.exe"));  // the walk stopped
    EXPECT_TRUE(fs::exists(unit_.nand() / "ZEK" / "IMG"));          // its folder was kept
    EXPECT_FALSE(fs::exists(unit_.nand() / "ZEK" / "IMG" / "deep"));

    CopyOneFile(run_, "\\SDMMC Card\\UpdateXan\\ZEK_Update\\ZEK\\a.bin", "\\NAND Flash\\ZEK\\a.bin");
    EXPECT_TRUE(debug.contains("CopyFiles stopped because of system power off or suspend\r\n"));
    CopyPhase(run_);
    EXPECT_FALSE(fs::exists(unit_.nand() / "ZEK" / "a.bin"));
    EXPECT_FALSE(fs::exists(unit_.nand() / "ZEK" / "b.bin"));
}

}  // namespace
}  // namespace installer
