#include "panel/guidance/guidance_codes.h"

#include <fmt/printf.h>

#include "panel/images/image_table.h"
#include "platform/core/text.h"

namespace panel {

namespace {

// The seven safety codes with icons, in image order from IMG_SAFETY_111.
constexpr int kSafetyIconCodes[] = {111, 112, 113, 117, 118, 124, 129};

bool InRange(int code, int first, int last) { return code >= first && code <= last; }

}  // namespace

std::optional<IconChoice> TurnIconFor(int turnCode) {
    if (InRange(turnCode, 0, 22)) return IconChoice{IMG_TURN_FIRST + turnCode, true};
    if (InRange(turnCode, 23, 50)) return IconChoice{IMG_TURN_FIRST + turnCode, false};
    if (turnCode == 103) return IconChoice{IMG_TURN_103, true};
    if (turnCode == 104) return IconChoice{IMG_TURN_104, true};
    return std::nullopt;
}

int SafetyIconFor(int safetyCode) {
    for (int i = 0; i < 7; ++i)
        if (kSafetyIconCodes[i] == safetyCode) return IMG_SAFETY_111 + i;
    return -1;
}

SafetyShow SafetyShowFor(int safetyCode) {
    if (SafetyIconFor(safetyCode) >= 0) return SafetyShow::Icon;
    if (safetyCode == 143) return SafetyShow::Text1;
    if (InRange(safetyCode, 151, 164) || InRange(safetyCode, 166, 179) || InRange(safetyCode, 201, 214) ||
        InRange(safetyCode, 232, 245))
        return SafetyShow::Text2;
    if (safetyCode == 246) return SafetyShow::Text3;
    return SafetyShow::Clear;
}

std::u16string DistanceText(uint32_t metres) {
    if (metres == 0) return u" ";
    if (metres <= 1000) return ce::toUtf16(fmt::sprintf("%d m", metres));
    const float km = static_cast<float>(metres) * 0.001f;
    return ce::toUtf16(fmt::sprintf("%.1f km", static_cast<double>(km)));
}

std::u16string SpeedText(int speed) { return ce::toUtf16(fmt::sprintf("%03d", speed)); }

std::u16string SafetyText(SafetyShow kind, int speedLimit) {
    switch (kind) {
        case SafetyShow::Text1: return u"110 Km";
        case SafetyShow::Text2: return ce::toUtf16(fmt::sprintf("%d Km", speedLimit));
        case SafetyShow::Text3: return u"버스전용";  // bus lane
        default: return u" ";
    }
}

std::u16string CameraDistanceText(int metres) { return ce::toUtf16(fmt::sprintf("(%dm)", metres)); }

}  // namespace panel
