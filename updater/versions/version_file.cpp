#include "updater/versions/version_file.h"

#include <vector>

#include "platform/core/files.h"
#include "platform/core/registry.h"
#include "platform/core/text.h"

namespace updater {

namespace {

std::u16string UpToNul(std::u16string text) {
    auto nul = text.find(u'\0');
    if (nul != std::u16string::npos) text.resize(nul);
    return text;
}

}  // namespace

std::u16string VersionFromLine(std::string_view lineBytes, uint32_t codePage) {
    lineBytes = lineBytes.substr(0, kVersionBufferChars - 1);
    std::u16string text = UpToNul(ce::ansiToUtf16(lineBytes, codePage));
    if (text.size() > kVersionBufferChars - 1) text.resize(kVersionBufferChars - 1);
    return text;
}

std::u16string ReadVersionFile(std::string_view devicePath) {
    auto reader = ce::TextReader::open(devicePath, ce::TextReader::Binary);
    if (!reader) return {};
    auto line = (*reader)->readLine(kVersionBufferChars);
    if (!line) return {};
    return VersionFromLine(*line, ce::ansiCodePage());
}

bool ReadInstalledVersion(std::string_view valueName, std::u16string& version) {
    version.clear();
    auto key = ce::RegKey::open(ce::Hive::LocalMachine, "SOFTWARE\\ORV\\SYSTEM\\VERSION");
    if (!key) return false;
    std::vector<uint8_t> data(kVersionBufferChars, 0);
    uint32_t type = 0;
    uint32_t size = static_cast<uint32_t>(data.size());
    if (key->queryValue(valueName, &type, data.data(), &size) != ce::ERROR_SUCCESS) return false;
    for (uint32_t i = 0; i + 1 < size; i += 2) {
        char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == u'\0') break;
        version.push_back(unit);
    }
    return true;
}

}  // namespace updater
