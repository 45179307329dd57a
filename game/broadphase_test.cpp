#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstring>
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

struct Scenario {
    int32_t bodies = 100;
    int32_t spawnEvery = 3;
    int32_t frames = 900;
    float gravity = 0.07f;
    int32_t seed = 1;
};

// Runs a scenario through the frame steps and returns the bits of every point's position and
// previous position every 25 frames.
std::vector<uint32_t> RunScenario(const Scenario& s, bool grid) {
    PolledInputModule().Reset();
    StartPolledInput(nullptr);
    SeedRandom(s.seed);
    World world;
    world.UseGrid = grid;
    world.GravityY = s.gravity;
    CreateScenery(world);
    std::vector<uint32_t> trace;
    for (int32_t frame = 1; frame <= s.frames; ++frame) {
        if (frame % s.spawnEvery == 0 && frame / s.spawnEvery <= s.bodies) {
            Emit(EVENT_KEYDOWN, 32);
            Emit(EVENT_KEYUP, 32);
        }
        if (frame % 300 == 50) {  // drag from a different place each time
            Emit(EVENT_MOUSEMOVE, 0, 100 + (frame * 7) % 600, 150 + (frame * 13) % 400);
            Emit(EVENT_MOUSEDOWN, 1);
        } else if (frame % 300 == 200) {
            Emit(EVENT_MOUSEUP, 1);
        }
        SimulateFrame(world);
        if (frame % 25 == 0 || frame == s.frames) {
            for (int32_t i = 0; i < world.VerletCount(); ++i) {
                const Verlet& v = world.Verlets[i];
                const float f[4] = {v.X, v.Y, v.OX, v.OY};
                uint32_t bits[4];
                std::memcpy(bits, f, sizeof f);
                trace.insert(trace.end(), bits, bits + 4);
            }
        }
    }
    PolledInputModule().Reset();
    return trace;
}

class GridTest : public ::testing::Test {
protected:
    void SetUp() override { StartSystemModule(); }
};

TEST_F(GridTest, SameResultsAsAllPairs) {
    Scenario pile;  // bodies piling up on the hill and in the water, dragged now and then
    EXPECT_EQ(RunScenario(pile, true), RunScenario(pile, false));
    Scenario rush;  // one body per frame: many fast points leaving their cells
    rush.bodies = 150;
    rush.spawnEvery = 1;
    rush.frames = 400;
    rush.seed = 99;
    EXPECT_EQ(RunScenario(rush, true), RunScenario(rush, false));
    Scenario heavy;  // strong gravity: hard landings, large pushes, gathering anew
    heavy.gravity = 0.6f;
    heavy.bodies = 80;
    heavy.frames = 500;
    heavy.seed = 5;
    EXPECT_EQ(RunScenario(heavy, true), RunScenario(heavy, false));
}

TEST_F(GridTest, OddPointsGiveTheSameResults) {
    // A NaN point, a point far outside the walls' range and overlapping clusters.
    auto build = [](World& w, bool grid) {
        w.UseGrid = grid;
        w.WorldLeft = -100000;
        w.WorldRight = 100000;
        CreateScenery(w);
        Verlet::Create(w, std::nanf(""), 10.0f, 15.75f, 10.0f, 90, 1, 0.0f, 0.0f, 0.4f);
        Verlet::Create(w, 90000.0f, 10.0f, 15.75f, 10.0f, 91, 1, 0.0f, 0.0f, 0.4f);
        Verlet::Create(w, 90010.0f, 12.0f, 15.75f, 10.0f, 92, 1, 0.0f, 0.0f, 0.4f);
        for (int i = 0; i < 40; ++i) {  // a tight knot pushing each other far in one pass
            Verlet::Create(w, 300.0f + static_cast<float>(i % 5), 200.0f + static_cast<float>(i / 5), 15.75f,
                           10.0f, 100 + i, 1, 0.0f, 0.0f, 0.4f);
        }
    };
    World a;
    World b;
    build(a, true);
    build(b, false);
    for (int step = 0; step < 200; ++step) {
        UpdateVerlets(a, 300.0f, 200.0f);
        UpdateVerlets(b, 300.0f, 200.0f);
        for (int32_t i = 0; i < a.VerletCount(); ++i) {
            ASSERT_EQ(std::memcmp(&a.Verlets[i], &b.Verlets[i], sizeof(Verlet)), 0) << "step " << step << " point " << i;
        }
        ASSERT_EQ(a.Selected - &a.Verlets[0], b.Selected - &b.Verlets[0]);
    }
}

TEST(PointGrid, GathersEveryPointWithinReachOnce) {
    World w;
    w.ReachBound = 32;
    for (int i = 0; i < 500; ++i) {
        float x = static_cast<float>((i * 37) % 800);
        float y = static_cast<float>((i * 91) % 1300) - 700.0f;
        Verlet::Create(w, x, y, 0.0f, 1.0f, 0, 1, 0.0f, 0.0f, 0.0f);
    }
    w.Grid.Build(w, 32.0f);
    // Move some points a little and some across cells.
    for (int i = 0; i < 500; i += 7) {
        Verlet& v = w.Verlets[i];
        v.X += (i % 2 ? 7.9f : 30.0f);
        w.Grid.NoteMoved(i, v.X, v.Y);
    }
    std::vector<int32_t> got;
    for (int k = 0; k < 60; ++k) {
        float px = static_cast<float>((k * 53) % 820) - 10.0f;
        float py = static_cast<float>((k * 71) % 1320) - 710.0f;
        int32_t after = (k * 11) % 400 - 1;
        w.Grid.Gather(w, px, py, after, got);
        std::sort(got.begin(), got.end());
        for (size_t m = 1; m < got.size(); ++m) {
            ASSERT_LT(got[m - 1], got[m]);  // no point twice
        }
        for (int32_t j = 0; j < w.VerletCount(); ++j) {
            const Verlet& q = w.Verlets[j];
            bool within = std::fabs(px - q.X) < 32.0f && std::fabs(py - q.Y) < 32.0f;
            bool gathered = std::find(got.begin(), got.end(), j) != got.end();
            if (within && j > after) {
                EXPECT_TRUE(gathered) << "query " << k << " misses point " << j;
            }
            if (j <= after) {
                EXPECT_FALSE(gathered);
            }
        }
    }
    // Right at the edge of the reach on the far side of a point that moved 30 pixels: it is
    // offered from its new cell.
    for (int i = 0; i < 500; i += 14) {
        const Verlet& v = w.Verlets[i];
        w.Grid.Gather(w, v.X + 31.0f, v.Y, -1, got);
        EXPECT_NE(std::find(got.begin(), got.end(), i), got.end()) << "point " << i;
    }
}

}  // namespace
}  // namespace corvex
