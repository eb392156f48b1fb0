#include "sim/navigation/navigation_program.h"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "platform/core/process.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "sim/board/sim_clock.h"
#include "sim/navigation/guidance_record.h"
#include "sim/navigation/map_scene.h"
#include "sim/navigation/nav_protocol.h"
#include "sim/navigation/navigation_log.h"

namespace sim::nav {

namespace {

using Json = nlohmann::json;

constexpr uintptr_t kTickTimer = 1;
constexpr uint32_t kTickMs = 100;
constexpr int kTicksPerMapFrame = 3;
constexpr ce::UINT kAnswerMessage = ce::WM_APP + 1;  // answer the request after its send returned

std::string hex(ce::HWND h) { return fmt::format("0x{:08X}", h); }

Json fieldsJson(const GuidanceFields& f) {
    return {{"distance", f.distance}, {"turn", f.turn}, {"road1", f.road1}, {"road2", f.road2},
            {"safety", f.safety},     {"limit", f.limit}, {"camera", f.camera}};
}

class NavigationWindow : public ce::Window {
public:
    NavigationWindow(std::filesystem::path root, const NavigationOptions& options)
        : root_(std::move(root)), route_(options.route), quiet_(options.quiet), topmost_(options.topmost) {
        on(ce::WM_COPYDATA, [this](ce::WPARAM w, ce::LPARAM l) { return onCopyData(w, l); });
        on(kAnswerMessage, [this](ce::WPARAM, ce::LPARAM) {
            answerRequest();
            return 0;
        });
        on(ce::WM_TIMER, [this](ce::WPARAM id, ce::LPARAM) {
            if (id == kTickTimer) tick();
            return 0;
        });
        on(ce::WM_DESTROY, [](ce::WPARAM, ce::LPARAM) {
            ce::postQuitMessage(0);
            return 0;
        });
    }

    ce::Error open() {
        ce::WindowSpec spec;
        spec.className = "KeloNavigation";
        spec.title = kNavigationTitle;
        spec.style = ce::WS_POPUP | ce::WS_VISIBLE;
        spec.exStyle = topmost_ ? uint32_t{ce::WS_EX_TOPMOST} : 0u;
        spec.rect = {0, 0, ce::getSystemMetrics(ce::SM_CXSCREEN), ce::getSystemMetrics(ce::SM_CYSCREEN)};
        if (ce::Error e = create(spec); e != ce::ERROR_SUCCESS) return e;
        broadcastId_ = ce::registerWindowMessage(kBroadcastName);
        startMs_ = lastTickMs_ = monotonicMs();
        ce::setTimer(hwnd(), kTickTimer, kTickMs);
        record("started", {{"window", hwnd()}, {"route", route_.name}, {"events", route_.events.size()}},
               fmt::format("window \"Kelo\" {} up, playing the {} ({} events); log: {}", hex(hwnd()), route_.name,
                           route_.events.size(), NavigationLog::file(root_).string()));
        tick();
        return ce::ERROR_SUCCESS;
    }

    void paint(ce::Dc& dc) override {
        MapState map;
        map.travelledMetres = travelled_;
        map.speedKmh = static_cast<int>(speed_);
        map.status = guidance_.turn || distanceLeft_ > 0
                         ? fmt::format("turn {} in {} m", guidance_.turn, std::lround(distanceLeft_))
                         : status_;
        ce::Rect client;
        ce::getClientRect(hwnd(), &client);
        drawMapScene(dc, client.width(), client.height(), map);
    }

private:
    // ---- The panel's messages --------------------------------------------------------------
    ce::LRESULT onCopyData(ce::WPARAM wParam, ce::LPARAM lParam) {
        const auto* cds = reinterpret_cast<const ce::CopyDataStruct*>(lParam);
        if (!cds) return 0;
        if (cds->dwData == kSubscribeData) {
            panel_ = static_cast<ce::HWND>(wParam);
            // A subscription that comes and goes between two ticks still ends a wait for it.
            if (waitUntil_ && (panel_ != 0) == waitForPanel_) waitMet_ = true;
            if (panel_) {
                record("subscribed", {{"panel", panel_}}, "subscribed: records go to " + hex(panel_));
            } else {
                record("unsubscribed", {}, "subscription withdrawn");
            }
            return 1;
        }
        if (cds->dwData == kRequestData) {
            record("request", {}, {});
            ce::postMessage(hwnd(), kAnswerMessage, 0, 0);
            return 1;
        }
        record("unknown", {{"dwData", cds->dwData}, {"bytes", cds->cbData}},
               fmt::format("WM_COPYDATA with unknown dwData {} ignored", cds->dwData));
        return 0;
    }

