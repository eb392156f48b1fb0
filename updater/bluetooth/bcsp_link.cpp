#include "updater/bluetooth/bcsp_link.h"

#include <cstring>

#include "platform/core/debug.h"
#include "updater/bluetooth/bcsp_crc.h"

namespace bluetooth {

namespace {

constexpr uint8_t kFrameEnd = 0xC0;
constexpr uint8_t kEscape = 0xDB;
constexpr uint8_t kEscapedFrameEnd = 0xDC;
constexpr uint8_t kEscapedEscape = 0xDD;

constexpr uint8_t kLinkChannel = 1;

// Link-establishment messages: unreliable, channel 1, four payload bytes, with a CRC.
constexpr uint8_t kLinkHeader[4] = {0x40, 0x41, 0x00, 0x7E};
constexpr uint8_t kLinkPayloads[4][4] = {
    {0xDA, 0xDC, 0xED, 0xED},  // sync
    {0xAC, 0xAF, 0xEF, 0xEE},  // sync-resp
    {0xAD, 0xEF, 0xAC, 0xED},  // conf
    {0xDE, 0xAD, 0xD0, 0xD0},  // conf-resp
};

uint8_t headerChecksum(uint8_t b0, uint8_t b1, uint8_t b2) {
    return static_cast<uint8_t>(~(b0 + b1 + b2));
}

}  // namespace

BcspLink::BcspLink(BcspPort& port) : port_(port) { initialise(); }

void BcspLink::initialise() {
    sequenceByte_ = static_cast<uint8_t>(sequenceByte_ & 0xC0);
    emptyTransmitCursor();
    receiveCount_ = -4;
    delayCountdown_ = 0;
    linkState_ = LinkState::Shy;
    nextLinkMessage_ = LinkMessage::Sync;
    // An answer owed to the link that just went away means nothing to the new one; kept, a
    // conf-resp owed while shy would leave the link with no next message and it would never
    // be established again.
    pendingAnswer_ = Answer::None;
}

void BcspLink::emptyTransmitCursor() {
    piece_ = nullptr;
    pieceLeft_ = 0;
    nextPiece_ = nullptr;
    nextPieceLength_ = 0;
    escapeOwed_ = 0;
    crcPending_ = false;
    packetOnWire_ = nullptr;
}

void BcspLink::sendPacket(BcspPacket* packet) {
    const bool idle = pending_ == nullptr && linkState_ == LinkState::Garrulous &&
                      nextLinkMessage_ == LinkMessage::None && pendingAnswer_ == Answer::None;
    if (idle) delayCountdown_ = 0;
    pending_ = packet;
    emptyTransmitCursor();
}

void BcspLink::receivePacket(BcspPacket* packet) {
    slot_ = packet;
    slotCapacity_ = packet ? packet->length : 0;
    receiveCount_ = -4;
}

int BcspLink::poll(uint8_t& activity) {
    activity = 0;
    int delay = 0;
    bool transmitterFull = false;
    if (delayCountdown_ == 0) {
        if (!port_.readyToSend()) {
            // The line is still busy with earlier bytes: keep ours for a later poll.
            transmitterFull = true;
        } else {
            bool returnAtOnce = false;
            delay = transmitStep(activity, returnAtOnce);
            if (returnAtOnce) return 0;
        }
    }

    receive(activity);

    if (transmitterFull && delayCountdown_ == 0) {
        port_.flush();
        return 1;
    }
    if (delayCountdown_ > 0) {
        if (port_.transmitterEmpty()) --delayCountdown_;
    } else {
        delayCountdown_ = static_cast<int8_t>(delay);
    }
    // A pause: whatever the port gathered goes to the line now.
    if (delayCountdown_ != 0) port_.flush();
    return delayCountdown_;
}

bool BcspLink::byteWaiting() const {
    return pieceLeft_ > 0 || nextLinkMessage_ != LinkMessage::None || pendingAnswer_ == Answer::ConfResp ||
           pending_ != nullptr || acknowledgeOwed_;
}

bool BcspLink::byteReady() { return delayCountdown_ == 0 && byteWaiting() && port_.readyToSend(); }

uint32_t BcspLink::quietMs() {
    if (delayCountdown_ == 0) return byteWaiting() ? port_.msUntilRoom() : 0;
    return port_.transmitterEmpty() ? 0 : port_.msUntilEmpty();
}

// ---- Transmit side --------------------------------------------------------------------------

int BcspLink::transmitStep(uint8_t& activity, bool& returnAtOnce) {
    if (pieceLeft_ > 0) {
        int delay = 0;
        writeWithEscape(activity, delay);
        return delay;
    }
    if (nextLinkMessage_ != LinkMessage::None) {
        port_.writeByte(kFrameEnd);
        startLinkMessage(nextLinkMessage_);
        delayCountdown_ = 0;
        nextLinkMessage_ = followingLinkMessage();
        pendingAnswer_ = Answer::None;
        returnAtOnce = true;
        return 0;
    }
    if (pendingAnswer_ == Answer::ConfResp) {
        port_.writeByte(kFrameEnd);
        startLinkMessage(LinkMessage::ConfResp);
        pendingAnswer_ = Answer::None;
        return 0;
    }
    if (pending_ != nullptr) {
        port_.writeByte(kFrameEnd);
        uint8_t b0 = static_cast<uint8_t>((sequenceByte_ & 0x3F) | 0x40 | (pending_->reliable ? 0x80 : 0));
        uint8_t b1 = static_cast<uint8_t>((pending_->channel & 0x0F) | ((pending_->length & 0x0F) << 4));
        uint8_t b2 = static_cast<uint8_t>((pending_->length >> 4) & 0xFF);
        uint8_t header[4] = {b0, b1, b2, headerChecksum(b0, b1, b2)};
        startFrame(header, pending_->payload, pending_->length, pending_);
        acknowledgeOwed_ = false;
        return 0;
    }
    if (acknowledgeOwed_) {
        port_.writeByte(kFrameEnd);
        uint8_t b0 = static_cast<uint8_t>((sequenceByte_ & 0x38) | 0x40);
        uint8_t header[4] = {b0, 0, 0, headerChecksum(b0, 0, 0)};
        startFrame(header, nullptr, 0, nullptr);
        acknowledgeOwed_ = false;
        return 0;
    }
    return kIdlePolls;
}

void BcspLink::writeWithEscape(uint8_t& activity, int& delay) {
    if (escapeOwed_ != 0) {
        port_.writeByte(escapeOwed_);
        escapeOwed_ = 0;
    } else {
        uint8_t byte = *piece_;
        transmitCrc_ = BcspCrcUpdate(transmitCrc_, byte);
        if (byte == kFrameEnd) {
            port_.writeByte(kEscape);
            escapeOwed_ = kEscapedFrameEnd;
        } else if (byte == kEscape) {
            port_.writeByte(kEscape);
            escapeOwed_ = kEscapedEscape;
        } else {
            port_.writeByte(byte);
        }
    }
    if (escapeOwed_ != 0) return;

    ++piece_;
    if (--pieceLeft_ > 0) return;

    if (nextPieceLength_ > 0) {
        piece_ = nextPiece_;
        pieceLeft_ = nextPieceLength_;
        nextPiece_ = nullptr;
        nextPieceLength_ = 0;
    } else if (crcPending_) {
        crcPending_ = false;
        uint16_t sent = BcspBitReverse(transmitCrc_);
        transmitCrcBytes_[0] = static_cast<uint8_t>(sent >> 8);
        transmitCrcBytes_[1] = static_cast<uint8_t>(sent & 0xFF);
        piece_ = transmitCrcBytes_;
        pieceLeft_ = 2;
    } else {
        port_.writeByte(kFrameEnd);
        if (packetOnWire_ != nullptr && packetOnWire_ == pending_ && !pending_->reliable) {
            pending_ = nullptr;
            activity |= BCSP_PACKET_SENT;
        }
        packetOnWire_ = nullptr;
        delay = kIdlePolls;
    }
}

void BcspLink::startFrame(const uint8_t* header, const uint8_t* payload, uint16_t length, BcspPacket* packet) {
    std::memcpy(transmitHeader_, header, sizeof transmitHeader_);
    piece_ = transmitHeader_;
    pieceLeft_ = sizeof transmitHeader_;
    nextPiece_ = payload;
    nextPieceLength_ = payload ? length : 0;
    escapeOwed_ = 0;
    crcPending_ = true;
    transmitCrc_ = kBcspCrcInitial;
    packetOnWire_ = packet;
}

void BcspLink::startLinkMessage(LinkMessage message) {
    startFrame(kLinkHeader, kLinkPayloads[static_cast<int>(message)], 4, nullptr);
}

// The link message after the one just started, by link state and the answer owed.
BcspLink::LinkMessage BcspLink::followingLinkMessage() const {
    switch (pendingAnswer_) {
        case Answer::None:
            if (linkState_ == LinkState::Shy) return LinkMessage::Sync;
            if (linkState_ == LinkState::Curious) return LinkMessage::Conf;
            return LinkMessage::None;
        case Answer::SyncResp:
            return linkState_ == LinkState::Garrulous ? LinkMessage::None : LinkMessage::SyncResp;
        case Answer::ConfResp:
            return linkState_ == LinkState::Shy ? LinkMessage::None : LinkMessage::ConfResp;
    }
    return LinkMessage::None;
}

// ---- Receive side ---------------------------------------------------------------------------

void BcspLink::receive(uint8_t& activity) {
    while (slot_ != nullptr) {
        if (readIndex_ >= readCount_) {
            readIndex_ = 0;
            readCount_ = port_.read(readBuffer_, kReadBufferSize);
            if (readCount_ > kReadBufferSize) readCount_ = kReadBufferSize;
            if (readCount_ == 0) return;
        }
        uint8_t byte = readBuffer_[readIndex_++];

        if (receiveEscape_) {
            receiveEscape_ = false;
            if (byte == kEscapedFrameEnd) {
                storeByte(kFrameEnd);
                continue;
            }
            if (byte == kEscapedEscape) {
                storeByte(kEscape);
                continue;
            }
            // The peer never sends anything else after an escape: the frame is damaged. A
            // frame end here still ends the frame; any other byte is discarded.
            if (!frameBroken_) brokenEscape_ = byte;
            frameBroken_ = true;
            if (byte != kFrameEnd) continue;
        }

        if (byte == kFrameEnd) {
            if (receiveCount_ >= 0) {
                uint8_t flags = frameBroken_ ? dropPacket() : processPacket();
                activity |= flags;
                if (flags & BCSP_ACK_OWED) delayCountdown_ = 0;
            }
            frameBroken_ = false;
            receiveCount_ = -4;
        } else if (byte == kEscape) {
            receiveEscape_ = true;
        } else {
            storeByte(byte);
        }
    }
}

void BcspLink::storeByte(uint8_t byte) {
    if (receiveCount_ < 0) {
        receiveHeader_[receiveCount_ + 4] = byte;
    } else if (receiveCount_ < slotCapacity_) {
        slot_->payload[receiveCount_] = byte;
    }
    // Bytes beyond the slot are not stored, but counted: the length check rejects the packet.
    if (receiveCount_ < 0x7FFF) ++receiveCount_;
}

uint8_t BcspLink::dropPacket() {
    ce::consolePrint("\n######################## Slip Escape Error %02X\n", brokenEscape_);
    acknowledgeOwed_ = true;
    return 0;
}

uint8_t BcspLink::processPacket() {
    const uint8_t* h = receiveHeader_;
    if (((h[0] + h[1] + h[2] + h[3]) & 0xFF) != 0xFF) {
        ce::consolePrint("\n######################## Header Checksum Error %02X %02X %02X %02X\n", h[0], h[1], h[2],
                         h[3]);
        acknowledgeOwed_ = true;
        return 0;
    }

    uint8_t reliable = (h[0] >> 7) & 1;
    uint8_t crcPresent = (h[0] >> 6) & 1;
    uint8_t seq = h[0] & 0x07;
    uint8_t ack = (h[0] >> 3) & 0x07;
    uint8_t channel = h[1] & 0x0F;
    uint16_t length = static_cast<uint16_t>((h[1] >> 4) | (h[2] << 4));
    slot_->channel = channel;
    slot_->reliable = reliable;

    // A payload that does not fit the slot is a length error as well: its tail was never
    // stored, so neither the payload nor the CRC behind it can be read.
    int count = receiveCount_;
    bool fits = count <= static_cast<int>(slotCapacity_);
    if (!crcPresent) {
        if (count != length || !fits) {
            ce::consolePrint("\n######################## Slip Length Error (No CRC) %d,%d\n", length, count);
            acknowledgeOwed_ = true;
            return 0;
        }
    } else {
        if (count - 2 != length || !fits) {
            ce::consolePrint("\n####################### Slip Length Error (With CRC) %d, %d\n", length, count - 2);
            acknowledgeOwed_ = true;
            return 0;
        }
        uint16_t crc = kBcspCrcInitial;
        for (uint8_t b : receiveHeader_) crc = BcspCrcUpdate(crc, b);
        for (uint16_t i = 0; i < length; ++i) crc = BcspCrcUpdate(crc, slot_->payload[i]);
        uint16_t expected = BcspBitReverse(crc);
        if (slot_->payload[length] != (expected >> 8) || slot_->payload[length + 1] != (expected & 0xFF)) {
            ce::consolePrint("\n######################## CRC Error\n");
            acknowledgeOwed_ = true;
            return 0;
        }
    }

    uint8_t flags = 0;
    if (ack != sequenceNumber() && pending_ != nullptr && pending_->reliable) {
        pending_ = nullptr;
        sequenceByte_ = static_cast<uint8_t>((sequenceByte_ & ~0x07) | ((sequenceByte_ + 1) & 0x07));
        flags |= BCSP_PACKET_SENT;
        delayCountdown_ = 0;
    }

    if (channel == kLinkChannel) {
        uint8_t linkFlags = processLinkMessage(length);
        return (linkFlags & BCSP_PEER_RESET) ? linkFlags : static_cast<uint8_t>(linkFlags | flags);
    }

    if (linkState_ != LinkState::Garrulous || length == 0) return flags;
    if (reliable) {
        acknowledgeOwed_ = true;
        if (seq != acknowledgementNumber()) return flags;  // out of sequence: dropped, acknowledged
        sequenceByte_ = static_cast<uint8_t>((sequenceByte_ & ~0x38) | (((acknowledgementNumber() + 1) & 0x07) << 3));
        flags |= BCSP_PACKET_RECEIVED | BCSP_ACK_OWED;
    } else {
        flags |= BCSP_PACKET_RECEIVED;
    }
    slot_->length = length;
    slot_ = nullptr;
    return flags;
}

uint8_t BcspLink::processLinkMessage(uint16_t length) {
    int match = -1;
    for (int i = 0; i < 4; ++i) {
        if (length >= 4 && std::memcmp(slot_->payload, kLinkPayloads[i], 4) == 0) {
            match = i;
        } else {
            ce::consolePrint("[%s] bad_match_loop\n", "bcsp_which_le_payload");
        }
    }
    switch (static_cast<LinkMessage>(match)) {
        case LinkMessage::Sync:
            if (linkState_ == LinkState::Garrulous) {
                initialise();
                return BCSP_PEER_RESET;
            }
            pendingAnswer_ = Answer::SyncResp;
            return 0;
        case LinkMessage::SyncResp:
            if (linkState_ == LinkState::Shy) linkState_ = LinkState::Curious;
            return 0;
        case LinkMessage::Conf:
            if (linkState_ != LinkState::Shy) pendingAnswer_ = Answer::ConfResp;
            return 0;
        case LinkMessage::ConfResp:
            if (linkState_ != LinkState::Garrulous) {
                linkState_ = LinkState::Garrulous;
                emptyTransmitCursor();
                return BCSP_PACKET_SENT;
            }
            return 0;
        default:
            return 0;
    }
}

}  // namespace bluetooth
