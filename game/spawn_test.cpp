#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "game/spawn.h"
#include <corvex/system/random.h>

namespace corvex {
namespace {

TEST(SpawnBox, FirstBodyAfterTheScenery) {
    World w;
    CreateScenery(w);
    SpawnedBody body = SpawnBox(w, 100.0f, -100.0f, 20.0f, 10.0f, 3);
    EXPECT_EQ(w.VerletCount(), 10);
    EXPECT_EQ(w.ConstraintCount(), 6);
    EXPECT_EQ(w.ReachBound, 32);
    const float corners[4][2] = {{100.0f, -100.0f}, {115.75f, -100.0f}, {115.75f, -84.25f}, {100.0f, -84.25f}};
    for (int i = 0; i < 4; ++i) {
        const Verlet& p = w.Verlets[6 + i];
        EXPECT_EQ(body.points[i], &p);
        EXPECT_EQ(p.X, corners[i][0]);
        EXPECT_EQ(p.Y, corners[i][1]);
        EXPECT_EQ(p.OX, p.X);  // at rest
        EXPECT_EQ(p.OY, p.Y);
        EXPECT_EQ(p.ID, 3);
        EXPECT_EQ(p.Siz, 15.75f);
        EXPECT_EQ(p.mass, 10.0f);
        EXPECT_EQ(p.active, 1);
        EXPECT_EQ(p.friccr, 0.4f);
        EXPECT_EQ(p.fricap, 1.0f);
    }
    const int pairs[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
    for (int i = 0; i < 6; ++i) {
        const Constraint& c = w.Constraints[i];
        EXPECT_EQ(body.constraints[i], &c);
        EXPECT_EQ(c.v1, body.points[pairs[i][0]]) << i;
        EXPECT_EQ(c.v2, body.points[pairs[i][1]]) << i;
        bool diagonal = i == 1 || i == 4;
        EXPECT_EQ(c.Length, diagonal ? static_cast<float>(15.75 * std::sqrt(2.0)) : 15.75f) << i;
    }
    EXPECT_NEAR(body.Diagonal()->Length, 22.27, 0.01);
    EXPECT_EQ(RotationOffset(*body.Diagonal(), 1), -135);
}

TEST(SpawnBox, SizeIsIgnoredAndOneRandomNumberIsDrawn) {
    World a;
    World b;
    SeedRandom(77);
    SpawnBox(a, 300.0f, 50.0f, 20.0f, 10.0f, 5);
    int32_t after = RandomSeed();
    SeedRandom(77);
    RandomRange(1.0, 10.0);
    EXPECT_EQ(RandomSeed(), after);
    SpawnBox(b, 300.0f, 50.0f, 99.0f, 10.0f, 5);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a.Verlets[i].X, b.Verlets[i].X);
        EXPECT_EQ(a.Verlets[i].Y, b.Verlets[i].Y);
    }
    EXPECT_EQ(b.Verlets[1].X, 315.75f);
}

TEST(SpawnBox, DiagonalHookRunsBetweenTheSecondAndThirdConstraint) {
    World w;
    std::vector<int32_t> seen;
    Constraint* hooked = nullptr;
    SpawnedBody body = SpawnBox(w, 0.0f, 0.0f, 20.0f, 10.0f, 3, [&](Constraint& c) {
        seen.push_back(w.ConstraintCount());
        hooked = &c;
    });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], 2);
    EXPECT_EQ(hooked, body.Diagonal());
    EXPECT_EQ(hooked, &w.Constraints[1]);
}

TEST(SpawnBox, SomePositionsGiveARotationOffsetOfMinus134) {
    // Where x + 15.75 rounds up in float, the diagonal is a little longer in x than in y.
    World w;
    int32_t seen134 = 0;
    int32_t seen135 = 0;
    for (int i = 0; i < 400; ++i) {
        float x = 100.0f + static_cast<float>(i) * 1.37f;
        int32_t off = RotationOffset(*SpawnBox(w, x, -100.0f, 20.0f, 10.0f, 3 + i).Diagonal(), 1);
        EXPECT_TRUE(off == -135 || off == -134) << x;
        bool wider = (x + 15.75f) - x > 15.75f;
        EXPECT_EQ(off, wider ? -134 : -135) << x;
        (off == -134 ? seen134 : seen135)++;
    }
    EXPECT_GT(seen134, 0);
    EXPECT_GT(seen135, 0);
}

TEST(World, WorldsAreIndependentAndGrowWithoutMovingAnything) {
    World a;
    World b;
    CreateScenery(a);
    SpawnedBody first = SpawnBox(a, 100.0f, -100.0f, 20.0f, 10.0f, 3);
    for (int i = 0; i < 699; ++i) {
        SpawnBox(a, 100.0f + static_cast<float>(i % 600), -100.0f, 20.0f, 10.0f, 4 + i);
    }
    EXPECT_EQ(a.VerletCount(), 6 + 2800);
    EXPECT_EQ(a.ConstraintCount(), 4200);  // past the first chunk of 4096
    EXPECT_EQ(&a.Verlets[6], first.points[0]);
    EXPECT_EQ(&a.Constraints[0], first.constraints[0]);
    EXPECT_EQ(first.points[0]->X, 100.0f);
    EXPECT_EQ(a.Constraints[4199].v2, &a.Verlets[6 + 2799]);
    EXPECT_EQ(b.VerletCount(), 0);
    EXPECT_EQ(b.ReachBound, 0);
    EXPECT_EQ(b.Selected, nullptr);
    EXPECT_EQ(b.NearestDist, 10000.0f);
    EXPECT_EQ(b.BoxCounter, 2);
}

}  // namespace
}  // namespace corvex
