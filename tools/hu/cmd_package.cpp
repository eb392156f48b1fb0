// `hu package DIR --panel [PATH...]`: builds update packages on a head unit's SD card.
// --panel puts the guidance panel's package under "\SDMMC Card\UpdateXan\ZEK_Update"; the
// paths after it (files or folders) make up the panel's folder, stand-ins when none are given.

#include <cstdio>
#include <exception>
#include <string>

#include "tools/hu/commands.h"
#include "tools/hu/panel_package.h"

namespace hu {

int cmdPackage(const Args& args) {
    if (args.empty() || args[0].rfind("--", 0) == 0) {
        std::fprintf(stderr, "hu package: usage: hu package DIR --panel [PATH...]\n");
        return 2;
    }
    const std::string dir = args[0];
    bool panel = false;
    PanelPackageOptions panelOptions;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--panel") {
            panel = true;
        } else if (panel && args[i].rfind("--", 0) != 0) {
            panelOptions.panelFiles.emplace_back(args[i]);
        } else {
            std::fprintf(stderr, "hu package: unknown option %s\n", args[i].c_str());
            return 2;
        }
    }
    if (!panel) {
        std::fprintf(stderr, "hu package: say which package to build (--panel)\n");
        return 2;
    }
    try {
        const PanelPackage package =
            buildPanelPackage(dir, panelOptions, [](const std::string& line) { std::printf("%s\n", line.c_str()); });
        std::printf("hu package: panel package with %d files in %s\n", package.files, package.folder.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hu package: %s\n", e.what());
        return 1;
    }
}

}  // namespace hu
