#include "tools/hu/demo/panel_stage.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <thread>

#include "platform/gfx/png.h"
#include "platform/ui/desktop.h"
#include "platform/ui/window.h"
#include "sim/navigation/navigation_log.h"
#include "tools/hu/demo/interruption.h"
#include "tools/hu/demo/panel_icons.h"

namespace hu::demo {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The route: guidance while the panel stands upright, a camera approach, then it waits for the
// demo to collapse the panel (the subscription ends) and to expand it again.
constexpr const char* kRoute = R"(# The demo's route for the guidance panel
0     wait-panel 20
+0    route-found
+0    start
+0    speed 48
+0    manoeuvre turn 2 distance 850 road1 "테헤란로" road2 "강남대로 방면"
+0    safety none
+0    show
+4.5  manoeuvre turn 30 distance 2.4km road1 "경부고속도로" road2 "서울 요금소"
+2    manoeuvre turn 103 distance 640 road1 "반포대로" road2 ""
+0    safety 111
+2    safety 160 limit 80 camera 600
+2    safety 124
+0    wait-no-panel 60
+0    wait-panel 60
+1.5  end-guide
+1.5  destroy
)";
constexpr const char* kPanelTitle = "ORV_KELO_ZEK";
constexpr ce::Rect kVertical{0, 0, 250, 480};
constexpr ce::Rect kHorizontal{0, 330, 800, 480};
constexpr ce::Rect kHorizontalCollapsed{0, 330, 40, 480};
constexpr ce::Point kOrientationTap{200, 300};   // button 1 of the upright panel
constexpr ce::Point kExpandCollapseTap{18, 450};  // button 2 of the horizontal panel, also collapsed
constexpr ce::Point kTurnAcross{360, 32}, kSafetyAcross{700, 70}, kTurnDown{40, 200}, kSafetyDown{40, 10};

constexpr auto kPanelStarts = 20s;
constexpr auto kRecordArrives = 8s;
constexpr auto kStateSettles = 3s;

class StageFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string rectText(const ce::Rect& r) { return fmt::format("{},{} {}x{}", r.left, r.top, r.width(), r.height()); }

std::string bytesText(const std::string& b) {
    std::string s;
    for (unsigned char c : b) s += fmt::format("{}{:02X}", s.empty() ? "" : " ", c);
    return s;
}

// A check that collects the evidence of several moments and fails at the first wrong one.
struct Evidence {
    CheckResult result;
    int seen = 0;
    explicit Evidence(std::string name) : result{std::move(name), true, {}} {}
    void pass(const std::string&) { ++seen; }
    void fail(const std::string& why) {
        if (result.passed) result.detail = why;
        result.passed = false;
    }
    CheckResult finish(const std::string& summary) {
        if (result.passed) result.detail = seen ? summary : "nothing was compared";
        result.passed = result.passed && seen > 0;
        return result;
    }
};

class PanelStage {
public:
    explicit PanelStage(const PanelStageSetup& s)
        : s_(s), images_(s.root / "nand" / "ZEK" / "Kelo_ZEK_IMG"), config_(s.root / "nand" / "ZEK" / "ZEK.cfg") {}

