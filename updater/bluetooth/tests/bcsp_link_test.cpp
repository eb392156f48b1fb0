// The host end of the BCSP link, byte by byte on a line in memory.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/core/debug.h"
#include "updater/bluetooth/bcsp_crc.h"
#include "updater/bluetooth/bcsp_link.h"
#include "updater/bluetooth/tests/memory_port.h"

namespace bluetooth {
namespace {

using namespace testing;

struct Polled {
    uint8_t activity = 0;  // all flags seen
    int polls = 0;
};

// Polls until `done` or the limit; collects the activity flags.
template <class Done>
Polled pollUntil(BcspLink& link, Done done, int limit = 2000) {
    Polled result;
    while (result.polls < limit && !done()) {
        uint8_t activity = 0;
        link.poll(activity);
        result.activity |= activity;
        ++result.polls;
    }
    return result;
}

Polled pollTimes(BcspLink& link, int times) {
    int n = 0;
    return pollUntil(link, [&] { return n++ >= times; });
}

class LinkTest : public ::testing::Test {
protected:
    LinkTest() : link(port) {
        slot.payload = slotBytes;
        slot.length = 64;
        link.receivePacket(&slot);
    }

    void rearm(uint16_t capacity = 64) {
        slot.length = capacity;
        link.receivePacket(&slot);
    }

    // Takes the link to garrulous with the peer's sync-resp and conf-resp; returns the flags.
    uint8_t establish() {
        port.deliver(linkMessage(kSyncResp));
        Polled curious = pollUntil(link, [&] { return link.linkState() == LinkState::Curious; });
        port.deliver(linkMessage(kConfResp));
        Polled up = pollUntil(link, [&] { return link.linkState() == LinkState::Garrulous; });
        // Let the leftover link message and the pause pass.
        pollTimes(link, 60);
        port.written.clear();
        return static_cast<uint8_t>(curious.activity | up.activity);
    }

