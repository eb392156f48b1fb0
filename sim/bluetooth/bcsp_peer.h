#pragma once
// BcspPeer: the module's end of the BCSP link.
//
// It establishes the link (sync / sync-resp / conf / conf-resp on channel 1, repeating its
// own sync or conf until answered), numbers its reliable packets and keeps one in flight
// until the host acknowledges it, retransmitting it when no acknowledgement comes in time.
// Reliable packets from the host are delivered in sequence and acknowledged; duplicates and
// packets out of sequence are dropped and acknowledged with the number still expected.
// Faults can be injected on request, so that the host's error handling can be exercised.
//
// It knows nothing of the serial line: bytes come in through receive() and go out through
// what poll() returns.

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "sim/bluetooth/bcsp_wire.h"

namespace sim::bluetooth {

struct PeerFaults {
    int corruptEvery = 0;           // every Nth reliable packet goes out first with a byte changed
    int dropEvery = 0;              // every Nth reliable packet is not sent the first time
    int badCrcEvery = 0;            // every Nth reliable packet goes out first with a wrong CRC
    int outOfSequenceEvery = 0;     // every Nth reliable packet goes out first with a wrong SEQ
    int loseReceivedEvery = 0;      // every Nth reliable packet from the host is lost on the way
    bool neverLink = false;         // never answers link establishment
};

struct PeerTiming {
    std::chrono::milliseconds linkPeriod{100};   // sync / conf repetition
    std::chrono::milliseconds retransmit{250};   // unacknowledged reliable packet sent again
};

class BcspPeer {
public:
    using Clock = std::chrono::steady_clock;
    using Log = std::function<void(const std::string&)>;

    enum class State { Shy, Curious, Garrulous };

    struct Delivery {
        uint8_t channel = 0;
        Bytes payload;
    };

    BcspPeer(PeerFaults faults, PeerTiming timing, Log log);

    // A fresh link, as after the module's power-up: shy, numbers from 0, nothing queued.
    void restart();

    // One byte from the host.
    void receive(uint8_t byte);

    // Reliable packets delivered since the last call, in order.
    std::deque<Delivery> takeDeliveries();

    // Queues a reliable packet for the host (sent once the link is up).
    void send(uint8_t channel, Bytes payload);

    // The bytes to put on the line now (possibly none).
    Bytes poll(Clock::time_point now);

    // When poll() next has something to do on its own (a repetition or a retransmission).
    Clock::time_point nextDue(Clock::time_point now) const;

    State state() const { return state_; }
    bool allSent() const { return queue_.empty(); }  // nothing waiting or unacknowledged

    struct Counters {
        int framesReceived = 0;
        int framesRejected = 0;
        int outOfSequence = 0;
        int retransmissions = 0;
        int hostRestarts = 0;
    };
    const Counters& counters() const { return counters_; }

private:
    struct Outgoing {
        uint8_t channel;
        Bytes payload;
        bool sentOnce = false;
        int number = 0;  // 1-based count of reliable packets, for the faults
    };

    void onFrame(const BcspFrame& frame);
    void onLinkMessage(const Bytes& payload);
    void queueLinkMessage(const uint8_t (&message)[4]);
    Bytes reliableFrame(Outgoing& packet, bool firstTime);
    static bool every(int n, int count) { return n > 0 && count % n == 0; }

    PeerFaults faults_;
    PeerTiming timing_;
    Log log_;

    State state_ = State::Shy;
    SlipReader reader_;
    uint8_t txSeq_ = 0;        // SEQ of the packet in flight / next to send
    uint8_t rxExpected_ = 0;   // SEQ expected next from the host
    bool ackOwed_ = false;
    std::deque<Outgoing> queue_;  // front is in flight once sent
    Clock::time_point inFlightSince_{};
    Clock::time_point lastLinkMessage_{};
    bool linkMessageDue_ = true;
    Bytes pendingLink_;          // link answers owed (already framed)
    std::deque<Delivery> deliveries_;
    int reliableSent_ = 0;
    int reliableReceived_ = 0;
    Counters counters_;
};

}  // namespace sim::bluetooth
