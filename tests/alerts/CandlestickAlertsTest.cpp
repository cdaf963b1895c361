#include "alerts/definitions/CandlestickAlerts.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "AnalyticsTestSupport.h"
#include "framework/DebugLog.h"
#include "framework/Errors.h"

namespace tarnwell {
namespace {

using testing::Hand;
using testing::RunOnDataNodeThread;
using testing::TProbe;
using testing::TReport;
using testing::THandPrints;

// Market time never moves in this suite, so no bar ever closes: the series change only through their test
// channel, and prints reach the alerts without touching the candles.
class TCandlestickEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    RegisterCandlestickAlerts();
    testing::InstallHandFeed();
  }
  void TearDown() override {
    TDataNodeThread::Instance().Flush();
    clock::UseSystem();
  }
};
[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new TCandlestickEnvironment);

/// The candle series of a symbol and width, driven through its test channel.
class TSeries {
 public:
  TSeries(const std::string& symbol, int minutes) {
    RunOnDataNodeThread([&] {
      auto [node, link] = TStandardCandles::Find(symbol, minutes);
      node_ = node;
      link_.Reset(link);
    });
  }
  ~TSeries() {
    RunOnDataNodeThread([&] { link_.Reset(); });
  }
  TSeries(const TSeries&) = delete;
  TSeries& operator=(const TSeries&) = delete;

  void History(std::vector<TCandle> candles) {
    TStandardCandles::SetHistory(*node_, std::move(candles));
    TDataNodeThread::Instance().Flush();
  }
  void Send(const TCandle& candle) {
    TStandardCandles::SendCandle(*node_, candle);
    TDataNodeThread::Instance().Flush();
  }
  void Reset() {
    TStandardCandles::ResetCandles(*node_);
    TDataNodeThread::Instance().Flush();
  }

 private:
  TStandardCandles* node_ = nullptr;
  TOwnedLink link_;
};

// The background of every pattern: candles spanning 10 to 11 with wide bodies, so that the recent range is
// exactly 1 while the pattern candles stay inside it, and no run of them makes a consolidation.
constexpr TCandle kFiller{10.1, 11.0, 10.0, 10.9, 1000};
constexpr TCandle kQuietFiller{10.1, 11.0, 10.0, 10.9, 0};

/// `count` candles of background, then `tail`.
std::vector<TCandle> Candles(std::size_t count, std::vector<TCandle> tail = {}, TCandle filler = kFiller) {
  std::vector<TCandle> candles(count, filler);
  candles.insert(candles.end(), tail.begin(), tail.end());
  return candles;
}

void ExpectReports(const std::vector<TReport>& reports, const std::string& expect,
                   std::optional<double> quality) {
  if (expect.empty()) {
    EXPECT_TRUE(reports.empty()) << reports.front().Text;
    return;
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Text, expect);
  ASSERT_EQ(reports[0].Quality.has_value(), quality.has_value());
  if (quality) {
    EXPECT_NEAR(*reports[0].Quality, *quality, 1e-9);
  }
}

// ---------------------------------------------------------------------------------------------------------
// The chart's yardstick

TEST(CandleChart, NotifiesWithTheRangeOfTheLastFortyCandlesOnlyWhileItHasOne) {
  TSeries series("CHT", 5);
  std::vector<double> ranges;
  TStandardCandleChart* chart = nullptr;
  TOwnedLink link;
  RunOnDataNodeThread([&] {
    auto [node, chartLink] = TStandardCandleChart::Find(
        "CHT", 5, TCallback::Function([&] { ranges.push_back(chart->RecentRange()); }));
    chart = node;
    link.Reset(chartLink);
    link->SetReceiveInput(true);
  });

  series.History(Candles(39));
  EXPECT_TRUE(ranges.empty());  // 39 candles: no yardstick yet
  series.Send(kFiller);
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_DOUBLE_EQ(ranges[0], 1.0);
  EXPECT_EQ(chart->RecentRange(), 0);  // only while notifying
  EXPECT_FALSE(chart->HasRecentRange());

  // Wide candles older than the last 40 do not count.
  std::vector<TCandle> history(5, TCandle{15, 20, 5, 15, 1});
  std::vector<TCandle> recent = Candles(40);
  history.insert(history.end(), recent.begin(), recent.end());
  series.History(history);
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_DOUBLE_EQ(ranges[1], 1.0);

  series.History(std::vector<TCandle>(40, TCandle{10, 10, 10, 10, 100}));  // a range of 0
  series.Reset();
  EXPECT_EQ(ranges.size(), 2u);
  RunOnDataNodeThread([&] { link.Reset(); });
}

