#pragma once
// What the OS page shows while its phases run: one status line, a progress bar from 0 to 100
// and, rarely, a message box that waits for the user. The page `UpdateKernel` implements it;
// the phases (bootloader, logo, kernel, SFLASH, option file) only talk to this.

#include <string>

namespace updater {

class OsPageOutput {
public:
    virtual ~OsPageOutput() = default;
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void ShowMessageBox(const std::string& text) = 0;
};

}  // namespace updater
