#pragma once
// Reading the line settings of a tty through the kernel's extended termios (any baud rate).
// Kept apart from the rest of the endpoint because the kernel's termios header and the C
// library's cannot share one translation unit.

#include "sim/pty/pty_endpoint.h"

namespace sim::detail {

// The settings of the tty behind fd (a pty master reads its slave's). False if unreadable.
bool readLineSettings(int fd, LineSettings& settings);

// Sets parity on the tty behind fd, reads it back and restores the old settings: true when
// the tty keeps parity bits (a real tty), false on a pty, whose driver clears them.
bool keepsParity(int fd);

}  // namespace sim::detail
