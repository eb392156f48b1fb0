// hu flash DIR dump bootloader|hidden|sectors OUT | hu flash DIR fail KIND PLAN: the raw bytes
// of one region of the simulated NAND flash, or a failure plan for the NAND driver.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "sim/board/fault_plan.h"
#include "sim/nand/flash_image.h"
#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"
#include "tools/hu/head_unit_arg.h"

namespace hu {

namespace {

namespace fs = std::filesystem;

std::string planProblem(std::string& text) {
    return sim::parseFailurePlan(text).is_null() ? "'" + text + "' is not always, off or request numbers N[,N...]" : "";
}

int dump(const fs::path& root, const std::string& regionName, const fs::path& out) {
    std::vector<uint8_t> bytes = sim::FlashImage(root).read(*sim::flashRegionNamed(regionName));
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
    const nlohmann::json plan = sim::parseFailurePlan(text);
    if (!sim::setSimSetting(root, "nand", keys.at(kind), plan)) {
        std::fprintf(stderr, "hu flash: cannot update %s\n", (root / "headunit.json").c_str());
        return 1;
    }
    std::printf("hu flash: DSK1: %s requests now fail: %s (requests so far: %s)\n", kind.c_str(), plan.dump().c_str(),
                sim::requestCounts(root).dump().c_str());
    return 0;
}

}  // namespace

int cmdFlash(const Args& args) {
    std::string dir, region, out, kind, plan;
    cli::Parser parser("hu flash", "write one region of the NAND flash to a file, or make the NAND driver's requests fail");
    parser.headUnit(dir).verbRequired();
    parser.verb("dump", "write the raw bytes of one region to a file (hidden page i at offset i*512, sector s at offset "
                        "s*512; never-written bytes are 0xFF)")
        .choice("REGION", "", region, {"bootloader", "hidden", "sectors"}, "bootloader, hidden or sectors")
        .positional("OUT", out, "the file to write");
    parser.verb("fail", "make the NAND driver's requests of one kind fail")
        .choice("KIND", "", kind, {"open", "write-pages", "bootloader", "hidden-write"},
                "the requests: open, write-pages, bootloader or hidden-write")
        .positional("PLAN", plan, "always, off, or the request numbers that fail (N[,N...], from 1)", planProblem);
    if (auto status = parser.parse(args)) return *status;
    fs::path root = dir;
    if (!checkHeadUnit(dir, "hu flash")) return 1;
    std::error_code ec;
    if (!fs::is_directory(root / "flash", ec)) {
        std::fprintf(stderr, "hu flash: %s is not a head unit (no flash/ folder)\n", root.c_str());
        return 1;
    }
    return parser.chosenVerb()->name() == "dump" ? dump(root, region, out) : failPlan(root, kind, plan);
}

}  // namespace hu
