// Numbered images of kelvanebmp, drawn in code: the window icon and the two
// toolbar strips. Each image is rendered once, on first request, into static
// storage that lives as long as the library.

#include "kelvanebmp.h"
#include "kelvanebmp_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace {

using namespace kelvanebmp;

// ---- Toolbar glyphs, each on an 18 x 17 slot --------------------------------

void Communication(Painter &p) {
    p.Polyline({{4.5f, 7.0f}, {4.5f, 12.5f}, {11.0f, 12.5f}}, 2.0f, kGreen);
    p.Box(1, 1, 8, 7, kLightBlue);
    p.Box(10, 9, 7, 7, kLightBlue);
    p.Rect(3, 3, 4, 3, kBlue);
    p.Rect(12, 11, 3, 3, kBlue);
}

void Folder(Painter &p) {
    p.Box(1, 2, 7, 4, kDarkYellow);
    p.Box(1, 4, 16, 11, kDarkYellow);
    p.Polygon({{3.0f, 7.0f}, {17.0f, 7.0f}, {15.0f, 15.0f}, {1.0f, 15.0f}}, kInk);
    p.Polygon({{4.0f, 8.0f}, {16.0f, 8.0f}, {14.2f, 14.0f}, {2.2f, 14.0f}}, kYellow);
}

void Gear(Painter &p) {
    const float cx = 9.0f, cy = 8.5f;
    for (int i = 0; i < 8; ++i) {
        const float a = static_cast<float>(i) * 3.14159265f / 4.0f;
        p.Line({cx, cy}, {cx + 7.2f * std::cos(a), cy + 7.2f * std::sin(a)}, 3.0f, kDarkGrey);
    }
    p.Disc(cx, cy, 5.5f, kDarkGrey);
    p.Disc(cx, cy, 4.2f, kGrey);
    p.Disc(cx, cy, 2.0f, kClear);
}

void Remote(Painter &p) {
    p.RoundRect(5, 0, 8, 17, 2.0f, kDarkGrey);
    p.Disc(9.0f, 3.0f, 1.6f, kRed);
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 2; ++col) p.Rect(7 + 3 * col, 6 + 3 * row, 2, 2, kLightGrey);
    p.Rect(7, 15, 4, 1, kLightBlue);
}

void Chip(Painter &p, int y) {
    for (int i = 0; i < 5; ++i) {
        p.Rect(4 + 2 * i, y - 1, 1, 1, kGrey);
        p.Rect(4 + 2 * i, y + 5, 1, 1, kGrey);
    }
    p.Box(2, y, 14, 5, kDarkGrey);
    p.Disc(4.5f, static_cast<float>(y) + 2.5f, 0.8f, kLightGrey);
}

void LoadRam(Painter &p) {
    Chip(p, 11);
    p.Rect(8, 0, 3, 6, kGreen);
    p.Polygon({{4.0f, 5.0f}, {15.0f, 5.0f}, {9.5f, 10.5f}}, kGreen);
}

void Disk(Painter &p) {
    p.Polygon({{1.0f, 1.0f}, {15.0f, 1.0f}, {17.0f, 3.0f}, {17.0f, 16.0f}, {1.0f, 16.0f}}, kNavy);
    p.Rect(4, 1, 10, 6, kWhite);
    p.Rect(5, 3, 8, 1, kLightGrey);
    p.Rect(5, 10, 9, 6, kLightGrey);
    p.Rect(10, 11, 2, 4, kDarkGrey);
}

void Plus(Painter &p) {
    p.Rect(7, 2, 4, 13, kGreen);
    p.Rect(2, 6, 14, 4, kGreen);
}

void Sliders(Painter &p) {
    const int knob[3] = {4, 11, 7};
    for (int i = 0; i < 3; ++i) {
        const int y = 3 + 5 * i;
        p.Rect(1, y, 16, 1, kGrey);
        p.Box(knob[i] - 1, y - 2, 4, 5, kBlue);
    }
}

void Info(Painter &p) {
    p.Disc(9.0f, 8.5f, 7.8f, kBlue);
    p.Rect(8, 3, 2, 2, kWhite);
    p.Rect(8, 6, 2, 7, kWhite);
    p.Rect(7, 12, 4, 1, kWhite);
}