TEST(CandleChart, AnEmptyKeyIsAProgrammingError) {
  try {
    RunOnDataNodeThread([] { TStandardCandleChart::CreateFromKey(""); });
    ADD_FAILURE() << "made a chart without a key";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Assertion failure");
  }
}

// ---------------------------------------------------------------------------------------------------------
// Patterns of the newest candle: each case fills a series with background, then sends its candles so that
// the last one completes the fortieth candle. The recent range is 1 throughout.

struct TPatternCase {
  const char* Name;  // the registered alert
  int Minutes;       // its width
  std::vector<TCandle> Tail;
  std::string Expect;  // empty: no report
  std::optional<double> Quality;
  TCandle Filler = kFiller;
};

void RunPatternCase(const TPatternCase& c, const std::string& symbol) {
  SCOPED_TRACE(std::string(c.Name) + " on " + symbol);
  TSeries series(symbol, c.Minutes);
  TProbe probe(c.Name, symbol);
  std::vector<TCandle> history = Candles(40 - c.Tail.size(), c.Tail, c.Filler);
  const TCandle last = history.back();
  history.pop_back();
  series.History(history);
  EXPECT_TRUE(probe.Take().empty());  // 39 candles
  series.Send(last);
  ExpectReports(probe.Take(), c.Expect, c.Quality);
}

void RunPatternCases(const std::string& stem, const std::vector<TPatternCase>& cases) {
  for (std::size_t i = 0; i < cases.size(); ++i) RunPatternCase(cases[i], stem + std::to_string(i));
}

TEST(CandlePatterns, DojiNamesItsKindAndWidth) {
  RunPatternCases(
      "DOJ", {
                 {"Doji-5", 5, {{10.5, 10.5, 10.3, 10.5, 100}}, "5 minute Dragonfly Doji", std::nullopt},
                 {"Doji-10", 10, {{10.5, 10.7, 10.5, 10.5, 100}}, "10 minute Gravestone Doji", std::nullopt},
                 {"Doji-15",
                  15,
                  {{10.5, 10.55, 10.3, 10.5, 100}},
                  "15 minute Doji",
                  std::nullopt},  // one short shadow
                 {"Doji-30", 30, {{10.5, 10.7, 10.3, 10.5, 100}}, "30 minute Long-Legged Doji", std::nullopt},
                 // Near misses: a span of no more than 9% of the range, and a body of one cent.
                 {"Doji-5", 5, {{10.5, 10.55, 10.47, 10.5, 100}}, "", std::nullopt},
                 {"Doji-5", 5, {{10.5, 10.7, 10.3, 10.51, 100}}, "", std::nullopt},
             });
}

TEST(CandlePatterns, HammerLowInTheRangeAndHangingManHighInIt) {
  RunPatternCases("HAM",
                  {
                      // Shadow 0.15 and a gap of 0.20 below the previous low: (0.15 + 0.10) / 1 x 100.
                      {"Hammer-5",
                       5,
                       {{10.5, 10.6, 10.4, 10.45, 100}, {10.15, 10.20, 10.00, 10.20, 100}},
                       "Hammer",
                       25.0},
                      // The same candle, its body top a cent below its high.
                      {"Hammer-5",
                       5,
                       {{10.5, 10.6, 10.4, 10.45, 100}, {10.15, 10.21, 10.00, 10.20, 100}},
                       "",
                       std::nullopt},
                      // Its high exactly a quarter up the nine candles before it: not below.
                      {"Hammer-10",
                       10,
                       {{10.5, 10.6, 10.4, 10.45, 100}, {10.20, 10.25, 10.05, 10.25, 100}},
                       "",
                       std::nullopt},
                      // A body under 2% of the range.
                      {"Hammer-5",
                       5,
                       {{10.5, 10.6, 10.4, 10.45, 100}, {10.19, 10.20, 10.00, 10.20, 100}},
                       "",
                       std::nullopt},
                      // Shadow 0.15 and a gap of 0.25 above the previous high: (0.15 + 0.125) x 100 x 2/3.
                      {"HangingMan-10",
                       10,
                       {{10.6, 10.7, 10.5, 10.65, 100}, {10.95, 11.0, 10.80, 11.0, 100}},
                       "Hanging Man",
                       27.5 * 2 / 3},
                      // The same shape in the middle of the range.
                      {"HangingMan-10",
                       10,
                       {{10.55, 10.6, 10.5, 10.55, 100}, {10.65, 10.70, 10.50, 10.70, 100}},
                       "",
                       std::nullopt},
                      // High in the range, but the gap below the previous high outweighs the shadow.
                      {"HangingMan-30",
                       30,
                       {{10.9, 11.0, 10.8, 10.95, 100}, {10.78, 10.80, 10.7, 10.80, 100}},
                       "",
                       std::nullopt},
                  });
}

