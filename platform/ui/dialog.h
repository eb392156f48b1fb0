#pragma once
// Dialogs: windows built from a template of controls, run modally with nested message loops.
//
// A program describes a dialog the way its resource file would: a table of items (id, window
// class, text, position and size in dialog units, style). Dialog units are converted to pixels
// with the dialog font's average character width and height (x * width / 4, y * height / 8), so
// a layout keeps its proportions whatever font the head unit has. runModal() creates the window
// and its controls, sends WM_INITDIALOG (onInitDialog), runs a message loop until endDialog() is
// called, destroys the window and returns the value given to endDialog(). Modal loops nest: a
// page that runs another page modally keeps serving sent messages, timers and paint of every
// window of the thread. A WM_QUIT that reaches a modal loop ends the dialog with -1 and is
// posted again, so the loops around it end too (PostQuitMessage ends the program).
//
// A program gives a control its own behaviour or painting by deriving from the control class
// (ce::Static, ce::Button, ...) and attaching its object to the template item before the dialog
// runs: attachItem(1000, m_status) creates item 1000 as m_status instead of a plain STATIC.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/types.h"
#include "platform/ui/window.h"

namespace ce {

// One control of a template (DLGITEMTEMPLATE). Positions and sizes are dialog units.
struct DialogItem {
    int id = -1;  // -1 (65535) for a control without an id (a fixed label)
    std::string className;  // WC_BUTTON, WC_EDIT, WC_STATIC, WC_PROGRESS or a registered class
    std::string text;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    uint32_t style = WS_CHILD | WS_VISIBLE;
};

// A dialog template (DLGTEMPLATE with its font).
struct DialogTemplate {
    int x = 0;  // dialog units
    int y = 0;
    int cx = 0;
    int cy = 0;
    uint32_t style = WS_POPUP | WS_VISIBLE | DS_SETFONT;
    uint32_t exStyle = 0;
    std::string title;
    std::string fontFace = "MS Shell Dlg";
    int pointSize = 8;
    std::vector<DialogItem> items;
};

class Dialog : public Window {
public:
    explicit Dialog(DialogTemplate dialogTemplate);
    ~Dialog() override;

    // DoModal. owner may be 0. Returns the endDialog value, -1 when the dialog could not be
    // created or ended by WM_QUIT.
    int runModal(HWND owner = 0);

    // Creates the dialog without running a loop of its own (a modeless dialog; the program's
    // main loop serves it). Same initialisation as runModal.
    Error createModeless(HWND owner = 0);

    // EndDialog: the modal loop ends after the current message; the value becomes runModal's.
    void endDialog(int result);
    bool ended() const { return ended_; }

    // Binds a program's own control object to template item id (before the dialog is created).
    void attachItem(int id, Window& control);

    Window* item(int id) const;  // the control object of item id, nullptr when none
    HWND itemHandle(int id) const;

    // Dialog units to pixels with the dialog font (valid once the dialog font is known, i.e.
    // from construction on).
    Rect mapDialogRect(int x, int y, int cx, int cy) const;
    int baseUnitX() const { return baseUnitX_; }
    int baseUnitY() const { return baseUnitY_; }
    // The dialog font: the template's face at its point size (96 dots per inch).
    HFONT dialogFont() const { return dialogFont_; }

    const DialogTemplate& dialogTemplate() const { return template_; }

    // WM_INITDIALOG: controls exist. The default does nothing and returns true.
    virtual bool onInitDialog();
    // WM_COMMAND IDOK / IDCANCEL (also WM_CLOSE): the defaults end the dialog with that id.
    virtual void onOK();
    virtual void onCancel();

    LRESULT defaultProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    Error createWindowAndControls(HWND owner);
    void destroyControls();

    DialogTemplate template_;
    HFONT dialogFont_;
    bool modal_ = false;
    int baseUnitX_ = 0;
    int baseUnitY_ = 0;
    bool ended_ = false;
    int result_ = 0;
    std::map<int, Window*> attached_;
    std::vector<std::unique_ptr<Window>> owned_;
    std::map<int, Window*> items_;
};

// EndDialog by handle (the dialog must belong to this process).
bool endDialog(HWND dialog, int result);

// MessageBox: a modal box titled caption with the text and an OK button (id IDOK), on top of
// every window. Returns IDOK when OK was pressed, -1 when ended otherwise (WM_QUIT).
int messageBox(HWND owner, std::string_view text, std::string_view caption, UINT type = MB_OK);

}  // namespace ce
