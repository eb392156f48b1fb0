#pragma once
// The navigation program's side of its conversation with the guidance panel, as the panel's
// interface defines it:
//   - the panel subscribes with WM_COPYDATA dwData 1198 to the window titled "Kelo", wParam
//     the panel window to send records to (0 withdraws the subscription);
//   - the panel asks with WM_COPYDATA dwData 1040 once a second; the answer is a guidance
//     record (guidance_record.h) sent by WM_COPYDATA to the subscribed window;
//   - the navigation program posts 1224 (show when wParam != 0, hide when 0) and 1426
//     (subscription on or off) to the panel window "ORV_KELO_ZEK", and broadcasts the
//     registered message "QTL_MSG_BROADCAST" with a code in wParam and an argument in lParam.

#include <cstdint>

namespace sim::nav {

inline constexpr const char* kNavigationTitle = "Kelo";
inline constexpr const char* kPanelTitle = "ORV_KELO_ZEK";
inline constexpr const char* kBroadcastName = "QTL_MSG_BROADCAST";

// WM_COPYDATA dwData values the panel sends to the navigation window.
inline constexpr uintptr_t kSubscribeData = 1198;
inline constexpr uintptr_t kRequestData = 1040;

// Private messages to the panel window.
inline constexpr uint32_t kShowHideMessage = 1224;
inline constexpr uint32_t kSubscriptionMessage = 1426;

// Codes of the broadcast message (wParam).
enum BroadcastCode : uint32_t {
    kDestroy = 1005,
    kEndRouteSearch = 1007,
    kCurrentSpeed = 1011,  // lParam: km/h
    kSetStart = 1016,
    kSetGoal = 1017,
    kRaisePanel = 1018,
    kEndGuide = 1019,
};

}  // namespace sim::nav