TEST(CandlePatterns, EngulfingWeighsTheBodyWithTheNewestVolume) {
  RunPatternCases("ENG", {
                             // Body 0.25, volume 4000 of 13000 over ten candles: 4000 / 13000 x 100 + 12.5.
                             {"BullishEngulfing-15",
                              15,
                              {{10.6, 10.65, 10.45, 10.5, 1000}, {10.45, 10.75, 10.4, 10.7, 4000}},
                              "Bullish Engulfing",
                              400.0 / 13 + 12.5},
                             // Capped at 100.
                             {"BullishEngulfing-5",
                              5,
                              {{10.6, 10.65, 10.45, 10.5, 1000}, {10.45, 10.75, 10.4, 10.7, 1000000}},
                              "Bullish Engulfing",
                              100.0},
                             // The close passes the previous open by half a cent only.
                             {"BullishEngulfing-15",
                              15,
                              {{10.6, 10.65, 10.45, 10.5, 1000}, {10.45, 10.75, 10.4, 10.605, 4000}},
                              "",
                              std::nullopt},
                             // No volume in the last ten candles: the body ratio alone.
                             {"BearishEngulfing-30",
                              30,
                              {{10.5, 10.65, 10.45, 10.6, 0}, {10.65, 10.7, 10.35, 10.4, 0}},
                              "Bearish Engulfing",
                              25.0,
                              kQuietFiller},
                             // The previous candle already fell.
                             {"BearishEngulfing-30",
                              30,
                              {{10.6, 10.65, 10.45, 10.5, 0}, {10.65, 10.7, 10.35, 10.4, 0}},
                              "",
                              std::nullopt,
                              kQuietFiller},
                         });
}

TEST(CandlePatterns, PiercingPatternAndDarkCloudCover) {
  RunPatternCases("PDC", {
                             // Bodies 0.22 and 0.20 give 21; volume 5000 of 23000 over twenty candles: 5000 /
                             // 23000 x 100 + 10.5.
                             {"PiercingPattern-5",
                              5,
                              {{10.7, 10.72, 10.45, 10.5, 2000}, {10.4, 10.65, 10.38, 10.62, 3000}},
                              "Piercing Pattern",
                              500.0 / 23 + 10.5},
                             // The close stays below the middle of the previous body.
                             {"PiercingPattern-5",
                              5,
                              {{10.7, 10.72, 10.45, 10.5, 2000}, {10.4, 10.65, 10.38, 10.58, 3000}},
                              "",
                              std::nullopt},
                             {"DarkCloudCover-10",
                              10,
                              {{10.3, 10.55, 10.28, 10.5, 0}, {10.6, 10.62, 10.35, 10.38, 0}},
                              "Dark Cloud Cover",
                              21.0,
                              kQuietFiller},
                             // The open does not gap above the previous high.
                             {"DarkCloudCover-10",
                              10,
                              {{10.3, 10.55, 10.28, 10.5, 0}, {10.55, 10.62, 10.35, 10.38, 0}},
                              "",
                              std::nullopt,
                              kQuietFiller},
                         });
}

// ---------------------------------------------------------------------------------------------------------
// Consolidation breaks: a run of candle bodies within 9% of the range, then prints beyond its edge.

