#include <benchmark/benchmark.h>

#include "framework/Clock.h"

static void BM_ClockNow(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(tarnwell::clock::Now());
}
BENCHMARK(BM_ClockNow);

BENCHMARK_MAIN();
