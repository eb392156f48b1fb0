// The turn arrows, one per turn code, as a driver knows them from road signs and navigation
// screens: the road layout in grey, the way to take as a white arrow.
//
//   0 straight on             1-3 slight, plain, sharp right    4-6 slight, plain, sharp left
//   7 U-turn (left)           8 U-turn right                    9, 10 keep right, keep left
//   11, 12 exit right, left   13, 14 merge from the right, left  15 straight over a crossroads
//   16 over the overpass      17 through the underpass          18 into the tunnel
//   19 toll gate              20 ferry                           21 waypoint  22 destination
//   23-34 roundabout, leaving towards 120, 90, 60 ... -210 degrees (clockwise from straight on)
//   35, 36 motorway junction right, left                         37, 38 interchange exit right, left
//   39 service area           40 toll gate (motorway)            41 tunnel  42 overpass side road
//   43 underpass side road    44, 45 frontage road right, left   46 enter the motorway
//   47 leave the motorway     48 start of the route  49 via point  50 destination
//   103, 104 destination on the left, on the right               107 route recalculated
// Codes 0-22, 103 and 104 are drawn colour-keyed (0x000C00 around the arrow); the others are
// opaque and fill their well.

#include <cmath>
#include <numbers>

#include "panel/art/panel_look.h"

