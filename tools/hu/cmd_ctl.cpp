// `hu ctl DIR SUBCOMMAND ...`: drives and inspects the windows of a head unit's programs from
// outside, as a person at the touch screen (and the tests) would: list the windows and their
// controls, read a control's text, click a button, tap the screen, send or post a message,
// send WM_COPYDATA with a file's bytes, wait for a text, capture the screen as PNG.
//
// A window is chosen with --title T (exact title), --program NAME (the front visible top-level
// window of the program with that file name) or --hwnd H.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "platform/core/text.h"
#include "platform/gfx/png.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "tools/hu/head_unit_arg.h"
#include "tools/hu/commands.h"

namespace hu {

namespace {

using Json = nlohmann::json;

constexpr const char* kUsage =
    "usage: hu ctl DIR list [--json]\n"
    "       hu ctl DIR text WINDOW ID\n"
    "       hu ctl DIR click WINDOW ID\n"
    "       hu ctl DIR tap X Y [--down|--up|--double]\n"
    "       hu ctl DIR key VK [--up]\n"
    "       hu ctl DIR send|post WINDOW MSG WPARAM LPARAM\n"
    "       hu ctl DIR copydata WINDOW DWDATA FILE [--wparam W]\n"
    "       hu ctl DIR wait WINDOW ID TEXT [--timeout S]   (until the control is visible and shows TEXT)\n"
    "       hu ctl DIR capture OUT.png [WINDOW]\n"
    "WINDOW: --title T | --program NAME | --hwnd H\n";

struct Options {
    std::string dir;
    std::string sub;
    std::vector<std::string> positional;
    std::optional<std::string> title, program, hwnd;
    bool json = false;
    bool down = false, up = false, twice = false;
    double timeout = 10;
    std::optional<std::string> wparam;
};

int failWith(const std::string& message) {
    std::fprintf(stderr, "hu ctl: %s\n", message.c_str());
    return 1;
}

std::optional<long long> parseNumber(const std::string& s) {
    if (s.empty()) return std::nullopt;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 0);  // 0x.. hexadecimal, else decimal
    if (*end != 0) return std::nullopt;
    return v;
}

std::string hex(ce::HWND h) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", h);
    return b;
}

std::optional<Options> parse(const Args& args, std::string& error) {
    Options o;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::optional<std::string>& into) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        if (a == "--title") {
            if (!value(o.title)) return std::nullopt;
        } else if (a == "--program") {
            if (!value(o.program)) return std::nullopt;
        } else if (a == "--hwnd") {
            if (!value(o.hwnd)) return std::nullopt;
        } else if (a == "--wparam") {
            if (!value(o.wparam)) return std::nullopt;
        } else if (a == "--timeout") {
            std::optional<std::string> t;
            if (!value(t)) return std::nullopt;
            o.timeout = std::atof(t->c_str());
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--down") {
            o.down = true;
        } else if (a == "--up") {
            o.up = true;
        } else if (a == "--double") {
            o.twice = true;
        } else {
            rest.push_back(a);
        }
    }
    if (rest.size() < 2) {
        error = "missing head unit folder or sub-command";
        return std::nullopt;
    }
    o.dir = rest[0];
    o.sub = rest[1];
    o.positional.assign(rest.begin() + 2, rest.end());
    return o;
}

bool sameProgram(const std::string& program, const std::string& name) {
    auto strip = [](std::string s) {
        s = ce::asciiLower(s);
        if (s.size() > 4 && s.compare(s.size() - 4, 4, ".exe") == 0) s.resize(s.size() - 4);
        return s;
    };
    return strip(ce::fileNameOf(program)) == strip(name);
}

bool hasWindowOption(const Options& o) { return o.title || o.program || o.hwnd; }

// The window the options name; 0 with `error` set when there is none.
ce::HWND selectWindow(const Options& o, std::string& error) {
    if (o.hwnd) {
        auto v = parseNumber(*o.hwnd);
        if (!v || *v <= 0 || *v > 0xFFFFFFFFLL) {
            error = "bad window handle '" + *o.hwnd + "'";
            return 0;
        }
        if (!ce::isWindow(static_cast<ce::HWND>(*v))) {
            error = "no window " + *o.hwnd;
            return 0;
        }
        return static_cast<ce::HWND>(*v);
    }
    if (o.title) {
        ce::HWND h = ce::findWindow(*o.title);
        if (!h) error = "no window titled \"" + *o.title + "\"";
        return h;
    }
    if (o.program) {
        for (const auto& w : ce::enumTopLevelWindows())
            if (w.visible && sameProgram(w.program, *o.program)) return w.hwnd;
        error = "no visible window of program " + *o.program;
        return 0;
    }
    error = "choose a window with --title, --program or --hwnd";
    return 0;
}

