#include "installer/crc/verify.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "installer/tests/test_support.h"
#include "platform/core/debug.h"
#include "sim/headunit/headunit.h"

namespace installer {
namespace {

using testing::readHostFile;
using testing::RecordingView;
using testing::writeHostFile;

std::string crcHex(std::string_view bytes) {
    const auto crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                           static_cast<uInt>(bytes.size()));
    return fmt::format("{:08X}", static_cast<uint32_t>(crc));
}

// UTF-16LE bytes of ASCII text, as the log stores it.
std::string utf16le(std::string_view ascii) {
    std::string out;
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

class Verify : public ::testing::Test {
protected:
    Verify() : run_(view_, process_) {
        run_.m_strInstallerFolder = "\\SDMMC Card\\UpdateXan\\ZEK_Update\\";
        std::filesystem::create_directories(package());
    }
    std::filesystem::path package() const { return unit_.sdcard() / "UpdateXan" / "ZEK_Update"; }
    std::filesystem::path log() const { return package() / "CRCLOG.TXT"; }
    void usePair(int index, std::string source, std::string destination) {
        run_.m_Entries[static_cast<size_t>(index)] = InstallEntry{1, std::move(source), std::move(destination)};
    }

    sim::TempHeadUnit unit_;
    RecordingView view_;
    ProcessState process_;
    InstallRun run_;
};

// An INI that gave no pair installed nothing: whatever lists lie beside the installer, that
// is a failure with no failed file, and the debug output says why.
TEST_F(Verify, NoUsedPairIsAFailure) {
    writeHostFile(package() / "ZEK.crc", "good.bin:00000000\r\n");
    ce::DebugCapture debug;
    EXPECT_EQ(VerifyAll(run_), 0);
    EXPECT_EQ(run_.m_nCrcErrorCount, 0);
    EXPECT_TRUE(debug.contains("ZEK_Update.ini gives no usable source/destination pair: nothing was installed"));
}

TEST_F(Verify, FailuresAreCountedAndLoggedInOrder) {
    writeHostFile(unit_.nand() / "ZEK" / "good.bin", "good");
    writeHostFile(unit_.nand() / "ZEK" / "IMG" / "bad.bin", "changed");
    writeHostFile(unit_.nand() / "ZEK" / "empty.bin", "");
    writeHostFile(package() / "ZEK.crc",
                  "good.bin:" + crcHex("good") + "\r\n"
                  "a line without a colon\r\n"
                  "IMG\\bad.bin:" + crcHex("original") + "\r\n"
                  "empty.bin:00000000\r\n"
                  "missing.bin:" + crcHex("x") + "\r\n"
                  "good.bin :" + crcHex("good") + "\r\n");
    writeHostFile(unit_.nand() / "Fonts" / "font.ttf", "font");
    writeHostFile(package() / "Fonts.crc",
                  "font.ttf:" + crcHex("font") + "\n"
                  "nofolder\\gone.ttf:00000000\n"
                  "gone.ttf:00000000\n");
    usePair(0, "ZEK", "\\NAND Flash\\ZEK");
    usePair(2, "Fonts", "\\NAND Flash\\Fonts\\");
    run_.m_nSourceFileTotal = 8;

    ce::DebugCapture debug;
    EXPECT_EQ(VerifyAll(run_), 0);
    EXPECT_EQ(run_.m_nCrcErrorCount, 5);

    const std::string expectedLog =
        "\\NAND Flash\\ZEK\\IMG\\bad.bin file failed in CRC comparing\r\n"
        "\\NAND Flash\\ZEK\\missing.bin file does not exist!\r\n"
        "\\NAND Flash\\ZEK\\good.bin  file does not exist!\r\n"
        "\\NAND Flash\\Fonts\\nofolder\\gone.ttf file failed in CRC comparing\r\n"
        "\\NAND Flash\\Fonts\\gone.ttf file does not exist!\r\n";
    EXPECT_EQ(readHostFile(log()), utf16le(expectedLog));
    EXPECT_TRUE(debug.contains("\\NAND Flash\\ZEK\\missing.bin file does not exist!\r\n"));
    // Eight checking lines moved the count; the line without a colon did not.
    EXPECT_EQ(run_.m_nVerifiedCount, 8);
    EXPECT_EQ(view_.statusTexts().back(), "Verifying CRC32 : 100%");
    EXPECT_EQ(view_.values(RecordingView::Event::Pos),
              (std::vector<int32_t>{12, 25, 37, 50, 62, 75, 87, 100}));
}

TEST_F(Verify, APassingRunRecreatesAnEmptyLog) {
    writeHostFile(log(), "old content");
    writeHostFile(unit_.nand() / "ZEK" / "a.bin", "aaaa");
    writeHostFile(package() / "ZEK.crc", "a.bin:" + crcHex("aaaa") + "\n");
    writeHostFile(package() / "Unused.crc", "nothing.bin:12345678\n");
    usePair(0, "ZEK", "\\NAND Flash\\ZEK");
    usePair(1, "NoListForThisPair", "\\NAND Flash\\Other");  // its list cannot be opened: no failures
    run_.m_nSourceFileTotal = 1;
    EXPECT_EQ(VerifyAll(run_), 1);
    EXPECT_EQ(run_.m_nCrcErrorCount, 0);
    EXPECT_TRUE(std::filesystem::exists(log()));
    EXPECT_EQ(std::filesystem::file_size(log()), 0u);
}

TEST_F(Verify, WithoutAnyListNothingIsVerifiedAndNoLogIsMade) {
    writeHostFile(unit_.nand() / "ZEK" / "a.bin", "aaaa");
    usePair(0, "ZEK", "\\NAND Flash\\ZEK");
    EXPECT_EQ(VerifyAll(run_), -1);
    EXPECT_FALSE(std::filesystem::exists(log()));
    EXPECT_TRUE(view_.events.empty());
}

TEST_F(Verify, ALogThatCannotBeCreatedDoesNotStopTheVerification) {
    // Installed from elsewhere while the card has no package folder for the log.
    std::filesystem::remove_all(package());
    run_.m_strInstallerFolder = "\\NAND Flash\\Elsewhere\\";
    writeHostFile(unit_.nand() / "Elsewhere" / "ZEK.crc", "missing.bin:00000000\n");
    std::filesystem::create_directories(unit_.nand() / "ZEK");
    usePair(0, "ZEK", "\\NAND Flash\\ZEK");
    run_.m_nSourceFileTotal = 1;

    ce::DebugCapture debug;
    EXPECT_EQ(VerifyAll(run_), 0);
    EXPECT_EQ(run_.m_nCrcErrorCount, 1);
    EXPECT_TRUE(debug.contains("CRCLOG.TXT cannot be created"));
    EXPECT_TRUE(debug.contains("\\NAND Flash\\ZEK\\missing.bin file does not exist!"));
}

TEST_F(Verify, PercentageOfAnUnknownTotalShowsZeroAndRepeatsAreNotRedrawn) {
    writeHostFile(unit_.nand() / "ZEK" / "a.bin", "a");
    writeHostFile(package() / "ZEK.crc", "a.bin:" + crcHex("a") + "\na.bin:" + crcHex("a") + "\n");
    usePair(0, "ZEK", "\\NAND Flash\\ZEK");
    run_.m_nSourceFileTotal = -1;  // a source folder that could not be counted
    EXPECT_EQ(VerifyAll(run_), 1);
    EXPECT_EQ(view_.statusTexts(), std::vector<std::string>{"Verifying CRC32 : 0%"});
    // The last percentage outlives the run: a second run showing 0 % again draws nothing.
    RecordingView secondView;
    InstallRun second(secondView, process_);
    second.m_strInstallerFolder = run_.m_strInstallerFolder;
    second.m_Entries = run_.m_Entries;
    EXPECT_EQ(VerifyAll(second), 1);
    EXPECT_TRUE(secondView.events.empty());
}

}  // namespace
}  // namespace installer
