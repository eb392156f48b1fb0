// Frames from other processes are outside input: decoding any bytes must neither crash nor
// read past them, and what decodes must encode back to the same body.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/ui/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> body(data, data + size);
    if (auto request = ce::decodeRequest(body)) {
        std::vector<uint8_t> again = ce::encode(*request);
        if (std::vector<uint8_t>(again.begin() + 4, again.end()) != body) std::abort();
    }
    if (auto reply = ce::decodeReply(body)) {
        std::vector<uint8_t> again = ce::encode(*reply);
        if (std::vector<uint8_t>(again.begin() + 4, again.end()) != body) std::abort();
    }
    return 0;
}
