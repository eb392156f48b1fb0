#pragma once
// The three NAND phases of the OS page: the bootloader, the boot logo in the hidden area and
// the kernel image. Each opens the NAND driver for itself, shows its name and outcome in the
// page's status line in the page's language, drives the progress bar from 0 to 100 and
// returns whether it succeeded. The page's fixed pauses between phases are the page's own.

#include <string>

#include "updater/display_language.h"
#include "updater/os_page/os_page_output.h"

namespace updater {

// Hands "tcBoot.rom" to the driver, which writes the bootloader area itself. filePath
// receives the image path (the page's m_FilePath).
bool WriteBootloader(OsPageOutput& output, Language language, std::string& filePath);

// Writes the logo file page by page into the hidden area from page 1 on (page 0 is never
// written). No logo path, or no file at it, succeeds at once without showing anything.
bool WriteLogo(OsPageOutput& output, Language language, const std::string& logoPath);

// Checks the checksum of "nk.rom" and, when it matches, writes the image in 4096-byte
// requests from sector 8 on. A failed check or an image that cannot be opened or read writes
// nothing further and fails. filePath receives the image path.
bool WriteKernel(OsPageOutput& output, Language language, std::string& filePath);

// Progress bar stepping shared by the page writes: one step every (units / 100 + 1) units,
// so a phase moves the bar about a hundred times whatever its size.
inline bool IsProgressStep(uint32_t index, uint32_t units) { return index % (units / 100 + 1) == 0; }

}  // namespace updater
