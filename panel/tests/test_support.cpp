#include "panel/tests/test_support.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include "panel/images/image_table.h"
#include "platform/core/time.h"
#include "platform/gfx/bmp.h"
#include "platform/ui/desktop.h"
#include "platform/ui/message.h"

namespace panel::testing {

namespace fs = std::filesystem;

namespace {

sim::TempHeadUnit* g_unit = nullptr;

class HeadUnitEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        delete g_unit;
        g_unit = nullptr;
    }
};

[[maybe_unused]] const auto* g_environment = ::testing::AddGlobalTestEnvironment(new HeadUnitEnvironment);

}  // namespace

sim::TempHeadUnit& HeadUnit() {
    if (!g_unit) g_unit = new sim::TempHeadUnit();
    return *g_unit;
}

fs::path ImageFolder() { return HeadUnit().nand() / "ZEK" / "Kelo_ZEK_IMG"; }

uint32_t PositionPixel(int x, int y, int salt) {
    // Red and green hold the low bits of x and y, blue their high bits and the salt.
    return (static_cast<uint32_t>(x & 0xFF) << 16) | (static_cast<uint32_t>(y & 0xFF) << 8) |
           static_cast<uint32_t>(((x >> 8) & 3) | (((y >> 8) & 3) << 2) | ((salt & 0xF) << 4));
}

ce::Surface PositionCoded(int width, int height, int salt) {
    ce::Surface picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.setPixel(x, y, PositionPixel(x, y, salt));
    return picture;
}

ce::Surface Solid(int width, int height, uint32_t pixel) { return ce::Surface(width, height, pixel); }

ce::Surface KeyedIcon(int width, int height, uint32_t pixel, uint32_t keyPixel) {
    ce::Surface icon(width, height, pixel);
    icon.fillRect(ce::Rect{0, 0, width / 2, height / 2}, keyPixel);
    return icon;
}

void WriteBitmap(const fs::path& file, const ce::Surface& picture) {
    fs::create_directories(file.parent_path());
    const std::vector<uint8_t> bytes = ce::encodeBmp24(picture);
    FILE* out = std::fopen(file.c_str(), "wb");
    ASSERT_NE(out, nullptr) << file;
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
}

uint32_t IconPixel(int imageId) {
    // Distinct, never the key colours, never black.
    return 0x100000u * static_cast<uint32_t>(1 + imageId % 15) + 0x000100u * static_cast<uint32_t>(40 + imageId * 2) + 0x21;
}

void InstallTestImages(const std::vector<std::string>& skip) {
    RemoveTestImages();
    const auto table = MakeImageTable();
    for (const ImageEntry& entry : table) {
        if (entry.id < 0) break;
        if (std::find(skip.begin(), skip.end(), entry.fileName) != skip.end()) continue;
        ce::Surface picture;
        if (entry.id == IMG_BG_HORIZONTAL) picture = PositionCoded(800, 150, kHorizontalSalt);
        else if (entry.id == IMG_BG_VERTICAL) picture = PositionCoded(250, 480, kVerticalSalt);
        else if (entry.id >= IMG_BUTTON_ON_NORMAL) picture = KeyedIcon(57, 60, IconPixel(entry.id), kButtonKeyPixel);
        else picture = KeyedIcon(80, 70, IconPixel(entry.id), kTurnKeyPixel);
        WriteBitmap(ImageFolder() / entry.fileName, picture);
    }
}

void RemoveTestImages() {
    std::error_code ec;
    fs::remove_all(ImageFolder(), ec);
}

void PumpFor(uint32_t ms) {
    const uint32_t start = ce::tickCount();
    do {
        ce::Msg msg;
        while (ce::peekMessage(&msg)) {
            if (msg.message == ce::WM_QUIT) continue;
            ce::translateMessage(&msg);
            ce::dispatchMessage(&msg);
        }
        if (ce::tickCount() - start >= ms) break;
        ce::waitMessage(std::min<uint32_t>(10, ms - (ce::tickCount() - start)));
    } while (ce::tickCount() - start < ms);
}

bool PumpUntil(const std::function<bool()>& condition, uint32_t timeoutMs) {
    const uint32_t start = ce::tickCount();
    while (!condition()) {
        if (ce::tickCount() - start >= timeoutMs) return false;
        PumpFor(5);
    }
    return true;
}

RecordingOwner::RecordingOwner(ce::Rect rect) {
    ce::WindowSpec spec;
    spec.className = "PanelTestOwner";
    spec.title = "PanelTestOwner";
    spec.style = ce::WS_POPUP | ce::WS_VISIBLE;
    spec.rect = rect;
    create(spec);
}

ce::LRESULT RecordingOwner::windowProc(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam) {
    if (msg >= ce::WM_USER) messages.push_back(Posted{msg, wParam, lParam});
    return ce::Window::windowProc(msg, wParam, lParam);
}

std::vector<RecordingOwner::Posted> RecordingOwner::Of(ce::UINT msg) const {
    std::vector<Posted> out;
    for (const Posted& p : messages)
        if (p.msg == msg) out.push_back(p);
    return out;
}

ce::Surface CaptureWindow(ce::HWND topLevel) {
    auto shot = ce::captureWindow(topLevel);
    return shot ? **shot : ce::Surface();
}

ce::Surface CaptureScreen() {
    auto shot = ce::captureScreen();
    return shot ? **shot : ce::Surface();
}

std::string CompareArea(const ce::Surface& actual, ce::Point actualAt, const ce::Surface& expected, ce::Point expectedAt,
                        int width, int height) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t a = actual.pixel(actualAt.x + x, actualAt.y + y);
            const uint32_t e = expected.pixel(expectedAt.x + x, expectedAt.y + y);
            if (a != e)
                return fmt::format("at {},{} of the area: {:06X} where {:06X} was expected", x, y, a, e);
        }
    return {};
}

int CountPixels(const ce::Surface& picture, const ce::Rect& area, uint32_t pixel) {
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) count += picture.pixel(x, y) == pixel;
    return count;
}

}  // namespace panel::testing
