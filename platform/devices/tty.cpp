#include "platform/devices/tty.h"

// termios2 and BOTHER come from the kernel's header; glibc's <termios.h> must stay out.
#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>

namespace ce::tty {

namespace {

int ioctlResult(int r) { return r == 0 ? 0 : errno; }

int get(int fd, termios2& t) { return ioctlResult(::ioctl(fd, TCGETS2, &t)); }
int set(int fd, const termios2& t) { return ioctlResult(::ioctl(fd, TCSETS2, &t)); }

tcflag_t sizeFlag(int dataBits) {
    switch (dataBits) {
        case 5: return CS5;
        case 6: return CS6;
        case 7: return CS7;
        default: return CS8;
    }
}

void encode(const LineSettings& s, termios2& t) {
    // Any rate through BOTHER, for output and input alike.
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ospeed = s.baud;
    t.c_ispeed = s.baud;

    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= sizeFlag(s.dataBits) | CREAD | CLOCAL;
    switch (s.parity) {
        case 'O': t.c_cflag |= PARENB | PARODD; break;
        case 'E': t.c_cflag |= PARENB; break;
        case 'M': t.c_cflag |= PARENB | CMSPAR | PARODD; break;
        case 'S': t.c_cflag |= PARENB | CMSPAR; break;
        default: break;
    }
    if (s.stopBits == 2) t.c_cflag |= CSTOPB;
    if (s.ctsFlow) t.c_cflag |= CRTSCTS;

    t.c_iflag &= ~(INPCK | IGNPAR | IXON | IXOFF | IXANY);
    if (s.checkParity && s.parity != 'N') t.c_iflag |= INPCK | IGNPAR;
    if (s.xonOutput) t.c_iflag |= IXON;
    if (s.xonInput) t.c_iflag |= IXOFF;
}

}  // namespace

int makeRaw(int fd) {
    termios2 t{};
    if (int err = get(fd, t)) return err;
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    return set(fd, t);
}

int readSettings(int fd, LineSettings& s) {
    termios2 t{};
    if (int err = get(fd, t)) return err;
    s.baud = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
        case CS5: s.dataBits = 5; break;
        case CS6: s.dataBits = 6; break;
        case CS7: s.dataBits = 7; break;
        default: s.dataBits = 8; break;
    }
    if (!(t.c_cflag & PARENB)) s.parity = 'N';
    else if (t.c_cflag & CMSPAR) s.parity = (t.c_cflag & PARODD) ? 'M' : 'S';
    else s.parity = (t.c_cflag & PARODD) ? 'O' : 'E';
    s.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    s.checkParity = (t.c_iflag & INPCK) != 0;
    s.ctsFlow = (t.c_cflag & CRTSCTS) != 0;
    s.xonOutput = (t.c_iflag & IXON) != 0;
    s.xonInput = (t.c_iflag & IXOFF) != 0;
    return 0;
}

int applySettings(int fd, const LineSettings& s, bool& framingKept) {
    termios2 t{};
    if (int err = get(fd, t)) return err;
    encode(s, t);
    framingKept = true;
    int err = set(fd, t);
    if (err == EINVAL && isPseudoTerminal(fd) && (s.parity != 'N' || s.dataBits != 8)) {
        LineSettings plain = s;
        plain.parity = 'N';
        plain.dataBits = 8;
        encode(plain, t);
        framingKept = false;
        err = set(fd, t);
    }
    return err;
}

int inputQueue(int fd, uint32_t& bytes) {
    int n = 0;
    int err = ioctlResult(::ioctl(fd, TIOCINQ, &n));
    bytes = err ? 0 : static_cast<uint32_t>(n);
    return err;
}

int outputQueue(int fd, uint32_t& bytes) {
    int n = 0;
    int err = ioctlResult(::ioctl(fd, TIOCOUTQ, &n));
    bytes = err ? 0 : static_cast<uint32_t>(n);
    return err;
}

int flush(int fd, bool input, bool output) {
    if (!input && !output) return 0;
    int which = input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH;
    return ioctlResult(::ioctl(fd, TCFLSH, which));
}

int setModemLine(int fd, ModemLine line, bool on) {
    int bits = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    return ioctlResult(::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits));
}

int setBreak(int fd, bool on) { return ioctlResult(::ioctl(fd, on ? TIOCSBRK : TIOCCBRK)); }

bool isPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    unsigned int m = major(st.st_rdev);
    return m >= 136 && m <= 143;  // Unix98 pty device ends
}

}  // namespace ce::tty
