#pragma once
// SerialLine: the BCSP link's view of the module's serial port.
//
// The link writes one byte per poll and counts its pause between packets in polls, which
// assumes that a write takes the byte's time on the line, as it does on a UART with a
// 16-byte transmit queue. A host serial driver (or a pseudo-terminal) instead takes kilobytes
// at once; the link would then count its retransmission pause while the packet is still
// queued and retransmit a packet the module has not even received yet. SerialLine therefore
// tracks when the bytes written so far will have left the line at the current line settings,
// reports the transmitter full while more than kTransmitQueueBytes are still on their way, and
// empty once they have all left, which is when the link starts counting its pause. The queue
// is long enough that the line keeps busy while the worker waits a few milliseconds for the
// processor.
//
// The link writes one byte per poll, thousands a second. The bytes of a burst go to the port
// together, in one system call each kWriteBatch bytes: a byte waits only while the bytes handed
// over before it keep the line busy for more than kLeadCharacters, so the line never runs dry
// for it, and when the link asks for a pause (or the worker waits) all of them go. Reads, too,
// go to the port no more than once a character time unless a wait saw bytes arrive; and the
// worker's pause lasts while the link can only wait for the transmitter (msUntilRoom,
// msUntilEmpty), bytes arriving ending it at once.

#include <atomic>
#include <chrono>
#include <cstdint>

#include "platform/devices/serial_port.h"
#include "updater/bluetooth/bcsp_port.h"

namespace bluetooth {

class SerialLine : public BcspPort {
public:
    static constexpr uint32_t kTransmitQueueBytes = 256;
    static constexpr uint32_t kWriteBatch = 32;
    static constexpr int kLeadCharacters = 4;

    explicit SerialLine(ce::SerialPort& port);

    // Takes the time per character from the line settings now in force.
    void updateLineRate();

    bool readyToSend() override;
    bool transmitterEmpty() override;
    void writeByte(uint8_t byte) override;
    void flush() override;
    uint32_t read(uint8_t* buffer, uint32_t size) override;
    void waitForInput(uint32_t timeoutMs) override;
    // Until half the queue has left the line (rounded down), until all of it has (up).
    uint32_t msUntilRoom() override;
    uint32_t msUntilEmpty() override;

    // Bytes that went each way, and the line time of one character (for the benchmark).
    uint64_t bytesWritten() const { return bytesWritten_.load(std::memory_order_relaxed); }
    uint64_t bytesRead() const { return bytesRead_.load(std::memory_order_relaxed); }
    double characterSeconds() const { return std::chrono::duration<double>(characterTime_).count(); }

private:
    using Clock = std::chrono::steady_clock;
    ce::SerialPort& port_;
    Clock::duration characterTime_{};
    Clock::time_point lineFreeAt_{};    // every byte written has left the line
    Clock::time_point handedFreeAt_{};  // every byte handed to the port has left the line
    uint8_t gathered_[kWriteBatch] = {};
    uint32_t gatheredCount_ = 0;
    Clock::time_point nextLook_{};  // the next read that goes to the port
    bool inputArrived_ = false;     // the last wait ended because bytes arrived
    std::atomic<uint64_t> bytesWritten_{0};
    std::atomic<uint64_t> bytesRead_{0};
};

// Seconds one character takes with these settings (start, data, parity and stop bits).
double CharacterSeconds(const ce::Dcb& dcb);

}  // namespace bluetooth
