// The navigation program against a panel window of the test's own that logs what it receives:
// the subscription, the answered requests with their records, the show and hide requests and
// the broadcast codes, in the order the route gives them.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/core/time.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/headunit/headunit.h"
#include "sim/navigation/navigation_log.h"
#include "sim/navigation/navigation_program.h"

namespace sim::nav {
namespace {

struct Received {
    ce::UINT msg;
    ce::WPARAM wParam;
    ce::LPARAM lParam;
    std::vector<uint8_t> bytes;  // WM_COPYDATA
};

// Stands where the panel stands: a top-level window "ORV_KELO_ZEK".
class TestPanel : public ce::Window {
public:
    TestPanel() {
        broadcast_ = ce::registerWindowMessage("QTL_MSG_BROADCAST");
        ce::WindowSpec spec;
        spec.className = "TestPanel";
        spec.title = "ORV_KELO_ZEK";
        spec.style = ce::WS_POPUP;
        spec.rect = {0, 0, 250, 480};
        EXPECT_EQ(create(spec), ce::ERROR_SUCCESS);
    }
    ce::LRESULT windowProc(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) override {
        if (msg == ce::WM_COPYDATA) {
            const auto* cds = reinterpret_cast<const ce::CopyDataStruct*>(lParam);
            const auto* p = static_cast<const uint8_t*>(cds->lpData);
            received.push_back({msg, wParam, static_cast<ce::LPARAM>(cds->dwData), std::vector<uint8_t>(p, p + cds->cbData)});
            return 7;
        }
        if (msg == 1224 || msg == 1426 || msg == broadcast_) received.push_back({msg, wParam, lParam, {}});
        return ce::Window::windowProc(msg, wParam, lParam);
    }
    // Sends WM_COPYDATA with no bytes to the navigation window, as the panel does.
    ce::LRESULT Tell(uintptr_t dwData, ce::WPARAM wParam) {
        ce::CopyDataStruct cds{dwData, 0, nullptr};
        return ce::sendMessage(ce::findWindow("Kelo"), ce::WM_COPYDATA, wParam, reinterpret_cast<ce::LPARAM>(&cds));
    }
    // Handles messages until `done` or `ms` have passed.
    bool PumpUntil(const std::function<bool()>& done, int ms = 5000) {
        for (int i = 0; i < ms / 10 && !done(); ++i) {
            ce::waitMessage(10);
            ce::Msg m;
            while (ce::peekMessage(&m)) ce::dispatchMessage(&m);
        }
        return done();
    }
    const Received* Find(ce::UINT msg, ce::WPARAM wParam) const {
        for (const auto& r : received)
            if (r.msg == msg && r.wParam == wParam) return &r;
        return nullptr;
    }
    std::vector<ce::WPARAM> Codes() const {
        std::vector<ce::WPARAM> codes;
        for (const auto& r : received)
            if (r.msg == broadcast_) codes.push_back(r.wParam);
        return codes;
    }
    std::vector<Received> received;
    ce::UINT broadcast_ = 0;
};

class Navigation : public ::testing::Test {
protected:
    static void SetUpTestSuite() { unit_ = new TempHeadUnit(); }
    static void TearDownTestSuite() { delete unit_; }
    static TempHeadUnit* unit_;

