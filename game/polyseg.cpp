#include "game/polyseg.h"

#include <cmath>

#include "game/world.h"

namespace corvex {

Polyseg& Polyseg::Create(World& world, float x1, float y1, float x2, float y2, float friction) {
    Polyseg s;
    if (!(x1 != x2)) {
        x2 = x2 + 0.05f;  // no segment is exactly vertical (NaN ends take the shift too)
    }
    if (y1 >= y2) {
        s.X1 = x2;
        s.Y1 = y2;
        s.X2 = x1;
        s.Y2 = y1;
    } else {
        s.X1 = x1;
        s.Y1 = y1;
        s.X2 = x2;
        s.Y2 = y2;
    }
    s.Friction = friction;
    Verlet::Create(world, x1, y1, 0.0f, 1.0f, 0, 0, 0.0f, 0.0f, 0.0f);
    Verlet::Create(world, x2, y2, 0.0f, 1.0f, 0, 0, 0.0f, 0.0f, 0.0f);
    return world.Polysegs.Append(s);
}

SegHits CircleLineIntersect(SegPoint a, SegPoint b, SegPoint c, float r) {
    float m = (b.y - a.y) / (b.x - a.x);
    float k = b.y - m * b.x;
    float e = k - c.y;
    float qa = m * m + 1.0f;
    float qb = 2.0f * m * e - 2.0f * c.x;
    double qc = static_cast<double>(e) * e + static_cast<double>(c.x) * c.x - static_cast<double>(r) * r;
    double disc = static_cast<double>(qb) * qb - 4.0 * static_cast<double>(qa) * qc;
    SegHits hits;
    if (disc > 0.0) {
        double q = std::sqrt(disc);
        float x0 = static_cast<float>((-qb + q) / (2.0 * qa));
        float x1 = static_cast<float>((-qb - q) / (2.0 * qa));
        hits.count = 2;
        hits.at[0] = {x0, m * x0 + k};
        hits.at[1] = {x1, m * x1 + k};
    } else if (disc == 0.0) {
        float x = static_cast<float>(-qb / (2.0 * qa));
        float y = static_cast<float>(-qb * static_cast<double>(m) / (2.0 * qa) + k);
        hits.count = 1;
        hits.at[0] = {x, y};
    }
    return hits;
}

SegPoint PushOut(float fx, float fy, float px, float py, float r) {
    double dx = static_cast<double>(fx) - px;
    double dy = static_cast<double>(fy) - py;
    double d = std::sqrt(dx * dx + dy * dy);
    if (d < r && d > 0.0) {
        return {static_cast<float>(fx - dx / d * r), static_cast<float>(fy - dy / d * r)};
    }
    return {px, py};
}

void CollidePolysegs(World& world, Verlet& p) {
    int32_t n = world.PolysegCount();
    for (int32_t i = 0; i < n; ++i) {
        const Polyseg& s = world.Polysegs[i];
        if (!(p.Y + p.Siz > s.Y1 && p.Y - p.Siz < s.Y2)) {
            continue;
        }
        SegHits hits = CircleLineIntersect({s.X1, s.Y1}, {s.X2, s.Y2}, {p.X, p.Y}, p.Siz);
        if (hits.count != 2) {
            continue;
        }
        float fx = (hits.at[0].x + hits.at[1].x) / 2.0f;
        float fy = (hits.at[0].y + hits.at[1].y) / 2.0f;
        if (!((s.X1 <= fx && fx <= s.X2) || (s.X2 <= fx && fx <= s.X1))) {
            continue;
        }
        p.fricap = p.fricap - s.Friction;
        SegPoint out = PushOut(fx, fy, p.X, p.Y, p.Siz);
        p.X = out.x;
        p.Y = out.y;
    }
}

}  // namespace corvex
