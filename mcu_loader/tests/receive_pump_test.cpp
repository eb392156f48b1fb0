// One receive event: reading what the port queued into the staging area and moving it on.

#include "mcu_loader/receive_pump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <vector>

namespace mculoader {
namespace {

// A port whose queue holds given bytes; reads take at most what is asked.
struct FakeQueue {
    std::deque<uint8_t> queued;
    std::vector<uint32_t> readSizes;
    int pauses = 0;
    ReceivePort port() {
        return {[this] { return static_cast<uint32_t>(queued.size()); },
                [this](uint8_t* to, uint32_t size) {
                    readSizes.push_back(size);
                    uint32_t n = std::min<uint32_t>(size, static_cast<uint32_t>(queued.size()));
                    for (uint32_t i = 0; i < n; ++i) {
                        to[i] = queued.front();
                        queued.pop_front();
                    }
                    return n;
                },
                [this] { ++pauses; }};
    }
};

TEST(ReceivePump, MovesEverythingQueuedOnAndPausesAfterEachRead) {
    FakeQueue q;
    for (int i = 0; i < 7; ++i) q.queued.push_back(static_cast<uint8_t>(i));
    StagingArea staging;
    std::vector<std::vector<uint8_t>> moved;
    size_t n = PumpReceivedBytes(staging, q.port(), [&](const uint8_t* d, size_t c) { moved.emplace_back(d, d + c); });
    EXPECT_EQ(n, 7u);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0], (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(q.pauses, 1);
    EXPECT_EQ(staging.Count(), 0u);
}

TEST(ReceivePump, MoreThanTheStagingAreaHoldsIsReadInPiecesThatFit) {
    FakeQueue q;
    for (int i = 0; i < 2500; ++i) q.queued.push_back(static_cast<uint8_t>(i));
    StagingArea staging;
    std::vector<uint8_t> all;
    int moves = 0;
    PumpReceivedBytes(staging, q.port(), [&](const uint8_t* d, size_t c) {
        ++moves;
        all.insert(all.end(), d, d + c);
    });
    for (uint32_t size : q.readSizes) EXPECT_LE(size, StagingArea::kSize);
    ASSERT_EQ(all.size(), 2500u);
    for (int i = 0; i < 2500; ++i) ASSERT_EQ(all[i], static_cast<uint8_t>(i));
    EXPECT_EQ(moves, 3);  // two full areas, then the rest
}

TEST(ReceivePump, AnEmptyEventStillSignals) {
    FakeQueue q;
    StagingArea staging;
    int moves = 0;
    EXPECT_EQ(PumpReceivedBytes(staging, q.port(), [&](const uint8_t*, size_t c) { moves += c == 0; }), 0u);
    EXPECT_EQ(moves, 1);
}

}  // namespace
}  // namespace mculoader
