#include "sim/bluetooth/bcsp_peer.h"

#include <algorithm>
#include <cstring>

namespace sim::bluetooth {

namespace {

constexpr uint8_t kLinkChannel = 1;
constexpr uint8_t kSync[4] = {0xDA, 0xDC, 0xED, 0xED};
constexpr uint8_t kSyncResp[4] = {0xAC, 0xAF, 0xEF, 0xEE};
constexpr uint8_t kConf[4] = {0xAD, 0xEF, 0xAC, 0xED};
constexpr uint8_t kConfResp[4] = {0xDE, 0xAD, 0xD0, 0xD0};

bool is(const Bytes& payload, const uint8_t (&message)[4]) {
    return payload.size() == 4 && std::memcmp(payload.data(), message, 4) == 0;
}

Bytes linkFrame(const uint8_t (&message)[4]) {
    BcspFrame frame;
    frame.channel = kLinkChannel;
    frame.payload.assign(message, message + 4);
    return SlipWrap(EncodeFrame(frame));
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

}  // namespace

BcspPeer::BcspPeer(PeerFaults faults, PeerTiming timing, Log log)
    : faults_(faults), timing_(timing), log_(std::move(log)) {
    restart();
}

void BcspPeer::restart() {
    state_ = State::Shy;
    reader_.reset();
    txSeq_ = 0;
    rxExpected_ = 0;
    ackOwed_ = false;
    queue_.clear();
    linkMessageDue_ = true;
    pendingLink_.clear();
    deliveries_.clear();
}

void BcspPeer::receive(uint8_t byte) {
    auto result = reader_.feed(byte);
    if (!result) return;
    if (result->broken) {
        ++counters_.framesRejected;
        log_("bcsp: frame with a broken escape dropped");
        return;
    }
    FrameError error;
    auto frame = DecodeFrame(result->raw, error);
    if (!frame) {
        ++counters_.framesRejected;
        log_(std::string("bcsp: frame dropped (") + FrameErrorName(error) + "): " + HexBytes(result->raw));
        return;
    }
    ++counters_.framesReceived;
    onFrame(*frame);
}

void BcspPeer::onFrame(const BcspFrame& frame) {
    if (frame.channel == kLinkChannel && !frame.reliable) {
        onLinkMessage(frame.payload);
        return;
    }
    if (state_ != State::Garrulous) return;

    if (frame.reliable) {
        ++reliableReceived_;
        if (every(faults_.loseReceivedEvery, reliableReceived_)) {
            log_("fault: reliable packet from the host lost on the line");
            return;
        }
    }
    // The acknowledgement number names the next packet the host expects from us.
    if (!queue_.empty() && queue_.front().sentOnce && frame.ack == ((txSeq_ + 1) & 7)) {
        queue_.pop_front();
        txSeq_ = static_cast<uint8_t>((txSeq_ + 1) & 7);
    }
    if (!frame.reliable) return;

    ackOwed_ = true;
    if (frame.seq != rxExpected_) {
        ++counters_.outOfSequence;
        log_("bcsp: packet SEQ " + std::to_string(frame.seq) + " out of sequence (expected " +
             std::to_string(rxExpected_) + "): dropped, acknowledged");
        return;
    }
    rxExpected_ = static_cast<uint8_t>((rxExpected_ + 1) & 7);
    deliveries_.push_back({frame.channel, frame.payload});
}

void BcspPeer::onLinkMessage(const Bytes& payload) {
    if (faults_.neverLink) return;
    if (is(payload, kSync)) {
        if (state_ == State::Garrulous) {
            // The host has started its link anew: so do we, and what was queued is void.
            ++counters_.hostRestarts;
            log_("bcsp: sync while the link was up: the host restarted, link restarts");
            restart();
        }
        append(pendingLink_, linkFrame(kSyncResp));
    } else if (is(payload, kSyncResp)) {
        if (state_ == State::Shy) {
            state_ = State::Curious;
            linkMessageDue_ = true;
        }
    } else if (is(payload, kConf)) {
        if (state_ != State::Shy) append(pendingLink_, linkFrame(kConfResp));
    } else if (is(payload, kConfResp)) {
        if (state_ == State::Curious) {
            state_ = State::Garrulous;
            log_("bcsp: link established");
        }
    } else {
        log_("bcsp: unknown link message " + HexBytes(payload));
    }
}

std::deque<BcspPeer::Delivery> BcspPeer::takeDeliveries() {
    std::deque<Delivery> out;
    out.swap(deliveries_);
    return out;
}

void BcspPeer::send(uint8_t channel, Bytes payload) { queue_.push_back({channel, std::move(payload)}); }

Bytes BcspPeer::reliableFrame(Outgoing& packet, bool firstTime) {
    BcspFrame frame;
    frame.seq = txSeq_;
    frame.ack = rxExpected_;
    frame.reliable = true;
    frame.channel = packet.channel;
    frame.payload = packet.payload;
    int n = packet.number;
    if (firstTime && every(faults_.outOfSequenceEvery, n)) {
        frame.seq = static_cast<uint8_t>((txSeq_ + 1) & 7);
        log_("fault: packet " + std::to_string(n) + " sent with SEQ " + std::to_string(frame.seq) + " instead of " +
             std::to_string(txSeq_));
    }
    Bytes raw = EncodeFrame(frame);
    if (firstTime && every(faults_.badCrcEvery, n)) {
        raw[raw.size() - 1] ^= 0xFF;
        log_("fault: packet " + std::to_string(n) + " sent with a wrong CRC");
    }
    if (firstTime && every(faults_.corruptEvery, n)) {
        size_t at = raw.size() > 6 ? 4 + (raw.size() - 6) / 2 : 0;
        raw[at] ^= 0x10;
        log_("fault: packet " + std::to_string(n) + " sent with byte " + std::to_string(at) + " corrupted");
    }
    if (firstTime && every(faults_.dropEvery, n)) {
        log_("fault: packet " + std::to_string(n) + " dropped");
        return {};
    }
    return SlipWrap(raw);
}

Bytes BcspPeer::poll(Clock::time_point now) {
    Bytes out;
    out.swap(pendingLink_);
    if (state_ != State::Garrulous) {
        if (linkMessageDue_ || now - lastLinkMessage_ >= timing_.linkPeriod) {
            append(out, linkFrame(state_ == State::Shy ? kSync : kConf));
            lastLinkMessage_ = now;
            linkMessageDue_ = false;
        }
        return out;
    }
    if (!queue_.empty()) {
        Outgoing& packet = queue_.front();
        if (!packet.sentOnce) {
            packet.number = ++reliableSent_;
            packet.sentOnce = true;
            append(out, reliableFrame(packet, true));
            inFlightSince_ = now;
            ackOwed_ = false;
        } else if (now - inFlightSince_ >= timing_.retransmit) {
            ++counters_.retransmissions;
            log_("bcsp: packet " + std::to_string(packet.number) + " not acknowledged: sent again");
            append(out, reliableFrame(packet, false));
            inFlightSince_ = now;
            ackOwed_ = false;
        }
    }
    if (ackOwed_) {
        BcspFrame ack;
        ack.ack = rxExpected_;
        append(out, SlipWrap(EncodeFrame(ack)));
        ackOwed_ = false;
    }
    return out;
}

BcspPeer::Clock::time_point BcspPeer::nextDue(Clock::time_point now) const {
    if (!pendingLink_.empty() || ackOwed_) return now;
    if (state_ != State::Garrulous) return linkMessageDue_ ? now : lastLinkMessage_ + timing_.linkPeriod;
    if (!queue_.empty()) return queue_.front().sentOnce ? inFlightSince_ + timing_.retransmit : now;
    return now + std::chrono::seconds(1);
}

}  // namespace sim::bluetooth
