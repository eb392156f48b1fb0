// The engine's view of the module's serial port, on a pseudo-terminal: bytes written one at a
// time reach the line whole and in order by the time the link pauses, and a byte that arrives
// while the worker waits is read at once.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/devices/serial_port.h"
#include "sim/pty/pty_endpoint.h"
#include "updater/bluetooth/bcsp_link.h"
#include "updater/bluetooth/serial_line.h"

namespace bluetooth {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class SerialLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/serial-line-test-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        module_ = std::make_unique<sim::PtyEndpoint>(dir_ / "COM2");
        auto port = ce::SerialPort::openHost((dir_ / "COM2").string(), 0);
        ASSERT_TRUE(port.ok());
        port_ = std::move(*port);
        ce::Dcb dcb;
        dcb.BaudRate = 115200;
        dcb.Parity = ce::EVENPARITY;
        dcb.fParity = true;
        ASSERT_EQ(port_->setState(dcb), ce::ERROR_SUCCESS);
        ce::CommTimeouts atOnce;
        atOnce.ReadIntervalTimeout = ce::MAXDWORD;
        ASSERT_EQ(port_->setTimeouts(atOnce), ce::ERROR_SUCCESS);
        line_ = std::make_unique<SerialLine>(*port_);
    }
    void TearDown() override {
        line_.reset();
        port_.reset();
        module_.reset();
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // What the module end has received so far, waiting briefly for stragglers.
    std::vector<uint8_t> received(size_t expected) {
        std::vector<uint8_t> got;
        const auto deadline = Clock::now() + 5s;
        while (got.size() < expected && Clock::now() < deadline) {
            const auto more = module_->read(50);
            got.insert(got.end(), more.begin(), more.end());
        }
        return got;
    }

    fs::path dir_;
    std::unique_ptr<sim::PtyEndpoint> module_;
    std::unique_ptr<ce::SerialPort> port_;
    std::unique_ptr<SerialLine> line_;
};

// A packet written through the link: when the link first asks for a pause after its last
// byte, every byte of the frame is on its way, none held back.
TEST_F(SerialLineTest, AFrameIsWholeOnTheLineWhenTheLinkPauses) {
    BcspLink link(*line_);
    // The sync the shy link sends first (twelve characters), then its first pause.
    uint8_t activity = 0;
    int polls = 0;
    while (polls < 100 && link.poll(activity) == 0) ++polls;
    const auto sync = received(12);
    ASSERT_EQ(sync.size(), 12u);
    EXPECT_EQ(sync.front(), 0xC0);
    EXPECT_EQ(sync.back(), 0xC0);
    EXPECT_EQ(line_->bytesWritten(), 12u);
}

// Bytes written in a burst leave in one piece and in order, whatever size the burst has.
TEST_F(SerialLineTest, ABurstArrivesWholeAndInOrder) {
    std::vector<uint8_t> sent;
    for (int i = 0; i < 200; ++i) {
        while (!line_->readyToSend()) std::this_thread::sleep_for(1ms);
        sent.push_back(static_cast<uint8_t>(i * 13 + 1));
        line_->writeByte(sent.back());
    }
    line_->flush();
    EXPECT_EQ(received(sent.size()), sent);
    EXPECT_EQ(line_->bytesWritten(), sent.size());
}

// A read looks at the port at most once a character time, except right after a wait that
// saw bytes arrive: that byte is read at once.
TEST_F(SerialLineTest, AByteThatEndsAWaitIsReadAtOnce) {
    uint8_t buffer[16];
    EXPECT_EQ(line_->read(buffer, sizeof buffer), 0u);
    const uint8_t byte = 0x5A;
    module_->write(&byte, 1);
    line_->waitForInput(5000);
    EXPECT_EQ(line_->read(buffer, sizeof buffer), 1u);
    EXPECT_EQ(buffer[0], 0x5A);
    // Nothing lost however often the port is asked: bytes that come later are read later.
    const uint8_t more[3] = {1, 2, 3};
    module_->write(more, sizeof more);
    uint32_t got = 0;
    const auto deadline = Clock::now() + 5s;
    while (got < 3 && Clock::now() < deadline) got += line_->read(buffer + got, sizeof buffer - got);
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(buffer[2], 3);
}

}  // namespace
}  // namespace bluetooth
