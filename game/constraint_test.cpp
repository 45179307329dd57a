#include <gtest/gtest.h>

#include <cmath>

#include "game/world.h"

namespace corvex {
namespace {

Verlet& Point(World& w, float x, float y, float mass = 10.0f, int32_t active = 1) {
    return Verlet::Create(w, x, y, 0.0f, mass, 0, active, 0.0f, 0.0f, 0.0f);
}

float Dist(const Constraint& c) {
    return std::hypot(c.v1->X - c.v2->X, c.v1->Y - c.v2->Y);
}

TEST(ConstraintCreate, RestLengthFromArgumentOrCurrentDistance) {
    World w;
    Verlet& a = Point(w, 0.0f, 0.0f);
    Verlet& b = Point(w, 3.0f, 4.0f);
    Constraint& measured = Constraint::Create(w, a, b, -1.0f);
    Constraint& nan = Constraint::Create(w, a, b, std::nanf(""));
    Constraint& given = Constraint::Create(w, a, b, 7.0f);
    Constraint& zero = Constraint::Create(w, a, b, 0.0f);
    EXPECT_EQ(measured.Length, 5.0f);
    EXPECT_EQ(nan.Length, 5.0f);
    EXPECT_EQ(given.Length, 7.0f);
    EXPECT_EQ(zero.Length, 0.0f);
    EXPECT_EQ(measured.Elasticity, 0.0f);
    EXPECT_EQ(measured.v1, &a);
    EXPECT_EQ(measured.v2, &b);
    EXPECT_EQ(w.ConstraintCount(), 4);
    EXPECT_EQ(&w.Constraints[2], &given);
}

TEST(ConstraintRelax, FullAndSoftCorrections) {
    World w;
    Constraint& free = Constraint::Create(w, Point(w, 0.0f, 0.0f), Point(w, 20.0f, 0.0f), 10.0f);
    RelaxConstraint(free, false);  // twice the rest length: both ends move half the error
    EXPECT_EQ(free.v1->X, 5.0f);
    EXPECT_EQ(free.v2->X, 15.0f);
    EXPECT_EQ(Dist(free), 10.0f);

    Constraint& soft = Constraint::Create(w, Point(w, 0.0f, 0.0f), Point(w, 20.0f, 0.0f), 10.0f);
    RelaxConstraint(soft, true);  // a twentieth of the error
    EXPECT_EQ(soft.v1->X, 0.25f);
    EXPECT_EQ(soft.v2->X, 19.75f);

    // A static end takes nothing; the free end still moves only its own half.
    Constraint& pinned = Constraint::Create(w, Point(w, 0.0f, 0.0f, 10.0f, 0), Point(w, 20.0f, 0.0f), 10.0f);
    RelaxConstraint(pinned, false);
    EXPECT_EQ(pinned.v1->X, 0.0f);
    EXPECT_EQ(pinned.v2->X, 15.0f);

    Constraint& stuck =
        Constraint::Create(w, Point(w, 0.0f, 0.0f, 10.0f, 0), Point(w, 20.0f, 0.0f, 10.0f, 2), 10.0f);
    RelaxConstraint(stuck, false);
    EXPECT_EQ(stuck.v1->X, 0.0f);
    EXPECT_EQ(stuck.v2->X, 20.0f);

    // The lighter end moves more: a's share is weighted by b's mass.
    Constraint& uneven = Constraint::Create(w, Point(w, 0.0f, 0.0f, 1.0f), Point(w, 20.0f, 0.0f, 3.0f), 10.0f);
    RelaxConstraint(uneven, false);
    EXPECT_EQ(uneven.v1->X, 7.5f);
    EXPECT_EQ(uneven.v2->X, 17.5f);

    // Too short works the same way, along the diagonal.
    Constraint& shortc = Constraint::Create(w, Point(w, 0.0f, 0.0f), Point(w, 3.0f, 4.0f), 10.0f);
    RelaxConstraint(shortc, false);
    EXPECT_FLOAT_EQ(Dist(shortc), 10.0f);
    EXPECT_FLOAT_EQ(shortc.v1->X, -1.5f);
    EXPECT_FLOAT_EQ(shortc.v1->Y, -2.0f);
}

TEST(ConstraintRelax, DegenerateCasesLeavePointsAlone) {
    World w;
    Constraint& same = Constraint::Create(w, Point(w, 5.0f, 5.0f), Point(w, 5.0f, 5.0f), 10.0f);
    Constraint& massless = Constraint::Create(w, Point(w, 0.0f, 0.0f, 0.0f), Point(w, 20.0f, 0.0f, 0.0f), 10.0f);
    Constraint& opposite = Constraint::Create(w, Point(w, 0.0f, 0.0f, 1.0f), Point(w, 20.0f, 0.0f, -1.0f), 10.0f);
    UpdateConstraints(w);
    EXPECT_EQ(same.v1->X, 5.0f);
    EXPECT_EQ(same.v2->Y, 5.0f);
    EXPECT_EQ(massless.v1->X, 0.0f);
    EXPECT_EQ(massless.v2->X, 20.0f);
    EXPECT_EQ(opposite.v1->X, 0.0f);
    EXPECT_EQ(opposite.v2->X, 20.0f);
}

TEST(ConstraintPass, FourSoftThenFourFullSweeps) {
    World w;
    Constraint& c = Constraint::Create(w, Point(w, 0.0f, 0.0f, 10.0f, 0), Point(w, 20.0f, 0.0f), 10.0f);
    UpdateConstraints(w);
    // Each soft sweep closes 1/40 of the error (half of a twentieth), each full sweep half.
    double expected = 10.0 * std::pow(39.0 / 40.0, 4) / 16.0;
    EXPECT_NEAR(c.v2->X - 10.0, expected, 1e-4);

    World one;
    one.ConstraintIterations = 5;  // only the first sweep is soft
    Constraint& d = Constraint::Create(one, Point(one, 0.0f, 0.0f, 10.0f, 0), Point(one, 20.0f, 0.0f), 10.0f);
    UpdateConstraints(one);
    EXPECT_NEAR(d.v2->X - 10.0, 10.0 * (39.0 / 40.0) / 16.0, 1e-4);

    World none;
    none.ConstraintIterations = 0;
    Constraint& e = Constraint::Create(none, Point(none, 0.0f, 0.0f), Point(none, 20.0f, 0.0f), 10.0f);
    UpdateConstraints(none);
    EXPECT_EQ(e.v2->X, 20.0f);
}

TEST(ConstraintPass, GaussSeidelInCreationOrder) {
    // A static, B free, C static in a row; A-B is created before B-C. One full sweep: A-B pulls B
    // from 20 to 15, then B-C, seeing B at 15, pushes it halfway back to 17.5.
    World w;
    w.ConstraintIterations = 1;
    Verlet& a = Point(w, 0.0f, 0.0f, 10.0f, 0);
    Verlet& b = Point(w, 20.0f, 0.0f);
    Verlet& c = Point(w, 30.0f, 0.0f, 10.0f, 0);
    Constraint::Create(w, a, b, 10.0f);
    Constraint::Create(w, b, c, 10.0f);
    UpdateConstraints(w);
    EXPECT_EQ(b.X, 17.5f);
}

TEST(ConstraintDirection, XDifferenceComesFirst) {
    World w;
    Verlet& o = Point(w, 0.0f, 0.0f);
    Constraint& diag = Constraint::Create(w, o, Point(w, 15.75f, 15.75f), -1.0f);
    Constraint& right = Constraint::Create(w, Point(w, 10.0f, 0.0f), o, -1.0f);
    Constraint& below = Constraint::Create(w, Point(w, 0.0f, 10.0f), o, -1.0f);
    Constraint& skew = Constraint::Create(w, o, Point(w, 15.75f + 0.001f, 15.75f), -1.0f);
    EXPECT_DOUBLE_EQ(ConstraintDirection(diag), -135.0);
    EXPECT_DOUBLE_EQ(ConstraintDirection(right), 90.0);
    EXPECT_DOUBLE_EQ(ConstraintDirection(below), 0.0);
    EXPECT_EQ(RotationOffset(diag, 1), -135);
    EXPECT_EQ(RotationOffset(diag, 0), 0);
    EXPECT_EQ(RotationOffset(diag, 2), 0);
    EXPECT_EQ(RotationOffset(skew, 1), -134);  // -134.998..., truncated towards zero
}

}  // namespace
}  // namespace corvex
