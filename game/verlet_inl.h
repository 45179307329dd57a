// Inline body of the point-point narrow phase (hot: runs for every pair of the point pass).
#pragma once

#include <cmath>

namespace corvex {

inline bool PointsTouch(const Verlet& p, const Verlet& q, float reach) {
    float dx = p.X - q.X;
    float dy = p.Y - q.Y;
    if (!(std::fabs(dx) < reach && std::fabs(dy) < reach) || q.ID == p.ID) {
        return false;
    }
    float d = std::sqrt(dx * dx + dy * dy);
    // Apart, or at exactly the same place (no direction to push along): skipped.
    return d < p.Siz + q.Siz && d != 0.0f;
}

inline void CollidePointPair(Verlet& p, Verlet& q, float reach) {
    if (!PointsTouch(p, q, reach)) {
        return;
    }
    float dx = p.X - q.X;
    float dy = p.Y - q.Y;
    float d = std::sqrt(dx * dx + dy * dy);
    float r = p.Siz + q.Siz;
    p.fricap = p.fricap - q.friccr;
    q.fricap = p.fricap - p.friccr;  // from p's value just lowered, not from q's own
    float sx = (d - r) * (dx / d);
    float sy = (d - r) * (dy / d);
    if (p.active == 1) {
        p.X = p.X - sx;
        p.Y = p.Y - sy;
    }
    if (q.active == 1) {
        q.X = q.X + sx;
        q.Y = q.Y + sy;
    }
}

}  // namespace corvex
