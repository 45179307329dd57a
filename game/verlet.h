// Verlet points: point masses whose velocity is the difference between the current and the
// previous position, and the point pass that moves and collides them.
#pragma once

#include <cstdint>

namespace corvex {

class World;

// One point mass, a disc of radius Siz. Fields are 32-bit; every store narrows to float.
struct Verlet {
    int32_t indexpos = 0;  // reserved, always 0
    float X = 0.0f;        // current position (pixels, y grows downwards)
    float Y = 0.0f;
    float OX = 0.0f;       // previous position
    float OY = 0.0f;
    float VX = 0.0f;       // velocity used for the last move, pixels per step
    float VY = 0.0f;
    float Siz = 0.0f;      // collision radius
    int32_t Collided = 0;  // cleared every step, otherwise unused
    int32_t ID = 0;        // body identity: points with equal ID never collide; scenery uses 0
    float mass = 0.0f;     // weights constraint corrections and scales buoyancy
    int32_t active = 1;    // 1 = dynamic, anything else = static
    float fricap = 0.0f;   // factor applied (squared) to VX at the next step; 1 = no friction
    float friccr = 0.0f;   // friction this point imposes on points touching it
    int32_t done = 0;      // set every step, otherwise unused

    // Creates a point in world.Verlets (at index VerletCount) and raises world.ReachBound to
    // cover its diameter. The initial velocity is (-dx0, -dy0).
    static Verlet& Create(World& world, float x, float y, float siz, float mass, int32_t id,
                          int32_t active, float dx0, float dy0, float friccr);
};

// The point pass: each dynamic point in index order is integrated (damping, friction, gravity),
// collided with every other body's points, pushed by the water, kept inside the walls, collided
// with the segments, and measured against the mouse position (mx, my) for the nearest-point search.
void UpdateVerlets(World& world, float mx, float my);

// One point's step, as run by UpdateVerlets for a dynamic point (testing all pairs).
void UpdateVerlet(World& world, Verlet& p, float mx, float my);

// Point-point collisions of p against every point, in index order. See CollidePointPair.
void CollidePoint(World& world, Verlet& p);

// Whether p and q collide: both |dx| and |dy| below reach, different IDs, the discs overlapping
// and the centres apart (coincident points have no direction to be pushed along).
inline bool PointsTouch(const Verlet& p, const Verlet& q, float reach);

// The response for the pair (p, q) when PointsTouch: friction exchange and separation. Only p and
// q change, so a broad phase that applies it to the touching pairs in increasing index of q, testing
// each with p's position as it stands, gives results identical to the all-pairs loop.
inline void CollidePointPair(Verlet& p, Verlet& q, float reach);

}  // namespace corvex

#include "game/verlet_inl.h"
