#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "game/frame.h"
#include <corvex/system/event.h>
#include <corvex/system/input.h>
#include <corvex/system/random.h>
#include <corvex/system/system.h>
#include "system/input_module.h"

namespace corvex {
namespace {

void Emit(int32_t id, int32_t data, int32_t x = 0, int32_t y = 0) {
    TEvent::Create(id, nullptr, data, 0, x, y, nullptr)->Emit();
}

void PressSpace() {
    Emit(EVENT_KEYDOWN, 32);
    Emit(EVENT_KEYUP, 32);
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartSystemModule();
        PolledInputModule().Reset();
        StartPolledInput(nullptr);
        SeedRandom(1);
        CreateScenery(world);
    }
    void TearDown() override { PolledInputModule().Reset(); }
    World world;
};

// Records the hooks in the order the frame calls them.
class Recorder : public FrameHooks {
public:
    void BodyDiagonal(World& w, Constraint& c) override {
        calls.push_back("diagonal " + std::to_string(w.ConstraintCount()));
        diagonal = &c;
    }
    void AfterSpawn(World&) override { calls.push_back("water"); }
    void BeforePointPass(World&) override { calls.push_back("points"); }
    std::vector<std::string> calls;
    Constraint* diagonal = nullptr;
};

TEST_F(FrameTest, SpaceSpawnsOneBodyPerFrameAtARandomX) {
    EXPECT_FALSE(SpawnStep(world, nullptr));
    PressSpace();
    PressSpace();
    PressSpace();
    SeedRandom(5);
    float x = static_cast<float>(RandomRange(600.0, 0.0) + 100.0);
    SeedRandom(5);
    EXPECT_TRUE(SpawnStep(world, nullptr));
    EXPECT_EQ(world.BoxCounter, 3);
    EXPECT_EQ(world.VerletCount(), 10);
    EXPECT_EQ(world.ConstraintCount(), 6);
    EXPECT_EQ(world.Verlets[6].X, x);
    EXPECT_EQ(world.Verlets[6].Y, -100.0f);
    EXPECT_EQ(world.Verlets[6].ID, 3);
    EXPECT_FALSE(SpawnStep(world, nullptr));  // the three presses were one hit count
    PressSpace();
    EXPECT_TRUE(SpawnStep(world, nullptr));
    EXPECT_EQ(world.Verlets[10].ID, 4);
    EXPECT_EQ(world.BoxCounter, 4);
}

TEST_F(FrameTest, FrameRunsTheStepsInLoopOrder) {
    Recorder hooks;
    PressSpace();
    Emit(EVENT_MOUSEMOVE, 0, 300, 200);
    SimulateFrame(world, &hooks);
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"diagonal 2", "water", "points", "points"}));
    EXPECT_EQ(hooks.diagonal, &world.Constraints[1]);
    // The search of the second point pass starts afresh after the reset and is kept.
    EXPECT_NE(world.NearestDist, 10000.0f);
    ASSERT_NE(world.Selected, nullptr);
    EXPECT_EQ(world.Selected->ID, 3);
    hooks.calls.clear();
    SimulateFrame(world, &hooks);
    EXPECT_EQ(hooks.calls, (std::vector<std::string>{"water", "points", "points"}));
}

TEST_F(FrameTest, DragTugsTheSelectedPointTowardsTheMouse) {
    Verlet& p = Verlet::Create(world, 400.0f, 100.0f, 15.75f, 10.0f, 3, 1, 0.0f, 0.0f, 0.4f);
    Emit(EVENT_MOUSEMOVE, 0, 400, 300);
    PointPassStep(world, nullptr);
    ASSERT_EQ(world.Selected, &p);
    float ox = p.OX;
    float oy = p.OY;
    float dist = world.NearestDist;
    MouseDragStep(world);  // button up: nothing
    EXPECT_EQ(p.OY, oy);
    Emit(EVENT_MOUSEDOWN, 1, 400, 300);
    MouseDragStep(world);
    EXPECT_EQ(p.OX, ox - (400.0f - p.X) / dist);
    EXPECT_EQ(p.OY, oy - (300.0f - p.Y) / dist);
    EXPECT_NEAR(p.OY, oy - 1.0f, 1e-5);  // one pixel per step towards the mouse
    ResetNearestStep(world);
    EXPECT_EQ(world.NearestDist, 10000.0f);

    // Within 5 pixels of the mouse nothing is applied.
    Emit(EVENT_MOUSEMOVE, 0, static_cast<int32_t>(p.X), static_cast<int32_t>(p.Y) + 3);
    PointPassStep(world, nullptr);
    ASSERT_LE(world.NearestDist, 5.0f);
    ox = p.OX;
    oy = p.OY;
    MouseDragStep(world);
    EXPECT_EQ(p.OX, ox);
    EXPECT_EQ(p.OY, oy);
}

TEST_F(FrameTest, DragWithoutASelectionDoesNothing) {
    Emit(EVENT_MOUSEDOWN, 1, 10, 10);
    MouseDragStep(world);  // only static points exist: nothing is ever selected
    PointPassStep(world, nullptr);
    MouseDragStep(world);
    EXPECT_EQ(world.Selected, nullptr);
    EXPECT_EQ(world.NearestDist, 10000.0f);
}

}  // namespace
}  // namespace corvex
