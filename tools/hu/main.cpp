// `hu`: the command people and tests use to create head units, build update packages, start
// the simulators, drive the programs' windows and run the whole update end to end.

#include <cstdio>
#include <cstring>
#include <string>

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
        {"init", "init DIR [--code-page N] [--model NAME] ...", "create a head unit on disk with default settings", cmdInit},
        {"sim", "sim DIR NAME [options]", "run one simulator of a head unit in the foreground", cmdSim},
        {"mcu-flash", "mcu-flash DIR [--file HOSTFILE] [--chip N] [--no-entry]", "program the MCU through COM5 as the updater's MCU page does", cmdMcuFlash},
        {"bt-dfu", "bt-dfu DIR [--file HOSTFILE] [--verbose]", "update the Bluetooth module through COM2 as the updater's Bluetooth page does", cmdBtDfu},
        {"ctl", "ctl DIR list|text|click|tap|key|send|post|copydata|wait|capture ...", "drive and inspect the programs' windows", cmdCtl},
        {"package", "package DIR [--without PART,...] [--panel PATH...] ...", "build an update package on the head unit's SD card", cmdPackage},
        {"board", "board DIR [--json] | board DIR fail WHAT PLAN", "show the board's GPIO lines, request log and OEM calls", cmdBoard},
        {"flash", "flash DIR dump bootloader|hidden|sectors OUT", "write one region of the NAND flash to a file", cmdFlash},
        {"nav", "nav DIR record [--turn N] ...|show|hide|speed N|end-guide|raise|destroy", "play the navigation program's messages to the guidance panel", cmdNav},
        {"watch", "watch DIR [--json] [--wait S]", "follow the programs' pages and the update's result while they run", cmdWatch},
        {"view", "view DIR [--scale N]", "the head unit's screen live in a window; the mouse is the pen", cmdView},
        {"demo", "demo [DIR] [--emergency] [--keep] [--json] [--view] ...", "the whole update end to end on a fresh head unit, checked against the package", cmdDemo},
    };
    return table;
}

}  // namespace hu

namespace {

void printHelp() {
    std::printf("usage: hu COMMAND [ARGS...] | hu --version\n\ncommands:\n");
    for (const auto& c : hu::commands()) std::printf("  %-46s %s\n", c.usage, c.summary);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        printHelp();
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("hu %s\n", HU_VERSION);
        return 0;
    }
    for (const auto& c : hu::commands()) {
        if (std::strcmp(argv[1], c.name) == 0) return c.run(hu::Args(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "hu: unknown command '%s' (hu --help lists them)\n", argv[1]);
    return 2;
}
