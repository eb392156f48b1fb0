// The sender thread and ThreadWatchComm: the two threads between the procedure and the port.

#include "mcu_loader/mcu_link.h"
#include "mcu_loader/receive_pump.h"
#include "platform/core/debug.h"

namespace mculoader {

void SenderThread(std::shared_ptr<McuSession> session) {
    McuLink& link = Link();
    for (;;) {
        session->transmitRequest.wait(ce::INFINITE);
        if (session->closed.load()) return;  // the port is gone; this session sends no more
        uint32_t length = link.transmitLength.load();
        while (link.transmitSent.load() < length) {
            uint32_t sent = link.transmitSent.load();
            uint32_t written = 0;
            ce::Error error = session->port->write(link.McuTransmitBuffer + sent, length - sent, &written);
            if (error != ce::ERROR_SUCCESS || written == 0) {
                ce::debugPrint("= UPDATEMICOM : Send Fail!! (Wr)0x%x (Rd)0x%x \n", length, sent);
                break;
            }
            link.transmitSent.store(sent + written);
        }
        link.transmitSent.store(0);
        link.transmitLength.store(0);
        if (uint32_t progress = link.progress.load(); progress != 0) BroadcastMicomUpdate(progress);
    }
}

void ThreadWatchComm(std::shared_ptr<McuSession> session) {
    McuLink& link = Link();
    auto staging = std::make_unique<StagingArea>();
    ce::SerialPort& port = *session->port;
    ReceivePort receivePort{
        [&] {
            uint32_t errors = 0;
            ce::ComStat stat;
            return port.clearCommError(errors, stat) == ce::ERROR_SUCCESS ? stat.cbInQue : 0u;
        },
        [&](uint8_t* to, uint32_t size) {
            uint32_t read = 0;
            return port.read(to, size, &read) == ce::ERROR_SUCCESS ? read : 0u;
        },
        [] { ce::sleep(10); }};
    auto moveOn = [&](const uint8_t* bytes, size_t count) {
        if (count != 0) {
            auto result = link.receiveBuffer.Append(bytes, count);
            if (result.emptiedFirst)
                ce::debugPrint("- Buffer Full : Reset!! %d %d \n", result.countBefore, result.frameStartBefore);
        }
        session->dataReceived.set();
    };

    while (link.connected.load() == 1 && !session->closed.load()) {
        uint32_t events = 0;
        // A closed port or a cleared mask ends the wait with an error or no events; the loop
        // condition then ends the thread. An error on an open port cannot heal: end as well.
        if (port.waitCommEvent(events) != ce::ERROR_SUCCESS) break;
        if (events & ce::EV_RXCHAR) PumpReceivedBytes(*staging, receivePort, moveOn);
    }
    ce::debugPrint("= UPDATEMICOM : ThreadWatchComm End.. \r\n");
}

}  // namespace mculoader
