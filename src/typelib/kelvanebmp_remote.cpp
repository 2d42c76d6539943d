// The remote-control handset: its body, every key normal and pressed, and the two
// buttons of its toolbar. The keys are separate images placed over the body by the
// program, so the body leaves their places as plain recesses.

#include "kelvanebmp.h"
#include "kelvanebmp_draw.h"

#include <cmath>
#include <map>

namespace kelvanebmp {
namespace {

// The body picture; the program puts its top-left corner at client (10, 30), so a key
// at client (x, y) sits at picture (x - 10, y - 30).
constexpr int kBodyW = 250;
constexpr int kBodyH = 410;

constexpr Color kShell = 0xFF3A3F47;
constexpr Color kShellLight = 0xFF5A616C;
constexpr Color kShellDark = 0xFF23262B;
constexpr Color kPlate = 0xFF2C3036;
constexpr Color kPlateEdge = 0xFF4B525C;
constexpr Color kLabel = 0xFFB9C2CE;
constexpr Color kLens = 0xFF4A0D12;
constexpr Color kLensGlint = 0xFFB0303A;

Color Mix(Color a, Color b, float t) {
    auto ch = [&](int shift) {
        const float x = static_cast<float>((a >> shift) & 0xFF), y = static_cast<float>((b >> shift) & 0xFF);
        return static_cast<Color>(std::lround(x + (y - x) * t)) << shift;
    };
    return 0xFF000000u | ch(16) | ch(8) | ch(0);
}

// A rounded slab lit from the upper left: each column its own shade, so the rounding
// stays exact.
void ShadedSlab(Image &img, int x, int y, int w, int h, float r, Color lit, Color dark) {
    for (int i = 0; i < w; ++i) {
        const float t = static_cast<float>(i) / static_cast<float>(w - 1);
        const float curve = 1.0f - 4.0f * (t - 0.35f) * (t - 0.35f);  // brightest left of centre
        Painter column(img, x + i, y, 1, h);
        column.RoundRect(-i, 0, w, h, r, Mix(dark, lit, std::clamp(curve, 0.0f, 1.0f)));
    }
}

// ---- Letters of the brand label: strokes on a 10 x 14 cell ------------------

void Letter(Painter &p, char c, float x, float y, Color ink) {
    const float w = 2.0f;
    auto L = [&](std::initializer_list<Pt> pts) {
        std::vector<Pt> shifted;
        for (const Pt &q : pts) shifted.push_back({x + q.x, y + q.y});
        for (std::size_t i = 1; i < shifted.size(); ++i) p.Line(shifted[i - 1], shifted[i], w, ink);
    };
    switch (c) {
        case 'O': L({{2, 0}, {8, 0}, {10, 2}, {10, 12}, {8, 14}, {2, 14}, {0, 12}, {0, 2}, {2, 0}}); break;
        case 'M': L({{0, 14}, {0, 0}, {5, 7}, {10, 0}, {10, 14}}); break;
        case 'B':
            L({{0, 0}, {0, 14}, {7, 14}, {10, 11}, {7, 7}, {0, 7}});
            L({{0, 0}, {7, 0}, {9, 2}, {9, 5}, {7, 7}});
            break;
        case 'R': L({{0, 14}, {0, 0}, {7, 0}, {10, 3}, {7, 7}, {0, 7}, {4, 7}, {10, 14}}); break;
        case 'I': L({{5, 0}, {5, 14}}); L({{2, 0}, {8, 0}}); L({{2, 14}, {8, 14}}); break;
        case 'X': L({{0, 0}, {10, 14}}); L({{10, 0}, {0, 14}}); break;
        default: break;
    }
}

Image Body() {
    Image img{kBodyW, kBodyH, {}};
    img.pixels.assign(static_cast<std::size_t>(kBodyW * kBodyH), kClear);
    Painter p(img, 0, 0, kBodyW, kBodyH);
    // Shadow, shell, and a rim that catches the light.
    p.RoundRect(4, 4, kBodyW - 4, kBodyH - 4, 22.0f, 0x60000000);
    p.RoundRect(0, 0, kBodyW - 4, kBodyH - 4, 22.0f, kShellDark);
    ShadedSlab(img, 1, 1, kBodyW - 6, kBodyH - 6, 21.0f, kShellLight, kShell);

    // Infra-red window at the top.
    p.RoundRect(98, 5, 50, 9, 4.0f, kLens);
    p.Rect(104, 7, 14, 1, kLensGlint);

    // Brand label down the left side, with the sending lamp above it.
    p.RoundRect(12, 16, 52, kBodyH - 40, 10.0f, kPlateEdge);
    p.RoundRect(13, 17, 50, kBodyH - 42, 9.0f, kPlate);
    p.Disc(38.0f, 36.0f, 5.0f, kShellDark);
    p.Disc(38.0f, 36.0f, 3.5f, 0xFF8E1B22);
    p.Disc(37.0f, 35.0f, 1.2f, 0xFFE87A80);
    const char *brand = "OMBRIX";
    for (int i = 0; i < 6; ++i) Letter(p, brand[i], 33.0f, 70.0f + 24.0f * static_cast<float>(i), kLabel);
    // Speaker grille.
    for (int row = 0; row < 6; ++row)
        for (int col = 0; col < 4; ++col)
            p.Disc(26.5f + 8.0f * static_cast<float>(col), 268.5f + 8.0f * static_cast<float>(row), 1.6f, kShellDark);
    // Grip ridges at the bottom of the label.
    for (int i = 0; i < 5; ++i) p.Rect(22, 336 + 8 * i, 32, 2, kShellDark);

    // Plates behind the key groups: cursor cross, state keys, number and adjustment field.
    const int plates[][4] = {{84, 46, 146, 69}, {84, 117, 146, 32}, {84, 168, 146, 234}};
    for (const auto &pl : plates) {
        p.RoundRect(pl[0], pl[1], pl[2], pl[3], 7.0f, kPlateEdge);
        p.RoundRect(pl[0] + 1, pl[1] + 1, pl[2] - 2, pl[3] - 2, 6.0f, kPlate);
    }
    // A divider between the digits and the adjustment pairs.
    p.Rect(157, 172, 1, 227, kPlateEdge);
    p.Rect(88, 340, 138, 1, kPlateEdge);
    return img;
}

// ---- Keys -------------------------------------------------------------------

enum class Face { Light, Dark, Blue, Red, Yellow, Strip };

struct KeyStyle {
    Color top, body, bottom, ink;
};

KeyStyle StyleOf(Face f, bool pressed) {
    KeyStyle s{};
    switch (f) {
        case Face::Light: s = {0xFFF4F6F8, 0xFFD9DEE4, 0xFF9AA3AE, 0xFF23272D}; break;
        case Face::Dark: s = {0xFF8A939E, 0xFF5D6570, 0xFF2C3137, 0xFFF2F4F6}; break;
        case Face::Blue: s = {0xFF7FB2EA, 0xFF3B78C4, 0xFF1D3F6E, 0xFFFFFFFF}; break;
        case Face::Red: s = {0xFFF08A86, 0xFFCC3A34, 0xFF7A1C18, 0xFFFFFFFF}; break;
        case Face::Yellow: s = {0xFFFFE9A0, 0xFFF0C640, 0xFF9C7A16, 0xFF2A2410}; break;
        case Face::Strip: s = {0xFFD8ECFF, 0xFFA9CDEE, 0xFF5D7E9E, 0xFF1F3F78}; break;
    }
    if (pressed) {
        // Pushed in: darker, lit from below.
        s = {Mix(s.bottom, 0xFF000000, 0.2f), Mix(s.body, 0xFF000000, 0.22f), Mix(s.top, 0xFF000000, 0.3f), s.ink};
    }
    return s;
}

using Glyph = void (*)(Painter &, float cx, float cy, Color ink);

void Cap(Image &img, int w, int h, const KeyStyle &s) {
    Painter p(img, 0, 0, w, h);
    p.RoundRect(0, 0, w, h, 5.0f, 0xFF15171A);
    p.RoundRect(1, 1, w - 2, h - 2, 4.0f, s.bottom);
    p.RoundRect(1, 1, w - 2, h - 3, 4.0f, s.top);
    p.RoundRect(2, 2, w - 4, h - 5, 3.5f, s.body);
}

void Power(Painter &p, float cx, float cy, Color ink) {
    p.Ring(cx, cy + 0.5f, 5.0f, 1.6f, ink);
    p.Rect(static_cast<int>(cx) - 2, static_cast<int>(cy) - 6, 4, 5, 0x00000000);
    p.Line({cx, cy - 6.0f}, {cx, cy}, 1.6f, ink);
}

void PauseBars(Painter &p, float cx, float cy, Color ink) {
    p.Rect(static_cast<int>(cx) - 4, static_cast<int>(cy) - 5, 3, 10, ink);
    p.Rect(static_cast<int>(cx) + 1, static_cast<int>(cy) - 5, 3, 10, ink);
}

void TextGlyph(Painter &p, float cx, float cy, Color ink) {
    p.Rect(static_cast<int>(cx) - 6, static_cast<int>(cy) - 5, 12, 2, ink);
    p.Rect(static_cast<int>(cx) - 1, static_cast<int>(cy) - 5, 2, 11, ink);
}

void Triangle(Painter &p, float cx, float cy, float dx, float dy, Color ink) {
    // Points along (dx, dy), 5 px from the centre.
    const float ex = -dy, ey = dx;
    p.Polygon({{cx + 4.5f * dx, cy + 4.5f * dy},
               {cx - 3.5f * dx + 5.0f * ex, cy - 3.5f * dy + 5.0f * ey},
               {cx - 3.5f * dx - 5.0f * ex, cy - 3.5f * dy - 5.0f * ey}},
              ink);
}

void Up(Painter &p, float cx, float cy, Color ink) { Triangle(p, cx, cy, 0, -1, ink); }
void Down(Painter &p, float cx, float cy, Color ink) { Triangle(p, cx, cy, 0, 1, ink); }
void Left(Painter &p, float cx, float cy, Color ink) { Triangle(p, cx, cy, -1, 0, ink); }
void Right(Painter &p, float cx, float cy, Color ink) { Triangle(p, cx, cy, 1, 0, ink); }

void EnterGlyph(Painter &p, float cx, float cy, Color ink) {
    p.Polyline({{cx + 5.0f, cy - 5.0f}, {cx + 5.0f, cy + 2.0f}, {cx - 3.0f, cy + 2.0f}}, 1.8f, ink);
    p.Polygon({{cx - 6.5f, cy + 2.0f}, {cx - 2.5f, cy - 1.5f}, {cx - 2.5f, cy + 5.5f}}, ink);
}

void ExitGlyph(Painter &p, float cx, float cy, Color ink) {
    p.Line({cx - 4.0f, cy - 4.0f}, {cx + 4.0f, cy + 4.0f}, 2.0f, ink);
    p.Line({cx + 4.0f, cy - 4.0f}, {cx - 4.0f, cy + 4.0f}, 2.0f, ink);
}

void HelpGlyph(Painter &p, float cx, float cy, Color ink) {
    p.Polyline({{cx - 3.5f, cy - 3.0f}, {cx - 2.0f, cy - 5.5f}, {cx + 2.0f, cy - 5.5f}, {cx + 3.5f, cy - 3.0f},
                {cx, cy}, {cx, cy + 2.0f}},
               1.8f, ink);
    p.Rect(static_cast<int>(cx) - 1, static_cast<int>(cy) + 4, 2, 2, ink);
}

void NormalGlyph(Painter &p, float cx, float cy, Color ink) {
    // Back to the middle: a ring round a dot.
    p.Ring(cx, cy, 5.5f, 1.5f, ink);
    p.Disc(cx, cy, 1.8f, ink);
}

void AddressGlyph(Painter &p, float cx, float cy, Color ink) {
    p.Line({cx - 2.0f, cy - 6.0f}, {cx - 3.0f, cy + 6.0f}, 1.6f, ink);
    p.Line({cx + 3.0f, cy - 6.0f}, {cx + 2.0f, cy + 6.0f}, 1.6f, ink);
    p.Line({cx - 6.0f, cy - 2.0f}, {cx + 6.0f, cy - 2.0f}, 1.6f, ink);
    p.Line({cx - 6.0f, cy + 2.5f}, {cx + 6.0f, cy + 2.5f}, 1.6f, ink);
}

// Seven segments: a, b, c, d, e, f, g.
void Digit(Painter &p, float cx, float cy, Color ink, int d) {
    static const unsigned char kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const int x = static_cast<int>(cx) - 4, y = static_cast<int>(cy) - 6;
    const unsigned char s = kSegments[d];
    if (s & 0x01) p.Rect(x + 1, y, 6, 2, ink);
    if (s & 0x02) p.Rect(x + 6, y + 1, 2, 5, ink);
    if (s & 0x04) p.Rect(x + 6, y + 6, 2, 6, ink);
    if (s & 0x08) p.Rect(x + 1, y + 11, 6, 2, ink);
    if (s & 0x10) p.Rect(x, y + 6, 2, 6, ink);
    if (s & 0x20) p.Rect(x, y + 1, 2, 5, ink);
    if (s & 0x40) p.Rect(x + 1, y + 5, 6, 2, ink);
}

// Small pictures of what a pair adjusts, in an 11 x 11 box around (cx, cy).
void Sun(Painter &p, float cx, float cy, Color ink) {
    for (int i = 0; i < 8; ++i) {
        const float a = static_cast<float>(i) * 0.785398f;
        p.Line({cx + 3.5f * std::cos(a), cy + 3.5f * std::sin(a)}, {cx + 5.5f * std::cos(a), cy + 5.5f * std::sin(a)},
               1.2f, ink);
    }
    p.Disc(cx, cy, 2.4f, ink);
}

void HalfDisc(Painter &p, float cx, float cy, Color ink) {
    p.Ring(cx, cy, 5.0f, 1.3f, ink);
    p.Polygon({{cx, cy - 5.0f}, {cx + 2.5f, cy - 4.3f}, {cx + 4.6f, cy - 2.0f}, {cx + 5.0f, cy},
               {cx + 4.6f, cy + 2.0f}, {cx + 2.5f, cy + 4.3f}, {cx, cy + 5.0f}},
              ink);
}

void ColourDots(Painter &p, float cx, float cy, Color) {
    p.Disc(cx - 2.2f, cy - 1.5f, 2.8f, 0xFFE0443C);
    p.Disc(cx + 2.2f, cy - 1.5f, 2.8f, 0xFF3FB55A);
    p.Disc(cx, cy + 2.4f, 2.8f, 0xFF3F7FE0);
}

void Drop(Painter &p, float cx, float cy, Color ink) {
    p.Polygon({{cx, cy - 6.0f}, {cx + 3.6f, cy + 0.5f}, {cx - 3.6f, cy + 0.5f}}, ink);
    p.Disc(cx, cy + 1.8f, 3.7f, ink);
}

void Edge(Painter &p, float cx, float cy, Color ink) {
    p.Polyline({{cx - 5.5f, cy + 4.0f}, {cx - 2.5f, cy - 4.0f}, {cx, cy + 4.0f}, {cx + 2.5f, cy - 4.0f},
                {cx + 5.5f, cy + 4.0f}},
               1.5f, ink);
}

void Speaker(Painter &p, float cx, float cy, Color ink) {
    p.Rect(static_cast<int>(cx) - 5, static_cast<int>(cy) - 2, 3, 5, ink);
    p.Polygon({{cx - 2.5f, cy - 2.0f}, {cx + 2.0f, cy - 5.5f}, {cx + 2.0f, cy + 6.0f}, {cx - 2.5f, cy + 3.0f}}, ink);
}

void Scales(Painter &p, float cx, float cy, Color ink) {
    p.Line({cx - 5.5f, cy - 2.0f}, {cx + 5.5f, cy - 2.0f}, 1.4f, ink);
    p.Line({cx, cy - 4.5f}, {cx, cy + 4.5f}, 1.4f, ink);
    p.Rect(static_cast<int>(cx) - 3, static_cast<int>(cy) + 4, 6, 2, ink);
    p.Polygon({{cx - 5.0f, cy - 1.0f}, {cx - 2.5f, cy + 2.5f}, {cx - 7.5f, cy + 2.5f}}, ink);
    p.Polygon({{cx + 5.0f, cy - 1.0f}, {cx + 7.5f, cy + 2.5f}, {cx + 2.5f, cy + 2.5f}}, ink);
}

void Wave(Painter &p, float cx, float cy, Color ink) {
    p.Polyline({{cx - 6.0f, cy}, {cx - 4.0f, cy - 3.5f}, {cx - 1.5f, cy - 3.5f}, {cx + 1.5f, cy + 3.5f},
                {cx + 4.0f, cy + 3.5f}, {cx + 6.0f, cy}},
               1.5f, ink);
}

void Star(Painter &p, float cx, float cy, Color ink) {
    p.Polygon({{cx, cy - 5.5f}, {cx + 1.6f, cy - 1.6f}, {cx + 5.5f, cy}, {cx + 1.6f, cy + 1.6f}, {cx, cy + 5.5f},
               {cx - 1.6f, cy + 1.6f}, {cx - 5.5f, cy}, {cx - 1.6f, cy - 1.6f}},
              ink);
}

void Minus(Painter &p, float cx, float cy, Color ink) {
    p.Rect(static_cast<int>(cx) - 3, static_cast<int>(cy) - 1, 7, 2, ink);
}

void PlusSign(Painter &p, float cx, float cy, Color ink) {
    Minus(p, cx, cy, ink);
    p.Rect(static_cast<int>(cx) - 1, static_cast<int>(cy) - 4, 2, 8, ink);
}

void Lamp(Painter &p, float cx, float cy, Color ink) {
    p.Disc(cx, cy - 1.5f, 4.0f, ink);
    p.Rect(static_cast<int>(cx) - 2, static_cast<int>(cy) + 2, 4, 4, ink);
}

struct KeyLook {
    int control;
    int w, h;
    Face face;
    Glyph glyph;     // may be null
    int digit;       // >= 0: a digit key
    int sign;        // -1 / +1: a repeating pair's side; 0 none
};

constexpr int kNone = -1;

const KeyLook kKeys[] = {
    {1044, 130, 22, Face::Strip, Lamp, kNone, 0},
    {1010, 26, 22, Face::Dark, ExitGlyph, kNone, 0},
    {1011, 26, 22, Face::Blue, Up, kNone, 0},
    {1012, 26, 22, Face::Dark, EnterGlyph, kNone, 0},
    {1013, 26, 22, Face::Yellow, AddressGlyph, kNone, 0},
    {1014, 26, 22, Face::Blue, Left, kNone, 0},
    {1015, 26, 22, Face::Blue, Right, kNone, 0},
    {1016, 26, 22, Face::Blue, Down, kNone, 0},
    {1017, 26, 22, Face::Dark, HelpGlyph, kNone, 0},
    {1043, 26, 22, Face::Dark, NormalGlyph, kNone, 0},
    {1040, 26, 22, Face::Red, Power, kNone, 0},
    {1042, 26, 22, Face::Dark, PauseBars, kNone, 0},
    {1041, 26, 22, Face::Dark, TextGlyph, kNone, 0},
    {1023, 26, 22, Face::Light, nullptr, 0, 0},
    {1022, 26, 22, Face::Light, nullptr, 1, 0},
    {1027, 26, 22, Face::Light, nullptr, 2, 0},
    {1021, 26, 22, Face::Light, nullptr, 3, 0},
    {1026, 26, 22, Face::Light, nullptr, 4, 0},
    {1020, 26, 22, Face::Light, nullptr, 5, 0},
    {1025, 26, 22, Face::Light, nullptr, 6, 0},
    {1019, 26, 22, Face::Light, nullptr, 7, 0},
    {1024, 26, 22, Face::Light, nullptr, 8, 0},
    {1018, 26, 22, Face::Light, nullptr, 9, 0},
    {1028, 31, 22, Face::Dark, Sun, kNone, -1},
    {1029, 31, 22, Face::Dark, Sun, kNone, 1},
    {1030, 31, 22, Face::Dark, HalfDisc, kNone, -1},
    {1031, 31, 22, Face::Dark, HalfDisc, kNone, 1},
    {1032, 31, 22, Face::Dark, ColourDots, kNone, -1},
    {1033, 31, 22, Face::Dark, ColourDots, kNone, 1},
    {1034, 31, 22, Face::Dark, Drop, kNone, -1},
    {1036, 31, 22, Face::Dark, Drop, kNone, 1},
    {1035, 31, 22, Face::Dark, Edge, kNone, -1},
    {1037, 31, 22, Face::Dark, Edge, kNone, 1},
    {1009, 31, 22, Face::Light, Speaker, kNone, -1},
    {1065, 31, 22, Face::Light, Speaker, kNone, 1},
    {1066, 31, 22, Face::Light, Scales, kNone, -1},
    {1067, 31, 22, Face::Light, Scales, kNone, 1},
    {1068, 31, 22, Face::Light, Wave, kNone, -1},
    {1069, 31, 22, Face::Light, Wave, kNone, 1},
    {1070, 31, 22, Face::Dark, Star, kNone, 0},
    {1071, 31, 22, Face::Dark, Star, kNone, 0},
};

Image Key(const KeyLook &k, bool pressed) {
    Image img{k.w, k.h, {}};
    img.pixels.assign(static_cast<std::size_t>(k.w * k.h), kClear);
    const KeyStyle s = StyleOf(k.face, pressed);
    Cap(img, k.w, k.h, s);
    Painter p(img, 0, 0, k.w, k.h);
    const float shift = pressed ? 1.0f : 0.0f;  // the face moves in with the key
    float cx = static_cast<float>(k.w) / 2.0f + shift, cy = static_cast<float>(k.h) / 2.0f - 0.5f + shift;
    if (k.face == Face::Strip) {
        // A row of lamps behind frosted glass.
        for (int i = 0; i < 5; ++i) p.Disc(30.0f + 17.5f * static_cast<float>(i) + shift, cy, 2.2f, 0xFFFFFFFF);
        cx = 14.0f + shift;
    }
    if (k.digit >= 0) Digit(p, cx, cy, s.ink, k.digit);
    if (k.sign != 0) {
        // The picture on the outer side, the sign on the inner.
        const float out = k.sign < 0 ? -6.0f : 6.0f;
        if (k.glyph) k.glyph(p, cx + out, cy, s.ink);
        (k.sign < 0 ? Minus : PlusSign)(p, cx - out, cy, s.ink);
    } else if (k.glyph) {
        k.glyph(p, cx, cy, s.ink);
    }
    return img;
}

// ---- Toolbar: another remote control, About ---------------------------------

Image Toolbar() {
    const int w = KELVANE_TOOLBAR_SLOT_WIDTH, h = KELVANE_TOOLBAR_SLOT_HEIGHT;
    Image img{2 * w, h, {}};
    img.pixels.assign(static_cast<std::size_t>(img.width * h), kClear);
    Painter one(img, 0, 0, w, h);
    one.RoundRect(2, 1, 9, 16, 2.5f, kShellDark);
    one.RoundRect(3, 2, 7, 14, 2.0f, kShellLight);
    one.Disc(6.5f, 4.5f, 1.4f, 0xFFCC3A34);
    for (int r = 0; r < 3; ++r) one.Rect(4, 7 + 3 * r, 5, 2, 0xFFD9DEE4);
    one.Rect(13, 4, 2, 8, kGreen);
    one.Rect(10, 7, 8, 2, kGreen);
    Painter two(img, w, 0, w, h);
    two.Disc(9.0f, 8.5f, 7.8f, kNavy);
    two.Disc(9.0f, 8.5f, 6.4f, 0xFF4F8FD8);
    two.Disc(9.0f, 4.5f, 1.3f, kWhite);
    two.Rect(8, 7, 2, 6, kWhite);
    return img;
}

std::map<int, Image> Render() {
    std::map<int, Image> all;
    all[KELVANE_IMAGE_REMOTE_BACKGROUND] = Body();
    all[KELVANE_IMAGE_REMOTE_TOOLBAR] = Toolbar();
    for (const KeyLook &k : kKeys) {
        all[KELVANE_IMAGE_REMOTE_KEY(k.control)] = Key(k, false);
        all[KELVANE_IMAGE_REMOTE_KEY_PRESSED(k.control)] = Key(k, true);
    }
    return all;
}

}  // namespace

const Image *FindRemoteImage(int number) {
    static const std::map<int, Image> images = Render();
    auto it = images.find(number);
    return it == images.end() ? nullptr : &it->second;
}

}  // namespace kelvanebmp
