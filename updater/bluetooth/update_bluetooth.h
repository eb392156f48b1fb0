#pragma once
// UpdateBluetooth: the updater's Bluetooth page.
//
// Why it exists: the Bluetooth module is updated by the DFU engine on a worker thread of its
// own; this page prepares the module's port "COM2:" (the module's 25-byte command at no
// parity, then BCSP's even parity), powers the module's line through the board (GPIO port 2,
// 0x08), starts the engine, shows the download progress once a second and ends with the
// result the update sequence reads.
//
// What it promises: all its timing comes from four window timers (4: the module's answer, 1:
// line settings and start, 2: progress, 3: close after success). It ends with IDOK three
// seconds after the module reported success, and with IDCANCEL when the image is missing, when
// no block has gone out by the ninth progress tick, or when a download that had started stops
// making progress for kStallTicks seconds. Each run of the page starts its tick counter at 0,
// so the update sequence can run the same page object again.

#include <cstdint>
#include <string>

#include "platform/ui/dialog.h"
#include "updater/bluetooth/dfu_exports.h"
#include "updater/display_language.h"

namespace updater {

class UpdateBluetooth : public ce::Dialog {
public:
    enum : int { IDC_TITLE = 1006, IDC_STATUS = 1009, IDC_PROGRESS = 1011 };
    enum : uintptr_t { TIMER_ID_START = 1, TIMER_ID_ING = 2, TIMER_ID_CLOSE = 3, TIMER_ID_ANSWER = 4 };

    // Progress ticks without a new block (or the success) after which a started download is
    // given up: generous, because a module may take long to write or manifest its image.
    static constexpr int kStallTicks = 60;
    static constexpr ce::UINT kEndFailedMessage = ce::WM_APP + 0x42;

    UpdateBluetooth();

    bool onInitDialog() override;

    // For tests: a shorter stall limit.
    void setStallTicks(int ticks) { m_nStallLimit = ticks; }

    const std::string& statusText() const { return m_strStatus; }
    int progress() const { return m_nProgress; }
    uint32_t tickCount() const { return m_nTick; }

private:
    ce::LRESULT OnTimer(ce::WPARAM id);
    void OnAnswerTimer();
    void OnStartTimer();
    void OnProgressTimer();
    void EndFailed();
    void UpdateData();
    std::string Text(const char* korean, const char* russian, const char* english) const;

    uint32_t m_nCodePage = 949;
    Language m_language = Language::Korean;
    int m_nCount = 0;                // image size / 1024 + 1
    BtDfuStatus m_status{};
    uint8_t m_answer[25] = {};       // the module's answer to its command, not examined
    uint32_t m_nTick = 0;            // shared by timers 1 and 2
    uint32_t m_nLastBlocks = 0;
    int m_nQuietTicks = 0;
    int m_nStallLimit = kStallTicks;
    int m_nProgress = 0;
    std::string m_strTitle;
    std::string m_strStatus;
};

// Runs the Bluetooth page modally: IDOK after a successful download, IDCANCEL on failure.
int RunUpdateBluetooth(ce::HWND owner = 0);

}  // namespace updater
