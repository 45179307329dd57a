// Reading the sandbox's screen: overlay text matched cell by cell against the built-in font's
// own bits (exact 8 x 16 patterns, no guessing), and the crate pictures found by their colour.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "game/e2e/x_session.h"

namespace e2e {

// ---- Text
// Ink mask of text drawn with the built-in font at (0, 0): 8 x 16 pixels per character.
std::vector<std::vector<bool>> RenderText(std::string_view text);
// Reads up to maxChars characters whose cells start at (x, y): a cell whose ink (bright pixels)
// matches a glyph exactly gives that character, any other cell gives '?'. Trailing spaces go.
std::string ReadText(const Screenshot& shot, int x, int y, int maxChars);
// The number that follows prefix in the text read at (x, y), if the text has that form.
std::optional<int> ReadNumber(const Screenshot& shot, int x, int y, std::string_view prefix);

// ---- Crates (warm, wooden pixels: red clearly above blue)
bool IsWood(uint32_t rgb);
struct WoodStats {
    int count = 0;                 // wooden pixels
    double cx = 0, cy = 0;         // their centroid
    Rect bounds;                   // their bounding box
};
WoodStats FindWood(const Screenshot& shot);

}  // namespace e2e
