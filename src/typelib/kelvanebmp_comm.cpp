#include <array>

#include "kelvanebmp.h"
#include "kelvanebmp_draw.h"

namespace kelvanebmp {
namespace {

constexpr Color kPurple = 0xFF7B4FA8;
constexpr Color kOrange = 0xFFE07B1F;

Image Blank(int w, int h) {
    Image img;
    img.width = w;
    img.height = h;
    img.pixels.assign(static_cast<std::size_t>(w * h), kClear);
    return img;
}

// Tree images: operating, pause, standby, group, Info, Overview, Direct Access. The
// state images show a small projector with its lamp.
Image TreeImage(int i) {
    Image img = Blank(36, 17);
    Painter p(img, 0, 0, 36, 17);
    if (i <= 2) {
        p.RoundRect(2, 4, 22, 10, 2.0f, kDarkGrey);
        p.RoundRect(3, 5, 20, 8, 1.5f, kLightGrey);
        p.Disc(19.0f, 9.0f, 3.2f, kInk);
        p.Disc(19.0f, 9.0f, 2.2f, i == 0 ? kLightBlue : kGrey);
        const Color lamp = i == 0 ? kGreen : i == 1 ? kYellow : kRed;
        p.Disc(30.0f, 8.5f, 4.5f, kInk);
        p.Disc(30.0f, 8.5f, 3.6f, lamp);
        if (i == 1) {
            p.Rect(28, 6, 1, 5, kInk);
            p.Rect(31, 6, 1, 5, kInk);
        }
        return img;
    }
    switch (i) {
        case 3:  // group: a folder
            p.Box(3, 3, 10, 4, kDarkYellow);
            p.Box(3, 5, 24, 10, kYellow);
            break;
        case 4:  // Info
            p.Disc(9.0f, 8.5f, 7.0f, kBlue);
            p.Rect(8, 7, 2, 6, kWhite);
            p.Rect(8, 4, 2, 2, kWhite);
            break;
        case 5:  // Overview: a list
            p.Box(2, 2, 16, 13, kWhite);
            for (int y = 5; y <= 11; y += 3) p.Rect(5, y, 10, 1, kBlue);
            break;
        default:  // Direct Access: sliders
            p.Box(2, 2, 16, 13, kLightGrey);
            p.Rect(5, 5, 10, 1, kInk);
            p.Rect(5, 11, 10, 1, kInk);
            p.Rect(8, 3, 3, 5, kBlue);
            p.Rect(11, 9, 3, 5, kBlue);
            break;
    }
    return img;
}

// Block icons: block, active, free, special, adjustment, reference, then the RAM row's
// block, free, special, container, adjustment, reference.
Image BlockImage(int i) {
    Image img = Blank(16, 16);
    Painter p(img, 0, 0, 16, 16);
    const bool ram = i >= 6;
    const Color body = ram ? kLightBlue : kLightGrey;
    switch (i) {
        case 0:
        case 6:
            p.Box(2, 2, 12, 12, body);
            break;
        case 1:
            p.Box(2, 2, 12, 12, body);
            p.Disc(8.0f, 8.0f, 3.5f, kGreen);
            break;
        case 2:
        case 7:
            p.Box(2, 2, 12, 12, kWhite, kGrey);
            break;
        case 3:
        case 8:
            p.Box(2, 2, 12, 12, kPurple);
            p.Rect(5, 7, 6, 2, kWhite);
            break;
        case 9:  // a RAM container: a folder
            p.Box(1, 3, 7, 3, kDarkYellow);
            p.Box(1, 5, 14, 9, kYellow);
            break;
        case 4:
        case 10:
            p.Box(2, 2, 12, 12, body);
            p.Polygon({{4.0f, 13.0f}, {8.0f, 3.0f}, {12.0f, 13.0f}}, kOrange);
            break;
        default:  // reference
            p.Box(2, 2, 12, 12, body);
            p.Polygon({{4.0f, 3.0f}, {12.0f, 3.0f}, {8.0f, 13.0f}}, kNavy);
            break;
    }
    return img;
}

}  // namespace

const Image *FindCommImage(int number) {
    static const std::array<Image, KELVANE_IMAGE_TREE_COUNT> tree = [] {
        std::array<Image, KELVANE_IMAGE_TREE_COUNT> a;
        for (int i = 0; i < KELVANE_IMAGE_TREE_COUNT; ++i) a[static_cast<std::size_t>(i)] = TreeImage(i);
        return a;
    }();
    static const std::array<Image, KELVANE_IMAGE_BLOCK_COUNT> blocks = [] {
        std::array<Image, KELVANE_IMAGE_BLOCK_COUNT> a;
        for (int i = 0; i < KELVANE_IMAGE_BLOCK_COUNT; ++i) a[static_cast<std::size_t>(i)] = BlockImage(i);
        return a;
    }();
    const int t = number - KELVANE_IMAGE_TREE_FIRST;
    if (t >= 0 && t < KELVANE_IMAGE_TREE_COUNT) return &tree[static_cast<std::size_t>(t)];
    const int b = number - KELVANE_IMAGE_BLOCK_FIRST;
    if (b >= 0 && b < KELVANE_IMAGE_BLOCK_COUNT) return &blocks[static_cast<std::size_t>(b)];
    return nullptr;
}

}  // namespace kelvanebmp
