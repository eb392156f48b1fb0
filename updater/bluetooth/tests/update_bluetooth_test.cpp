// The Bluetooth page end to end against the simulated module and board: its texts in the
// three languages, its results, the GPIO line it drives, and its failure paths.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/core/debug.h"
#include "platform/core/files.h"
#include "platform/devices/serial_port.h"
#include "platform/ui/window.h"
#include "sim/bluetooth/bluetooth_module.h"
#include "sim/board/gpio_log.h"
#include "sim/headunit/headunit.h"
#include "updater/bluetooth/update_bluetooth.h"

namespace updater {
namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

sim::HeadUnitOptions withCodePage(uint32_t codePage) {
    sim::HeadUnitOptions options;
    options.codePage = codePage;
    return options;
}

// Reads the page's status text from another thread every 50 ms while the page runs.
class TextRecorder {
public:
    explicit TextRecorder(const UpdateBluetooth& page) : page_(page), thread_([this] { loop(); }) {}
    ~TextRecorder() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::string> texts() {
        std::lock_guard lock(mutex_);
        return texts_;
    }

private:
    void loop() {
        while (!stop_) {
            ce::HWND hwnd = page_.hwnd();
            if (hwnd != 0) {
                std::string text = ce::getWindowText(ce::getDlgItem(hwnd, UpdateBluetooth::IDC_STATUS));
                std::lock_guard lock(mutex_);
                if (!text.empty() && (texts_.empty() || texts_.back() != text)) texts_.push_back(text);
            }
            std::this_thread::sleep_for(50ms);
        }
    }
    const UpdateBluetooth& page_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> texts_;
    std::thread thread_;
};

class PageTest : public ::testing::Test {
protected:
    explicit PageTest(uint32_t codePage = 1252) : unit(withCodePage(codePage)) {}
    ~PageTest() override {
        bluetooth::StopDfuEngine();
        module.reset();
    }

    void startModule(const nlohmann::json& settings = {}) {
        module.reset();
        sim::bluetooth::ModuleOptions options;
        std::string error;
        ASSERT_TRUE(sim::bluetooth::LoadModuleOptions(unit.root(), settings, options, error)) << error;
        module = std::make_unique<sim::bluetooth::BluetoothModule>(options);
        module->start();
    }

    Bytes writeImage(size_t size) {
        Bytes image(size);
        for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
        std::filesystem::create_directories(unit.sdcard() / "UpdateXan");
        std::ofstream(unit.sdcard() / "UpdateXan" / "BT.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
        return image;
    }

    std::vector<sim::GpioEvent> moduleLineEvents() {
        std::vector<sim::GpioEvent> events;
        for (const auto& e : sim::GpioLog::read(unit.root()))
            if (e.port == 2 && e.mask == 0x08) events.push_back(e);
        return events;
    }

    sim::TempHeadUnit unit;
    std::unique_ptr<sim::bluetooth::BluetoothModule> module;
};

// Whatever its outcome, the page leaves no worker polling the module's port behind it.
void expectEngineStopped() {
    EXPECT_EQ(bluetooth::DfuWorkerResult(), 0);
    EXPECT_TRUE(ce::SerialPort::open("COM2:", ce::GENERIC_READ | ce::GENERIC_WRITE, 0).ok());
}

class RussianPageTest : public PageTest {
protected:
    RussianPageTest() : PageTest(1251) {}
};

class KoreanPageTest : public PageTest {
protected:
    KoreanPageTest() : PageTest(949) {}
};

TEST_F(PageTest, SuccessfulDownloadShowsItsProgressAndEndsWithOk) {
    Bytes image = writeImage(30 * 1024);
    startModule({{"paced", true}});  // about four seconds on the line: several progress ticks
    ce::DebugCapture capture;
    UpdateBluetooth page;
    int result;
    std::vector<std::string> texts;
    {
        TextRecorder recorder(page);
        result = page.runModal();
        texts = recorder.texts();
    }
    EXPECT_EQ(result, ce::IDOK);
    expectEngineStopped();
    EXPECT_EQ(module->snapshot().image, Bytes(image.begin(), image.end() - 16));
    EXPECT_TRUE(capture.contains("How many count!!![ 31]\n"));
    EXPECT_TRUE(capture.contains(" TIMER_ID_START [ 0 ] \n"));
    EXPECT_TRUE(capture.contains(" TIMER_ID_START [ 1 ] \n"));
    EXPECT_EQ(page.progress(), 100);  // 30 blocks (29 of 1024 bytes, 1008 bytes), all sent

    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "Downloading 0%");
    EXPECT_EQ(texts.back(), "Success...");
    // While the percentage is above 0 the dots alternate between two and three.
    std::vector<std::string> moving;
    for (const auto& t : texts)
        if (t.rfind("Downloading ", 0) == 0 && t.find("Downloading 0%") == std::string::npos) moving.push_back(t);
    ASSERT_GE(moving.size(), 2u);
    for (size_t i = 1; i < moving.size(); ++i) {
        bool threeDots = moving[i].size() > 3 && moving[i].compare(moving[i].size() - 3, 3, "...") == 0;
        bool threeBefore = moving[i - 1].compare(moving[i - 1].size() - 3, 3, "...") == 0;
        EXPECT_NE(threeDots, threeBefore) << moving[i - 1] << " then " << moving[i];
    }

