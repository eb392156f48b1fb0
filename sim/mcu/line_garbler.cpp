#include "sim/mcu/line_garbler.h"

#include <algorithm>

namespace sim::mcu {

uint8_t LineGarbler::nextNoise() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<uint8_t>(0x80 | (state_ & 0x7F));
}

std::vector<uint8_t> LineGarbler::noise(size_t count) {
    std::vector<uint8_t> out(count);
    for (auto& b : out) b = nextNoise();
    return out;
}

std::vector<uint8_t> LineGarbler::garble(const std::vector<uint8_t>& sent, uint32_t senderRate, uint32_t receiverRate) {
    if (sent.empty() || senderRate == 0 || receiverRate == 0) return {};
    double ratio = static_cast<double>(receiverRate) / senderRate;
    size_t count = static_cast<size_t>(static_cast<double>(sent.size()) * std::clamp(ratio, 0.0, 4.0));
    return noise(std::max<size_t>(count, 1));
}

}  // namespace sim::mcu
