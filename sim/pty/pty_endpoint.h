#pragma once
// The device end of a simulated serial line: a pseudo-terminal whose other end the programs
// open as "COMn:" through the profile's dev/COMn link.
//
// The simulators see the line settings the program set (the master side of a pty reads the
// slave's termios, custom baud rates included), so they can behave as real hardware does:
// bytes sent at a rate or framing the device is not using arrive as garbage. Writes can be
// paced at the line rate (bits per character / baud) to measure against real timing.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sim {

// The line settings as the program last set them on its end.
struct LineSettings {
    uint32_t baud = 0;
    int dataBits = 8;
    char parity = 'N';  // 'N', 'E', 'O' (a pty may not keep parity: see parityObservable)
    int stopBits = 1;
    bool parityObservable = false;  // false on a pty, whose termios keeps no parity bits
};

class PtyEndpoint {
public:
    // Creates a pty and links `link` (e.g. <root>/dev/COM5) to its slave, replacing an old link.
    // Throws std::runtime_error with a clear message on failure (simulator start-up only).
    explicit PtyEndpoint(const std::filesystem::path& link);
    ~PtyEndpoint();  // removes the link and closes the pty
    PtyEndpoint(const PtyEndpoint&) = delete;
    PtyEndpoint& operator=(const PtyEndpoint&) = delete;

    LineSettings lineSettings() const;

    // Waits up to timeoutMs for bytes from the program; returns what arrived (empty on
    // time-out). Also returns early (empty) when the program closes its end.
    // A negative timeoutMs waits without limit.
    std::vector<uint8_t> read(int timeoutMs);

    // How many times the program has closed its end so far (seen by read()).
    uint32_t closeCount() const { return closeCount_; }

    // Sends bytes to the program; with pacing on, no faster than the current line rate (a byte
    // becomes readable one character time after the previous one, as from a real UART).
    // Bytes the program does not take within a while (its end closed and its input queue
    // full) are dropped, as a line drops them when nobody listens.
    void write(const uint8_t* data, size_t size);
    void write(const std::vector<uint8_t>& data) { write(data.data(), data.size()); }
    void setPacing(bool paced) { paced_ = paced; }

    // Seconds one character takes at the current settings (start + data + parity + stop bits).
    double characterTime() const;

    int masterFd() const { return master_; }
    const std::string& slavePath() const { return slavePath_; }

private:
    void writeNow(const uint8_t* data, size_t size);

    int master_ = -1;
    int slaveKeepAlive_ = -1;  // keeps the pty alive while the program has it closed
    int closeWatch_ = -1;      // inotify on the slave: tells when the program closes its end
    std::filesystem::path link_;
    std::string slavePath_;
    bool paced_ = false;
    uint32_t closeCount_ = 0;
    bool parityKept_ = false;  // probed once: does this tty keep the parity bits it is given?
    std::chrono::steady_clock::time_point lineFreeAt_{};  // when the paced line is idle again
};

}  // namespace sim
