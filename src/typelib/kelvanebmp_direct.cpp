// Direct-access images: the adjustment buttons of the four pages, the General list's
// option icons, the force buttons and the source tree's icon.
#include <map>

#include "kelvanebmp.h"
#include "kelvanebmp_draw.h"

namespace kelvanebmp {
namespace {

constexpr int kButtonW = 32, kButtonH = 24;
constexpr int kOptionSize = 48;
constexpr int kForceSize = 32;
constexpr int kSourceSize = 16;

Image Blank(int w, int h) {
    Image img{w, h, {}};
    img.pixels.assign(static_cast<std::size_t>(w * h), kClear);
    return img;
}

// Convergence slots carry the colour of the tube they move: red, green, blue, red skew,
// red vertical, green vertical.
Color SlotColor(int page, int slot) {
    switch (page) {
    case 1:
        return kDarkYellow;
    case 2:
        return kBlue;
    case 3: {
        const Color colours[6] = {kRed, kGreen, kBlue, kRed, kRed, kGreen};
        return colours[(slot - 1) % 6];
    }
    default:
        return kGreen;
    }
}

void Chevron(Painter &p, float x, float cy, bool left, Color c) {
    const float dx = left ? -5.0f : 5.0f;
    p.Polyline({{x - dx / 2, cy - 5.0f}, {x + dx / 2, cy}, {x - dx / 2, cy + 5.0f}}, 2.6f, c);
}

Image AdjustButton(int page, int slot, int button, bool pressed) {
    Image img = Blank(kButtonW, kButtonH);
    Painter p(img, 0, 0, kButtonW, kButtonH);
    const Color accent = SlotColor(page, slot);
    p.RoundRect(0, 0, kButtonW, kButtonH, 4.0f, pressed ? kInk : kDarkGrey);
    p.RoundRect(1, 1, kButtonW - 2, kButtonH - 2, 3.0f, pressed ? kGrey : kWhite);
    if (!pressed) p.Rect(3, kButtonH - 4, kButtonW - 6, 1, kLightGrey);  // a little depth
    const float o = pressed ? 1.0f : 0.0f;
    const float cx = 16.0f + o, cy = 11.5f + o;
    switch (button) {
    case 0:
        Chevron(p, cx - 3.0f, cy, true, accent);
        Chevron(p, cx + 3.0f, cy, true, accent);
        break;
    case 1:
        p.Line({cx - 5.0f, cy}, {cx + 5.0f, cy}, 3.0f, accent);
        break;
    case 2:
        p.Line({cx - 5.0f, cy}, {cx + 5.0f, cy}, 3.0f, accent);
        p.Line({cx, cy - 5.0f}, {cx, cy + 5.0f}, 3.0f, accent);
        break;
    default:
        Chevron(p, cx - 3.0f, cy, false, accent);
        Chevron(p, cx + 3.0f, cy, false, accent);
        break;
    }
    return img;
}

void Projector(Painter &p, float x, float y, Color body) {
    p.RoundRect(static_cast<int>(x), static_cast<int>(y), 20, 12, 3.0f, kInk);
    p.RoundRect(static_cast<int>(x) + 1, static_cast<int>(y) + 1, 18, 10, 2.0f, body);
    p.Disc(x + 14.0f, y + 6.0f, 3.5f, kInk);
    p.Disc(x + 14.0f, y + 6.0f, 2.3f, kLightBlue);
}

Image OptionIcon(int entry, bool highlighted) {
    Image img = Blank(kOptionSize, kOptionSize);
    Painter p(img, 0, 0, kOptionSize, kOptionSize);
    if (highlighted) p.RoundRect(1, 1, 46, 46, 8.0f, kLightBlue);
    const Color ink = highlighted ? kNavy : kWhite;
    switch (entry) {
    case 0:  // sliders: the general settings
        for (int i = 0; i < 3; ++i) {
            const int y = 12 + 11 * i;
            const int knob[3] = {14, 30, 22};
            p.Rect(8, y, 32, 2, ink);
            p.Box(knob[i] - 3, y - 4, 7, 10, highlighted ? kBlue : kLightGrey, kInk);
        }
        break;
    case 1:  // two projectors on one line
        Projector(p, 4.0f, 8.0f, kLightGrey);
        Projector(p, 24.0f, 28.0f, kLightGrey);
        p.Polyline({{14.0f, 20.0f}, {14.0f, 34.0f}, {24.0f, 34.0f}}, 2.0f, ink);
        break;
    case 2:  // an arrow forcing its way into a block
        p.Box(24, 10, 18, 28, kYellow, kInk);
        for (int y = 15; y < 34; y += 5) p.Rect(27, y, 12, 2, kDarkYellow);
        p.Rect(4, 21, 14, 6, highlighted ? kRed : ink);
        p.Polygon({{16.0f, 14.0f}, {26.0f, 24.0f}, {16.0f, 34.0f}}, highlighted ? kRed : ink);
        break;
    default:  // IRIS: three beams meeting on a target
        p.Ring(24.0f, 24.0f, 18.0f, 2.5f, ink);
        p.Ring(24.0f, 24.0f, 10.0f, 2.5f, ink);
        p.Line({6.0f, 8.0f}, {22.0f, 22.0f}, 2.5f, kRed);
        p.Line({42.0f, 8.0f}, {26.0f, 22.0f}, 2.5f, kGreen);
        p.Line({24.0f, 44.0f}, {24.0f, 27.0f}, 2.5f, kBlue);
        p.Disc(24.0f, 24.0f, 3.0f, ink);
        break;
    }
    return img;
}

Image ForceIcon(int which) {
    Image img = Blank(kForceSize, kForceSize);
    Painter p(img, 0, 0, kForceSize, kForceSize);
    p.Disc(16.0f, 16.0f, 15.0f, kDarkGrey);
    p.Disc(16.0f, 16.0f, 13.5f, kLightGrey);
    switch (which) {
    case 0:  // power
        p.Ring(16.0f, 17.0f, 8.5f, 2.5f, kRed);
        p.Rect(13, 5, 6, 8, kLightGrey);
        p.Rect(15, 5, 2, 11, kRed);
        break;
    case 1:  // pause
        p.Rect(10, 9, 4, 14, kNavy);
        p.Rect(18, 9, 4, 14, kNavy);
        break;
    default:  // text
        p.Rect(9, 8, 14, 3, kInk);
        p.Rect(14, 8, 4, 16, kInk);
        break;
    }
    return img;
}

Image SourceIcon() {
    Image img = Blank(kSourceSize, kSourceSize);
    Painter p(img, 0, 0, kSourceSize, kSourceSize);
    p.Box(1, 3, 10, 10, kLightBlue, kNavy);
    p.Disc(6.0f, 8.0f, 2.0f, kNavy);
    p.Rect(11, 7, 4, 2, kNavy);
    return img;
}

std::map<int, Image> Build() {
    std::map<int, Image> all;
    for (int page = 1; page <= 4; ++page)
        for (int slot = 1; slot <= 6; ++slot)
            for (int button = 0; button < 4; ++button)
                for (int pressed = 0; pressed < 2; ++pressed)
                    all[KELVANE_IMAGE_DIRECT_BUTTON(page, slot, button, pressed)] =
                        AdjustButton(page, slot, button, pressed != 0);
    for (int entry = 0; entry < 4; ++entry)
        for (int h = 0; h < 2; ++h) all[KELVANE_IMAGE_DIRECT_OPTION(entry, h)] = OptionIcon(entry, h != 0);
    for (int which = 0; which < 3; ++which) all[KELVANE_IMAGE_DIRECT_FORCE(which)] = ForceIcon(which);
    all[KELVANE_IMAGE_DIRECT_SOURCE] = SourceIcon();
    return all;
}

}  // namespace

const Image *FindDirectAccessImage(int number) {
    static const std::map<int, Image> images = Build();
    const auto it = images.find(number);
    return it == images.end() ? nullptr : &it->second;
}

}  // namespace kelvanebmp