std::optional<ce::ControlState> findControl(ce::HWND window, long long id, std::string& error) {
    auto controls = ce::describeControls(window);
    if (!controls.ok()) {
        error = "window " + hex(window) + " does not answer (error " + std::to_string(controls.error()) + ")";
        return std::nullopt;
    }
    for (size_t i = 1; i < controls->size(); ++i)
        if ((*controls)[i].id == id) return (*controls)[i];
    error = "window " + hex(window) + " has no control " + std::to_string(id);
    return std::nullopt;
}

Json controlJson(const ce::ControlState& c) {
    Json j = {{"hwnd", c.hwnd},
              {"id", c.id},
              {"class", c.className},
              {"text", c.text},
              {"rect", {c.rect.left, c.rect.top, c.rect.right, c.rect.bottom}},
              {"visible", c.visible},
              {"enabled", c.enabled}};
    if (c.hasRange) {
        j["range"] = {c.rangeMin, c.rangeMax};
        j["pos"] = c.pos;
    }
    return j;
}

int cmdList(const Options& o) {
    Json all = Json::array();
    for (const auto& w : ce::enumTopLevelWindows()) {
        Json controls = Json::array();
        auto described = ce::describeControls(w.hwnd);
        if (described.ok())
            for (size_t i = 1; i < described->size(); ++i) controls.push_back(controlJson((*described)[i]));
        all.push_back({{"hwnd", w.hwnd},
                       {"pid", w.pid},
                       {"program", w.program},
                       {"title", w.title},
                       {"class", w.className},
                       {"rect", {w.rect.left, w.rect.top, w.rect.right, w.rect.bottom}},
                       {"visible", w.visible},
                       {"topmost", w.topmost},
                       {"controls", controls}});
    }
    if (o.json) {
        std::printf("%s\n", all.dump(2).c_str());
        return 0;
    }
    if (all.empty()) std::printf("no windows\n");
    for (const auto& w : all) {
        const auto& r = w["rect"];
        std::printf("%s pid %d %s \"%s\" class %s at %d,%d %dx%d%s%s\n", hex(w["hwnd"]).c_str(), w["pid"].get<int>(),
                    ce::fileNameOf(w["program"].get<std::string>()).c_str(), w["title"].get<std::string>().c_str(),
                    w["class"].get<std::string>().c_str(), r[0].get<int>(), r[1].get<int>(),
                    r[2].get<int>() - r[0].get<int>(), r[3].get<int>() - r[1].get<int>(),
                    w["visible"].get<bool>() ? " visible" : " hidden", w["topmost"].get<bool>() ? " topmost" : "");
        for (const auto& c : w["controls"]) {
            std::string extra;
            if (c.contains("range"))
                extra = " range " + std::to_string(c["range"][0].get<int>()) + ".." +
                        std::to_string(c["range"][1].get<int>()) + " pos " + std::to_string(c["pos"].get<int>());
            std::printf("    id %d %s \"%s\"%s%s%s\n", c["id"].get<int>(), c["class"].get<std::string>().c_str(),
                        c["text"].get<std::string>().c_str(), c["visible"].get<bool>() ? " visible" : " hidden",
                        c["enabled"].get<bool>() ? " enabled" : " disabled", extra.c_str());
        }
    }
    return 0;
}

// The control named by the command's one argument, in the window chosen by the options.
std::optional<ce::ControlState> chosenControl(const Options& o, const char* command, std::string& error) {
    if (o.positional.size() != 1) {
        error = std::string(command) + " needs WINDOW and ID";
        return std::nullopt;
    }
    auto id = parseNumber(o.positional[0]);
    if (!id) {
        error = "bad control id '" + o.positional[0] + "'";
        return std::nullopt;
    }
    ce::HWND w = selectWindow(o, error);
    if (!w) return std::nullopt;
    return findControl(w, *id, error);
}

int cmdText(const Options& o) {
    std::string error;
    auto c = chosenControl(o, "text", error);
    if (!c) return failWith(error);
    std::printf("%s\n", c->text.c_str());
    return 0;
}

