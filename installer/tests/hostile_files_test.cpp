// The installation against files that someone else put in its way: links inside and in place
// of a destination, links in the package, a linked log, a FIFO named in a checksum list, and
// links planted by another local user on a card that everybody may write.

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <thread>

#include "installer/crc/verify.h"
#include "installer/engine/install_phases.h"
#include "installer/tests/test_support.h"
#include "platform/core/debug.h"
#include "platform/core/testing/other_user.h"
#include "sim/headunit/headunit.h"

namespace installer {
namespace {

namespace fs = std::filesystem;
using testing::readHostFile;
using testing::RecordingView;
using testing::writeHostFile;

std::string crcLine(std::string_view name, std::string_view bytes) {
    const auto crc = crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.data()),
                           static_cast<uInt>(bytes.size()));
    return fmt::format("{}:{:08X}\r\n", name, static_cast<uint32_t>(crc));
}

class HostileFiles : public ::testing::Test {
protected:
    HostileFiles() : run_(view_, process_) {
        run_.m_strInstallerFolder = "\\SDMMC Card\\UpdateXan\\ZEK_Update\\";
        run_.m_Entries[0] = InstallEntry{1, "ZEK", "\\NAND Flash\\ZEK"};
        writeHostFile(package() / "ZEK" / "Kelo_ZEK.exe", "new program");
        writeHostFile(package() / "ZEK" / "IMG" / "a.bmp", "new picture");
        writeHostFile(package() / "ZEK.crc",
                      crcLine("Kelo_ZEK.exe", "new program") + crcLine("IMG\\a.bmp", "new picture"));
        writeHostFile(outside() / "secret.txt", "precious");
    }
    fs::path package() const { return unit_.sdcard() / "UpdateXan" / "ZEK_Update"; }
    fs::path outside() const { return unit_.root() / "outside"; }
    void install() {
        ScanPhase(run_);
        DeletePhase(run_);
        CopyPhase(run_);
    }
    void expectOutsideUntouched() {
        EXPECT_EQ(readHostFile(outside() / "secret.txt"), "precious");
        EXPECT_EQ(std::distance(fs::directory_iterator(outside()), fs::directory_iterator()), 1);
    }
    void expectInstalled() {
        EXPECT_FALSE(fs::is_symlink(unit_.nand() / "ZEK"));
        EXPECT_EQ(readHostFile(unit_.nand() / "ZEK" / "Kelo_ZEK.exe"), "new program");
        EXPECT_EQ(readHostFile(unit_.nand() / "ZEK" / "IMG" / "a.bmp"), "new picture");
    }

    sim::TempHeadUnit unit_;
    RecordingView view_;
    ProcessState process_;
    InstallRun run_;
};

TEST_F(HostileFiles, LinksInsideAndInPlaceOfTheDestinationGoAsLinks) {
    // Inside: a linked folder and a linked file among the old installation's files.
    writeHostFile(unit_.nand() / "ZEK" / "old.txt", "old");
    fs::create_directory_symlink(outside(), unit_.nand() / "ZEK" / "IMG2");
    fs::create_symlink(outside() / "secret.txt", unit_.nand() / "ZEK" / "notes.txt");
    install();
    expectOutsideUntouched();
    expectInstalled();
    EXPECT_FALSE(fs::exists(fs::symlink_status(unit_.nand() / "ZEK" / "IMG2")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(unit_.nand() / "ZEK" / "notes.txt")));
    EXPECT_FALSE(fs::exists(unit_.nand() / "ZEK" / "old.txt"));

    // In place: the destination itself is a link to a folder outside.
    fs::remove_all(unit_.nand() / "ZEK");
    fs::create_directory_symlink(outside(), unit_.nand() / "ZEK");
    install();
    expectOutsideUntouched();
    expectInstalled();
}

TEST_F(HostileFiles, LinksInThePackageAreSkippedNotCopiedAsTheirTargets) {
    fs::create_symlink(outside() / "secret.txt", package() / "ZEK" / "stolen.txt");
    fs::create_directory_symlink(outside(), package() / "ZEK" / "stolen");
    ce::DebugCapture debug;
    install();
    expectInstalled();
    EXPECT_FALSE(fs::exists(fs::symlink_status(unit_.nand() / "ZEK" / "stolen.txt")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(unit_.nand() / "ZEK" / "stolen")));
    EXPECT_TRUE(debug.contains("CopyFiles skips the link \\SDMMC Card\\UpdateXan\\ZEK_Update\\ZEK\\stolen.txt"));
    EXPECT_TRUE(debug.contains("CopyFiles skips the link \\SDMMC Card\\UpdateXan\\ZEK_Update\\ZEK\\stolen\r\n"));
    // What the copy skips is not counted either: the verification of the two files ends at 100 %.
    EXPECT_EQ(run_.m_nSourceFileTotal, 2);
    EXPECT_EQ(VerifyAll(run_), 1);
    EXPECT_EQ(view_.statusTexts().back(), "Verifying CRC32 : 100%");
}

