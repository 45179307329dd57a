// A long run of many bodies through the frame steps, with input as emitted events: no coordinate
// may become NaN or infinite or end far beyond a wall.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

#ifdef CORVEX_SLOW_BUILD
constexpr int32_t SPAWN_EVERY = 3;  // sanitizers and Debug: the same 300 bodies, a shorter settle
constexpr int32_t FRAMES = 1200;
#else
constexpr int32_t SPAWN_EVERY = 5;
constexpr int32_t FRAMES = 3000;
#endif
constexpr int32_t BODIES = 300;
constexpr float MARGIN = 50.0f;

void Emit(int32_t id, int32_t data, int32_t x = 0, int32_t y = 0) {
    TEvent::Create(id, nullptr, data, 0, x, y, nullptr)->Emit();
}

// The first offending coordinate, or an empty string.
std::string CheckWorld(const World& w, int32_t frame) {
    for (int32_t i = 0; i < w.VerletCount(); ++i) {
        const Verlet& v = w.Verlets[i];
        const float values[4] = {v.X, v.Y, v.OX, v.OY};
        for (float f : values) {
            if (!std::isfinite(f)) {
                return "frame " + std::to_string(frame) + ": point " + std::to_string(i) + " not finite";
            }
        }
        if (v.X < w.WorldLeft - MARGIN || v.X > w.WorldRight + MARGIN || v.Y < w.WorldTop - MARGIN ||
            v.Y > w.WorldBottom + MARGIN) {
            return "frame " + std::to_string(frame) + ": point " + std::to_string(i) + " at " + std::to_string(v.X) +
                   ", " + std::to_string(v.Y);
        }
    }
    return "";
}

// Runs the long scenario; returns the final world's points.
std::vector<Verlet> RunPile(bool grid) {
    StartSystemModule();
    PolledInputModule().Reset();
    StartPolledInput(nullptr);
    SeedRandom(1);
    World world;
    world.UseGrid = grid;
    CreateScenery(world);
    Emit(EVENT_MOUSEMOVE, 0, 400, 300);
    for (int32_t frame = 1; frame <= FRAMES; ++frame) {
        if (frame % SPAWN_EVERY == 0 && frame / SPAWN_EVERY <= BODIES) {
            Emit(EVENT_KEYDOWN, 32);
            Emit(EVENT_KEYUP, 32);
        }
        // Tug at the pile now and then.
        if (frame % 400 == 100) {
            Emit(EVENT_MOUSEDOWN, 1, 400, 300);
        } else if (frame % 400 == 200) {
            Emit(EVENT_MOUSEUP, 1, 400, 300);
        }
        SimulateFrame(world);
        if (frame % 50 == 0 || frame == FRAMES) {
            std::string fault = CheckWorld(world, frame);
            EXPECT_EQ(fault, "");
            if (!fault.empty()) {
                break;
            }
        }
    }
    EXPECT_EQ(world.BoxCounter - 2, BODIES);
    EXPECT_EQ(world.VerletCount(), 6 + 4 * BODIES);
    PolledInputModule().Reset();
    std::vector<Verlet> points;
    for (int32_t i = 0; i < world.VerletCount(); ++i) {
        points.push_back(world.Verlets[i]);
    }
    return points;
}

TEST(Stability, ThreeHundredBodiesStayFiniteAndInside) {
    std::vector<Verlet> grid = RunPile(true);
#ifndef CORVEX_SLOW_BUILD
    // The same run testing all pairs ends in exactly the same state.
    std::vector<Verlet> all = RunPile(false);
    ASSERT_EQ(grid.size(), all.size());
    EXPECT_EQ(std::memcmp(grid.data(), all.data(), grid.size() * sizeof(Verlet)), 0);
#endif
}

}  // namespace
}  // namespace corvex
