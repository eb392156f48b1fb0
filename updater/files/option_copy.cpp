#include "updater/files/option_copy.h"

#include "platform/core/files.h"
#include "updater/files/folder_clearing.h"
#include "updater/package/package_paths.h"

namespace updater {

OptionCopyOutcome CopyOptionFile(std::string_view optionPath) {
    if (optionPath.empty()) return OptionCopyOutcome::NoOptionFile;
    ClearFolder(paths::kNandRoot);
    if (!ce::pathExists(optionPath)) return OptionCopyOutcome::Failed;
    return ce::copyFile(optionPath, paths::kOptionTarget, true) == ce::ERROR_SUCCESS ? OptionCopyOutcome::Copied
                                                                                      : OptionCopyOutcome::Failed;
}

}  // namespace updater
