// START and what follows it: closing the head unit's applications, up to three attempts of
// the due steps, the result, RESTART; the LOGO command; the emergency start.

#include "platform/core/debug.h"
#include "platform/core/time.h"
#include "platform/ui/message.h"
#include "updater/board/restart_sequence.h"
#include "updater/main_page/main_page_texts.h"
#include "updater/main_page/update_main_dlg.h"
#include "updater/package/package_checks.h"

namespace updater {

namespace {

constexpr int kAttempts = 3;
constexpr uint32_t kCloseAppsPauseMs = 2000;
constexpr uint32_t kSkippedOsPauseMs = 2000;
constexpr ce::UINT kGuiMainUpdateStarts = 0x059B;
constexpr ce::UINT kMainMenuUpdateStarts = 0x05BC;

void PostIfExists(const char* title, ce::UINT msg) {
    if (ce::HWND window = ce::findWindow(title)) ce::postMessage(window, msg, 0, 0);
}

// Runs a step page; a missing page counts as a failure of its step.
bool StepSucceeded(const std::function<int(ce::HWND)>& page, ce::HWND owner, const char* name) {
    if (!page) {
        ce::debugPrint("### UpdateXan::no %s page in this build \n", name);
        return false;
    }
    return page(owner) == ce::IDOK;
}

}  // namespace

void UpdateMainDlg::NotifyShellApplications() {
    if (m_bModelMatch) {
        PostIfExists("ORV_MAINMENU", kMainMenuUpdateStarts);
        PostIfExists("ORV_SETUP", ce::WM_CLOSE);
    }
    PostIfExists("ZOVEDIZUZ", ce::WM_CLOSE);
}

void UpdateMainDlg::OnStart() {
    NotifyShellApplications();
    if (m_bFinished) {
        OnRestart();
        return;
    }
    if (m_bSequenceRunning) return;
    RunSequence();
}

void UpdateMainDlg::RunSequence() {
    m_bSequenceRunning = true;
    // A START before the emergency timer fired must not be followed by a second, nested run.
    if (m_nEmergencyTimer) {
        ce::killTimer(hwnd(), m_nEmergencyTimer);
        m_nEmergencyTimer = 0;
    }
    ce::enableWindow(itemHandle(IDC_CANCEL), false);
    ce::setWindowText(itemHandle(IDC_START), texts::UpdatingCaption(m_Language));
    ce::enableWindow(itemHandle(IDC_START), false);
    ShowButton(IDC_LOGO, false);
    ce::enableWindow(itemHandle(IDC_LOGO), false);

    if (ce::HWND guiMain = ce::findWindow("GUI_Main")) {
        ce::debugPrint("### UpdateXan::KillApp[%s] \n", "GUI_Main");
        ce::sendMessage(guiMain, kGuiMainUpdateStarts, 0, 0);
    }
    ce::sleep(kCloseAppsPauseMs);

    m_bBluetoothPresent = BluetoothModulePresent();
    if (!m_bBluetoothPresent && (m_nUpdateMask & kUpdateBluetooth)) {
        // Without a module the Bluetooth step could never succeed and would fail the whole run.
        m_nUpdateMask &= ~uint32_t{kUpdateBluetooth};
        ce::debugPrint("### UpdateXan::No Bluetooth module - Bluetooth update skipped \n");
    }

    bool success = false;
    for (int attemptsLeft = kAttempts; attemptsLeft > 0; --attemptsLeft) {
        if (RunAttempt()) {
            success = true;
            break;
        }
    }

    ShowMessage(success ? texts::SuccessMessage(m_Language) : texts::FailureMessage(m_Language));
    ce::setWindowText(itemHandle(IDC_START), texts::RestartCaption(m_Language));
    ce::enableWindow(itemHandle(IDC_START), true);
    m_bFinished = true;
    m_bSequenceRunning = false;
    if (m_bEmergency) OnRestart();
}

bool UpdateMainDlg::RunAttempt() {
    // The matched model runs the OS page in every attempt, but only with its images on the
    // card: without them the page would ask the driver for a bootloader that is not there.
    const bool modelRunsOs = m_bModelMatch && MaskOfPresentImages(kUpdateOs) != 0;
    if (modelRunsOs || (m_nUpdateMask & kUpdateOs)) {
        m_KernelPage.SetMode(false, false);
        m_KernelPage.SetUnattended(m_bEmergency);
        const int result = m_Steps.os ? m_Steps.os(hwnd()) : m_KernelPage.runModal(hwnd());
        if (result == ce::IDOK) {
            m_nUpdateMask &= ~uint32_t{kUpdateOs};
        } else {
            m_nUpdateMask |= kUpdateOs;
            ce::debugPrint("### UpdateXan::[FAIL] KERNEL... \n");
        }
    } else {
        ce::sleep(kSkippedOsPauseMs);
    }

    if (m_nUpdateMask & kUpdateMcu) {
        if (StepSucceeded(m_Steps.micom, hwnd(), "MICOM")) {
            m_nUpdateMask &= ~uint32_t{kUpdateMcu};
        } else {
            ce::debugPrint("### UpdateXan::[FAIL] MICOM... \n");
        }
    }

    if ((m_nUpdateMask & kUpdateBluetooth) && !m_bEmergency && m_bBluetoothPresent) {
        if (StepSucceeded(m_Steps.bluetooth, hwnd(), "Bluetooth")) {
            m_nUpdateMask &= ~uint32_t{kUpdateBluetooth};
        } else {
            ce::debugPrint("### UpdateXan::[FAIL] Bluetooth... \n");
        }
    }
    return m_nUpdateMask == 0;
}

void UpdateMainDlg::OnRestart() {
    RunRestartSequence();
    endDialog(ce::IDOK);
}

void UpdateMainDlg::OnLogo() {
    // Never beside or inside an update run (the emergency run starts without a user).
    if (m_bEmergency || m_bSequenceRunning) return;
    m_KernelPage.SetMode(m_bLogoFlag, m_bOptionFlag);
    m_KernelPage.SetUnattended(false);
    if (m_KernelPage.runModal(hwnd()) == ce::IDOK) {
        ShowButton(IDC_LOGO, false);
        ce::setWindowText(itemHandle(IDC_START), texts::RestartCaption(m_Language));
        ce::enableWindow(itemHandle(IDC_START), true);
        m_bFinished = true;
    } else {
        ce::setWindowText(itemHandle(IDC_LOGO), texts::LogoFailCaption());
    }
}

void UpdateMainDlg::OnEmergencyTimer() {
    // The emergency timer is the page's only timer; a tick after it was stopped is stale.
    if (!m_nEmergencyTimer) return;
    ce::killTimer(hwnd(), m_nEmergencyTimer);
    m_nEmergencyTimer = 0;
    ce::debugPrint("######## Start Emergency Update!! ######## \n");
    OnStart();
}

}  // namespace updater
