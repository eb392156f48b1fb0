#pragma once
// Installing the option file of the package as "\NAND Flash\PimConfig.ORV". The NAND root is
// emptied of its files first (sub-folders and hidden files stay), then the file is copied,
// refusing to overwrite: a hidden "PimConfig.ORV" survives the clearing and blocks the copy.
// Nothing is shown or logged.

#include <string_view>

namespace updater {

enum class OptionCopyOutcome { NoOptionFile, Copied, Failed };

OptionCopyOutcome CopyOptionFile(std::string_view optionPath);

}  // namespace updater
