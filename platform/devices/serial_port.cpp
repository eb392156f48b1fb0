// Serial ports over a Linux tty, with the device's communications semantics.
//
// The tty is opened non-blocking and every wait is a poll() with the port's own time-outs, so
// that the device's read time-out rules, a wait for comm events that another thread can
// release, and a close that releases all of them can be had at once. Two eventfds do the
// releasing: one wakes waitCommEvent (mask changed, bytes written), one tells every blocked
// call that the port closed.

#include "platform/devices/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>

#include "platform/core/profile.h"
#include "platform/devices/tty.h"

namespace ce {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kMaxDword = 0xFFFFFFFF;

// Milliseconds from now until deadline, never negative; -1 for "no deadline".
int msUntil(const std::optional<Clock::time_point>& deadline) {
    if (!deadline) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

std::optional<Clock::time_point> deadlineAfter(uint64_t ms) {
    if (ms == 0) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(ms);
}

void signal(int eventFd) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(eventFd, &one, sizeof one);
}

void drain(int eventFd) {
    uint64_t count;
    [[maybe_unused]] ssize_t n = ::read(eventFd, &count, sizeof count);
}

// Modem-line and break calls that a pseudo-terminal refuses are not failures there.
Error modemResult(int err, bool isPty) {
    if (err == 0 || (isPty && (err == ENOTTY || err == EINVAL))) return ERROR_SUCCESS;
    return errorFromErrno(err);
}

tty::LineSettings toLineSettings(const Dcb& dcb) {
    static const char parities[] = {'N', 'O', 'E', 'M', 'S'};
    tty::LineSettings s;
    s.baud = dcb.BaudRate;
    s.dataBits = dcb.ByteSize;
    s.parity = parities[dcb.Parity];
    s.stopBits = dcb.StopBits == ONESTOPBIT ? 1 : 2;  // 1.5 stop bits: the nearest a tty has
    s.checkParity = dcb.fParity;
    s.ctsFlow = dcb.fOutxCtsFlow;
    s.xonOutput = dcb.fOutX;
    s.xonInput = dcb.fInX;
    return s;
}

Dcb toDcb(const tty::LineSettings& s) {
    Dcb dcb;
    dcb.BaudRate = s.baud;
    dcb.ByteSize = static_cast<uint8_t>(s.dataBits);
    switch (s.parity) {
        case 'O': dcb.Parity = ODDPARITY; break;
        case 'E': dcb.Parity = EVENPARITY; break;
        case 'M': dcb.Parity = MARKPARITY; break;
        case 'S': dcb.Parity = SPACEPARITY; break;
        default: dcb.Parity = NOPARITY; break;
    }
    dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fParity = s.checkParity;
    dcb.fOutxCtsFlow = s.ctsFlow;
    dcb.fOutX = s.xonOutput;
    dcb.fInX = s.xonInput;
    return dcb;
}

}  // namespace

// ---- Opening and closing ------------------------------------------------------------------

Result<std::unique_ptr<SerialPort>> SerialPort::open(std::string_view portName, uint32_t /*access*/, uint32_t share) {
    auto profile = Profile::current();
    if (!profile) return fail(ERROR_FILE_NOT_FOUND);
    std::string name(portName);
    fs::path tty = (*profile)->serialDevice(name);
    if (tty.empty()) {
        // A port the profile does not list may still have its link in dev/ ("COM3:" -> dev/COM3).
        if (!name.empty() && name.back() == ':') name.pop_back();
        if (name.empty() || name.find_first_of("/\\") != std::string::npos) return fail(ERROR_FILE_NOT_FOUND);
        tty = (*profile)->devDir() / name;
    }
    return openHost(tty.string(), share);
}

