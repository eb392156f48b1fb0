// headunit.json is edited by people: any text must load or be refused, never crash.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/core/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto profile = ce::Profile::parse("/hu", std::string_view(reinterpret_cast<const char*>(data), size));
    if (profile) {
        for (const auto& m : profile->mounts()) (void)m.host.string();
        (void)profile->serialDevice("COM5:");
        (void)profile->driverBackend("DSK1:");
    }
    return 0;
}