TEST_F(HostileFiles, ALinkedLogIsNotWrittenThroughAndTheVerificationStillCounts) {
    install();
    writeHostFile(unit_.nand() / "ZEK" / "IMG" / "a.bmp", "damaged");
    fs::create_symlink(outside() / "secret.txt", package() / "CRCLOG.TXT");
    ce::DebugCapture debug;
    EXPECT_EQ(VerifyAll(run_), 0);
    EXPECT_EQ(run_.m_nCrcErrorCount, 1);
    expectOutsideUntouched();
    EXPECT_TRUE(debug.contains("\\NAND Flash\\ZEK\\IMG\\a.bmp file failed in CRC comparing"));
}

TEST_F(HostileFiles, AFifoNamedInAListFailsItsCheckWithoutBlocking) {
    install();
    ASSERT_EQ(::mkfifo((unit_.nand() / "ZEK" / "pipe").c_str(), 0666), 0);
    writeHostFile(package() / "ZEK.crc", readHostFile(package() / "ZEK.crc") + "pipe:00000000\r\n");
    auto verified = std::async(std::launch::async, [this] { return VerifyAll(run_); });
    bool blocked = false;
    while (verified.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        blocked = true;  // release the blocked read so the test can end
        const int fd = ::open((unit_.nand() / "ZEK" / "pipe").c_str(), O_RDWR | O_NONBLOCK);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ::close(fd);
    }
    EXPECT_FALSE(blocked) << "the verification waited on the FIFO";
    EXPECT_EQ(verified.get(), 0);
    EXPECT_EQ(run_.m_nCrcErrorCount, 1);
    EXPECT_NE(readHostFile(package() / "CRCLOG.TXT").find(std::string("p\0i\0p\0e\0", 8)), std::string::npos);
}

// Another user swaps a folder of the installed tree for a link to a folder outside, over and
// over (an atomic exchange), while the installation deletes and copies the tree again and
// again: no delete or copy may ever reach the outside folder.
TEST_F(HostileFiles, AFolderSwappedForALinkWhileInstallingNeverSendsTheInstallationOutside) {
    writeHostFile(outside() / "a.bmp", "precious too");
    install();
    const std::string folder = (unit_.nand() / "ZEK" / "IMG").string();
    const std::string link = (unit_.nand() / "ZEK" / "IMG.lnk").string();
    const std::string target = outside().string();
    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        while (!stop) {
            ::symlink(target.c_str(), link.c_str());  // again after each delete phase
            ::renameat2(AT_FDCWD, folder.c_str(), AT_FDCWD, link.c_str(), RENAME_EXCHANGE);
        }
    });
    for (int i = 0; i < 300; ++i) {
        run_.Reset();
        install();
    }
    stop = true;
    swapper.join();
    EXPECT_EQ(readHostFile(outside() / "secret.txt"), "precious");
    EXPECT_EQ(readHostFile(outside() / "a.bmp"), "precious too");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside()), fs::directory_iterator()), 2);
}

// The card has no owners: whoever can reach it may write it. Another local user plants links
// there and in the panel's folder; the installation, run as root, writes through none of them.
TEST_F(HostileFiles, AnotherUserCannotPlantALinkThatTheInstallationWritesThrough) {
    if (!ce::test::canBecomeOtherUser()) GTEST_SKIP() << "needs root to become the other user";
    ce::test::openPathToOtherUser(unit_.root().string());
    for (const fs::path& open : {unit_.sdcard(), unit_.sdcard() / "UpdateXan", package(), package() / "ZEK", unit_.nand()})
        fs::permissions(open, fs::perms::all);
    fs::permissions(outside(), fs::perms::owner_all);  // root's own, out of the other user's reach

    const std::string log = (package() / "CRCLOG.TXT").string();
    const std::string source = (package() / "ZEK" / "planted.txt").string();
    const std::string destination = (unit_.nand() / "ZEK").string();
    const std::string target = (outside() / "secret.txt").string();
    const std::string folder = outside().string();
    const auto planted = ce::test::asOtherUser([&] {
        if (::open(target.c_str(), O_WRONLY) >= 0) return 10;  // the test's premise
        if (::symlink(target.c_str(), log.c_str()) != 0) return 11;
        if (::symlink(target.c_str(), source.c_str()) != 0) return 12;
        if (::symlink(folder.c_str(), destination.c_str()) != 0) return 13;
        return 0;
    });
    ASSERT_EQ(planted.exitCode, 0) << planted.output;

    install();
    VerifyAll(run_);
    expectOutsideUntouched();
    expectInstalled();
    EXPECT_FALSE(fs::exists(fs::symlink_status(unit_.nand() / "ZEK" / "planted.txt")));
}

}  // namespace
}  // namespace installer
