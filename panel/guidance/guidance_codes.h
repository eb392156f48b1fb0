#pragma once
// What the panel shows for the codes of a guidance record, and the texts it prints.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/gfx/color.h"

namespace panel {

// Turn icons 0..22, 103 and 104 are keyed with this colour; 23..50 are opaque.
inline constexpr ce::COLORREF kTurnKeyColor = 0x000C00;
// Camera distance colours, alternating with each record that shows one.
inline constexpr ce::COLORREF kBlinkRed = 0x0000FF;
inline constexpr ce::COLORREF kBlinkGreen = 0x42FF00;

struct IconChoice {
    int imageId = 0;
    bool keyed = false;
};

// The icon of a turn code, or nothing (the icon drawn before stays).
std::optional<IconChoice> TurnIconFor(int turnCode);

// What a safety code shows: one of seven icons, a text of kind 1 ("110 Km"), 2 (the limit) or
// 3 ("버스전용"), or nothing (the safety area is cleared).
enum class SafetyShow { Icon, Text1, Text2, Text3, Clear };
SafetyShow SafetyShowFor(int safetyCode);
// Image id of the seven icon codes (56..62), else -1.
int SafetyIconFor(int safetyCode);

// " " for 0, "%d m" up to 1000, "%.1f km" from 1001 (the metres times 0.001 in single precision).
std::u16string DistanceText(uint32_t metres);
// "%03d"
std::u16string SpeedText(int speed);
// The safety text of a kind (1, 2 or 3) and the camera distance text "(%dm)".
std::u16string SafetyText(SafetyShow kind, int speedLimit);
std::u16string CameraDistanceText(int metres);

}  // namespace panel
