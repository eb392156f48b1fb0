#pragma once
// The programming link: the one serial port to the MCU and the three threads around it.
//
// Why it exists: the update procedure speaks to the MCU in frames and waits for status
// frames; this module owns how frames reach the port (one transmit buffer handed to a sender
// thread) and how the MCU's bytes reach the procedure (ThreadWatchComm reads them into a
// staging area, moves them into the receive buffer and signals). One port, one update at a
// time: the state is the library's own, module-level.
//
// What it promises: a frame is built only once the previous one has left (or was given up);
// a status wait never reads a missing or stale answer as success — it returns the status it
// matched, or a failure with a non-zero code; a wait ends after its time-out per silence and
// never later than ten time-outs in all, whatever noise keeps arriving; closing the link
// releases every thread blocked on the port.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "mcu_loader/mcu_receive_buffer.h"
#include "platform/core/time.h"
#include "platform/devices/serial_port.h"
#include "platform/ui/types.h"

namespace mculoader {

// What one StartUpdateMicom opened: the port, the three auto-reset events and the threads'
// shared fate. Each thread holds its session, so a session outlives the global's next start.
struct McuSession {
    std::shared_ptr<ce::SerialPort> port;
    ce::AutoResetEvent transmitRequest;
    ce::AutoResetEvent updateStart;
    ce::AutoResetEvent dataReceived;
    std::atomic<bool> closed{false};  // the port is closed: the sender ends, sends give up
};

struct McuLink {
    std::shared_ptr<McuSession> session;       // replaced only while no update runs
    std::atomic<uint32_t> connected{0};        // the receive loop runs while it is 1
    std::atomic<bool> running{false};          // an update thread is between start and its end
    int chip = 0;
    std::string firmwarePath;                  // device path of the image
    uint8_t McuTransmitBuffer[1000] = {};
    std::atomic<uint32_t> transmitLength{0};
    std::atomic<uint32_t> transmitSent{0};
    McuReceiveBuffer receiveBuffer;
    std::atomic<uint32_t> progress{0};         // block progress for the sender's broadcast
    std::atomic<ce::UINT> messageId{0};        // "MICOM_UPDATE"
    bool threadHandlesOpen = false;            // StopUpdateMicom's handles
};

McuLink& Link();

// The result of a status wait: matched, and the status bytes ST1/ST2 of the frame that
// matched or, on failure, of the last frame that came with another status (NO_STATUS when
// none came). On failure st1 and st2 are never 0.
struct StatusResult {
    bool matched = false;
    uint8_t st1 = 0;
    uint8_t st2 = 0;
    std::vector<uint8_t> frame;  // the frame that matched, as received
};

// Line settings: rate, 8 data bits, no parity, one stop bit, DTR raised, no DSR flow control.
bool SetHostBaudRate(uint32_t baudRate);

void SendCommandFrame(uint8_t command, size_t count, const uint8_t* data);
void SendDataFrame(size_t length, const uint8_t* data, bool last);
void SendSyncByte();  // one 0x00 byte, for the MCU to measure the line
// Waits until the frame in the transmit buffer has left, polling every pollMs.
void WaitTransmitDone(uint32_t pollMs);

// Waits for a status frame whose ST1 equals expected: ticks x 10 ms per silence, at most ten
// times that in all.
StatusResult WaitStatusFrame(uint8_t expected, uint32_t ticks);
// Waits for the next valid frame of any content (the signature's data frame), same limits.
std::optional<std::vector<uint8_t>> WaitAnyFrame(uint32_t perWaitMs);

void ClearReceiveBuffer();

// McuDisconnect: connected flag off, event mask cleared (releases ThreadWatchComm), DTR
// dropped, both directions purged, port closed; logs it. Returns 1.
int McuDisconnect();
// The procedure's failure end: connected flag off, port closed.
void ClosePortAfterFailure();

// The threads.
void ThreadWatchComm(std::shared_ptr<McuSession> session);
void SenderThread(std::shared_ptr<McuSession> session);

// "MICOM_UPDATE" to every top-level window; returns when all have handled it.
void BroadcastMicomUpdate(ce::WPARAM wParam);

}  // namespace mculoader
