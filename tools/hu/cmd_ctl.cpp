// `hu ctl DIR SUBCOMMAND ...`: drives and inspects the windows of a head unit's programs from
// outside, as a person at the touch screen (and the tests) would: list the windows and their
// controls, read a control's text, click a button, tap the screen, send or post a message,
// send WM_COPYDATA with a file's bytes, wait for a text, capture the screen as PNG.
//
// A window is chosen with --title T (exact title), --program NAME (the front visible top-level
// window of the program with that file name) or --hwnd H.

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/core/paths.h"
#include "platform/core/profile.h"
#include "platform/core/text.h"
#include "platform/gfx/png.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"
#include "platform/ui/window.h"
#include "tools/hu/head_unit_arg.h"
#include "tools/hu/cli_support.h"
#include "tools/hu/commands.h"

namespace hu {

namespace {

using Json = nlohmann::json;

struct Options {
    std::string dir;
    std::string sub;
    std::string title, program;
    std::optional<long long> hwnd;
    bool json = false;
    bool down = false, up = false, twice = false;
    double timeout = 10;
    long long id = 0, x = 0, y = 0, vk = 0, wparam = 0, lparam = 0, dwData = 0;
    std::string message, text, file;
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

bool sameProgram(const std::string& program, const std::string& name) {
    auto strip = [](std::string s) {
        s = ce::asciiLower(s);
        if (s.size() > 4 && s.compare(s.size() - 4, 4, ".exe") == 0) s.resize(s.size() - 4);
        return s;
    };
    return strip(ce::fileNameOf(program)) == strip(name);
}

bool hasWindowOption(const Options& o) { return !o.title.empty() || !o.program.empty() || o.hwnd; }

// The window the options name; 0 with `error` set when there is none.
ce::HWND selectWindow(const Options& o, std::string& error) {
    if (o.hwnd) {
        if (!ce::isWindow(static_cast<ce::HWND>(*o.hwnd))) {
            error = "no window " + hex(static_cast<ce::HWND>(*o.hwnd));
            return 0;
        }
        return static_cast<ce::HWND>(*o.hwnd);
    }
    if (!o.title.empty()) {
        ce::HWND h = ce::findWindow(o.title);
        if (!h) error = "no window titled \"" + o.title + "\"";
        return h;
    }
    if (!o.program.empty()) {
        for (const auto& w : ce::enumTopLevelWindows())
            if (w.visible && sameProgram(w.program, o.program)) return w.hwnd;
        error = "no visible window of program " + o.program;
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

// The control ID in the window chosen by the options.
std::optional<ce::ControlState> chosenControl(const Options& o, std::string& error) {
    ce::HWND w = selectWindow(o, error);
    if (!w) return std::nullopt;
    return findControl(w, o.id, error);
}

int cmdText(const Options& o) {
    std::string error;
    auto c = chosenControl(o, error);
    if (!c) return failWith(error);
    std::printf("%s\n", c->text.c_str());
    return 0;
}

int cmdClick(const Options& o) {
    std::string error;
    auto c = chosenControl(o, error);
    if (!c) return failWith(error);
    // A person cannot press what is hidden or greyed out; neither can this command.
    if (!c->visible) return failWith("control " + std::to_string(c->id) + " is hidden");
    if (!c->enabled) return failWith("control " + std::to_string(c->id) + " is disabled");
    if (!ce::postMessage(c->hwnd, ce::BM_CLICK, 0, 0)) return failWith("the window did not take the click");
    std::printf("clicked %d \"%s\"\n", c->id, c->text.c_str());
    return 0;
}

int cmdTap(const Options& o) {
    ce::PenAction action = o.twice ? ce::PenAction::DoubleTap
                           : o.down ? ce::PenAction::Down
                           : o.up   ? ce::PenAction::Up
                                    : ce::PenAction::Tap;
    ce::Error e = ce::injectPen(ce::Point{static_cast<int>(o.x), static_cast<int>(o.y)}, action);
    if (e) return failWith("no window at " + std::to_string(o.x) + "," + std::to_string(o.y));
    std::printf("tapped %lld,%lld\n", o.x, o.y);
    return 0;
}

int cmdKey(const Options& o) {
    if (ce::Error e = ce::injectKey(static_cast<ce::UINT>(o.vk), !o.up))
        return failWith("no window takes keys (error " + std::to_string(e) + ")");
    std::printf("key %lld %s\n", o.vk, o.up ? "up" : "down");
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
    auto msg = messageNumber(o.message);
    if (!msg) return failWith("bad message '" + o.message + "'");
    std::string error;
    ce::HWND w = ce::HWND_BROADCAST;
    if (!(o.hwnd && *o.hwnd == ce::HWND_BROADCAST)) {
        w = selectWindow(o, error);
        if (!w) return failWith(error);
    }
    if (send) {
        ce::LRESULT r = ce::sendMessage(w, *msg, static_cast<ce::WPARAM>(o.wparam), static_cast<ce::LPARAM>(o.lparam));
        if (ce::lastSendError())
            return failWith("message not answered (error " + std::to_string(ce::lastSendError()) + ")");
        std::printf("%lld\n", static_cast<long long>(r));
        return 0;
    }
    if (!ce::postMessage(w, *msg, static_cast<ce::WPARAM>(o.wparam), static_cast<ce::LPARAM>(o.lparam)))
        return failWith("message not posted");
    std::printf("posted\n");
    return 0;
}

int cmdCopyData(const Options& o) {
    // Checked before reading: a file larger than a WM_COPYDATA can carry (or one that never
    // ends, such as a FIFO) is not read at all.
    std::error_code ec;
    const auto size = std::filesystem::file_size(o.file, ec);
    if (ec) return failWith("cannot read " + o.file + ": not a file");
    if (size > ce::COPYDATA_MAX_BYTES)
        return failWith(o.file + " holds " + std::to_string(size) + " bytes; WM_COPYDATA carries at most " +
                        std::to_string(ce::COPYDATA_MAX_BYTES));
    std::ifstream in(o.file, std::ios::binary);
    if (!in) return failWith("cannot read " + o.file);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string error;
    ce::HWND w = selectWindow(o, error);
    if (!w) return failWith(error);
    ce::CopyDataStruct cds{static_cast<uintptr_t>(o.dwData), static_cast<uint32_t>(bytes.size()),
                           bytes.empty() ? nullptr : bytes.data()};
    ce::LRESULT r = ce::sendMessage(w, ce::WM_COPYDATA, static_cast<ce::WPARAM>(o.wparam), reinterpret_cast<ce::LPARAM>(&cds));
    if (ce::lastSendError()) return failWith("WM_COPYDATA not answered (error " + std::to_string(ce::lastSendError()) + ")");
    std::printf("%lld\n", static_cast<long long>(r));
    return 0;
}

int cmdWait(const Options& o) {
    const std::string& want = o.text;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(static_cast<long long>(o.timeout * 1000));
    std::string last = "(no such window yet)";
    for (;;) {
        std::string error;
        // The window may not exist yet, or be replaced by the next page: choose it anew each time.
        if (ce::HWND w = selectWindow(o, error)) {
            if (auto c = findControl(w, o.id, error)) {
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
                 o.id, last.c_str());
    return 1;
}

int cmdCapture(const Options& o) {
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
    if (ce::Error e = ce::writePng(**image, o.file))
        return failWith("cannot write " + o.file + " (error " + std::to_string(e) + ")");
    std::printf("wrote %s (%dx%d)\n", o.file.c_str(), (*image)->width(), (*image)->height());
    return 0;
}

// Message parameters: any whole number, as the message's receiver reads it.
constexpr std::pair<long long, long long> kAny = {LLONG_MIN + 1, LLONG_MAX - 1};

// The window options of the verbs that act on one window.
cli::Parser& window(cli::Parser& verb, Options& o, long long& hwnd) {
    return verb.text("--title", "T", o.title, "the window with this exact title")
        .text("--program", "NAME", o.program, "the front visible top-level window of the program with this file name")
        .number("--hwnd", "H", hwnd, 1, 0xFFFFFFFFLL, "the window with this handle (0xFFFF: every top-level window, for send and post)");
}

void describe(cli::Parser& p, Options& o, long long& hwnd) {
    p.headUnit(o.dir).verbRequired();
    p.verb("list", "every top-level window and its controls").flag("--json", o.json, "as one JSON document");
    window(p.verb("text", "print a control's text"), o, hwnd).positional("ID", o.id, INT_MIN, INT_MAX, "the control's id");
    window(p.verb("click", "press a button (refused when it is hidden or disabled)"), o, hwnd)
        .positional("ID", o.id, INT_MIN, INT_MAX, "the control's id");
    p.verb("tap", "pen input at a screen point, to the window under it")
        .positional("X", o.x, -32768, 32767, "the point's x")
        .positional("Y", o.y, -32768, 32767, "the point's y")
        .flag("--down", o.down, "only press the pen")
        .flag("--up", o.up, "only lift the pen")
        .flag("--double", o.twice, "a double tap");
    p.verb("key", "a key, to the window that has the keyboard")
        .positional("VK", o.vk, 0, 0xFFFF, "the virtual key code")
        .flag("--up", o.up, "release the key (default: press it)");
    for (const char* verb : {"send", "post"}) {
        window(p.verb(verb, verb[0] == 's' ? "send a message and print the answer" : "post a message"), o, hwnd)
            .positional("MSG", o.message, "the message: a number or a registered message's name")
            .positional("WPARAM", o.wparam, kAny.first, kAny.second, "the message's wParam")
            .positional("LPARAM", o.lparam, kAny.first, kAny.second, "the message's lParam");
    }
    window(p.verb("copydata", "send WM_COPYDATA with a file's bytes (at most 1 MiB) and print the answer"), o, hwnd)
        .positional("DWDATA", o.dwData, kAny.first, kAny.second, "the dwData of the COPYDATASTRUCT")
        .positional("FILE", o.file, "the file whose bytes are sent")
        .number("--wparam", "W", o.wparam, kAny.first, kAny.second, "the message's wParam (0)");
    window(p.verb("wait", "wait until a control is visible and shows a text; exit 1 on time-out"), o, hwnd)
        .positional("ID", o.id, INT_MIN, INT_MAX, "the control's id")
        .positional("TEXT", o.text, "the text to wait for")
        .seconds("--timeout", o.timeout, 0, 86400, "how long to wait (10)");
    window(p.verb("capture", "the whole screen, or one window, as a PNG file"), o, hwnd)
        .positional("OUT", o.file, "the PNG file to write");
}

}  // namespace

int cmdCtl(const Args& args) {
    Options o;
    long long hwnd = 0;
    cli::Parser parser("hu ctl", "drive and inspect the programs' windows as a person at the touch screen would");
    describe(parser, o, hwnd);
    if (auto status = parser.parse(args)) return *status;
    if (hwnd) o.hwnd = hwnd;
    o.sub = parser.chosenVerb()->name();
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
    return cmdCapture(o);
}

}  // namespace hu
