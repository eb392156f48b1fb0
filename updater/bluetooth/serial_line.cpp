#include "updater/bluetooth/serial_line.h"

#include <algorithm>

namespace bluetooth {

double CharacterSeconds(const ce::Dcb& dcb) {
    if (dcb.BaudRate == 0) return 0.0;
    double stopBits = dcb.StopBits == ce::TWOSTOPBITS ? 2.0 : dcb.StopBits == ce::ONE5STOPBITS ? 1.5 : 1.0;
    double bits = 1.0 + dcb.ByteSize + (dcb.Parity == ce::NOPARITY ? 0.0 : 1.0) + stopBits;
    return bits / dcb.BaudRate;
}

SerialLine::SerialLine(ce::SerialPort& port) : port_(port) { updateLineRate(); }

void SerialLine::updateLineRate() {
    ce::Dcb dcb;
    if (port_.getState(dcb) != ce::ERROR_SUCCESS) return;
    characterTime_ = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(CharacterSeconds(dcb)));
}

bool SerialLine::readyToSend() {
    return Clock::now() + characterTime_ * kTransmitQueueBytes > lineFreeAt_;
}

bool SerialLine::transmitterEmpty() { return Clock::now() >= lineFreeAt_; }

void SerialLine::writeByte(uint8_t byte) {
    const auto now = Clock::now();
    gathered_[gatheredCount_++] = byte;
    lineFreeAt_ = std::max(now, lineFreeAt_) + characterTime_;
    // Gathered bytes wait only while the bytes handed over before keep the line busy.
    if (gatheredCount_ == kWriteBatch || now + characterTime_ * kLeadCharacters >= handedFreeAt_) flush();
}

void SerialLine::flush() {
    if (gatheredCount_ == 0) return;
    uint32_t written = 0;
    port_.write(gathered_, gatheredCount_, &written);
    bytesWritten_.fetch_add(written, std::memory_order_relaxed);
    gatheredCount_ = 0;
    handedFreeAt_ = lineFreeAt_;
}

uint32_t SerialLine::read(uint8_t* buffer, uint32_t size) {
    // The line brings at most one character per character time: after a look that found the
    // port drained, the next one is due a character time later, unless a wait saw bytes arrive.
    const auto now = Clock::now();
    if (!inputArrived_ && now < nextLook_) return 0;
    inputArrived_ = false;
    uint32_t got = 0;
    if (port_.read(buffer, size, &got) != ce::ERROR_SUCCESS) got = 0;
    nextLook_ = got == size ? now : now + characterTime_;
    bytesRead_.fetch_add(got, std::memory_order_relaxed);
    return got;
}

void SerialLine::waitForInput(uint32_t timeoutMs) {
    flush();  // never sit on bytes the line could be carrying
    inputArrived_ = port_.waitForInput(timeoutMs);
}

namespace {

uint32_t wholeMs(std::chrono::steady_clock::duration d, bool roundUp) {
    using namespace std::chrono;
    if (d <= d.zero()) return 0;
    return static_cast<uint32_t>(roundUp ? ceil<milliseconds>(d).count() : floor<milliseconds>(d).count());
}

}  // namespace

uint32_t SerialLine::msUntilRoom() {
    return wholeMs(lineFreeAt_ - characterTime_ * (kTransmitQueueBytes / 2) - Clock::now(), false);
}

uint32_t SerialLine::msUntilEmpty() { return wholeMs(lineFreeAt_ - Clock::now(), true); }

}  // namespace bluetooth
