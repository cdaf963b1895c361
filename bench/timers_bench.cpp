#include <benchmark/benchmark.h>

#include "framework/BarCounter.h"
#include "framework/Timers.h"

BENCHMARK_MAIN();
