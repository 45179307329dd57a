#include "game/verlet.h"

#include <cmath>
#include <cstdint>

#include "game/polyseg.h"
#include "game/world.h"

namespace corvex {

Verlet& Verlet::Create(World& world, float x, float y, float siz, float mass, int32_t id, int32_t active,
                       float dx0, float dy0, float friccr) {
    Verlet v;
    v.X = x;
    v.Y = y;
    v.OX = x + dx0;
    v.OY = y + dy0;
    v.Siz = siz;
    v.Collided = 0;
    v.ID = id;
    v.mass = mass;
    v.VX = 0.0f;
    v.VY = 0.0f;
    v.active = active;
    v.friccr = friccr;
    v.done = 0;
    v.fricap = 1.0f;
    Verlet& stored = world.Verlets.Append(v);
    world.Grid.Reserve(world.VerletCount());  // the passes themselves never allocate
    float reach = siz * 2.0f;
    if (reach > static_cast<float>(world.ReachBound)) {
        // Truncated towards zero; a diameter beyond the int range saturates.
        float bound = reach + 1.0f;
        world.ReachBound = bound < 2147483520.0f ? static_cast<int32_t>(bound) : INT32_MAX;
    }
    return stored;
}

void CollidePoint(World& world, Verlet& p) {
    // All pairs, in increasing index of q (p itself is excluded by the ID test).
    float reach = static_cast<float>(world.ReachBound);
    int32_t chunks = world.Verlets.ChunkCount();
    for (int32_t c = 0; c < chunks; ++c) {
        Verlet* q = world.Verlets.ChunkData(c);
        int32_t used = world.Verlets.ChunkUsed(c);
        for (int32_t j = 0; j < used; ++j) {
            CollidePointPair(p, q[j], reach);
        }
    }
}

namespace {

// One point's step; grid is null for the all-pairs collision loop.
void StepPoint(World& world, Verlet& p, float mx, float my, bool grid) {
    p.done = 1;
    p.Collided = 0;

    // Integrate: damping (stronger under water), friction on the horizontal velocity, gravity.
    float under = p.Y > static_cast<float>(world.WaterLevel) ? 1.0f : 0.0f;
    float f = world.Damping - under * world.WaterDrag;
    p.VX = (p.X - p.OX) * f;
    p.VY = (p.Y - p.OY) * f;
    p.VX = p.VX * p.fricap;
    p.VX = p.VX * p.fricap;
    p.fricap = 1.0f;
    p.OX = p.X;
    p.OY = p.Y;
    p.X = p.X + p.VX + world.GravityX;
    p.Y = p.Y + p.VY + world.GravityY;

    if (grid) {
        CollidePointGrid(world, p);
    } else {
        CollidePoint(world, p);
    }

    // Buoyancy grows linearly with depth; it acts on the next step's velocity through OY.
    float level = static_cast<float>(world.WaterLevel);
    if (p.Y > level) {
        p.OY = p.OY - world.Buoyancy * ((level - p.Y) / world.WaterDepth) * (1.0f / p.mass);
    }

    // Walls: the previous position takes the unclamped one, so the point rebounds slightly.
    // The negated tests also catch a NaN coordinate and put it back inside.
    if (p.X + p.Siz > static_cast<float>(world.WorldRight)) {
        p.OX = p.X;
        p.X = static_cast<float>(world.WorldRight) - p.Siz;
    } else if (!(p.X - p.Siz >= static_cast<float>(world.WorldLeft))) {
        p.OX = p.X;
        p.X = static_cast<float>(world.WorldLeft) + p.Siz;
    }
    if (p.Y + p.Siz > static_cast<float>(world.WorldBottom)) {
        p.OY = p.Y;
        p.Y = static_cast<float>(world.WorldBottom) - p.Siz;
    } else if (!(p.Y - p.Siz >= static_cast<float>(world.WorldTop))) {
        p.OY = p.Y;
        p.Y = static_cast<float>(world.WorldTop) + p.Siz;
    }

    CollidePolysegs(world, p);

    // Nearest dynamic point to the mouse; ties keep the earlier point.
    float ex = p.X - mx;
    float ey = p.Y - my;
    float dm = std::sqrt(ex * ex + ey * ey);
    if (dm < world.NearestDist) {
        world.NearestDist = dm;
        world.Selected = &p;
    }
}

}  // namespace

void UpdateVerlet(World& world, Verlet& p, float mx, float my) {
    StepPoint(world, p, mx, my, false);
}

void UpdateVerlets(World& world, float mx, float my) {
    int32_t n = world.VerletCount();
    bool grid = world.UseGrid;
    if (grid) {
        world.Grid.Build(world, static_cast<float>(world.ReachBound));
    }
    for (int32_t i = 0; i < n; ++i) {
        Verlet& p = world.Verlets[i];
        if (p.active == 1) {
            StepPoint(world, p, mx, my, grid);
            if (grid) {
                world.Grid.NoteMoved(i, p.X, p.Y);
            }
        }
    }
}

}  // namespace corvex
