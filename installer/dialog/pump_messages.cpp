#include "installer/dialog/pump_messages.h"

#include "platform/ui/message.h"

namespace installer {

void PumpMessages() {
    ce::Msg msg;
    while (ce::peekMessage(&msg, 0, 0, 0, ce::PM_REMOVE)) {
        if (msg.message == ce::WM_QUIT) {
            ce::postQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ce::translateMessage(&msg);
        ce::dispatchMessage(&msg);
    }
}

}  // namespace installer
