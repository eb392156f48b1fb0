#pragma once
// Whole host files as bytes, read in one go (the checks compare images of several megabytes).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace hu::demo {

// The file's bytes; nothing when it cannot be read.
std::optional<std::vector<uint8_t>> readHostFile(const std::filesystem::path& file);

}  // namespace hu::demo
