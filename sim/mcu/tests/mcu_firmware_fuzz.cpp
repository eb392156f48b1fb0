// Arbitrary bytes from the host into the MCU's boot firmware, in pieces, over a small flash:
// whatever arrives, the firmware must answer with whole frames and never touch memory outside
// its flash.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sim/mcu/mcu_firmware.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sim::mcu;
    if (size < 2) return 0;
    McuOptions options;
    options.chip = data[0] & 1;
    options.lastAddress = 0x3FF;
    options.blockCount = 4;
    options.eraseMs = options.blockMs = options.internalVerifyMs = options.blankCheckMs = 0;
    McuFlash flash(McuFlash::oldFirmware(options.flashSize()));
    McuFirmware firmware(options, flash, [](const std::string&) {});
    firmware.enterProgrammingMode(0);
    const uint8_t sync[] = {0x00, 0x00};
    firmware.receive(sync, sizeof sync, 0);
    size_t piece = 1 + data[1] % 37;
    uint64_t now = 0;
    for (size_t at = 2; at < size; at += piece) {
        now += 7;
        for (const auto& action : firmware.receive(data + at, std::min(piece, size - at), now)) {
            if (action.kind != DeviceAction::Send) continue;
            const auto& f = action.bytes;
            if (f.size() < 4 || f[0] != 0x02 || f.size() != size_t{f[1]} + 4 || f.back() != 0x03) std::abort();
        }
    }
    if (flash.size() != options.flashSize()) std::abort();
    return 0;
}
