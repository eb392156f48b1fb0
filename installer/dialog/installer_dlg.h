#pragma once
// CInstallerDlg: the installer's one full-screen page.
//
// Half a second after it appears, the install timer runs one installation: read
// "ZEK_Update.ini" next to the program, scan, delete and copy the listed folders, verify the
// copies against the package's checksum lists and show the outcome with the Exit button. The
// page is the engine's screen (InstallView): it draws the status line at once, drives the
// progress bar and keeps itself in front while the copy runs. It ends on Exit, on a tap after
// a successful run, or on a device-change notification (which after success also tells the
// kernel through the OEM control code). A suspend notification stops a run between two files;
// the run is then tried again every three seconds until a resume notification lets it go on.

#include <string>

#include "installer/dialog/transparent_static.h"
#include "installer/engine/install_run.h"
#include "platform/gfx/surface.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"

namespace installer {

// Control and resource ids of the page.
enum : int {
    IDD_INSTALLER = 102,
    IDC_STATUS = 1000,
    IDC_PROGRESS = 1001,
    IDC_EXIT = 1002,
};
inline constexpr uintptr_t kInstallTimer = 100000;
inline constexpr uint32_t kFirstRunDelayMs = 500;
inline constexpr uint32_t kRetryDelayMs = 3000;

// Messages the page handles beyond the window system's own.
enum : ce::UINT {
    WM_POWERBROADCAST = 0x0218,
    WM_FORMAT_PROGRESS = ce::WM_USER + 60,  // 0x43C, sent by the head unit's formatter
};
enum : ce::WPARAM {
    PBT_APMSUSPEND = 0x0004,
    PBT_APMRESUMESUSPEND = 0x0007,
    PBT_APMRESUMEAUTOMATIC = 0x0012,
};
inline constexpr ce::WPARAM kDeviceChangeBit = 0x4;
inline constexpr uint32_t IOCTL_INSTALL_FINISHED = 0x010120F0;  // OEM code, function 2108, buffered

// The screen texts of a finished run.
inline constexpr const char* kSuccessText = "업그레이드가 정상적으로 완료 되었습니다.";
inline constexpr const char* kFailureText =
    "업그레이드가 실패했습니다. 업그레이드 파일을 확인하세요.(Error : %d files)";
inline constexpr const char* kStoppedText = "InstallDorin failed. Please, wait again..";

class CInstallerDlg : public ce::Dialog, public InstallView {
public:
    explicit CInstallerDlg(ProcessState& process);

    // One installation run (the install timer's work).
    void RunInstall();

    // InstallView
    void SetStatusText(const std::string& text) override;
    void SetProgressRange(int32_t maximum) override;
    void SetProgressPos(int32_t position) override;
    void BringToFrontIfNotForeground() override;
    void PumpMessages() override;

    bool onInitDialog() override;
    void paint(ce::Dc& dc) override;

    const InstallRun& Run() const { return m_Run; }

private:
    void ShowResult();
    ce::LRESULT OnTimer(ce::WPARAM id);
    ce::LRESULT OnLButtonDown(ce::WPARAM wParam, ce::LPARAM lParam);
    ce::LRESULT OnDeviceChange(ce::WPARAM wParam, ce::LPARAM lParam);
    ce::LRESULT OnPowerBroadcast(ce::WPARAM event);
    ce::LRESULT OnFormatProgress(ce::WPARAM wParam, ce::LPARAM lParam);

    ProcessState& m_Process;
    InstallRun m_Run;
    CTransparentStatic m_Status;
    ce::HBITMAP m_hIcon;
    ce::HBITMAP m_hSmallIcon;
};

}  // namespace installer
