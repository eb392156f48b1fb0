// The device end of a simulated line, seen from a program that opens the linked tty.

#include "sim/pty/pty_endpoint.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

struct TempDir {
    fs::path path;
    TempDir() {
        char tmpl[] = "/tmp/sim_pty_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path); }
};

// The program's end: opened through the link, raw, at a chosen rate (any rate, via termios2).
struct ProgramEnd {
    int fd;
    explicit ProgramEnd(const fs::path& link) : fd(::open(link.c_str(), O_RDWR | O_NOCTTY)) {}
    ~ProgramEnd() {
        if (fd >= 0) ::close(fd);
    }
    void setRate(uint32_t baud, bool twoStopBits = false) {
        struct termios2 t {};
        ASSERT_EQ(ioctl(fd, TCGETS2, &t), 0);
        t.c_cflag &= ~CBAUD;
        t.c_cflag |= BOTHER;
        t.c_ospeed = t.c_ispeed = baud;
        if (twoStopBits) t.c_cflag |= CSTOPB;
        ASSERT_EQ(ioctl(fd, TCSETS2, &t), 0);
    }
    std::vector<uint8_t> readSome() {
        std::vector<uint8_t> out(256);
        ssize_t n = ::read(fd, out.data(), out.size());
        out.resize(n > 0 ? n : 0);
        return out;
    }
};

TEST(PtyEndpoint, LinksItsSlaveAndCarriesBytesBothWaysWithoutEcho) {
    TempDir dir;
    fs::path link = dir.path / "dev" / "COM5";
    {
        sim::PtyEndpoint pty(link);
        ASSERT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), pty.slavePath());

        ProgramEnd program(link);
        ASSERT_GE(program.fd, 0);
        const uint8_t frame[] = {0x01, 0x01, 0x00, 0xFF, 0x03, 0x0A, 0x0D, 0x00};
        ASSERT_EQ(::write(program.fd, frame, sizeof frame), static_cast<ssize_t>(sizeof frame));
        std::vector<uint8_t> got;
        while (got.size() < sizeof frame) {
            auto part = pty.read(2000);
            ASSERT_FALSE(part.empty());
            got.insert(got.end(), part.begin(), part.end());
        }
        EXPECT_EQ(got, std::vector<uint8_t>(frame, frame + sizeof frame));  // raw: CR/LF untouched

        const std::vector<uint8_t> answer = {0x02, 0x01, 0x06, 0xF9, 0x03, 0x0D};
        pty.write(answer);
        EXPECT_EQ(program.readSome(), answer);
        // What the device sends never comes back to it.
        EXPECT_TRUE(pty.read(50).empty());
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(PtyEndpoint, ReplacesAStaleLinkAndLeavesANewerOwnersLinkAlone) {
    TempDir dir;
    fs::path link = dir.path / "COM2";
    fs::create_symlink("/dev/null", link);
    auto first = std::make_unique<sim::PtyEndpoint>(link);
    EXPECT_EQ(fs::read_symlink(link), first->slavePath());
    sim::PtyEndpoint second(link);
    first.reset();  // the link now belongs to the second endpoint
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), second.slavePath());
}

TEST(PtyEndpoint, SeesTheRateTheProgramSetIncludingNonStandardOnes) {
    TempDir dir;
    sim::PtyEndpoint pty(dir.path / "COM5");
    ProgramEnd program(dir.path / "COM5");
    EXPECT_EQ(pty.lineSettings().baud, 9600u);  // until the program sets its own
    EXPECT_DOUBLE_EQ(pty.characterTime(), 10.0 / 9600);

    program.setRate(153600);
    EXPECT_EQ(pty.lineSettings().baud, 153600u);
    program.setRate(115200, true);
    auto s = pty.lineSettings();
    EXPECT_EQ(s.baud, 115200u);
    EXPECT_EQ(s.stopBits, 2);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_FALSE(s.parityObservable);  // a pty clears parity bits
    EXPECT_DOUBLE_EQ(pty.characterTime(), 11.0 / 115200);
}

TEST(PtyEndpoint, ReadReturnsWhenTheProgramClosesItsEnd) {
    TempDir dir;
    sim::PtyEndpoint pty(dir.path / "COM5");
    auto program = std::make_unique<ProgramEnd>(dir.path / "COM5");
    auto start = std::chrono::steady_clock::now();
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        program.reset();
    });
    EXPECT_TRUE(pty.read(20000).empty());
    closer.join();
    EXPECT_EQ(pty.closeCount(), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(PtyEndpoint, WritesNobodyReadsAreDroppedInsteadOfBlocking) {
    TempDir dir;
    sim::PtyEndpoint pty(dir.path / "COM5");
    std::vector<uint8_t> flood(1 << 20, 0x55);
    pty.write(flood);  // returns: the program never opened the line
    ProgramEnd program(dir.path / "COM5");
    EXPECT_FALSE(program.readSome().empty());
}

}  // namespace
