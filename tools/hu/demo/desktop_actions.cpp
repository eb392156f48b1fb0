#include "tools/hu/demo/desktop_actions.h"

#include <fmt/format.h>

#include "platform/ui/desktop.h"
#include "platform/ui/message.h"

namespace hu::demo {

std::string pressButton(ce::HWND page, int id) {
    auto controls = ce::describeControls(page);
    if (!controls.ok()) return fmt::format("the page does not answer (error {})", controls.error());
    for (size_t i = 1; i < controls->size(); ++i) {
        const ce::ControlState& c = (*controls)[i];
        if (c.id != id) continue;
        if (!c.visible) return fmt::format("button {} (\"{}\") is hidden", id, c.text);
        if (!c.enabled) return fmt::format("button {} (\"{}\") is disabled", id, c.text);
        if (!ce::postMessage(c.hwnd, ce::BM_CLICK, 0, 0)) return fmt::format("button {} did not take the press", id);
        return {};
    }
    return fmt::format("the page has no button {}", id);
}

}  // namespace hu::demo
