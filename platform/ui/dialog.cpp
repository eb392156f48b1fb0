#include "platform/ui/dialog.h"

#include "platform/ui/controls.h"
#include "platform/ui/message.h"
#include "platform/ui/window_system.h"

namespace ce {

namespace {

// MulDiv with rounding, as dialog-unit conversion does it.
int scale(int value, int base, int divisor) {
    long long v = static_cast<long long>(value) * base;
    return static_cast<int>(v >= 0 ? (v + divisor / 2) / divisor : -((-v + divisor / 2) / divisor));
}

}  // namespace

Dialog::Dialog(DialogTemplate dialogTemplate) : template_(std::move(dialogTemplate)) {
    // Point sizes at 96 dots per inch; a negative height asks for the character (em) height.
    int pixels = scale(template_.pointSize > 0 ? template_.pointSize : 8, 96, 72);
    dialogFont_ = createFont(-pixels, FW_NORMAL, template_.fontFace);
    Size unit = averageCharSize(*dialogFont_);
    baseUnitX_ = unit.cx > 0 ? unit.cx : 1;
    baseUnitY_ = unit.cy > 0 ? unit.cy : 1;
}

Dialog::~Dialog() {
    destroy();
    destroyControls();
}

Rect Dialog::mapDialogRect(int x, int y, int cx, int cy) const {
    int left = scale(x, baseUnitX_, 4);
    int top = scale(y, baseUnitY_, 8);
    return Rect{left, top, left + scale(cx, baseUnitX_, 4), top + scale(cy, baseUnitY_, 8)};
}

void Dialog::attachItem(int id, Window& control) { attached_[id] = &control; }

Window* Dialog::item(int id) const {
    auto it = items_.find(id);
    return it == items_.end() ? nullptr : it->second;
}

HWND Dialog::itemHandle(int id) const {
    Window* w = item(id);
    return w ? w->hwnd() : 0;
}

Error Dialog::createWindowAndControls(HWND /*owner*/) {
    if (exists()) return ERROR_ALREADY_EXISTS;
    ended_ = false;
    result_ = -1;
    WindowSpec params;
    params.className = WC_DIALOG;
    params.title = template_.title;
    params.style = template_.style & ~WS_VISIBLE;  // shown once its controls are initialised
    params.exStyle = template_.exStyle;
    params.rect = mapDialogRect(template_.x, template_.y, template_.cx, template_.cy);
    if (Error e = create(params)) return e;
    setFont(dialogFont_);

    for (const DialogItem& it : template_.items) {
        Window* control = nullptr;
        auto attached = attached_.find(it.id);
        if (attached != attached_.end()) {
            control = attached->second;
        } else {
            auto made = createWindowObject(it.className);
            if (!made) {
                destroy();
                destroyControls();
                return ERROR_INVALID_NAME;  // a template naming an unknown class cannot be built
            }
            control = made.get();
            owned_.push_back(std::move(made));
        }
        WindowSpec cs;
        cs.className = it.className;
        cs.title = it.text;
        cs.style = it.style | WS_CHILD;
        cs.rect = mapDialogRect(it.x, it.y, it.cx, it.cy);
        cs.parent = hwnd();
        cs.id = it.id == 65535 ? -1 : it.id;
        if (Error e = control->create(cs)) {
            destroy();
            destroyControls();
            return e;
        }
        control->setFont(dialogFont_);
        if (it.id != -1 && it.id != 65535) items_[it.id] = control;
    }

    callWindowProc(hwnd(), WM_INITDIALOG, 0, 0);
    if (exists() && (template_.style & WS_VISIBLE) && !ended_) showWindow(hwnd(), SW_SHOW);
    if (exists() && (template_.style & DS_SETFOREGROUND)) setForegroundWindow(hwnd());
    return exists() ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

void Dialog::destroyControls() {
    items_.clear();
    owned_.clear();
}

Error Dialog::createModeless(HWND owner) {
    modal_ = false;
    return createWindowAndControls(owner);
}

int Dialog::runModal(HWND owner) {
    // Modal from the start, so that endDialog() inside WM_INITDIALOG ends the loop with its
    // value instead of destroying the window under the initialisation.
    modal_ = true;
    if (createWindowAndControls(owner) != ERROR_SUCCESS) {
        modal_ = false;
        return -1;
    }
    bool quit = false;
    Msg m;
    while (!ended_ && exists()) {
        if (!getMessage(&m)) {
            quit = true;
            break;
        }
        translateMessage(&m);
        dispatchMessage(&m);
    }
    modal_ = false;
    int result = ended_ && !quit ? result_ : -1;
    destroy();
    destroyControls();
    // The quit request belongs to the loops around this one too: pass it on.
    if (quit) postQuitMessage(static_cast<int>(m.wParam));
    return result;
}

void Dialog::endDialog(int result) {
    result_ = result;
    ended_ = true;
    if (!exists()) return;
    if (modal_) {
        postMessage(hwnd(), WM_NULL, 0, 0);  // wakes the modal loop if it waits
    } else {
        destroy();
        destroyControls();
    }
}

bool Dialog::onInitDialog() { return true; }

void Dialog::onOK() { endDialog(IDOK); }

void Dialog::onCancel() { endDialog(IDCANCEL); }

LRESULT Dialog::defaultProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_INITDIALOG:
            return onInitDialog() ? 1 : 0;
        case WM_COMMAND:
            if (hiWord(wParam) == BN_CLICKED) {
                if (loWord(wParam) == IDOK) onOK();
                else if (loWord(wParam) == IDCANCEL) onCancel();
            }
            return 0;
        case WM_CLOSE:
            onCancel();
            return 0;
        default:
            return Window::defaultProc(msg, wParam, lParam);
    }
}

bool endDialog(HWND dialog, int result) {
    auto* d = dynamic_cast<Dialog*>(windowFromHandle(dialog));
    if (!d) return false;
    d->endDialog(result);
    return true;
}

}  // namespace ce