int cmdClick(const Options& o) {
    std::string error;
    auto c = chosenControl(o, "click", error);
    if (!c) return failWith(error);
    // A person cannot press what is hidden or greyed out; neither can this command.
    if (!c->visible) return failWith("control " + std::to_string(c->id) + " is hidden");
    if (!c->enabled) return failWith("control " + std::to_string(c->id) + " is disabled");
    if (!ce::postMessage(c->hwnd, ce::BM_CLICK, 0, 0)) return failWith("the window did not take the click");
    std::printf("clicked %d \"%s\"\n", c->id, c->text.c_str());
    return 0;
}

int cmdTap(const Options& o) {
    if (o.positional.size() != 2) return failWith("tap needs X and Y");
    auto x = parseNumber(o.positional[0]);
    auto y = parseNumber(o.positional[1]);
    if (!x || !y) return failWith("bad point " + o.positional[0] + "," + o.positional[1]);
    ce::PenAction action = o.twice ? ce::PenAction::DoubleTap
                           : o.down ? ce::PenAction::Down
                           : o.up   ? ce::PenAction::Up
                                    : ce::PenAction::Tap;
    ce::Error e = ce::injectPen(ce::Point{static_cast<int>(*x), static_cast<int>(*y)}, action);
    if (e) return failWith("no window at " + std::to_string(*x) + "," + std::to_string(*y));
    std::printf("tapped %lld,%lld\n", *x, *y);
    return 0;
}

int cmdKey(const Options& o) {
    if (o.positional.size() != 1) return failWith("key needs VK");
    auto vk = parseNumber(o.positional[0]);
    if (!vk) return failWith("bad key code '" + o.positional[0] + "'");
    if (ce::Error e = ce::injectKey(static_cast<ce::UINT>(*vk), !o.up))
        return failWith("no window takes keys (error " + std::to_string(e) + ")");
    std::printf("key %lld %s\n", *vk, o.up ? "up" : "down");
    return 0;
}

std::optional<ce::UINT> messageNumber(const std::string& s) {
    if (auto v = parseNumber(s)) {
        if (*v < 0 || *v > 0xFFFF) return std::nullopt;
        return static_cast<ce::UINT>(*v);
    }
    ce::UINT id = ce::registerWindowMessage(s);  // a registered message by its name
    if (!id) return std::nullopt;
    return id;
}

int cmdSendPost(const Options& o, bool send) {
    if (o.positional.size() != 3) return failWith(o.sub + " needs WINDOW MSG WPARAM LPARAM");
    auto msg = messageNumber(o.positional[0]);
    auto wp = parseNumber(o.positional[1]);
    auto lp = parseNumber(o.positional[2]);
    if (!msg) return failWith("bad message '" + o.positional[0] + "'");
    if (!wp || !lp) return failWith("bad WPARAM or LPARAM");
    std::string error;
    ce::HWND w = ce::HWND_BROADCAST;
    if (!(o.hwnd && (*o.hwnd == "0xFFFF" || *o.hwnd == "0xffff" || *o.hwnd == "65535"))) {
        w = selectWindow(o, error);
        if (!w) return failWith(error);
    }
    if (send) {
        ce::LRESULT r = ce::sendMessage(w, *msg, static_cast<ce::WPARAM>(*wp), static_cast<ce::LPARAM>(*lp));
        if (ce::lastSendError())
            return failWith("message not answered (error " + std::to_string(ce::lastSendError()) + ")");
        std::printf("%lld\n", static_cast<long long>(r));
        return 0;
    }
    if (!ce::postMessage(w, *msg, static_cast<ce::WPARAM>(*wp), static_cast<ce::LPARAM>(*lp)))
        return failWith("message not posted");
    std::printf("posted\n");
    return 0;
}

