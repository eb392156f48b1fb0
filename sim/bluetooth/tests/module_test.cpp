// The simulated module's own rules: what its DFU device refuses, how its BCSP peer treats
// sequence numbers and retransmits, and what its options accept.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "sim/bluetooth/bcsp_peer.h"
#include "sim/bluetooth/dfu_device.h"
#include "sim/bluetooth/module_options.h"

namespace sim::bluetooth {
namespace {

using Clock = std::chrono::steady_clock;

Bytes setup(uint8_t type, uint8_t request, uint16_t value, uint16_t length, const Bytes& data = {}) {
    Bytes out = {type, request, static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), 0, 0,
                 static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

uint8_t stateAfterStatus(DfuDevice& device) {
    auto outcome = device.handle(setup(0xA1, 0x03, 0, 6), Clock::now());
    EXPECT_EQ(outcome.answer.size(), 10u);
    return outcome.answer[8];
}

TEST(DfuDevice, RefusesBlocksOutOfOrderTooLongOrAnEmptyDownloadBeforeAnyBlock) {
    DfuSettings settings;
    settings.startInDfuMode = true;
    settings.transferSize = 16;
    DfuDevice device(settings, [](const std::string&) {});

    device.handle(setup(0x21, 0x01, 0, 0), Clock::now());  // nothing downloaded yet
    EXPECT_EQ(stateAfterStatus(device), 10);               // dfuERROR
    device.handle(setup(0x21, 0x04, 0, 0), Clock::now());  // clear status
    EXPECT_EQ(stateAfterStatus(device), 2);

    device.handle(setup(0x21, 0x01, 0, 4, {1, 2, 3, 4}), Clock::now());
    EXPECT_EQ(stateAfterStatus(device), 5);                             // dfuDNLOAD-IDLE
    device.handle(setup(0x21, 0x01, 2, 4, {5, 6, 7, 8}), Clock::now());  // block 1 skipped
    EXPECT_EQ(stateAfterStatus(device), 10);

    DfuDevice fresh(settings, [](const std::string&) {});
    fresh.handle(setup(0x21, 0x01, 0, 17, Bytes(17, 0)), Clock::now());  // longer than the transfer size
    EXPECT_EQ(stateAfterStatus(fresh), 10);
    EXPECT_TRUE(fresh.image().empty());
}

TEST(DfuDevice, ApplicationModeDetachesAndRestartsIntoDfuModeOnReset) {
    DfuDevice device(DfuSettings{}, [](const std::string&) {});
    EXPECT_EQ(stateAfterStatus(device), 0);
    EXPECT_EQ(device.handle(setup(0x21, 0x01, 0, 1, {9}), Clock::now()).answer[1], 1);  // stalled
    device.handle(setup(0x21, 0x00, 3000, 0), Clock::now());
    EXPECT_EQ(stateAfterStatus(device), 1);
    EXPECT_EQ(device.handle(setup(0x41, 0x07, 0, 0), Clock::now()).restart, DfuDevice::Restart::Dfu);
}

// A busy device answers a status request that comes before its poll time-out by stalling it
// and going to dfuERROR; a lenient one reports the time left instead. Once the time-out has
// passed both report the block written.
TEST(DfuDevice, RequestWhileBusyFailsUnlessLenient) {
    for (bool lenient : {false, true}) {
        DfuSettings settings;
        settings.startInDfuMode = true;
        settings.busyMs = 100;
        settings.lenientBusy = lenient;
        DfuDevice device(settings, [](const std::string&) {});
        const auto start = Clock::now();
        device.handle(setup(0x21, 0x01, 0, 4, {1, 2, 3, 4}), start);
        auto busy = device.handle(setup(0xA1, 0x03, 0, 6), start);
        EXPECT_EQ(busy.answer[8], 4) << lenient;  // dfuDNBUSY
        EXPECT_EQ(busy.answer[5], 100) << lenient;  // its poll time-out
        EXPECT_EQ(device.busyUntil(), lenient ? start + std::chrono::milliseconds(100) : Clock::time_point{});

        auto early = device.handle(setup(0xA1, 0x03, 0, 6), start + std::chrono::milliseconds(60));
        if (lenient) {
            EXPECT_EQ(early.answer[1], 0);
            EXPECT_EQ(early.answer[8], 4);
            EXPECT_EQ(early.answer[5], 40);
        } else {
            EXPECT_EQ(early.answer[1], 1);  // stalled
            EXPECT_EQ(device.state(), 10);
            continue;
        }
        auto late = device.handle(setup(0xA1, 0x03, 0, 6), start + std::chrono::milliseconds(100));
        EXPECT_EQ(late.answer[8], 5);  // dfuDNLOAD-IDLE
    }
    DfuSettings strict;
    strict.startInDfuMode = true;
    strict.busyMs = 100;
    DfuDevice device(strict, [](const std::string&) {});
    const auto start = Clock::now();
    device.handle(setup(0x21, 0x01, 0, 4, {1, 2, 3, 4}), start);
    device.handle(setup(0xA1, 0x03, 0, 6), start);
    EXPECT_EQ(device.handle(setup(0xA1, 0x03, 0, 6), start + std::chrono::milliseconds(100)).answer[8], 5);
}

// A host end written for the test: frames built with the module's own encoder are enough
// here, since the wire format itself is checked against the engine in the download tests.
Bytes hostFrame(bool reliable, uint8_t seq, uint8_t ack, uint8_t channel, const Bytes& payload) {
    BcspFrame frame;
    frame.reliable = reliable;
    frame.seq = seq;
    frame.ack = ack;
    frame.channel = channel;
    frame.payload = payload;
    return SlipWrap(EncodeFrame(frame));
}

void feed(BcspPeer& peer, const Bytes& bytes) {
    for (uint8_t b : bytes) peer.receive(b);
}

std::vector<BcspFrame> framesIn(const Bytes& wire) {
    std::vector<BcspFrame> frames;
    SlipReader reader;
    for (uint8_t b : wire) {
        if (auto raw = reader.feed(b)) {
            FrameError error;
            if (auto frame = DecodeFrame(raw->raw, error)) frames.push_back(*frame);
        }
    }
    return frames;
}

TEST(BcspPeer, DeliversInSequenceAndRetransmitsUntilAcknowledged) {
    PeerTiming timing;
    timing.retransmit = std::chrono::milliseconds(50);
    BcspPeer peer(PeerFaults{}, timing, [](const std::string&) {});
    auto t = Clock::now();
    peer.poll(t);
    feed(peer, hostFrame(false, 0, 0, 1, {0xAC, 0xAF, 0xEF, 0xEE}));  // sync-resp
    feed(peer, hostFrame(false, 0, 0, 1, {0xDE, 0xAD, 0xD0, 0xD0}));  // conf-resp
    ASSERT_EQ(peer.state(), BcspPeer::State::Garrulous);

    feed(peer, hostFrame(true, 1, 0, 12, {7}));  // out of sequence
    EXPECT_TRUE(peer.takeDeliveries().empty());
    auto ack = framesIn(peer.poll(t));
    ASSERT_EQ(ack.size(), 1u);
    EXPECT_EQ(ack[0].ack, 0);

    feed(peer, hostFrame(true, 0, 0, 12, {8}));
    auto delivered = peer.takeDeliveries();
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].payload, Bytes{8});

