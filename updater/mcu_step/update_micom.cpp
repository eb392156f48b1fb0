#include "updater/mcu_step/update_micom.h"

#include "mcu_loader/McuLoaderDLL.h"
#include "platform/core/time.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "updater/mcu_programming_lines.h"

namespace updater {

namespace {

constexpr int kProgressEnd = 240;

ce::DialogTemplate PageTemplate() {
    using namespace ce;
    DialogTemplate t;
    t.cx = 247;
    t.cy = 155;
    t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT;  // no caption
    t.items = {
        {UpdateMicom::IDC_TITLE, WC_EDIT, "", 10, 12, 227, 22, WS_CHILD | WS_VISIBLE | ES_CENTER | ES_READONLY},
        {UpdateMicom::IDC_STATUS, WC_EDIT, "", 10, 44, 227, 50,
         WS_CHILD | WS_VISIBLE | ES_CENTER | ES_MULTILINE | ES_READONLY},
        {UpdateMicom::IDC_PROGRESS, WC_PROGRESS, "", 10, 108, 227, 14, WS_CHILD | WS_VISIBLE | WS_BORDER},
        {-1, WC_STATIC, "MICOM Updating", 10, 135, 227, 10, uint32_t{WS_CHILD} | SS_CENTER},  // hidden
    };
    return t;
}

}  // namespace

UpdateMicom::UpdateMicom() : ce::Dialog(PageTemplate()) {
    on(ce::WM_TIMER, [this](ce::WPARAM id, ce::LPARAM) { return OnTimer(id); });
    on(MicomUpdateMessage(), [this](ce::WPARAM w, ce::LPARAM) { return OnMicomUpdate(w); });
}

ce::UINT UpdateMicom::MicomUpdateMessage() {
    static const ce::UINT id = ce::registerWindowMessage("MICOM_UPDATE");
    return id;
}

bool UpdateMicom::onInitDialog() {
    m_nCodePage = ReadDisplayCodePage();
    m_language = LanguageOf(m_nCodePage);
    m_strTitle = ByLanguage(m_language, "마이컴 업데이트", "Обновление MICOM", "MICOM Updating");
    UpdateData();
    ce::setWindowPos(hwnd(), ce::HWND_TOPMOST, 0, 0, ce::getSystemMetrics(ce::SM_CXSCREEN),
                     ce::getSystemMetrics(ce::SM_CYSCREEN), ce::SWP_SHOWWINDOW);
    ce::setTimer(hwnd(), kStartTimer, 500);
    return true;
}

ce::LRESULT UpdateMicom::OnTimer(ce::WPARAM id) {
    if (id != kStartTimer) return 0;
    ce::killTimer(hwnd(), kStartTimer);
    SwitchOnMcuProgrammingSupply();
    ce::sleep(50);
    // Every outcome, a refused start included, arrives as "MICOM_UPDATE".
    StartUpdateMicom(u"COM5:", u"\\SDMMC Card\\UpdateXan\\MICOM.BIN", 0);
    return 0;
}

ce::LRESULT UpdateMicom::OnMicomUpdate(ce::WPARAM wParam) {
    const unsigned phase = wParam & 0xFF;
    if (wParam & 0x8000) {
        switch (phase) {
            case 0:
                EnterMcuProgrammingMode();
                SetStatus("초기화...", "Инициализация...", "Initialize...");
                ce::sendMessage(ce::getDlgItem(hwnd(), IDC_PROGRESS), ce::PBM_SETRANGE, 0,
                                ce::makeLParam(0, kProgressEnd));
                break;
            case 1: SetStatus("삭제...", "Удаление...", "Erase..."); break;
            case 2: SetStatus("쓰기...", "Прописка...", "Write..."); break;
            case 3: SetStatus("검증...", "Проверка...", "Verify..."); break;
            default: SetStatus("완료...", "Готово...", "Done..."); break;
        }
    } else if (!(wParam & 0x4000)) {
        ce::sendMessage(ce::getDlgItem(hwnd(), IDC_PROGRESS), ce::PBM_SETPOS, wParam & 0xFFF, 0);
    } else if (phase == 0 || phase == 1) {
        bool success = phase == 0;
        if (success) {
            SetStatus("성공...", "Завершено...", "Success...");
        } else {
            SetStatus("실패...", "Ошибка...", "Fail...");
        }
        UpdateData();
        ce::sleep(1000);
        endDialog(success ? ce::IDOK : ce::IDCANCEL);
    }
    UpdateData();
    return 1;
}

void UpdateMicom::SetStatus(const char* korean, const char* russian, const char* english) {
    m_strStatus = ByLanguage(m_language, korean, russian, english);
}

void UpdateMicom::UpdateData() {
    ce::setWindowText(ce::getDlgItem(hwnd(), IDC_TITLE), m_strTitle);
    ce::setWindowText(ce::getDlgItem(hwnd(), IDC_STATUS), m_strStatus);
    ce::updateWindow(hwnd());
}

int RunUpdateMicom(ce::HWND owner) {
    UpdateMicom page;
    return page.runModal(owner);
}

}  // namespace updater
