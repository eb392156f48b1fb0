// The safety icons: what lies ahead on the road, as its road sign or camera sign looks.
//   111 fixed speed camera      112 mobile speed camera       113 red-light camera
//   117 bus-lane camera         118 average speed section     124 accident black spot
//   129 speed bump              151 (151-164) speed limit with camera
//   201 (201-214) limit at the section's end   232 (232-245) limit in a tunnel
//   246 bus lane   247 school zone   248 falling rocks   249 fog   250 sharp bend
//   251 level crossing
// All are opaque: each fills its well.

#include "panel/art/panel_look.h"

namespace panelart {

namespace {

using Layers = std::vector<Layer>;

// A camera on a yellow sign: body, lens and flash.
Layers cameraSign() {
    return {{roundedBox(10, 6, 70, 64, 8), kSignYellow},
            {roundedBox(20, 24, 60, 50, 4), kInk},
            {box(26, 18, 38, 25), kInk},
            {disc({40, 37}, 9), kSignYellow},
            {disc({40, 37}, 5), kInk}};
}

Layers warning(std::vector<Layer> inside) {
    Layers l{{polygon({{40, 4}, {76, 66}, {4, 66}}), kSignRed}, {polygon({{40, 17}, {65, 60}, {15, 60}}), kArrow}};
    for (auto& i : inside) l.push_back(std::move(i));
    return l;
}

Layers limitSign(const std::string& label) {
    return {{disc({40, 35}, 32), kSignRed}, {disc({40, 35}, 24), kArrow}, {blockText(label, {40, 35}, 2.4), kInk}};
}

Layers layersFor(int code) {
    switch (code) {
    case 111: return cameraSign();
    case 112: {
        Layers l = cameraSign();
        l.push_back({disc({26, 58}, 4), kInk});
        l.push_back({disc({54, 58}, 4), kInk});
        return l;
    }
    case 113: {
        Layers l{{roundedBox(8, 4, 72, 66, 8), kSignYellow}, {roundedBox(44, 10, 64, 60, 5), kInk},
                 {disc({54, 20}, 6), kSignRed}, {disc({54, 35}, 6), kRoad}, {disc({54, 50}, 6), kRoad},
                 {roundedBox(14, 26, 38, 44, 3), kInk}, {disc({26, 35}, 5), kSignYellow}};
        return l;
    }
    case 117: {
        Layers l = cameraSign();
        l.push_back({box(12, 52, 68, 62), kSignBlue});
        l.push_back({blockText("BUS", {40, 57}, 1.2), kArrow});
        return l;
    }
    case 118: return {{roundedBox(4, 10, 76, 60, 8), kSignYellow}, {roundedBox(10, 24, 28, 40, 3), kInk},
                      {roundedBox(52, 24, 70, 40, 3), kInk}, {polyline({{28, 32}, {52, 32}}, 3), kInk},
                      {blockText("AVG", {40, 51}, 1.4), kInk}};
    case 124: return warning({{box(37, 28, 43, 48), kInk}, {disc({40, 54}, 3.5), kInk}});
    case 129: return warning({{polygon({{18, 56}, {30, 56}, {34, 44}, {46, 44}, {50, 56}, {62, 56}, {62, 58}, {18, 58}}), kInk}});
    case 151: return limitSign("80");
    case 201: return limitSign("AVG");
    case 232: {
        Layers l = limitSign("80");
        l.push_back({ring({40, 35}, 27, 29), kInk});
        return l;
    }
    case 246: return {{roundedBox(6, 8, 74, 62, 6), kSignBlue}, {blockText("BUS", {40, 28}, 2.6), kArrow},
                      {polyline({{16, 50}, {64, 50}}, 3), kArrow}};
    case 247: return warning({{disc({34, 34}, 4), kInk}, {polyline({{34, 38}, {32, 52}}, 4), kInk},
                              {disc({47, 38}, 3), kInk}, {polyline({{47, 41}, {48, 52}}, 3), kInk}});
    case 248: return warning({{disc({32, 50}, 5), kInk}, {disc({44, 44}, 4), kInk}, {disc({48, 54}, 3), kInk}});
    case 249: return warning({{polyline({{24, 38}, {56, 38}}, 3), kInk}, {polyline({{20, 46}, {60, 46}}, 3), kInk},
                              {polyline({{17, 54}, {63, 54}}, 3), kInk}});
    case 250: return warning({{polyline({{30, 56}, {30, 44}, {48, 34}, {48, 26}}, 5), kInk}});
    case 251: return warning({{polyline({{26, 30}, {54, 56}}, 5), kInk}, {polyline({{54, 30}, {26, 56}}, 5), kInk}});
    default: return {{blockText("?", {40, 35}, 3), kArrow}};
    }
}

}  // namespace

Picture safetyIcon(int code) { return render(kIconWidth, kIconHeight, kWell, kWell, layersFor(code)); }

}  // namespace panelart
