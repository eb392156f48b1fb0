#pragma once
// The main frame in this process, as the program creates it, beside a stand-in navigation
// window "Kelo" that records what the panel sends it and can answer requests with records.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <optional>

#include "panel/config/zek_config.h"
#include "panel/frame/main_frame.h"
#include "panel/frame/panel_messages.h"
#include "panel/guidance/guidance_record.h"
#include "panel/guidance/panel_layouts.h"
#include "panel/images/image_store.h"
#include "panel/tests/test_support.h"
#include "platform/core/debug.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"

namespace panel::testing {

class FakeNavigation : public ce::Window {
public:
    struct Received {
        uintptr_t dwData;
        ce::WPARAM wParam;
    };
    FakeNavigation() {
        ce::WindowSpec spec;
        spec.className = "FakeNavigation";
        spec.title = kNavigationTitle;
        spec.style = ce::WS_POPUP;  // on the desktop, not on the screen
        create(spec);
    }
    ce::LRESULT windowProc(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) override {
        if (msg != ce::WM_COPYDATA) return ce::Window::windowProc(msg, wParam, lParam);
        const auto* data = reinterpret_cast<const ce::CopyDataStruct*>(lParam);
        received.push_back(Received{data->dwData, wParam});
        if (data->dwData == kCopySubscribe) subscriber = static_cast<ce::HWND>(wParam);
        if (data->dwData == kCopyRequest && answer && subscriber) {
            const auto bytes = EncodeGuidanceRecord(*answer);
            const ce::CopyDataStruct record{kCopyRequest, static_cast<uint32_t>(bytes.size()), bytes.data()};
            ce::sendMessage(subscriber, ce::WM_COPYDATA, hwnd(), reinterpret_cast<ce::LPARAM>(&record));
        }
        return 1;
    }
    std::vector<Received> Of(uintptr_t dwData) const {
        std::vector<Received> out;
        for (const Received& r : received)
            if (r.dwData == dwData) out.push_back(r);
        return out;
    }
    std::vector<Received> received;
    ce::HWND subscriber = 0;
    std::optional<GuidanceInfo> answer;
};

class FrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        HeadUnit();
        InstallTestImages();
    }
    void TearDown() override {
        frame.reset();
        navigation.reset();
        PumpFor(0);
    }
    static std::filesystem::path ConfigHostFile() { return HeadUnit().nand() / "ZEK" / "ZEK.cfg"; }
    static void WriteConfig(std::vector<uint8_t> bytes) {
        std::filesystem::create_directories(ConfigHostFile().parent_path());
        std::ofstream out(ConfigHostFile(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static std::vector<uint8_t> ReadConfig() {
        std::ifstream in(ConfigHostFile(), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    // The program's start: the configuration, the frame, its one show by the framework, and
    // the messages it posted itself. `config` empty: no ZEK.cfg.
    void Start(std::vector<uint8_t> config = {1, 0, 0, 0, 0, 0, 0, 0}, bool withNavigation = true) {
        std::error_code ec;
        std::filesystem::remove(ConfigHostFile(), ec);
        if (!config.empty()) WriteConfig(config);
        g_ConfigInfo = ConfigInfo{};
        InitConfig();
        if (withNavigation) navigation = std::make_unique<FakeNavigation>();
        frame = std::make_unique<CMainFrame>(store);
        ASSERT_TRUE(frame->LoadFrame());
        ce::showWindow(frame->hwnd(), ce::SW_SHOW);
        ce::updateWindow(frame->hwnd());
        PumpFor(0);
    }
    // A show request and its 2-second wait.
    void Show() {
        ce::postMessage(frame->hwnd(), WM_SHOW_PANEL, 1, 0);
        ASSERT_TRUE(PumpUntil([&] { return frame->IsShown(); }, 10000));
        ce::updateWindow(frame->hwnd());
    }
    ce::LRESULT Send(const GuidanceInfo& info) {
        const auto bytes = EncodeGuidanceRecord(info);
        const ce::CopyDataStruct record{kCopyRequest, static_cast<uint32_t>(bytes.size()), bytes.data()};
        return ce::sendMessage(frame->hwnd(), ce::WM_COPYDATA, 0, reinterpret_cast<ce::LPARAM>(&record));
    }
    void Broadcast(ce::WPARAM code, ce::LPARAM argument = 0) {
        ce::sendMessage(frame->hwnd(), frame->BroadcastMessage(), code, argument);
        PumpFor(0);
    }
    ce::Rect WindowRect() const {
        ce::Rect rect;
        ce::getWindowRect(frame->hwnd(), &rect);
        return rect;
    }
    // Which panel shows: each background tells its salt in every pixel.
    int ShownSalt() const {
        const ce::Surface shot = CaptureWindow(frame->hwnd());
        const uint32_t pixel = shot.pixel(5, 85);  // no cell, button or icon there in either layout
        if (pixel == PositionPixel(5, 85, kHorizontalSalt)) return kHorizontalSalt;
        if (pixel == PositionPixel(5, 85, kVerticalSalt)) return kVerticalSalt;
        return 0;
    }
    ce::Surface Panel() const { return CaptureWindow(frame->hwnd()); }

    CImageStore store;
    ce::DebugCapture log;
    std::unique_ptr<FakeNavigation> navigation;
    std::unique_ptr<CMainFrame> frame;
};

}  // namespace panel::testing
