#include "sim/navigation/map_scene.h"

#include <fmt/format.h>

#include <cmath>
#include <vector>

#include "platform/gfx/draw_text.h"

namespace sim::nav {

namespace {

using ce::RGB;

constexpr ce::COLORREF kLand = RGB(0xEE, 0xEA, 0xE2);
constexpr ce::COLORREF kBlock = RGB(0xE0, 0xDA, 0xCF);
constexpr ce::COLORREF kPark = RGB(0xC8, 0xE3, 0xB8);
constexpr ce::COLORREF kWater = RGB(0xA8, 0xCC, 0xEE);
constexpr ce::COLORREF kCasing = RGB(0xC4, 0xBC, 0xAE);
constexpr ce::COLORREF kStreet = RGB(0xFF, 0xFF, 0xFF);
constexpr ce::COLORREF kArterial = RGB(0xFC, 0xD6, 0x7A);
constexpr ce::COLORREF kRoute = RGB(0x2A, 0x7B, 0xE4);
constexpr ce::COLORREF kRouteEdge = RGB(0x16, 0x4E, 0x9E);
constexpr ce::COLORREF kCar = RGB(0xE8, 0x3A, 0x2E);
constexpr double kMetresPerPixel = 2.0;

struct P {
    double x, y;
};

// The route through the map, in pixels of an 800 x 480 screen (scaled to other sizes).
// It starts in the part of the screen that neither panel shape covers, so the car is seen.
const std::vector<P> kRoutePath = {{310, 320}, {310, 170}, {560, 170}, {560, 90}, {790, 90}, {790, 10}};

void line(ce::Dc& dc, int x0, int y0, int x1, int y1, int width, ce::COLORREF color) {
    dc.selectObject(ce::createPen(ce::PS_SOLID, width, color));
    dc.moveTo(x0, y0);
    dc.lineTo(x1, y1);
}

void disc(ce::Dc& dc, int cx, int cy, int r, ce::COLORREF color) {
    for (int dy = -r; dy <= r; ++dy) {
        const int dx = static_cast<int>(std::sqrt(static_cast<double>(r * r - dy * dy)));
        dc.fillRect({cx - dx, cy + dy, cx + dx + 1, cy + dy + 1}, ce::createSolidBrush(color));
    }
}

// A street with its casing, horizontal or vertical, across the whole map.
void street(ce::Dc& dc, int x0, int y0, int x1, int y1, int width, ce::COLORREF fill) {
    line(dc, x0, y0, x1, y1, width + 4, kCasing);
    line(dc, x0, y0, x1, y1, width, fill);
}

// The point at `metres` along the path, and the direction of travel there.
P pointAlong(const std::vector<P>& path, double metres, P* direction) {
    double total = 0;
    for (size_t i = 1; i < path.size(); ++i) total += std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
    double left = std::fmod(std::max(metres, 0.0) / kMetresPerPixel, total);
    for (size_t i = 1; i < path.size(); ++i) {
        const double dx = path[i].x - path[i - 1].x, dy = path[i].y - path[i - 1].y;
        const double len = std::hypot(dx, dy);
        if (left <= len || i + 1 == path.size()) {
            *direction = {dx / len, dy / len};
            const double t = std::min(left / len, 1.0);
            return {path[i - 1].x + dx * t, path[i - 1].y + dy * t};
        }
        left -= len;
    }
    *direction = {1, 0};
    return path.front();
}

}  // namespace

void drawMapScene(ce::Dc& dc, int width, int height, const MapState& state) {
    const double sx = width / 800.0, sy = height / 480.0;
    auto X = [sx](double x) { return static_cast<int>(std::lround(x * sx)); };
    auto Y = [sy](double y) { return static_cast<int>(std::lround(y * sy)); };

    dc.fillRect({0, 0, width, height}, ce::createSolidBrush(kLand));
    // City blocks between the streets, two parks and a river crossing the map.
    for (int gx = 0; gx < 800; gx += 120)
        for (int gy = 0; gy < 480; gy += 90)
            dc.fillRect({X(gx + 14), Y(gy + 12), X(gx + 106), Y(gy + 78)}, ce::createSolidBrush(kBlock));
    dc.fillRect({X(374), Y(192), X(466), Y(258)}, ce::createSolidBrush(kPark));
    dc.fillRect({X(614), Y(282), X(706), Y(438)}, ce::createSolidBrush(kPark));
    for (int x = 0; x < 800; x += 2) {
        const double y = 250 + 40 * std::sin(x / 130.0);
        dc.fillRect({X(x), Y(y), X(x + 2), Y(y + 34)}, ce::createSolidBrush(kWater));
    }
    for (int gx = 0; gx <= 800; gx += 120) street(dc, X(gx), 0, X(gx), height, 6, kStreet);
    for (int gy = 0; gy <= 480; gy += 90) street(dc, 0, Y(gy), width, Y(gy), 6, kStreet);
    street(dc, X(310), 0, X(310), height, 12, kArterial);
    street(dc, 0, Y(350), width, Y(350), 12, kArterial);
    street(dc, 0, Y(170), width, Y(170), 10, kArterial);

    // The route, then the car on it.
    std::vector<P> path;
    for (const P& p : kRoutePath) path.push_back({static_cast<double>(X(p.x)), static_cast<double>(Y(p.y))});
    for (size_t i = 1; i < path.size(); ++i) {
        line(dc, static_cast<int>(path[i - 1].x), static_cast<int>(path[i - 1].y), static_cast<int>(path[i].x),
             static_cast<int>(path[i].y), 14, kRouteEdge);
        line(dc, static_cast<int>(path[i - 1].x), static_cast<int>(path[i - 1].y), static_cast<int>(path[i].x),
             static_cast<int>(path[i].y), 10, kRoute);
    }
    P dir{};
    const P car = pointAlong(path, state.travelledMetres, &dir);
    disc(dc, static_cast<int>(car.x), static_cast<int>(car.y), 13, ce::RGB(0xFF, 0xFF, 0xFF));
    disc(dc, static_cast<int>(car.x), static_cast<int>(car.y), 10, kCar);
    // The heading: a white nose in the direction of travel.
    line(dc, static_cast<int>(car.x), static_cast<int>(car.y), static_cast<int>(car.x + dir.x * 9),
         static_cast<int>(car.y + dir.y * 9), 4, ce::RGB(0xFF, 0xFF, 0xFF));

    // A status line and the speed in the top-right corner.
    dc.fillRect({width - 300, 0, width, 34}, ce::createSolidBrush(ce::RGB(0x22, 0x2A, 0x36)));
    dc.selectObject(ce::createFont(20, ce::FW_BOLD));
    dc.setBkMode(ce::TRANSPARENT);
    dc.setTextColor(ce::RGB(0xFF, 0xFF, 0xFF));
    const std::string text = fmt::format("Kelo  {} km/h  {}", state.speedKmh, state.status);
    ce::drawText(dc, text, ce::Rect{width - 292, 0, width - 6, 34}, ce::DT_VCENTER | ce::DT_SINGLELINE | ce::DT_END_ELLIPSIS);
}

}  // namespace sim::nav
