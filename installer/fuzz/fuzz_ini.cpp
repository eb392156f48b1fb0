// Feeds arbitrary bytes to the INI line rules, cut into lines the way the reader's 1024-byte
// line buffer cuts a file, then looks up the installer's keys.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "installer/ini/ini_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    installer::IniTable table;
    std::string section;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && end - pos < installer::kIniLineBuffer - 1 && text[end] != '\n') ++end;
        if (end < text.size() && text[end] == '\n' && end - pos < installer::kIniLineBuffer - 1) ++end;
        installer::IniReadLine(table, section, text.substr(pos, end - pos));
        pos = end;
    }
    for (int n = 1; n <= 5; ++n) {
        char key[32];
        std::snprintf(key, sizeof key, "Source:src%d", n);
        installer::IniLookup(&table, key, nullptr);
        std::snprintf(key, sizeof key, "Destination:dst%d", n);
        installer::IniLookup(&table, key, nullptr);
    }
    if (table.count > table.capacity) __builtin_trap();
    return 0;
}
