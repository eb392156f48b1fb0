// The MCU page against the simulated MCU: it plays the programming-mode lines when asked,
// shows the phases in the head unit's language and ends with the library's result.

#include "updater/mcu_step/update_micom.h"

#include <gtest/gtest.h>

#include "mcu_loader/tests/mcu_test_rig.h"
#include "platform/core/registry.h"
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

INSTANTIATE_TEST_SUITE_P(Languages, UpdateMicomPage,
                         ::testing::Values(Language{949, "성공...", "실패..."},
                                           Language{1251, "Завершено...", "Ошибка..."},
                                           Language{1252, "Success...", "Fail..."}),
                         [](const auto& info) { return std::to_string(info.param.codePage); });

}  // namespace
}  // namespace updater
