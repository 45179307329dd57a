#include "game/e2e/screen_reading.h"

#include <algorithm>
#include <climits>

#include "stream/fontbits.h"

namespace e2e {
namespace {

constexpr int kCellW = 8, kCellH = 16, kFirstCode = 32, kGlyphs = 96;

bool Ink(int glyph, int col, int row) {
    return (corvex::kBuiltinFontBits[row * kGlyphs + glyph] >> col) & 1;
}

// Text pixels are drawn white; anything else (background, water, crates) is not ink.
bool Bright(uint32_t rgb) {
    return ((rgb >> 16) & 255) > 160 && ((rgb >> 8) & 255) > 160 && (rgb & 255) > 160;
}

}  // namespace

std::vector<std::vector<bool>> RenderText(std::string_view text) {
    std::vector<std::vector<bool>> mask(kCellH, std::vector<bool>(text.size() * kCellW, false));
    for (size_t i = 0; i < text.size(); ++i) {
        int glyph = static_cast<unsigned char>(text[i]) - kFirstCode;
        if (glyph < 0 || glyph >= kGlyphs) continue;
        for (int row = 0; row < kCellH; ++row)
            for (int col = 0; col < kCellW; ++col) mask[row][i * kCellW + col] = Ink(glyph, col, row);
    }
    return mask;
}

std::string ReadText(const Screenshot& shot, int x, int y, int maxChars) {
    std::string text;
    for (int i = 0; i < maxChars; ++i) {
        const int left = x + i * kCellW;
        if (!shot.Contains(left, y) || !shot.Contains(left + kCellW - 1, y + kCellH - 1)) break;
        char found = '?';
        for (int glyph = 0; glyph < kGlyphs && found == '?'; ++glyph) {
            bool same = true;
            for (int row = 0; row < kCellH && same; ++row)
                for (int col = 0; col < kCellW && same; ++col)
                    same = Ink(glyph, col, row) == Bright(shot.At(left + col, y + row));
            if (same) found = static_cast<char>(glyph + kFirstCode);
        }
        text += found;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::optional<int> ReadNumber(const Screenshot& shot, int x, int y, std::string_view prefix) {
    std::string text = ReadText(shot, x, y, static_cast<int>(prefix.size()) + 8);
    if (text.compare(0, prefix.size(), prefix) != 0 || text.size() == prefix.size()) return std::nullopt;
    std::string digits = text.substr(prefix.size());
    size_t start = digits[0] == '-' ? 1 : 0;
    if (start == digits.size()) return std::nullopt;
    for (size_t i = start; i < digits.size(); ++i)
        if (digits[i] < '0' || digits[i] > '9') return std::nullopt;
    return std::stoi(digits);
}

bool IsWood(uint32_t rgb) {
    const int r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
    return r >= 40 && r - b >= 20 && g >= b && r >= g;
}

WoodStats FindWood(const Screenshot& shot) {
    WoodStats stats;
    int minX = INT_MAX, minY = INT_MAX, maxX = INT_MIN, maxY = INT_MIN;
    double sx = 0, sy = 0;
    for (int y = 0; y < shot.height; ++y) {
        for (int x = 0; x < shot.width; ++x) {
            if (!IsWood(shot.At(x, y))) continue;
            ++stats.count;
            sx += x;
            sy += y;
            minX = std::min(minX, x);
            minY = std::min(minY, y);
            maxX = std::max(maxX, x);
            maxY = std::max(maxY, y);
        }
    }
    if (stats.count) {
        stats.cx = sx / stats.count;
        stats.cy = sy / stats.count;
        stats.bounds = {minX, minY, maxX - minX + 1, maxY - minY + 1};
    }
    return stats;
}

}  // namespace e2e
