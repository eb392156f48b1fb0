// StartUpdateMicom and StopUpdateMicom, the library's C exports.

#include <string>
#include <system_error>
#include <thread>

#include "mcu_loader/McuLoaderDLL.h"
#include "mcu_loader/mcu_link.h"
#include "mcu_loader/mcu_procedure.h"
#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "platform/core/text.h"
#include "platform/ui/message.h"

using namespace mculoader;

namespace {

constexpr uint32_t kQueueSize = 91820;

// Opens and configures the port; on failure logs, reports 0x4001 and returns false.
bool Connect(const std::string& port, const std::shared_ptr<McuSession>& session) {
    auto opened = ce::SerialPort::open(port, ce::GENERIC_READ | ce::GENERIC_WRITE, 0);
    if (!opened) {
        ce::debugPrint("= UPDATEMICOM : Connection FAILED!! - INVALID_HANDLE_VALUE \r\n");
        StopUpdateMicom();
        BroadcastMicomUpdate(0x4001);
        return false;
    }
    session->port = std::move(opened.value());
    Link().session = session;
    ce::SerialPort& serial = *session->port;
    bool configured = serial.setCommMask(ce::EV_RXCHAR | ce::EV_TXEMPTY) == ce::ERROR_SUCCESS &&
                      serial.setupComm(kQueueSize, kQueueSize) == ce::ERROR_SUCCESS &&
                      serial.purge(ce::PURGE_TXABORT | ce::PURGE_RXABORT | ce::PURGE_TXCLEAR |
                                   ce::PURGE_RXCLEAR) == ce::ERROR_SUCCESS &&
                      SetHostBaudRate(9600);
    if (!configured) {
        Link().connected.store(0);
        session->closed.store(true);
        serial.close();
        ce::debugPrint("= UPDATEMICOM : Connection FAILED!! \r\n");
        BroadcastMicomUpdate(0x4001);
        return false;
    }
    return true;
}

}  // namespace

extern "C" int StartUpdateMicom(const char16_t* port, const char16_t* file, int chip) {
    McuLink& link = Link();
    if (link.running.exchange(true)) {
        ce::debugPrint("= UPDATEMICOM : Update is running, start refused!! \r\n");
        return 0;
    }
    // A finished update leaves its port open; a new start closes it first.
    if (link.connected.load() == 1) McuDisconnect();

    std::string portName = port ? ce::toUtf8(port) : std::string();
    link.chip = chip;
    link.firmwarePath = file ? ce::toUtf8(file) : std::string();
    ce::debugPrint("= UPDATEMICOM : File[%s], Port[%s], ChipNumber[%d] \r\n", link.firmwarePath, portName, chip);
    link.messageId.store(ce::registerWindowMessage("MICOM_UPDATE"));
    link.transmitLength.store(0);
    link.transmitSent.store(0);
    link.receiveBuffer.Clear();

    auto session = std::make_shared<McuSession>();
    if (!Connect(portName, session)) {
        link.running.store(false);
        return 0;
    }
    link.connected.store(1);
    try {
        std::thread(ThreadWatchComm, session).detach();
    } catch (const std::system_error&) {
        StopUpdateMicom();
        link.running.store(false);
        BroadcastMicomUpdate(0x4001);
        return 1;
    }
    try {
        std::thread(SenderThread, session).detach();
        std::thread(UpdateThread).detach();
    } catch (const std::system_error&) {
        // Without them nothing would ever end the update: fail it now, as a failed step would.
        ce::debugPrint("$$ End of Update Process : Fail! \r\n");
        ClosePortAfterFailure();
        link.running.store(false);
        BroadcastMicomUpdate(0x4001);
        return 1;
    }
    link.threadHandlesOpen = true;
    ce::debugPrint("= UPDATEMICOM : Connection Complete!! \r\n");
    session->updateStart.set();
    return 1;
}

extern "C" int StopUpdateMicom(void) {
    McuLink& link = Link();
    if (link.connected.load() == 1) McuDisconnect();
    // The threads are not stopped here; they end with the port (or, the sender, at the next
    // close) and their handles are only let go of.
    bool hadHandles = link.threadHandlesOpen;
    link.threadHandlesOpen = false;
    return hadHandles ? 1 : 0;
}
