#pragma once
// The console report of a benchmark program, keeping each run's time so that the program can print ratios
// of runs measured side by side after the table.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace tarnwell::bench {

class TTimesReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
      nanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime() * UnitToNanoseconds(run.time_unit);
    }
  }

  /// Nanoseconds per iteration of a run by its name, or null when it did not run (filtered out).
  const double* Find(const std::string& name) const {
    auto it = nanoseconds.find(name);
    return it == nanoseconds.end() ? nullptr : &it->second;
  }

  /// One line "what  ratio (target)": ours / theirs. Without a target (0) both times are shown instead.
  void PrintRatio(const char* what, const std::string& ours, const std::string& theirs, double target) const {
    const double* a = Find(ours);
    const double* b = Find(theirs);
    if (!a || !b) return;
    const double ratio = *a / *b;
    if (target <= 0) {
      std::printf("%-58s %7.2f   (%.0f ns against %.0f ns)\n", what, ratio, *a, *b);
      return;
    }
    std::printf("%-58s %7.2f   (target at most %.1f)%s\n", what, ratio, target, ratio > target ? "  ABOVE TARGET" : "");
  }

  std::map<std::string, double> nanoseconds;

 private:
  static double UnitToNanoseconds(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kSecond: return 1e9;
      case benchmark::kMillisecond: return 1e6;
      case benchmark::kMicrosecond: return 1e3;
      default: return 1;
    }
  }
};

/// Runs the registered benchmarks with the reporter; false on unrecognised arguments.
inline bool RunBenchmarks(int& argc, char** argv, TTimesReporter& reporter) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return false;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return true;
}

}  // namespace tarnwell::bench