    PanelStageResult run() {
        try {
            play();
        } catch (const Interrupted&) {
            throw;
        } catch (const std::exception& e) {
            failure_ = e.what();
            s_.say("panel: " + failure_);
        }
        return finish();
    }

private:
    void play() {
        const fs::path program = s_.root / "nand" / "ZEK" / "Kelo_ZEK.exe";
        if (!fs::is_regular_file(program)) throw StageFailure("Kelo_ZEK.exe is not in \\NAND Flash\\ZEK: the panel was not installed");
        const fs::path route = s_.root / "log" / "panel-demo.route";
        std::ofstream(route) << kRoute;
        s_.children->start("navigation", {s_.huProgram.string(), "sim", s_.root.string(), "navigation", "--route", route.string(), "--topmost"},
                           s_.root / "log" / "sim-navigation.out");
        waitUntil([] { return ce::findWindow("Kelo") != 0; }, kPanelStarts, "the navigation simulator's window \"Kelo\"");
        s_.children->start("Kelo_ZEK", {program.string()}, s_.root / "log" / "Kelo_ZEK.out");
        s_.say("panel: Kelo_ZEK started from \\NAND Flash\\ZEK beside the navigation simulator");
        waitLogged("subscribed", kPanelStarts, "Kelo_ZEK's subscription");
        expectConfig("at the start", std::string("\x01\x00\x00\x00\x00\x00\x00\x00", 8));

        // Upright: a keyed arrow in metres, an opaque one in kilometres, an arrow with a safety
        // icon, then the camera approach whose distance changes colour with each record.
        waitRecord([](const Json& r) { return r.value("turn", -1) == 2; }, "turn 2", kPanelStarts);
        capturedState("vertical-turn-2", kVertical, false, true);
        waitRecord([](const Json& r) { return r.value("turn", -1) == 30; }, "turn 30", kRecordArrives);
        capturedState("vertical-turn-30-km", kVertical, false, true);
        waitRecord([](const Json& r) { return r.value("safety", -1) == 111; }, "safety 111", kRecordArrives);
        capturedState("vertical-turn-103-safety-111", kVertical, false, true);
        waitRecord([](const Json& r) { return r.value("safety", -1) == 160; }, "safety 160 (camera)", kRecordArrives);
        const ce::Surface camera1 = capturedState("vertical-camera", kVertical, false, true);
        waitRecord([](const Json& r) { return r.value("safety", -1) == 160; }, "the next camera record", kRecordArrives);
        const ce::Surface camera2 = capturedState("vertical-camera-blink", kVertical, false, true);
        checkBlink(camera1, camera2);

        // The orientation button: the panel lies across the bottom of the screen.
        tap(kOrientationTap, "the orientation button");
        expectConfig("after the orientation tap", std::string("\x01\x00\x00\x00\x01\x00\x00\x00", 8));
        expectRect("after the orientation tap", kHorizontal);
        settled(true);
        waitRecord([](const Json&) { return true; }, "a record after the orientation tap", kRecordArrives);
        capturedState("horizontal", kHorizontal, true, true);

        // Collapse to the 40-pixel strip (the subscription ends), expand again.
        const size_t beforeCollapse = history_.size();
        tap(kExpandCollapseTap, "the collapse button");
        expectConfig("after the collapse tap", std::string("\x00\x00\x00\x00\x01\x00\x00\x00", 8));
        expectRect("after the collapse tap", kHorizontalCollapsed);
        settled(false);
        waitLogged("unsubscribed", kStateSettles, "the collapsed panel's unsubscription", beforeCollapse);
        capturedState("horizontal-collapsed", kHorizontalCollapsed, true, false);
        tap(kExpandCollapseTap, "the expand button");
        expectConfig("after the expand tap", std::string("\x01\x00\x00\x00\x01\x00\x00\x00", 8));
        expectRect("after the expand tap", kHorizontal);
        settled(true);
        waitRecord([](const Json&) { return true; }, "a record after the expand tap", kRecordArrives);
        capturedState("horizontal-expanded", kHorizontal, true, true);

        // End of guidance, then the destroy code ends the program. The route leaves 1.5 s
        // between them: on a loaded machine noticing the first broadcast can take a while, and
        // the capture must still come before the program ends.
        waitBroadcast(1019, "end of guidance");
        std::this_thread::sleep_for(300ms);
        capturedState("end-of-guidance", kHorizontal, true, false);
        const uint64_t destroyedAt = waitBroadcast(1005, "the destroy code");
        checkProgramEnd(destroyedAt);
    }

    // A tap has taken effect: the records logged before it belong to the old state; from now
    // on the panel shows anew (and, after an orientation toggle or an expand, starts its runs
    // anew).
    void settled(bool restartsRuns) {
        fresh();
        if (restartsRuns) model_.restartRuns();
        model_.forgetAreas();
    }

