// `hu`: the command people and tests use to create head units, build update packages, start
// the simulators, drive the programs' windows and run the whole update end to end.

#include <algorithm>
#include <cstdio>
#include <string>

#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"

namespace hu {

int cmdInit(const Args& args);
int cmdSim(const Args& args);
int cmdMcuFlash(const Args& args);
int cmdBtDfu(const Args& args);
int cmdCtl(const Args& args);
int cmdPackage(const Args& args);
int cmdBoard(const Args& args);
int cmdFlash(const Args& args);
int cmdDemo(const Args& args);
int cmdNav(const Args& args);
int cmdWatch(const Args& args);
int cmdView(const Args& args);

// Each command registers here, explicitly: name, usage, summary, entry point.
const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"init", "hu init DIR [--code-page N] [--model NAME] [--versions OS,MICOM,BT] [--link COMn=PATH...] [--force]",
         "create a head unit on disk with default settings", cmdInit},
        {"sim", "hu sim DIR shell|mcu|bluetooth|navigation [options]", "run one simulator of a head unit in the foreground", cmdSim},
        {"mcu-flash", "hu mcu-flash DIR [--file HOSTFILE] [--chip N] [--no-entry] [--verbose]",
         "program the MCU through COM5 as the updater's MCU page does", cmdMcuFlash},
        {"bt-dfu", "hu bt-dfu DIR [--file HOSTFILE] [--verbose]",
         "update the Bluetooth module through COM2 as the updater's Bluetooth page does", cmdBtDfu},
        {"ctl", "hu ctl DIR list|text|click|tap|key|send|post|copydata|wait|capture ...", "drive and inspect the programs' windows",
         cmdCtl},
        {"package", "hu package DIR [--without PART,...] [--panel [PATH...]] [--add] [options]",
         "build an update package on the head unit's SD card", cmdPackage},
        {"board", "hu board DIR [--json] | hu board DIR fail WHAT PLAN", "show the board's GPIO lines, request log and OEM calls",
         cmdBoard},
        {"flash", "hu flash DIR dump REGION OUT | hu flash DIR fail KIND PLAN", "write one region of the NAND flash to a file",
         cmdFlash},
        {"nav", "hu nav DIR record|show|hide|subscribe|speed|start|goal|route-found|raise|end-guide|destroy ...",
         "play the navigation program's messages to the guidance panel", cmdNav},
        {"watch", "hu watch DIR [--json] [--timeout S]", "follow the programs' pages and the update's result while they run",
         cmdWatch},
        {"view", "hu view DIR [--scale N]", "the head unit's screen live in a window; the mouse is the pen", cmdView},
        {"demo", "hu demo [DIR] [--emergency] [--keep] [--json] [--view] [--screenshots FOLDER]",
         "the whole update end to end on a fresh head unit, checked against the package", cmdDemo},
    };
    return table;
}

}  // namespace hu

namespace {

// The command list at the end of `hu --help`: each command's usage and what it does.
std::string commandList() {
    std::string text = "Commands (hu COMMAND --help lists a command's options):\n";
    for (const auto& c : hu::commands()) text += std::string("  ") + c.usage + "\n      " + c.summary + "\n";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    // hu's own options come before the command; everything after the command is the command's.
    const hu::Args args(argv + 1, argv + argc);
    auto command = std::find_if(args.begin(), args.end(), [](const std::string& a) { return a.empty() || a[0] != '-'; });
    const auto own = command == args.end() ? args.end() : command + 1;
    std::string name;
    hu::cli::Parser parser("hu", "hu: create simulated head units, build update packages, drive and watch the programs, run the whole update");
    parser.positional("COMMAND", name, "the command to run, then its own arguments")
        .version(std::string("hu ") + HU_VERSION)
        .footer(commandList());
    if (auto status = parser.parse(hu::Args(args.begin(), own))) return *status;
    if (name == "help") return *parser.parse({"--help"});  // as `hu --help`
    for (const auto& c : hu::commands()) {
        if (name == c.name) return c.run(hu::Args(own, args.end()));
    }
    std::fprintf(stderr, "hu: unknown command '%s' (hu --help lists them)\n", name.c_str());
    return 2;
}
