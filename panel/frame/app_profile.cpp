#include "panel/frame/app_profile.h"

#include "platform/core/registry.h"

namespace panel {

std::string ProfileSectionPath(std::string_view section) {
    return "Software\\" + std::string(kProfileRegistryKey) + "\\" + std::string(kApplicationName) + "\\" +
           std::string(section);
}

bool WriteProfileInt(std::string_view section, std::string_view entry, uint32_t value) {
    auto key = ce::RegKey::create(ce::Hive::CurrentUser, ProfileSectionPath(section));
    return key && key->setDword(entry, value) == ce::ERROR_SUCCESS;
}

}  // namespace panel