void House(Painter &p) {
    p.Box(3, 8, 12, 8, kLightGrey);
    p.Rect(7, 11, 4, 5, kBrown);
    p.Polygon({{9.0f, 0.5f}, {17.5f, 9.0f}, {0.5f, 9.0f}}, kRed);
}

void Page(Painter &p, int x, int y, int w, int h) {
    const auto fx = static_cast<float>(x), fy = static_cast<float>(y);
    const auto fw = static_cast<float>(w), fh = static_cast<float>(h);
    p.Polygon({{fx, fy}, {fx + fw - 4, fy}, {fx + fw, fy + 4}, {fx + fw, fy + fh}, {fx, fy + fh}},
              kInk);
    p.Polygon({{fx + 1, fy + 1}, {fx + fw - 4, fy + 1}, {fx + fw - 1, fy + 4},
               {fx + fw - 1, fy + fh - 1}, {fx + 1, fy + fh - 1}},
              kWhite);
    p.Polygon({{fx + fw - 4, fy}, {fx + fw - 4, fy + 4}, {fx + fw, fy + 4}}, kGrey);
}

void NewPage(Painter &p) { Page(p, 3, 1, 12, 15); }

void Scissors(Painter &p) {
    p.Line({5.0f, 10.0f}, {13.0f, 0.5f}, 2.0f, kGrey);
    p.Line({13.0f, 10.0f}, {5.0f, 0.5f}, 2.0f, kGrey);
    p.Ring(5.0f, 12.5f, 3.5f, 1.6f, kRed);
    p.Ring(13.0f, 12.5f, 3.5f, 1.6f, kRed);
}

void TwoPages(Painter &p) {
    Page(p, 1, 1, 10, 12);
    Page(p, 7, 4, 10, 12);
}

void Clipboard(Painter &p) {
    p.Box(2, 2, 14, 15, kBrown);
    p.Rect(4, 5, 10, 10, kWhite);
    for (int y = 7; y < 14; y += 2) p.Rect(5, y, 8, 1, kLightGrey);
    p.Box(6, 0, 6, 4, kGrey);
}

void Printer(Painter &p) {
    p.Box(4, 0, 10, 8, kWhite);
    p.Box(1, 6, 16, 7, kLightGrey);
    p.Rect(13, 8, 2, 1, kGreen);
    p.Box(4, 11, 10, 6, kWhite);
    p.Rect(6, 13, 6, 1, kGrey);
}

void Magnifier(Painter &p) {
    p.Line({10.5f, 10.5f}, {16.5f, 16.0f}, 3.0f, kBrown);
    p.Disc(7.0f, 7.0f, 6.0f, kInk);
    p.Disc(7.0f, 7.0f, 4.5f, kLightBlue);
}

void CheckMark(Painter &p) {
    p.Polyline({{2.0f, 9.0f}, {7.0f, 14.0f}, {16.0f, 3.0f}}, 3.0f, kGreen);
}

void Cross(Painter &p) {
    p.Line({3.0f, 2.5f}, {15.0f, 14.5f}, 3.0f, kRed);
    p.Line({15.0f, 2.5f}, {3.0f, 14.5f}, 3.0f, kRed);
}

void Pencil(Painter &p) {
    p.Line({6.0f, 11.0f}, {14.0f, 3.0f}, 4.0f, kYellow);
    p.Line({13.5f, 3.5f}, {15.0f, 2.0f}, 4.0f, kRed);
    p.Polygon({{1.5f, 15.5f}, {3.5f, 9.5f}, {7.5f, 13.5f}}, kBrown);
    p.Polygon({{1.5f, 15.5f}, {2.4f, 12.7f}, {4.3f, 14.6f}}, kInk);
}

void Listing(Painter &p) {
    Page(p, 3, 1, 12, 15);
    for (int i = 0; i < 5; ++i) p.Rect(5, 5 + 2 * i, i % 2 == 0 ? 8 : 5, 1, kBlue);
}

void Question(Painter &p) {
    p.Disc(9.0f, 8.5f, 7.8f, kGreen);
    p.Polyline({{6.0f, 6.0f}, {7.5f, 3.5f}, {10.5f, 3.5f}, {12.0f, 5.5f}, {9.0f, 8.5f}, {9.0f, 10.5f}},
               2.0f, kWhite);
    p.Rect(8, 12, 2, 2, kWhite);
}

