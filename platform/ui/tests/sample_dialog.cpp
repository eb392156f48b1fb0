// A sample program with every control, driven from outside by `hu ctl` in the end-to-end test:
// a full-screen, topmost page with push buttons, a read-only multi-line edit, a static text, a
// progress bar, a message box, a registered message, WM_COPYDATA and taps on the background.

#include <string>

#include "platform/core/profile.h"
#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "platform/ui/message.h"

using namespace ce;

namespace {

enum { ID_START = 1000, ID_CANCEL = 1001, ID_NEXT = 1002, ID_BAR = 1003, ID_MESSAGE = 1006, ID_STATUS = 1007 };

DialogTemplate sampleTemplate() {
    DialogTemplate t;
    t.cx = 246;
    t.cy = 154;
    t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT;
    t.title = "UI Sample";
    t.fontFace = "MS Shell Dlg";
    t.pointSize = 12;
    t.items = {
        {ID_START, WC_BUTTON, "START", 20, 113, 50, 24, WS_CHILD | WS_VISIBLE | WS_TABSTOP},
        {ID_CANCEL, WC_BUTTON, "CANCEL", 100, 113, 50, 24, WS_CHILD | WS_VISIBLE | WS_TABSTOP},
        {ID_NEXT, WC_BUTTON, "NEXT", 180, 113, 50, 24, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_DISABLED},
        {ID_MESSAGE, WC_EDIT, "Press START", 0, 20, 246, 31, WS_CHILD | WS_VISIBLE | ES_CENTER | ES_MULTILINE | ES_READONLY},
        {ID_BAR, WC_PROGRESS, "", 11, 73, 224, 14, WS_CHILD | WS_VISIBLE | WS_BORDER},
        {ID_STATUS, WC_STATIC, "Starting", 0, 92, 246, 12, WS_CHILD | WS_VISIBLE | SS_CENTER},
        {-1, WC_STATIC, "UI Sample Ver1.0", 0, 0, 80, 8, WS_CHILD | WS_VISIBLE},
    };
    return t;
}

class SamplePage : public Dialog {
public:
    SamplePage() : Dialog(sampleTemplate()) {
        const UINT step = registerWindowMessage("UI_SAMPLE_STEP");
        onCommand(ID_START, [this] {
            setWindowText(itemHandle(ID_MESSAGE), "Started\r\nsecond line");
            sendMessage(itemHandle(ID_BAR), PBM_SETPOS, 60, 0);
            enableWindow(itemHandle(ID_NEXT), true);
            showWindow(itemHandle(ID_START), SW_HIDE);
        });
        onCommand(ID_CANCEL, [this] { endDialog(IDCANCEL); });
        onCommand(ID_NEXT, [this] {
            messageBox(hwnd(), "All steps done.", "Sample Box");
            setStatus("Box closed");
        });
        on(step, [this](WPARAM wParam, LPARAM) -> LRESULT {
            sendMessage(itemHandle(ID_BAR), PBM_SETPOS, wParam, 0);
            setStatus("Step " + std::to_string(wParam));
            return 1;
        });
        on(WM_COPYDATA, [this](WPARAM, LPARAM lParam) -> LRESULT {
            const auto* cds = reinterpret_cast<const CopyDataStruct*>(lParam);
            setStatus(std::string(static_cast<const char*>(cds->lpData ? cds->lpData : ""), cds->cbData));
            return static_cast<LRESULT>(cds->dwData) + 1;
        });
        on(WM_LBUTTONDOWN, [this](WPARAM, LPARAM lParam) -> LRESULT {
            setStatus("Tapped " + std::to_string(loWord(static_cast<uintptr_t>(lParam))) + "," +
                      std::to_string(hiWord(static_cast<uintptr_t>(lParam))));
            return 0;
        });
    }

    bool onInitDialog() override {
        setWindowPos(hwnd(), HWND_TOPMOST, 0, 0, getSystemMetrics(SM_CXSCREEN), getSystemMetrics(SM_CYSCREEN),
                     SWP_SHOWWINDOW);
        sendMessage(itemHandle(ID_BAR), PBM_SETRANGE, 0, makeLParam(0, 240));
        setStatus("Ready");
        return true;
    }

private:
    void setStatus(const std::string& text) {
        setWindowText(itemHandle(ID_STATUS), text);
        updateWindow(itemHandle(ID_STATUS));
    }
};

}  // namespace

int main() {
    if (!Profile::current().ok()) return 1;
    SamplePage page;
    return page.runModal() == IDCANCEL ? 0 : 1;
}
