// Serial ports against a pseudo-terminal whose master end the test plays.

#include "platform/devices/serial_port.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "sim/headunit/headunit.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The far end of the line: a pty master, read and written by the test.
struct Line {
    int master = -1;
    std::string slave;
    Line() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        grantpt(master);
        unlockpt(master);
        char name[128] = {};
        ptsname_r(master, name, sizeof name);
        slave = name;
    }
    ~Line() { ::close(master); }

    void send(const std::string& bytes) const { ASSERT_EQ(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    // Reads until count bytes arrived or a second passed.
    std::string receive(size_t count) const {
        std::string got;
        auto end = Clock::now() + 1s;
        while (got.size() < count && Clock::now() < end) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[256];
            ssize_t n = ::read(master, buf, std::min(sizeof buf, count - got.size()));
            if (n > 0) got.append(buf, size_t(n));
        }
        return got;
    }

    // The rate the program's end runs at, as the master sees it.
    uint32_t baudSeen() const {
        termios2 t{};
        ::ioctl(master, TCGETS2, &t);
        return t.c_ospeed;
    }
};

std::unique_ptr<ce::SerialPort> openPort(const Line& line) {
    auto port = ce::SerialPort::openHost(line.slave, 0);
    EXPECT_TRUE(port.ok()) << "error " << port.error();
    return port.ok() ? std::move(*port) : nullptr;
}

ce::Dcb lineSettings(uint32_t baud, uint8_t parity) {
    ce::Dcb dcb;
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = parity;
    dcb.fParity = parity != ce::NOPARITY;
    dcb.StopBits = ce::ONESTOPBIT;
    return dcb;
}

std::string readAll(ce::SerialPort& port, uint32_t size) {
    std::string buf(size, '\0');
    uint32_t got = 0;
    EXPECT_EQ(port.read(buf.data(), size, &got), ce::ERROR_SUCCESS);
    buf.resize(got);
    return buf;
}

void roundTrip(uint32_t baud, uint8_t parity) {
    Line line;
    auto port = openPort(line);
    ASSERT_TRUE(port);
    ASSERT_EQ(port->setState(lineSettings(baud, parity)), ce::ERROR_SUCCESS);

    ce::Dcb now;
    ASSERT_EQ(port->getState(now), ce::ERROR_SUCCESS);
    EXPECT_EQ(now.BaudRate, baud);
    EXPECT_EQ(now.Parity, parity);
    EXPECT_EQ(line.baudSeen(), baud);

    uint32_t written = 0;
    std::string frame("\x01\x01\x00\xFF\x03", 5);
    ASSERT_EQ(port->write(frame.data(), uint32_t(frame.size()), &written), ce::ERROR_SUCCESS);
    EXPECT_EQ(written, frame.size());
    EXPECT_EQ(line.receive(frame.size()), frame);

    // Binary bytes come back untranslated (no CR/LF mapping, no echo, no line editing).
    std::string answer("\x02\x01\x06\xF9\x03\r\n\x7F\x00", 9);
    line.send(answer);
    ASSERT_EQ(port->setTimeouts({0, 0, 1000, 0, 0}), ce::ERROR_SUCCESS);
    EXPECT_EQ(readAll(*port, uint32_t(answer.size())), answer);
}

TEST(SerialPort, RoundTripAt9600NoParity) { roundTrip(9600, ce::NOPARITY); }

TEST(SerialPort, RoundTripAt153600EvenParity) { roundTrip(153600, ce::EVENPARITY); }

TEST(SerialPort, RejectsImpossibleLineSettings) {
    Line line;
    auto port = openPort(line);
    ASSERT_TRUE(port);
    ce::Dcb dcb = lineSettings(9600, ce::NOPARITY);
    dcb.ByteSize = 9;
    EXPECT_EQ(port->setState(dcb), ce::ERROR_INVALID_PARAMETER);
    dcb = lineSettings(0, ce::NOPARITY);
    EXPECT_EQ(port->setState(dcb), ce::ERROR_INVALID_PARAMETER);
}

TEST(SerialPort, ReadTimeouts) {
    Line line;
    auto port = openPort(line);
    ASSERT_TRUE(port);

    // "Return at once": with nothing buffered, nothing and no wait...
    ASSERT_EQ(port->setTimeouts({ce::MAXDWORD, 0, 0, 0, 0}), ce::ERROR_SUCCESS);
    auto start = Clock::now();
    EXPECT_EQ(readAll(*port, 16), "");
    EXPECT_LT(Clock::now() - start, 500ms);
    // ...and what is buffered, even when fewer bytes than asked for.
    line.send("abc");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(readAll(*port, 16), "abc");

    // A total time-out ends a read with what arrived.
    ASSERT_EQ(port->setTimeouts({0, 0, 100, 0, 0}), ce::ERROR_SUCCESS);
    line.send("xy");
    start = Clock::now();
    EXPECT_EQ(readAll(*port, 10), "xy");
    EXPECT_GE(Clock::now() - start, 90ms);

    // All time-outs 0: the read waits for the full count, across pieces.
    ASSERT_EQ(port->setTimeouts({0, 0, 0, 0, 0}), ce::ERROR_SUCCESS);
    std::thread sender([&] {
        line.send("12");
        std::this_thread::sleep_for(100ms);
        line.send("345");
    });
    EXPECT_EQ(readAll(*port, 5), "12345");
    sender.join();
}

