// Route files: both formats, every event, and errors that name the file and the line.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "sim/navigation/route.h"

namespace sim::nav {
namespace {

std::string ErrorOf(std::string_view text, const std::string& name = "r.route") {
    std::string error;
    auto route = parseRoute(text, name, &error);
    EXPECT_FALSE(route.has_value()) << text;
    return error;
}

TEST(Route, TextFormatReadsEveryEvent) {
    std::string error;
    auto route = parseRoute(
        "# a comment line\n"
        "0 show\n"
        "+0.5 speed 48   # trailing comment\n"
        "2 start\n+0 goal\n+0 route-found\n+0 raise\n"
        "+1 manoeuvre turn 12 distance 1.2km road1 \"테헤란로 # not a comment\" road2 \"say \\\"hi\\\"\"\n"
        "+1 manoeuvre distance 300 turn 3\n"
        "+1 safety 160 limit 80 camera 350\n"
        "+1 safety none\n"
        "\r\n"
        "+1 subscribe off\n+0 subscribe on\n+0 wait-panel 2.5\n+0 wait-no-panel\n"
        "+1 hide\n+0 end-guide\n+0 destroy\n",
        "r.route", &error);
    ASSERT_TRUE(route) << error;
    const auto& e = route->events;
    ASSERT_EQ(e.size(), 17u);
    EXPECT_EQ(e[0].action, RouteAction::Show);
    EXPECT_EQ(e[0].line, 2);
    EXPECT_EQ(e[1].action, RouteAction::Speed);
    EXPECT_EQ(e[1].value, 48u);
    EXPECT_EQ(e[1].atMs, 500u);
    EXPECT_EQ(e[2].atMs, 2000u);
    EXPECT_EQ(e[6].action, RouteAction::Manoeuvre);
    EXPECT_EQ(e[6].guidance.turn, 12);
    EXPECT_EQ(e[6].guidance.distance, 1200u);
    EXPECT_EQ(e[6].guidance.road1, "테헤란로 # not a comment");
    EXPECT_EQ(e[6].guidance.road2, "say \"hi\"");
    EXPECT_TRUE(e[6].road1Given && e[6].road2Given);
    EXPECT_FALSE(e[7].road1Given || e[7].road2Given);  // names left out keep their value
    EXPECT_EQ(e[8].guidance.safety, 160);
    EXPECT_EQ(e[8].guidance.limit, 80);
    EXPECT_EQ(e[8].guidance.camera, 350);
    EXPECT_EQ(e[9].guidance.safety, 0);
    EXPECT_EQ(e[10].action, RouteAction::SubscribeOff);
    EXPECT_EQ(e[11].action, RouteAction::SubscribeOn);
    EXPECT_EQ(e[12].value, 2500u);
    EXPECT_EQ(e[13].action, RouteAction::WaitNoPanel);
    EXPECT_EQ(e[13].value, 30000u);
    EXPECT_EQ(e[16].action, RouteAction::Destroy);
    EXPECT_EQ(e[16].atMs, 8000u);
}

TEST(Route, JsonFormatReadsTheSameEvents) {
    const std::string text = "\xEF\xBB\xBF[\n"
                             "  {\"at\": 0, \"event\": \"show\"},\n"
                             "  {\"after\": 1.5, \"event\": \"speed\", \"value\": 48},\n"
                             "  {\"event\": \"manoeuvre\", \"turn\": 12, \"distance\": \"1.2km\", \"road1\": \"테헤란로\"},\n"
                             "  {\"after\": 1, \"event\": \"safety\", \"value\": \"none\"},\n"
                             "  {\"at\": 9, \"event\": \"subscribe\", \"value\": \"off\"}\n"
                             "]\n";
    std::string error;
    auto route = parseRoute(text, "r.json", &error);
    ASSERT_TRUE(route) << error;
    ASSERT_EQ(route->events.size(), 5u);
    EXPECT_EQ(route->events[1].atMs, 1500u);
    EXPECT_EQ(route->events[2].atMs, 1500u);
    EXPECT_EQ(route->events[2].line, 4);
    EXPECT_EQ(route->events[2].guidance.road1, "테헤란로");
    EXPECT_EQ(route->events[3].atMs, 2500u);
    EXPECT_EQ(route->events[4].action, RouteAction::SubscribeOff);
    EXPECT_EQ(route->events[4].atMs, 9000u);
}

TEST(Route, ErrorsNameTheFileAndTheLine) {
    EXPECT_EQ(ErrorOf("0 show\n\n+1 fly\n").rfind("r.route:3: unknown event \"fly\"", 0), 0u);
    EXPECT_EQ(ErrorOf("0 show\n-1 hide\n").rfind("r.route:2: \"-1\" is no time", 0), 0u);
    EXPECT_EQ(ErrorOf("5 show\n4 hide\n").rfind("r.route:2: time 4 s lies before", 0), 0u);
    EXPECT_EQ(ErrorOf("0 show\n1 manoeuvre turn 3\n"), "r.route:2: manoeuvre needs turn and distance");
    EXPECT_EQ(ErrorOf("0 manoeuvre turn 256 distance 3\n").rfind("r.route:1: turn must be a number from 0 to 255", 0), 0u);
    EXPECT_EQ(ErrorOf("0 manoeuvre turn 1 distance 3 road1 \"open\n"), "r.route:1: a quoted value is not closed");
    EXPECT_NE(ErrorOf("0 manoeuvre turn 1 distance 3 road1 " + std::string(48, 'x') + "\n").find("r.route:1: road1 is 48 UTF-16 units"),
              std::string::npos);
    EXPECT_EQ(ErrorOf("0 safety 111 turn 3\n").rfind("r.route:1: safety takes limit, camera, not \"turn\"", 0), 0u);
    EXPECT_EQ(ErrorOf("0 show now\n"), "r.route:1: show takes no value (\"now\")");
    EXPECT_EQ(ErrorOf("0 speed 1000\n").rfind("r.route:1: speed needs km/h", 0), 0u);
    EXPECT_EQ(ErrorOf("0 subscribe maybe\n"), "r.route:1: subscribe needs on or off");
    EXPECT_EQ(ErrorOf("show\n"), "r.route:1: an event needs a time and a name (\"+1.5 show\")");
    EXPECT_EQ(ErrorOf("99999 show\n").rfind("r.route:1: \"99999\" is no time", 0), 0u);
    // JSON: syntax errors and event errors at the line where they stand.
    EXPECT_EQ(ErrorOf("[\n {\"at\": 0, \"event\": \"show\"},\n {\"at\": 1 \"event\": \"hide\"}\n]", "r.json").rfind("r.json:3: not valid JSON", 0), 0u);
    EXPECT_EQ(ErrorOf("[\n {\"at\": 0, \"event\": \"show\"},\n\n {\"at\": 1, \"event\": \"fly\"}\n]", "r.json").rfind("r.json:4: unknown event", 0), 0u);
    EXPECT_EQ(ErrorOf("[{\"at\": 0, \"after\": 1, \"event\": \"show\"}]", "r.json"), "r.json:1: give either \"at\" or \"after\", once");
    EXPECT_EQ(ErrorOf("[{\"at\": \"0\", \"event\": \"show\"}]", "r.json").rfind("r.json:1: \"at\" must be seconds", 0), 0u);
    EXPECT_EQ(ErrorOf("[{\"event\": \"speed\", \"value\": [1]}]", "r.json"), "r.json:1: \"value\" must be a number or a string");
    EXPECT_EQ(ErrorOf("[1, 2]", "r.json").rfind("r.json:1: each event is an object", 0), 0u);
    EXPECT_EQ(ErrorOf("{\"events\": []}", "r.json").rfind("r.json:1:", 0), 0u);  // not an array: a text line
}

TEST(Route, LimitsAndFiles) {
    EXPECT_NE(ErrorOf(std::string((1 << 20) + 1, '#')).find("larger than"), std::string::npos);
    std::string many;
    for (int i = 0; i < 10001; ++i) many += "+0 show\n";
    EXPECT_EQ(ErrorOf(many), "r.route:10001: more than 10000 events");
    std::string error;
    EXPECT_FALSE(loadRoute("/nonexistent/x.route", &error));
    EXPECT_EQ(error, "/nonexistent/x.route: cannot be read");
    EXPECT_FALSE(loadRoute(std::filesystem::temp_directory_path(), &error));
    EXPECT_NE(error.find("is a folder"), std::string::npos);
    EXPECT_FALSE(loadRoute("/dev/zero", &error));
    EXPECT_EQ(error, "/dev/zero: is not a regular file");
    auto empty = parseRoute("", "empty", &error);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->events.empty());
}

// The built-in route shows every kind of guidance the panel draws.
TEST(Route, BuiltInRouteCoversEveryGuidanceClass) {
    const Route route = builtinRoute();
    std::set<std::string> turnClasses, safetyClasses;
    bool metres = false, kilometres = false, hangul = false, camera = false, show = false, destroy = false;
    for (const auto& e : route.events) {
        show |= e.action == RouteAction::Show;
        destroy |= e.action == RouteAction::Destroy;
        if (e.action == RouteAction::Manoeuvre) {
            const int t = e.guidance.turn;
            turnClasses.insert(t <= 22 ? "keyed" : t <= 50 ? "opaque" : t == 103 ? "103" : t == 104 ? "104" : "unknown");
            metres |= e.guidance.distance > 0 && e.guidance.distance <= 1000;
            kilometres |= e.guidance.distance > 1000;
            hangul |= e.guidance.road1.find("로") != std::string::npos;
        }
        if (e.action == RouteAction::Safety) {
            const int s = e.guidance.safety;
            const bool icon = s == 111 || s == 112 || s == 113 || s == 117 || s == 118 || s == 124 || s == 129;
            const bool limit = (s >= 151 && s <= 164) || (s >= 166 && s <= 179) || (s >= 201 && s <= 214) || (s >= 232 && s <= 245);
            safetyClasses.insert(icon ? "icon" : s == 143 ? "fixed" : limit ? "limit" : s == 246 ? "bus" : "other");
            camera |= limit && e.guidance.camera > 0;
        }
    }
    EXPECT_EQ(turnClasses, (std::set<std::string>{"keyed", "opaque", "103", "104", "unknown"}));
    EXPECT_EQ(safetyClasses, (std::set<std::string>{"icon", "fixed", "limit", "bus", "other"}));
    EXPECT_TRUE(metres && kilometres && hangul && camera && show && destroy);
}

}  // namespace
}  // namespace sim::nav