    void Start(const std::string& routeText) {
        std::string error;
        auto route = parseRoute(routeText, "test.route", &error);
        ASSERT_TRUE(route) << error;
        NavigationOptions options{*route, true};
        stop_ = false;
        ended_ = false;
        thread_ = std::thread([this, options] {
            result_ = runNavigation(unit_->root(), options, &stop_);
            ended_ = true;
        });
        for (int i = 0; i < 300 && !ce::findWindow("Kelo"); ++i) ce::sleep(10);
        ASSERT_NE(ce::findWindow("Kelo"), 0u);
    }
    void TearDown() override {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (HasFailure()) for (const auto& e : NavigationLog::read(unit_->root())) std::printf("%s %s\n", e.event.c_str(), e.detail.dump().c_str());
        std::filesystem::remove(NavigationLog::file(unit_->root()));
    }
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ended_{false};
    int result_ = -1;
};
TempHeadUnit* Navigation::unit_ = nullptr;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST_F(Navigation, PlaysTheRouteToTheSubscribedPanel) {
    Start("0 wait-panel 5\n+0 show\n+0 speed 0\n"
          "+0 manoeuvre turn 12 distance 850 road1 \"테헤란로\" road2 \"강남\"\n"
          "+0 safety 160 limit 80 camera 350\n"
          "+0.3 route-found\n+0 end-guide\n+0.2 hide\n+0 destroy\n");
    TestPanel panel;
    // Nothing plays until a panel subscribes.
    panel.PumpUntil([] { return false; }, 400);
    EXPECT_TRUE(panel.received.empty());
    EXPECT_EQ(panel.Tell(1198, panel.hwnd()), 1);
    ASSERT_TRUE(panel.PumpUntil([&] { return panel.Find(1224, 1) != nullptr; }));

    EXPECT_EQ(panel.Tell(1040, 0), 1);
    const ce::HWND kelo = ce::findWindow("Kelo");
    ASSERT_TRUE(panel.PumpUntil([&] { return panel.Find(ce::WM_COPYDATA, kelo) != nullptr; }));
    const Received* record = panel.Find(ce::WM_COPYDATA, kelo);
    ASSERT_EQ(record->bytes.size(), 308u);
    EXPECT_EQ(U32(record->bytes, 4), 850u);
    EXPECT_EQ(record->bytes[8], 0x4C);  // 테 is U+D14C
    EXPECT_EQ(record->bytes[9], 0xD1);
    EXPECT_EQ(record->bytes[104], 0x15);  // 강 is U+AC15
    EXPECT_EQ(record->bytes[296], 12);
    EXPECT_EQ(record->bytes[304], 160);
    EXPECT_EQ(record->bytes[305], 80);
    EXPECT_EQ(record->bytes[306] | (record->bytes[307] << 8), 350);

    ASSERT_TRUE(panel.PumpUntil([&] { return ended_.load(); }));
    EXPECT_EQ(result_, 0);
    EXPECT_EQ(panel.Codes(), (std::vector<ce::WPARAM>{1011, 1007, 1019, 1005}));
    ASSERT_NE(panel.Find(1224, 0), nullptr);  // hidden before the destroy code
    EXPECT_EQ(ce::findWindow("Kelo"), 0u);

    const auto log = NavigationLog::read(unit_->root());
    bool answered = false;
    for (const auto& e : log)
        if (e.event == "record") answered = e.detail.value("answered", 0) == 7 && e.detail.value("turn", 0) == 12;
    EXPECT_TRUE(answered);
    EXPECT_EQ(log.back().event, "ended");
}

TEST_F(Navigation, StopsAnsweringWhenTheSubscriptionIsWithdrawn) {
    Start("0 speed 36\n+0 manoeuvre turn 3 distance 500\n+0.1 subscribe on\n+0 wait-panel 20\n+0 wait-no-panel 20\n+0 goal\n");
    TestPanel panel;
    ASSERT_TRUE(panel.PumpUntil([&] { return panel.Find(1426, 1) != nullptr; }));
    EXPECT_EQ(panel.Tell(1198, panel.hwnd()), 1);
    EXPECT_EQ(panel.Tell(1040, 0), 1);
    ASSERT_TRUE(panel.PumpUntil([&] { return panel.Find(ce::WM_COPYDATA, ce::findWindow("Kelo")) != nullptr; }));
    // The car drives at 36 km/h: the distance counts down from 500 m.
    const uint32_t distance = U32(panel.Find(ce::WM_COPYDATA, ce::findWindow("Kelo"))->bytes, 4);
    EXPECT_LT(distance, 500u);
    EXPECT_GT(distance, 400u);

    // The route holds until the subscription ends, then goes on.
    auto goal = [&] {
        const auto codes = panel.Codes();
        return std::find(codes.begin(), codes.end(), ce::WPARAM{1017}) != codes.end();
    };
    EXPECT_FALSE(goal());
    EXPECT_EQ(panel.Tell(1198, 0), 1);
    ASSERT_TRUE(panel.PumpUntil(goal));
    panel.received.clear();
    EXPECT_EQ(panel.Tell(1040, 0), 1);
    panel.PumpUntil([] { return false; }, 400);
    EXPECT_TRUE(panel.received.empty());
    bool unanswered = false;
    for (const auto& e : NavigationLog::read(unit_->root())) unanswered |= e.event == "unanswered";
    EXPECT_TRUE(unanswered);
}

TEST_F(Navigation, ASecondNavigationProgramIsRefused) {
    Start("");
    std::atomic<bool> stop{true};
    EXPECT_EQ(runNavigation(unit_->root(), {Route{}, true}, &stop), 1);
}

}  // namespace
}  // namespace sim::nav
