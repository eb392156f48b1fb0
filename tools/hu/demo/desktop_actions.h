#pragma once
// The demo's finger on the touch screen: pressing a button of a page of the updater or the
// installer, through the head unit's desktop, as `hu ctl click` does.

#include <string>

#include "platform/ui/types.h"

namespace hu::demo {

// Presses button `id` of the top-level window `page`. A person cannot press a button that is
// hidden or greyed out, and neither can this: it returns why not; "" when the press was
// delivered.
std::string pressButton(ce::HWND page, int id);

}  // namespace hu::demo
