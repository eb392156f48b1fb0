#include "updater/display_language.h"

#include "platform/core/registry.h"

namespace updater {

uint32_t ReadDisplayCodePage() {
    auto key = ce::RegKey::open(ce::Hive::LocalMachine, "SOFTWARE\\ORV\\SYSTEM\\FactoryInfo");
    if (!key) return 949;
    uint32_t type = 0;
    uint32_t value = 0;
    uint32_t size = sizeof value;
    if (key->queryValue("CodePage", &type, &value, &size) != ce::ERROR_SUCCESS || type != ce::REG_DWORD) return 949;
    return value;
}

Language LanguageOf(uint32_t codePage) {
    if (codePage == 949) return Language::Korean;
    if (codePage == 1251) return Language::Russian;
    return Language::English;
}

}  // namespace updater