void Exit(Painter &p) {
    p.Box(1, 1, 8, 15, kBrown);
    p.Rect(6, 8, 1, 2, kYellow);
    p.Rect(9, 7, 4, 3, kGreen);
    p.Polygon({{12.0f, 4.0f}, {17.5f, 8.5f}, {12.0f, 13.0f}}, kGreen);
}

void Window(Painter &p, int x, int y, int w, int h) {
    p.Box(x, y, w, h, kWhite);
    p.Rect(x + 1, y + 1, w - 2, 2, kBlue);
}

void Tile(Painter &p) {
    Window(p, 0, 0, 9, 8);
    Window(p, 9, 0, 9, 8);
    Window(p, 0, 9, 9, 8);
    Window(p, 9, 9, 9, 8);
}

void Cascade(Painter &p) {
    Window(p, 0, 0, 11, 9);
    Window(p, 3, 4, 11, 9);
    Window(p, 7, 8, 11, 9);
}

void Clock(Painter &p) {
    p.Disc(9.0f, 8.5f, 8.0f, kInk);
    p.Disc(9.0f, 8.5f, 6.8f, kWhite);
    p.Line({9.0f, 8.5f}, {9.0f, 3.5f}, 1.5f, kInk);
    p.Line({9.0f, 8.5f}, {12.5f, 10.5f}, 1.5f, kRed);
}

void Tree(Painter &p) {
    p.Polyline({{4.5f, 5.0f}, {4.5f, 13.5f}, {10.0f, 13.5f}}, 1.0f, kGrey);
    p.Line({4.5f, 8.5f}, {10.0f, 8.5f}, 1.0f, kGrey);
    p.Box(1, 0, 7, 5, kYellow);
    p.Box(10, 6, 7, 5, kLightBlue);
    p.Box(10, 11, 7, 5, kLightBlue);
}

void DotGrid(Painter &p) {
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) p.Box(1 + 6 * col, 1 + 5 * row, 4, 4, kBlue);
}

void Refresh(Painter &p) {
    p.Ring(9.0f, 8.5f, 7.0f, 2.2f, kGreen);
    p.Rect(0, 7, 18, 3, kClear);  // split the ring into two arcs
    p.Polygon({{12.0f, 10.5f}, {18.0f, 10.5f}, {15.0f, 14.5f}}, kGreen);
    p.Polygon({{0.0f, 6.5f}, {6.0f, 6.5f}, {3.0f, 2.5f}}, kGreen);
}

void Undo(Painter &p) {
    p.Polyline({{12.0f, 15.0f}, {15.0f, 11.0f}, {14.0f, 7.0f}, {10.0f, 5.0f}, {5.0f, 5.0f}}, 2.2f,
               kBlue);
    p.Polygon({{0.5f, 5.0f}, {6.0f, 0.5f}, {6.0f, 9.5f}}, kBlue);
}

void ArrowRight(Painter &p) {
    p.Rect(1, 7, 9, 4, kBlue);
    p.Polygon({{9.0f, 2.5f}, {17.0f, 9.0f}, {9.0f, 15.5f}}, kBlue);
}

void ArrowLeft(Painter &p) {
    p.Rect(8, 7, 9, 4, kBlue);
    p.Polygon({{9.0f, 2.5f}, {1.0f, 9.0f}, {9.0f, 15.5f}}, kBlue);
}

void LetterA(Painter &p) {
    p.Line({3.5f, 15.5f}, {9.0f, 1.5f}, 2.5f, kInk);
    p.Line({9.0f, 1.5f}, {14.5f, 15.5f}, 2.5f, kInk);
    p.Line({6.0f, 10.5f}, {12.0f, 10.5f}, 2.0f, kInk);
}

void SelectAll(Painter &p) {
    p.Rect(3, 3, 12, 11, kLightBlue);
    for (int i = 0; i < 18; i += 2) {
        p.Pixel(i, 0, kInk), p.Pixel(i, 16, kInk);
    }
    for (int j = 0; j < 17; j += 2) {
        p.Pixel(0, j, kInk), p.Pixel(17, j, kInk);
    }
}

void Replace(Painter &p) {
    p.Box(0, 1, 7, 7, kWhite);
    p.Box(11, 9, 7, 7, kYellow);
    p.Polyline({{4.0f, 10.0f}, {4.0f, 12.5f}, {8.0f, 12.5f}}, 1.5f, kBlue);
    p.Polygon({{8.0f, 10.0f}, {11.0f, 12.5f}, {8.0f, 15.0f}}, kBlue);
}

