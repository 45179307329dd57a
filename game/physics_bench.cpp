// One frame's simulation (and its two passes separately) in worlds of 100, 300 and 666 bodies
// that have been spawned as the game spawns them and left to settle.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "game/frame.h"
#include <corvex/system/event.h>
#include <corvex/system/input.h>
#include <corvex/system/random.h>
#include <corvex/system/system.h>

namespace corvex {
namespace {

constexpr int32_t SPAWN_EVERY = 3;
constexpr int32_t SETTLE_FRAMES = 600;

void PressSpace() {
    TEvent::Create(EVENT_KEYDOWN, nullptr, 32, 0, 0, 0, nullptr)->Emit();
    TEvent::Create(EVENT_KEYUP, nullptr, 32, 0, 0, 0, nullptr)->Emit();
}

// A settled world of the given number of bodies, built once per size and reused.
World& SettledWorld(int32_t bodies) {
    static std::map<int32_t, std::unique_ptr<World>> worlds;
    auto& slot = worlds[bodies];
    if (!slot) {
        StartSystemModule();
        StartPolledInput(nullptr);
        SeedRandom(1);
        slot = std::make_unique<World>();
        CreateScenery(*slot);
        int32_t frames = bodies * SPAWN_EVERY + SETTLE_FRAMES;
        for (int32_t frame = 1; frame <= frames; ++frame) {
            if (frame % SPAWN_EVERY == 0 && frame / SPAWN_EVERY <= bodies) {
                PressSpace();
            }
            SimulateFrame(*slot);
        }
    }
    return *slot;
}

void BM_SimulateFrame(benchmark::State& state) {
    World& world = SettledWorld(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        SimulateFrame(world);
    }
    state.counters["points"] = world.VerletCount();
}

void BM_PointPass(benchmark::State& state) {
    World& world = SettledWorld(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        UpdateVerlets(world, 400.0f, 300.0f);
    }
    state.counters["points"] = world.VerletCount();
}

void BM_PointPassAllPairs(benchmark::State& state) {
    World& world = SettledWorld(static_cast<int32_t>(state.range(0)));
    world.UseGrid = false;
    for (auto _ : state) {
        UpdateVerlets(world, 400.0f, 300.0f);
    }
    world.UseGrid = true;
    state.counters["points"] = world.VerletCount();
}

void BM_ConstraintPass(benchmark::State& state) {
    World& world = SettledWorld(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) {
        UpdateConstraints(world);
    }
    state.counters["constraints"] = world.ConstraintCount();
}

BENCHMARK(BM_SimulateFrame)->Arg(100)->Arg(300)->Arg(666)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PointPass)->Arg(100)->Arg(300)->Arg(666)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PointPassAllPairs)->Arg(100)->Arg(300)->Arg(666)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConstraintPass)->Arg(100)->Arg(300)->Arg(666)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvex

BENCHMARK_MAIN();