    // ---- The navigation simulator's log ------------------------------------------------------
    using Json = nlohmann::json;

    // Reads what the simulator logged since the last look; feeds every record the panel took
    // into the icon model.
    void fresh() {
        auto log = sim::nav::NavigationLog::read(s_.root);
        for (size_t i = history_.size(); i < log.size(); ++i) {
            const auto& e = log[i];
            history_.push_back(e);
            if (e.event != "record" || e.detail.value("answered", -1) == -1) continue;
            ++records_;
            model_.record(e.detail.value("turn", 0), e.detail.value("safety", 0));
        }
    }

    // Waits for an entry that matches, among those logged from entry `from` on (by default:
    // those not looked at yet).
    template <typename Match>
    sim::nav::NavigationEvent waitFor(Match match, std::chrono::milliseconds timeout, const std::string& what,
                                      std::optional<size_t> from = std::nullopt) {
        size_t next = from.value_or(history_.size());
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            throwIfInterrupted();
            // Whether a child has ended is asked before the log is read, so that what it logged
            // just before it ended is still seen.
            const auto panelEnded = s_.children->exitCode("Kelo_ZEK");
            const auto navigationEnded = s_.children->exitCode("navigation");
            fresh();
            for (; next < history_.size(); ++next)
                if (match(history_[next])) return history_[next];
            if (panelEnded)
                throw StageFailure(fmt::format("Kelo_ZEK ended (exit {}) while the demo waited for {}: {}", *panelEnded, what,
                                               lastLineOf(s_.children->outputOf("Kelo_ZEK"))));
            if (navigationEnded)
                throw StageFailure(fmt::format("the navigation simulator ended (exit {}) while the demo waited for {}: {}",
                                               *navigationEnded, what, lastLineOf(s_.children->outputOf("navigation"))));
            if (std::chrono::steady_clock::now() >= deadline)
                throw StageFailure(fmt::format("no {} within {} s", what, timeout.count() / 1000.0));
            std::this_thread::sleep_for(20ms);
        }
    }

    // Waits for a record; the time goes to the panel's timers (the first record also waits for
    // the 2 s show timer).
    void waitRecord(const std::function<bool(const Json&)>& match, const std::string& what, std::chrono::milliseconds timeout) {
        const uint64_t begin = now();
        uint64_t& bucket = recordsWaited_++ == 0 ? showWaitMs_ : requestWaitMs_;
        waitFor([&](const sim::nav::NavigationEvent& e) {
            if (e.event != "record") return false;
            if (e.detail.value("answered", -1) == -1) throw StageFailure("the panel refused a record (-1) while it was shown");
            return match(e.detail);
        }, timeout, "record with " + what);
        bucket += now() - begin;
    }
    void waitLogged(const std::string& event, std::chrono::milliseconds timeout, const std::string& what,
                    std::optional<size_t> from = std::nullopt) {
        waitFor([&](const sim::nav::NavigationEvent& e) { return e.event == event; }, timeout, what, from);
    }
    // Waits for a broadcast the route sends after a pause of its own.
    uint64_t waitBroadcast(int code, const std::string& what) {
        const uint64_t begin = now();
        const uint64_t at =
            waitFor([&](const sim::nav::NavigationEvent& e) { return e.event == "broadcast" && e.detail.value("code", 0) == code; },
                    10s, what)
                .t_ms;
        routeWaitMs_ += now() - begin;
        return at;
    }

    void waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout, const std::string& what) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            throwIfInterrupted();
            if (std::chrono::steady_clock::now() >= deadline) throw StageFailure("no " + what + " within the time allowed");
            std::this_thread::sleep_for(20ms);
        }
    }

    // ---- The finger and the eye -------------------------------------------------------------
    void tap(ce::Point at, const std::string& what) {
        const std::string name = fmt::format("tap-{}", ++taps_);
        s_.children->start(name, {s_.huProgram.string(), "ctl", s_.root.string(), "tap", std::to_string(at.x), std::to_string(at.y)},
                           s_.root / "log" / "hu-ctl-tap.out");
        const auto code = s_.children->waitExit(name, 10s);
        if (code != 0) throw StageFailure(fmt::format("hu ctl tap on {} failed: {}", what, lastLineOf(s_.children->outputOf(name))));
        s_.say(fmt::format("panel: tapped {} at {},{}", what, at.x, at.y));
    }

    std::optional<ce::TopLevelWindow> panelWindow() const {
        for (const auto& w : ce::enumTopLevelWindows())
            if (w.title == kPanelTitle) return w;
        return std::nullopt;
    }

    void expectRect(const std::string& when, const ce::Rect& want) {
        std::optional<ce::TopLevelWindow> w;
        const auto deadline = std::chrono::steady_clock::now() + kStateSettles;
        while ((w = panelWindow(), !w || !w->visible || !(w->rect == want)) && std::chrono::steady_clock::now() < deadline) {
            throwIfInterrupted();
            std::this_thread::sleep_for(20ms);
        }
        if (w && w->visible && w->rect == want) {
            rects_.pass(when);
            const std::string text = rectText(want);
            if (rectsSeen_.size() < text.size() || rectsSeen_.compare(rectsSeen_.size() - text.size(), text.size(), text) != 0)
                rectsSeen_ += (rectsSeen_.empty() ? "" : ", ") + text;
        } else {
            rects_.fail(fmt::format("{}: {} instead of {}", when, w ? (w->visible ? rectText(w->rect) : "hidden") : "no window", rectText(want)));
        }
    }

    void expectConfig(const std::string& when, const std::string& want) {
        std::string bytes;
        const auto deadline = std::chrono::steady_clock::now() + kStateSettles;
        for (;;) {
            std::ifstream in(config_, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
            if (bytes == want || std::chrono::steady_clock::now() >= deadline) break;
            throwIfInterrupted();
            std::this_thread::sleep_for(20ms);
        }
        if (bytes == want) config_ok_.pass(when);
        else config_ok_.fail(fmt::format("{}: ZEK.cfg holds [{}], not [{}]", when, bytesText(bytes), bytesText(want)));
    }

    // Takes the screen as it shows now, saves it, and checks the window and the icon areas.
    ce::Surface capturedState(const std::string& name, const ce::Rect& rect, bool horizontal, bool checkIcons) {
        expectRect(name, rect);
        auto screen = ce::captureScreen();
        if (!screen.ok()) throw StageFailure(fmt::format("cannot capture the screen (error {})", screen.error()));
        std::error_code ec;
        fs::create_directories(s_.screenshots, ec);
        const fs::path file = s_.screenshots / fmt::format("panel-{:02}-{}.png", ++shots_, name);
        if (ce::writePng(**screen, file) == ce::ERROR_SUCCESS) s_.say("panel: " + name + " → " + file.string());
        if (checkIcons) {
            const ce::Point origin{rect.left, rect.top};
            compareArea(name + " turn arrow", **screen, origin, horizontal ? kTurnAcross : kTurnDown, model_.turnArea(), horizontal);
            compareArea(name + " safety icon", **screen, origin, horizontal ? kSafetyAcross : kSafetyDown, model_.safetyArea(), horizontal);
        }
        return **screen;
    }

    void compareArea(const std::string& what, const ce::Surface& screen, ce::Point origin, ce::Point area,
                     const std::optional<AreaContent>& expected, bool horizontal) {
        if (!expected) return;  // not drawn since the panel was last repainted
        const std::string difference = compareIconArea(screen, origin, area, *expected, horizontal, images_);
        if (difference.empty()) {
            icons_.pass(what);
        } else {
            icons_.fail(what + ": " + difference);
        }
    }

    // Cell 7 (the camera distance) of the upright panel: red on one record, green on the next.
    void checkBlink(const ce::Surface& first, const ce::Surface& second) {
        auto colour = [](const ce::Surface& s) {
            int red = 0, green = 0;
            for (int y = 370; y < 410; ++y)
                for (int x = 10; x < 190; ++x) {
                    const uint32_t p = s.pixel(x, y);
                    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                    red += r > 200 && g < 60 && b < 60;
                    green += g > 200 && r < 60 && b < 100;
                }
            return red > 20 && red > 4 * green ? "red" : green > 20 && green > 4 * red ? "green" : "neither";
        };
        const std::string a = colour(first), b = colour(second);
        blink_ = {"camera distance changes colour with each record", a != b && a != "neither" && b != "neither",
                  fmt::format("{} on one record, {} on the next", a, b)};
    }

    void checkProgramEnd(uint64_t destroyedAt) {
        const auto code = s_.children->waitExit("Kelo_ZEK", 5s);
        const uint64_t endedAt = now();
        if (!code) {
            end_ = {"Kelo_ZEK ended after the destroy code", false, "still running 5 s after the destroy code"};
        } else if (panelWindow()) {
            end_ = {"Kelo_ZEK ended after the destroy code", false, "the process ended but its window is still on the desktop"};
        } else {
            end_ = {"Kelo_ZEK ended after the destroy code", *code == 0,
                    fmt::format("exit code {} within {} ms of the code, window gone", *code, endedAt - destroyedAt)};
        }
        s_.children->waitExit("navigation", 3s);
    }

    static uint64_t now() {
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count());
    }

    PanelStageResult finish() {
        PanelStageResult r;
        r.checks.push_back(config_ok_.finish("01…00 at the start, 01 00 00 00 01 00 00 00 after the orientation tap, "
                                             "00… after the collapse, 01… after the expand"));
        r.checks.push_back(rects_.finish(rectsSeen_));
        r.checks.push_back(icons_.finish(fmt::format("{} icon areas equal to the installed bitmaps over the backgrounds", icons_.seen)));
        r.checks.push_back(blink_.name.empty() ? CheckResult{"camera distance changes colour with each record", false, "no camera record was seen"}
                                               : blink_);
        r.checks.push_back(end_.name.empty() ? CheckResult{"Kelo_ZEK ended after the destroy code", false, "the destroy code was not reached"}
                                             : end_);
        if (!failure_.empty())
            for (auto& c : r.checks)
                if (c.passed && c.detail == "nothing was compared") c.detail = failure_;
        if (!failure_.empty()) r.checks.push_back({"panel stage ran to its end", false, failure_});
        // Measured: the time the demo waited for the panel's timers and the route's pauses.
        if (showWaitMs_) r.fixedWaits.push_back({"panel show timer and first request", showWaitMs_});
        if (requestWaitMs_)
            r.fixedWaits.push_back({fmt::format("panel record requests ({} records)", records_), requestWaitMs_});
        if (routeWaitMs_) r.fixedWaits.push_back({"route pauses (end of guidance, destroy)", routeWaitMs_});
        r.screenshots = shots_;
        return r;
    }

    PanelStageSetup s_;
    fs::path images_, config_;
    PanelIconModel model_;
    std::vector<sim::nav::NavigationEvent> history_;  // the simulator's log as far as read
    int records_ = 0, shots_ = 0, taps_ = 0, recordsWaited_ = 0;
    uint64_t showWaitMs_ = 0, requestWaitMs_ = 0, routeWaitMs_ = 0;
    Evidence config_ok_{"ZEK.cfg after each tap"};
    Evidence rects_{"panel window rectangle in each state"};
    Evidence icons_{"panel icon areas = installed bitmaps"};
    std::string rectsSeen_;
    CheckResult blink_, end_;
    std::string failure_;
};

}  // namespace

PanelStageResult runPanelStage(const PanelStageSetup& setup) { return PanelStage(setup).run(); }

}  // namespace hu::demo
