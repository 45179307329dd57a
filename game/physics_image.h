// Body images: a picture that rides on one constraint (a body's diagonal), centred on its
// midpoint and turned by the constraint's change of direction since the picture was made.
#pragma once

#include <cstdint>

#include <corvex/draw2d/image.h>
#include "game/constraint.h"
#include "game/world.h"
#include <corvex/runtime/list.h>
#include <corvex/runtime/object.h>

namespace corvex {

struct PhysicsImage;
using PhysicsImageList = TList<Ref<PhysicsImage>>;

struct PhysicsImage {
    Constraint* c = nullptr;     // the constraint followed (owned by the world, which outlives it)
    int32_t rotationoffset = 0;  // degrees: c's direction at creation, truncated, or 0
    Ref<TImage> image;           // Null: drawn as a plain square instead
    float alph = 0.0f;
    int32_t r = 0, g = 0, b = 0;
    float sclx = 0.0f, scly = 0.0f;
    int32_t blend = 0;

    // Makes an image following c and appends it to images. With userot 1 the current direction
    // of c becomes the rotation offset, so the picture starts upright.
    static Ref<PhysicsImage> Create(PhysicsImageList& images, Constraint& c, const Ref<TImage>& image, int32_t r,
                                    int32_t g, int32_t b, float alph, float sclx, float scly, int32_t blend,
                                    int32_t userot);
};

// Where and how a body image is drawn now: at the constraint's midpoint plus the world's draw
// offset, turned by -(direction now - rotationoffset) degrees (clockwise on screen when positive).
struct ImagePlacement {
    float x = 0.0f, y = 0.0f;
    float rotation = 0.0f;
};
ImagePlacement PlacementOf(const PhysicsImage& image, const World& world);

// Side of the square drawn, before scaling, for an image without a picture: the picture's size.
constexpr float PLAIN_IMAGE_SIDE = 64.0f;

// Draws every image in list order with its colour, alpha, blend and scale, then leaves the
// drawing state at rotation 0, scale 1, white, alpha 1, BLEND_ALPHA.
void DrawPhysicsImages(const PhysicsImageList& images, const World& world);

}  // namespace corvex
