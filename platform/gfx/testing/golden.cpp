#include "platform/gfx/testing/golden.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/gfx/png.h"

namespace ce::testing {
namespace {

int channelDiff(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift <= 16; shift += 8)
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return worst;
}

std::string hex(uint32_t p) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%06X", p & 0xFFFFFF);
    return buf;
}

}  // namespace

GoldenResult compareWithGolden(const Surface& actual, const std::filesystem::path& expected,
                               const std::filesystem::path& actualOutDir, GoldenTolerance tolerance) {
    GoldenResult result;
    if (const char* update = std::getenv("HU_UPDATE_GOLDEN"); update != nullptr && std::string(update) == "1") {
        std::filesystem::create_directories(expected.parent_path());
        result.ok = writePng(actual, expected) == 0;
        if (!result.ok) result.message = "cannot write " + expected.string();
        return result;
    }
    std::ostringstream msg;
    const auto saveActual = [&] {
        std::error_code ec;
        std::filesystem::create_directories(actualOutDir, ec);
        const auto out = actualOutDir / (expected.stem().string() + ".actual.png");
        if (writePng(actual, out) == 0) msg << "; actual image written to " << out.string();
    };

    auto golden = readPng(expected);
    if (!golden) {
        msg << "cannot read expected image " << expected.string() << " (error " << golden.error() << ")";
        saveActual();
        result.message = msg.str();
        return result;
    }
    if (golden->width() != actual.width() || golden->height() != actual.height()) {
        msg << expected.filename().string() << ": size " << actual.width() << "x" << actual.height() << ", expected "
            << golden->width() << "x" << golden->height();
        saveActual();
        result.message = msg.str();
        return result;
    }
    int64_t bad = 0;
    int firstX = -1, firstY = -1;
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (channelDiff(actual.row(y)[x], golden->row(y)[x]) > tolerance.channel) {
                if (bad++ == 0) { firstX = x; firstY = y; }
            }
    const int64_t total = static_cast<int64_t>(actual.width()) * actual.height();
    if (bad <= static_cast<int64_t>(tolerance.badFraction * static_cast<double>(total))) {
        result.ok = true;
        return result;
    }
    msg << expected.filename().string() << ": " << bad << " of " << total << " pixels differ by more than "
        << tolerance.channel << "; first at (" << firstX << ", " << firstY << "): actual "
        << hex(actual.row(firstY)[firstX]) << ", expected " << hex(golden->row(firstY)[firstX]);
    saveActual();
    result.message = msg.str();
    return result;
}

}  // namespace ce::testing
