// Distance constraints: rods that keep two points at a rest length, and their relaxation pass.
#pragma once

#include <cstdint>

#include "game/verlet.h"

namespace corvex {

// Keeps v1 and v2 at distance Length. The points belong to the world and outlive the constraint.
struct Constraint {
    Verlet* v1 = nullptr;    // first end point
    Verlet* v2 = nullptr;    // second end point
    float Length = 0.0f;     // rest length in pixels
    float Elasticity = 0.0f; // reserved, always 0

    // Creates a constraint in world.Constraints (at index ConstraintCount). A negative (or NaN)
    // length takes the points' current distance as the rest length.
    static Constraint& Create(World& world, Verlet& v1, Verlet& v2, float length);
};

// ConstraintIterations relaxation sweeps over all constraints in creation order, each correction
// written back at once: the last four sweeps apply corrections in full, earlier ones a twentieth.
void UpdateConstraints(World& world);

// One correction of c (soft: a twentieth of it). Skips coincident points and massless pairs.
void RelaxConstraint(Constraint& c, bool soft);

// Direction of c in degrees: atan2 of (v1.X - v2.X, v1.Y - v2.Y), x difference first.
double ConstraintDirection(const Constraint& c);

// The rotation offset a body image takes at creation: the direction truncated towards zero when
// userot is 1, else 0.
int32_t RotationOffset(const Constraint& c, int32_t userot);

}  // namespace corvex
