#include "kelvanebmp.h"
#include "kelvanebmp_draw.h"

namespace kelvanebmp {
namespace {

constexpr int kSize = 32;

Image Blank() {
    Image img{kSize, kSize, {}};
    img.pixels.assign(kSize * kSize, kClear);
    return img;
}

// A projector seen from the front.
void Projector(Painter &p, Color body, Color lens) {
    p.RoundRect(2, 10, 28, 16, 3.0f, kInk);
    p.RoundRect(3, 11, 26, 14, 2.0f, body);
    p.Disc(20.0f, 18.0f, 5.5f, kInk);
    p.Disc(20.0f, 18.0f, 4.2f, lens);
    p.Rect(6, 14, 7, 2, kDarkGrey);
    p.Rect(6, 18, 7, 2, kDarkGrey);
}

// A stack of memory cards: the settings files of the RAM container.
void RamFiles(Painter &p, Color card, Color chip) {
    for (int i = 2; i >= 0; --i) {
        const int o = i * 4;
        p.Box(4 + o, 4 + o, 18, 22, card);
        p.Rect(7 + o, 8 + o, 12, 3, chip);
        p.Rect(7 + o, 13 + o, 12, 3, chip);
        p.Rect(7 + o, 18 + o, 8, 3, chip);
    }
}

// Three projectors joined: a group.
void Groups(Painter &p) {
    p.Line({16.0f, 9.0f}, {7.0f, 23.0f}, 2.0f, kDarkGrey);
    p.Line({16.0f, 9.0f}, {25.0f, 23.0f}, 2.0f, kDarkGrey);
    p.Box(10, 3, 12, 9, kLightGrey);
    p.Box(1, 20, 12, 9, kLightGrey);
    p.Box(19, 20, 12, 9, kLightGrey);
    for (Pt c : {Pt{18.0f, 7.5f}, Pt{9.0f, 24.5f}, Pt{27.0f, 24.5f}}) p.Disc(c.x, c.y, 2.0f, kNavy);
}

// A page of text.
void TextPage(Painter &p, Color page, Color ink) {
    p.Polygon({{6.0f, 2.0f}, {21.0f, 2.0f}, {27.0f, 8.0f}, {27.0f, 30.0f}, {6.0f, 30.0f}}, kInk);
    p.Polygon({{7.0f, 3.0f}, {20.5f, 3.0f}, {26.0f, 8.5f}, {26.0f, 29.0f}, {7.0f, 29.0f}}, page);
    for (int y = 11; y <= 25; y += 4) p.Rect(10, y, y == 25 ? 9 : 13, 2, ink);
}

Image Draw(int number) {
    Image img = Blank();
    Painter p(img, 0, 0, kSize, kSize);
    switch (number) {
    case KELVANE_IMAGE_EXPLORER_PROJECTOR: Projector(p, kLightGrey, kNavy); break;
    case KELVANE_IMAGE_EXPLORER_RAMFILES: RamFiles(p, kLightGrey, kGreen); break;
    case KELVANE_IMAGE_EXPLORER_GROUPS: Groups(p); break;
    case KELVANE_IMAGE_EXPLORER_TEXTFILES: TextPage(p, kWhite, kDarkGrey); break;
    case KELVANE_IMAGE_EXPLORER_LIT + 1: RamFiles(p, kYellow, kRed); break;
    case KELVANE_IMAGE_EXPLORER_LIT + 3: TextPage(p, kYellow, kNavy); break;
    default: break;
    }
    return img;
}

}  // namespace

const Image *FindExplorerImage(int number) {
    static const int numbers[] = {
        KELVANE_IMAGE_EXPLORER_PROJECTOR, KELVANE_IMAGE_EXPLORER_RAMFILES, KELVANE_IMAGE_EXPLORER_GROUPS,
        KELVANE_IMAGE_EXPLORER_TEXTFILES, KELVANE_IMAGE_EXPLORER_LIT + 1,  KELVANE_IMAGE_EXPLORER_LIT + 3,
    };
    static const Image images[] = {Draw(numbers[0]), Draw(numbers[1]), Draw(numbers[2]),
                                   Draw(numbers[3]), Draw(numbers[4]), Draw(numbers[5])};
    for (int i = 0; i < 6; ++i) {
        if (numbers[i] == number) return &images[i];
    }
    return nullptr;
}

}  // namespace kelvanebmp
