// Market time and wall-clock timers. The minute tick is what every print that opens a new minute costs the
// data node thread: two notifications of the synchronized timer reaching every bar counter, each passing
// the tick on to its own listeners. Beside it, the same number of plain calls, so the figure can be read as
// overhead per listener; and one-shot timer events through the timer thread.

#include <benchmark/benchmark.h>

#include "BenchReport.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/BarCounter.h"
#include "framework/DataNode.h"
#include "framework/DataNodeThread.h"
#include "framework/Event.h"
#include "framework/Timers.h"

namespace tarnwell {
namespace {

constexpr int kCounters = 50;  // bar lengths 1 to 50 minutes
constexpr int kListenersPerCounter = 200;

struct TListener {
  void OnBar() { ++hits; }
  std::uint64_t hits = 0;
};

// Minute after minute through the session; after 12:59 the next day's open (a skipped-bars tick).
class TSessionMinutes {
 public:
  TDateTime Next() {
    if (minute_ == TSynchronizedTimer::kSessionMinutes) {
      minute_ = 0;
      day_ += 1;
    }
    return day_ + (TSynchronizedTimer::kSessionStartMinute + minute_++) * kOneMinute;
  }

 private:
  TDateTime day_ = EncodeDateTime(2040, 1, 2);  // later than anything a test or replay in this process used
  int minute_ = 0;
};

std::uint64_t listenerCalls = 0;
std::uint64_t ticks = 0;

void BM_MinuteTick50Counters200Listeners(benchmark::State& state) {
  std::vector<std::unique_ptr<TListener>> listeners;
  std::vector<TOwnedLink> links;
  for (int minutes = 1; minutes <= kCounters; ++minutes) {
    for (int i = 0; i < kListenersPerCounter; ++i) {
      listeners.push_back(std::make_unique<TListener>());
      auto [counter, link] = TBarCounter::Find(minutes, TW_METHOD(listeners.back().get(), OnBar));
      link->SetReceiveInput(true);
      links.emplace_back(link);
    }
  }
  static TSessionMinutes session;  // market time never goes back, also between runs of this function
  TSynchronizedTimer::AdvanceTo(session.Next());  // every counter has passed something on from here
  for (auto& l : listeners) l->hits = 0;

  for (auto _ : state) TSynchronizedTimer::AdvanceTo(session.Next());

  std::uint64_t calls = 0;
  for (auto& l : listeners) calls += l->hits;
  listenerCalls = calls;
  ticks = state.iterations();
  state.counters["listener_calls_per_tick"] =
      static_cast<double>(calls) / static_cast<double>(state.iterations());
  // The counters are freed on the data node thread; the next run must not find one half destroyed.
  links.clear();
  TDataNodeThread::Instance().Flush();
}
BENCHMARK(BM_MinuteTick50Counters200Listeners)->Unit(benchmark::kMicrosecond);

// The same calls as the tick above makes, through a plain vector of std::function.
void BM_PlainCallsOfOneTick(benchmark::State& state) {
  const auto perTick = ticks ? listenerCalls / ticks : kCounters * kListenersPerCounter;
  std::vector<TListener> listeners(kCounters * kListenersPerCounter);
  std::vector<std::function<void()>> calls;
  for (std::uint64_t i = 0; i < perTick; ++i) {
    TListener* l = &listeners[i % listeners.size()];
    calls.emplace_back([l] { l->OnBar(); });
  }
  for (auto _ : state) {
    for (auto& call : calls) call();
    benchmark::ClobberMemory();
  }
  benchmark::DoNotOptimize(listeners.front().hits);
}
BENCHMARK(BM_PlainCallsOfOneTick)->Unit(benchmark::kMicrosecond);

// One-shot events due now, queued from this thread and fired by the timer thread: heap push and pop,
// wake-ups and the timer lock, per event.
constexpr int kBurst = 1000;

void BM_OneShotQueuedAndFired(benchmark::State& state) {
  std::atomic<int> fired{0};
  for (auto _ : state) {
    auto done = std::make_shared<TEvent>(true);
    fired = 0;
    for (int i = 0; i < kBurst; ++i) {
      OneShot(0, TCallback::Function([&fired, done] {
                if (++fired == kBurst) done->Set();
              }));
    }
    done->Wait();
  }
  state.counters["ns_per_event"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kBurst,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_OneShotQueuedAndFired)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
}  // namespace tarnwell

int main(int argc, char** argv) {
  using namespace tarnwell;
  bench::TTimesReporter reporter;
  if (!bench::RunBenchmarks(argc, argv, reporter)) return 1;

  auto& ns = reporter.nanoseconds;
  std::printf("\nSummary:\n");
  auto tick = ns.find("BM_MinuteTick50Counters200Listeners");
  if (tick != ns.end() && ticks > 0) {
    const double perTick = static_cast<double>(listenerCalls) / static_cast<double>(ticks);
    std::printf("%-52s %10.0f ns  (%.0f listener calls, %.1f ns each)\n",
                "minute tick, 50 counters x 200 listeners", tick->second, perTick, tick->second / perTick);
    auto plain = ns.find("BM_PlainCallsOfOneTick");
    if (plain != ns.end()) {
      std::printf("%-52s %10.2f   (%.0f ns for the plain calls)\n",
                  "minute tick / the same calls as std::function", tick->second / plain->second,
                  plain->second);
    }
  }
  auto shot = ns.find("BM_OneShotQueuedAndFired/real_time");
  if (shot != ns.end()) {
    std::printf("%-52s %10.0f ns\n", "one-shot event queued and fired, per event", shot->second / kBurst);
  }
  return 0;
}
