#include "game/physics_image.h"

#include <corvex/draw2d/blend.h>
#include <corvex/draw2d/zeph2d.h>

namespace corvex {

Ref<PhysicsImage> PhysicsImage::Create(PhysicsImageList& images, Constraint& c, const Ref<TImage>& image,
                                       int32_t r, int32_t g, int32_t b, float alph, float sclx, float scly,
                                       int32_t blend, int32_t userot) {
    auto p = std::make_shared<PhysicsImage>();
    p->c = &c;
    p->image = image;
    p->rotationoffset = RotationOffset(c, userot);
    p->r = r;
    p->g = g;
    p->b = b;
    p->alph = alph;
    p->sclx = sclx;
    p->scly = scly;
    p->blend = blend;
    images.AddLast(p);
    return p;
}

ImagePlacement PlacementOf(const PhysicsImage& image, const World& world) {
    const Constraint& c = *image.c;
    const double angle = ConstraintDirection(c);
    ImagePlacement at;
    at.rotation = static_cast<float>(-(angle - image.rotationoffset));
    at.x = (c.v1->X + c.v2->X) / 2 + static_cast<float>(world.DrawOffsetX);
    at.y = (c.v1->Y + c.v2->Y) / 2 + static_cast<float>(world.DrawOffsetY);
    return at;
}

void DrawPhysicsImages(const PhysicsImageList& images, const World& world) {
    for (const Ref<PhysicsImage>& p : images) {
        if (!p || !p->c) continue;
        SetColor(p->r, p->g, p->b);
        SetAlpha(p->alph);
        SetBlend(p->blend);
        SetScale(p->sclx, p->scly);
        const ImagePlacement at = PlacementOf(*p, world);
        SetRotation(at.rotation);
        if (p->image) {
            DrawImage(p->image, at.x, at.y, 0);
        } else {
            // No picture: a plain square of the picture's size, centred and turned the same way.
            float hx, hy;
            GetHandle(hx, hy);
            SetHandle(PLAIN_IMAGE_SIDE / 2, PLAIN_IMAGE_SIDE / 2);
            DrawRect(at.x, at.y, PLAIN_IMAGE_SIDE, PLAIN_IMAGE_SIDE);
            SetHandle(hx, hy);
        }
    }
    SetRotation(0);
    SetScale(1, 1);
    SetColor(255, 255, 255);
    SetAlpha(1.0f);
    SetBlend(BLEND_ALPHA);
}

}  // namespace corvex
