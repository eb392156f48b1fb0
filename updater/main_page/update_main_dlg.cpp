#include "updater/main_page/update_main_dlg.h"

#include "platform/core/debug.h"
#include "platform/core/text.h"
#include "platform/ui/message.h"
#include "updater/board/restart_sequence.h"
#include "updater/files/folder_clearing.h"
#include "updater/gpio_request.h"
#include "updater/main_page/main_page_texts.h"
#include "updater/package/option_search.h"
#include "updater/package/package_checks.h"
#include "updater/package/package_paths.h"
#include "updater/registry_string.h"
#include "updater/versions/version_decision.h"

namespace updater {

namespace {

constexpr uintptr_t kEmergencyTimerId = 10;
constexpr uint32_t kEmergencyDelayMs = 500;

ce::DialogTemplate MainPageTemplate() {
    ce::DialogTemplate t;
    t.cx = 246;
    t.cy = 154;
    t.title = "UpdateXan";
    t.pointSize = 18;
    const uint32_t button = ce::WS_CHILD | ce::WS_VISIBLE | ce::WS_TABSTOP | ce::BS_PUSHBUTTON;
    t.items = {
        {UpdateMainDlg::IDC_START, ce::WC_BUTTON, "START", 49, 113, 50, 24, button},
        {UpdateMainDlg::IDC_CANCEL, ce::WC_BUTTON, "CANCEL", 147, 113, 50, 24, button},
        {UpdateMainDlg::IDC_MESSAGE, ce::WC_EDIT, "", 0, 49, 246, 31,
         ce::WS_CHILD | ce::WS_VISIBLE | ce::ES_MULTILINE | ce::ES_CENTER | ce::ES_READONLY},
        {UpdateMainDlg::IDC_LOGO, ce::WC_BUTTON, "LOGO", 67, 9, 104, 26, button},
        {UpdateMainDlg::IDC_VRDB, ce::WC_BUTTON, "VR DB Update", 176, 9, 50, 26, button},
        {UpdateMainDlg::IDC_ZEK, ce::WC_BUTTON, "ZEK Update", 13, 9, 50, 25, button},
        {-1, ce::WC_STATIC, "UpdateXan Ver1.0", 0, 0, 60, 8, ce::WS_CHILD | ce::WS_VISIBLE},
    };
    return t;
}

}  // namespace

bool IsMatchedModel(const std::string& modelName) { return modelName == kMatchedModel; }

UpdateMainDlg::UpdateMainDlg(StepPages steps) : ce::Dialog(MainPageTemplate()), m_Steps(std::move(steps)) {
    onCommand(IDC_START, [this] { OnStart(); });
    onCommand(IDC_CANCEL, [this] { endDialog(ce::IDOK); });
    onCommand(IDC_LOGO, [this] { OnLogo(); });
    onCommand(IDC_VRDB, [this] { OnVrdbUpdate(); });
    onCommand(IDC_ZEK, [this] { OnZekUpdate(); });
    on(ce::WM_TIMER, [this](ce::WPARAM, ce::LPARAM) {
        OnEmergencyTimer();
        return 0;
    });
}

bool UpdateMainDlg::onInitDialog() {
    m_bFinished = false;
    ce::setWindowPos(hwnd(), ce::HWND_TOPMOST, 0, 0, ce::getSystemMetrics(ce::SM_CXSCREEN),
                     ce::getSystemMetrics(ce::SM_CYSCREEN), ce::SWP_SHOWWINDOW);
    m_nCodePage = ReadDisplayCodePage();
    m_Language = LanguageOf(m_nCodePage);
    ApplyLanguageCaptions();
    DecideUpdate();
    DetectEmergency();
    TestPackageFolders();
    ReadModelName();
    ChooseLogoMode();
    return true;
}

void UpdateMainDlg::ApplyLanguageCaptions() {
    if (m_Language == Language::English) return;  // the template's texts
    if (m_Language == Language::Korean) ce::setWindowText(itemHandle(IDC_START), texts::StartCaption(m_Language));
    ce::setWindowText(itemHandle(IDC_CANCEL), texts::CancelCaption(m_Language));
}

void UpdateMainDlg::DecideUpdate() {
    m_nReadFail = ReadVersions(m_Versions);
    m_nUpdateMask = CompareVersions(m_Versions);
    ShowMessage(m_nUpdateMask ? texts::NewSoftwareMessage(m_Language) : texts::NoSoftwareMessage(m_Language));
    ce::enableWindow(itemHandle(IDC_START), m_nUpdateMask != 0);
}

void UpdateMainDlg::DetectEmergency() {
    if ((m_nReadFail & (kReadFailMcu | kReadFailBluetooth)) != (kReadFailMcu | kReadFailBluetooth)) return;
    GpioSetRequest(2, 0x8, 1);
    // Only steps whose images are on the card: an emergency run must never erase the MCU or
    // rewrite the kernel from a file that is not there.
    m_nUpdateMask = MaskOfPresentImages(kUpdateOs | kUpdateMcu);
    m_bEmergency = true;
    ClearFolder(paths::kNandRoot);
    m_Blink.Start();
    m_nEmergencyTimer = ce::setTimer(hwnd(), kEmergencyTimerId, kEmergencyDelayMs);
    ce::debugPrint("######## Emergency Update!! - Detected! ######## \n");
}

void UpdateMainDlg::TestPackageFolders() {
    m_bVrdbPackage = VrdbPackagePresent();
    if (!m_bVrdbPackage) ShowButton(IDC_VRDB, false);
    m_bPanelPackage = PanelPackagePresent();
    if (!m_bPanelPackage) ShowButton(IDC_ZEK, false);
    m_bVrdbStarted = false;
    m_bPanelStarted = false;
    m_bModelMatch = false;
}

void UpdateMainDlg::ReadModelName() {
    m_strModelName = ce::toUtf8(ReadRegistryString("\\Platform\\OS", "ModelName", 256).value_or(u""));
    ce::debugPrint("%s\r\n", m_strModelName);
    if (IsMatchedModel(m_strModelName)) {
        m_bModelMatch = true;
        ShowButton(IDC_VRDB, false);
        ShowButton(IDC_ZEK, false);
    }
}

void UpdateMainDlg::ChooseLogoMode() {
    m_LogoPath = FindOptionFile(paths::kOptionFolder, "LGO");
    m_OptionPath = FindOptionFile(paths::kOptionFolder, "ORV");
    m_KernelPage.SetFiles(m_LogoPath, m_OptionPath);
    ce::debugPrint("### UPDATE_XAN::LGO-File:[%s : %d] \n", m_LogoPath, ce::toUtf16(m_LogoPath).size());
    ce::debugPrint("### UPDATE_XAN::OPT-File:[%s : %d] \n", m_OptionPath, ce::toUtf16(m_OptionPath).size());

    ShowButton(IDC_LOGO, false);
    // The emergency run starts by itself: no LOGO command beside it.
    if (m_bEmergency || (m_nUpdateMask & kUpdateOs)) return;
    const bool logo = !m_LogoPath.empty();
    const bool option = !m_OptionPath.empty();
    if (!logo && !option) return;
    m_bLogoFlag = logo;
    m_bOptionFlag = option;
    const char* caption = logo && option ? texts::LogoOptionCaption(m_Language)
                          : logo         ? texts::LogoCaption(m_Language)
                                         : texts::OptionCaption(m_Language);
    ce::setWindowText(itemHandle(IDC_LOGO), caption);
    ShowButton(IDC_LOGO, true);
}

void UpdateMainDlg::ShowMessage(const std::string& text) {
    m_strMessage = text;
    ce::setWindowText(itemHandle(IDC_MESSAGE), m_strMessage);
}

void UpdateMainDlg::ShowButton(int id, bool show) { ce::showWindow(itemHandle(id), show ? ce::SW_SHOW : ce::SW_HIDE); }

}  // namespace updater
