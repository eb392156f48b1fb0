// `hu`'s command lines as a person types them: every command and verb answers --help with each
// of its options, the same words mean the same things across commands, a command line `hu`
// cannot take is named in one line on stderr with exit status 2, and the README's command list
// is the one `hu --help` prints.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/hu/tests/run_command.h"

namespace {

using hu::testing::hu;
using hu::testing::runCommand;

struct Help {
    std::string command;
    std::vector<std::string> mentions;  // options, verbs and positionals --help must name
};

// No head unit is needed for --help, nor for a command line that cannot be taken.
const std::string kDir = "/nonexistent/unit";

const std::vector<Help> kHelp = {
    {"init", {"DIR", "--code-page", "--model", "--versions", "--link", "--force"}},
    {"sim", {"DIR", "shell", "mcu", "bluetooth", "navigation"}},
    {"sim " + kDir + " shell", {"--windows"}},
    {"sim " + kDir + " mcu",
     {"--chip", "--last-address", "--blocks", "--vendor", "--name", "--start", "--blank", "--erase-ms", "--block-ms",
      "--internal-verify-ms", "--blank-check-ms", "--paced", "--skip-entry-check", "--drop-ack", "--drop-verify-ack",
      "--lose-status", "--lose-verify-status", "--write-error", "--nak", "--corrupt-checksum", "--split", "--garbage",
      "--not-blank-forever", "--erase-no-ack"}},
    {"sim " + kDir + " bluetooth",
     {"--port", "--dfu-mode", "--transfer-size", "--busy-ms", "--busy-last", "--lenient-busy", "--manifest-ms",
      "--error-at-block", "--corrupt-every", "--drop-every", "--bad-crc-every", "--out-of-sequence-every", "--lose-every",
      "--no-link", "--retransmit-ms", "--restart-ms", "--paced"}},
    {"sim " + kDir + " navigation", {"--route", "--topmost", "--print-route"}},
    {"mcu-flash", {"DIR", "--file HOSTFILE", "--chip", "--no-entry", "--verbose"}},
    {"bt-dfu", {"DIR", "--file HOSTFILE", "--verbose"}},
    {"ctl", {"DIR", "list", "text", "click", "tap", "key", "send", "post", "copydata", "wait", "capture"}},
    {"ctl " + kDir + " list", {"--json"}},
    {"ctl " + kDir + " text", {"ID", "--title", "--program", "--hwnd"}},
    {"ctl " + kDir + " click", {"ID", "--title", "--program", "--hwnd"}},
    {"ctl " + kDir + " tap", {"X", "Y", "--down", "--up", "--double"}},
    {"ctl " + kDir + " key", {"VK", "--up"}},
    {"ctl " + kDir + " send", {"MSG", "WPARAM", "LPARAM", "--title", "--program", "--hwnd"}},
    {"ctl " + kDir + " post", {"MSG", "WPARAM", "LPARAM", "--title", "--program", "--hwnd"}},
    {"ctl " + kDir + " copydata", {"DWDATA", "FILE", "--wparam", "--title", "--program", "--hwnd"}},
    {"ctl " + kDir + " wait", {"ID", "TEXT", "--timeout S", "--title", "--program", "--hwnd"}},
    {"ctl " + kDir + " capture", {"OUT", "--title", "--program", "--hwnd"}},
    {"package",
     {"DIR", "--os-version", "--mcu-version", "--bt-version", "--version-line-end", "--tcboot", "--tcboot-size", "--kernel",
      "--kernel-size", "--bad-checksum", "--logo", "--logo-size", "--option", "--sflash", "--micom", "--micom-size", "--bt",
      "--bt-size", "--panel", "--without", "--add", "--seed"}},
    {"board", {"DIR", "--json", "fail"}},
    {"board " + kDir + " fail", {"WHAT", "PLAN"}},
    {"flash", {"DIR", "dump", "fail"}},
    {"flash " + kDir + " dump", {"REGION", "OUT"}},
    {"flash " + kDir + " fail", {"KIND", "PLAN"}},
    {"nav", {"DIR", "record", "show", "hide", "subscribe", "speed", "start", "goal", "route-found", "raise", "end-guide", "destroy"}},
    {"nav " + kDir + " record", {"--distance", "--turn", "--road1", "--road2", "--safety", "--limit", "--camera", "--out"}},
    {"nav " + kDir + " subscribe", {"ON_OFF"}},
    {"nav " + kDir + " speed", {"KMH"}},
    {"watch", {"DIR", "--json", "--timeout S"}},
    {"view", {"DIR", "--scale"}},
    {"demo", {"DIR", "--emergency", "--keep", "--json", "--view", "--screenshots", "--small", "--fault"}},
};

TEST(CommandLine, EveryCommandAndVerbListsItsOptions) {
    for (const auto& h : kHelp) {
        const auto run = runCommand(hu(h.command + " --help"));
        EXPECT_EQ(run.status, 0) << h.command << ": " << run.err;
        EXPECT_EQ(run.err, "") << h.command;
        for (const auto& word : h.mentions)
            EXPECT_NE(run.out.find(word), std::string::npos) << h.command << " --help does not mention " << word << ":\n" << run.out;
    }
}

struct Bad {
    std::string command;
    std::string names;  // what the one line must name
};

const std::vector<Bad> kBad = {
    {"--bogus", "--bogus"},
    {"rocket", "rocket"},
    {"init", "DIR"},
    {"init " + kDir + " --code-page 99999999999", "--code-page: value 99999999999 is not in 1..65535"},
    {"init " + kDir + " --code-page abc", "--code-page"},
    {"init " + kDir + " --code-page -1", "--code-page"},
    {"init " + kDir + " --model", "--model"},
    {"init " + kDir + " --link COM5", "--link"},
    {"init " + kDir + " --bogus", "--bogus"},
    {"init " + kDir + " extra", "extra"},
    {"sim " + kDir, "shell"},
    {"sim " + kDir + " rocket", "rocket"},
    {"sim " + kDir + " mcu --chip 2", "--chip"},
    {"sim " + kDir + " mcu --drop-ack 3,x", "--drop-ack"},
    {"sim " + kDir + " bluetooth --transfer-size -1", "--transfer-size"},
    {"sim " + kDir + " navigation --route", "--route"},
    {"sim " + kDir + " shell --bogus", "--bogus"},
    {"mcu-flash", "DIR"},
    {"mcu-flash " + kDir + " --chip abc", "--chip"},
    {"mcu-flash " + kDir + " --file", "--file"},
    {"bt-dfu " + kDir + " --file", "--file"},
    {"bt-dfu " + kDir + " --chip 1", "--chip"},
    {"ctl " + kDir, "list"},
    {"ctl " + kDir + " fly", "fly"},
    {"ctl " + kDir + " tap 1", "Y"},
    {"ctl " + kDir + " tap 1 x", "Y"},
    {"ctl " + kDir + " key abc", "VK"},
    {"ctl " + kDir + " text --hwnd 0 1", "--hwnd"},
    {"ctl " + kDir + " wait --title T 5 x --timeout -1", "--timeout"},
    {"ctl " + kDir + " wait --title T 5 x --timeout", "--timeout"},
    {"package " + kDir + " --kernel-size 99999999999", "--kernel-size"},
    {"package " + kDir + " --without bogus", "--without"},
    {"package " + kDir + " --keep", "--keep"},
    {"board " + kDir + " fail disk always", "WHAT"},
    {"board " + kDir + " fail gpio sometimes", "PLAN"},
    {"flash " + kDir, "dump"},
    {"flash " + kDir + " dump boot out.bin", "REGION"},
    {"nav " + kDir + " speed 1000", "KMH"},
    {"nav " + kDir + " record --turn", "--turn"},
    {"watch " + kDir + " --timeout -1", "--timeout"},
    {"watch " + kDir + " --timeout soon", "--timeout"},
    {"view " + kDir + " --scale 0", "--scale"},
    {"view " + kDir + " --scale 5", "--scale"},
    {"demo --fault nope", "--fault"},
    {"demo --keep-going", "--keep-going"},
};

TEST(CommandLine, AMistakeIsOneLineThatNamesItWithExitStatus2) {
    for (const auto& b : kBad) {
        const auto run = runCommand(hu(b.command));
        EXPECT_EQ(run.status, 2) << b.command << ": " << run.err;
        EXPECT_EQ(run.out, "") << b.command;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << b.command << ": " << run.err;
        EXPECT_EQ(run.err.rfind("hu", 0), 0u) << b.command << ": " << run.err;
        EXPECT_NE(run.err.find(b.names), std::string::npos) << b.command << ": " << run.err;
    }
}

TEST(CommandLine, HelpListsEveryCommand) {
    for (const char* help : {"--help", "-h", "help"}) {
        const auto run = runCommand(hu(help));
        EXPECT_EQ(run.status, 0) << help;
        for (const char* command : {"init", "sim", "mcu-flash", "bt-dfu", "ctl", "package", "board", "flash", "nav", "watch", "view", "demo"})
            EXPECT_NE(run.out.find(std::string("\n  hu ") + command + " "), std::string::npos) << help << " lacks " << command;
    }
}

TEST(CommandLine, VersionIsOneLine) {
    const auto run = runCommand(hu("--version"));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("hu ", 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
}

// The README's list of commands is `hu --help`'s: the same commands with the same usage lines.
TEST(CommandLine, TheReadmeListsTheCommandsAsHuHelpDoes) {
    const auto run = runCommand(hu("--help"));
    ASSERT_EQ(run.status, 0);
    std::ifstream in(std::string(HU_SOURCE_DIR) + "/README.md");
    const std::string readme((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(readme.empty());
    size_t usages = 0;
    for (size_t at = run.out.find("\n  hu "); at != std::string::npos; at = run.out.find("\n  hu ", at + 1)) {
        const std::string usage = run.out.substr(at + 3, run.out.find('\n', at + 1) - at - 3);
        EXPECT_NE(readme.find(usage + "\n"), std::string::npos) << "README.md lacks the usage line: " << usage;
        ++usages;
    }
    EXPECT_EQ(usages, 12u) << run.out;
}

}  // namespace
