#include "tools/physimg/crate.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace physimg {
namespace {

struct Wood {
    double r, g, b;
};

constexpr Wood kPlank{196, 140, 78};   // light boards of the panel
constexpr Wood kFrame{150, 98, 50};    // darker frame and brace
constexpr Wood kGap{92, 60, 34};       // shadow between boards
constexpr Wood kOutline{70, 44, 24};   // outer edge
constexpr Wood kNail{58, 46, 36};      // nail heads

// A small deterministic hash in [0, 1): grain noise that is the same on every build.
double Hash(int x, int y) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFF) / 65536.0;
}

uint32_t Pack(Wood w, double light) {
    auto channel = [light](double v) {
        return static_cast<uint32_t>(std::clamp(v * light, 0.0, 255.0));
    };
    uint32_t r = channel(w.r), g = channel(w.g), b = channel(w.b);
    // Keep the warm order even for the darkest or brightest shades.
    g = std::min(g, r > 8 ? r - 8 : 0u);
    b = std::min(b, g > 8 ? g - 8 : 0u);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

}  // namespace

std::vector<uint32_t> PaintCrate(int size) {
    if (size < 16) throw std::invalid_argument("crate size below 16");
    const double s = size;
    const int frame = std::max(3, size * 3 / 32);  // 6 pixels at 64
    const int boards = 4;
    std::vector<uint32_t> pixels(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool edge = x == 0 || y == 0 || x == size - 1 || y == size - 1;
            const bool inFrame = x < frame || y < frame || x >= size - frame || y >= size - frame;
            // Brace from the bottom-left to the top-right inner corner.
            const double braceDist = std::abs((x + 0.5) + (y + 0.5) - s) / std::sqrt(2.0);
            const bool inBrace = !inFrame && braceDist < frame * 0.65;
            const bool braceEdge = !inFrame && !inBrace && braceDist < frame * 0.65 + 1.0;
            const int inner = y - frame;
            const int boardHeight = (size - 2 * frame) / boards;
            const bool boardGap = !inFrame && !inBrace && boardHeight > 0 && inner % boardHeight == boardHeight - 1;

            Wood w = kPlank;
            // Grain: stripes along the board, bent by noise per row.
            double grain = 0.92 + 0.08 * std::sin(x * 0.55 + Hash(0, y) * 6.0 + std::sin(x * 0.13) * 2.0);
            if (inFrame) {
                w = kFrame;
                const bool vertical = (x < frame || x >= size - frame) && !(y < frame || y >= size - frame);
                grain = 0.92 + 0.08 * std::sin((vertical ? y : x) * 0.5 + Hash(vertical ? x : y, 7) * 6.0);
                // Bevel: light on the top and left, shade on the bottom and right.
                if (x == 1 || y == 1) grain *= 1.18;
                if (x == size - 2 || y == size - 2) grain *= 0.8;
                // Inner rim of the frame throws a shadow onto the panel.
                if (x == frame - 1 || y == frame - 1 || x == size - frame || y == size - frame) grain *= 0.78;
            } else if (inBrace) {
                w = kFrame;
                grain = 0.95 + 0.07 * std::sin((x - y) * 0.45 + Hash(x + y, 3) * 5.0);
            } else if (braceEdge || boardGap) {
                w = kGap;
                grain = 1.0;
            }
            grain *= 0.96 + 0.08 * Hash(x, y);  // fine speckle
            if (edge) {
                w = kOutline;
                grain = 1.0;
            }
            // Nail heads near the frame corners.
            const int nail = frame / 2;
            for (int cx : {nail, size - 1 - nail}) {
                for (int cy : {nail, size - 1 - nail}) {
                    if (std::abs(x - cx) + std::abs(y - cy) <= 1) {
                        w = kNail;
                        grain = (x == cx && y == cy) ? 1.5 : 1.0;
                    }
                }
            }
            pixels[static_cast<size_t>(y) * size + x] = Pack(w, grain);
        }
    }
    return pixels;
}

}  // namespace physimg
