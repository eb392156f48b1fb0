#include "sim/pty/line_settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace sim::detail {

namespace {

// Decodes a classic Bxxx speed code, for kernels that leave c_ospeed empty.
uint32_t baudOfCode(unsigned code) {
    struct Entry { unsigned code; uint32_t baud; };
    static const Entry table[] = {
        {B50, 50},       {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
        {B200, 200},     {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
        {B2400, 2400},   {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
        {B57600, 57600}, {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
    };
    for (const auto& e : table) {
        if (e.code == code) return e.baud;
    }
    return 0;
}

}  // namespace

bool readLineSettings(int fd, LineSettings& settings) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return false;
    unsigned code = t.c_cflag & CBAUD;
    settings.baud = (code == BOTHER || t.c_ospeed != 0) ? t.c_ospeed : baudOfCode(code);
    switch (t.c_cflag & CSIZE) {
        case CS5: settings.dataBits = 5; break;
        case CS6: settings.dataBits = 6; break;
        case CS7: settings.dataBits = 7; break;
        default: settings.dataBits = 8; break;
    }
    if (!(t.c_cflag & PARENB)) {
        settings.parity = 'N';
    } else {
        settings.parity = (t.c_cflag & PARODD) ? 'O' : 'E';
    }
    settings.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    return true;
}

bool keepsParity(int fd) {
    struct termios2 old {};
    if (ioctl(fd, TCGETS2, &old) != 0) return false;
    struct termios2 probe = old;
    probe.c_cflag |= PARENB;
    if (ioctl(fd, TCSETS2, &probe) != 0) return false;
    struct termios2 back {};
    bool kept = ioctl(fd, TCGETS2, &back) == 0 && (back.c_cflag & PARENB);
    ioctl(fd, TCSETS2, &old);
    return kept;
}

}  // namespace sim::detail
