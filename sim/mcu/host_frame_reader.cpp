#include "sim/mcu/host_frame_reader.h"

#include "sim/mcu/boot_protocol.h"

namespace sim::mcu {

std::vector<HostFrame> HostFrameReader::feed(const uint8_t* bytes, size_t size, uint64_t nowMs) {
    if (!pending_.empty() && nowMs - lastByteMs_ > gapLimitMs_) {
        skipped_ += pending_.size();  // the rest of that frame never came
        pending_.clear();
    }
    pending_.insert(pending_.end(), bytes, bytes + size);

    std::vector<HostFrame> frames;
    while (!pending_.empty()) {
        uint8_t first = pending_[0];
        if (first == 0x00) {
            HostFrame sync;
            sync.raw = {0x00};
            frames.push_back(std::move(sync));
            pending_.erase(pending_.begin());
            continue;
        }
        if (first != kSOH && first != kSTX) {
            ++skipped_;
            pending_.erase(pending_.begin());
            continue;
        }
        auto frame = tryFrame();
        if (!frame) break;  // incomplete: wait for more
        if (frame->raw.empty()) {
            // Not a frame after all (bad terminator): drop its first byte and look again.
            ++skipped_;
            pending_.erase(pending_.begin());
            continue;
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(frame->raw.size()));
        frames.push_back(std::move(*frame));
    }
    lastByteMs_ = nowMs;
    return frames;
}

// A complete frame at the front of pending_, a frame with empty raw bytes when the front
// cannot be a frame, or nothing while bytes are still missing.
std::optional<HostFrame> HostFrameReader::tryFrame() {
    if (pending_.size() < 2) return std::nullopt;
    uint8_t len = pending_[1];
    bool command = pending_[0] == kSOH;
    size_t body = command ? len : (len == 0 ? 256 : len);  // bytes between LEN and SUM
    if (command && len == 0) return HostFrame{};            // a command frame carries COM at least
    size_t total = body + 4;
    if (pending_.size() < total) return std::nullopt;
    uint8_t terminator = pending_[total - 1];
    if (terminator != kETX && !(terminator == kETB && !command)) return HostFrame{};

    HostFrame frame;
    frame.kind = command ? HostFrame::Command : HostFrame::Data;
    frame.raw.assign(pending_.begin(), pending_.begin() + static_cast<long>(total));
    unsigned sum = 0;
    for (size_t i = 1; i < total - 1; ++i) sum += pending_[i];  // LEN .. SUM
    frame.checksumOk = (sum & 0xFF) == 0;
    frame.last = terminator == kETX;
    if (command) {
        frame.command = pending_[2];
        frame.data.assign(pending_.begin() + 3, pending_.begin() + 3 + (len - 1));
    } else {
        frame.data.assign(pending_.begin() + 2, pending_.begin() + 2 + static_cast<long>(body));
    }
    return frame;
}

size_t HostFrameReader::takeSkipped() {
    size_t n = skipped_;
    skipped_ = 0;
    return n;
}

}  // namespace sim::mcu
