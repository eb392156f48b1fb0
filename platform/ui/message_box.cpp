// MessageBox: a small modal dialog with a text and an OK button, above every other window.

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "platform/ui/message.h"

namespace ce {

namespace {

class MessageBoxDialog : public Dialog {
public:
    MessageBoxDialog(std::string_view text, std::string_view caption) : Dialog(makeTemplate(text, caption)) {}

    bool onInitDialog() override {
        Rect r;
        getWindowRect(hwnd(), &r);
        int x = (getSystemMetrics(SM_CXSCREEN) - r.width()) / 2;
        int y = (getSystemMetrics(SM_CYSCREEN) - r.height()) / 2;
        setWindowPos(hwnd(), HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE);
        return true;
    }

private:
    static DialogTemplate makeTemplate(std::string_view text, std::string_view caption) {
        DialogTemplate t;
        t.cx = 200;
        t.cy = 80;
        t.style = WS_POPUP | WS_VISIBLE | WS_BORDER | DS_SETFONT;
        t.exStyle = WS_EX_TOPMOST;
        t.title = std::string(caption);
        t.fontFace = "MS Shell Dlg";
        t.pointSize = 9;
        t.items = {
            {-1, WC_STATIC, std::string(text), 8, 8, 184, 42, WS_CHILD | WS_VISIBLE | SS_CENTER},
            {IDOK, WC_BUTTON, "OK", 75, 56, 50, 16, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON},
        };
        return t;
    }
};

}  // namespace

int messageBox(HWND owner, std::string_view text, std::string_view caption, UINT /*type*/) {
    MessageBoxDialog box(text, caption);
    return box.runModal(owner);
}

}  // namespace ce