    void answerRequest() {
        if (!panel_) {
            record("unanswered", {{"why", "no panel has subscribed"}}, "request not answered: no panel has subscribed");
            return;
        }
        const GuidanceFields fields = current();
        const GuidanceRecord bytes = encodeGuidanceRecord(fields);
        ce::CopyDataStruct cds{kRequestData, static_cast<uint32_t>(bytes.size()), bytes.data()};
        const ce::LRESULT result = ce::sendMessage(panel_, ce::WM_COPYDATA, hwnd(), reinterpret_cast<ce::LPARAM>(&cds));
        if (const uint32_t error = ce::lastSendError()) {
            record("unanswered", {{"why", fmt::format("the panel window {} did not take it (error {})", hex(panel_), error)}},
                   fmt::format("record not delivered to {} (error {}): subscription dropped", hex(panel_), error));
            panel_ = 0;
            return;
        }
        Json detail = fieldsJson(fields);
        detail["panel"] = panel_;
        detail["answered"] = result;
        record("record", detail,
               fmt::format("record: {} m, turn {}, safety {} (limit {}, camera {} m), \"{}\" / \"{}\" -> {}", fields.distance,
                           fields.turn, fields.safety, fields.limit, fields.camera, fields.road1, fields.road2, result));
    }

    // The guidance as it stands now.
    GuidanceFields current() const {
        GuidanceFields f = guidance_;
        f.distance = static_cast<uint32_t>(std::lround(distanceLeft_));
        f.camera = f.camera ? static_cast<uint16_t>(std::lround(cameraLeft_)) : 0;
        return f;
    }

    // ---- Playing the route --------------------------------------------------------------
    void tick() {
        const uint64_t now = monotonicMs();
        drive(static_cast<double>(now - lastTickMs_) / 1000.0);
        lastTickMs_ = now;
        while (next_ < route_.events.size()) {
            if (waitingForPanel(now)) break;
            const RouteEvent& e = route_.events[next_];
            if (e.atMs > now - startMs_ - pausedMs_) break;
            ++next_;
            play(e, now);
            if (ended_) return;
        }
        if (++frame_ % kTicksPerMapFrame == 0) ce::invalidateRect(hwnd(), nullptr, false);
    }

    // While a wait event holds playback: true. Time spent waiting does not count.
    bool waitingForPanel(uint64_t now) {
        if (!waitUntil_) return false;
        const bool waiting = !waitMet_ && (panel_ != 0) != waitForPanel_;
        if (waiting && now < *waitUntil_) return true;
        if (waiting)
            record("route", {{"what", "waited in vain; going on"}},
                   waitForPanel_ ? "no panel subscribed in time; going on" : "the subscription stayed; going on");
        pausedMs_ += now - waitSince_;
        waitUntil_.reset();
        return false;
    }

    void drive(double seconds) {
        const double metres = speed_ / 3.6 * seconds;
        travelled_ += metres;
        distanceLeft_ = std::max(0.0, distanceLeft_ - metres);
        cameraLeft_ = std::max(0.0, cameraLeft_ - metres);
    }

    void play(const RouteEvent& e, uint64_t now) {
        const std::string where = fmt::format("line {}", e.line);
        status_ = actionName(e.action);
        record("route", {{"line", e.line}, {"what", actionName(e.action)}}, {});
        switch (e.action) {
        case RouteAction::Show: postToPanel(kShowHideMessage, 1, "show"); break;
        case RouteAction::Hide: postToPanel(kShowHideMessage, 0, "hide"); break;
        case RouteAction::SubscribeOn: postToPanel(kSubscriptionMessage, 1, "subscribe"); break;
        case RouteAction::SubscribeOff: postToPanel(kSubscriptionMessage, 0, "unsubscribe"); break;
        case RouteAction::Speed:
            speed_ = e.value;
            broadcast(kCurrentSpeed, e.value, fmt::format("speed {} km/h", e.value));
            break;
        case RouteAction::Start: broadcast(kSetStart, 0, "start set"); break;
        case RouteAction::Goal: broadcast(kSetGoal, 0, "goal set"); break;
        case RouteAction::RouteFound: broadcast(kEndRouteSearch, 0, "route search ended"); break;
        case RouteAction::Raise: broadcast(kRaisePanel, 0, "raise the panel"); break;
        case RouteAction::EndGuide: broadcast(kEndGuide, 0, "end of guidance"); break;
        case RouteAction::Destroy:
            broadcast(kDestroy, 0, "destroy: the navigation program closes");
            ended_ = true;
            ce::postMessage(hwnd(), ce::WM_CLOSE, 0, 0);
            break;
        case RouteAction::Manoeuvre:
            guidance_.turn = e.guidance.turn;
            distanceLeft_ = e.guidance.distance;
            if (e.road1Given) guidance_.road1 = e.guidance.road1;
            if (e.road2Given) guidance_.road2 = e.guidance.road2;
            say(fmt::format("next manoeuvre: turn {} in {} m, \"{}\" / \"{}\"", guidance_.turn, e.guidance.distance,
                            guidance_.road1, guidance_.road2));
            break;
        case RouteAction::Safety:
            guidance_.safety = e.guidance.safety;
            guidance_.limit = e.guidance.limit;
            guidance_.camera = e.guidance.camera;
            cameraLeft_ = e.guidance.camera;
            say(fmt::format("safety point: code {}, limit {} km/h, camera {} m", e.guidance.safety, e.guidance.limit,
                            e.guidance.camera));
            break;
        case RouteAction::WaitPanel:
        case RouteAction::WaitNoPanel:
            waitForPanel_ = e.action == RouteAction::WaitPanel;
            waitMet_ = false;
            if ((panel_ != 0) != waitForPanel_) {
                waitSince_ = now;
                waitUntil_ = now + e.value;
                say(fmt::format("waiting up to {:g} s for {}", e.value / 1000.0,
                                waitForPanel_ ? "a panel to subscribe" : "the subscription to end"));
            }
            break;
        }
    }