    MemoryPort port;
    BcspLink link;
    BcspPacket slot;
    uint8_t slotBytes[64] = {};
};

TEST(BcspCrc, CheckValueOfTheNineDigitsGoesOutAs89F6) {
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    uint16_t reg = BcspCrc(digits, sizeof digits);
    EXPECT_EQ(reg, 0x6F91);  // the register before reversal
    EXPECT_EQ(BcspBitReverse(reg), 0x89F6);
    EXPECT_EQ(BcspBitReverse(reg), referenceCrc(Bytes(digits, digits + 9)));
}

TEST_F(LinkTest, ShyLinkSendsSyncAndRepeatsItAfterTwentyFivePolls) {
    Polled first = pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    EXPECT_EQ(port.written, (Bytes{0xC0, 0x40, 0x41, 0x00, 0x7E, 0xDA, 0xDC, 0xED, 0xED, 0xA9, 0x7A, 0xC0}));
    EXPECT_EQ(first.polls, 11);  // opening 0xC0, ten bytes, the last with the closing 0xC0
    EXPECT_EQ(port.writeCalls, 12);  // one write per byte

    // 25 quiet polls, then the next sync starts.
    size_t before = port.written.size();
    Polled pause = pollUntil(link, [&] { return port.written.size() > before; });
    EXPECT_EQ(pause.polls, 26);
    EXPECT_EQ(port.written.back(), 0xC0);
}

TEST_F(LinkTest, EstablishesTheLinkThroughCuriousAndReportsItOnce) {
    port.deliver(linkMessage(kSync));
    Polled shy = pollUntil(link, [&] { return framesOf(port.written).size() >= 3; });
    // Answers the peer's sync with a sync-resp (after the sync already chosen).
    auto frames = framesOf(port.written);
    EXPECT_EQ(frames[0], linkMessage(kSync));
    EXPECT_EQ(frames[2], linkMessage(kSyncResp));
    EXPECT_EQ(link.linkState(), LinkState::Shy);
    EXPECT_EQ(shy.activity, 0);

    port.written.clear();
    port.deliver(linkMessage(kSyncResp));
    pollUntil(link, [&] { return framesOf(port.written).size() >= 2; });
    EXPECT_EQ(link.linkState(), LinkState::Curious);
    EXPECT_EQ(framesOf(port.written).back(), linkMessage(kConf));  // a curious side sends conf

    // The peer's conf is answered with conf-resp while curious.
    port.written.clear();
    port.deliver(linkMessage(kConf));
    pollUntil(link, [&] {
        auto f = framesOf(port.written);
        return std::find(f.begin(), f.end(), linkMessage(kConfResp)) != f.end();
    });

    port.deliver(linkMessage(kConfResp));
    Polled up = pollUntil(link, [&] { return link.linkState() == LinkState::Garrulous; });
    EXPECT_EQ(up.activity & BCSP_PACKET_SENT, BCSP_PACKET_SENT);
    Polled after = pollTimes(link, 200);
    EXPECT_EQ(after.activity, 0);  // reported once

    // Once garrulous, link messages stop (after the conf already chosen).
    port.written.clear();
    pollTimes(link, 200);
    EXPECT_TRUE(port.written.empty());
}

TEST_F(LinkTest, AcknowledgementPacketWithAckNumberOne) {
    establish();
    port.deliver(frame(true, 0, 0, 12, {0x01, 0x02, 0x03}));
    Polled got = pollUntil(link, [&] { return !link.receiveArmed(); });
    EXPECT_EQ(got.activity & (BCSP_PACKET_RECEIVED | BCSP_ACK_OWED), BCSP_PACKET_RECEIVED | BCSP_ACK_OWED);
    EXPECT_EQ(slot.length, 3);
    EXPECT_EQ(slot.channel, 12);
    EXPECT_EQ(link.acknowledgementNumber(), 1);

    pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    EXPECT_EQ(port.written, (Bytes{0xC0, 0x48, 0x00, 0x00, 0xB7, 0x5E, 0x8C, 0xC0}));
}

// The pause between packets times retransmissions: a packet queued on an idle link goes out
// at the next poll, not after the idle pause, and the acknowledgement owed rides on it.
TEST_F(LinkTest, PacketQueuedOnAnIdleLinkGoesOutAtTheNextPoll) {
    establish();
    port.deliver(frame(true, 0, 0, 12, {0x01, 0x02, 0x03}));
    pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    ASSERT_EQ(port.written.size(), 8u);  // the bare acknowledgement
    pollTimes(link, 3);                   // idle: the pause has begun
    rearm();
    uint8_t payload[] = {0xA1, 0x03, 0, 0, 0, 0, 6, 0};
    BcspPacket packet{12, 1, 1, sizeof payload, payload};
    link.sendPacket(&packet);
    uint8_t activity = 0;
    link.poll(activity);
    EXPECT_EQ(port.written.size(), 9u);  // its first byte at once
    pollUntil(link, [&] { return framesOf(port.written).size() == 2; });
    EXPECT_EQ(framesOf(port.written)[1], frame(true, 0, 1, 12, Bytes(payload, payload + 8)));

    // Replacing a packet that still awaits its acknowledgement keeps the pause.
    const size_t afterPacket = port.written.size();
    link.sendPacket(&packet);
    pollTimes(link, BcspLink::kIdlePolls - 2);
    EXPECT_EQ(port.written.size(), afterPacket);
}

// The retransmission pause starts once the frame has left the line: however long the port's
// queue, the peer gets the time to answer.
TEST_F(LinkTest, RetransmissionPauseCountsFromTheEmptyTransmitter) {
    establish();
    uint8_t payload[] = {0xA1, 0x03, 0, 0, 0, 0, 6, 0};
    BcspPacket packet{12, 1, 1, sizeof payload, payload};
    port.empty = false;  // the frame's bytes are still queued
    link.sendPacket(&packet);
    pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    pollTimes(link, 10 * BcspLink::kIdlePolls);
    EXPECT_EQ(framesOf(port.written).size(), 1u);
    port.empty = true;
    pollUntil(link, [&] { return framesOf(port.written).size() == 2; }, 2 * BcspLink::kIdlePolls + 20);
    EXPECT_EQ(framesOf(port.written).size(), 2u);
}

TEST_F(LinkTest, EscapesFrameBytesAndCountsThemOnceInTheCrc) {
    establish();
    uint8_t payload[] = {0xC0, 0x11, 0xDB, 0x22};
    BcspPacket packet{12, 1, 1, sizeof payload, payload};
    link.sendPacket(&packet);
    pollUntil(link, [&] { return framesOf(port.written).size() == 1; });

    Bytes raw = rawFrame(true, 0, 0, 12, Bytes(payload, payload + 4));
    EXPECT_EQ(port.written, slip(raw));
    // The payload appears on the wire with its escapes; no 0xC0 stands inside the frame.
    const Bytes escaped = {0xDB, 0xDC, 0x11, 0xDB, 0xDD, 0x22};
    EXPECT_NE(std::search(port.written.begin(), port.written.end(), escaped.begin(), escaped.end()),
              port.written.end());
    EXPECT_EQ(std::count(port.written.begin(), port.written.end(), 0xC0), 2);
    // The CRC is that of the plain bytes (header byte 0xC0 included, counted once).
    uint16_t crc = referenceCrc(Bytes(raw.begin(), raw.end() - 2));
    EXPECT_EQ(raw[raw.size() - 2], crc >> 8);
    EXPECT_EQ(raw[raw.size() - 1], crc & 0xFF);
}

TEST_F(LinkTest, ReliablePacketIsSentAgainUntilAcknowledged) {
    establish();
    uint8_t payload[] = {0xA1, 0x03, 0, 0, 0, 0, 6, 0};
    BcspPacket packet{12, 1, 1, sizeof payload, payload};
    link.sendPacket(&packet);
    pollUntil(link, [&] { return framesOf(port.written).size() == 3; });
    auto frames = framesOf(port.written);
    EXPECT_EQ(frames[0], frames[1]);
    EXPECT_EQ(frames[1], frames[2]);
    EXPECT_TRUE(link.sendPending());

    // The peer's acknowledgement (ACK 1) releases it and advances our sequence number.
    port.deliver(frame(false, 0, 1, 0, {}));
    Polled acked = pollUntil(link, [&] { return !link.sendPending(); });
    EXPECT_EQ(acked.activity & BCSP_PACKET_SENT, BCSP_PACKET_SENT);
    EXPECT_EQ(link.sequenceNumber(), 1);
    port.written.clear();
    pollTimes(link, 200);
    EXPECT_TRUE(port.written.empty());
}

TEST_F(LinkTest, CorruptedPacketIsDroppedAndAcknowledgedSoThePeerRetransmits) {
    establish();
    ce::DebugCapture capture;
    Bytes bad = rawFrame(true, 0, 0, 12, {0x10, 0x20, 0x30, 0x40});
    bad[5] ^= 0x01;  // a payload bit flipped on the line
    port.deliver(slip(bad));
    Polled polled = pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    EXPECT_TRUE(capture.contains("\n######################## CRC Error\n"));
    EXPECT_EQ(polled.activity & BCSP_PACKET_RECEIVED, 0);
    EXPECT_TRUE(link.receiveArmed());
    // The acknowledgement still names packet 0 as the one expected.
    EXPECT_EQ(port.written, slip(rawFrame(false, 0, 0, 0, {})));

    port.deliver(frame(true, 0, 0, 12, {0x10, 0x20, 0x30, 0x40}));
    Polled good = pollUntil(link, [&] { return !link.receiveArmed(); });
    EXPECT_EQ(good.activity & BCSP_PACKET_RECEIVED, BCSP_PACKET_RECEIVED);
    EXPECT_EQ(Bytes(slotBytes, slotBytes + slot.length), (Bytes{0x10, 0x20, 0x30, 0x40}));
}

TEST_F(LinkTest, OutOfSequencePacketIsAcknowledgedButNotDelivered) {
    establish();
    port.deliver(frame(true, 1, 0, 12, {0x55}));  // expected SEQ is 0
    Polled polled = pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    EXPECT_EQ(polled.activity & BCSP_PACKET_RECEIVED, 0);
    EXPECT_TRUE(link.receiveArmed());
    EXPECT_EQ(link.acknowledgementNumber(), 0);
    EXPECT_EQ(port.written, slip(rawFrame(false, 0, 0, 0, {})));

    // A duplicate of a packet already delivered is dropped the same way.
    port.deliver(frame(true, 0, 0, 12, {0x66}));
    pollUntil(link, [&] { return !link.receiveArmed(); });
    rearm();
    port.written.clear();
    port.deliver(frame(true, 0, 0, 12, {0x66}));
    Polled duplicate = pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    EXPECT_EQ(duplicate.activity & BCSP_PACKET_RECEIVED, 0);
    EXPECT_EQ(port.written, slip(rawFrame(false, 0, 1, 0, {})));
}

TEST_F(LinkTest, PeerResetWhileGarrulousIsReportedAloneAndStartsOver) {
    establish();
    uint8_t payload[] = {1, 2, 3};
    BcspPacket packet{12, 1, 1, sizeof payload, payload};
    link.sendPacket(&packet);
    pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    port.deliver(frame(false, 0, 1, 1, kSync));  // the sync also carries an ACK for our packet

    uint8_t activity = 0;
    Polled reset = pollUntil(link, [&] { return link.linkState() == LinkState::Shy; });
    (void)activity;
    EXPECT_EQ(reset.activity, BCSP_PEER_RESET);
    EXPECT_EQ(link.sequenceNumber(), 0);
    EXPECT_EQ(link.acknowledgementNumber(), 0);
    port.written.clear();
    pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    EXPECT_EQ(port.written, linkMessage(kSync));
}

TEST_F(LinkTest, LengthErrorsDropThePacketWithTheirLogLine) {
    establish();
    ce::DebugCapture capture;
    // The header claims 5 bytes, 4 arrive.
    port.deliver(slip(rawFrame(true, 0, 0, 12, {1, 2, 3, 4}, 5)));
    pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    EXPECT_TRUE(capture.contains("\n####################### Slip Length Error (With CRC) 5, 4\n"));
    EXPECT_TRUE(link.receiveArmed());

    // Without a CRC the count must match the length.
    Bytes noCrc = {0x80, static_cast<uint8_t>(12 | (3 << 4)), 0x00, 0};
    noCrc[3] = static_cast<uint8_t>(~(noCrc[0] + noCrc[1] + noCrc[2]));
    noCrc.push_back(9);
    port.deliver(slip(noCrc));
    pollTimes(link, 5);
    EXPECT_TRUE(capture.contains("\n######################## Slip Length Error (No CRC) 3,1\n"));

    Bytes badHeader = rawFrame(true, 0, 0, 12, {1});
    badHeader[3] ^= 0xFF;
    port.deliver(slip(badHeader));
    pollTimes(link, 5);
    EXPECT_TRUE(capture.contains("\n######################## Header Checksum Error"));
    EXPECT_EQ(link.acknowledgementNumber(), 0);
}

TEST_F(LinkTest, PayloadLargerThanTheSlotIsALengthErrorAndNeverOverrunsIt) {
    establish();
    ce::DebugCapture capture;
    std::memset(slotBytes, 0xEE, sizeof slotBytes);
    rearm(8);  // the slot takes 8 bytes; the rest of slotBytes stands for memory beyond it
    Bytes big(20);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i + 1);
    port.deliver(frame(true, 0, 0, 12, big));
    pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    EXPECT_TRUE(capture.contains("Slip Length Error (With CRC) 20, 20"));
    EXPECT_TRUE(link.receiveArmed());
    for (size_t i = 8; i < sizeof slotBytes; ++i) ASSERT_EQ(slotBytes[i], 0xEE) << "byte " << i;
    EXPECT_EQ(link.acknowledgementNumber(), 0);  // not taken, and acknowledged as such
    EXPECT_EQ(port.written, slip(rawFrame(false, 0, 0, 0, {})));
}

TEST_F(LinkTest, ByteOtherThanDcOrDdAfterAnEscapeSpoilsThePacket) {
    establish();
    ce::DebugCapture capture;
    Bytes wire = frame(true, 0, 0, 12, {0x31, 0x32});
    wire.insert(wire.begin() + 6, {0xDB, 0x41});
    port.deliver(wire);
    Polled polled = pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    EXPECT_EQ(polled.activity & BCSP_PACKET_RECEIVED, 0);
    EXPECT_TRUE(capture.contains("Slip Escape Error 41"));
    EXPECT_EQ(port.written, slip(rawFrame(false, 0, 0, 0, {})));

    // An escape cut short by the frame end spoils only that frame.
    Bytes cut = {0xC0, 0x01, 0xDB, 0xC0};
    Bytes good = frame(true, 0, 0, 12, {0x77});
    cut.insert(cut.end(), good.begin(), good.end());
    port.deliver(cut);
    Polled after = pollUntil(link, [&] { return !link.receiveArmed(); });
    EXPECT_EQ(after.activity & BCSP_PACKET_RECEIVED, BCSP_PACKET_RECEIVED);
    EXPECT_EQ(slotBytes[0], 0x77);
}

TEST_F(LinkTest, ReadsInChunksOfAtMost254AndKeepsBytesBehindADeliveredPacket) {
    establish();
    Bytes two = frame(true, 0, 0, 12, {0xA0});
    Bytes second = frame(true, 1, 0, 12, {0xA1});
    two.insert(two.end(), second.begin(), second.end());
    port.deliver(two);
    pollUntil(link, [&] { return !link.receiveArmed(); });
    EXPECT_EQ(slotBytes[0], 0xA0);
    EXPECT_TRUE(port.incoming.empty());  // read together, the second packet waits in the buffer
    rearm();
    pollUntil(link, [&] { return !link.receiveArmed(); });
    EXPECT_EQ(slotBytes[0], 0xA1);
    EXPECT_LE(port.largestReadRequest, 254u);
}

TEST_F(LinkTest, FullTransmitterHoldsTheByteAndAsksForASleep) {
    port.ready = false;
    uint8_t activity = 0;
    for (int i = 0; i < 10; ++i) EXPECT_EQ(link.poll(activity), 1);
    EXPECT_TRUE(port.written.empty());
    port.ready = true;
    pollUntil(link, [&] { return framesOf(port.written).size() == 1; });
    EXPECT_EQ(port.written, linkMessage(kSync));
}

}  // namespace
}  // namespace bluetooth
