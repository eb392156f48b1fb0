// Feeds arbitrary bytes to the panel's record handler, as WM_COPYDATA from the navigation
// program, on a shown panel that draws them: a record shorter than 308 bytes must be refused,
// any other must be drawn without reading outside it, whatever its names and codes hold.
// The first byte 0xB1 turns the panel first, so both layouts are drawn.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "panel/config/zek_config.h"
#include "panel/frame/main_frame.h"
#include "panel/frame/panel_messages.h"
#include "panel/guidance/panel_layouts.h"
#include "panel/images/image_store.h"
#include "platform/core/time.h"
#include "platform/ui/message.h"

namespace {

void Pump() {
    ce::Msg msg;
    while (ce::peekMessage(&msg))
        if (msg.message != ce::WM_QUIT) ce::dispatchMessage(&msg);
}

// One shown panel for the whole run (outside a head unit: a private desktop, no bitmaps).
struct ShownPanel {
    panel::CImageStore store;
    std::unique_ptr<panel::CMainFrame> frame;
    ShownPanel() {
        frame = std::make_unique<panel::CMainFrame>(store);
        if (!frame->LoadFrame()) std::abort();
        ce::postMessage(frame->hwnd(), panel::WM_SHOW_PANEL, 1, 0);
        const uint32_t start = ce::tickCount();
        while (!frame->IsShown() && ce::tickCount() - start < 10000) {
            ce::waitMessage(50);
            Pump();
        }
        if (!frame->IsShown()) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ShownPanel shown;
    const ce::HWND window = shown.frame->hwnd();
    if (size > 0 && data[0] == 0xB1)
        ce::sendMessage(window, panel::IsHorizontal() ? panel::WM_HORIZONTAL_BUTTON : panel::WM_VERTICAL_BUTTON,
                        panel::BUTTON_ORIENTATION, 0);
    const ce::CopyDataStruct record{panel::kCopyRequest, static_cast<uint32_t>(size), size ? data : nullptr};
    const ce::LRESULT result = ce::sendMessage(window, ce::WM_COPYDATA, 0, reinterpret_cast<ce::LPARAM>(&record));
    if (size < 308 && result != -1) std::abort();
    Pump();
    return 0;
}
