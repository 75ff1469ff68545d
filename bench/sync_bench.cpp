// Cost of the event polls that run in the poll thread's and the monitor's loops.
#include "sync/CriticalSection.h"
#include "sync/Event.h"

#include <benchmark/benchmark.h>

namespace {

void BM_PollUnsignalledManualEvent(benchmark::State& state) {
    CManualResetEvent event(false);
    for (auto _ : state) {
        benchmark::DoNotOptimize(event.WaitTimeout(0));
    }
}
BENCHMARK(BM_PollUnsignalledManualEvent);

void BM_SetAndConsumeAutoEvent(benchmark::State& state) {
    CAutoResetEvent event(false);
    for (auto _ : state) {
        event.SetEvent();
        benchmark::DoNotOptimize(event.WaitTimeout(0));
    }
}
BENCHMARK(BM_SetAndConsumeAutoEvent);

void BM_WaitForMultipleObjectsOneRound(benchmark::State& state) {
    CAutoResetEvent a(false), b(false), c(false);
    CEvent* events[] = {&a, &b, &c};
    for (auto _ : state) {
        benchmark::DoNotOptimize(WaitForMultipleObjects(3, events, 0, 0));
    }
}
BENCHMARK(BM_WaitForMultipleObjectsOneRound);

void BM_RecursiveCriticalSection(benchmark::State& state) {
    CSimpleCriticalSection section(true);
    for (auto _ : state) {
        CAutoCriticalSection guard(section);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RecursiveCriticalSection);

} // namespace
