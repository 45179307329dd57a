// Bodies: a square of four points braced by six constraints.
#pragma once

#include <cstdint>
#include <functional>

#include "game/world.h"

namespace corvex {

// Edge length and point radius of every body, whatever size is asked for.
constexpr float BODY_SIZE = 15.75f;

// What one SpawnBox call created, in creation order.
struct SpawnedBody {
    Verlet* points[4] = {};             // P1 (x, y), P2 (x+s, y), P3 (x+s, y+s), P4 (x, y+s)
    Constraint* constraints[6] = {};    // P1-P2, P1-P3, P1-P4, P2-P3, P2-P4, P3-P4
    Constraint* Diagonal() const { return constraints[1]; }
};

// Called right after the diagonal P1-P3 is created, before the remaining four constraints:
// the place where the body's image is made.
using DiagonalHook = std::function<void(Constraint& diagonal)>;

// Builds one body with its top-left corner at (x, y): four points of radius BODY_SIZE, mass
// mass, ID id and friction 0.4, and six rods at their rest lengths. size is ignored. Draws one
// (unused) random number first, so later random draws depend on the number of spawns.
SpawnedBody SpawnBox(World& world, float x, float y, float size, float mass, int32_t id,
                     const DiagonalHook& onDiagonal = nullptr);

}  // namespace corvex
