// libFuzzer target for the BCSP receive side: arbitrary bytes from the line into the link,
// with the receive slot armed again after every delivery. The slot sits inside a larger
// buffer whose tail must never change: nothing may be written past the slot's capacity.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "updater/bluetooth/bcsp_link.h"
#include "updater/bluetooth/tests/memory_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace bluetooth;
    if (size < 1) return 0;
    testing::MemoryPort port;
    BcspLink link(port);

    // First byte: the slot's capacity and whether the link is established first.
    uint16_t capacity = static_cast<uint16_t>(data[0] & 0x3F) + 1;
    if (data[0] & 0x80) {
        port.deliver(testing::linkMessage(testing::kSyncResp));
        port.deliver(testing::linkMessage(testing::kConfResp));
    }
    port.deliver(testing::Bytes(data + 1, data + size));

    uint8_t buffer[128];
    std::memset(buffer, 0xA5, sizeof buffer);
    BcspPacket slot;
    slot.payload = buffer;
    slot.length = capacity;
    link.receivePacket(&slot);

    uint8_t sendBytes[3] = {1, 2, 3};
    BcspPacket send{12, 1, 1, sizeof sendBytes, sendBytes};
    for (int polls = 0; polls < 200000 && (!port.incoming.empty() || polls < 100); ++polls) {
        uint8_t activity = 0;
        link.poll(activity);
        if (activity & BCSP_PACKET_RECEIVED) {
            if (slot.length > capacity) std::abort();  // a delivered packet longer than the slot
            slot.length = capacity;
            link.receivePacket(&slot);
        }
        if (link.linkState() == LinkState::Garrulous && !link.sendPending()) link.sendPacket(&send);
    }
    for (size_t i = capacity; i < sizeof buffer; ++i) {
        if (buffer[i] != 0xA5) std::abort();
    }
    return 0;
}
