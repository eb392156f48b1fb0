#pragma once
// The Linux tty calls under SerialPort: line settings through termios2 (so any baud rate can be
// set, 153600 included), queue counts, flushes, modem lines and breaks. Kept apart because the
// kernel's termios2 header cannot share a translation unit with the C library's <termios.h>.
// Every function returns 0 or an errno value.

#include <cstdint>

namespace ce::tty {

struct LineSettings {
    uint32_t baud = 9600;
    int dataBits = 8;     // 5..8
    char parity = 'N';    // 'N', 'O', 'E', 'M' (mark), 'S' (space)
    int stopBits = 1;     // 1 or 2
    bool checkParity = false;  // check (and drop) received characters with a parity error
    bool ctsFlow = false;
    bool xonOutput = false;
    bool xonInput = false;
};

// Raw mode: no echo, no line editing, no character translation, receiver on, modem control
// lines ignored; the line settings stay as they are.
int makeRaw(int fd);

int readSettings(int fd, LineSettings& settings);

// Applies the settings. A pseudo-terminal keeps 8 data bits without parity: where the kernel
// refuses such a change with EINVAL, the settings are applied again with 8 bits and no parity
// and framingKept is set to false.
int applySettings(int fd, const LineSettings& settings, bool& framingKept);

int inputQueue(int fd, uint32_t& bytes);   // received, not yet read
int outputQueue(int fd, uint32_t& bytes);  // written, not yet sent
int flush(int fd, bool input, bool output);

enum class ModemLine { Dtr, Rts };
int setModemLine(int fd, ModemLine line, bool on);
int setBreak(int fd, bool on);

// True for the device end of a pseudo-terminal (no modem lines, fixed framing).
bool isPseudoTerminal(int fd);

}  // namespace ce::tty
