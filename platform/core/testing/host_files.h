#pragma once
// Whole host files written and read back by the file layer's tests.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace ce::testing {

inline void writeHost(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string readHost(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace ce::testing