    peer.send(12, {1, 2});
    auto first = framesIn(peer.poll(t));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_TRUE(first[0].reliable);
    EXPECT_EQ(first[0].ack, 1);  // the acknowledgement rides along
    EXPECT_TRUE(framesIn(peer.poll(t + std::chrono::milliseconds(10))).empty());
    auto again = framesIn(peer.poll(t + std::chrono::milliseconds(60)));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].payload, first[0].payload);
    feed(peer, hostFrame(false, 0, 1, 0, {}));  // acknowledged
    EXPECT_TRUE(peer.allSent());
}

TEST(ModuleOptions, OverridesWinOverTheProfileAndBadValuesAreRefused) {
    ModuleOptions options;
    std::string error;
    ASSERT_TRUE(ApplyModuleJson({{"transferSize", 2048}, {"dfuMode", true}}, options, error)) << error;
    ASSERT_TRUE(ApplyModuleJson({{"transferSize", 512}, {"paced", true}}, options, error)) << error;
    EXPECT_EQ(options.dfu.transferSize, 512);
    EXPECT_TRUE(options.dfu.startInDfuMode);
    EXPECT_TRUE(options.paced);
    EXPECT_FALSE(options.dfu.lenientBusy);
    EXPECT_FALSE(ApplyModuleJson({{"busyMs", -1}}, options, error));
    EXPECT_FALSE(ApplyModuleJson({{"busyMs", 0x1000000}}, options, error));
    EXPECT_FALSE(ApplyModuleJson({{"transferSize", 70000}}, options, error));  // would wrap to 4464
    EXPECT_EQ(options.dfu.transferSize, 512);
    EXPECT_FALSE(ApplyModuleJson({{"transferSize", "big"}}, options, error));
    EXPECT_FALSE(ApplyModuleJson({{"nope", 1}}, options, error));
}

}  // namespace
}  // namespace sim::bluetooth
