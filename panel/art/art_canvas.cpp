#include "panel/art/art_canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace panelart {

namespace {

double segmentDistance(Pt p, Pt a, Pt b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// 5 x 7 dot glyphs, one string of 7 rows each.
const std::map<char, std::array<const char*, 7>>& glyphs() {
    static const std::map<char, std::array<const char*, 7>> g = {
        {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
        {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
        {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
        {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
        {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
        {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
        {'6', {".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."}},
        {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
        {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
        {'9', {".###.", "#...#", "#...#", ".####", "....#", "....#", ".###."}},
        {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
        {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
        {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
        {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
        {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
        {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."}},
        {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
        {'J', {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
        {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
        {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
        {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
        {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
        {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
        {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
        {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
        {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
        {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
        {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
        {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
        {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
        {'-', {".....", ".....", ".....", ".###.", ".....", ".....", "....."}},
        {'.', {".....", ".....", ".....", ".....", ".....", ".##..", ".##.."}},
        {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
    };
    return g;
}

}  // namespace

Shape polyline(std::vector<Pt> points, double width) {
    return [points = std::move(points), half = width / 2](double x, double y) {
        for (size_t i = 1; i < points.size(); ++i)
            if (segmentDistance({x, y}, points[i - 1], points[i]) <= half) return true;
        return points.size() == 1 && std::hypot(x - points[0].x, y - points[0].y) <= half;
    };
}

Shape polygon(std::vector<Pt> points) {
    return [points = std::move(points)](double x, double y) {
        bool inside = false;
        for (size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            const Pt& a = points[i];
            const Pt& b = points[j];
            if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) inside = !inside;
        }
        return inside;
    };
}

Shape disc(Pt c, double r) {
    return [c, r](double x, double y) { return std::hypot(x - c.x, y - c.y) <= r; };
}

Shape ring(Pt c, double inner, double outer) {
    return [c, inner, outer](double x, double y) {
        const double d = std::hypot(x - c.x, y - c.y);
        return d >= inner && d <= outer;
    };
}

Shape box(double l, double t, double r, double b) {
    return [=](double x, double y) { return x >= l && x < r && y >= t && y < b; };
}

Shape roundedBox(double l, double t, double r, double b, double radius) {
    return [=](double x, double y) {
        if (x < l || x >= r || y < t || y >= b) return false;
        const double cx = std::clamp(x, l + radius, r - radius), cy = std::clamp(y, t + radius, b - radius);
        return std::hypot(x - cx, y - cy) <= radius;
    };
}

Shape unite(std::vector<Shape> shapes) {
    return [shapes = std::move(shapes)](double x, double y) {
        for (const auto& s : shapes)
            if (s(x, y)) return true;
        return false;
    };
}

Shape arrowHead(Pt tip, Pt dir, double length, double halfWidth) {
    const Pt base{tip.x - dir.x * length, tip.y - dir.y * length};
    const Pt side{-dir.y * halfWidth, dir.x * halfWidth};
    return polygon({tip, {base.x + side.x, base.y + side.y}, {base.x - side.x, base.y - side.y}});
}

Shape blockText(const std::string& text, Pt centre, double scale) {
    const double width = (static_cast<double>(text.size()) * 6 - 1) * scale;
    const double left = centre.x - width / 2, top = centre.y - 3.5 * scale;
    return [text, left, top, scale](double x, double y) {
        const int col = static_cast<int>(std::floor((x - left) / scale));
        const int row = static_cast<int>(std::floor((y - top) / scale));
        if (col < 0 || row < 0 || row >= 7) return false;
        const size_t ch = static_cast<size_t>(col / 6);
        if (ch >= text.size() || col % 6 == 5) return false;
        auto it = glyphs().find(text[ch]);
        return it != glyphs().end() && it->second[static_cast<size_t>(row)][col % 6] == '#';
    };
}

void Picture::fill(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(width, x1); ++x) at(x, y) = c;
}

Picture render(int width, int height, Rgb backdrop, Rgb empty, const std::vector<Layer>& layers) {
    constexpr int kSub = 4;
    Picture p(width, height, empty);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int r = 0, g = 0, b = 0, touched = 0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const double px = x + (sx + 0.5) / kSub, py = y + (sy + 0.5) / kSub;
                    Rgb c = backdrop;
                    for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
                        if (it->shape(px, py)) {
                            c = it->colour;
                            ++touched;
                            break;
                        }
                    }
                    r += c.r;
                    g += c.g;
                    b += c.b;
                }
            }
            if (!touched) continue;
            constexpr int n = kSub * kSub;
            p.at(x, y) = {static_cast<uint8_t>((r + n / 2) / n), static_cast<uint8_t>((g + n / 2) / n),
                          static_cast<uint8_t>((b + n / 2) / n)};
        }
    }
    return p;
}

std::vector<uint8_t> bmpFile(const Picture& p) {
    const uint32_t rowBytes = (static_cast<uint32_t>(p.width) * 3 + 3) / 4 * 4;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(p.height);
    std::vector<uint8_t> b;
    auto put = [&b](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    b.push_back('B');
    b.push_back('M');
    put(54 + imageBytes, 4);
    put(0, 4);
    put(54, 4);
    put(40, 4);
    put(static_cast<uint32_t>(p.width), 4);
    put(static_cast<uint32_t>(p.height), 4);  // positive: bottom-up rows
    put(1, 2);
    put(24, 2);
    put(0, 4);
    put(imageBytes, 4);
    put(2835, 4);
    put(2835, 4);
    put(0, 4);
    put(0, 4);
    for (int y = p.height - 1; y >= 0; --y) {
        const size_t start = b.size();
        for (int x = 0; x < p.width; ++x) {
            const Rgb& c = p.pixels[static_cast<size_t>(y * p.width + x)];
            b.push_back(c.b);
            b.push_back(c.g);
            b.push_back(c.r);
        }
        b.resize(start + rowBytes, 0);
    }
    return b;
}

}  // namespace panelart