// Bodies between 10.42 and 10.50: a channel 0.08 tall under a step of 0.09.
constexpr TCandle kRisingBody{10.42, 10.55, 10.40, 10.50, 1000};
constexpr TCandle kFallingBody{10.50, 10.52, 10.38, 10.42, 1000};

std::vector<TCandle> Channel(std::size_t bodies) {
  std::vector<TCandle> candles = Candles(40 - bodies);
  for (std::size_t i = 0; i < bodies; ++i) candles.push_back(i % 2 ? kFallingBody : kRisingBody);
  return candles;
}

struct TPrintCase {
  double Price;
  std::string Expect;  // empty: no report
  std::optional<double> Quality;
  bool FormT = false;
  bool Snapshot = false;
};

class ConsolidationBreak : public ::testing::Test {
 protected:
  /// A series of `bodies` channel candles after background, the last of them sent as a completed candle.
  void Start(const char* name, const std::string& symbol, int minutes, std::size_t bodies) {
    symbol_ = symbol;
    series_.emplace(symbol, minutes);
    probe_.emplace(name, symbol);
    std::vector<TCandle> candles = Channel(bodies);
    series_->History({candles.begin(), candles.end() - 1});
    series_->Send(candles.back());
    EXPECT_TRUE(probe_->Take().empty());
  }
  void Prints(const std::vector<TPrintCase>& prints) {
    for (const TPrintCase& p : prints) {
      SCOPED_TRACE("print at " + std::to_string(p.Price));
      RunOnDataNodeThread([&] {
        THandPrints& node = Hand<THandPrints>(symbol_);
        node.data.FormT = p.FormT;
        node.Print(p.Price, 100, clock::Now(), p.Snapshot);
      });
      ExpectReports(probe_->Take(), p.Expect, p.Quality);
    }
  }
  void TearDown() override {
    probe_.reset();
    series_.reset();
  }

  std::string symbol_;
  std::optional<TSeries> series_;
  std::optional<TProbe> probe_;
};

TEST_F(ConsolidationBreak, ReportsEachNewLevelOncePerCandlePeriod) {
  Start("TraditionalChannelBreakout-5", "CBU", 5, 7);
  Prints({
      {10.50, "", std::nullopt},  // at the edge
      {10.55, "5 minute consolidation breakout", 0.05},
      {10.60, "5 minute consolidation breakout with follow through", 0.10},
      {10.80, "5 minute consolidation breakout with significant follow through", 0.30},
      {10.55, "", std::nullopt},  // a level already reached
      {10.95, "", std::nullopt, /*FormT=*/true},
      {10.95, "", std::nullopt, false, /*Snapshot=*/true},
  });
  // The next candle keeps the channel; levels up to the previous period's highest (4) stay quiet.
  series_->Send(kRisingBody);
  Prints({
      {10.55, "", std::nullopt},
      {10.80, "", std::nullopt},
      {10.90, "5 minute consolidation breakout with significant follow through", 0.40},
  });
}

TEST_F(ConsolidationBreak, BreakdownMeasuresBelowTheBottomOfTheBodies) {
  Start("TraditionalChannelBreakdown-30", "CBD", 30, 8);
  Prints({
      {10.42, "", std::nullopt},
      {10.50, "", std::nullopt},
      {10.37, "30 minute consolidation breakdown", 0.05},
      {10.30, "30 minute consolidation breakdown with follow through", 0.12},
  });
}

TEST_F(ConsolidationBreak, SixBodiesAreNoChannel) {
  Start("TraditionalChannelBreakout-10", "CBN", 10, 6);
  Prints({{10.80, "", std::nullopt}});
}

TEST_F(ConsolidationBreak, AChannelDiesWithTheCandlesItWasDrawnFrom) {
  Start("TraditionalChannelBreakout-15", "CBR", 15, 7);
  series_->Reset();  // a bar without prints, or the night: the chart stays silent below 40 candles
  Prints({{10.80, "", std::nullopt}});
  series_->History(Channel(7));  // forty candles again: a channel again
  Prints({{10.55, "15 minute consolidation breakout", 0.05}});
}

// ---------------------------------------------------------------------------------------------------------
// Short-term movement: minute snapshots of the last price and the day's volume

