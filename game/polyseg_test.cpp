#include <gtest/gtest.h>

#include <cmath>

#include "game/world.h"

namespace corvex {
namespace {

void ExpectSeg(const Polyseg& s, float x1, float y1, float x2, float y2, float friction) {
    EXPECT_EQ(s.X1, x1);
    EXPECT_EQ(s.Y1, y1);
    EXPECT_EQ(s.X2, x2);
    EXPECT_EQ(s.Y2, y2);
    EXPECT_EQ(s.Friction, friction);
}

void ExpectPoint(const Verlet& v, float x, float y) {
    EXPECT_EQ(v.X, x);
    EXPECT_EQ(v.Y, y);
    EXPECT_EQ(v.Siz, 0.0f);
    EXPECT_EQ(v.mass, 1.0f);
    EXPECT_EQ(v.ID, 0);
    EXPECT_EQ(v.active, 0);
}

TEST(PolysegCreate, VerticalShiftAndEndSwap) {
    World w;
    ExpectSeg(Polyseg::Create(w, 100.0f, 500.0f, 100.0f, 600.0f, 0.5f), 100.0f, 500.0f, 100.05f, 600.0f, 0.5f);
    ExpectPoint(w.Verlets[0], 100.0f, 500.0f);
    ExpectPoint(w.Verlets[1], 100.05f, 600.0f);
    // Equal y swaps; the end points keep argument order.
    ExpectSeg(Polyseg::Create(w, 100.0f, 500.0f, 700.0f, 500.0f, 0.0f), 700.0f, 500.0f, 100.0f, 500.0f, 0.0f);
    ExpectPoint(w.Verlets[2], 100.0f, 500.0f);
    ExpectPoint(w.Verlets[3], 700.0f, 500.0f);
    ExpectSeg(Polyseg::Create(w, 1.0f, 2.0f, 3.0f, 4.0f, 0.1f), 1.0f, 2.0f, 3.0f, 4.0f, 0.1f);
    // A vertical segment given bottom first is shifted, then swapped.
    ExpectSeg(Polyseg::Create(w, 10.0f, 90.0f, 10.0f, 20.0f, 0.0f), 10.05f, 20.0f, 10.0f, 90.0f, 0.0f);
    EXPECT_EQ(w.PolysegCount(), 4);
    EXPECT_EQ(w.VerletCount(), 8);
    EXPECT_EQ(w.ReachBound, 0);
}

TEST(PolysegCreate, SceneryHill) {
    World w;
    CreateScenery(w);
    ASSERT_EQ(w.PolysegCount(), 3);
    ASSERT_EQ(w.VerletCount(), 6);
    EXPECT_EQ(w.ConstraintCount(), 0);
    ExpectSeg(w.Polysegs[0], 400.0f, 400.0f, 100.0f, 500.0f, 0.2f);
    ExpectSeg(w.Polysegs[1], 400.0f, 400.0f, 700.0f, 500.0f, 0.0f);
    ExpectSeg(w.Polysegs[2], 700.0f, 500.0f, 100.0f, 500.0f, 0.0f);
    const float ends[6][2] = {{100, 500}, {400, 400}, {700, 500}, {400, 400}, {100, 500}, {700, 500}};
    for (int i = 0; i < 6; ++i) {
        ExpectPoint(w.Verlets[i], ends[i][0], ends[i][1]);
    }
}

TEST(PolysegGeometry, CircleLineIntersect) {
    SegHits two = CircleLineIntersect({0.0f, 0.0f}, {10.0f, 0.0f}, {5.0f, 3.0f}, 5.0f);
    ASSERT_EQ(two.count, 2);
    EXPECT_FLOAT_EQ(two.at[0].x, 9.0f);  // the larger root first
    EXPECT_FLOAT_EQ(two.at[1].x, 1.0f);
    EXPECT_EQ(two.at[0].y, 0.0f);
    SegHits slope = CircleLineIntersect({0.0f, 0.0f}, {10.0f, 10.0f}, {0.0f, 0.0f}, 2.0f);
    ASSERT_EQ(slope.count, 2);
    EXPECT_FLOAT_EQ(slope.at[0].x, std::sqrt(2.0f));
    EXPECT_FLOAT_EQ(slope.at[0].y, std::sqrt(2.0f));
    EXPECT_FLOAT_EQ(slope.at[1].y, -std::sqrt(2.0f));
    SegHits tangent = CircleLineIntersect({0.0f, 0.0f}, {10.0f, 0.0f}, {5.0f, 4.0f}, 4.0f);
    ASSERT_EQ(tangent.count, 1);
    EXPECT_EQ(tangent.at[0].x, 5.0f);
    EXPECT_EQ(tangent.at[0].y, 0.0f);
    EXPECT_EQ(CircleLineIntersect({0.0f, 0.0f}, {10.0f, 0.0f}, {5.0f, 4.5f}, 4.0f).count, 0);
}

TEST(PolysegGeometry, PushOut) {
    SegPoint out = PushOut(250.0f, 500.0f, 250.0f, 490.0f, 15.75f);
    EXPECT_EQ(out.x, 250.0f);
    EXPECT_EQ(out.y, 484.25f);
    SegPoint diag = PushOut(0.0f, 0.0f, 3.0f, 4.0f, 10.0f);
    EXPECT_FLOAT_EQ(diag.x, 6.0f);
    EXPECT_FLOAT_EQ(diag.y, 8.0f);
    SegPoint on = PushOut(1.0f, 2.0f, 1.0f, 2.0f, 10.0f);  // no direction: unchanged
    EXPECT_EQ(on.x, 1.0f);
    EXPECT_EQ(on.y, 2.0f);
    SegPoint away = PushOut(0.0f, 0.0f, 6.0f, 8.0f, 10.0f);  // exactly touching: unchanged
    EXPECT_EQ(away.x, 6.0f);
    EXPECT_EQ(away.y, 8.0f);
}

Verlet& Disc(World& w, float x, float y) {
    return Verlet::Create(w, x, y, 15.75f, 10.0f, 3, 1, 0.0f, 0.0f, 0.4f);
}

TEST(PolysegCollide, BaseSegmentPushesUpAndCrossedPointsOut) {
    World w;
    CreateScenery(w);
    Verlet& above = Disc(w, 250.0f, 490.0f);
    above.fricap = 0.9f;
    CollidePolysegs(w, above);
    EXPECT_EQ(above.X, 250.0f);
    EXPECT_EQ(above.Y, 484.25f);
    EXPECT_EQ(above.fricap, 0.9f);  // the base has no friction; the slopes are too far away

    Verlet& crossed = Disc(w, 600.0f, 505.0f);  // centre already below the line
    CollidePolysegs(w, crossed);
    EXPECT_EQ(crossed.Y, 515.75f);

    Verlet& beyond = Disc(w, 60.0f, 495.0f);  // foot left of the segment's end
    CollidePolysegs(w, beyond);
    EXPECT_EQ(beyond.X, 60.0f);
    EXPECT_EQ(beyond.Y, 495.0f);

    Verlet& on = Disc(w, 300.0f, 500.0f);  // centre on the line: no direction to push along
    CollidePolysegs(w, on);
    EXPECT_EQ(on.Y, 500.0f);
}

TEST(PolysegCollide, SlopeLowersFrictionAndPushesAlongTheNormal) {
    World w;
    CreateScenery(w);
    // Left slope from (400, 400) down to (100, 500); at x = 250 the line is at y = 450.
    Verlet& p = Disc(w, 250.0f, 440.0f);
    CollidePolysegs(w, p);
    EXPECT_FLOAT_EQ(p.fricap, 0.8f);
    // Now exactly 15.75 from the line, above it (the normal points up and left).
    double dist = std::fabs(p.Y - (450.0 - (p.X - 250.0) / 3.0)) / std::sqrt(1.0 + 1.0 / 9.0);
    EXPECT_NEAR(dist, 15.75, 1e-3);
    EXPECT_LT(p.X, 250.0f);
    EXPECT_LT(p.Y, 440.0f);
    // Out of the band: untouched.
    Verlet& high = Disc(w, 250.0f, 380.0f);
    CollidePolysegs(w, high);
    EXPECT_EQ(high.Y, 380.0f);
    EXPECT_EQ(high.fricap, 1.0f);
}

}  // namespace
}  // namespace corvex
