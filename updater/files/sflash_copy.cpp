#include "updater/files/sflash_copy.h"

#include <string>
#include <vector>

#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "updater/files/folder_clearing.h"
#include "updater/package/package_paths.h"

namespace updater {

namespace {

std::vector<std::string> BitmapNames() {
    std::vector<std::string> names;
    auto entries = ce::findFiles(std::string(paths::kSflashSourceFolder) + "\\*.bmp");
    if (!entries) return names;
    for (const auto& entry : *entries) {
        if (!(entry.attributes & ce::FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.name);
    }
    return names;
}

bool EnsureTargetFolder() {
    auto attributes = ce::getFileAttributes(paths::kSflashTargetFolder);
    if (attributes && (*attributes & ce::FILE_ATTRIBUTE_DIRECTORY)) return true;
    return ce::createDirectory(paths::kSflashTargetFolder) == ce::ERROR_SUCCESS;
}

}  // namespace

SflashOutcome CopySflashFiles(OsPageOutput& output, Language language, bool unattended) {
    const std::vector<std::string> names = BitmapNames();
    if (names.empty()) return SflashOutcome::NothingToCopy;

    ClearFolder(std::string(paths::kSflashTargetFolder) + "\\");
    output.ShowStatus(ByLanguage(language, "쓰기... [SFLASH]", "Прописка... [SFLASH]", "Write... [SFLASH]"));
    output.SetProgress(0);

    if (!EnsureTargetFolder()) {
        if (unattended) {
            ce::debugPrint("Fail to create Sflash folder!\n");
        } else {
            output.ShowMessageBox("Fail to create Sflash folder!");
        }
    }

    // Every failed copy counts, not only the last: the status names the last failure's code.
    ce::Error lastFailure = ce::ERROR_SUCCESS;
    for (const auto& name : names) {
        const std::string source = std::string(paths::kSflashSourceFolder) + "\\" + name;
        const std::string target = std::string(paths::kSflashTargetFolder) + "\\" + name;
        ce::debugPrint("### SFLASH:Path [%s]-->[%s] \n", source, target);
        ce::Error error = ce::copyFile(source, target, true);
        if (error != ce::ERROR_SUCCESS) lastFailure = error;
    }

    if (lastFailure == ce::ERROR_SUCCESS) {
        output.ShowStatus(ByLanguage(language, "성공... [SFLASH]", "Завершено... [SFLASH]", "Success... [SFLASH]"));
    } else {
        const char* format = ByLanguage(language, "실패...에러 코드[%d] [SFLASH]", "Ошибка...Номер Ошибки[%d] [SFLASH]",
                                        "Fail...Error code[%d] [SFLASH]");
        output.ShowStatus(fmt::sprintf(format, lastFailure));
    }
    output.SetProgress(100);
    return lastFailure == ce::ERROR_SUCCESS ? SflashOutcome::Copied : SflashOutcome::Failed;
}

}  // namespace updater
