#include "game/physics_image.h"

#include <gtest/gtest.h>

#include <cmath>

#include "game/frame.h"
#include "game/sandbox.h"
#include "game/spawn.h"
#include <corvex/system/event.h>
#include <corvex/system/input.h>
#include "system/input_module.h"

namespace corvex {
namespace {

// Turns every point of a body about (cx, cy) by degrees, clockwise on screen (y points down).
void Turn(const SpawnedBody& body, float cx, float cy, double degrees) {
    const double a = degrees * std::acos(-1.0) / 180.0;
    for (Verlet* p : body.points) {
        const double dx = p->X - cx, dy = p->Y - cy;
        p->X = static_cast<float>(cx + dx * std::cos(a) - dy * std::sin(a));
        p->Y = static_cast<float>(cy + dx * std::sin(a) + dy * std::cos(a));
    }
}

// Rotations that differ by whole turns draw the same.
double Normalised(double degrees) {
    double d = std::fmod(degrees, 360.0);
    return d < 0 ? d + 360.0 : d;
}

struct BodyWithImage {
    World world;
    PhysicsImageList images;
    SpawnedBody body;
    Ref<PhysicsImage> image;

    explicit BodyWithImage(float x, float y = -100.0f) {
        body = SpawnBox(world, x, y, 20.0f, 10.0f, 3,
                        [&](Constraint& diagonal) { image = AttachBodyImage(images, diagonal, nullptr); });
    }
};

TEST(PhysicsImage, NewBodyImageIsUprightCentredAndScaled) {
    BodyWithImage b(100.0f);
    ASSERT_TRUE(b.image);
    EXPECT_EQ(b.images.Count(), 1u);
    EXPECT_EQ(b.image->c, b.body.Diagonal());
    EXPECT_EQ(b.image->rotationoffset, -135);
    EXPECT_EQ(b.image->sclx, 0.75f);
    EXPECT_EQ(b.image->scly, 0.75f);
    EXPECT_EQ(b.image->r + b.image->g + b.image->b, 3 * 255);
    EXPECT_EQ(b.image->alph, 1.0f);
    EXPECT_EQ(b.image->blend, 3);
    ImagePlacement at = PlacementOf(*b.image, b.world);
    EXPECT_FLOAT_EQ(at.x, 100.0f + 15.75f / 2);
    EXPECT_FLOAT_EQ(at.y, -100.0f + 15.75f / 2);
    EXPECT_NEAR(at.rotation, 0.0f, 1e-4);
    // Moving the body carries the picture; the draw offset shifts it on screen.
    for (Verlet* p : b.body.points) p->Y += 300.0f;
    b.world.DrawOffsetX = 5;
    b.world.DrawOffsetY = -7;
    at = PlacementOf(*b.image, b.world);
    EXPECT_FLOAT_EQ(at.x, 100.0f + 15.75f / 2 + 5);
    EXPECT_FLOAT_EQ(at.y, 200.0f + 15.75f / 2 - 7);
}

TEST(PhysicsImage, PictureTurnsClockwiseWithItsBody) {
    for (double turn : {90.0, 30.0, 180.0, 270.0, -45.0}) {
        BodyWithImage b(300.0f);
        const float cx = 300.0f + 15.75f / 2, cy = -100.0f + 15.75f / 2;
        Turn(b.body, cx, cy, turn);
        ImagePlacement at = PlacementOf(*b.image, b.world);
        // A positive rotation turns the picture clockwise on screen, as the body turned.
        EXPECT_NEAR(Normalised(at.rotation), Normalised(turn), 1e-3) << "turned " << turn;
        EXPECT_NEAR(at.x, cx, 1e-3);
        EXPECT_NEAR(at.y, cy, 1e-3);
    }
}

TEST(PhysicsImage, TruncatedOffsetLeavesAtMostOneDegree) {
    // Where narrowing x + 15.75 to float lengthens the diagonal's x extent, the offset is -134.
    for (float x : {100.0f, 123.456f, 399.99f, 650.3f, 699.97f}) {
        BodyWithImage b(x);
        EXPECT_TRUE(b.image->rotationoffset == -135 || b.image->rotationoffset == -134) << x;
        EXPECT_LE(std::abs(PlacementOf(*b.image, b.world).rotation), 1.0f) << x;
    }
}

TEST(PhysicsImage, WithoutRotationOffsetTheDirectionItselfIsTheTurn) {
    World world;
    PhysicsImageList images;
    Verlet& a = Verlet::Create(world, 0, 0, 1, 1, 1, 1, 0, 0, 0);
    Verlet& c = Verlet::Create(world, 0, 10, 1, 1, 1, 1, 0, 0, 0);  // a - c points up: direction 180
    Constraint& rod = Constraint::Create(world, a, c, -1);
    auto image = PhysicsImage::Create(images, rod, nullptr, 1, 2, 3, 0.5f, 2.0f, 3.0f, 4, 0);
    EXPECT_EQ(image->rotationoffset, 0);
    EXPECT_NEAR(Normalised(PlacementOf(*image, world).rotation), 180.0, 1e-4);
    EXPECT_EQ(image->r, 1);
    EXPECT_EQ(image->g, 2);
    EXPECT_EQ(image->b, 3);
    EXPECT_EQ(image->blend, 4);
    // Images are kept in creation order.
    auto second = PhysicsImage::Create(images, rod, nullptr, 0, 0, 0, 1, 1, 1, 3, 1);
    EXPECT_EQ(images.FirstLink()->Value(), image);
    EXPECT_EQ(images.LastLink()->Value(), second);
}

// The frame's simulation with the sandbox's image hook: however many Space presses arrive
// between two frames, one body with one image is made.
class ImageOnly : public FrameHooks {
public:
    PhysicsImageList images;
    void BodyDiagonal(World&, Constraint& diagonal) override { AttachBodyImage(images, diagonal, nullptr); }
};

TEST(PhysicsImage, OneBodyAndOneImagePerFrameWhateverTheHitCount) {
    StartPolledInputModule();
    StartPolledInput(nullptr);
    World world;
    CreateScenery(world);
    ImageOnly hooks;
    for (int i = 0; i < 3; ++i) {
        TEvent::Create(EVENT_KEYDOWN, nullptr, 32, 0, 0, 0, nullptr)->Emit();
        TEvent::Create(EVENT_KEYUP, nullptr, 32, 0, 0, 0, nullptr)->Emit();
    }
    SimulateFrame(world, &hooks);
    EXPECT_EQ(world.VerletCount(), 10);
    EXPECT_EQ(world.ConstraintCount(), 6);
    EXPECT_EQ(hooks.images.Count(), 1u);
    EXPECT_EQ(world.BoxCounter, 3);
    SimulateFrame(world, &hooks);  // no new press: nothing more
    EXPECT_EQ(hooks.images.Count(), 1u);
    EXPECT_EQ(world.VerletCount(), 10);
    PolledInputModule().Reset();
}

}  // namespace
}  // namespace corvex
