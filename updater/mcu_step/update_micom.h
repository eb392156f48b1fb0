#pragma once
// UpdateMicom: the updater's MCU page.
//
// Why it exists: the MCU programming runs in McuLoaderDLL on threads of its own; this page
// starts it, plays the board's GPIO lines that bring the MCU into its programming mode when
// the library asks (phase 0x8000), shows the phases and the block progress the library
// reports with "MICOM_UPDATE", and ends with the result the update sequence reads.
//
// What it promises: the page ends only on the library's end report — IDOK after 0x4000
// ("Success..." shown for a second), IDCANCEL after 0x4001 ("Fail..." shown for a second) —
// and the programming-mode sequence is complete before the library's connect phase goes on.
// The page has no button and no time-out of its own.

#include <cstdint>
#include <string>

#include "platform/ui/dialog.h"
#include "updater/display_language.h"

namespace updater {

class UpdateMicom : public ce::Dialog {
public:
    enum : int { IDC_TITLE = 1006, IDC_STATUS = 1004, IDC_PROGRESS = 1005 };
    static constexpr uintptr_t kStartTimer = 2;

    UpdateMicom();

    // The id of "MICOM_UPDATE", registered once per program.
    static ce::UINT MicomUpdateMessage();

    bool onInitDialog() override;

    const std::string& statusText() const { return m_strStatus; }
    uint32_t codePage() const { return m_nCodePage; }

private:
    ce::LRESULT OnTimer(ce::WPARAM id);
    ce::LRESULT OnMicomUpdate(ce::WPARAM wParam);
    void SetStatus(const char* korean, const char* russian, const char* english);
    // Refreshes the controls from the page's data (and draws them at once).
    void UpdateData();

    uint32_t m_nCodePage = 949;
    Language m_language = Language::Korean;
    std::string m_strTitle;
    std::string m_strStatus;
};

// Runs the MCU page modally: IDOK when the MCU was programmed, IDCANCEL when it failed.
int RunUpdateMicom(ce::HWND owner = 0);

}  // namespace updater
