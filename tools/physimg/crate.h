// The sandbox's body picture: a wooden crate, painted pixel by pixel.
#pragma once

#include <cstdint>
#include <vector>

namespace physimg {

// Paints a size x size crate (size at least 16) as 32-bit ARGB pixels, row by row from the top.
// Every pixel is opaque wood: red above green above blue, so the crate stays easy to tell apart
// from black background, blue water and white lines.
std::vector<uint32_t> PaintCrate(int size);

}  // namespace physimg
