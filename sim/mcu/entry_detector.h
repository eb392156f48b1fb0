#pragma once
// Tells from the board's GPIO requests when the MCU enters its programming mode: on port 2,
// line 0x80 is the mode line and line 0x40 the reset line (low holds the MCU in reset). A
// rising reset line while the mode line is high starts the boot firmware; a rising reset line
// with the mode line low starts the application; a falling reset line stops either.

#include <cstdint>

namespace sim::mcu {

class EntryDetector {
public:
    enum class Change { None, EnterProgramming, Leave };

    static constexpr uint8_t kPort = 2;
    static constexpr uint32_t kModeLine = 0x80;
    static constexpr uint32_t kResetLine = 0x40;

    // The levels of port 2 as the board holds them when the MCU starts to watch.
    void setLevels(uint32_t port2) {
        modeHigh_ = port2 & kModeLine;
        resetHigh_ = port2 & kResetLine;
    }

    // One GPIO set request as the board carried it out.
    Change onRequest(uint8_t port, uint32_t mask, uint8_t level);

private:
    bool modeHigh_ = false;
    bool resetHigh_ = true;  // the MCU runs its application until the board says otherwise
};

}  // namespace sim::mcu