    ce::HWND panelWindow() const {
        if (panel_ && ce::isWindow(panel_)) return panel_;
        return ce::findWindow(kPanelTitle);
    }

    void postToPanel(uint32_t msg, ce::WPARAM wParam, const char* what) {
        const ce::HWND panel = panelWindow();
        if (!panel || !ce::postMessage(panel, msg, wParam, 0)) {
            record("no-panel", {{"what", what}}, fmt::format("{}: no panel window \"{}\" to send {} to", what, kPanelTitle, msg));
            return;
        }
        record(what == std::string("show") || what == std::string("hide") ? what : "subscribe",
               {{"panel", panel}, {"msg", msg}, {"wParam", wParam}}, fmt::format("{}: {} wParam {} to {}", what, msg, wParam, hex(panel)));
    }

    // Logged before it goes out, so that what it causes never seems to come first.
    void broadcast(uint32_t code, ce::LPARAM arg, const std::string& what) {
        record("broadcast", {{"code", code}, {"arg", arg}}, fmt::format("broadcast {}: {}", code, what));
        ce::postMessage(ce::HWND_BROADCAST, broadcastId_, code, arg);
    }

    void record(const std::string& event, Json detail, const std::string& line) {
        NavigationLog::append(root_, event, std::move(detail));
        if (!line.empty()) say(line);
    }
    void say(const std::string& line) const {
        if (quiet_) return;
        const uint64_t ms = monotonicMs() - startMs_;
        std::printf("navigation %6.1f s  %s\n", static_cast<double>(ms) / 1000.0, line.c_str());
        std::fflush(stdout);
    }

    std::filesystem::path root_;
    Route route_;
    bool quiet_ = false;
    bool topmost_ = false;
    ce::UINT broadcastId_ = 0;
    ce::HWND panel_ = 0;
    GuidanceFields guidance_;
    double distanceLeft_ = 0;
    double cameraLeft_ = 0;
    double travelled_ = 0;
    uint32_t speed_ = 0;
    std::string status_ = "guidance";
    size_t next_ = 0;
    uint64_t startMs_ = 0;
    uint64_t lastTickMs_ = 0;
    uint64_t pausedMs_ = 0;
    uint64_t waitSince_ = 0;
    std::optional<uint64_t> waitUntil_;
    bool waitForPanel_ = true;  // what the wait holds for: a subscription, or its end
    bool waitMet_ = false;      // it came while waiting
    int frame_ = 0;
    bool ended_ = false;
};

}  // namespace

int runNavigation(const std::filesystem::path& root, const NavigationOptions& options, const std::atomic<bool>* stop) {
    // One navigation program per head unit: a second one would fight the first over the
    // panel's subscription.
    auto mutex = ce::NamedMutex::create("sim-navigation");
    if (!mutex.ok() || (*mutex)->alreadyExisted()) {
        std::string who = "another navigation simulator";
        for (const auto& w : ce::enumTopLevelWindows())
            if (w.title == kNavigationTitle) who = fmt::format("a navigation program (pid {}, window {})", w.pid, hex(w.hwnd));
        std::fprintf(stderr, "navigation: %s already runs on this head unit\n", who.c_str());
        return 1;
    }
    NavigationWindow window(root, options);
    if (ce::Error e = window.open(); e != ce::ERROR_SUCCESS) {
        std::fprintf(stderr, "navigation: cannot create the window \"Kelo\" (error %u)\n", e);
        return 1;
    }
    int code = 0;
    while (!(stop && stop->load())) {
        ce::waitMessage(100);
        ce::Msg msg;
        bool quit = false;
        while (ce::peekMessage(&msg)) {
            if (msg.message == ce::WM_QUIT) {
                quit = true;
                code = static_cast<int>(msg.wParam);
                break;
            }
            ce::dispatchMessage(&msg);
        }
        if (quit) break;
    }
    NavigationLog::append(root, "ended");
    return code;
}

}  // namespace sim::nav
