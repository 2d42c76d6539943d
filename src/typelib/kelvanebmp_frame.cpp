#include "kelvanebmp.h"
#include "kelvanebmp_draw.h"

namespace kelvanebmp {
namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 300;

Color Mix(Color under, Color over, float amount) {
    auto channel = [&](int shift) {
        const float a = static_cast<float>((under >> shift) & 0xFF), b = static_cast<float>((over >> shift) & 0xFF);
        return static_cast<Color>(a + (b - a) * amount + 0.5f) << shift;
    };
    return 0xFF000000u | channel(16) | channel(8) | channel(0);
}

Color& At(Image& img, int x, int y) { return img.pixels[static_cast<std::size_t>(y * img.width + x)]; }

// Lightens every pixel inside the triangle by `amount` towards `light`.
void Glow(Image& img, Pt a, Pt b, Pt c, Color light, float amount) {
    auto side = [](Pt p, Pt q, float x, float y) { return (q.x - p.x) * (y - p.y) - (q.y - p.y) * (x - p.x); };
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
            const float d1 = side(a, b, px, py), d2 = side(b, c, px, py), d3 = side(c, a, px, py);
            const bool inside = (d1 >= 0 && d2 >= 0 && d3 >= 0) || (d1 <= 0 && d2 <= 0 && d3 <= 0);
            // The beam fades as it spreads.
            if (inside) At(img, x, y) = Mix(At(img, x, y), light, amount * (1.0f - 0.6f * (px - a.x) / (b.x - a.x)));
        }
}

// A quiet night-blue backdrop: a projector on the left throws its beam onto a screen.
Image Background() {
    Image img{kWidth, kHeight, {}};
    img.pixels.resize(static_cast<std::size_t>(kWidth * kHeight));
    const Color top = 0xFF243048, bottom = 0xFF3C4C68;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) At(img, x, y) = Mix(top, bottom, static_cast<float>(y) / (kHeight - 1));

    // The floor line under the projector and the screen.
    for (int x = 0; x < kWidth; ++x) At(img, x, 250) = Mix(At(img, x, 250), kWhite, 0.08f);

    const Pt lens{112.0f, 208.0f};
    Glow(img, lens, {372.0f, 62.0f}, {372.0f, 222.0f}, 0xFFFFF2C0, 0.16f);

    // Screen with its frame and a soft picture.
    Painter p(img, 0, 0, kWidth, kHeight);
    p.Rect(370, 58, 74, 168, 0xFF1A2234);
    for (int y = 61; y < 223; ++y)
        for (int x = 373; x < 441; ++x) {
            const float t = static_cast<float>(y - 61) / 162.0f;
            At(img, x, y) = Mix(0xFF9FB8D8, 0xFFD8E2EE, t);
        }
    p.Rect(405, 226, 4, 24, 0xFF1A2234);  // stand

    // The projector.
    p.RoundRect(40, 192, 78, 34, 6.0f, 0xFF121826);
    p.RoundRect(42, 194, 74, 30, 5.0f, 0xFF2E3A52);
    p.Rect(46, 197, 50, 3, 0xFF4A6CA8);
    p.Disc(50.0f, 212.0f, 1.8f, kGreen);
    p.Rect(52, 226, 8, 5, 0xFF121826);
    p.Rect(98, 226, 8, 5, 0xFF121826);
    p.Disc(lens.x - 6.0f, lens.y, 11.0f, 0xFF121826);
    p.Disc(lens.x - 6.0f, lens.y, 8.5f, kNavy);
    p.Disc(lens.x - 6.0f, lens.y, 5.0f, kLightBlue);
    p.Disc(lens.x - 8.0f, lens.y - 2.0f, 1.6f, kWhite);
    return img;
}

}  // namespace

const Image *FindFrameImage(int number) {
    if (number != KELVANE_IMAGE_FRAME_BACKGROUND) return nullptr;
    static const Image img = Background();
    return &img;
}

}  // namespace kelvanebmp
