// Arbitrary byte streams from the line into the receive side: pumped through the staging area
// in pieces into the receive buffer, frames taken out and read as signatures. Nothing may read
// or write out of bounds, and every frame handed out must be complete and valid.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "mcu_loader/mcu_frames.h"
#include "mcu_loader/mcu_receive_buffer.h"
#include "mcu_loader/mcu_signature.h"
#include "mcu_loader/receive_pump.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace mculoader;
    static McuReceiveBuffer buffer;
    static StagingArea staging;
    buffer.Clear();
    size_t at = 0;
    // The first byte chooses how much the port claims to have queued per read.
    uint32_t chunk = size ? 1u + data[0] * 5u : 1u;
    ReceivePort port{[&] { return static_cast<uint32_t>(std::min<size_t>(chunk, size - at)); },
                     [&](uint8_t* to, uint32_t n) {
                         n = static_cast<uint32_t>(std::min<size_t>(n, size - at));
                         for (uint32_t i = 0; i < n; ++i) to[i] = data[at + i];
                         at += n;
                         return n;
                     },
                     [] {}};
    while (at < size) {
        PumpReceivedBytes(staging, port, [&](const uint8_t* d, size_t n) { buffer.Append(d, n); });
        while (auto frame = buffer.TakeFrame()) {
            if (CheckMcuFrame(frame->data(), frame->size()) != FrameCheck::Valid) std::abort();
            if (frame->size() != size_t{(*frame)[1]} + 4) std::abort();
            for (int chip = 0; chip < 3; ++chip) ParseSignature(chip, frame->data() + 2, (*frame)[1]);
        }
    }
    return 0;
}
