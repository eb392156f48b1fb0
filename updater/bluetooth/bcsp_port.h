#pragma once
// What the BCSP link needs of the serial line: one byte out at a time, and a read that returns
// at once with whatever has arrived. The DFU engine serves it from the module's serial port;
// tests serve it from memory.

#include <cstdint>

#include "platform/core/time.h"

namespace bluetooth {

class BcspPort {
public:
    virtual ~BcspPort() = default;

    // False while the transmitter cannot take another byte without blocking; the link then
    // keeps its byte for a later poll.
    virtual bool readyToSend() { return true; }

    // True once every byte written has left the line.
    virtual bool transmitterEmpty() { return true; }

    // One byte to the line. A port may gather the bytes of one burst and hand them over
    // together; flush() hands over what it gathered.
    virtual void writeByte(uint8_t byte) = 0;
    virtual void flush() {}

    // Up to `size` received bytes, never waiting; 0 when nothing has arrived.
    virtual uint32_t read(uint8_t* buffer, uint32_t size) = 0;

    // The pause of a poll loop with nothing to do: returns when bytes arrive or after
    // `timeoutMs`, whichever comes first, so that an answer is seen as soon as it is there.
    virtual void waitForInput(uint32_t timeoutMs) { ce::sleep(timeoutMs); }

    // Milliseconds the transmitter certainly stays too full to take enough bytes to be worth a
    // wake-up, and until every byte written has left the line; 0 when it cannot tell.
    virtual uint32_t msUntilRoom() { return 0; }
    virtual uint32_t msUntilEmpty() { return 0; }
};

}  // namespace bluetooth
