#pragma once
// The display language of the updater's pages: the registry value "CodePage" under
// HKEY_LOCAL_MACHINE "SOFTWARE\ORV\SYSTEM\FactoryInfo", taken only when it is readable and a
// 32-bit number, otherwise 949. 949 shows Korean, 1251 Russian, every other value English.

#include <cstdint>
#include <string>

namespace updater {

enum class Language { Korean, Russian, English };

uint32_t ReadDisplayCodePage();
Language LanguageOf(uint32_t codePage);

// Picks the text of a language; a table without a Russian text passes the English one.
inline const char* ByLanguage(Language language, const char* korean, const char* russian, const char* english) {
    switch (language) {
        case Language::Korean: return korean;
        case Language::Russian: return russian;
        default: return english;
    }
}

}  // namespace updater
