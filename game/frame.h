// The simulation steps of the sandbox's frame loop, one function per step, reading polled input.
// SimulateFrame runs them in the loop's order; the game and the headless runner both call it,
// so the order lives here only. Nothing here draws: the hooks are where the game does.
#pragma once

#include "game/world.h"

namespace corvex {

// What the frame loop does between simulation steps. Every hook does nothing by default.
class FrameHooks {
public:
    virtual ~FrameHooks() = default;
    virtual void BodyDiagonal(World& world, Constraint& diagonal);  // a spawned body's diagonal: its image
    virtual void AfterSpawn(World& world);                          // the water is drawn here
    virtual void BeforePointPass(World& world);                     // each point pass first resets drawing state
};

// --- Steps, in the loop's order ----------------------------------------------------------------
bool SpawnStep(World& world, FrameHooks* hooks);        // Space hit: BoxCounter + 1, one body at a random x
void PointPassStep(World& world, FrameHooks* hooks);    // UpdateVerlets at the current mouse position
void MouseDragStep(World& world);                       // left button held: tug Selected towards the mouse
void ResetNearestStep(World& world);                    // NearestDist back to 10000
void ConstraintPassStep(World& world);                  // UpdateConstraints

// Spawn, (AfterSpawn), point pass, drag, reset, constraints, point pass, constraints.
void SimulateFrame(World& world, FrameHooks* hooks = nullptr);

}  // namespace corvex
