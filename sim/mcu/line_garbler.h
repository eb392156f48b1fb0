#pragma once
// What bytes look like at the receiving end when sender and receiver disagree on the line
// rate: the receiver samples the wrong bit times, so it sees a different number of characters
// (fewer when the sender is faster, more when it is slower), none of them what was sent and
// mostly with framing errors — bytes with the high bits set. Deterministic, so that a run can
// be repeated.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim::mcu {

class LineGarbler {
public:
    std::vector<uint8_t> garble(const std::vector<uint8_t>& sent, uint32_t senderRate, uint32_t receiverRate);

    // Line noise: bytes that can never start a frame.
    std::vector<uint8_t> noise(size_t count);

private:
    uint8_t nextNoise();
    uint32_t state_ = 0x2545F491;
};

}  // namespace sim::mcu
