// Draws the installer's artwork and writes it as the files the program embeds:
//   bitmap 131  800 x 480, 4 bits per pixel: a light header band for the title and the Exit
//               button, a blue backdrop, and a light panel holding a white strip at
//               117, 169, 568 x 50 behind the black status text;
//   icon 128    32 x 32 and 16 x 16, 16 colours: an amber disc with a blue arrow into a tray.
// usage: generate_artwork OUT_DIR  (writes bitmap131.bmp, icon128.ico and artwork_data.cpp)

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The 16-colour palette shared by both pictures (0x00RRGGBB).
enum Ink : uint8_t {
    kBlack, kWhite, kHeader, kHeaderLine, kAmber, kPanel, kPanelEdge, kStripEdge,
    kBlue0, kBlue1, kBlue2, kBlue3, kBlue4, kBlue5, kArrow, kShadow
};
constexpr std::array<uint32_t, 16> kPalette = {
    0x000000, 0xFFFFFF, 0xDCE6F0, 0xB8C8D8, 0xF2A900, 0xEEF2F6, 0x8FA5BC, 0xC3D0DD,
    0x0F2440, 0x132B4C, 0x173358, 0x1B3B64, 0x1F4370, 0x234B7C, 0x1F5C99, 0x0A1A30,
};

struct Picture {
    int width, height;
    std::vector<uint8_t> ink;  // one palette index per pixel, top row first
    Picture(int w, int h, uint8_t fill) : width(w), height(h), ink(static_cast<size_t>(w * h), fill) {}
    void set(int x, int y, uint8_t i) {
        if (x >= 0 && y >= 0 && x < width && y < height) ink[static_cast<size_t>(y * width + x)] = i;
    }
    void fill(int x0, int y0, int x1, int y1, uint8_t i) {  // x1, y1 excluded
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) set(x, y, i);
    }
    void frame(int x0, int y0, int x1, int y1, uint8_t i) {
        fill(x0, y0, x1, y0 + 1, i);
        fill(x0, y1 - 1, x1, y1, i);
        fill(x0, y0, x0 + 1, y1, i);
        fill(x1 - 1, y0, x1, y1, i);
    }
};

void put16(Bytes& b, uint32_t v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); }
void put32(Bytes& b, uint32_t v) { put16(b, v & 0xFFFF); put16(b, v >> 16); }

