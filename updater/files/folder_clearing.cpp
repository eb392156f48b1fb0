#include "updater/files/folder_clearing.h"

#include <string>

#include "platform/core/debug.h"
#include "platform/core/files.h"

namespace updater {

void ClearFolder(std::string_view folder) {
    const std::string folderText(folder);
    auto entries = ce::findFiles(folderText + "*.*");
    if (!entries) return;

    int retriesLeft = kFolderClearingRetries;
    for (const auto& entry : *entries) {
        if (entry.attributes & (ce::FILE_ATTRIBUTE_DIRECTORY | ce::FILE_ATTRIBUTE_HIDDEN)) continue;
        const std::string path = folderText + entry.name;
        for (;;) {
            ce::Error error = ce::deleteFile(path);
            if (error == ce::ERROR_SUCCESS) {
                ce::debugPrint("@ DELETE : %s - Success \r\n", path);
                break;
            }
            if (error == ce::ERROR_FILE_NOT_FOUND) break;
            ce::debugPrint("@ DELETE : %s - ### Fail : %d ### -> Retry!!  \r\n", path, error);
            if (retriesLeft > 0) {
                --retriesLeft;
                continue;
            }
            ce::debugPrint("Delete Fail! - file(DELETE:%s:%d) - skip", path, error);
            break;
        }
    }
}

}  // namespace updater