    // The module's command goes out without parity, the BCSP link runs with even parity:
    // checked on what the page asked the port for, since a pseudo-terminal keeps no parity.
    const auto settings = bluetooth::DfuLineSettings();
    ASSERT_EQ(settings.size(), 2u);
    EXPECT_EQ(settings[0].Parity, ce::NOPARITY);
    EXPECT_EQ(settings[1].Parity, ce::EVENPARITY);
    for (const auto& dcb : settings) {
        EXPECT_EQ(dcb.BaudRate, 115200u);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.StopBits, ce::ONESTOPBIT);
    }

    auto events = moduleLineEvents();
    ASSERT_EQ(events.size(), 1u);  // raised at the first tick, still raised after success
    EXPECT_EQ(events[0].level, 1);
}

// A module that takes blocks smaller than 1 KiB: the percentage still counts up to 100, never
// past it.
TEST_F(PageTest, SmallTransferSizeEndsAtAHundredPercent) {
    Bytes image = writeImage(20 * 1024 + 16);
    startModule({{"transferSize", 256}});
    UpdateBluetooth page;
    std::vector<std::string> texts;
    int result;
    {
        TextRecorder recorder(page);
        result = page.runModal();
        texts = recorder.texts();
    }
    EXPECT_EQ(result, ce::IDOK);
    EXPECT_EQ(module->snapshot().image, Bytes(image.begin(), image.end() - 16));
    EXPECT_EQ(page.progress(), 100);  // 80 blocks of 256 bytes
    for (const auto& t : texts) {
        const auto at = t.find("Downloading ");
        if (at == std::string::npos) continue;
        EXPECT_LE(std::atoi(t.c_str() + at + 12), 100) << t;
    }
}

TEST_F(PageTest, MissingImageFailsAtOnce) {
    startModule();
    ce::DebugCapture capture;
    UpdateBluetooth page;
    EXPECT_EQ(page.runModal(), ce::IDCANCEL);
    EXPECT_TRUE(capture.contains("error file exist??\n"));
    EXPECT_TRUE(capture.contains("[Bluetooth Update] Failed!!! FILE_NOT_EXIST!!!\n"));
    auto events = moduleLineEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].level, 0);
}

TEST_F(RussianPageTest, LinkThatNeverComesUpFailsAtTheNinthProgressTick) {
    writeImage(5000);
    startModule({{"noLink", true}});
    ce::DebugCapture capture;
    UpdateBluetooth page;
    std::vector<std::string> texts;
    int result;
    {
        TextRecorder recorder(page);
        result = page.runModal();
        texts = recorder.texts();
    }
    EXPECT_EQ(result, ce::IDCANCEL);
    EXPECT_EQ(page.tickCount(), 11u);  // 2 from timer 1, then the ninth tick of timer 2
    EXPECT_TRUE(capture.contains("[Bluetooth Update] Failed!!! TIMER_ID_ING\n"));
    EXPECT_EQ(page.statusText(), "Ошибка...");
    ASSERT_FALSE(texts.empty());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Идет загрузка 0%."), texts.end());
    auto events = moduleLineEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].level, 1);
    EXPECT_EQ(events[1].level, 0);
}

TEST_F(KoreanPageTest, StalledDownloadFailsAndTheSamePageSucceedsWhenRunAgain) {
    Bytes image = writeImage(6000);
    startModule({{"dfuMode", true}, {"errorAtBlock", 2}});
    ce::DebugCapture capture;
    UpdateBluetooth page;
    page.setStallTicks(2);
    EXPECT_EQ(page.runModal(), ce::IDCANCEL);
    EXPECT_TRUE(capture.contains("[Bluetooth Update] Failed!!! NO PROGRESS"));
    EXPECT_EQ(page.statusText(), "실패...");
    EXPECT_EQ(module->snapshot().state, 10);  // the module sits in dfuERROR
    expectEngineStopped();

    // The update sequence runs the step again: a fresh module, the same page object.
    startModule({{"dfuMode", true}});
    EXPECT_EQ(page.runModal(), ce::IDOK);
    EXPECT_EQ(page.statusText(), "성공...");
    EXPECT_EQ(module->snapshot().image, Bytes(image.begin(), image.end() - 16));
}

}  // namespace
}  // namespace updater
