#include "game/constraint.h"

#include <cmath>
#include <numbers>

#include "game/world.h"

namespace corvex {

Constraint& Constraint::Create(World& world, Verlet& v1, Verlet& v2, float length) {
    Constraint c;
    c.v1 = &v1;
    c.v2 = &v2;
    if (length >= 0.0f) {
        c.Length = length;
    } else {
        double dx = static_cast<double>(v1.X) - static_cast<double>(v2.X);
        double dy = static_cast<double>(v1.Y) - static_cast<double>(v2.Y);
        c.Length = static_cast<float>(std::sqrt(dx * dx + dy * dy));
    }
    c.Elasticity = 0.0f;
    return world.Constraints.Append(c);
}

void RelaxConstraint(Constraint& c, bool soft) {
    Verlet& a = *c.v1;
    Verlet& b = *c.v2;
    float sum = a.mass + b.mass;
    if (sum == 0.0f) {
        return;  // no way to share the correction
    }
    float wa = 2.0f * a.mass / sum;
    float wb = 2.0f * b.mass / sum;
    float dx = a.X - b.X;
    float dy = a.Y - b.Y;
    float d = std::sqrt(dx * dx + dy * dy);
    float k = d != 0.0f ? (d - c.Length) / d : 0.0f;
    float hx = dx * 0.5f;
    float hy = dy * 0.5f;
    if (soft) {
        if (a.active == 1) {
            a.X = a.X - k * hx * wb / 20.0f;
            a.Y = a.Y - k * hy * wb / 20.0f;
        }
        if (b.active == 1) {
            b.X = b.X + k * hx * wa / 20.0f;
            b.Y = b.Y + k * hy * wa / 20.0f;
        }
    } else {
        if (a.active == 1) {
            a.X = a.X - k * hx * wb;
            a.Y = a.Y - k * hy * wb;
        }
        if (b.active == 1) {
            b.X = b.X + k * hx * wa;
            b.Y = b.Y + k * hy * wa;
        }
    }
}

void UpdateConstraints(World& world) {
    int32_t iterations = world.ConstraintIterations;
    for (int32_t iter = 1; iter <= iterations; ++iter) {
        bool soft = !(iter > iterations - 4);
        int32_t chunks = world.Constraints.ChunkCount();
        for (int32_t ch = 0; ch < chunks; ++ch) {
            Constraint* c = world.Constraints.ChunkData(ch);
            int32_t used = world.Constraints.ChunkUsed(ch);
            for (int32_t i = 0; i < used; ++i) {
                RelaxConstraint(c[i], soft);
            }
        }
    }
}

double ConstraintDirection(const Constraint& c) {
    float dx = c.v1->X - c.v2->X;
    float dy = c.v1->Y - c.v2->Y;
    return std::atan2(static_cast<double>(dx), static_cast<double>(dy)) * (180.0 / std::numbers::pi);
}

int32_t RotationOffset(const Constraint& c, int32_t userot) {
    if (userot != 1) {
        return 0;
    }
    double dir = ConstraintDirection(c);
    return std::isnan(dir) ? 0 : static_cast<int32_t>(dir);  // within +-180: the cast truncates
}

}  // namespace corvex
