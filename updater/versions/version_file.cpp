#include "updater/versions/version_file.h"

#include "platform/core/files.h"
#include "platform/core/text.h"
#include "updater/registry_string.h"

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
    auto text = ReadRegistryString("SOFTWARE\\ORV\\SYSTEM\\VERSION", valueName, kVersionBufferChars);
    version = text.value_or(std::u16string());
    return text.has_value();
}

}  // namespace updater
