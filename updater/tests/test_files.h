#pragma once
// Small helpers for tests that lay out files in a temporary head unit.

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace updater::testing {

inline void WriteHostFile(const std::filesystem::path& path, std::string_view bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadHostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Number of captured writes that contain the text.
inline int CountWrites(const std::vector<std::string>& writes, std::string_view text) {
    int n = 0;
    for (const auto& w : writes) n += w.find(text) != std::string::npos;
    return n;
}

}  // namespace updater::testing
