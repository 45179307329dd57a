// The simulated world: every point, constraint and segment, the settings, and the mouse pick.
// Each World is self-contained, so several can exist side by side (tests, tools).
#pragma once

#include <cstdint>

#include "game/broadphase.h"
#include "game/chunked_array.h"
#include "game/constraint.h"
#include "game/polyseg.h"
#include "game/verlet.h"

namespace corvex {

class World {
public:
    World() = default;
    World(const World&) = delete;  // points are referred to by address
    World& operator=(const World&) = delete;

    // Containers: creation order is processing order. They grow as needed; nothing is removed.
    ChunkedArray<Verlet> Verlets;
    ChunkedArray<Constraint> Constraints;
    ChunkedArray<Polyseg> Polysegs;
    int32_t VerletCount() const { return Verlets.Count(); }
    int32_t ConstraintCount() const { return Constraints.Count(); }
    int32_t PolysegCount() const { return Polysegs.Count(); }

    // Settings.
    float GravityX = 0.0f;
    float GravityY = 0.07f;
    float Damping = 0.995f;
    float WaterDrag = 0.01f;          // subtracted from Damping under water
    int32_t WaterLevel = 450;         // points with Y > WaterLevel are under water
    float WaterDepth = 10.0f;
    float Buoyancy = 0.1f;
    int32_t ConstraintIterations = 8;
    int32_t WorldLeft = 0;
    int32_t WorldRight = 800;
    int32_t WorldTop = -700;
    int32_t WorldBottom = 600;
    int32_t DrawOffsetX = 0;          // added to every drawn world coordinate
    int32_t DrawOffsetY = 0;
    int32_t ReachBound = 0;           // largest point diameter plus one; raised by Verlet::Create

    // Mouse pick: the dynamic point nearest the mouse and its distance as last measured.
    Verlet* Selected = nullptr;
    float NearestDist = 10000.0f;

    // Incremented before each spawn by the frame loop; the first body gets ID 3.
    int32_t BoxCounter = 2;

    // The point pass finds colliding pairs through this grid (same results as testing all
    // pairs, which it does when UseGrid is false).
    bool UseGrid = true;
    PointGrid Grid;
};

// The fixed scenery: a triangular hill of three segments (and their six end points).
void CreateScenery(World& world);

}  // namespace corvex