// BITMAPINFOHEADER + palette + 4-bit rows (bottom-up), optionally followed by a 1-bit AND
// mask of zeros (an icon image: its header height counts both).
Bytes dib(const Picture& p, bool withMask) {
    const uint32_t rowBytes = ((static_cast<uint32_t>(p.width) * 4 + 31) / 32) * 4;
    const uint32_t maskRow = ((static_cast<uint32_t>(p.width) + 31) / 32) * 4;
    Bytes b;
    put32(b, 40);
    put32(b, static_cast<uint32_t>(p.width));
    put32(b, static_cast<uint32_t>(withMask ? p.height * 2 : p.height));
    put16(b, 1);
    put16(b, 4);
    put32(b, 0);
    put32(b, rowBytes * static_cast<uint32_t>(p.height));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 16);
    put32(b, 0);
    for (uint32_t c : kPalette) {
        b.push_back(c & 0xFF);
        b.push_back((c >> 8) & 0xFF);
        b.push_back((c >> 16) & 0xFF);
        b.push_back(0);
    }
    for (int y = p.height - 1; y >= 0; --y) {
        Bytes row(rowBytes, 0);
        for (int x = 0; x < p.width; ++x) {
            const uint8_t i = p.ink[static_cast<size_t>(y * p.width + x)];
            row[static_cast<size_t>(x / 2)] |= (x % 2 == 0) ? static_cast<uint8_t>(i << 4) : i;
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    if (withMask) b.insert(b.end(), maskRow * static_cast<uint32_t>(p.height), 0);
    return b;
}

Bytes bmpFile(const Picture& p) {
    const Bytes body = dib(p, false);
    Bytes b = {'B', 'M'};
    put32(b, static_cast<uint32_t>(14 + body.size()));
    put32(b, 0);
    put32(b, 14 + 40 + 16 * 4);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes icoFile(const std::vector<Picture>& images) {
    Bytes b;
    put16(b, 0);
    put16(b, 1);
    put16(b, static_cast<uint32_t>(images.size()));
    std::vector<Bytes> bodies;
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (const auto& p : images) {
        bodies.push_back(dib(p, true));
        b.push_back(static_cast<uint8_t>(p.width));
        b.push_back(static_cast<uint8_t>(p.height));
        b.push_back(16);
        b.push_back(0);
        put16(b, 1);
        put16(b, 4);
        put32(b, static_cast<uint32_t>(bodies.back().size()));
        put32(b, offset);
        offset += static_cast<uint32_t>(bodies.back().size());
    }
    for (const auto& body : bodies) b.insert(b.end(), body.begin(), body.end());
    return b;
}

Picture background() {
    Picture p(800, 480, kBlue0);
    // Backdrop: bands from dark to lighter blue, dithered where two bands meet.
    const uint8_t bands[] = {kBlue0, kBlue1, kBlue2, kBlue3, kBlue4, kBlue5};
    for (int y = 64; y < 480; ++y) {
        const double t = (y - 64) / 416.0 * 5.0;
        const int band = static_cast<int>(t);
        const double frac = t - band;
        for (int x = 0; x < 800; ++x) {
            const bool next = frac > 0.5 && ((x + y) % 2 == 0) && band < 5;
            p.set(x, y, bands[next ? band + 1 : band]);
        }
    }
    p.fill(0, 0, 800, 60, kHeader);  // behind the title and the Exit button
    p.fill(0, 60, 800, 61, kHeaderLine);
    p.fill(0, 61, 800, 64, kAmber);
    // The panel behind the progress bar and the status line, with a soft shadow.
    p.fill(96, 136, 716, 356, kShadow);
    p.fill(90, 130, 710, 350, kPanel);
    p.frame(90, 130, 710, 350, kPanelEdge);
    // The status strip: plain white where the text goes (117, 169, 568 x 50).
    p.frame(116, 168, 686, 220, kStripEdge);
    p.fill(117, 169, 685, 219, kWhite);
    // Three amber chevrons in the lower right corner.
    for (int c = 0; c < 3; ++c) {
        const int x0 = 660 + c * 30;
        for (int d = 0; d < 16; ++d) {
            p.fill(x0 + d, 410 + d, x0 + d + 6, 411 + d, kAmber);
            p.fill(x0 + d, 441 - d, x0 + d + 6, 442 - d, kAmber);
        }
    }
    return p;
}

Picture icon(int size) {
    Picture p(size, size, kBlack);
    const double centre = (size - 1) / 2.0;
    const double radius = size / 2.0 - 0.5;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (std::hypot(x - centre, y - centre) <= radius) p.set(x, y, kAmber);
    // A down arrow over a tray, scaled from the 32-pixel drawing.
    const auto s = [size](int v) { return v * size / 32; };
    p.fill(s(13), s(6), s(19), s(17), kArrow);
    for (int d = 0; d < s(7); ++d) p.fill(s(9) + d, s(17) + d, s(23) - d, s(18) + d, kArrow);
    p.fill(s(7), s(23), s(25), s(26), kArrow);
    p.fill(s(7), s(19), s(10), s(26), kArrow);
    p.fill(s(22), s(19), s(25), s(26), kArrow);
    return p;
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string cArray(const char* name, const Bytes& bytes) {
    std::string s = "extern const unsigned char " + std::string(name) + "[] = {";
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % 24 == 0) s += "\n   ";
        s += ' ';
        s += std::to_string(bytes[i]);
        s += ',';
    }
    s += "\n};\nextern const std::size_t " + std::string(name) + "Size = sizeof " + name + ";\n";
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: generate_artwork OUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const Bytes bitmap = bmpFile(background());
    const Bytes ico = icoFile({icon(32), icon(16)});
    const std::string source = "// Generated by installer/art/generate_artwork.cpp; do not edit.\n#include <cstddef>\n\n"
                               "namespace installer::artwork {\n" +
                               cArray("kBitmap131", bitmap) + cArray("kIcon128", ico) + "}\n";
    if (!writeFile(dir + "/bitmap131.bmp", bitmap) || !writeFile(dir + "/icon128.ico", ico) ||
        !writeFile(dir + "/artwork_data.cpp", Bytes(source.begin(), source.end()))) {
        std::fprintf(stderr, "generate_artwork: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
