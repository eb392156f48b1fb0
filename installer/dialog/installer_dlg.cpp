#include "installer/dialog/installer_dlg.h"

#include <fmt/printf.h>

#include <algorithm>

#include "installer/crc/verify.h"
#include "installer/dialog/artwork.h"
#include "installer/dialog/pump_messages.h"
#include "installer/engine/install_paths.h"
#include "installer/engine/install_phases.h"
#include "platform/core/debug.h"
#include "platform/core/paths.h"
#include "platform/devices/device.h"
#include "platform/gfx/draw_text.h"
#include "platform/ui/message.h"
#include "platform/ui/paint.h"

namespace installer {
namespace {

// Dialog 102 as the resource file lays it out (dialog units).
ce::DialogTemplate installerTemplate() {
    ce::DialogTemplate t;
    t.x = 0;
    t.y = 0;
    t.cx = 800;
    t.cy = 480;
    t.style = 0x90000240;  // pop-up, visible, font given, set foreground
    t.exStyle = 0x80040000;
    t.fontFace = "System";
    t.pointSize = 15;
    t.items = {
        {IDC_STATUS, ce::WC_STATIC, "", 117, 169, 568, 50, 0x50020201},
        {IDC_PROGRESS, ce::WC_PROGRESS, "Progress1", 110, 145, 236, 11, 0x50800000},
        {IDC_EXIT, ce::WC_BUTTON, "Exit", 6, 6, 61, 30, 0x40010000},
        {-1, ce::WC_STATIC, "ZEK Update Program", 76, 7, 67, 8, 0x50020000},
    };
    return t;
}

// The colour of the background's header band, behind the title and the Exit button.
constexpr ce::COLORREF kHeaderColor = ce::RGB(0xDC, 0xE6, 0xF0);

// The page was laid out for the head unit's dialog font, with which one dialog unit is one
// pixel (the status line's template rectangle is the very pixel rectangle it is moved to, and
// the background was drawn for it). The host's dialog font is larger, and the same units would
// push the progress bar off the screen, so the controls with an id are put at their template
// rectangles taken as pixels.
void placeControlsAsOnTheDevice(ce::Dialog& dialog) {
    for (const ce::DialogItem& item : dialog.dialogTemplate().items) {
        if (item.id < 0 || item.id == IDC_STATUS) continue;
        ce::moveWindow(dialog.itemHandle(item.id), item.x, item.y, item.cx, item.cy, true);
    }
}

}  // namespace

CInstallerDlg::CInstallerDlg(ProcessState& process)
    : ce::Dialog(installerTemplate()),
      m_Process(process),
      m_Run(*this, process),
      m_hIcon(LoadIcon128(32)),
      m_hSmallIcon(LoadIcon128(16)) {
    setBackground(kHeaderColor);
    attachItem(IDC_STATUS, m_Status);
    on(ce::WM_TIMER, [this](ce::WPARAM id, ce::LPARAM) { return OnTimer(id); });
    on(ce::WM_ERASEBKGND, [](ce::WPARAM, ce::LPARAM) -> ce::LRESULT { return 1; });
    on(ce::WM_LBUTTONDOWN, [this](ce::WPARAM w, ce::LPARAM l) { return OnLButtonDown(w, l); });
    on(ce::WM_DEVICECHANGE, [this](ce::WPARAM w, ce::LPARAM l) { return OnDeviceChange(w, l); });
    on(WM_POWERBROADCAST, [this](ce::WPARAM w, ce::LPARAM) { return OnPowerBroadcast(w); });
    on(WM_FORMAT_PROGRESS, [this](ce::WPARAM w, ce::LPARAM l) { return OnFormatProgress(w, l); });
    onCommand(IDC_EXIT, [this] { onOK(); });
}

bool CInstallerDlg::onInitDialog() {
    ce::sendMessage(hwnd(), ce::WM_SETICON, 1, reinterpret_cast<ce::LPARAM>(m_hIcon.get()));
    ce::sendMessage(hwnd(), ce::WM_SETICON, 0, reinterpret_cast<ce::LPARAM>(m_hSmallIcon.get()));
    ce::setWindowText(hwnd(), "ZEK_UPDATE");
    ce::setWindowPos(hwnd(), ce::HWND_TOP, 0, 0, ce::getSystemMetrics(ce::SM_CXSCREEN),
                     ce::getSystemMetrics(ce::SM_CYSCREEN), ce::SWP_SHOWWINDOW);
    placeControlsAsOnTheDevice(*this);
    ce::moveWindow(m_Status.hwnd(), kStatusRect.left, kStatusRect.top, kStatusRect.width(), kStatusRect.height(),
                   true);
    ce::setTimer(hwnd(), kInstallTimer, kFirstRunDelayMs);
    return true;
}

void CInstallerDlg::paint(ce::Dc& dc) {
    ce::Dc memory = ce::Dc::createCompatibleDC(&dc);
    memory.selectObject(LoadBitmap131());
    dc.bitBlt(0, 0, kBackgroundWidth, kBackgroundHeight, memory, 0, 0, ce::SRCCOPY);
}

void CInstallerDlg::RunInstall() {
    m_Run.Reset();
    m_Run.m_strInstallerFolder = ce::folderOf(ce::modulePath());
    if (!ReadPackageIni(m_Run.m_Entries, JoinPath(m_Run.m_strInstallerFolder, kPackageIniName))) return;
    ScanPhase(m_Run);
    DeletePhase(m_Run);
    CopyPhase(m_Run);
    ShowResult();
}

void CInstallerDlg::ShowResult() {
    if (!m_Process.running) {
        // Stopped by a suspend: try again later; the Exit button stays hidden.
        SetStatusText(kStoppedText);
        SetProgressPos(0);
        ce::setTimer(hwnd(), kInstallTimer, kRetryDelayMs);
        return;
    }
    if (VerifyAll(m_Run) == 1) {
        SetProgressPos(100);
        SetStatusText(kSuccessText);
        m_Run.m_bSucceeded = 1;
    } else {
        SetProgressPos(0);
        SetStatusText(fmt::sprintf(kFailureText, m_Run.m_nCrcErrorCount));
        m_Run.m_bSucceeded = 0;
    }
    ce::showWindow(itemHandle(IDC_EXIT), ce::SW_SHOW);
}

void CInstallerDlg::SetStatusText(const std::string& text) {
    m_Status.SetText(text);
    ce::ClientDc client(m_Status.hwnd());
    if (!client.ok()) return;
    ce::Dc& dc = client.dc();
    ce::Rect rect;
    ce::getClientRect(m_Status.hwnd(), &rect);
    CTransparentStatic::DrawBackground(dc, rect);
    rect = ce::inflateRect(rect, -30, 0);
    dc.setTextColor(ce::RGB(0, 0, 0));
    dc.setBkMode(ce::TRANSPARENT);
    ce::drawText(dc, text, rect, ce::DT_VCENTER);
}

void CInstallerDlg::SetProgressRange(int32_t maximum) {
    // The range travels in 16 bits: a larger count saturates the bar instead of wrapping.
    const auto high = static_cast<unsigned>(std::clamp(maximum, 0, 0xFFFF));
    ce::sendMessage(itemHandle(IDC_PROGRESS), ce::PBM_SETRANGE, 0, ce::makeLParam(0, high));
}

void CInstallerDlg::SetProgressPos(int32_t position) {
    ce::sendMessage(itemHandle(IDC_PROGRESS), ce::PBM_SETPOS, static_cast<ce::WPARAM>(std::max(position, 0)), 0);
}

void CInstallerDlg::BringToFrontIfNotForeground() {
    if (ce::getForegroundWindow() == hwnd()) return;
    ce::setWindowPos(hwnd(), ce::HWND_TOP, 0, 0, kBackgroundWidth, kBackgroundHeight, ce::SWP_SHOWWINDOW);
}

void CInstallerDlg::PumpMessages() { installer::PumpMessages(); }

ce::LRESULT CInstallerDlg::OnTimer(ce::WPARAM id) {
    if (id != kInstallTimer) return defaultProc(ce::WM_TIMER, id, 0);
    ce::killTimer(hwnd(), kInstallTimer);
    RunInstall();
    return 0;
}

ce::LRESULT CInstallerDlg::OnLButtonDown(ce::WPARAM wParam, ce::LPARAM lParam) {
    if (m_Run.m_bSucceeded == 1) ce::postQuitMessage(0);
    return defaultProc(ce::WM_LBUTTONDOWN, wParam, lParam);
}

ce::LRESULT CInstallerDlg::OnDeviceChange(ce::WPARAM wParam, ce::LPARAM lParam) {
    if (wParam & kDeviceChangeBit) {
        if (m_Run.m_bSucceeded == 1) {
            const uint8_t finished = 1;
            ce::kernelIoControl(IOCTL_INSTALL_FINISHED, &finished, sizeof finished, nullptr, 0);
        }
        ce::postQuitMessage(0);
    }
    return defaultProc(ce::WM_DEVICECHANGE, wParam, lParam);
}

ce::LRESULT CInstallerDlg::OnPowerBroadcast(ce::WPARAM event) {
    if (event == PBT_APMSUSPEND) {
        m_Process.running = false;
        ce::debugPrint("Install paused: system suspend\r\n");
    } else if (event == PBT_APMRESUMESUSPEND || event == PBT_APMRESUMEAUTOMATIC) {
        m_Process.running = true;
        ce::debugPrint("Install resumed: system resume\r\n");
    }
    return 1;
}

ce::LRESULT CInstallerDlg::OnFormatProgress(ce::WPARAM wParam, ce::LPARAM lParam) {
    if (lParam == 1) {
        ce::debugPrint("Format is finished..\r\n");
    } else {
        ce::debugPrint("Format is progressing %d %%..\r\n", static_cast<int>(wParam));
    }
    return defaultProc(WM_FORMAT_PROGRESS, wParam, lParam);
}

}  // namespace installer
