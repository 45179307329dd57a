// Blend modes, image flags and the other constants of the 2D drawing layer.
#pragma once

namespace corvex {

// ---- Blend modes
constexpr int BLEND_MASK = 1;      // no blending; pixels with alpha below 0.5 are not drawn
constexpr int BLEND_SOLID = 2;     // no blending, no alpha test
constexpr int BLEND_ALPHA = 3;     // source * source alpha + destination * (1 - source alpha)
constexpr int BLEND_ADDITIVE = 4;  // source * source alpha + destination
constexpr int BLEND_MULTIPLY = 5;  // destination * source colour

// ---- Image flags
constexpr int IMAGE_MASKED = 1;    // colour-key pixmaps without alpha with the mask colour
constexpr int IMAGE_FILTERED = 2;  // linear filtering
constexpr int IMAGE_MIPMAPPED = 4; // a mipmap chain
constexpr int IMAGE_DYNAMIC = 8;   // added by CreateImage

}  // namespace corvex
