#pragma once
// Serial ports ("COM2:", "COM5:") over termios.
//
// A port name maps to the profile's dev/ folder ("COM5:" -> dev/COM5), a link to a tty: a
// simulator's pseudo-terminal or a real USB serial adapter. The calls mirror the device's
// communications API so that the programs' port handling reads the same: line settings in a
// DCB, time-outs, queue sizes, an event mask with a blocking wait that another thread can
// release by clearing the mask, queued byte counts, purge and DTR escapes.
//
// A pseudo-terminal has no modem lines and keeps 8 data bits without parity: DTR calls and a
// parity-only change that the kernel refuses are not errors there, and the other settings
// still apply.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/core/error.h"

namespace ce {

enum : uint8_t {
    NOPARITY = 0,
    ODDPARITY = 1,
    EVENPARITY = 2,
    MARKPARITY = 3,
    SPACEPARITY = 4,
    ONESTOPBIT = 0,
    ONE5STOPBITS = 1,
    TWOSTOPBITS = 2,
    DTR_CONTROL_DISABLE = 0,
    DTR_CONTROL_ENABLE = 1,
    DTR_CONTROL_HANDSHAKE = 2,
};

// Line settings, the fields of the device's DCB that a host serial port can honour.
struct Dcb {
    uint32_t DCBlength = sizeof(Dcb);
    uint32_t BaudRate = 9600;
    bool fBinary = true;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    uint8_t fDtrControl = DTR_CONTROL_ENABLE;
    bool fDsrSensitivity = false;
    bool fOutX = false;
    bool fInX = false;
    uint8_t fRtsControl = 1;
    uint8_t ByteSize = 8;
    uint8_t Parity = NOPARITY;
    uint8_t StopBits = ONESTOPBIT;
};

struct CommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

struct ComStat {
    uint32_t cbInQue = 0;   // bytes received and not yet read
    uint32_t cbOutQue = 0;  // bytes written and not yet sent
};

enum : uint32_t {
    EV_RXCHAR = 0x0001,
    EV_TXEMPTY = 0x0004,
    PURGE_TXABORT = 0x1,
    PURGE_RXABORT = 0x2,
    PURGE_TXCLEAR = 0x4,
    PURGE_RXCLEAR = 0x8,
    SETDTR = 5,
    CLRDTR = 6,
    SETRTS = 3,
    CLRRTS = 4,
    SETBREAK = 8,
    CLRBREAK = 9,
    MAXDWORD = 0xFFFFFFFF,
    FILE_FLAG_OVERLAPPED = 0x40000000,
};

class SerialPort {
public:
    // Opens "COMn:" through the profile's dev/COMn link. Share mode 0 makes the port
    // exclusive across processes (ERROR_SHARING_VIOLATION for a second open).
    // ERROR_FILE_NOT_FOUND when the link or the tty is missing.
    static Result<std::unique_ptr<SerialPort>> open(std::string_view portName, uint32_t access,
                                                    uint32_t share);
    // Opens a host tty path directly (tools and tests).
    static Result<std::unique_ptr<SerialPort>> openHost(const std::string& ttyPath, uint32_t share);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    Error getState(Dcb& dcb) const;
    Error setState(const Dcb& dcb);        // any baud rate (termios2), 153600 included
    Error setTimeouts(const CommTimeouts& timeouts);
    Error getTimeouts(CommTimeouts& timeouts) const;
    Error setupComm(uint32_t inQueue, uint32_t outQueue);
    Error setCommMask(uint32_t mask);      // 0 releases a pending waitCommEvent (events = 0)
    Error getCommMask(uint32_t& mask) const;
    // Blocks until an event of the mask occurs; events receives what happened. Returns with
    // events = 0 when another thread changed the mask or the port was closed.
    Error waitCommEvent(uint32_t& events);
    Error clearCommError(uint32_t& errors, ComStat& stat);
    // Reads honour the time-outs: with ReadIntervalTimeout = MAXDWORD and the totals 0 a
    // read returns at once with what is buffered; with all time-outs 0 it waits for the full
    // count.
    Error read(void* buffer, uint32_t size, uint32_t* bytesRead);
    // Waits until received bytes are waiting, the port closes or timeoutMs passes, whatever the
    // read time-outs say; true when bytes are waiting. Lets a polling reader sleep without
    // noticing an arrival late.
    bool waitForInput(uint32_t timeoutMs) const;
    Error write(const void* buffer, uint32_t size, uint32_t* bytesWritten);
    Error purge(uint32_t flags);
    Error escapeCommFunction(uint32_t function);  // SETDTR / CLRDTR ...; not an error on a pty

    // Closes the port while the object lives on (CloseHandle with other threads still inside a
    // call): pending waits, reads and writes return, and every later call fails with
    // ERROR_INVALID_HANDLE. The destructor closes too.
    void close();

    int hostFd() const { return fd_; }

private:
    SerialPort(int fd, int wakeFd, int closeFd);
    bool closed() const { return closed_.load(); }
    // Waits until fd is ready for events (POLLIN/POLLOUT), the port closes or timeoutMs
    // passes (-1: no limit). True when fd is ready.
    bool waitReady(short events, int timeoutMs) const;
    uint32_t inputQueue() const;
    int fd_;
    int wakeFd_;   // eventfd that releases waitCommEvent (mask change, bytes written)
    int closeFd_;  // eventfd, readable once the port is closed: releases every blocking call
    std::atomic<uint32_t> mask_{0};
    std::atomic<uint32_t> maskGeneration_{0};
    std::atomic<bool> txPending_{false};  // bytes written since the last EV_TXEMPTY
    std::atomic<bool> closed_{false};
    bool isPty_ = false;
    Dcb dcb_;
    CommTimeouts timeouts_;
    mutable std::mutex mutex_;
};

}  // namespace ce
