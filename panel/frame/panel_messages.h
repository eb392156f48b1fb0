#pragma once
// The panel's side of the conversation with the navigation program: window titles, the
// registered broadcast message and its codes, the private message numbers, the WM_COPYDATA
// kinds and the main window's timers.

#include <cstdint>

#include "platform/ui/types.h"

namespace panel {

inline constexpr const char* kMainWindowTitle = "ORV_KELO_ZEK";
inline constexpr const char* kNavigationTitle = "Kelo";
inline constexpr const char* kBroadcastMessageName = "QTL_MSG_BROADCAST";

// Codes of "QTL_MSG_BROADCAST" (wParam); lParam carries the argument.
enum BroadcastCode : ce::WPARAM {
    BM_NOTIFY_DESTROY = 1005,
    BM_END_ROUTESEARCH = 1007,
    BM_CURRENT_SPEED = 1011,
    BM_SET_START = 1016,
    BM_SET_GOAL = 1017,
    BM_RAISE_PANEL = 1018,
    BM_END_GUIDE = 1019,
};

// Show (wParam != 0, after 2 s) or hide (wParam 0) the panel.
inline constexpr ce::UINT WM_SHOW_PANEL = 1224;
// Guidance subscription on (wParam != 0) or off.
inline constexpr ce::UINT WM_GUIDE_SUBSCRIPTION = 1426;

// dwData of the panel's WM_COPYDATA to the navigation window.
inline constexpr uintptr_t kCopySubscribe = 1198;  // wParam: the window to send records to, 0 to stop
inline constexpr uintptr_t kCopyRequest = 1040;    // asks for one guidance record

inline constexpr uintptr_t kShowTimer = 610;
inline constexpr uint32_t kShowDelayMs = 2000;
inline constexpr uintptr_t kGuideTimer = 612;
inline constexpr uint32_t kGuidePeriodMs = 1000;

}  // namespace panel
