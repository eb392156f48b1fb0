// The outcome the updater showed, and what the emergency mode must have removed.

#include <system_error>

#include <fmt/format.h>

#include "tools/hu/demo/checks.h"

namespace hu::demo {

namespace {

constexpr int kMessage = 1006;

const char* successText(uint32_t codePage) {
    switch (codePage) {
        case 949: return "업데이트 성공!\r\n\r\n재시작 버튼을 눌러 시스템을 다시 시작하세요.";
        case 1251: return "Обновление прошло успешно!\r\n\r\nНажмите кнопку [RESTART] для перезагрузки системы.";
        default: return "Update Success!\r\n\r\nPress the [RESTART] button to restart system.";
    }
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

}  // namespace

CheckResult checkUpdateResult(uint32_t codePage, const DesktopRecord& run) {
    CheckResult result{"updater showed its success text", false, {}};
    const PageVisit* main = run.lastVisit(PageKind::Main);
    if (!main) {
        result.detail = "the updater's main page never showed";
        return result;
    }
    const std::string wanted = successText(codePage);
    if (main->showed(kMessage, wanted)) {
        result.passed = true;
        result.detail = "\"" + firstLine(wanted) + "\"";
        return result;
    }
    result.detail = fmt::format("the main page's last message was \"{}\"", firstLine(main->text(kMessage)));
    const int failures = run.countLogged("[FAIL]");
    if (failures > 0) result.detail += fmt::format(" after {} failed steps ({})", failures, run.lastLogLine("[FAIL]"));
    return result;
}

CheckResult checkNandRootCleared(const std::filesystem::path& plantedFile) {
    std::error_code ec;
    const bool there = std::filesystem::exists(plantedFile, ec);
    return {"NAND root cleared at detection", !there,
            there ? plantedFile.filename().string() + " is still in \\NAND Flash" : plantedFile.filename().string() + " removed"};
}

}  // namespace hu::demo
