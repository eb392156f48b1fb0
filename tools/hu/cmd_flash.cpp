// hu flash DIR dump bootloader|hidden|sectors OUT | hu flash DIR fail KIND PLAN: the raw bytes
// of one region of the simulated NAND flash, or a failure plan for the NAND driver.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "sim/board/fault_plan.h"
#include "sim/nand/flash_image.h"
#include "tools/hu/commands.h"
#include "tools/hu/head_unit_arg.h"

namespace hu {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: hu flash DIR dump bootloader|hidden|sectors OUT\n"
    "         (hidden page i at offset i*512, sector s at offset s*512; never-written bytes are 0xFF)\n"
    "       hu flash DIR fail open|write-pages|bootloader|hidden-write always|off|N[,N...]   (N: request number, from 1)\n";

int dump(const fs::path& root, const std::string& regionName, const fs::path& out) {
    auto region = sim::flashRegionNamed(regionName);
    if (!region) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::vector<uint8_t> bytes = sim::FlashImage(root).read(*region);
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!file.flush()) {
        std::fprintf(stderr, "hu flash: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("hu flash: %zu bytes of the %s region written to %s\n", bytes.size(), regionName.c_str(), out.c_str());
    return 0;
}

int failPlan(const fs::path& root, const std::string& kind, const std::string& text) {
    static const std::map<std::string, std::string> keys = {
        {"open", "failOpen"}, {"write-pages", "failWritePages"}, {"bootloader", "failBootloader"}, {"hidden-write", "failHiddenWrite"}};
    auto key = keys.find(kind);
    nlohmann::json plan = sim::parseFailurePlan(text);
    if (key == keys.end() || plan.is_null()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (!sim::setSimSetting(root, "nand", key->second, plan)) {
        std::fprintf(stderr, "hu flash: cannot update %s\n", (root / "headunit.json").c_str());
        return 1;
    }
    std::printf("hu flash: DSK1: %s requests now fail: %s (requests so far: %s)\n", kind.c_str(), plan.dump().c_str(),
                sim::requestCounts(root).dump().c_str());
    return 0;
}

}  // namespace

int cmdFlash(const Args& args) {
    if (args.size() == 1 && args[0] == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.size() != 4 || (args[1] != "dump" && args[1] != "fail")) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    fs::path root = args[0];
    if (!checkHeadUnit(args[0], "hu flash")) return 1;
    std::error_code ec;
    if (!fs::is_directory(root / "flash", ec)) {
        std::fprintf(stderr, "hu flash: %s is not a head unit (no flash/ folder)\n", root.c_str());
        return 1;
    }
    return args[1] == "dump" ? dump(root, args[2], args[3]) : failPlan(root, args[2], args[3]);
}

}  // namespace hu