/// The time of day `h:m:s` on a trading day.
TDateTime At(int day, int h, int m, int s) {
  return EncodeDateTime(2031, 6, 2 + day, h, m, s);
}

/// A print of `symbol` queued at `time`, which the snapshot ring takes as the current data time.
void PrintAt(const std::string& symbol, TDateTime time, double price, std::int32_t totalVolume) {
  clock::SetManual(time);
  RunOnDataNodeThread([&] {
    THandPrints& node = Hand<THandPrints>(symbol);
    node.data.TotalVolume = totalVolume;
    node.Print(price, 100, time);
  });
}

/// A value node of the symbol built outside the registry, for counts that are not registered.
class TValue {
 public:
  template <class T>
  static TValue Of(const std::string& symbol, int count) {
    TValue value;
    RunOnDataNodeThread([&] {
      auto [node, link] = TGenericDataNodeFactory::Make<T>(symbol, count)->GetNode();
      value.node_ = node;
      value.link_.Reset(link);
    });
    return value;
  }
  TValue(TValue&&) = default;
  ~TValue() {
    if (link_) RunOnDataNodeThread([&] { link_.Reset(); });
  }
  TGenericDataNode* operator->() const { return node_; }

 private:
  TValue() = default;
  TGenericDataNode* node_ = nullptr;
  TOwnedLink link_;
};

/// Reads a getter as the alert listener does: on the data node thread, at `time`.
template <class Fn>
auto ReadAt(TDateTime time, Fn fn) {
  clock::SetManual(time);
  return RunOnDataNodeThread(fn);
}

TEST(ShortTermValues, MinutesWithoutPrintsRepeatTheMinuteBefore) {
  const std::string s = "STM";
  TProbe movement5("TimedMovement5", s);
  TProbe volume5("VolumeChange5", s);
  TValue movement4 = TValue::Of<TTimedMovement>(s, 4);
  TValue volume4 = TValue::Of<TVolumeChange>(s, 4);
  TValue movement1 = TValue::Of<TTimedMovement>(s, 1);

  PrintAt(s, At(0, 10, 0, 10), 20.00, 1000);
  PrintAt(s, At(0, 10, 0, 50), 20.10, 1500);
  PrintAt(s, At(0, 10, 1, 5), 20.20, 2000);  // closes 10:00 with the 10:00:50 state
  // At 10:04:30 the minutes 10:01, 10:02 and 10:03 close with the 10:01:05 state.
  ReadAt(At(0, 10, 4, 30), [&] {
    EXPECT_FALSE(movement5.Node().IsValid());
    EXPECT_EQ(movement5.Node().GetDouble(), 0);
    EXPECT_EQ(volume5.Node().GetInteger(), -1);
    EXPECT_FALSE(volume5.Node().IsValid());
    EXPECT_TRUE(movement4->IsValid());
    EXPECT_NEAR(movement4->GetDouble(), 0.10, 1e-9);
    EXPECT_EQ(volume4->GetInteger(), 500);
    EXPECT_EQ(movement1->GetDouble(), 0);
  });

  PrintAt(s, At(0, 10, 5, 10), 20.50, 3000);  // closes 10:04 with the 10:01:05 state again
  ReadAt(At(0, 10, 5, 20), [&] {
    EXPECT_TRUE(movement5.Node().IsValid());
    EXPECT_NEAR(movement5.Node().GetDouble(), 0.40, 1e-9);  // against 10:00's 20.10
    EXPECT_EQ(volume5.Node().GetInteger(), 1500);
    EXPECT_TRUE(volume5.Node().IsValid());
  });

  // A print queued earlier than the last one changes no snapshot: 10:05 closes with 20.50.
  PrintAt(s, At(0, 10, 5, 0), 99.0, 3100);
  ReadAt(At(0, 10, 6, 10), [&] { EXPECT_NEAR(movement1->GetDouble(), 99.0 - 20.50, 1e-9); });
}

