// hu board DIR [--json] | hu board DIR fail open|gpio|oem PLAN: the board's GPIO lines, the
// event log of every GPIO request, the recorded OEM kernel calls; or a failure plan for them.

#include <fmt/format.h>

#include <cstdio>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "sim/board/board_driver.h"
#include "sim/board/fault_plan.h"
#include "sim/board/gpio_log.h"
#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"
#include "tools/hu/head_unit_arg.h"

namespace hu {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string planProblem(std::string& text) {
    return sim::parseFailurePlan(text).is_null() ? "'" + text + "' is not always, off or request numbers N[,N...]" : "";
}

std::string hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) out += fmt::format("{:02x}", b);
    return out;
}

json boardJson(const fs::path& root) {
    json ports = json::object();
    for (const auto& [port, mask] : sim::GpioLog::levels(root)) ports[std::to_string(port)] = mask;
    json events = json::array();
    for (const auto& e : sim::GpioLog::read(root))
        events.push_back({{"t_ms", e.t_ms}, {"port", e.port}, {"mask", e.mask}, {"level", e.level}, {"pid", e.pid}});
    json oem = json::array();
    for (const auto& c : sim::readOemCalls(root)) {
        json call = {{"t_ms", c.t_ms}, {"code", c.code}, {"input", hex(c.input)}, {"pid", c.pid}};
        if (c.failed) call["failed"] = true;
        oem.push_back(call);
    }
    return {{"ports", ports}, {"events", events}, {"oem", oem}, {"requests", sim::requestCounts(root)}};
}

void printBoard(const fs::path& root) {
    json board = boardJson(root);
    std::printf("GPIO lines (high mask per port):%s\n", board["ports"].empty() ? " none driven yet" : "");
    for (const auto& [port, mask] : board["ports"].items()) std::printf("  port %s: 0x%08x\n", port.c_str(), mask.get<uint32_t>());
    std::printf("GPIO requests: %zu\n", board["events"].size());
    for (const auto& e : board["events"])
        std::printf("  t_ms %llu  port %d  mask 0x%08x  %s  (pid %d)\n", (unsigned long long)e["t_ms"].get<uint64_t>(),
                    e["port"].get<int>(), e["mask"].get<uint32_t>(), e["level"].get<int>() ? "high" : "low", e["pid"].get<int>());
    std::printf("OEM kernel calls: %zu\n", board["oem"].size());
    for (const auto& c : board["oem"])
        std::printf("  t_ms %llu  code 0x%08x  input %s%s\n", (unsigned long long)c["t_ms"].get<uint64_t>(),
                    c["code"].get<uint32_t>(), c["input"].get<std::string>().c_str(), c.contains("failed") ? "  (failed)" : "");
}

}  // namespace

int cmdBoard(const Args& args) {
    std::string dir, what, planText;
    bool asJson = false;
    cli::Parser parser("hu board", "show the board's GPIO lines, the log of every GPIO request and the OEM kernel calls, "
                                   "or make the board's requests fail");
    parser.headUnit(dir).flag("--json", asJson, "as one JSON document");
    parser.verb("fail", "make the board driver's requests of one kind fail")
        .choice("WHAT", "", what, {"open", "gpio", "oem"}, "the requests: open, gpio or oem")
        .positional("PLAN", planText, "always, off, or the request numbers that fail (N[,N...], from 1)", planProblem);
    if (auto status = parser.parse(args)) return *status;
    fs::path root = dir;
    if (!checkHeadUnit(dir, "hu board")) return 1;
    if (!parser.chosenVerb()) {
        if (asJson) std::printf("%s\n", boardJson(root).dump(2).c_str());
        else printBoard(root);
        return 0;
    }
    static const std::map<std::string, std::string> keys = {{"open", "failOpen"}, {"gpio", "failGpioSet"}, {"oem", "failOem"}};
    const json plan = sim::parseFailurePlan(planText);
    if (!sim::setSimSetting(root, "board", keys.at(what), plan)) {
        std::fprintf(stderr, "hu board: cannot update %s\n", (root / "headunit.json").c_str());
        return 1;
    }
    std::printf("hu board: ORV1: %s requests now fail: %s (requests so far: %s)\n", what.c_str(), plan.dump().c_str(),
                sim::requestCounts(root).dump().c_str());
    return 0;
}

}  // namespace hu
