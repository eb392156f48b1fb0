#include "installer/engine/install_paths.h"

#include "platform/core/text.h"

namespace installer {

std::string JoinPath(std::string_view folder, std::string_view name) {
    while (!folder.empty() && folder.back() == '\\') folder.remove_suffix(1);
    while (!name.empty() && name.front() == '\\') name.remove_prefix(1);
    std::string joined(folder);
    joined += '\\';
    joined += name;
    return joined;
}

std::string SourceFolderOf(const std::string& installerFolder, const InstallEntry& entry) {
    return JoinPath(installerFolder, ce::ansiToUtf8(entry.source));
}

std::string DestinationFolderOf(const InstallEntry& entry) {
    std::string folder = ce::ansiToUtf8(entry.destination);
    while (folder.size() > 1 && folder.back() == '\\') folder.pop_back();
    return folder;
}

}  // namespace installer
