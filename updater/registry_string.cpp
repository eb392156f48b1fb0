#include "updater/registry_string.h"

#include <vector>

#include "platform/core/registry.h"

namespace updater {

std::optional<std::u16string> ReadRegistryString(std::string_view key, std::string_view value, uint32_t maxBytes) {
    auto opened = ce::RegKey::open(ce::Hive::LocalMachine, key);
    if (!opened) return std::nullopt;
    std::vector<uint8_t> data(maxBytes, 0);
    uint32_t type = 0;
    uint32_t size = maxBytes;
    if (opened->queryValue(value, &type, data.data(), &size) != ce::ERROR_SUCCESS) return std::nullopt;
    std::u16string text;
    for (uint32_t i = 0; i + 1 < size; i += 2) {
        const auto unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == u'\0') break;
        text.push_back(unit);
    }
    return text;
}

}  // namespace updater
