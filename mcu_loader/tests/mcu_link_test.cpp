// The status wait of the programming link, fed directly through its receive buffer and
// data-received event: what it takes, what it leaves, and that it always ends with a code that
// cannot pass for success.

#include "mcu_loader/mcu_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "mcu_loader/mcu_protocol.h"

namespace mculoader {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kAck = {0x02, 0x01, 0x06, 0xF9, 0x03};
const Bytes kBlockAck = {0x02, 0x02, 0x06, 0x06, 0xF2, 0x03};

class LinkWait : public ::testing::Test {
protected:
    void SetUp() override {
        Link().session = std::make_shared<McuSession>();
        Link().receiveBuffer.Clear();
    }
    void TearDown() override { Link().session.reset(); }

    // Bytes arriving as ThreadWatchComm hands them over.
    void arrive(const Bytes& bytes) {
        Link().receiveBuffer.Append(bytes.data(), bytes.size());
        Link().session->dataReceived.set();
    }
};

TEST_F(LinkWait, TakesWhatTheBufferAlreadyHoldsAndKeepsAFrameThatCameWithIt) {
    Bytes both = kBlockAck;
    both.insert(both.end(), kAck.begin(), kAck.end());
    arrive(both);
    StatusResult block = WaitStatusFrame(ACK, 50);
    EXPECT_TRUE(block.matched);
    EXPECT_EQ(block.st2, ACK);
    EXPECT_EQ(block.frame, kBlockAck);
    // No new signal comes: the internal-verify status is found in the buffer at once.
    StatusResult verify = WaitStatusFrame(ACK, 50);
    EXPECT_TRUE(verify.matched);
    EXPECT_EQ(verify.frame, kAck);
}

TEST_F(LinkWait, ARefusalEndsInTheTimeOutWithItsStatusAsTheCode) {
    arrive({0x02, 0x01, 0x1B, 0xE4, 0x03});  // "not blank"
    StatusResult r = WaitStatusFrame(ACK, 5);
    EXPECT_FALSE(r.matched);
    EXPECT_EQ(r.st1, 0x1B);
    EXPECT_EQ(Link().receiveBuffer.Count(), 0u);
}

TEST_F(LinkWait, NoAnswerOrAZeroStatusNeverReadsAsSuccess) {
    StatusResult silent = WaitStatusFrame(ACK, 2);
    EXPECT_FALSE(silent.matched);
    EXPECT_NE(silent.st1, 0);
    EXPECT_NE(silent.st2, 0);

    arrive({0x02, 0x02, 0x00, 0x00, 0xFE, 0x03});  // ST1 = ST2 = 0: not ACK, and not "blank"
    StatusResult zero = WaitStatusFrame(ACK, 2);
    EXPECT_FALSE(zero.matched);
    EXPECT_NE(zero.st1, 0);
    EXPECT_NE(zero.st2, 0);
}

TEST_F(LinkWait, NoiseThatKeepsArrivingCannotKeepAWaitAliveForever) {
    std::atomic<bool> stop{false};
    std::thread noise([&] {
        while (!stop) {
            arrive({0xF8, 0x80});
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    auto start = std::chrono::steady_clock::now();
    StatusResult r = WaitStatusFrame(ACK, 5);  // 50 ms per silence, each batch restarts it
    auto waited = std::chrono::steady_clock::now() - start;
    stop = true;
    noise.join();
    EXPECT_FALSE(r.matched);
    EXPECT_EQ(r.st1, NO_STATUS);
    // Ten time-outs in all (500 ms) at most; a generous margin for a loaded machine.
    EXPECT_LT(waited, std::chrono::seconds(5));
}

}  // namespace
}  // namespace mculoader
