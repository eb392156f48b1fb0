#pragma once
// Replacing the bitmaps of "\NAND Flash\SFLASH" with the "*.bmp" files of the package's SFLASH
// folder. A package without bitmaps leaves the folder as it was. The outcome is shown on the
// OS page but does not decide the page's result.

#include "updater/display_language.h"
#include "updater/os_page/os_page_output.h"

namespace updater {

enum class SflashOutcome { NothingToCopy, Copied, Failed };

// When the target folder cannot be created, the page normally stops on a message box; an
// unattended run (emergency mode) writes the text to the debug output instead and goes on.
SflashOutcome CopySflashFiles(OsPageOutput& output, Language language, bool unattended);

}  // namespace updater
