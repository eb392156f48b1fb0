#include "tools/hu/head_unit_arg.h"

#include <cstdio>
#include <cstdlib>

#include "platform/core/paths.h"
#include "platform/core/profile.h"

namespace hu {

std::optional<std::filesystem::path> enterHeadUnit(const std::string& dir, const char* command) {
    auto profile = ce::Profile::load(dir);
    if (!profile) {
        std::fprintf(stderr, "%s: %s is no head unit (hu init makes one)\n", command, dir.c_str());
        return std::nullopt;
    }
    std::filesystem::path root = profile->root();
    ::setenv("HEADUNIT_ROOT", root.c_str(), 1);
    ce::Profile::setCurrent(root);
    return root;
}

std::optional<std::string> hostFileDevicePath(const std::string& hostFile, const char* command) {
    std::error_code ec;
    const auto host = std::filesystem::absolute(hostFile, ec);
    if (ec || !std::filesystem::is_regular_file(host, ec)) {
        std::fprintf(stderr, "%s: %s is not a file\n", command, hostFile.c_str());
        return std::nullopt;
    }
    return ce::admitHostFile(host);
}

}  // namespace hu
