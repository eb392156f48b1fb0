// registry.reg is edited by people: any bytes must read without a crash, and whatever was read
// must come back unchanged through a write and a second read.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/core/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto first = ce::reg::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    auto second = ce::reg::parse(ce::reg::format(first.document));
    if (!second.errors.empty() || !(second.document == first.document)) std::abort();
    return 0;
}
