// swathchart: writes the test chart the demo prints: colour patches at every
// dot level, ink gradients, fine lines both ways and small text, as an RGB
// PNG at the print resolution (one pixel per dot).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "font.h"
#include "image.h"
#include "swathlink_version.h"

namespace swathchart {

namespace {

using swathprint::Image;

struct Rgb {
    uint8_t r, g, b;
};

constexpr Rgb kBlack = {0, 0, 0};
constexpr double kWidthMm = 125;
constexpr double kHeightMm = 76;

// Ink coverage of a patch at dot level 1, 2 or 3 (of 3): the screen prints
// such a flat tone as that one level everywhere.
uint8_t LightAtLevel(int level) { return static_cast<uint8_t>(255 - 85 * level); }

struct Canvas {
    Image image;
    double dpi = 720;
    int Px(double mm) const { return static_cast<int>(std::lround(mm * dpi / 25.4)); }
};

void Fill(Canvas *c, int x0, int y0, int w, int h, Rgb rgb) {
    for (int y = std::max(0, y0); y < std::min<int>(y0 + h, c->image.height); ++y) {
        for (int x = std::max(0, x0); x < std::min<int>(x0 + w, c->image.width); ++x) {
            uint16_t *px = &c->image.samples[(size_t(y) * c->image.width + x) * 3];
            px[0] = static_cast<uint16_t>(rgb.r * 257);
            px[1] = static_cast<uint16_t>(rgb.g * 257);
            px[2] = static_cast<uint16_t>(rgb.b * 257);
        }
    }
}

// Text at `scale` pixels per font dot, its top left corner at (x, y).
void Text(Canvas *c, int x, int y, int scale, const std::string &text) {
    for (char ch : text) {
        if (const uint8_t *rows = GlyphRows(ch)) {
            for (int r = 0; r < kGlyphRows; ++r)
                for (int col = 0; col < kGlyphColumns; ++col)
                    if (rows[r] >> (kGlyphColumns - 1 - col) & 1)
                        Fill(c, x + col * scale, y + r * scale, scale, scale, kBlack);
        }
        x += (kGlyphColumns + 1) * scale;
    }
}

int LabelScale(const Canvas &c) { return std::max(1, c.Px(2.2) / kGlyphRows); }

// Seven inks and ink pairs, each at levels 1 to 3 down a column.
void Patches(Canvas *c, double x_mm, double y_mm) {
    struct Ink {
        const char *name;
        bool r, g, b;  // which of R, G, B the ink takes away
    };
    static constexpr Ink kInks[] = {{"K", true, true, true},   {"C", true, false, false},
                                    {"M", false, true, false}, {"Y", false, false, true},
                                    {"R", false, true, true},  {"G", true, false, true},
                                    {"B", true, true, false}};
    const int scale = LabelScale(*c);
    for (int level = 1; level <= 3; ++level)
        Text(c, c->Px(x_mm), c->Px(y_mm + 4 + 10 * (level - 1) + 3), scale, std::to_string(level));
    for (size_t i = 0; i < std::size(kInks); ++i) {
        const Ink &ink = kInks[i];
        const double px_mm = x_mm + 5 + 12 * i;
        Text(c, c->Px(px_mm + 3), c->Px(y_mm), scale, ink.name);
        for (int level = 1; level <= 3; ++level) {
            const uint8_t v = LightAtLevel(level);
            const Rgb rgb = {ink.r ? v : uint8_t(255), ink.g ? v : uint8_t(255), ink.b ? v : uint8_t(255)};
            Fill(c, c->Px(px_mm), c->Px(y_mm + 4 + 10 * (level - 1)), c->Px(10), c->Px(8), rgb);
        }
    }
}

// Ramps from no ink to full ink of K, C, M and Y.
void Gradients(Canvas *c, double x_mm, double y_mm, double w_mm) {
    const char *names[] = {"K", "C", "M", "Y"};
    const int x0 = c->Px(x_mm + 5), w = c->Px(w_mm), h = c->Px(4);
    for (int row = 0; row < 4; ++row) {
        const int y0 = c->Px(y_mm + 5 * row);
        Text(c, c->Px(x_mm), y0 + c->Px(0.8), LabelScale(*c), names[row]);
        for (int x = 0; x < w; ++x) {
            const uint8_t v = static_cast<uint8_t>(std::lround(255.0 * (w - 1 - x) / (w - 1)));
            const Rgb rgb = {row == 0 || row == 1 ? v : uint8_t(255), row == 0 || row == 2 ? v : uint8_t(255),
                             row == 0 || row == 3 ? v : uint8_t(255)};
            Fill(c, x0 + x, y0, 1, h, rgb);
        }
    }
}

// One-dot lines, vertical and horizontal, at pitches of 2 to 8 dots.
void FineLines(Canvas *c, double x_mm, double y_mm) {
    const int pitches[] = {2, 3, 4, 8};
    const int size = c->Px(7);
    for (size_t i = 0; i < std::size(pitches); ++i) {
        const int p = pitches[i];
        const int y0 = c->Px(y_mm + 8 * i);
        Text(c, c->Px(x_mm), y0 + c->Px(2.4), LabelScale(*c), std::to_string(p));
        const int vx = c->Px(x_mm + 4), hx = c->Px(x_mm + 13);
        for (int d = 0; d < size; d += p) {
            Fill(c, vx + d, y0, 1, size, kBlack);
            Fill(c, hx, y0 + d, size, 1, kBlack);
        }
    }
}

void SmallText(Canvas *c, double x_mm, double y_mm) {
    const std::string pangram = "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG 0123456789 .-:/%=";
    int y = c->Px(y_mm);
    for (int scale = 1; scale <= 4; ++scale) {
        Text(c, c->Px(x_mm), y, scale, std::to_string(scale) + ": " + pangram);
        y += (kGlyphRows + 3) * scale;
    }
}

void DrawChart(Canvas *c) {
    Text(c, c->Px(4), c->Px(3), LabelScale(*c) + 2,
         "SWATHLINK TEST CHART  " + std::to_string(int(c->dpi)) + " DPI");
    Patches(c, 4, 10);
    FineLines(c, 96, 10);
    Gradients(c, 4, 45, 110);
    SmallText(c, 4, 66);
}

void PrintUsage(std::FILE *to) {
    std::fprintf(to,
                 "usage: swathchart OUTPUT.png [DPI]\n"
                 "Writes the test chart, %g x %g mm, as an RGB PNG at DPI (72..2880, default 720).\n"
                 "  --help       print this help and exit\n"
                 "  --version    print the version and exit\n",
                 kWidthMm, kHeightMm);
}

}  // namespace

int Run(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("swathchart %s\n", SWATHLINK_VERSION);
        return 0;
    }
    if (argc < 2 || std::strncmp(argv[1], "--", 2) == 0) {
        PrintUsage(stderr);
        return 2;
    }
    Canvas c;
    c.dpi = argc > 2 ? std::atof(argv[2]) : 720;
    if (!(c.dpi >= 72 && c.dpi <= 2880)) {
        std::fprintf(stderr, "swathchart: DPI must lie in 72..2880\n");
        return 2;
    }
    c.image.width = static_cast<uint32_t>(c.Px(kWidthMm));
    c.image.height = static_cast<uint32_t>(c.Px(kHeightMm));
    c.image.model = swathprint::ColorModel::kRgb;
    c.image.xdpi = c.image.ydpi = c.dpi;
    c.image.samples.assign(size_t(c.image.width) * c.image.height * 3, 65535);
    DrawChart(&c);
    std::string error;
    if (!swathprint::WritePng(argv[1], c.image, 8, &error)) {
        std::fprintf(stderr, "swathchart: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace swathchart

int main(int argc, char **argv) { return swathchart::Run(argc, argv); }
