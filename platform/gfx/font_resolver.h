#pragma once
// Finds font files for face names and characters: the program's own added fonts first, then
// the fonts fontconfig knows. Internal to gfx; font.h is the interface.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ce::gfx {

struct FaceSource {
    std::filesystem::path file;
    int index = 0;            // face within a collection
    std::string family;       // the family's first (usually English) name
    bool embolden = false;    // bold asked for, but the face found is not bold
    bool oblique = false;     // italic asked for, but the face found is upright

    bool operator==(const FaceSource&) const = default;
};

// The face for a request. Never fails while any font is installed: names that match nothing
// ("MS Shell Dlg", "System", "", a face not installed) give the default face.
FaceSource resolveFace(std::string_view faceName, int weight, bool italic);

// A face that has the character, for glyph-by-glyph fallback, preferring the default face's
// fallback order and the same weight; nothing if no installed font has it.
std::optional<FaceSource> resolveFaceForChar(char32_t ch, int weight, bool italic);

// The program's own font files (AddFontResource). add returns the number of faces in the
// file, 0 if it holds none; remove undoes one add and fails if the file was not added.
int addApplicationFont(const std::filesystem::path& file);
bool removeApplicationFont(const std::filesystem::path& file);

}  // namespace ce::gfx
