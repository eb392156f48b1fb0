// Frames the loader builds, checked byte for byte against the protocol's layouts.

#include "mcu_loader/mcu_frames.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace mculoader {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(McuFrames, CommandFramesCarryLengthCommandDataAndAZeroSum) {
    uint8_t out[16];
    size_t n = BuildCommandFrame(out, 0x00, 0, nullptr);
    EXPECT_EQ(Bytes(out, out + n), (Bytes{0x01, 0x01, 0x00, 0xFF, 0x03}));

    const uint8_t range[] = {0x00, 0x00, 0x00, 0x00, 0xEF, 0xFF};
    n = BuildCommandFrame(out, 0x40, sizeof range, range);
    ASSERT_EQ(n, 11u);
    EXPECT_EQ(out[1], 7);
    EXPECT_EQ(out[2], 0x40);
    EXPECT_EQ(Bytes(out + 3, out + 9), Bytes(range, range + 6));
    EXPECT_EQ(std::accumulate(out + 1, out + 10, 0u) & 0xFF, 0u);
    EXPECT_EQ(out[10], 0x03);
}

TEST(McuFrames, DataFramesWrite256AsZeroAndEndWithEtbOrEtx) {
    Bytes block(256);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 3);
    uint8_t out[300];
    size_t n = BuildDataFrame(out, block.size(), block.data(), false);
    ASSERT_EQ(n, 260u);
    EXPECT_EQ(out[0], 0x02);
    EXPECT_EQ(out[1], 0x00);
    EXPECT_EQ(std::accumulate(out + 1, out + 259, 0u) & 0xFF, 0u);
    EXPECT_EQ(out[259], 0x17);
    n = BuildDataFrame(out, 3, block.data() + 1, true);
    EXPECT_EQ(Bytes(out, out + n), (Bytes{0x02, 0x03, 0x03, 0x06, 0x09, 0xEB, 0x03}));
}

TEST(McuFrames, RecognisesIncompleteBadAndValidFramesFromTheMcu) {
    const Bytes ack = {0x02, 0x01, 0x06, 0xF9, 0x03};
    EXPECT_EQ(CheckMcuFrame(ack.data(), ack.size()), FrameCheck::Valid);
    EXPECT_EQ(CheckMcuFrame(ack.data(), 3), FrameCheck::Incomplete);
    EXPECT_EQ(CheckMcuFrame(ack.data(), 0), FrameCheck::Incomplete);
    Bytes bad = ack;
    bad[3] = 0xF8;
    EXPECT_EQ(CheckMcuFrame(bad.data(), bad.size()), FrameCheck::BadSum);
    EXPECT_EQ(CheckMcuFrame(ack.data() + 1, 4), FrameCheck::NotAFrame);
}

}  // namespace
}  // namespace mculoader