int cmdCopyData(const Options& o) {
    if (o.positional.size() != 2) return failWith("copydata needs WINDOW DWDATA FILE");
    auto dwData = parseNumber(o.positional[0]);
    if (!dwData) return failWith("bad DWDATA '" + o.positional[0] + "'");
    // Checked before reading: a file larger than a WM_COPYDATA can carry (or one that never
    // ends, such as a FIFO) is not read at all.
    std::error_code ec;
    const auto size = std::filesystem::file_size(o.positional[1], ec);
    if (ec) return failWith("cannot read " + o.positional[1] + ": not a file");
    if (size > ce::COPYDATA_MAX_BYTES)
        return failWith(o.positional[1] + " holds " + std::to_string(size) + " bytes; WM_COPYDATA carries at most " +
                        std::to_string(ce::COPYDATA_MAX_BYTES));
    std::ifstream in(o.positional[1], std::ios::binary);
    if (!in) return failWith("cannot read " + o.positional[1]);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    long long wparam = 0;
    if (o.wparam) {
        auto w = parseNumber(*o.wparam);
        if (!w) return failWith("bad --wparam '" + *o.wparam + "'");
        wparam = *w;
    }
    std::string error;
    ce::HWND w = selectWindow(o, error);
    if (!w) return failWith(error);
    ce::CopyDataStruct cds{static_cast<uintptr_t>(*dwData), static_cast<uint32_t>(bytes.size()),
                           bytes.empty() ? nullptr : bytes.data()};
    ce::LRESULT r = ce::sendMessage(w, ce::WM_COPYDATA, static_cast<ce::WPARAM>(wparam), reinterpret_cast<ce::LPARAM>(&cds));
    if (ce::lastSendError()) return failWith("WM_COPYDATA not answered (error " + std::to_string(ce::lastSendError()) + ")");
    std::printf("%lld\n", static_cast<long long>(r));
    return 0;
}

int cmdWait(const Options& o) {
    if (o.positional.size() != 2) return failWith("wait needs WINDOW ID TEXT");
    auto id = parseNumber(o.positional[0]);
    if (!id) return failWith("bad control id '" + o.positional[0] + "'");
    const std::string& want = o.positional[1];
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(o.timeout * 1000));
    std::string last = "(no such window yet)";
    for (;;) {
        std::string error;
        // The window may not exist yet, or be replaced by the next page: choose it anew each time.
        if (ce::HWND w = selectWindow(o, error)) {
            if (auto c = findControl(w, *id, error)) {
                if (c->text == want && c->visible) {  // shown: on the screen, not just stored
                    std::printf("%s\n", c->text.c_str());
                    return 0;
                }
                last = "\"" + c->text + "\"" + (c->visible ? "" : " (hidden)");
            } else {
                last = error;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::fprintf(stderr, "hu ctl: timed out after %gs waiting for \"%s\"; control %lld shows %s\n", o.timeout, want.c_str(),
                 *id, last.c_str());
    return 1;
}

int cmdCapture(const Options& o) {
    if (o.positional.size() != 1) return failWith("capture needs OUT.png");
    ce::Result<std::unique_ptr<ce::Surface>> image = ce::fail(ce::ERROR_INVALID_HANDLE);
    if (hasWindowOption(o)) {
        std::string error;
        ce::HWND w = selectWindow(o, error);
        if (!w) return failWith(error);
        image = ce::captureWindow(w);
    } else {
        image = ce::captureScreen();
    }
    if (!image.ok()) return failWith("capture failed (error " + std::to_string(image.error()) + ")");
    if (ce::Error e = ce::writePng(**image, o.positional[0]))
        return failWith("cannot write " + o.positional[0] + " (error " + std::to_string(e) + ")");
    std::printf("wrote %s (%dx%d)\n", o.positional[0].c_str(), (*image)->width(), (*image)->height());
    return 0;
}

}  // namespace

int cmdCtl(const Args& args) {
    std::string error;
    auto parsed = parse(args, error);
    if (!parsed) {
        std::fprintf(stderr, "hu ctl: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    const Options& o = *parsed;
    if (!enterHeadUnit(o.dir, "hu ctl", Registry::NotNeeded)) return 1;

    if (o.sub == "list") return cmdList(o);
    if (o.sub == "text") return cmdText(o);
    if (o.sub == "click") return cmdClick(o);
    if (o.sub == "tap") return cmdTap(o);
    if (o.sub == "key") return cmdKey(o);
    if (o.sub == "send") return cmdSendPost(o, true);
    if (o.sub == "post") return cmdSendPost(o, false);
    if (o.sub == "copydata") return cmdCopyData(o);
    if (o.sub == "wait") return cmdWait(o);
    if (o.sub == "capture") return cmdCapture(o);
    std::fprintf(stderr, "hu ctl: unknown sub-command '%s'\n%s", o.sub.c_str(), kUsage);
    return 2;
}

}  // namespace hu