namespace panelart {

namespace {

constexpr double kArrowWidth = 9;
constexpr double kRoadWidth = 15;
constexpr Pt kEntry{40, 70};
constexpr Pt kJunction{40, 38};

Pt direction(double degrees) {  // 0 = up, clockwise
    const double r = degrees * std::numbers::pi / 180;
    return {std::sin(r), -std::cos(r)};
}
Pt along(Pt from, double degrees, double length) {
    const Pt d = direction(degrees);
    return {from.x + d.x * length, from.y + d.y * length};
}

struct Drawing {
    std::vector<Layer> layers;
    void road(std::vector<Pt> points, double width = kRoadWidth) { layers.push_back({polyline(std::move(points), width), kRoad}); }
    void add(Shape s, Rgb c) { layers.push_back({std::move(s), c}); }
    // The white arrow along `points`, its head at the last point.
    void arrow(std::vector<Pt> points, double width = kArrowWidth) {
        const Pt end = points.back(), before = points[points.size() - 2];
        const double len = std::hypot(end.x - before.x, end.y - before.y);
        const Pt dir{(end.x - before.x) / len, (end.y - before.y) / len};
        points.back() = {end.x - dir.x * 8, end.y - dir.y * 8};
        layers.push_back({polyline(std::move(points), width), kArrow});
        layers.push_back({arrowHead(end, dir, 15, 11), kArrow});
    }
};

// A turn at a junction: the crossing road in grey, the arrow bending by `degrees`.
Drawing turn(double degrees) {
    Drawing d;
    d.road({kEntry, kJunction, {40, 0}});
    d.road({kJunction, along(kJunction, degrees, 60)});
    d.arrow({{40, 66}, kJunction, along(kJunction, degrees, 27)});
    return d;
}

Drawing uTurn(bool right) {
    Drawing d;
    const double side = right ? 1 : -1;
    d.road({{40 - side * 9, 70}, {40 - side * 9, 4}}, 13);
    d.road({{40 + side * 11, 70}, {40 + side * 11, 4}}, 13);
    std::vector<Pt> path{{40 - side * 9, 66}, {40 - side * 9, 28}};
    for (int a = 180; a >= 0; a -= 15) {
        const double r = a * std::numbers::pi / 180;
        path.push_back({40 + side * (1 + 10 * std::cos(r)), 28 - 10 * std::sin(r)});
    }
    path.push_back({40 + side * 11, 56});
    d.arrow(path);
    return d;
}

// Two roads leave the junction; the arrow takes the one on `side`.
Drawing fork(double side, bool ramp) {
    Drawing d;
    const Pt split{40, ramp ? 46.0 : 40.0};
    d.road({kEntry, split, ramp ? Pt{40, 0} : along(split, -side * 28, 50)});
    d.road({split, along(split, side * (ramp ? 40 : 28), 50)}, ramp ? 11 : kRoadWidth);
    d.arrow({{40, 66}, split, along(split, side * (ramp ? 40 : 28), 30)});
    return d;
}

Drawing merge(double side) {
    Drawing d;
    d.road({{40, 70}, {40, 0}});
    d.road({{40 + side * 36, 70}, {40 + side * 6, 40}}, 11);
    d.arrow({{40 + side * 30, 64}, {40 + side * 4, 38}, {40, 30}, {40, 8}});
    return d;
}

Drawing straightWith(std::vector<Layer> emblem) {
    Drawing d;
    d.road({{40, 70}, {40, 0}});
    for (auto& l : emblem) d.layers.push_back(std::move(l));
    d.arrow({{40, 66}, {40, 8}});
    return d;
}

Drawing flag(Rgb colour, Pt foot) {
    Drawing d;
    d.add(polyline({foot, {foot.x, foot.y - 44}}, 4), kArrow);
    d.add(polygon({{foot.x + 2, foot.y - 44}, {foot.x + 28, foot.y - 36}, {foot.x + 2, foot.y - 28}}), colour);
    d.add(disc({foot.x, foot.y}, 4), kArrow);
    return d;
}

Drawing pin(Rgb colour, const std::string& label) {
    Drawing d;
    d.add(unite({disc({40, 28}, 17), polygon({{26, 36}, {54, 36}, {40, 64}})}), colour);
    d.add(disc({40, 28}, 10), kArrow);
    if (!label.empty()) d.add(blockText(label, {40, 28}, 2), kInk);
    return d;
}

Drawing roundabout(double exitDegrees) {
    Drawing d;
    const Pt c{40, 32};
    d.road({{40, 70}, {40, 50}});
    d.road({c, along(c, exitDegrees, 40)});
    d.add(ring(c, 8, 20), kRoad);
    // Counter-clockwise on the screen (traffic on the right): from the entry at the bottom,
    // round through the right side to the exit.
    std::vector<Pt> path{{40, 66}, {40, 46}};
    const double start = 180, end = exitDegrees <= 0 ? 360 + exitDegrees : exitDegrees;
    const double sweep = std::fmod(start - end + 720, 360.0);
    for (double a = 0; a <= sweep; a += 10) path.push_back(along(c, start - a, 14));
    path.push_back(along(c, start - sweep, 14));
    path.push_back(along(c, exitDegrees, 34));
    d.arrow(path, 7);
    return d;
}

Drawing labelled(Drawing base, const std::string& label, Rgb plate) {
    base.add(roundedBox(2, 2, 30, 18, 3), plate);
    base.add(blockText(label, {16, 10}, 1.6), kArrow);
    return base;
}

Drawing recalculate() {
    Drawing d;
    std::vector<Pt> top, bottom;
    for (int a = 200; a <= 340; a += 10) top.push_back(along({40, 35}, a, 20));
    for (int a = 20; a <= 160; a += 10) bottom.push_back(along({40, 35}, a, 20));
    d.arrow(top, 6);
    d.arrow(bottom, 6);
    return d;
}

Drawing drawingFor(int code) {
    switch (code) {
    case 0: return turn(0);
    case 1: return turn(45);
    case 2: return turn(90);
    case 3: return turn(135);
    case 4: return turn(-45);
    case 5: return turn(-90);
    case 6: return turn(-135);
    case 7: return uTurn(false);
    case 8: return uTurn(true);
    case 9: return fork(1, false);
    case 10: return fork(-1, false);
    case 11: return fork(1, true);
    case 12: return fork(-1, true);
    case 13: return merge(1);
    case 14: return merge(-1);
    case 15: {
        Drawing d = turn(0);
        d.layers.insert(d.layers.begin(), {polyline({{0, 38}, {80, 38}}, kRoadWidth), kRoad});
        return d;
    }
    case 16: return straightWith({{box(14, 26, 66, 32), kSignYellow}, {box(14, 44, 66, 50), kSignYellow}});
    case 17: return straightWith({{box(6, 30, 74, 46), kRoad}, {box(6, 28, 74, 31), kSignYellow}});
    case 18: return straightWith({{ring({40, 40}, 22, 27), kSignYellow}});
    case 19: return straightWith({{box(8, 34, 30, 40), kSignRed}, {box(50, 34, 72, 40), kSignRed}});
    case 20: {
        Drawing d;
        d.add(polygon({{12, 40}, {68, 40}, {60, 54}, {20, 54}}), kArrow);
        d.add(box(30, 26, 50, 40), kArrow);
        d.add(polyline({{6, 60}, {20, 64}, {34, 60}, {48, 64}, {62, 60}, {76, 64}}, 3), kSignBlue);
        return d;
    }
    case 21: return pin(kSignBlue, "");
    case 22: return flag(kAccent, {30, 62});
    case 35: return labelled(fork(1, false), "JC", kSignBlue);
    case 36: return labelled(fork(-1, false), "JC", kSignBlue);
    case 37: return labelled(fork(1, true), "IC", kSignBlue);
    case 38: return labelled(fork(-1, true), "IC", kSignBlue);
    case 39: return labelled(fork(1, true), "P", kSignBlue);
    case 40: return labelled(drawingFor(19), "TOLL", kSignBlue);
    case 41: return drawingFor(18);
    case 42: return labelled(fork(1, false), "UP", kRoad);
    case 43: return labelled(fork(1, false), "DN", kRoad);
    case 44: return labelled(fork(1, true), "S", kRoad);
    case 45: return labelled(fork(-1, true), "S", kRoad);
    case 46: return labelled(merge(1), "IN", kSignBlue);
    case 47: return labelled(fork(1, true), "OUT", kSignBlue);
    case 48: return flag(kSignBlue, {30, 62});
    case 49: return pin(kSignBlue, "1");
    case 50: return flag(kSignRed, {30, 62});
    case 103: {
        Drawing d = flag(kAccent, {22, 62});
        d.arrow({{66, 60}, {66, 30}, {50, 30}}, 7);
        return d;
    }
    case 104: {
        Drawing d = flag(kAccent, {48, 62});
        d.arrow({{14, 60}, {14, 30}, {30, 30}}, 7);
        return d;
    }
    case 107: return recalculate();
    default:
        return roundabout(120 - 30 * (code - 23));  // 23..34
    }
}

}  // namespace

Picture turnIcon(int code) {
    const bool keyed = code <= 22 || code == 103 || code == 104;
    return render(kIconWidth, kIconHeight, kWell, keyed ? kArrowKey : kWell, drawingFor(code).layers);
}

}  // namespace panelart
