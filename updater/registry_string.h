#pragma once
// Reading a string value of the head unit's registry as the updater's pages read it on the
// device: into a buffer of a fixed size, up to the first NUL, whatever the value's type.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace updater {

// The value under HKEY_LOCAL_MACHINE\key; nothing when the key or the value is missing or the
// value is larger than maxBytes.
std::optional<std::u16string> ReadRegistryString(std::string_view key, std::string_view value, uint32_t maxBytes);

}  // namespace updater
