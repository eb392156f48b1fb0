#pragma once
// UpdateMainDlg: the updater's main page and the owner of the whole update.
//
// At start it reads the display language and the versions, decides which steps are due
// (the update mask: 0x1 OS, 0x2 MCU, 0x4 Bluetooth), detects the emergency mode (installed
// MCU and Bluetooth versions both unreadable) and offers START, CANCEL, LOGO and the two
// installer buttons. START runs the step pages with up to three attempts, shows the result
// and turns the button into RESTART, which restarts the head unit through the board's GPIO
// lines and ends the program. In emergency mode all of this runs without a user.
//
// Everything runs on the program's one UI thread; each step is a modal page whose only
// result is OK (IDOK) or failure.

#include <functional>
#include <string>

#include "platform/ui/dialog.h"
#include "updater/board/emergency_blink.h"
#include "updater/display_language.h"
#include "updater/os_page/update_kernel.h"
#include "updater/versions/version_set.h"

namespace updater {

// The MCU and Bluetooth step pages, each run modally over the main page (the owner);
// IDOK means the step succeeded. The OS step is the main page's own kernel page unless `os`
// stands in for it.
struct StepPages {
    std::function<int(ce::HWND owner)> micom;
    std::function<int(ce::HWND owner)> bluetooth;
    std::function<int(ce::HWND owner)> os;
};

class UpdateMainDlg : public ce::Dialog {
public:
    enum : int {
        IDC_START = 1000,
        IDC_CANCEL = 1001,
        IDC_MESSAGE = 1006,
        IDC_ZEK = 1008,
        IDC_LOGO = 1010,
        IDC_VRDB = 1012,
    };

    explicit UpdateMainDlg(StepPages steps);

    bool onInitDialog() override;

private:
    // Start-up (update_main_dlg.cpp)
    void ApplyLanguageCaptions();
    void DecideUpdate();
    void DetectEmergency();
    void TestPackageFolders();
    void ReadModelName();
    void ChooseLogoMode();
    void ShowMessage(const std::string& text);
    void ShowButton(int id, bool show);

    // Installer buttons (installer_commands.cpp)
    void OnVrdbUpdate();
    void OnZekUpdate();

    // START, the attempts, RESTART, LOGO, emergency start (update_sequence.cpp)
    void OnStart();
    void RunSequence();
    bool RunAttempt();
    void OnRestart();
    void OnLogo();
    void OnEmergencyTimer();
    void NotifyShellApplications();

    StepPages m_Steps;
    UpdateKernel m_KernelPage;
    EmergencyBlink m_Blink;

    uint32_t m_nCodePage = 949;
    Language m_Language = Language::Korean;
    VersionSet m_Versions;
    uint32_t m_nReadFail = 0;
    uint32_t m_nUpdateMask = 0;
    bool m_bModelMatch = false;
    std::string m_strModelName;
    bool m_bVrdbPackage = false;
    bool m_bPanelPackage = false;
    bool m_bVrdbStarted = false;
    bool m_bPanelStarted = false;
    std::string m_strMessage;
    std::string m_LogoPath;
    std::string m_OptionPath;
    bool m_bLogoFlag = false;
    bool m_bOptionFlag = false;

    bool m_bEmergency = false;
    bool m_bFinished = false;
    bool m_bSequenceRunning = false;
    bool m_bBluetoothPresent = false;
    uintptr_t m_nEmergencyTimer = 0;
};

// The model whose head units get the OS page in every attempt and no installer buttons.
inline constexpr const char* kMatchedModel = "U1";

// "ModelName" is compared exactly, with regard to case: it is a factory identifier.
bool IsMatchedModel(const std::string& modelName);

}  // namespace updater
