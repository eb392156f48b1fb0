// The MCU page against the simulated MCU: it plays the programming-mode lines when asked,
// shows the phases in the head unit's language and ends with the library's result.

#include "updater/mcu_step/update_micom.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "mcu_loader/tests/mcu_test_rig.h"
#include "platform/core/registry.h"
#include "platform/ui/desktop.h"
#include "platform/ui/window.h"
#include "sim/board/gpio_log.h"

namespace updater {
namespace {

struct Language {
    uint32_t codePage;
    const char* success;
    const char* fail;
};

void PrintTo(const Language& language, std::ostream* out) { *out << "code page " << language.codePage; }

class UpdateMicomPage : public ::testing::TestWithParam<Language> {
protected:
    void SetUp() override {
        mcutest::sharedHeadUnit();
        auto key = ce::RegKey::create(ce::Hive::LocalMachine, "SOFTWARE\\ORV\\SYSTEM\\FactoryInfo");
        ASSERT_TRUE(key.ok());
        ASSERT_EQ(key->setDword("CodePage", GetParam().codePage), ce::ERROR_SUCCESS);
    }
};

TEST_P(UpdateMicomPage, EndsWithOkAfterSuccessAndPlaysTheEntrySequenceFirst) {
    mcutest::McuRig rig;
    auto options = mcutest::smallMcu();
    rig.startSimulator(options);
    auto image = mcutest::pattern(options.flashSize(), 11);
    rig.writeImage(image);
    size_t eventsBefore = sim::GpioLog::read(rig.root()).size();

    UpdateMicom page;
    EXPECT_EQ(page.runModal(), ce::IDOK);
    StopUpdateMicom();
    EXPECT_EQ(page.codePage(), GetParam().codePage);
    EXPECT_EQ(page.statusText(), GetParam().success);
    EXPECT_EQ(rig.mcu().flashContents(), image);

    auto events = sim::GpioLog::read(rig.root());
    ASSERT_GE(events.size(), eventsBefore + 5);
    std::vector<std::tuple<int, uint32_t, int>> played;
    for (size_t i = eventsBefore; i < events.size(); ++i) played.emplace_back(events[i].port, events[i].mask, events[i].level);
    EXPECT_EQ(played, (std::vector<std::tuple<int, uint32_t, int>>{
                          {2, 0x08, 1}, {2, 0x08, 1}, {2, 0x40, 0}, {2, 0x80, 1}, {2, 0x40, 1}}));
}

TEST_P(UpdateMicomPage, EndsWithCancelWhenTheConnectPhaseFails) {
    mcutest::McuRig rig;
    auto options = mcutest::smallMcu();
    options.vendorCode = 0x22;
    rig.startSimulator(options);
    rig.writeImage(mcutest::pattern(options.flashSize(), 11));

    UpdateMicom page;
    EXPECT_EQ(page.runModal(), ce::IDCANCEL);
    StopUpdateMicom();
    EXPECT_EQ(page.statusText(), GetParam().fail);
}

// What the page shows at each report of the library: a listener window behind the topmost
// page receives every broadcast report right after the page has handled it.
struct Shown {
    ce::WPARAM report;
    std::string status;
    int rangeMin;
    int rangeMax;
    int pos;
};

TEST(UpdateMicomPhases, EachPhaseHasItsTextAndTheBarRunsFrom0To240) {
    mcutest::sharedHeadUnit();
    auto key = ce::RegKey::create(ce::Hive::LocalMachine, "SOFTWARE\\ORV\\SYSTEM\\FactoryInfo");
    ASSERT_TRUE(key.ok());
    ASSERT_EQ(key->setDword("CodePage", 1252), ce::ERROR_SUCCESS);
    mcutest::McuRig rig;
    auto options = mcutest::smallMcu();
    rig.startSimulator(options);
    rig.writeImage(mcutest::pattern(options.flashSize() - 100, 5));

    UpdateMicom page;
    std::vector<Shown> shown;
    ce::Window listener;
    listener.on(UpdateMicom::MicomUpdateMessage(), [&](ce::WPARAM w, ce::LPARAM) -> ce::LRESULT {
        Shown s{w, {}, 0, 0, 0};
        if (auto controls = ce::describeControls(page.hwnd()); controls.ok()) {
            for (const auto& c : *controls) {
                if (c.id == UpdateMicom::IDC_STATUS) s.status = c.text;
                if (c.id == UpdateMicom::IDC_PROGRESS) {
                    s.rangeMin = c.rangeMin;
                    s.rangeMax = c.rangeMax;
                    s.pos = c.pos;
                }
            }
        }
        shown.push_back(s);
        return 1;
    });
    listener.create({"Listener", "listener", ce::WS_POPUP, 0, {0, 0, 10, 10}, 0, 0});
    EXPECT_EQ(page.runModal(), ce::IDOK);
    StopUpdateMicom();

    std::vector<std::pair<ce::WPARAM, std::string>> phases;
    for (const auto& s : shown) {
        EXPECT_EQ(s.rangeMin, 0);
        EXPECT_EQ(s.rangeMax, 240) << "report " << std::hex << s.report;
        EXPECT_GE(s.pos, 0);
        EXPECT_LE(s.pos, 240);
        if (s.report & 0xC000) phases.emplace_back(s.report, s.status);
        else EXPECT_EQ(s.pos, static_cast<int>(s.report)) << "the bar follows each block report";
    }
    EXPECT_EQ(phases, (std::vector<std::pair<ce::WPARAM, std::string>>{{0x8000, "Initialize..."},
                                                                        {0x8001, "Erase..."},
                                                                        {0x8002, "Write..."},
                                                                        {0x8003, "Verify..."},
                                                                        {0x8004, "Done..."}}));
    // The end report closes the page from its own handler, after which nothing is pumped here.
    EXPECT_EQ(page.statusText(), "Success...");
    int highest = 0;
    for (const auto& s : shown) highest = std::max(highest, s.pos);
    EXPECT_EQ(highest, 240) << "the closed write pass fills the bar";
}

INSTANTIATE_TEST_SUITE_P(Languages, UpdateMicomPage,
                         ::testing::Values(Language{949, "성공...", "실패..."},
                                           Language{1251, "Завершено...", "Ошибка..."},
                                           Language{1252, "Success...", "Fail..."}),
                         [](const auto& info) { return std::to_string(info.param.codePage); });

}  // namespace
}  // namespace updater