TEST(ShortTermValues, TheRingKeepsThirtyMinutesAndTheDebugTextShowsThem) {
  const std::string s = "STR";
  TProbe movement15("TimedMovement15", s);
  TProbe movement30("TimedMovement30", s);
  TProbe volume10("VolumeChange10", s);
  TProbe volume30("VolumeChange30", s);
  TProbe debug("ShortTermCandlesDebug", s);
  // One print a minute: print i at 10:i:30, price 10 + i / 100, volume 1000 (i + 1).
  for (int i = 0; i <= 31; ++i) PrintAt(s, At(0, 10, i, 30), 10 + i / 100.0, 1000 * (i + 1));
  ReadAt(At(0, 10, 31, 40), [&] {
    EXPECT_NEAR(movement15.Node().GetDouble(), 0.15, 1e-9);
    EXPECT_NEAR(movement30.Node().GetDouble(), 0.30, 1e-9);
    EXPECT_EQ(volume10.Node().GetInteger(), 10000);
    EXPECT_EQ(volume30.Node().GetInteger(), 30000);
    EXPECT_EQ(debug.Node().GetString(),
              "10.30, 10.29, 10.28, 10.27, 10.26; 10.21; 10.16; 10.01 10:31:30 10:32:00");
  });

  // The first print of the next day fills the ring with yesterday's last state: the price moved since,
  // while the day's volume started again and reads as no value.
  PrintAt(s, At(1, 6, 30, 5), 11.00, 200);
  ReadAt(At(1, 6, 30, 20), [&] {
    EXPECT_NEAR(movement30.Node().GetDouble(), 0.69, 1e-9);
    EXPECT_LT(volume30.Node().GetInteger(), 0);
    EXPECT_FALSE(volume30.Node().IsValid());
    EXPECT_EQ(debug.Node().GetString(),
              "10.31, 10.31, 10.31, 10.31, 10.31; 10.31; 10.31; 10.31 06:30:05 06:31:00");
  });
}

TEST(ShortTermValues, DebugTextFollowsTheRingEvenWhenItComesFullCircle) {
  const std::string s = "STD";
  clock::SetManual(At(0, 9, 0, 0));
  TProbe debug("ShortTermCandlesDebug", s);
  auto text = [&] { return RunOnDataNodeThread([&] { return debug.Node().GetString(); }); };
  EXPECT_EQ(text(), " (0) 00:00:00 00:00:00");
  PrintAt(s, At(0, 9, 0, 10), 5.5, 100);
  PrintAt(s, At(0, 9, 1, 20), 5.625, 200);
  PrintAt(s, At(0, 9, 3, 5), 5.8125, 400);  // closes 09:01 and, without prints, 09:02
  EXPECT_EQ(text(), "5.625, 5.625, 5.50 (3) 09:03:05 09:04:00");
  // Thirty minutes later exactly thirty snapshots go in and the ring's head is back where it was.
  PrintAt(s, At(0, 9, 33, 10), 6.0, 900);
  EXPECT_EQ(text(), "5.8125, 5.8125, 5.8125, 5.8125, 5.8125; 5.8125; 5.8125; 5.8125 09:33:10 09:34:00");
}

// ---------------------------------------------------------------------------------------------------------
// Registration and parameter lists

std::vector<std::string> RegisteredNames() {
  std::vector<std::string> names;
  for (const char* stem :
       {"Doji", "TraditionalChannelBreakout", "TraditionalChannelBreakdown", "Hammer", "HangingMan",
        "BullishEngulfing", "BearishEngulfing", "PiercingPattern", "DarkCloudCover"}) {
    for (int minutes : {5, 10, 15, 30}) names.push_back(std::string(stem) + "-" + std::to_string(minutes));
  }
  for (const char* stem : {"TimedMovement", "VolumeChange"}) {
    for (int count : {5, 10, 15, 30}) names.push_back(stem + std::to_string(count));
  }
  names.push_back("ShortTermCandlesDebug");
  return names;
}

unsigned PublishedGetters(const std::string& name) {
  return dynamic_cast<const TGenericDataNodeFactory&>(*FindFactory(name)).NodeClass().publishedGetters;
}

