// The firmware's receiver: frames out of a byte stream that arrives in pieces, with noise.

#include "sim/mcu/host_frame_reader.h"

#include <gtest/gtest.h>

#include "firmware_fixture.h"

namespace sim::mcu {
namespace {

using testing::Bytes;

TEST(HostFrameReader, AssemblesFramesFedInPiecesAndSkipsNoise) {
    HostFrameReader reader;
    Bytes stream = {0x00, 0x00, 0xF8, 0x80};
    Bytes reset = testing::command(0x00);
    EXPECT_EQ(reset, (Bytes{0x01, 0x01, 0x00, 0xFF, 0x03}));
    Bytes block(256);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i);
    Bytes data = testing::dataFrame(block, true);
    EXPECT_EQ(data[1], 0x00);  // 256 bytes are announced as 0
    stream.insert(stream.end(), reset.begin(), reset.end());
    stream.insert(stream.end(), data.begin(), data.end());

    std::vector<HostFrame> frames;
    for (size_t at = 0; at < stream.size(); at += 7) {
        auto got = reader.feed(stream.data() + at, std::min<size_t>(7, stream.size() - at), 10);
        frames.insert(frames.end(), got.begin(), got.end());
    }
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].kind, HostFrame::Sync);
    EXPECT_EQ(frames[1].kind, HostFrame::Sync);
    EXPECT_EQ(frames[2].kind, HostFrame::Command);
    EXPECT_EQ(frames[2].command, 0x00);
    EXPECT_TRUE(frames[2].checksumOk);
    EXPECT_EQ(frames[3].kind, HostFrame::Data);
    EXPECT_EQ(frames[3].data, block);
    EXPECT_TRUE(frames[3].last);
    EXPECT_TRUE(frames[3].checksumOk);
    EXPECT_EQ(reader.takeSkipped(), 2u);
}

TEST(HostFrameReader, ReportsABadChecksumAndDropsAFrameLeftUnfinished) {
    HostFrameReader reader(200);
    Bytes bad = testing::command(0xC0);
    bad[3] ^= 1;
    auto frames = reader.feed(bad.data(), bad.size(), 0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_FALSE(frames[0].checksumOk);

    Bytes partial = {0x01, 0x07, 0x40, 0x00};
    EXPECT_TRUE(reader.feed(partial.data(), partial.size(), 100).empty());
    Bytes reset = testing::command(0x00);
    frames = reader.feed(reset.data(), reset.size(), 1000);  // long after: the partial frame is gone
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, 0x00);
    EXPECT_EQ(reader.takeSkipped(), partial.size());
}

TEST(HostFrameReader, AWrongTerminatorIsNoFrame) {
    HostFrameReader reader;
    Bytes wrong = {0x01, 0x01, 0x00, 0xFF, 0x17};  // ETB ends only data frames
    Bytes reset = testing::command(0x00);
    wrong.insert(wrong.end(), reset.begin(), reset.end());
    auto frames = reader.feed(wrong.data(), wrong.size(), 0);
    ASSERT_EQ(frames.size(), 2u);  // the 0x00 inside the broken frame reads as a sync byte
    EXPECT_EQ(frames[0].kind, HostFrame::Sync);
    EXPECT_EQ(frames[1].kind, HostFrame::Command);
}

}  // namespace
}  // namespace sim::mcu
