// Device paths come from data (INI values, checksum lists, package files): whatever the text,
// resolution must stay on the head unit's volumes (or in the program's own folder) and never
// pass through a link on the way. The head unit has links that point out of it, in both cases.

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/core/paths.h"
#include "platform/core/profile.h"

namespace {

namespace fs = std::filesystem;

fs::path makeHeadUnit() {
    char pattern[] = "/tmp/hu-path-fuzz-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) std::abort();
    const fs::path root = pattern;
    fs::create_directories(root / "sdcard/UpdateXan/ZEK_Update/ZEK");
    fs::create_directories(root / "nand/ZEK/IMG");
    fs::create_directories(root / "outside");
    std::ofstream(root / "nand/ZEK/a.bin") << "x";
    fs::create_directory_symlink("/", root / "nand/up");
    fs::create_directory_symlink(root / "outside", root / "sdcard/UpdateXan/Link");
    fs::create_symlink(root / "outside/file", root / "nand/ZEK/file.lnk");
    std::ofstream(root / "headunit.json")
        << R"({"mounts": [{"device": "\\SDMMC Card", "host": "sdcard"}, {"device": "\\NAND Flash", "host": "nand"}]})";
    ce::Profile::setCurrent(root);
    return root;
}

bool within(const fs::path& inner, const fs::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i)
        if (i == inner.end() || *i != *o) return false;
    return true;
}

// No folder between the base and the last component is a link.
bool noLinkOnTheWay(const fs::path& host, const fs::path& base) {
    fs::path current = base;
    auto it = host.begin();
    for (auto b = base.begin(); b != base.end(); ++b) ++it;
    for (; it != host.end() && std::next(it) != host.end(); ++it) {
        current /= *it;
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fs::path root = makeHeadUnit();
    static const fs::path programFolder = fs::read_symlink("/proc/self/exe").parent_path();
    const std::string_view path(reinterpret_cast<const char*>(data), size);

    if (auto place = ce::placeOf(path)) {
        for (const auto& part : place->below)
            if (part.empty() || part == "." || part == ".." || part.find_first_of("\\/") != std::string::npos) std::abort();
    }
    auto host = ce::hostPath(path);
    if (!host) return 0;
    const fs::path normal = host->lexically_normal();
    if (*host != normal) std::abort();  // no ".." and no "." left in it
    for (const fs::path base : {root / "sdcard", root / "nand", programFolder}) {
        if (within(normal, base)) {
            if (!noLinkOnTheWay(normal, base)) std::abort();
            return 0;
        }
    }
    std::abort();  // outside every volume and the program's folder
}
