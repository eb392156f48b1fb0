#include "installer/engine/delete_tree.h"

#include <fmt/printf.h>

#include "installer/engine/install_paths.h"
#include "installer/engine/percent.h"
#include "installer/engine/tree_walk.h"
#include "platform/core/debug.h"

namespace installer {
namespace {

// Deletes the file `entry` of the held folder whose device path is `path`.
void deleteOneFile(InstallRun& run, const ce::Folder& folder, const std::string& path, const ce::FindData& entry) {
    if (entry.attributes & ce::FILE_ATTRIBUTE_READONLY) {
        folder.setFileAttributes(entry.name, ce::FILE_ATTRIBUTE_NORMAL);
        ce::debugPrint("SetFileAttributes call for a file\r\n");
    }
    if (folder.deleteFile(entry.name) != ce::ERROR_SUCCESS) {
        ce::debugPrint("Fail to delete File %s\r\n", path);
        return;
    }
    ++run.m_nDeletedCount;
    const int32_t percent = CountPercent(run.m_nDeletedCount, run.m_nDestFileTotal);
    run.view.SetStatusText(fmt::sprintf("Delete : %s(%d%%)", entry.name, percent));
    run.view.SetProgressPos(run.m_nDeletedCount);
}

void removeFolder(const std::string& folder) {
    const auto attributes = ce::getFileAttributes(folder);
    // A link in the destination's place goes as a link; what it points to stays untouched.
    if (attributes && (*attributes & ce::FILE_ATTRIBUTE_REPARSE_POINT)) {
        const ce::Error error = ce::deleteFile(folder);
        ce::debugPrint("=== %s link : %s\r\n", error == ce::ERROR_SUCCESS ? "Remove" : "Fail to remove", folder);
        return;
    }
    if (attributes && (*attributes & ce::FILE_ATTRIBUTE_READONLY)) {
        ce::setFileAttributes(folder, ce::FILE_ATTRIBUTE_NORMAL);
        ce::debugPrint("SetFileAttributes call for a folder\r\n");
    }
    if (ce::removeDirectory(folder) == ce::ERROR_SUCCESS) {
        ce::debugPrint("=== Remove directory : %s\r\n", folder);
    } else {
        ce::debugPrint("=== Fail to remove directory : %s\r\n", folder);
    }
}

}  // namespace

void DeleteTree(InstallRun& run, std::string_view folderView) {
    const std::string folder(folderView);
    // The folder is resolved once; its files are deleted by their names in it.
    const auto held = ce::Folder::open(folder);
    if (const auto entries = held ? ListFolder(*held, ce::FindDetail::Full) : std::nullopt) {
        for (const auto& entry : *entries) {
            if (!run.process.running) return;
            const std::string path = JoinPath(folder, entry.name);
            if (IsFolder(entry)) {
                DeleteTree(run, path);
            } else {
                deleteOneFile(run, *held, path, entry);
            }
        }
    }
    if (!run.process.running) return;
    removeFolder(folder);
    run.view.PumpMessages();
}

}  // namespace installer