Result<std::unique_ptr<SerialPort>> SerialPort::openHost(const std::string& ttyPath, uint32_t share) {
    int fd = ::open(ttyPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        return fail(err == ENOENT || err == ENXIO || err == EIO ? ERROR_FILE_NOT_FOUND : errorFromErrno(err));
    }
    // Exclusive across processes (and across opens in this process) for share mode 0.
    if (::flock(fd, (share == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        ::close(fd);
        return fail(ERROR_SHARING_VIOLATION);
    }
    tty::LineSettings settings;
    if (tty::readSettings(fd, settings) != 0 || tty::makeRaw(fd) != 0) {
        ::close(fd);
        return fail(ERROR_NOT_SUPPORTED);  // not a tty
    }
    int wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    int closeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0 || closeFd < 0) {
        int err = errno;
        for (int f : {fd, wakeFd, closeFd})
            if (f >= 0) ::close(f);
        return fail(errorFromErrno(err));
    }
    std::unique_ptr<SerialPort> port(new SerialPort(fd, wakeFd, closeFd));
    port->isPty_ = tty::isPseudoTerminal(fd);
    port->dcb_ = toDcb(settings);
    return port;
}

SerialPort::SerialPort(int fd, int wakeFd, int closeFd) : fd_(fd), wakeFd_(wakeFd), closeFd_(closeFd) {}

SerialPort::~SerialPort() {
    close();
    ::close(fd_);
    ::close(wakeFd_);
    ::close(closeFd_);
}

void SerialPort::close() {
    if (closed_.exchange(true)) return;
    signal(closeFd_);
    // The descriptor number stays valid (now /dev/null) for calls still running in other
    // threads; the tty itself is released, with its lock, so the port can be opened again.
    int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, fd_);
        ::close(null);
    }
}

// ---- Settings ---------------------------------------------------------------------------------

Error SerialPort::getState(Dcb& dcb) const {
    if (closed()) return ERROR_INVALID_HANDLE;
    std::lock_guard lock(mutex_);
    dcb = dcb_;
    return ERROR_SUCCESS;
}

Error SerialPort::setState(const Dcb& dcb) {
    if (closed()) return ERROR_INVALID_HANDLE;
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS)
        return ERROR_INVALID_PARAMETER;
    bool framingKept = true;
    if (int err = tty::applySettings(fd_, toLineSettings(dcb), framingKept)) return errorFromErrno(err);
    // The port reports the settings the program made, also where a pseudo-terminal keeps its
    // own framing: on real hardware they would all hold.
    {
        std::lock_guard lock(mutex_);
        dcb_ = dcb;
    }
    if (dcb.fDtrControl == DTR_CONTROL_ENABLE || dcb.fDtrControl == DTR_CONTROL_DISABLE) {
        Error error = modemResult(tty::setModemLine(fd_, tty::ModemLine::Dtr, dcb.fDtrControl == DTR_CONTROL_ENABLE), isPty_);
        if (error != ERROR_SUCCESS) return error;
    }
    return ERROR_SUCCESS;
}

Error SerialPort::setTimeouts(const CommTimeouts& timeouts) {
    if (closed()) return ERROR_INVALID_HANDLE;
    std::lock_guard lock(mutex_);
    timeouts_ = timeouts;
    return ERROR_SUCCESS;
}

Error SerialPort::getTimeouts(CommTimeouts& timeouts) const {
    if (closed()) return ERROR_INVALID_HANDLE;
    std::lock_guard lock(mutex_);
    timeouts = timeouts_;
    return ERROR_SUCCESS;
}

