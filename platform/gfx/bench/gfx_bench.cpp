// Measures the composition of a full screen: the guidance panel's way of drawing, a background
// copy into an 800 x 480 back buffer, 8 text cells each composed on a piece of the background
// in a small surface and copied in, then the back buffer copied to the screen.
//
// Printed against a baseline measured in the same run: two plain full-screen copies, the
// least any composition of a full screen has to do. The copy must equal the background and
// every cell must hold drawn text before a figure is printed; each figure is the median of at
// least five runs (each the median of 200 compositions), taken in turn, with the spread.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/gfx/dc.h"
#include "platform/gfx/draw_text.h"
#include "platform/gfx/png.h"

namespace {

constexpr int kWidth = 800, kHeight = 480;
constexpr double kTargetMs = 2.0;

struct Cell {
    ce::Rect rect;
    int fontHeight;
    const char* text;
};

const Cell kCells[8] = {
    {{20, 10, 380, 60}, 50, "1.2 km"},
    {{400, 10, 780, 60}, 44, "서울역 방면"},
    {{20, 80, 380, 125}, 40, "Невский проспект"},
    {{400, 80, 780, 125}, 40, "강남대로 교차로에서 우회전하세요"},
    {{20, 150, 380, 190}, 36, "Main Street"},
    {{400, 150, 780, 190}, 34, "120 km/h"},
    {{20, 220, 380, 255}, 30, "Камера скорости 300 м"},
    {{400, 220, 780, 255}, 30, "도착 예정 12:45"},
};

// Seconds of one call, the median of 200.
template <class F>
double medianSeconds(F&& f) {
    bench::Samples times;
    for (int i = 0; i < 200; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        times.values.push_back(bench::SecondsSince(t0));
    }
    return times.median();
}

// True when some pixel of the rectangle differs from the background's.
bool drawnIn(const ce::Surface& screen, const ce::Surface& background, const ce::Rect& r) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (screen.row(y)[x] != background.row(y)[x]) return true;
    return false;
}

}  // namespace

// gfx_bench [--png FILE]: FILE receives the composed screen, to see what was measured.
int main(int argc, char** argv) {
    ce::Surface screen(kWidth, kHeight);
    ce::Dc screenDc(screen);
    auto background = std::make_shared<ce::Surface>(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) background->row(y)[x] = static_cast<uint32_t>((x * 255 / kWidth) << 16 | (y * 255 / kHeight) << 8 | 0x40);
    ce::Dc backgroundDc = ce::Dc::createCompatibleDC(&screenDc);
    backgroundDc.selectObject(background);
    ce::Dc backBuffer = ce::Dc::createCompatibleDC(&screenDc);
    backBuffer.selectObject(ce::createCompatibleBitmap(screenDc, kWidth, kHeight));

    const auto baseline = [&] {
        backBuffer.bitBlt(0, 0, kWidth, kHeight, backgroundDc, 0, 0, ce::SRCCOPY);
        screenDc.bitBlt(0, 0, kWidth, kHeight, backBuffer, 0, 0, ce::SRCCOPY);
    };
    const auto compose = [&] {
        backBuffer.bitBlt(0, 0, kWidth, kHeight, backgroundDc, 0, 0, ce::SRCCOPY);
        for (const Cell& cell : kCells) {
            // As the panel does it: a font per draw (cached), a temporary surface per cell.
            ce::HFONT font = ce::createFont(cell.fontHeight, ce::FW_BOLD, "나눔고딕");
            const int w = cell.rect.width(), h = cell.rect.height();
            ce::Dc temp = ce::Dc::createCompatibleDC(&backBuffer);
            temp.selectObject(ce::createCompatibleBitmap(backBuffer, w, h));
            temp.bitBlt(0, 0, w, h, backgroundDc, cell.rect.left, cell.rect.top, ce::SRCCOPY);
            temp.selectObject(font);
            temp.setBkMode(ce::TRANSPARENT);
            temp.setTextColor(ce::RGB(0, 0, 0));
            ce::drawText(temp, cell.text, ce::Rect{1, 1, w + 1, h + 1}, ce::DT_VCENTER | ce::DT_SINGLELINE | ce::DT_END_ELLIPSIS);
            temp.setTextColor(ce::RGB(255, 255, 255));
            ce::drawText(temp, cell.text, ce::Rect{0, 0, w, h}, ce::DT_VCENTER | ce::DT_SINGLELINE | ce::DT_END_ELLIPSIS);
            backBuffer.bitBlt(cell.rect.left, cell.rect.top, w, h, temp, 0, 0, ce::SRCCOPY);
        }
        screenDc.bitBlt(0, 0, kWidth, kHeight, backBuffer, 0, 0, ce::SRCCOPY);
    };

    bench::PrintHeading("gfx_bench", "full-screen composition, 800x480, 8 bold text cells of 30-50 px");
    baseline();
    bool copied = true;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) copied = copied && screen.row(y)[x] == background->row(y)[x];
    bench::Require(copied, "the full-screen copy differs from the background");
    const auto t0 = std::chrono::steady_clock::now();
    compose();  // first run: loads the faces and renders every glyph
    const double coldMs = bench::SecondsSince(t0) * 1e3;
    for (const Cell& cell : kCells)
        bench::Require(drawnIn(screen, *background, cell.rect), std::string("no text drawn in the cell of ") + cell.text);

    const auto runs = bench::Interleaved(bench::Runs(), {[&] { return medianSeconds(baseline); },
                                                         [&] { return medianSeconds(compose); }});
    const double baseMs = runs[0].median() * 1e3, composeMs = runs[1].median() * 1e3;
    std::printf("  baseline (two full-screen copies)  %s\n", runs[0].describe(1e3, "ms", 3).c_str());
    std::printf("  composition, first run (cold)       %8.3f ms\n", coldMs);
    std::printf("  composition                         %s  (%.1f x baseline)\n", runs[1].describe(1e3, "ms", 3).c_str(),
                composeMs / baseMs);
    std::printf("  target < %.1f ms: %s\n", kTargetMs, composeMs < kTargetMs ? "ok" : "MISSED");
    bench::PrintMachineAfter();
    if (argc == 3 && std::string(argv[1]) == "--png" && ce::writePng(screen, argv[2]) != 0)
        std::fprintf(stderr, "gfx_bench: cannot write %s\n", argv[2]);
    return composeMs < kTargetMs ? 0 : 1;
}
