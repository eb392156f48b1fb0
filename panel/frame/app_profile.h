#pragma once
// The application's registry profile under HKEY_CURRENT_USER:
// Software\<registry key>\<application name>\<section>, where other programs can read the
// values the panel writes (its main window handle).

#include <cstdint>
#include <string>
#include <string_view>

namespace panel {

// The registry key the panel sets for its profile.
inline constexpr std::string_view kProfileRegistryKey = "로컬 응용 프로그램 마법사에서 생성된 응용 프로그램";
inline constexpr std::string_view kApplicationName = "Kelo_ZEK";

// The key path of a section ("Software\<key>\Kelo_ZEK\<section>").
std::string ProfileSectionPath(std::string_view section);

// WriteProfileInt: a REG_DWORD value in a section; false when the registry refuses.
bool WriteProfileInt(std::string_view section, std::string_view entry, uint32_t value);

}  // namespace panel
