#include "panel/images/panel_font.h"

#include "platform/core/text.h"

namespace panel {

ce::LogFont PanelLogFont(int height, bool bold, std::u16string_view face) {
    ce::LogFont font;
    font.height = height;
    font.width = 0;
    font.escapement = 0;
    font.orientation = 0;
    font.weight = bold ? ce::FW_BOLD : ce::FW_NORMAL;
    font.italic = false;
    font.underline = false;
    font.strikeOut = false;
    font.charSet = ce::DEFAULT_CHARSET;
    font.outPrecision = 0;
    font.clipPrecision = 2;
    font.quality = ce::CLEARTYPE_QUALITY;
    font.pitchAndFamily = 0;
    // The face field holds 32 UTF-16 units with the terminator.
    std::u16string_view name = face.empty() ? kDefaultFace : face;
    font.faceName = ce::toUtf8(name.substr(0, 31));
    return font;
}

ce::HFONT CreatePanelFont(int height, bool bold, std::u16string_view face) {
    return ce::createFontIndirect(PanelLogFont(height, bold, face));
}

}  // namespace panel
