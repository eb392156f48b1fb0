#pragma once
// UpdateKernel: the OS step's page. A full-screen, topmost modal page that, 100 ms after it
// opens, runs the work of its mode and closes with IDOK when every phase that ran succeeded:
//
//   full OS update (no flag)      option file, bootloader, logo, kernel, SFLASH bitmaps
//   logo mode (logo flag)         option file, logo
//   option-only mode (option flag) option file
//
// In every mode the page fails when the package's option file could not be installed.
// The SFLASH copy shows its outcome but never decides the result. The page object lives as
// long as the main page and is run again for every attempt and every LOGO command.

#include <string>

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "updater/display_language.h"
#include "updater/os_page/os_page_output.h"

namespace updater {

class UpdateKernel : public ce::Dialog, public OsPageOutput {
public:
    enum : int {
        IDC_STATUS = 1002,
        IDC_PROGRESS = 1003,
        IDC_TITLE = 1006,
    };

    UpdateKernel();

    // Set by the caller before each run.
    void SetMode(bool logoFlag, bool optionFlag) {
        m_bLogo = logoFlag;
        m_bOption = optionFlag;
    }
    void SetFiles(const std::string& logoPath, const std::string& optionPath) {
        m_LogoPath = logoPath;
        m_OptionPath = optionPath;
    }
    // Unattended runs (emergency mode) never stop on a message box.
    void SetUnattended(bool unattended) { m_bUnattended = unattended; }

    bool onInitDialog() override;

    // OsPageOutput
    void ShowStatus(const std::string& text) override;
    void SetProgress(int position) override;
    void ShowMessageBox(const std::string& text) override;

private:
    void OnTimer();
    bool RunWork();

    uint32_t m_nCodePage = 949;
    Language m_Language = Language::Korean;
    std::string m_FilePath;
    std::string m_LogoPath;
    std::string m_OptionPath;
    bool m_bLogo = false;
    bool m_bOption = false;
    bool m_bUnattended = false;
};

}  // namespace updater
