#pragma once
// The panel's fonts: every text is drawn with a font made from a pixel height, a bold flag and
// a face name, all other LOGFONT fields fixed. An empty face means the default face.

#include <string_view>

#include "platform/gfx/font.h"

namespace panel {

// The family of the font file the panel installs.
inline constexpr std::u16string_view kDefaultFace = u"나눔고딕";

ce::LogFont PanelLogFont(int height, bool bold, std::u16string_view face);
ce::HFONT CreatePanelFont(int height, bool bold, std::u16string_view face);

}  // namespace panel
