#include "updater/bluetooth/update_bluetooth.h"

#include <fmt/printf.h>

#include <algorithm>

#include "platform/core/debug.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "updater/gpio_request.h"

namespace updater {

namespace {

// Board port 2, line 0x08: the module's host interface.
constexpr uint8_t kModulePort = 2;
constexpr uint32_t kModuleLine = 0x08;

ce::DialogTemplate PageTemplate() {
    using namespace ce;
    DialogTemplate t;
    t.cx = 230;
    t.cy = 134;
    t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT;  // no caption
    t.items = {
        {UpdateBluetooth::IDC_TITLE, WC_EDIT, "", 10, 12, 210, 22, WS_CHILD | WS_VISIBLE | ES_CENTER | ES_READONLY},
        {UpdateBluetooth::IDC_STATUS, WC_STATIC, "Downloading 0%", 10, 48, 210, 20,
         WS_CHILD | WS_VISIBLE | SS_CENTER},
        {UpdateBluetooth::IDC_PROGRESS, WC_PROGRESS, "", 10, 80, 210, 14, WS_CHILD | WS_VISIBLE | WS_BORDER},
        {-1, WC_STATIC, "BLUETOOTH Update", 10, 110, 210, 10, uint32_t{WS_CHILD} | SS_CENTER},  // hidden
    };
    return t;
}

}  // namespace

UpdateBluetooth::UpdateBluetooth() : ce::Dialog(PageTemplate()) {
    on(ce::WM_TIMER, [this](ce::WPARAM id, ce::LPARAM) { return OnTimer(id); });
    on(kEndFailedMessage, [this](ce::WPARAM, ce::LPARAM) {
        EndFailed();
        return ce::LRESULT{0};
    });
}

std::string UpdateBluetooth::Text(const char* korean, const char* russian, const char* english) const {
    return ByLanguage(m_language, korean, russian, english);
}

bool UpdateBluetooth::onInitDialog() {
    // A page run again starts from scratch.
    m_nTick = 0;
    m_nLastBlocks = 0;
    m_nQuietTicks = 0;
    m_nProgress = 0;
    m_status = {};
    m_strStatus = "Downloading 0%";

    m_nCodePage = ReadDisplayCodePage();
    m_language = LanguageOf(m_nCodePage);
    m_strTitle = Text("블루투스 업데이트", "Обновление BLUETOOTH", "BLUETOOTH Update");
    ce::moveWindow(hwnd(), 0, 0, 800, 480, true);
    UpdateData();

    open_port(u"COM2:");
    setting_port(0, 0);  // the module's command goes out without parity
    write_dfu();
    open_update();

    m_nCount = get_fileinfo();
    if (m_nCount < 0) {
        ce::consolePrint("[Bluetooth Update] Failed!!! FILE_NOT_EXIST!!!\n");
        // Ended from the page's own loop, right after the page has opened.
        ce::postMessage(hwnd(), kEndFailedMessage, 0, 0);
        return true;
    }
    ce::consolePrint("How many count!!![ %d]\n", m_nCount);
    ce::setTimer(hwnd(), TIMER_ID_ANSWER, 1000);
    return true;
}

ce::LRESULT UpdateBluetooth::OnTimer(ce::WPARAM id) {
    switch (id) {
        case TIMER_ID_ANSWER: OnAnswerTimer(); break;
        case TIMER_ID_START: OnStartTimer(); break;
        case TIMER_ID_ING: OnProgressTimer(); break;
        case TIMER_ID_CLOSE:
            ce::killTimer(hwnd(), TIMER_ID_CLOSE);
            bluetooth::StopDfuEngine();
            endDialog(ce::IDOK);
            break;
        default: break;
    }
    return 0;
}

void UpdateBluetooth::OnAnswerTimer() {
    GpioSetRequest(kModulePort, kModuleLine, 1);
    read_dfu(m_answer, sizeof m_answer);
    ce::killTimer(hwnd(), TIMER_ID_ANSWER);
    ce::setTimer(hwnd(), TIMER_ID_START, 1000);
}

void UpdateBluetooth::OnStartTimer() {
    ce::consolePrint(" TIMER_ID_START [ %d ] \n", m_nTick);
    ++m_nTick;
    if (m_nTick == 1) setting_port(2, 0);  // BCSP: even parity, one stop bit
    if (m_nTick == 2) {
        start_update();
        ce::killTimer(hwnd(), TIMER_ID_START);
        ce::setTimer(hwnd(), TIMER_ID_ING, 1000);
    }
}

void UpdateBluetooth::OnProgressTimer() {
    get_status(&m_status);
    ++m_nTick;
    // Blocks go out in the module's transfer size, which may be below 1 KiB: the percentage
    // counts in those blocks, so it ends at 100 whatever the module asked for.
    const uint32_t blocks = bluetooth::DfuBlocksInImage();
    m_nProgress = blocks > 0 ? static_cast<int>(std::min<uint64_t>(uint64_t{m_status.blocksSent} * 100 / blocks, 100)) : 0;
    ce::sendMessage(ce::getDlgItem(hwnd(), IDC_PROGRESS), ce::PBM_SETPOS, static_cast<ce::WPARAM>(m_nProgress), 0);

    if (m_nTick > 10 && m_status.blocksSent == 0) {
        ce::consolePrint("[Bluetooth Update] Failed!!! TIMER_ID_ING\n");
        m_strStatus = Text("실패...", "Ошибка...", "Fail...");
        UpdateData();
        EndFailed();
        return;
    }

    if (m_nProgress > 0) {
        if (m_nTick % 2 == 1) {
            m_strStatus = fmt::sprintf(Text("다운로드중 %d%%..", "Идет загрузка %d%%..", "Downloading %d%%.."), m_nProgress);
        } else {
            m_strStatus = fmt::sprintf(Text("다운로드중 %d%%...", "Идет загрузка %d%%...", "Downloading %d%%..."), m_nProgress);
        }
    } else {
        m_strStatus = fmt::sprintf(Text("다운로드중 %d%%.", "Идет загрузка %d%%.", "Downloading %d%%."), m_nProgress);
        ce::setWindowText(ce::getDlgItem(hwnd(), IDC_STATUS), m_strStatus);
    }

    if (m_status.done) {
        m_strStatus = Text("성공...", "Завершено...", "Success...");
        ce::killTimer(hwnd(), TIMER_ID_ING);
        ce::setTimer(hwnd(), TIMER_ID_CLOSE, 3000);
    } else if (m_status.blocksSent > 0) {
        // A download that has started must keep moving: a module stuck in an error state or
        // gone silent would otherwise hold the update sequence for ever.
        m_nQuietTicks = m_status.blocksSent == m_nLastBlocks ? m_nQuietTicks + 1 : 0;
        m_nLastBlocks = m_status.blocksSent;
        if (m_nQuietTicks >= m_nStallLimit) {
            ce::consolePrint("[Bluetooth Update] Failed!!! NO PROGRESS [%d s]\n", m_nQuietTicks);
            m_strStatus = Text("실패...", "Ошибка...", "Fail...");
            UpdateData();
            EndFailed();
            return;
        }
    }
    UpdateData();
}

void UpdateBluetooth::EndFailed() {
    ce::killTimer(hwnd(), TIMER_ID_ANSWER);
    ce::killTimer(hwnd(), TIMER_ID_START);
    ce::killTimer(hwnd(), TIMER_ID_ING);
    GpioSetRequest(kModulePort, kModuleLine, 0);
    // The worker would poll the module's port for as long as the program runs: the step is over.
    bluetooth::StopDfuEngine();
    endDialog(ce::IDCANCEL);
}

void UpdateBluetooth::UpdateData() {
    ce::setWindowText(ce::getDlgItem(hwnd(), IDC_TITLE), m_strTitle);
    ce::setWindowText(ce::getDlgItem(hwnd(), IDC_STATUS), m_strStatus);
    ce::updateWindow(hwnd());
}

int RunUpdateBluetooth(ce::HWND owner) {
    UpdateBluetooth page;
    return page.runModal(owner);
}

}  // namespace updater
