#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "game/world.h"

namespace corvex {
namespace {

// A world without water, walls far away and no gravity unless a test asks for them.
void OpenSpace(World& w) {
    w.WaterLevel = 1000000;
    w.WorldLeft = -1000000;
    w.WorldRight = 1000000;
    w.WorldTop = -1000000;
    w.WorldBottom = 1000000;
}

TEST(VerletCreate, SetsFieldsAppendsAndRaisesReach) {
    World w;
    Verlet& a = Verlet::Create(w, 10.0f, 20.0f, 0.0f, 1.0f, 0, 0, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(w.ReachBound, 0);  // radius-0 scenery points leave it alone
    Verlet& b = Verlet::Create(w, 1.5f, -2.5f, 15.75f, 10.0f, 7, 1, 3.0f, -4.0f, 0.4f);
    EXPECT_EQ(w.VerletCount(), 2);
    EXPECT_EQ(&w.Verlets[0], &a);
    EXPECT_EQ(&w.Verlets[1], &b);
    EXPECT_EQ(a.active, 0);
    EXPECT_EQ(b.X, 1.5f);
    EXPECT_EQ(b.Y, -2.5f);
    EXPECT_EQ(b.OX, 4.5f);
    EXPECT_EQ(b.OY, -6.5f);
    EXPECT_EQ(b.Siz, 15.75f);
    EXPECT_EQ(b.ID, 7);
    EXPECT_EQ(b.mass, 10.0f);
    EXPECT_EQ(b.fricap, 1.0f);
    EXPECT_EQ(b.friccr, 0.4f);
    EXPECT_EQ(b.VX, 0.0f);
    EXPECT_EQ(b.indexpos + b.Collided + b.done, 0);
    EXPECT_EQ(w.ReachBound, 32);  // 31.5 + 1, truncated
    Verlet::Create(w, 0.0f, 0.0f, 3.0f, 1.0f, 1, 1, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(w.ReachBound, 32);  // never lowered
    Verlet::Create(w, 0.0f, 0.0f, 1e20f, 1.0f, 1, 1, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(w.ReachBound, std::numeric_limits<int32_t>::max());  // saturates
}

TEST(VerletIntegration, FallsTowardsFourteenPixelsPerStep) {
    World w;
    OpenSpace(w);
    Verlet& p = Verlet::Create(w, 0.0f, 0.0f, 1.0f, 10.0f, 3, 1, -1.0f, 0.0f, 0.0f);
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_EQ(p.VX, 0.995f);  // the initial velocity (1, 0), damped once
    EXPECT_EQ(p.VY, 0.0f);
    EXPECT_EQ(p.Y, 0.07f);
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_NEAR(p.VX, 0.995 * 0.995, 1e-6);
    for (int i = 0; i < 2000; ++i) {
        UpdateVerlets(w, 0.0f, 0.0f);
        if (p.Y > 1000.0f) {  // shift back (exactly) so float spacing stays fine
            p.Y -= 1000.0f;
            p.OY -= 1000.0f;
        }
    }
    EXPECT_NEAR(p.Y - p.OY, 14.0, 0.002);
    EXPECT_LT(p.VX, 0.01f);
    EXPECT_EQ(p.done, 1);
}

TEST(VerletIntegration, FrictionScalesOnlyVxAndTwice) {
    World w;
    OpenSpace(w);
    w.GravityY = 0.0f;
    Verlet& p = Verlet::Create(w, 0.0f, 0.0f, 1.0f, 10.0f, 3, 1, -2.0f, -2.0f, 0.0f);
    p.fricap = 0.5f;
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_EQ(p.VX, 2.0f * 0.995f * 0.25f);
    EXPECT_EQ(p.VY, 2.0f * 0.995f);
    EXPECT_EQ(p.fricap, 1.0f);  // friction lasts one step
    // A negative factor, applied twice, speeds the point up.
    Verlet& q = Verlet::Create(w, 100.0f, 0.0f, 1.0f, 10.0f, 4, 1, -1.0f, 0.0f, 0.0f);
    q.fricap = -1.4f;
    UpdateVerlet(w, q, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(q.VX, 0.995f * 1.96f);
}

TEST(VerletWater, SlowsAndBalancesGravitySeventyPixelsDeep) {
    World w;
    Verlet& p = Verlet::Create(w, 400.0f, 460.0f, 0.0f, 10.0f, 3, 1, 0.0f, 0.0f, 0.0f);
    p.OY = 458.0f;  // moving down 2 pixels per step, under water
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_EQ(p.VY, 2.0f * (0.995f - 0.01f));
    EXPECT_EQ(p.VX, 0.0f);

    // From rest, the push at 70 pixels deep cancels gravity: the next step's velocity is zero.
    // Shallower, the point keeps sinking; deeper, it rises.
    const float depths[3] = {50.0f, 70.0f, 90.0f};
    float drift[3];
    for (int i = 0; i < 3; ++i) {
        World d;
        float y = 450.0f + depths[i] - 0.07f;
        Verlet& q = Verlet::Create(d, 400.0f, y, 0.0f, 10.0f, 3, 1, 0.0f, 0.0f, 0.0f);
        UpdateVerlets(d, 0.0f, 0.0f);
        drift[i] = q.Y - q.OY;
    }
    EXPECT_GT(drift[0], 0.01f);
    EXPECT_NEAR(drift[1], 0.0f, 1e-4);
    EXPECT_LT(drift[2], -0.01f);

    // Left alone it settles where the damped push matches gravity: 70 / 0.985 deep for mass 10,
    // half as deep for mass 5 (the push scales with 1 / mass).
    for (int i = 0; i < 4000; ++i) {
        UpdateVerlets(w, 0.0f, 0.0f);
    }
    EXPECT_NEAR(p.Y, 450.0 + 70.0 / 0.985, 0.1);
    World w2;
    Verlet& h = Verlet::Create(w2, 400.0f, 460.0f, 0.0f, 5.0f, 3, 1, 0.0f, 0.0f, 0.0f);
    for (int i = 0; i < 4000; ++i) {
        UpdateVerlets(w2, 0.0f, 0.0f);
    }
    EXPECT_NEAR(h.Y, 450.0 + 35.0 / 0.985, 0.1);
}

TEST(VerletWalls, ClampAndRebound) {
    World w;
    w.GravityY = 0.0f;
    w.WaterLevel = 100000;
    Verlet& r = Verlet::Create(w, 795.0f, 0.0f, 15.75f, 10.0f, 3, 1, 0.0f, 0.0f, 0.0f);
    Verlet& l = Verlet::Create(w, 5.0f, 100.0f, 15.75f, 10.0f, 4, 1, 0.0f, 0.0f, 0.0f);
    Verlet& b = Verlet::Create(w, 300.0f, 595.0f, 15.75f, 10.0f, 5, 1, 0.0f, 0.0f, 0.0f);
    Verlet& t = Verlet::Create(w, 500.0f, -690.0f, 15.75f, 10.0f, 6, 1, 0.0f, 0.0f, 0.0f);
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_EQ(r.X, 784.25f);
    EXPECT_EQ(r.OX, 795.0f);
    EXPECT_EQ(l.X, 15.75f);
    EXPECT_EQ(l.OX, 5.0f);
    EXPECT_EQ(b.Y, 584.25f);
    EXPECT_EQ(b.OY, 595.0f);
    EXPECT_EQ(t.Y, -684.25f);
    EXPECT_EQ(t.OY, -690.0f);
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(r.X, 784.25f - 10.75f * 0.995f);  // rebounds by the penetration depth
    EXPECT_FLOAT_EQ(l.X, 15.75f + 10.75f * 0.995f);
    // A point exactly touching the right wall is not moved; a NaN position is put back inside.
    World w2;
    w2.GravityY = 0.0f;
    Verlet& edge = Verlet::Create(w2, 784.25f, 0.0f, 15.75f, 10.0f, 3, 1, 0.0f, 0.0f, 0.0f);
    Verlet& bad = Verlet::Create(w2, std::nanf(""), std::nanf(""), 15.75f, 10.0f, 4, 1, 0.0f, 0.0f, 0.0f);
    UpdateVerlets(w2, 0.0f, 0.0f);
    EXPECT_EQ(edge.X, 784.25f);
    EXPECT_EQ(edge.OX, 784.25f);
    EXPECT_EQ(bad.X, 15.75f);
    EXPECT_EQ(bad.Y, -684.25f);
}

TEST(VerletCollision, StaticPointPushesToExactlyTheRadius) {
    World w;
    OpenSpace(w);
    w.GravityY = 0.0f;
    Verlet& s = Verlet::Create(w, 110.0f, 100.0f, 0.0f, 1.0f, 0, 0, 0.0f, 0.0f, 0.3f);
    Verlet& p = Verlet::Create(w, 100.0f, 100.0f, 15.75f, 10.0f, 3, 1, 0.0f, 0.0f, 0.4f);
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_EQ(p.X, 94.25f);
    EXPECT_EQ(p.Y, 100.0f);
    EXPECT_EQ(s.X, 110.0f);
    EXPECT_FLOAT_EQ(p.fricap, 0.7f);  // lowered by the static point's friccr
    EXPECT_FLOAT_EQ(s.fricap, 0.3f);  // p's new value minus p's friccr, not s's own minus it
}

TEST(VerletCollision, MovesTheOtherPointAtOnce) {
    World w;
    OpenSpace(w);
    w.GravityY = 0.0f;
    Verlet& p = Verlet::Create(w, 100.0f, 100.0f, 15.75f, 10.0f, 3, 1, 0.0f, 0.0f, 0.4f);
    Verlet& q = Verlet::Create(w, 120.0f, 100.0f, 15.75f, 10.0f, 4, 1, 0.0f, 0.0f, 0.4f);
    UpdateVerlet(w, p, 0.0f, 0.0f);
    EXPECT_EQ(p.X, 88.5f);  // each moves by the full overlap of 11.5
    EXPECT_EQ(q.X, 131.5f);
    EXPECT_FLOAT_EQ(q.fricap, 0.2f);
    // q's own step starts from where p's step left it, with the exchanged friction.
    float fr = q.fricap;
    UpdateVerlet(w, q, 0.0f, 0.0f);
    EXPECT_EQ(q.OX, 131.5f);
    EXPECT_EQ(q.X, 131.5f + 11.5f * 0.995f * fr * fr);
    EXPECT_EQ(p.X, 88.5f);  // now out of reach
}

TEST(VerletCollision, SkipsSameBodyAndCoincidentPoints) {
    World w;
    OpenSpace(w);
    w.GravityY = 0.0f;
    Verlet& a = Verlet::Create(w, 100.0f, 100.0f, 15.75f, 10.0f, 3, 1, 0.0f, 0.0f, 0.4f);
    Verlet& b = Verlet::Create(w, 105.0f, 100.0f, 15.75f, 10.0f, 3, 1, 0.0f, 0.0f, 0.4f);
    Verlet& c = Verlet::Create(w, 300.0f, 300.0f, 15.75f, 10.0f, 4, 1, 0.0f, 0.0f, 0.4f);
    Verlet& d = Verlet::Create(w, 300.0f, 300.0f, 15.75f, 10.0f, 5, 1, 0.0f, 0.0f, 0.4f);
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_EQ(a.X, 100.0f);
    EXPECT_EQ(b.X, 105.0f);
    EXPECT_EQ(c.X, 300.0f);
    EXPECT_EQ(d.X, 300.0f);
    EXPECT_EQ(c.fricap, 1.0f);
    EXPECT_EQ(d.Y, 300.0f);
}

TEST(VerletCollision, ReachBoundPrunesBeyondTheLargestDiameter) {
    World w;
    OpenSpace(w);
    w.GravityY = 0.0f;
    Verlet& a = Verlet::Create(w, 0.0f, 0.0f, 4.0f, 10.0f, 3, 1, 0.0f, 0.0f, 0.0f);
    Verlet& b = Verlet::Create(w, 8.5f, 0.0f, 4.0f, 10.0f, 4, 1, 0.0f, 0.0f, 0.0f);
    EXPECT_EQ(w.ReachBound, 9);
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_EQ(a.X, 0.0f);  // 8.5 apart, discs of radius 4: no contact
    b.X = 7.0f;
    b.OX = 7.0f;
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_EQ(a.X, -1.0f);
    // A pair whose discs overlap but whose offset reaches the bound is not tested.
    w.ReachBound = 5;
    a.X = a.OX = 0.0f;
    b.X = b.OX = 6.0f;
    UpdateVerlets(w, 0.0f, 0.0f);
    EXPECT_EQ(a.X, 0.0f);
    EXPECT_EQ(b.X, 6.0f);
}

TEST(VerletMouse, PicksTheNearestDynamicPointEarliestOnTies) {
    World w;
    OpenSpace(w);
    w.GravityY = 0.0f;
    Verlet::Create(w, 50.0f, 50.0f, 0.0f, 1.0f, 0, 0, 0.0f, 0.0f, 0.0f);  // static, on the mouse
    Verlet& far = Verlet::Create(w, 40.0f, 50.0f, 1.0f, 10.0f, 3, 1, 0.0f, 0.0f, 0.0f);
    Verlet& a = Verlet::Create(w, 50.0f, 55.0f, 1.0f, 10.0f, 4, 1, 0.0f, 0.0f, 0.0f);
    Verlet::Create(w, 50.0f, 45.0f, 1.0f, 10.0f, 5, 1, 0.0f, 0.0f, 0.0f);
    UpdateVerlets(w, 50.0f, 50.0f);
    EXPECT_EQ(w.Selected, &a);
    EXPECT_EQ(w.NearestDist, 5.0f);
    // Without a reset, a farther pass keeps the earlier pick.
    UpdateVerlets(w, 40.0f, 0.0f);
    EXPECT_EQ(w.Selected, &a);
    w.NearestDist = 10000.0f;
    UpdateVerlets(w, 0.0f, 50.0f);
    EXPECT_EQ(w.Selected, &far);
}

}  // namespace
}  // namespace corvex
