// Static line segments of the scenery, and the collision of points with them.
#pragma once

#include <cstdint>

#include "game/verlet.h"

namespace corvex {

// A static segment; (X1, Y1) is the upper end: Y1 <= Y2 after creation.
struct Polyseg {
    float X1 = 0.0f;
    float Y1 = 0.0f;
    float X2 = 0.0f;
    float Y2 = 0.0f;
    float Friction = 0.0f;  // subtracted from a touching point's fricap per contact

    // Creates a segment in world.Polysegs and two static radius-0 end points (first (x1, y1),
    // then (x2, y2)). A vertical segment gets x2 shifted by 0.05; the upper end is stored first.
    static Polyseg& Create(World& world, float x1, float y1, float x2, float y2, float friction);
};

// A point as a pair of floats.
struct SegPoint {
    float x = 0.0f;
    float y = 0.0f;
};

// Zero, one or two intersection points.
struct SegHits {
    int32_t count = 0;
    SegPoint at[2];
};

// Pushes the dynamic point p out of every segment whose line its disc crosses with the foot of
// the perpendicular within the segment's x extent, lowering p.fricap by the segment's friction.
void CollidePolysegs(World& world, Verlet& p);

// Intersections of the line through a and b (not vertical) with the circle of centre c, radius r.
SegHits CircleLineIntersect(SegPoint a, SegPoint b, SegPoint c, float r);

// The point at distance r from the foot (fx, fy) on the side of (px, py) when (px, py) is closer
// than r (and not on the foot itself); otherwise (px, py).
SegPoint PushOut(float fx, float fy, float px, float py, float r);

}  // namespace corvex
