// The per-symbol work of candles and indicators: what one market minute costs a symbol with every registered
// indicator and the 5, 10, 15 and 30 minute series subscribed, and what one print costs the candle builders
// beside a plain update of four high/low/close/volume records. Measured on the data node thread, where the
// work runs in the program.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "AnalyticsTestSupport.h"
#include "analytics/Indicators.h"
#include "framework/GenericNode.h"

namespace tarnwell {
namespace {

using Clock = std::chrono::steady_clock;
using testing::HandPrints;
using testing::THandPrints;
using testing::MarketTime;
using testing::RunOnDataNodeThread;
using testing::SessionMinute;

constexpr int kWidths[] = {5, 10, 15, 30};
constexpr const char* kRegistered[] = {"CCI3",        "RSI15",       "UpCandles5",
                                       "UpCandles10", "UpCandles15", "UpCandles30"};

// Market time only moves forward in a process: each benchmark run takes days of its own.
int NextDay() {
  static int day = 0;
  return ++day;
}
TDateTime Minute(int day, int minute, int second = 0) {
  return SessionMinute(2031, 1, 1, minute, second) + day;
}

// An alert-like reader: on every notification it reads the node's value, as consumers do.
struct TReader {
  void Read() {
    if (node->IsValid()) sum += integer ? node->GetInteger() : node->GetDouble();
    ++reads;
  }
  TGenericDataNode* node = nullptr;
  bool integer = false;
  double sum = 0;
  long reads = 0;
};

struct TSubscriptions {
  std::vector<TOwnedLink> links;
  std::vector<std::unique_ptr<TReader>> readers;
};

/// The four series and every registered indicator of one symbol, each with a reader. Data node thread.
void Subscribe(const std::string& symbol, TSubscriptions& subscriptions, bool indicators) {
  HandPrints(symbol);
  for (int width : kWidths) subscriptions.links.emplace_back(TStandardCandles::Find(symbol, width).second);
  if (!indicators) return;
  RegisterIndicators();
  for (const char* name : kRegistered) {
    TFactoryRef factory = FindFactory(name)->Clone();
    factory->SetParam(kSymbolName, symbol);
    auto reader = std::make_unique<TReader>();
    reader->integer = std::string(name).starts_with("UpCandles");
    auto [node, link] = factory->GetNode(TW_METHOD(reader.get(), Read));
    reader->node = node;
    subscriptions.links.emplace_back(link);
    subscriptions.links.back()->SetReceiveInput(true);
    subscriptions.readers.push_back(std::move(reader));
  }
}

// One session day per iteration: a print in every minute (not timed), then the step to the next minute
// (timed), which closes the bars of every width that ends there. Minutes where all widths close (every 30th)
// are also reported on their own.
void BM_MinuteWithAllIndicators(benchmark::State& state) {
  TSubscriptions subscriptions;
  RunOnDataNodeThread([&] { Subscribe("BENCHBAR", subscriptions, true); });
  double allSeconds = 0;
  double allCloseSeconds = 0;
  long steps = 0;
  long allCloseSteps = 0;
  for (auto _ : state) {
    const int day = NextDay();
    double seconds = RunOnDataNodeThread([&] {
      THandPrints& prints = HandPrints("BENCHBAR");
      double spent = 0;
      for (int minute = 0; minute < 390; ++minute) {
        const TDateTime time = Minute(day, minute, 10);
        MarketTime(Minute(day, minute));
        prints.Print(100 + std::sin(minute * 0.3) + 0.01 * day, 100, time);
        const auto start = Clock::now();
        MarketTime(Minute(day, minute + 1));
        const double stepSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        spent += stepSeconds;
        if ((minute + 1) % 30 == 0) {
          allCloseSeconds += stepSeconds;
          ++allCloseSteps;
        }
      }
      return spent;
    });
    allSeconds += seconds;
    steps += 390;
    state.SetIterationTime(seconds);
  }
  state.counters["ns_per_minute"] = allSeconds / static_cast<double>(steps) * 1e9;
  state.counters["ns_all_widths_close"] = allCloseSeconds / static_cast<double>(allCloseSteps) * 1e9;
  long reads = 0;
  for (const auto& reader : subscriptions.readers) reads += reader->reads;
  if (reads == 0) state.SkipWithError("no indicator notified its reader");
  RunOnDataNodeThread([&] { subscriptions.links.clear(); });
}
BENCHMARK(BM_MinuteWithAllIndicators)->UseManualTime()->Unit(benchmark::kMicrosecond);

constexpr int kPrintsPerBatch = 1000;

std::vector<double> Prices() {
  std::vector<double> prices(kPrintsPerBatch);
  for (int i = 0; i < kPrintsPerBatch; ++i) prices[i] = 50 + std::sin(i * 0.37) * 0.5;
  return prices;
}

// A print through the print node into the four candle builders; without `builders`, four listeners that do
// nothing stand in for them, which leaves the cost of the notification itself.
void PrintPath(benchmark::State& state, bool builders) {
  const std::string symbol = builders ? "BENCHPRINT" : "BENCHNOTIFY";
  TSubscriptions subscriptions;
  struct TNothing {
    void Hit() {}
  } nothing;
  const int day = NextDay();
  RunOnDataNodeThread([&] {
    MarketTime(Minute(day, 0));
    if (builders) {
      Subscribe(symbol, subscriptions, false);
      return;
    }
    THandPrints& prints = HandPrints(symbol);
    for (int i = 0; i < 4; ++i) {
      subscriptions.links.emplace_back(prints.CreateLink(TW_METHOD(&nothing, Hit)));
      subscriptions.links.back()->SetReceiveInput(true);
    }
  });
  const std::vector<double> prices = Prices();
  for (auto _ : state) {
    double seconds = RunOnDataNodeThread([&] {
      THandPrints& prints = HandPrints(symbol);
      const TDateTime time = Minute(day, 0, 30);
      const auto start = Clock::now();
      for (double price : prices) prints.Print(price, 100, time);
      return std::chrono::duration<double>(Clock::now() - start).count();
    });
    state.SetIterationTime(seconds);
  }
  state.counters["ns_per_print"] = benchmark::Counter(
      kPrintsPerBatch, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  RunOnDataNodeThread([&] { subscriptions.links.clear(); });
}

void BM_PrintIntoFourCandleBuilders(benchmark::State& state) {
  PrintPath(state, true);
}
void BM_PrintToFourListenersThatDoNothing(benchmark::State& state) {
  PrintPath(state, false);
}
BENCHMARK(BM_PrintIntoFourCandleBuilders)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PrintToFourListenersThatDoNothing)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The yardstick: the same prints into four plain records, with nothing in between.
void BM_PlainUpdateOfFourRecords(benchmark::State& state) {
  struct TRecord {
    double high, low, close;
    std::int64_t volume;
  };
  TRecord records[4] = {};
  const std::vector<double> prices = Prices();
  for (auto _ : state) {
    const auto start = Clock::now();
    for (double price : prices) {
      benchmark::DoNotOptimize(price);
      for (TRecord& r : records) {
        r.high = std::max(r.high, price);
        r.low = std::min(r.low, price);
        r.close = price;
        r.volume += 100;
      }
      benchmark::ClobberMemory();
    }
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
  benchmark::DoNotOptimize(records);
  state.counters["ns_per_print"] = benchmark::Counter(
      kPrintsPerBatch, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlainUpdateOfFourRecords)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Keeps each run's per-print figure so that the ratios can be printed after the table.
class TRatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto counter = run.counters.find("ns_per_print");
      if (counter != run.counters.end()) perPrint[run.benchmark_name()] = counter->second.value;
    }
  }
  double PerPrint(const std::string& name) const {
    for (const char* suffix : {"/manual_time", "/manual_time_mean"}) {  // single runs, or repetitions
      auto it = perPrint.find(name + suffix);
      if (it != perPrint.end()) return it->second * 1e9;
    }
    return 0;
  }
  std::map<std::string, double> perPrint;  // seconds per print, by run name
};

}  // namespace
}  // namespace tarnwell

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  tarnwell::TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  const double builders = reporter.PerPrint("BM_PrintIntoFourCandleBuilders");
  const double notify = reporter.PerPrint("BM_PrintToFourListenersThatDoNothing");
  const double plain = reporter.PerPrint("BM_PlainUpdateOfFourRecords");
  if (builders <= 0 || notify <= 0 || plain <= 0) return 0;  // a filter left some out
  std::printf(
      "\nOne print: %.1f ns into four candle builders, %.1f ns to four empty listeners, %.1f ns into four "
      "plain records\n",
      builders, notify, plain);
  std::printf(
      "Print into the builders / plain update: %.1f (whole path), %.1f (the builders' share, without the "
      "notification); target 3\n",
      builders / plain, (builders - notify) / plain);
  return 0;
}
