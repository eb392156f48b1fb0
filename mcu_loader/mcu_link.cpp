#include "mcu_loader/mcu_link.h"

#include <algorithm>

#include "mcu_loader/mcu_frames.h"
#include "mcu_loader/mcu_protocol.h"
#include "platform/core/debug.h"
#include "platform/ui/message.h"

namespace mculoader {

namespace {

// A wait may be stretched by noise, each received batch restarting it, but never past this
// many times its own time-out.
constexpr uint32_t kTotalWaitFactor = 10;

// True once the sender has let go of the transmit buffer: the frame in it has been written (or
// given up). The sender empties the buffer before it reports progress, so a frame built
// while it reports is never overwritten by that report's bookkeeping.
bool SenderIdle() { return Link().transmitLength.load() == 0; }

// Waits until the sender is idle, polling every pollMs. False when the link closed meanwhile
// (nobody will ever send the frame): the caller's status wait then fails by its time-out.
bool WaitSenderIdle(uint32_t pollMs) {
    const auto& session = Link().session;
    while (!SenderIdle()) {
        if (!session || session->closed.load()) return false;
        ce::sleep(pollMs);
    }
    return true;
}

void HandToSender(uint32_t length) {
    Link().transmitLength.store(length);
    if (Link().session) Link().session->transmitRequest.set();
}

uint8_t NonZero(uint8_t status) { return status == 0 ? NO_STATUS : status; }

}  // namespace

McuLink& Link() {
    static McuLink link;
    return link;
}

bool SetHostBaudRate(uint32_t baudRate) {
    const auto& session = Link().session;
    if (!session || !session->port) return false;
    ce::Dcb dcb;
    dcb.DCBlength = sizeof dcb;
    if (session->port->getState(dcb) != ce::ERROR_SUCCESS) return false;
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = ce::NOPARITY;
    dcb.StopBits = ce::ONESTOPBIT;
    dcb.fOutxDsrFlow = false;
    dcb.fDsrSensitivity = false;
    dcb.fDtrControl = ce::DTR_CONTROL_ENABLE;
    return session->port->setState(dcb) == ce::ERROR_SUCCESS;
}

void SendCommandFrame(uint8_t command, size_t count, const uint8_t* data) {
    if (!WaitSenderIdle(10)) return;
    Link().transmitSent.store(0);
    uint32_t length = static_cast<uint32_t>(BuildCommandFrame(Link().McuTransmitBuffer, command, count, data));
    HandToSender(length);
}

void SendDataFrame(size_t length, const uint8_t* data, bool last) {
    if (!WaitSenderIdle(10)) return;
    Link().transmitLength.store(0);
    Link().transmitSent.store(0);
    ce::sleep(1);
    uint32_t size = static_cast<uint32_t>(BuildDataFrame(Link().McuTransmitBuffer, length, data, last));
    HandToSender(size);
}

void SendSyncByte() {
    if (!WaitSenderIdle(10)) return;
    Link().transmitSent.store(0);
    Link().McuTransmitBuffer[0] = 0x00;
    HandToSender(1);
}

void WaitTransmitDone(uint32_t pollMs) { WaitSenderIdle(pollMs); }

namespace {

// The wait shared by status and data frames: look at what the buffer already holds, then wait
// for the next batch; accept() says whether a frame is the one awaited.
template <class Accept>
std::optional<std::vector<uint8_t>> WaitFrame(uint32_t perWaitMs, Accept accept) {
    McuLink& link = Link();
    std::shared_ptr<McuSession> session = link.session;
    const uint32_t start = ce::tickCount();
    const uint32_t total = perWaitMs * kTotalWaitFactor;
    for (;;) {
        while (auto frame = link.receiveBuffer.TakeFrame()) {
            if (accept(*frame)) return frame;
        }
        uint32_t elapsed = ce::tickCount() - start;
        if (elapsed >= total || !session) break;
        if (session->dataReceived.wait(std::min(perWaitMs, total - elapsed)) != ce::WAIT_OBJECT_0) break;
    }
    link.receiveBuffer.Clear();
    return std::nullopt;
}

}  // namespace

StatusResult WaitStatusFrame(uint8_t expected, uint32_t ticks) {
    StatusResult result{false, NO_STATUS, NO_STATUS, {}};
    auto frame = WaitFrame(ticks * 10, [&](const std::vector<uint8_t>& f) {
        uint8_t len = f[1];
        result.st1 = len >= 1 ? f[2] : NO_STATUS;
        result.st2 = len >= 2 ? f[3] : NO_STATUS;
        return len >= 1 && result.st1 == expected;
    });
    if (frame) {
        result.matched = true;
        result.frame = std::move(*frame);
        return result;
    }
    // Another status (a refusal) or none at all: the code the step reports, never 0.
    result.st1 = NonZero(result.st1);
    result.st2 = NonZero(result.st2);
    return result;
}

std::optional<std::vector<uint8_t>> WaitAnyFrame(uint32_t perWaitMs) {
    return WaitFrame(perWaitMs, [](const std::vector<uint8_t>&) { return true; });
}

void ClearReceiveBuffer() { Link().receiveBuffer.Clear(); }

namespace {

// Closes the session's port: blocked waits, reads and writes on it return; the sender ends.
void CloseSession(const std::shared_ptr<McuSession>& session) {
    if (!session) return;
    session->closed.store(true);
    if (session->port) session->port->close();
    session->transmitRequest.set();
}

}  // namespace

int McuDisconnect() {
    McuLink& link = Link();
    link.connected.store(0);
    if (auto session = link.session; session && session->port) {
        session->port->setCommMask(0);
        session->port->escapeCommFunction(ce::CLRDTR);
        session->port->purge(ce::PURGE_TXABORT | ce::PURGE_RXABORT | ce::PURGE_TXCLEAR | ce::PURGE_RXCLEAR);
        CloseSession(session);
    }
    ce::debugPrint("= UPDATEMICOM : Disconnected!! \r\n");
    return 1;
}

void ClosePortAfterFailure() {
    Link().connected.store(0);
    CloseSession(Link().session);
}

void BroadcastMicomUpdate(ce::WPARAM wParam) {
    ce::sendMessage(ce::HWND_BROADCAST, Link().messageId.load(), wParam, 0);
}

}  // namespace mculoader
