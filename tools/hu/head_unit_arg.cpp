#include "tools/hu/head_unit_arg.h"

#include <cstdio>
#include <cstdlib>

#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "platform/core/registry.h"

namespace hu {

namespace {

std::optional<ce::Profile> loadHeadUnit(const std::string& dir, const char* command) {
    std::string problem;
    auto profile = ce::Profile::load(dir, &problem);
    if (profile) return std::move(profile).value();
    if (profile.error() == ce::ERROR_FILE_NOT_FOUND || profile.error() == ce::ERROR_PATH_NOT_FOUND)
        std::fprintf(stderr, "%s: %s is no head unit (hu init makes one)\n", command, dir.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", command, problem.c_str());
    return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> enterHeadUnit(const std::string& dir, const char* command, Registry registry) {
    auto profile = loadHeadUnit(dir, command);
    if (!profile) return std::nullopt;
    std::filesystem::path root = profile->root();
    ::setenv("HEADUNIT_ROOT", root.c_str(), 1);
    ce::Profile::setCurrent(root);
    if (registry == Registry::Required) {
        if (std::string problem = ce::registryProblem(); !problem.empty()) {
            std::fprintf(stderr, "%s: %s: the head unit's registry is damaged\n", command, problem.c_str());
            return std::nullopt;
        }
    }
    return root;
}

bool checkHeadUnit(const std::string& dir, const char* command) { return loadHeadUnit(dir, command).has_value(); }

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
