#pragma once
// The standard controls: static text, push button, read-only edit, progress bar.
//
// Each is a ce::Window with the behaviour its class name stands for on the device. Dialog
// templates create them by class name through the window-class table (registerWindowClass);
// a program derives from one to give a control its own painting (override paint()) or
// behaviour, and attaches the object to the template item (Dialog::attachItem).
//
// All of them draw into their own surface with the dialog's font: texts through drawText,
// frames and the progress bar's bar with fills.

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/types.h"
#include "platform/ui/window.h"

namespace ce {

// STATIC: text on the parent's background, left (SS_LEFT), centred (SS_CENTER) or right
// (SS_RIGHT), word-wrapped; SS_CENTERIMAGE centres a single line vertically.
class Static : public Window {
public:
    void paint(Dc& dc) override;
};

// BUTTON (push button): pen down on it shows it pressed; pen up over it sends WM_COMMAND with
// BN_CLICKED and its id to the parent. BM_CLICK does the same without the pen. A disabled or
// hidden button does nothing.
class Button : public Window {
public:
    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paint(Dc& dc) override;
    bool pressed() const { return pressed_; }

private:
    void click();
    bool pressed_ = false;
};

// EDIT: read-only text box, multi-line (ES_MULTILINE, "\r\n" breaks lines, long lines wrap),
// aligned by ES_LEFT / ES_CENTER / ES_RIGHT, with a thin frame.
class Edit : public Window {
public:
    void paint(Dc& dc) override;
};

// msctls_progress32: PBM_SETRANGE (lParam: minimum in the low, maximum in the high 16 bits),
// PBM_SETRANGE32, PBM_SETPOS (returns the previous position), PBM_DELTAPOS, PBM_SETSTEP,
// PBM_STEPIT, PBM_GETRANGE, PBM_GETPOS. The position is kept inside the range. Default range
// 0..100.
class ProgressBar : public Window {
public:
    LRESULT windowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void paint(Dc& dc) override;
    int rangeMin() const { return min_; }
    int rangeMax() const { return max_; }
    int pos() const { return pos_; }

private:
    void setRange(int min, int max);
    int setPos(int pos);
    void changed();
    int min_ = 0;
    int max_ = 100;
    int pos_ = 0;
    int step_ = 10;
};

// The window-class table: how a template's class name becomes an object. The four standard
// controls are registered by the platform; a program may add its own classes at start-up.
using WindowFactory = std::function<std::unique_ptr<Window>()>;
bool registerWindowClass(std::string_view className, WindowFactory factory);  // false if taken
std::unique_ptr<Window> createWindowObject(std::string_view className);      // nullptr if unknown

}  // namespace ce
