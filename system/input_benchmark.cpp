// Cost of the polled-input path that the sandbox runs about ten thousand times a frame.
#include <benchmark/benchmark.h>

#include "system/event.h"
#include "system/input.h"
#include "system/mainthread.h"
#include "system/system.h"

namespace {

void Prepare() {
    kvl::StartSystemModule();
    kvl::StartPolledInput(nullptr);
}

// Nothing pending, headless driver: the drain test plus one array read.
void BM_IsKeyDownNothingPending(benchmark::State& state) {
    Prepare();
    for (auto _ : state) benchmark::DoNotOptimize(kvl::IsKeyDown(27));
}
BENCHMARK(BM_IsKeyDownNothingPending);

void BM_MousePosXNothingPending(benchmark::State& state) {
    Prepare();
    for (auto _ : state) benchmark::DoNotOptimize(kvl::MousePosX());
}
BENCHMARK(BM_MousePosXNothingPending);

void Nothing(const kvl::Ref<kvl::TObject>&, int64_t) {}

// One posted call handed over and run by the next query.
void BM_PostThenQuery(benchmark::State& state) {
    Prepare();
    for (auto _ : state) {
        kvl::PostToMainThread(Nothing, nullptr, 0);
        benchmark::DoNotOptimize(kvl::IsKeyDown(27));
    }
}
BENCHMARK(BM_PostThenQuery);

// A key event through the event chain into the polled state.
void BM_EmitKeyDownUp(benchmark::State& state) {
    Prepare();
    for (auto _ : state) {
        kvl::TEvent::Create(kvl::EVENT_KEYDOWN, nullptr, 32, 0, 0, 0, nullptr)->Emit();
        kvl::TEvent::Create(kvl::EVENT_KEYUP, nullptr, 32, 0, 0, 0, nullptr)->Emit();
    }
    benchmark::DoNotOptimize(kvl::KeyHits(32));
}
BENCHMARK(BM_EmitKeyDownUp);

}  // namespace

BENCHMARK_MAIN();
