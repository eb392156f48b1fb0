#include "updater/package/option_search.h"

#include "platform/core/files.h"
#include "platform/core/text.h"

namespace updater {

bool NameEndsWithSuffix(std::string_view name, std::string_view upperSuffix) {
    if (name.size() < upperSuffix.size()) return false;
    return ce::asciiUpper(name.substr(name.size() - upperSuffix.size())) == upperSuffix;
}

std::string FindOptionFile(std::string_view folder, std::string_view upperSuffix) {
    std::string folderText(folder);
    auto entries = ce::findFiles(folderText + "\\*." + std::string(upperSuffix));
    if (!entries) return {};
    for (const auto& entry : *entries) {
        if (entry.attributes & ce::FILE_ATTRIBUTE_DIRECTORY) continue;
        if (NameEndsWithSuffix(entry.name, upperSuffix)) return folderText + "\\" + entry.name;
    }
    return {};
}

}  // namespace updater