// A polling reader's pause ends when bytes arrive, not when its time-out does, and returns
// at once while bytes are waiting, whatever the read time-outs say.
TEST(SerialPort, WaitForInputEndsOnArrival) {
    Line line;
    auto port = openPort(line);
    ASSERT_TRUE(port);
    ASSERT_EQ(port->setTimeouts({ce::MAXDWORD, 0, 0, 0, 0}), ce::ERROR_SUCCESS);
    EXPECT_FALSE(port->waitForInput(20));

    std::thread sender([&] {
        std::this_thread::sleep_for(50ms);
        line.send("!");
    });
    const auto start = Clock::now();
    EXPECT_TRUE(port->waitForInput(30000));
    EXPECT_LT(Clock::now() - start, 20s);
    sender.join();
    EXPECT_TRUE(port->waitForInput(0));  // still waiting to be read
    EXPECT_EQ(readAll(*port, 1), "!");
}

TEST(SerialPort, WaitCommEventReportsReceivedAndTransmitted) {
    Line line;
    auto port = openPort(line);
    ASSERT_TRUE(port);
    ASSERT_EQ(port->setCommMask(ce::EV_RXCHAR | ce::EV_TXEMPTY), ce::ERROR_SUCCESS);

    uint32_t events = 0;
    std::thread sender([&] {
        std::this_thread::sleep_for(50ms);
        line.send("!");
    });
    ASSERT_EQ(port->waitCommEvent(events), ce::ERROR_SUCCESS);
    EXPECT_EQ(events, ce::EV_RXCHAR);
    sender.join();
    EXPECT_EQ(readAll(*port, 1), "!");

    uint32_t written = 0;
    ASSERT_EQ(port->write("ok", 2, &written), ce::ERROR_SUCCESS);
    ASSERT_EQ(port->waitCommEvent(events), ce::ERROR_SUCCESS);
    EXPECT_EQ(events, ce::EV_TXEMPTY);
}

TEST(SerialPort, ClearingTheMaskReleasesAWaitInAnotherThread) {
    Line line;
    auto port = openPort(line);
    ASSERT_TRUE(port);
    ASSERT_EQ(port->setCommMask(ce::EV_RXCHAR | ce::EV_TXEMPTY), ce::ERROR_SUCCESS);

    uint32_t events = 0xFFFF;
    ce::Error result = 0xFFFF;
    std::thread waiter([&] { result = port->waitCommEvent(events); });
    std::this_thread::sleep_for(100ms);
    ASSERT_EQ(port->setCommMask(0), ce::ERROR_SUCCESS);
    waiter.join();
    EXPECT_EQ(result, ce::ERROR_SUCCESS);
    EXPECT_EQ(events, 0u);
}

TEST(SerialPort, CloseReleasesABlockedRead) {
    Line line;
    auto port = openPort(line);
    ASSERT_TRUE(port);
    std::thread reader([&] {
        char buf[4];
        uint32_t got = 0;
        EXPECT_EQ(port->read(buf, sizeof buf, &got), ce::ERROR_INVALID_HANDLE);
    });
    std::this_thread::sleep_for(50ms);
    port->close();
    reader.join();
    uint32_t written = 0;
    EXPECT_EQ(port->write("x", 1, &written), ce::ERROR_INVALID_HANDLE);
    // The tty is free again.
    EXPECT_TRUE(ce::SerialPort::openHost(line.slave, 0).ok());
}

TEST(SerialPort, QueuedBytesPurgeAndModemLines) {
    Line line;
    auto port = openPort(line);
    ASSERT_TRUE(port);
    line.send("12345");
    std::this_thread::sleep_for(50ms);
    uint32_t errors = 1;
    ce::ComStat stat;
    ASSERT_EQ(port->clearCommError(errors, stat), ce::ERROR_SUCCESS);
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 5u);

    ASSERT_EQ(port->purge(ce::PURGE_RXABORT | ce::PURGE_RXCLEAR | ce::PURGE_TXABORT | ce::PURGE_TXCLEAR), ce::ERROR_SUCCESS);
    ASSERT_EQ(port->clearCommError(errors, stat), ce::ERROR_SUCCESS);
    EXPECT_EQ(stat.cbInQue, 0u);

    // A pty has no modem lines: raising and dropping DTR is still a success.
    EXPECT_EQ(port->escapeCommFunction(ce::SETDTR), ce::ERROR_SUCCESS);
    EXPECT_EQ(port->escapeCommFunction(ce::CLRDTR), ce::ERROR_SUCCESS);
    EXPECT_EQ(port->escapeCommFunction(77), ce::ERROR_INVALID_PARAMETER);
}

TEST(SerialPort, ExclusiveOpenAcrossProcesses) {
    Line line;
    auto port = openPort(line);
    ASSERT_TRUE(port);
    EXPECT_EQ(ce::SerialPort::openHost(line.slave, 0).error(), ce::ERROR_SHARING_VIOLATION);

    pid_t child = fork();
    if (child == 0) _exit(int(ce::SerialPort::openHost(line.slave, 0).error()));
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), int(ce::ERROR_SHARING_VIOLATION));

    port.reset();
    EXPECT_TRUE(ce::SerialPort::openHost(line.slave, 0).ok());
}

TEST(SerialPort, OpensByPortNameThroughTheHeadUnit) {
    Line line;
    sim::TempHeadUnit unit;
    std::filesystem::create_symlink(line.slave, unit.root() / "dev" / "COM5");
    auto port = ce::SerialPort::open("COM5:", 0xC0000000, 0);
    ASSERT_TRUE(port.ok()) << port.error();
    uint32_t written = 0;
    ASSERT_EQ((*port)->write("hi", 2, &written), ce::ERROR_SUCCESS);
    EXPECT_EQ(line.receive(2), "hi");

    EXPECT_EQ(ce::SerialPort::open("COM2:", 0xC0000000, 0).error(), ce::ERROR_FILE_NOT_FOUND);  // no link
    EXPECT_EQ(ce::SerialPort::open("COM9:", 0xC0000000, 0).error(), ce::ERROR_FILE_NOT_FOUND);  // unknown
}

}  // namespace
