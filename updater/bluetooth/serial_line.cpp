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
    uint32_t written = 0;
    port_.write(&byte, 1, &written);
    bytesWritten_.fetch_add(written, std::memory_order_relaxed);
    lineFreeAt_ = std::max(Clock::now(), lineFreeAt_) + characterTime_;
}

uint32_t SerialLine::read(uint8_t* buffer, uint32_t size) {
    uint32_t got = 0;
    if (port_.read(buffer, size, &got) != ce::ERROR_SUCCESS) return 0;
    bytesRead_.fetch_add(got, std::memory_order_relaxed);
    return got;
}

void SerialLine::waitForInput(uint32_t timeoutMs) { port_.waitForInput(timeoutMs); }

}  // namespace bluetooth
