// Taking the MCU's frames out of the receive buffer: frames arriving together or in pieces,
// noise, corrupt frames and the 900-byte limit.

#include "mcu_loader/mcu_receive_buffer.h"

#include <gtest/gtest.h>

#include <thread>

namespace mculoader {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kAck = {0x02, 0x01, 0x06, 0xF9, 0x03};
const Bytes kBlockAck = {0x02, 0x02, 0x06, 0x06, 0xF2, 0x03};

void append(McuReceiveBuffer& buffer, const Bytes& b) { buffer.Append(b.data(), b.size()); }

TEST(McuReceiveBuffer, KeepsAFrameThatArrivedTogetherWithTheOneTaken) {
    McuReceiveBuffer buffer;
    Bytes both = kBlockAck;
    both.insert(both.end(), kAck.begin(), kAck.end());  // last block's status, then internal verify
    append(buffer, both);
    EXPECT_EQ(buffer.TakeFrame(), kBlockAck);
    EXPECT_EQ(buffer.TakeFrame(), kAck);
    EXPECT_FALSE(buffer.TakeFrame());
    EXPECT_EQ(buffer.Count(), 0u);
}

TEST(McuReceiveBuffer, WaitsForTheRestOfAFrameArrivingInPieces) {
    McuReceiveBuffer buffer;
    append(buffer, {0x02, 0x02});
    EXPECT_FALSE(buffer.TakeFrame());
    append(buffer, {0x06, 0x06});
    EXPECT_FALSE(buffer.TakeFrame());
    append(buffer, {0xF2, 0x03, 0x02});
    EXPECT_EQ(buffer.TakeFrame(), kBlockAck);
    EXPECT_EQ(buffer.Count(), 1u);  // the start of the next frame stays
}

TEST(McuReceiveBuffer, SkipsNoiseAndCorruptFrames) {
    McuReceiveBuffer buffer;
    Bytes stream = {0xF8, 0x80, 0x02, 0x01, 0x15, 0x00, 0x03, 0xFE};  // noise, a NAK with a bad sum, noise
    stream.insert(stream.end(), kAck.begin(), kAck.end());
    append(buffer, stream);
    EXPECT_EQ(buffer.TakeFrame(), kAck);
    EXPECT_FALSE(buffer.TakeFrame());
}

TEST(McuReceiveBuffer, EmptiesItselfBeforePassing900BytesAndNeverOverflows) {
    McuReceiveBuffer buffer;
    Bytes noise(850, 0x80);
    EXPECT_FALSE(buffer.Append(noise.data(), noise.size()).emptiedFirst);
    Bytes batch(60, 0x81);
    auto result = buffer.Append(batch.data(), batch.size());  // 850 + 60 > 900
    EXPECT_TRUE(result.emptiedFirst);
    EXPECT_EQ(result.countBefore, 850u);
    EXPECT_EQ(buffer.Count(), 60u);

    Bytes flood(1000, 0x55);
    flood.insert(flood.end(), kAck.begin(), kAck.end());
    buffer.Append(flood.data(), flood.size());
    EXPECT_LE(buffer.Count(), McuReceiveBuffer::kFullLimit);
    EXPECT_EQ(buffer.TakeFrame(), kAck);  // the newest bytes are the ones kept
}

TEST(McuReceiveBuffer, LosesNoFrameWhileOneThreadAppendsAndAnotherTakes) {
    McuReceiveBuffer buffer;
    constexpr int kFrames = 5000;
    std::thread producer([&] {
        for (int i = 0; i < kFrames; ++i) {
            append(buffer, {0x02, 0x02});
            append(buffer, {0x06, 0x06, 0xF2, 0x03});
            while (buffer.Count() > 600) std::this_thread::yield();
        }
    });
    int taken = 0;
    while (taken < kFrames) {
        if (auto frame = buffer.TakeFrame()) {
            ASSERT_EQ(*frame, kBlockAck);
            ++taken;
        }
    }
    producer.join();
    EXPECT_EQ(buffer.Count(), 0u);
}

}  // namespace
}  // namespace mculoader
