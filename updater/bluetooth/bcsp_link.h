#pragma once
// BcspLink: the host end of the BCSP link to the Bluetooth module.
//
// A small, single-packet, polled implementation: one packet to send and one receive slot at a
// time, no queues and no timers of its own. The DFU worker calls poll() over and over; each
// poll writes at most one byte of the packet on its way out (escaping it on the fly and
// folding it into the CRC) and drains whatever the port has received into the armed receive
// slot. Link establishment (sync, sync-resp, conf, conf-resp on channel 1), sequence and
// acknowledgement numbers, and the retransmission of an unacknowledged reliable packet after
// every 25-poll pause all happen inside poll(). The pause after a frame counts from when the
// frame's last byte has left the line, however many bytes the port keeps queued ahead. Errors on the line (bad header checksum, bad
// length, bad CRC, broken escapes) drop the packet, log one line and owe the peer an
// acknowledgement so that it retransmits.

#include <cstdint>

#include "updater/bluetooth/bcsp_port.h"

namespace bluetooth {

// A packet to send, or the receive slot. The payload belongs to the caller and must outlive
// the packet's use by the link.
struct BcspPacket {
    uint8_t channel = 0;
    uint8_t reliable = 0;
    uint8_t useCrc = 1;       // carried for the caller; data packets always go out with a CRC
    uint16_t length = 0;      // send: payload length; receive: capacity when armed, payload length once received
    uint8_t* payload = nullptr;
};

// Activity flags reported by poll().
enum : uint8_t {
    BCSP_PACKET_SENT = 0x01,      // also once when the link becomes established
    BCSP_PACKET_RECEIVED = 0x02,
    BCSP_PEER_RESET = 0x04,
    BCSP_ACK_OWED = 0x08,
};

enum class LinkState : uint8_t { Shy = 0, Curious = 1, Garrulous = 2 };

class BcspLink {
public:
    static constexpr uint32_t kReadBufferSize = 254;
    static constexpr int kIdlePolls = 25;  // polls between two packets and before a retransmission

    explicit BcspLink(BcspPort& port);

    // Back to a link that has never spoken: shy, sequence and acknowledgement numbers 0,
    // nothing on its way out.
    void initialise();

    // Makes `packet` the one to send next (replacing any earlier one, even half written). On
    // an established link with no packet awaiting its acknowledgement it goes out at the next
    // poll: the pause between packets only times retransmissions.
    void sendPacket(BcspPacket* packet);

    // Arms the receive slot; its length is the capacity. The slot is released once a packet
    // has been delivered into it and must be armed again.
    void receivePacket(BcspPacket* packet);

    // One step of the link. `activity` receives the BCSP_* flags of this step. Returns the
    // delay: nonzero when the caller may pause a little before the next poll (every byte
    // written is then with the port, none kept gathered).
    int poll(uint8_t& activity);

    // True when the next poll would write a byte: one is waiting to go out, no pause holds it
    // and the port can take it.
    bool byteReady();

    // Milliseconds during which polls can only wait for the transmitter: a byte waits for room
    // in it, or the pause after a frame for it to empty. 0 when a poll may have work sooner.
    uint32_t quietMs();

    // The caller's pause: until bytes arrive on the line or `timeoutMs` has passed.
    void waitForInput(uint32_t timeoutMs) { port_.waitForInput(timeoutMs); }

    LinkState linkState() const { return linkState_; }
    uint8_t sequenceNumber() const { return sequenceByte_ & 0x07; }
    uint8_t acknowledgementNumber() const { return (sequenceByte_ >> 3) & 0x07; }
    bool sendPending() const { return pending_ != nullptr; }
    bool receiveArmed() const { return slot_ != nullptr; }

private:
    enum class Answer : uint8_t { None = 0, SyncResp = 1, ConfResp = 2 };
    enum class LinkMessage : uint8_t { Sync = 0, SyncResp = 1, Conf = 2, ConfResp = 3, None = 4 };

    // Transmit side.
    bool byteWaiting() const;
    int transmitStep(uint8_t& activity, bool& returnAtOnce);
    void writeWithEscape(uint8_t& activity, int& delay);
    void startFrame(const uint8_t* header, const uint8_t* payload, uint16_t length, BcspPacket* packet);
    void startLinkMessage(LinkMessage message);
    LinkMessage followingLinkMessage() const;
    void emptyTransmitCursor();

    // Receive side.
    void receive(uint8_t& activity);
    void storeByte(uint8_t byte);
    uint8_t processPacket();
    uint8_t processLinkMessage(uint16_t length);
    uint8_t dropPacket();

    BcspPort& port_;

    LinkState linkState_ = LinkState::Shy;
    Answer pendingAnswer_ = Answer::None;
    LinkMessage nextLinkMessage_ = LinkMessage::Sync;
    uint8_t sequenceByte_ = 0;  // bits 0-2 our SEQ, bits 3-5 our ACK
    bool acknowledgeOwed_ = false;
    int8_t delayCountdown_ = 0;

    // Transmit cursor: the piece being written, the one after it, an escape half written,
    // the CRC still to append.
    const uint8_t* piece_ = nullptr;
    uint16_t pieceLeft_ = 0;
    const uint8_t* nextPiece_ = nullptr;
    uint16_t nextPieceLength_ = 0;
    uint8_t escapeOwed_ = 0;
    bool crcPending_ = false;
    uint16_t transmitCrc_ = 0;
    uint8_t transmitHeader_[4] = {};
    uint8_t transmitCrcBytes_[2] = {};
    BcspPacket* packetOnWire_ = nullptr;  // the pending packet while it is being written

    BcspPacket* pending_ = nullptr;

    // Receive side.
    BcspPacket* slot_ = nullptr;
    uint16_t slotCapacity_ = 0;
    uint8_t receiveHeader_[4] = {};
    int receiveCount_ = -4;
    bool receiveEscape_ = false;
    bool frameBroken_ = false;  // a byte other than 0xDC/0xDD followed 0xDB
    uint8_t brokenEscape_ = 0;
    uint8_t readBuffer_[kReadBufferSize] = {};
    uint32_t readIndex_ = 0;
    uint32_t readCount_ = 0;
};

}  // namespace bluetooth