void CloseWindow(Painter &p) {
    Window(p, 0, 1, 18, 15);
    p.Line({6.0f, 6.0f}, {12.0f, 13.0f}, 2.0f, kRed);
    p.Line({12.0f, 6.0f}, {6.0f, 13.0f}, 2.0f, kRed);
}

// ---- Images -----------------------------------------------------------------

using Glyph = void (*)(Painter &);

constexpr int kSlots = KELVANE_TOOLBAR_SLOTS;
constexpr int kSlotW = KELVANE_TOOLBAR_SLOT_WIDTH;
constexpr int kSlotH = KELVANE_TOOLBAR_SLOT_HEIGHT;

Image Strip(const Glyph (&glyphs)[kSlots]) {
    Image img{kSlots * kSlotW, kSlotH, {}};
    img.pixels.assign(static_cast<std::size_t>(img.width * img.height), kClear);
    for (int i = 0; i < kSlots; ++i) {
        Painter p(img, i * kSlotW, 0, kSlotW, kSlotH);
        glyphs[i](p);
    }
    return img;
}

// Slots 0-8 are the commands of the main and communication toolbars; the
// rest cover further menu commands.
constexpr Glyph kMainGlyphs[kSlots] = {
    Communication, Folder,  Gear,      Remote,   LoadRam, Disk,  Plus,    Sliders,
    Info,          House,   Magnifier, CheckMark, Tree,   Cross, Pencil,  Listing,
    Question,      Exit,    Tile,      Cascade,  Clock,   Refresh, DotGrid,
};

constexpr Glyph kExplorerGlyphs[kSlots] = {
    House,     Communication, NewPage,  Folder,    Disk,      Scissors, TwoPages, Clipboard,
    Printer,   Info,          Undo,     Cross,     Magnifier, Replace,  LetterA,  ArrowRight,
    ArrowLeft, SelectAll,     CloseWindow, Tile,   Cascade,   Question, Exit,
};

Image WindowIcon() {
    Image img{32, 32, {}};
    img.pixels.assign(32 * 32, kClear);
    Painter p(img, 0, 0, 32, 32);
    p.Polygon({{21.0f, 13.0f}, {32.0f, 5.0f}, {32.0f, 31.0f}, {21.0f, 23.0f}}, kBeam);
    p.Rect(4, 26, 4, 3, kDarkGrey);  // feet
    p.Rect(16, 26, 4, 3, kDarkGrey);
    p.RoundRect(0, 9, 24, 18, 4.0f, kInk);
    p.RoundRect(1, 10, 22, 16, 3.0f, kLightGrey);
    p.Rect(2, 11, 20, 3, kBlue);  // top panel
    p.Disc(4.0f, 20.0f, 1.3f, kGreen);
    p.Disc(4.0f, 23.5f, 1.3f, kRed);
    p.Disc(16.0f, 18.5f, 6.5f, kInk);  // lens
    p.Disc(16.0f, 18.5f, 5.2f, kNavy);
    p.Disc(16.0f, 18.5f, 3.4f, kLightBlue);
    p.Disc(14.8f, 17.2f, 1.2f, kWhite);
    return img;
}

const Image *Find(int number) {
    switch (number) {
    case KELVANE_IMAGE_TOOLBAR_MAIN: {
        static const Image img = Strip(kMainGlyphs);
        return &img;
    }
    case KELVANE_IMAGE_TOOLBAR_EXPLORER: {
        static const Image img = Strip(kExplorerGlyphs);
        return &img;
    }
    case KELVANE_IMAGE_WINDOW_ICON: {
        static const Image img = WindowIcon();
        return &img;
    }
    default:
        break;
    }
    for (auto source : {kelvanebmp::FindFrameImage, kelvanebmp::FindDirectAccessImage, kelvanebmp::FindRemoteImage,
                        kelvanebmp::FindExplorerImage, kelvanebmp::FindCommImage}) {
        if (const Image *img = source(number)) return img;
    }
    return nullptr;
}

}  // namespace

extern "C" int Kelvane_Image(int number, int *width, int *height, const unsigned int **pixels) {
    static_assert(sizeof(unsigned int) == sizeof(Color));
    const Image *img = Find(number);
    if (img == nullptr) return 0;
    if (width != nullptr) *width = img->width;
    if (height != nullptr) *height = img->height;
    if (pixels != nullptr) *pixels = img->pixels.data();
    return 1;
}
