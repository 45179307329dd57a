// Cost of the polled-input path that the sandbox runs about ten thousand times a frame.
#include <benchmark/benchmark.h>

#include <corvex/system/event.h>
#include <corvex/system/input.h>
#include <corvex/system/mainthread.h>
#include <corvex/system/system.h>

namespace {

void Prepare() {
    corvex::StartSystemModule();
    corvex::StartPolledInput(nullptr);
}

// Nothing pending, headless driver: the drain test plus one array read.
void BM_IsKeyDownNothingPending(benchmark::State& state) {
    Prepare();
    for (auto _ : state) benchmark::DoNotOptimize(corvex::IsKeyDown(27));
}
BENCHMARK(BM_IsKeyDownNothingPending);

void BM_MousePosXNothingPending(benchmark::State& state) {
    Prepare();
    for (auto _ : state) benchmark::DoNotOptimize(corvex::MousePosX());
}
BENCHMARK(BM_MousePosXNothingPending);

void Nothing(const corvex::Ref<corvex::TObject>&, int64_t) {}

// One posted call handed over and run by the next query.
void BM_PostThenQuery(benchmark::State& state) {
    Prepare();
    for (auto _ : state) {
        corvex::PostToMainThread(Nothing, nullptr, 0);
        benchmark::DoNotOptimize(corvex::IsKeyDown(27));
    }
}
BENCHMARK(BM_PostThenQuery);

// A key event through the event chain into the polled state.
void BM_EmitKeyDownUp(benchmark::State& state) {
    Prepare();
    for (auto _ : state) {
        corvex::TEvent::Create(corvex::EVENT_KEYDOWN, nullptr, 32, 0, 0, 0, nullptr)->Emit();
        corvex::TEvent::Create(corvex::EVENT_KEYUP, nullptr, 32, 0, 0, 0, nullptr)->Emit();
    }
    benchmark::DoNotOptimize(corvex::KeyHits(32));
}
BENCHMARK(BM_EmitKeyDownUp);

}  // namespace

BENCHMARK_MAIN();
