#pragma once
// The drawing kit of the panel's artwork generator: pictures of 24-bit colours, shapes given
// as point tests (thick polylines, polygons, discs, rings) painted with 4 x 4 supersampling,
// a small block font for the numbers and letters on signs, and the BMP writer.
//
// Edges are smoothed against the colour the picture shows behind them (its backdrop), never
// against a key colour, so a colour-keyed icon has no fringe of the key around its shapes.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace panelart {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

struct Pt {
    double x = 0, y = 0;
};

// A shape: which points (in pixel coordinates, pixel centres at +0.5) it covers.
using Shape = std::function<bool(double x, double y)>;

Shape polyline(std::vector<Pt> points, double width);  // round joins and caps
Shape polygon(std::vector<Pt> points);                   // even-odd fill
Shape disc(Pt centre, double radius);
Shape ring(Pt centre, double inner, double outer);
Shape box(double left, double top, double right, double bottom);  // right and bottom excluded
Shape roundedBox(double left, double top, double right, double bottom, double radius);
Shape unite(std::vector<Shape> shapes);
// An arrowhead: a triangle with its tip at `tip`, pointing along the unit direction `dir`.
Shape arrowHead(Pt tip, Pt dir, double length, double halfWidth);
// Text in the block font (digits, a few capitals, '-', '.'), each cell `scale` pixels per dot,
// centred on `centre`.
Shape blockText(const std::string& text, Pt centre, double scale);

struct Picture {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;  // top row first
    Picture(int w, int h, Rgb fill) : width(w), height(h), pixels(static_cast<size_t>(w * h), fill) {}
    Rgb& at(int x, int y) { return pixels[static_cast<size_t>(y * width + x)]; }
    void fill(int x0, int y0, int x1, int y1, Rgb c);  // x1, y1 excluded; clipped
};

struct Layer {
    Shape shape;
    Rgb colour;
};

// Paints the layers (later ones on top) over `backdrop`. Pixels that no layer touches get
// `empty` (the key colour of a keyed icon, or the backdrop itself).
Picture render(int width, int height, Rgb backdrop, Rgb empty, const std::vector<Layer>& layers);

// A 24-bit bottom-up BMP file of the picture.
std::vector<uint8_t> bmpFile(const Picture& picture);

}  // namespace panelart
