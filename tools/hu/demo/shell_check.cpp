// What the head unit's own applications received when the update started.

#include <map>
#include <string>

#include <fmt/format.h>

#include "tools/hu/demo/checks.h"

namespace hu::demo {

namespace {

constexpr uint32_t kWmClose = 0x0010;
constexpr uint32_t kGuiMainUpdateStarts = 0x059B;
constexpr uint32_t kMainMenuUpdateStarts = 0x05BC;
// Registered messages (0xC000 and up) are broadcasts to every window, the MCU's progress
// among them: not addressed to the shell.
constexpr uint32_t kFirstRegisteredMessage = 0xC000;

}  // namespace

CheckResult checkShellMessages(const std::vector<sim::ShellMessage>& messages, bool zovedizuzStillOpen) {
    CheckResult result{"shell windows received their messages", false, {}};
    std::map<std::string, std::vector<const sim::ShellMessage*>> byWindow;
    for (const auto& m : messages)
        if (m.msg < kFirstRegisteredMessage) byWindow[m.window].push_back(&m);

    auto count = [&](const std::string& window, uint32_t msg, bool posted) {
        int n = 0;
        for (const auto* m : byWindow[window])
            if (m->msg == msg && m->posted == posted) ++n;
        return n;
    };
    const int closes = count("ZOVEDIZUZ", kWmClose, true);
    const int guiMain = count("GUI_Main", kGuiMainUpdateStarts, false);
    if (closes != 1) {
        result.detail = fmt::format("ZOVEDIZUZ received WM_CLOSE {} times (once, posted, expected)", closes);
    } else if (zovedizuzStillOpen) {
        result.detail = "ZOVEDIZUZ received WM_CLOSE but is still on the desktop";
    } else if (guiMain != 1) {
        result.detail = fmt::format("GUI_Main received 0x059B {} times (once, sent, expected)", guiMain);
    } else {
        for (const char* window : {"ORV_MAINMENU", "ORV_SETUP"}) {
            for (const auto* m : byWindow[window]) {
                if (m->msg == kMainMenuUpdateStarts || m->msg == kWmClose) {
                    result.detail = fmt::format("{} received 0x{:04X}, though the head unit's model is not notified", window, m->msg);
                    return result;
                }
            }
        }
        for (const auto& [window, received] : byWindow) {
            for (const auto* m : received) {
                const bool expected = (window == "ZOVEDIZUZ" && m->msg == kWmClose) || (window == "GUI_Main" && m->msg == kGuiMainUpdateStarts);
                if (!expected) {
                    result.detail = fmt::format("{} received the unexpected message 0x{:04X}", window, m->msg);
                    return result;
                }
            }
        }
        result.passed = true;
        result.detail = "ZOVEDIZUZ: WM_CLOSE (posted), closed; GUI_Main: 0x059B (sent); ORV_MAINMENU, ORV_SETUP: nothing";
    }
    return result;
}

}  // namespace hu::demo
