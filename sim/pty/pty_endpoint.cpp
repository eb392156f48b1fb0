#include "sim/pty/pty_endpoint.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "sim/pty/line_settings.h"

namespace sim {

namespace {

// How long a write waits for the program to make room in its input queue before the rest of
// the bytes is dropped.
constexpr int kStalledWriteMs = 200;

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error("pty: " + what + ": " + std::strerror(errno));
}

}  // namespace

PtyEndpoint::PtyEndpoint(const std::filesystem::path& link) : link_(link) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0) fail("cannot open a pseudo-terminal");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        close(master_);
        fail("cannot unlock the pseudo-terminal");
    }
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) {
        close(master_);
        fail("cannot name the pseudo-terminal");
    }
    slavePath_ = name;

    // The device end starts raw: no echo, no line editing, no character translation. A
    // program that opens the line sets its own rate; until then it is 9600 8N1.
    slaveKeepAlive_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeepAlive_ < 0) {
        close(master_);
        fail("cannot open " + slavePath_);
    }
    struct termios t {};
    tcgetattr(slaveKeepAlive_, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B9600);
    tcsetattr(slaveKeepAlive_, TCSANOW, &t);
    parityKept_ = detail::keepsParity(slaveKeepAlive_);

    closeWatch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (closeWatch_ >= 0) inotify_add_watch(closeWatch_, slavePath_.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE);

    std::error_code ec;
    std::filesystem::create_directories(link_.parent_path(), ec);
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(link_)) ||
        std::filesystem::is_regular_file(std::filesystem::symlink_status(link_))) {
        std::filesystem::remove(link_, ec);
    }
    std::filesystem::create_symlink(slavePath_, link_, ec);
    if (ec) {
        close(master_);
        close(slaveKeepAlive_);
        if (closeWatch_ >= 0) close(closeWatch_);
        throw std::runtime_error("pty: cannot link " + link_.string() + " to " + slavePath_ + ": " + ec.message());
    }
}

PtyEndpoint::~PtyEndpoint() {
    // Remove the link only while it still names this pty: a newer simulator may own it now.
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(link_)) &&
        std::filesystem::read_symlink(link_, ec) == slavePath_) {
        std::filesystem::remove(link_, ec);
    }
    if (closeWatch_ >= 0) close(closeWatch_);
    close(slaveKeepAlive_);
    close(master_);
}

LineSettings PtyEndpoint::lineSettings() const {
    LineSettings settings;
    detail::readLineSettings(master_, settings);
    settings.parityObservable = parityKept_;
    return settings;
}

double PtyEndpoint::characterTime() const {
    LineSettings s = lineSettings();
    if (s.baud == 0) return 0.0;
    int bits = 1 + s.dataBits + (s.parity == 'N' ? 0 : 1) + s.stopBits;
    return static_cast<double>(bits) / s.baud;
}

std::vector<uint8_t> PtyEndpoint::read(int timeoutMs) {
    pollfd fds[2] = {{master_, POLLIN, 0}, {closeWatch_, POLLIN, 0}};
    int count = closeWatch_ >= 0 ? 2 : 1;
    int ready = poll(fds, count, timeoutMs < 0 ? -1 : timeoutMs);
    std::vector<uint8_t> data;
    if (ready <= 0) return data;
    if (fds[0].revents & POLLIN) {
        uint8_t buffer[4096];
        ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) data.assign(buffer, buffer + n);
    }
    if (count == 2 && (fds[1].revents & POLLIN)) {
        // Drain the close notifications; bytes read in the same round still count.
        alignas(inotify_event) char events[4096];
        ssize_t n;
        while ((n = ::read(closeWatch_, events, sizeof events)) > 0) {
            for (ssize_t at = 0; at < n;) {
                auto* event = reinterpret_cast<const inotify_event*>(events + at);
                if (event->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) ++closeCount_;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }
    return data;
}

void PtyEndpoint::writeNow(const uint8_t* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(master_, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd out{master_, POLLOUT, 0};
            if (poll(&out, 1, kStalledWriteMs) > 0) continue;
        }
        return;  // nobody takes the bytes: the line drops them
    }
}

void PtyEndpoint::write(const uint8_t* data, size_t size) {
    if (size == 0) return;
    double perChar = paced_ ? characterTime() : 0.0;
    if (perChar <= 0.0) {
        writeNow(data, size);
        return;
    }
    // Each byte leaves when its whole character has crossed the line. Bytes already due are
    // written together, so the schedule holds even when a sleep overshoots.
    using Clock = std::chrono::steady_clock;
    auto start = std::max(Clock::now(), lineFreeAt_);
    auto dueOf = [&](size_t i) {
        return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(perChar * (i + 1)));
    };
    size_t sent = 0;
    while (sent < size) {
        auto now = Clock::now();
        size_t due = sent;
        while (due < size && dueOf(due) <= now) ++due;
        if (due == sent) {
            std::this_thread::sleep_until(dueOf(sent));
            continue;
        }
        writeNow(data + sent, due - sent);
        sent = due;
    }
    lineFreeAt_ = dueOf(size - 1);
}

}  // namespace sim
