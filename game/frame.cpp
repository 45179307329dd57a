#include "game/frame.h"

#include "game/spawn.h"
#include <corvex/system/input.h>
#include <corvex/system/keys.h>
#include <corvex/system/random.h>

namespace corvex {

namespace {
}  // namespace

void FrameHooks::BodyDiagonal(World&, Constraint&) {}
void FrameHooks::AfterSpawn(World&) {}
void FrameHooks::BeforePointPass(World&) {}

bool SpawnStep(World& world, FrameHooks* hooks) {
    // Several presses since the last frame still give one body.
    if (KeyHits(KEY_SPACE) == 0) {
        return false;
    }
    world.BoxCounter += 1;
    float x = static_cast<float>(RandomRange(600.0, 0.0) + 100.0);
    DiagonalHook onDiagonal;
    if (hooks) {
        onDiagonal = [hooks, &world](Constraint& c) { hooks->BodyDiagonal(world, c); };
    }
    SpawnBox(world, x, -100.0f, 20.0f, 10.0f, world.BoxCounter, onDiagonal);
    return true;
}

void PointPassStep(World& world, FrameHooks* hooks) {
    if (hooks) {
        hooks->BeforePointPass(world);
    }
    // The mouse is read once per pass: input is only taken between passes anyway.
    float mx = static_cast<float>(MousePosX());
    float my = static_cast<float>(MousePosY());
    UpdateVerlets(world, mx, my);
}

void MouseDragStep(World& world) {
    if (IsMouseDown(MOUSE_LEFT) == 0 || world.Selected == nullptr || !(world.NearestDist > 5.0f)) {
        return;
    }
    float mx = static_cast<float>(MousePosX());
    float my = static_cast<float>(MousePosY());
    Verlet& s = *world.Selected;
    // Moving the previous position away from the mouse adds about a pixel per step towards it.
    s.OX = s.OX - (mx - s.X) / world.NearestDist;
    s.OY = s.OY - (my - s.Y) / world.NearestDist;
}

void ResetNearestStep(World& world) {
    world.NearestDist = 10000.0f;
}

void ConstraintPassStep(World& world) {
    UpdateConstraints(world);
}

void SimulateFrame(World& world, FrameHooks* hooks) {
    SpawnStep(world, hooks);
    if (hooks) {
        hooks->AfterSpawn(world);
    }
    PointPassStep(world, hooks);
    MouseDragStep(world);
    ResetNearestStep(world);
    ConstraintPassStep(world);
    PointPassStep(world, hooks);
    ConstraintPassStep(world);
}

}  // namespace corvex
