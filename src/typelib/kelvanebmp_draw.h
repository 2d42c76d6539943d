#pragma once
// Drawing helpers shared by the image sources of kelvanebmp. Internal to the library.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace kelvanebmp {


using Color = std::uint32_t;

constexpr Color kClear = 0x00000000;
constexpr Color kInk = 0xFF2A2A2A;
constexpr Color kWhite = 0xFFFFFFFF;
constexpr Color kGrey = 0xFF8C8C8C;
constexpr Color kLightGrey = 0xFFD2D2D2;
constexpr Color kDarkGrey = 0xFF4A4A4A;
constexpr Color kBlue = 0xFF2F6FC0;
constexpr Color kLightBlue = 0xFFA8D0F4;
constexpr Color kNavy = 0xFF1F3F78;
constexpr Color kGreen = 0xFF2E9E44;
constexpr Color kRed = 0xFFC83232;
constexpr Color kYellow = 0xFFF2C53D;
constexpr Color kDarkYellow = 0xFFC99A1E;
constexpr Color kBrown = 0xFF8A5A2B;
constexpr Color kBeam = 0xB0FFE680;  // translucent so the icon reads on any background

struct Image {
    int width = 0;
    int height = 0;
    std::vector<Color> pixels;
};

struct Pt {
    float x, y;
};

// Draws into a clipped window of an image using local coordinates. Shapes
// cover the pixels whose centres fall inside them; later shapes replace
// earlier ones (flat colours, no blending).
class Painter {
public:
    Painter(Image &img, int ox, int oy, int w, int h)
        : img_(img), ox_(ox), oy_(oy), w_(w), h_(h) {}

    void Pixel(int x, int y, Color c) {
        if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
        img_.pixels[static_cast<std::size_t>((oy_ + y) * img_.width + ox_ + x)] = c;
    }

    void Rect(int x, int y, int w, int h, Color c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) Pixel(i, j, c);
    }

    // Filled rectangle with a one-pixel border.
    void Box(int x, int y, int w, int h, Color fill, Color border = kInk) {
        Rect(x, y, w, h, border);
        Rect(x + 1, y + 1, w - 2, h - 2, fill);
    }

    void RoundRect(int x, int y, int w, int h, float r, Color c) {
        const float x0 = static_cast<float>(x) + r, x1 = static_cast<float>(x + w) - r;
        const float y0 = static_cast<float>(y) + r, y1 = static_cast<float>(y + h) - r;
        ForArea(x, y, x + w, y + h, c, [&](float px, float py) {
            const float dx = px < x0 ? x0 - px : (px > x1 ? px - x1 : 0.0f);
            const float dy = py < y0 ? y0 - py : (py > y1 ? py - y1 : 0.0f);
            return dx * dx + dy * dy <= r * r;
        });
    }

    void Disc(float cx, float cy, float r, Color c) { Ring(cx, cy, r, r, c); }

    // Annulus of outer radius r and the given thickness.
    void Ring(float cx, float cy, float r, float thickness, Color c) {
        const float inner = std::max(0.0f, r - thickness);
        ForArea(Floor(cx - r), Floor(cy - r), Ceil(cx + r), Ceil(cy + r), c,
                [&](float px, float py) {
                    const float d2 = (px - cx) * (px - cx) + (py - cy) * (py - cy);
                    return d2 <= r * r && (inner == 0.0f || d2 >= inner * inner);
                });
    }

    void Line(Pt a, Pt b, float width, Color c) {
        const float half = width / 2.0f;
        const float vx = b.x - a.x, vy = b.y - a.y;
        const float len2 = vx * vx + vy * vy;
        ForArea(Floor(std::min(a.x, b.x) - half), Floor(std::min(a.y, b.y) - half),
                Ceil(std::max(a.x, b.x) + half), Ceil(std::max(a.y, b.y) + half), c,
                [&](float px, float py) {
                    float t = len2 > 0.0f ? ((px - a.x) * vx + (py - a.y) * vy) / len2 : 0.0f;
                    t = std::clamp(t, 0.0f, 1.0f);
                    const float dx = px - (a.x + t * vx), dy = py - (a.y + t * vy);
                    return dx * dx + dy * dy <= half * half;
                });
    }

    void Polyline(std::initializer_list<Pt> pts, float width, Color c) {
        const Pt *prev = nullptr;
        for (const Pt &p : pts) {
            if (prev != nullptr) Line(*prev, p, width, c);
            prev = &p;
        }
    }

    // Even-odd fill of a simple polygon.
    void Polygon(std::initializer_list<Pt> pts, Color c) {
        const std::vector<Pt> v(pts);
        float minX = v[0].x, maxX = v[0].x, minY = v[0].y, maxY = v[0].y;
        for (const Pt &p : v) {
            minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
        }
        ForArea(Floor(minX), Floor(minY), Ceil(maxX), Ceil(maxY), c, [&](float px, float py) {
            bool inside = false;
            for (std::size_t i = 0, j = v.size() - 1; i < v.size(); j = i++) {
                if ((v[i].y > py) != (v[j].y > py) &&
                    px < (v[j].x - v[i].x) * (py - v[i].y) / (v[j].y - v[i].y) + v[i].x)
                    inside = !inside;
            }
            return inside;
        });
    }

private:
    static int Floor(float v) { return static_cast<int>(std::floor(v)); }
    static int Ceil(float v) { return static_cast<int>(std::ceil(v)); }

    template <typename Inside>
    void ForArea(int x0, int y0, int x1, int y1, Color c, Inside inside) {
        x0 = std::max(x0, 0), y0 = std::max(y0, 0);
        x1 = std::min(x1, w_), y1 = std::min(y1, h_);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (inside(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f))
                    Pixel(x, y, c);
    }

    Image &img_;
    int ox_, oy_, w_, h_;
};


// Image sources kept in their own files: each answers the numbers it draws, else nullptr.
const Image *FindFrameImage(int number);
const Image *FindDirectAccessImage(int number);
const Image *FindRemoteImage(int number);
const Image *FindExplorerImage(int number);
const Image *FindCommImage(int number);

}  // namespace kelvanebmp