Error SerialPort::setupComm(uint32_t inQueue, uint32_t outQueue) {
    if (closed()) return ERROR_INVALID_HANDLE;
    // The kernel's tty buffers are of fixed size and larger than the device's; the sizes are
    // a recommendation there as well, so they are checked and otherwise accepted.
    if (inQueue == 0 || outQueue == 0) return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

// ---- Events -----------------------------------------------------------------------------------

Error SerialPort::setCommMask(uint32_t mask) {
    if (closed()) return ERROR_INVALID_HANDLE;
    mask_.store(mask);
    maskGeneration_.fetch_add(1);
    signal(wakeFd_);
    return ERROR_SUCCESS;
}

Error SerialPort::getCommMask(uint32_t& mask) const {
    if (closed()) return ERROR_INVALID_HANDLE;
    mask = mask_.load();
    return ERROR_SUCCESS;
}

uint32_t SerialPort::inputQueue() const {
    uint32_t bytes = 0;
    tty::inputQueue(fd_, bytes);
    return bytes;
}

Error SerialPort::waitCommEvent(uint32_t& events) {
    events = 0;
    const uint32_t generation = maskGeneration_.load();
    const uint32_t mask = mask_.load();
    if (mask == 0) return ERROR_INVALID_PARAMETER;  // nothing could ever end the wait
    while (true) {
        if (closed()) return ERROR_INVALID_HANDLE;
        if (maskGeneration_.load() != generation) return ERROR_SUCCESS;  // released: events = 0

        // Characters already waiting count as received, so none is left unread.
        if ((mask & EV_RXCHAR) && inputQueue() > 0) events |= EV_RXCHAR;
        if ((mask & EV_TXEMPTY) && txPending_.load()) {
            uint32_t queued = 0;
            tty::outputQueue(fd_, queued);
            if (queued == 0 && txPending_.exchange(false)) events |= EV_TXEMPTY;
        }
        if (events != 0) return ERROR_SUCCESS;

        pollfd fds[3] = {{wakeFd_, POLLIN, 0}, {closeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
        nfds_t count = (mask & EV_RXCHAR) ? 3 : 2;
        // While written bytes drain, look again shortly: the kernel has no wake-up for an
        // output queue that became empty.
        int timeout = (mask & EV_TXEMPTY) && txPending_.load() ? 2 : -1;
        int ready = ::poll(fds, count, timeout);
        if (ready < 0 && errno != EINTR) return errorFromErrno(errno);
        if (fds[0].revents & POLLIN) drain(wakeFd_);
        if (count == 3 && (fds[2].revents & (POLLHUP | POLLERR)) && !(fds[2].revents & POLLIN)) {
            // The other end of the line is gone: the line stays quiet until it comes back.
            pollfd quiet[2] = {{wakeFd_, POLLIN, 0}, {closeFd_, POLLIN, 0}};
            if (::poll(quiet, 2, 50) > 0 && (quiet[0].revents & POLLIN)) drain(wakeFd_);
        }
    }
}

Error SerialPort::clearCommError(uint32_t& errors, ComStat& stat) {
    errors = 0;
    stat = ComStat{};
    if (closed()) return ERROR_INVALID_HANDLE;
    tty::inputQueue(fd_, stat.cbInQue);
    tty::outputQueue(fd_, stat.cbOutQue);
    return ERROR_SUCCESS;
}

// ---- Data -------------------------------------------------------------------------------------

bool SerialPort::waitReady(short events, int timeoutMs) const {
    pollfd fds[2] = {{fd_, events, 0}, {closeFd_, POLLIN, 0}};
    int ready = ::poll(fds, 2, timeoutMs);
    if (ready <= 0 || (fds[1].revents & POLLIN)) return false;
    if (fds[0].revents & events) return true;
    if (fds[0].revents & (POLLHUP | POLLERR)) {
        // Nobody at the other end: nothing will arrive, so sit out the time-out quietly
        // instead of spinning on the hang-up.
        pollfd closeOnly = {closeFd_, POLLIN, 0};
        ::poll(&closeOnly, 1, timeoutMs < 0 ? 50 : std::min(timeoutMs, 50));
    }
    return false;
}

bool SerialPort::waitForInput(uint32_t timeoutMs) const {
    if (closed()) return false;
    // poll() returns at once when bytes are already waiting: one system call either way.
    return waitReady(POLLIN, static_cast<int>(std::min<uint32_t>(timeoutMs, 0x7FFFFFFF)));
}

Error SerialPort::read(void* buffer, uint32_t size, uint32_t* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    if (closed()) return ERROR_INVALID_HANDLE;
    if (size == 0) return ERROR_SUCCESS;
    if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
    CommTimeouts t;
    getTimeouts(t);

    // The device's rules: interval MAXDWORD with both totals 0 returns at once with what is
    // buffered; interval and multiplier MAXDWORD with a constant waits that long for the first
    // byte; otherwise the total time-out (multiplier x size + constant, 0 = none) bounds the
    // read and the interval time-out (0 = none) ends it when the line goes quiet after a byte.
    bool atOnce = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    bool firstByte = t.ReadIntervalTimeout == kMaxDword && t.ReadTotalTimeoutMultiplier == kMaxDword &&
                     t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < kMaxDword;
    std::optional<Clock::time_point> total;
    uint32_t interval = 0;
    if (firstByte) {
        total = deadlineAfter(t.ReadTotalTimeoutConstant);
    } else if (!atOnce) {
        total = deadlineAfter(uint64_t(t.ReadTotalTimeoutMultiplier) * size + t.ReadTotalTimeoutConstant);
        if (t.ReadIntervalTimeout != kMaxDword) interval = t.ReadIntervalTimeout;
    }

    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t got = 0;
    std::optional<Clock::time_point> quiet;  // end of the interval time-out after the last byte
    while (got < size) {
        ssize_t n = ::read(fd_, out + got, size - got);
        if (closed()) break;
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            if (firstByte) break;
            if (interval != 0) quiet = deadlineAfter(interval);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EIO) return errorFromErrno(errno);
        // Nothing buffered (EIO: the other end is closed, which reads as a quiet line).
        if (atOnce) break;
        int wait = msUntil(total);
        int quietWait = msUntil(quiet);
        if (quietWait >= 0 && (wait < 0 || quietWait < wait)) wait = quietWait;
        if (wait == 0) break;
        waitReady(POLLIN, wait);
    }
    if (bytesRead) *bytesRead = got;
    return closed() && got == 0 ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
}

Error SerialPort::write(const void* buffer, uint32_t size, uint32_t* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    if (closed()) return ERROR_INVALID_HANDLE;
    if (size == 0) return ERROR_SUCCESS;
    if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
    CommTimeouts t;
    getTimeouts(t);
    auto total = deadlineAfter(uint64_t(t.WriteTotalTimeoutMultiplier) * size + t.WriteTotalTimeoutConstant);

    const auto* in = static_cast<const uint8_t*>(buffer);
    uint32_t done = 0;
    Error error = ERROR_SUCCESS;
    while (done < size && !closed()) {
        ssize_t n = ::write(fd_, in + done, size - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            error = errorFromErrno(errno);
            break;
        }
        int wait = msUntil(total);
        if (wait == 0) break;  // write time-out: success with the count written
        waitReady(POLLOUT, wait);
    }
    if (done > 0) {
        txPending_.store(true);
        signal(wakeFd_);  // a waitCommEvent for EV_TXEMPTY starts watching the queue
    }
    if (bytesWritten) *bytesWritten = done;
    if (closed() && done < size) return ERROR_INVALID_HANDLE;
    return error;
}

Error SerialPort::purge(uint32_t flags) {
    if (closed()) return ERROR_INVALID_HANDLE;
    bool input = flags & (PURGE_RXABORT | PURGE_RXCLEAR);
    bool output = flags & (PURGE_TXABORT | PURGE_TXCLEAR);
    if (int err = tty::flush(fd_, input, output)) return errorFromErrno(err);
    return ERROR_SUCCESS;
}

Error SerialPort::escapeCommFunction(uint32_t function) {
    if (closed()) return ERROR_INVALID_HANDLE;
    switch (function) {
        case SETDTR: return modemResult(tty::setModemLine(fd_, tty::ModemLine::Dtr, true), isPty_);
        case CLRDTR: return modemResult(tty::setModemLine(fd_, tty::ModemLine::Dtr, false), isPty_);
        case SETRTS: return modemResult(tty::setModemLine(fd_, tty::ModemLine::Rts, true), isPty_);
        case CLRRTS: return modemResult(tty::setModemLine(fd_, tty::ModemLine::Rts, false), isPty_);
        case SETBREAK: return modemResult(tty::setBreak(fd_, true), isPty_);
        case CLRBREAK: return modemResult(tty::setBreak(fd_, false), isPty_);
        default: return ERROR_INVALID_PARAMETER;
    }
}

}  // namespace ce