TEST(CandlestickRegistration, EveryNameBuildsAndRunsForOrdinaryIndexAndSlashSymbols) {
  const std::vector<std::string> names = RegisteredNames();
  ASSERT_EQ(names.size(), 36u + 8u + 1u);
  for (const std::string& name : names) {
    ASSERT_NE(FindFactory(name, false), nullptr) << name;
    // The alert row reads the movements as doubles and the volume changes as integers.
    const unsigned expected = name.starts_with("TimedMovement")  ? gtDouble
                              : name.starts_with("VolumeChange") ? gtInteger
                                                                 : gtString;
    EXPECT_EQ(PublishedGetters(name), expected) << name;
  }
  clock::SetManual(At(0, 8, 0, 0));
  TDebugLog::Instance().TakePending();
  const std::int32_t before = GenericNodeCount();
  for (bool feed : {false, true}) {
    // Without a feed the nodes see the default print node, which never holds a print.
    if (!feed) TGenericTosDataNode::ClearImplementation();
    for (std::string symbol : {"RGA", "$RGA", "/RGA"}) {
      if (!feed) symbol += "0";
      SCOPED_TRACE(symbol);
      std::vector<std::unique_ptr<TProbe>> probes;
      for (const std::string& name : names) {
        ASSERT_NO_THROW(probes.push_back(std::make_unique<TProbe>(name, symbol))) << name;
      }
      // Forty candles, a print and a read reach every node without a failure inside a callback.
      for (int minutes : {5, 10, 15, 30}) TSeries(symbol, minutes).History(Channel(8));
      for (auto& probe : probes) probe->Take();
      if (feed) PrintAt(symbol, At(0, 8, 0, 30), 10.8, 500);
      ReadAt(At(0, 8, 2, 0), [&] {
        for (std::size_t i = 0; i < names.size(); ++i) {
          TGenericDataNode& node = probes[i]->Node();
          node.IsValid();
          const unsigned published = PublishedGetters(names[i]);
          if (published & gtInteger) node.GetInteger();
          if (published & gtDouble) node.GetDouble();
          if (published & gtString) node.GetString();
        }
      });
      for (std::size_t i = 0; i < names.size(); ++i) {
        const bool breakout = names[i].starts_with("TraditionalChannelBreakout");
        EXPECT_EQ(probes[i]->Take().size(), feed && breakout ? 1u : 0u) << names[i];
      }
    }
    testing::InstallHandFeed();
  }
  for (const std::string& line : TDebugLog::Instance().TakePending()) {
    EXPECT_EQ(line.find("DataNode thread"), std::string::npos) << line;
  }
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(GenericNodeCount(), before);  // every node went with its last subscriber
}

TEST(CandlestickRegistration, WrongParameterListsNameTheExpectedOnes) {
  struct Case {
    TFactoryRef factory;
    const char* text;
  } cases[] = {
      {TGenericDataNodeFactory::Make<TDoji>("X"), "Expected params: (Symbol, Minutes / Bar)"},
      {TGenericDataNodeFactory::Make<TDoji>("X", 5, true), "Expected params: (Symbol, Minutes / Bar)"},
      {TGenericDataNodeFactory::Make<TTraditionalChannelBreak>("X", 5),
       "Expected params: (Symbol, Minutes / Bar, Up)"},
      {TGenericDataNodeFactory::Make<TEngulfing>("X", 5), "Expected params: (Symbol, Minutes / Bar, Up)"},
      {TGenericDataNodeFactory::Make<TDarkCloudCoverOrPeircing>("X", 5, true, 1),
       "Expected params: (Symbol, Minutes / Bar, Up)"},
      {TGenericDataNodeFactory::Make<THammerOrHangingMan>("X", 5),
       "Expected params: (Symbol, Minutes / Bar, IsHammer)"},
      {TGenericDataNodeFactory::Make<TTimedMovement>("X"), "Expected params: (Symbol, Count)"},
      {TGenericDataNodeFactory::Make<TVolumeChange>("X", 5, 1), "Expected params: (Symbol, Count)"},
      {TGenericDataNodeFactory::Make<TShortTermCandlesDebug>("X", 1), "Expected params: (Symbol)"},
  };
  for (const Case& c : cases) {
    try {
      RunOnDataNodeThread([&] { c.factory->GetNode(); });
      ADD_FAILURE() << "built " << c.factory->GetKey();
    } catch (const EAssertionFailed& e) {
      EXPECT_STREQ(e.what(), c.text) << c.factory->GetKey();
    }
  }
}

}  // namespace
}  // namespace tarnwell
