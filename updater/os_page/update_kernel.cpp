#include "updater/os_page/update_kernel.h"

#include "platform/core/debug.h"
#include "platform/core/time.h"
#include "platform/ui/message.h"
#include "updater/files/option_copy.h"
#include "updater/files/sflash_copy.h"
#include "updater/os_page/nand_phases.h"

namespace updater {

namespace {

constexpr uintptr_t kStartTimer = 1;
constexpr uint32_t kStartDelayMs = 100;
constexpr uint32_t kPhasePauseMs = 1000;  // after the bootloader and after the kernel

ce::DialogTemplate KernelPageTemplate() {
    ce::DialogTemplate t;
    t.cx = 247;
    t.cy = 155;
    t.title = "UpdateKernel";
    t.pointSize = 18;
    const uint32_t edit = ce::WS_CHILD | ce::WS_VISIBLE | ce::ES_CENTER | ce::ES_READONLY;
    t.items = {
        {UpdateKernel::IDC_TITLE, ce::WC_EDIT, "", 0, 24, 247, 14, edit},
        {UpdateKernel::IDC_STATUS, ce::WC_EDIT, "", 0, 57, 247, 14, edit},
        {UpdateKernel::IDC_PROGRESS, ce::WC_PROGRESS, "", 11, 73, 224, 14, ce::WS_CHILD | ce::WS_VISIBLE},
        {-1, ce::WC_STATIC, "OS Updating", 0, 0, 60, 8, ce::WS_CHILD},
    };
    return t;
}

}  // namespace

UpdateKernel::UpdateKernel() : ce::Dialog(KernelPageTemplate()) {
    on(ce::WM_TIMER, [this](ce::WPARAM, ce::LPARAM) {
        OnTimer();
        return 0;
    });
}

bool UpdateKernel::onInitDialog() {
    m_nCodePage = ReadDisplayCodePage();
    m_Language = LanguageOf(m_nCodePage);
    ce::setWindowText(itemHandle(IDC_TITLE), ByLanguage(m_Language, "OS 업데이트", "Обновление OS ", "OS Updating"));
    ce::sendMessage(itemHandle(IDC_PROGRESS), ce::PBM_SETRANGE, 0, ce::makeLParam(0, 100));
    ce::setWindowPos(hwnd(), ce::HWND_TOPMOST, 0, 0, ce::getSystemMetrics(ce::SM_CXSCREEN),
                     ce::getSystemMetrics(ce::SM_CYSCREEN), ce::SWP_SHOWWINDOW);
    ce::setTimer(hwnd(), kStartTimer, kStartDelayMs);
    return true;
}

void UpdateKernel::OnTimer() {
    ce::killTimer(hwnd(), kStartTimer);
    if (ended()) return;
    endDialog(RunWork() ? ce::IDOK : ce::IDCANCEL);
}

bool UpdateKernel::RunWork() {
    const OptionCopyOutcome option = CopyOptionFile(m_OptionPath);
    // An option file that is in the package but could not be installed fails the page in
    // every mode; the other phases still run.
    const bool optionOk = option != OptionCopyOutcome::Failed;
    if (!optionOk) ce::debugPrint("### UpdateKernel::option file not installed [%s] \n", m_OptionPath);
    if (m_bLogo) return WriteLogo(*this, m_Language, m_LogoPath) && optionOk;
    // In option-only mode the option file is the page's whole work.
    if (m_bOption) return option == OptionCopyOutcome::Copied;

    bool ok = WriteBootloader(*this, m_Language, m_FilePath);
    ce::sleep(kPhasePauseMs);
    ok = WriteLogo(*this, m_Language, m_LogoPath) && ok;
    ok = WriteKernel(*this, m_Language, m_FilePath) && ok;
    ce::sleep(kPhasePauseMs);
    CopySflashFiles(*this, m_Language, m_bUnattended);
    return ok && optionOk;
}

void UpdateKernel::ShowStatus(const std::string& text) {
    ce::setWindowText(itemHandle(IDC_STATUS), text);
    ce::updateWindow(itemHandle(IDC_STATUS));
}

void UpdateKernel::SetProgress(int position) {
    ce::sendMessage(itemHandle(IDC_PROGRESS), ce::PBM_SETPOS, static_cast<ce::WPARAM>(position), 0);
    ce::updateWindow(itemHandle(IDC_PROGRESS));
}

void UpdateKernel::ShowMessageBox(const std::string& text) { ce::messageBox(hwnd(), text, "UpdateXan"); }

}  // namespace updater
