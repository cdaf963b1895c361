#include "analytics/Indicators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "AnalyticsTestSupport.h"
#include "framework/DebugLog.h"

namespace tarnwell {
namespace {

using testing::HandPrints;
using testing::RunOnDataNodeThread;
using testing::TCounter;

TCandle Bar(double high, double low, double close) {
  return TCandle{close, high, low, close, 100};
}
TCandle Flat(double price) {
  return TCandle{price, price, price, price, 100};
}

std::vector<TCandle> Closes(std::initializer_list<double> closes) {
  std::vector<TCandle> candles;
  for (double close : closes) candles.push_back(Flat(close));
  return candles;
}

// A few hundred closes that wander like prices and never repeat a pattern.
std::vector<TCandle> Wander(int count, double start) {
  std::vector<TCandle> candles;
  double price = start;
  for (int i = 0; i < count; ++i) {
    price += std::sin(i * 0.7) * 0.35 + std::cos(i * 1.9) * 0.2;
    candles.push_back(TCandle{price, price + 0.1 + 0.05 * std::sin(i), price - 0.12, price, 100 + i});
  }
  return candles;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Series are shared per symbol and width in the process: every test uses symbols of its own.
class Indicators : public ::testing::Test {
 protected:
  void SetUp() override {
    TDataNodeThread::Instance().Flush();
    TDebugLog::Instance().TakePending();
  }
  void TearDown() override {
    RunOnDataNodeThread([&] { links_.clear(); });
  }

  TStandardCandles* Series(const std::string& symbol, int minutes) {
    return RunOnDataNodeThread([&] {
      auto [node, link] = TStandardCandles::Find(symbol, minutes);
      links_.emplace_back(link);
      return node;
    });
  }
  template <class T>
  T* Node(const TFactoryRef& factory, TCounter* counter = nullptr) {
    return RunOnDataNodeThread([&] {
      auto [node, link] = factory->GetNode(counter ? TW_METHOD(counter, Hit) : TCallback());
      links_.emplace_back(link);
      links_.back()->SetReceiveInput(true);
      return dynamic_cast<T*>(node);
    });
  }
  TLinearRegressionBase* Regression(const std::string& symbol, int minutes, int bars) {
    return RunOnDataNodeThread([&] {
      auto [node, link] = TLinearRegressionBase::Find(symbol, minutes, bars);
      links_.emplace_back(link);
      return node;
    });
  }
  static void History(TStandardCandles* series, std::vector<TCandle> candles) {
    TStandardCandles::SetHistory(*series, std::move(candles));
    TDataNodeThread::Instance().Flush();
  }
  static void Send(TStandardCandles* series, const TCandle& candle) {
    TStandardCandles::SendCandle(*series, candle);
    TDataNodeThread::Instance().Flush();
  }
  template <class Fn>
  static auto Query(Fn fn) {
    return RunOnDataNodeThread(fn);
  }

  std::vector<TOwnedLink> links_;
};

struct TLine {
  bool valid;
  double slope, intercept, end, stdDev;
};

TLine ReadLine(TLinearRegressionBase* node) {
  return RunOnDataNodeThread([node] {
    TLine line{node->IsValid(), 0, 0, 0, node->StdDev()};
    node->LineEnd(line.slope, line.intercept, line.end);
    return line;
  });
}

TEST_F(Indicators, RegressionFitsTheLastBarsClosesByTheirIndexInTheSeries) {
  TStandardCandles* series = Series("REG1", 5);
  TLinearRegressionBase* three = Regression("REG1", 5, 3);
  History(series, Closes({10, 11, 12}));
  TLine line = ReadLine(three);
  ASSERT_TRUE(line.valid);
  EXPECT_DOUBLE_EQ(line.slope, 1);
  EXPECT_DOUBLE_EQ(line.intercept, 10);
  EXPECT_DOUBLE_EQ(line.end, 12);
  EXPECT_DOUBLE_EQ(line.stdDev, 1);

  // Later candles move the window; x stays the index in the whole series.
  Send(series, Flat(20));
  line = ReadLine(three);
  EXPECT_DOUBLE_EQ(line.slope, 4.5);               // closes 11, 12, 20 at x = 1, 2, 3
  EXPECT_DOUBLE_EQ(line.intercept, 43.0 / 3 - 9);  // mean 43/3 at x = 2
  EXPECT_DOUBLE_EQ(line.end, 43.0 / 3 + 4.5);

  // Flat prices far from the earlier ones: once they have filled the window twice over (by folds) or once
  // (by a recompute), exactly no spread and no slope, not a rounding residue or a NaN from a variance a hair
  // below zero.
  for (int i = 0; i < 6; ++i) Send(series, Flat(448.36));
  line = ReadLine(three);
  EXPECT_EQ(line.stdDev, 0);
  EXPECT_EQ(line.slope, 0);
  EXPECT_DOUBLE_EQ(line.end, 448.36);
  History(series, Closes({10, 448.37, 448.37, 448.37}));
  line = ReadLine(three);
  EXPECT_EQ(line.stdDev, 0);
  EXPECT_EQ(line.slope, 0);
  EXPECT_DOUBLE_EQ(line.end, 448.37);
}

TEST_F(Indicators, RegressionNeedsBarsCandlesAndForgetsAfterAReset) {
  TStandardCandles* series = Series("REG2", 5);
  TLinearRegressionBase* node = Regression("REG2", 5, 23);
  std::vector<TCandle> candles = Wander(23, 50);
  History(series, {candles.begin(), candles.end() - 1});
  EXPECT_FALSE(ReadLine(node).valid);
  EXPECT_EQ(ReadLine(node).stdDev, 0);
  Send(series, candles.back());
  EXPECT_TRUE(ReadLine(node).valid);
  TStandardCandles::ResetCandles(*series);
  TDataNodeThread::Instance().Flush();
  TLine line = ReadLine(node);
  EXPECT_FALSE(line.valid);
  EXPECT_EQ(line.slope, 0);
  EXPECT_EQ(line.end, 0);
}

TEST_F(Indicators, FoldedValuesMatchARecomputeFromTheWholeList) {
  TStandardCandles* series = Series("FOLD", 7);
  TLinearRegressionBase* regression = Regression("FOLD", 7, 10);
  auto* ema = Node<TIntradayEma>(TGenericDataNodeFactory::Make<TIntradayEma>("FOLD", 7, 9));
  std::vector<TCandle> candles = Wander(300, 80);
  History(series, {candles.begin(), candles.begin() + 12});
  for (auto it = candles.begin() + 12; it != candles.end(); ++it) Send(series, *it);  // 288 folds
  const TLine folded = ReadLine(regression);
  const double foldedEma = Query([&] { return ema->GetDouble(); });
  History(series, candles);  // the same list as a reset: everything recomputes
  const TLine recomputed = ReadLine(regression);
  EXPECT_NEAR(folded.slope, recomputed.slope, 1e-12);
  EXPECT_NEAR(folded.intercept, recomputed.intercept, 1e-9);
  EXPECT_NEAR(folded.end, recomputed.end, 1e-10);
  EXPECT_NEAR(folded.stdDev, recomputed.stdDev, 1e-10);
  EXPECT_NEAR(foldedEma, Query([&] { return ema->GetDouble(); }), 1e-10);
  // The RSI is left out on purpose: its recompute warms up over three periods only, so it differs from
  // a day of folds by design (RsiRecomputeIgnoresChangesBeforeItsWarmUp).
}

TEST_F(Indicators, AConsumerThatMissedAChangeRecomputesInsteadOfFolding) {
  TStandardCandles* series = Series("EPO", 5);
  History(series, Closes({1, 2}));
  TEpochFollower follower;
  EXPECT_EQ(Query([&] { return follower.Take(*series); }), esRecompute);  // first sight
  EXPECT_EQ(Query([&] { return follower.Take(*series); }), esNone);
  Send(series, Flat(3));
  EXPECT_EQ(Query([&] { return follower.Take(*series); }), esFold);
  Send(series, Flat(4));
  Send(series, Flat(5));
  EXPECT_EQ(Query([&] { return follower.Take(*series); }), esRecompute);
  History(series, Closes({1}));
  EXPECT_EQ(Query([&] { return follower.Take(*series); }), esRecompute);
}

TEST_F(Indicators, RegressionRefusesCloseOutsideThePriceRangeAndLogsItsSums) {
  TStandardCandles* series = Series("BADY", 5);
  TLinearRegressionBase* node = Regression("BADY", 5, 3);
  History(series, Closes({10, 11, 150000}));
  EXPECT_FALSE(ReadLine(node).valid);
  auto log = TDebugLog::Instance().TakePending();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(
      EndsWith(log[0], "EAssertionFailed: Assertion failure: Candles=3, SX=1, SXX=1, SY=21, SYY=221, SXY=11"))
      << log[0];
  Send(series, Flat(12));  // the bad close is still in the window
  EXPECT_FALSE(ReadLine(node).valid);
  Send(series, Flat(13));
  Send(series, Flat(14));
  EXPECT_TRUE(ReadLine(node).valid);
  EXPECT_DOUBLE_EQ(ReadLine(node).slope, 1);
}

TEST_F(Indicators, RegressionKeyCarriesMinutesBarsAndSymbol) {
  TLinearRegressionBase* node = Regression("KEY", 5, 0x0102);
  EXPECT_EQ(node->Key(),
            TDataNodeWithStringKey::MakeKey("TLinearRegressionBase", std::string("\x05\x02\x01\0\0KEY", 8)));
  EXPECT_EQ(node->Bars(), 0x0102);
  EXPECT_EQ(Regression("KEY", 5, 0x0102), node);
  EXPECT_NE(Regression("KEY", 6, 0x0102), node);
  for (const std::string& key :
       {std::string("\x05\x02\0\0", 4), std::string("\x00\x02\0\0\0KEY", 8),
        std::string("\x05\x01\0\0\0KEY", 8), std::string("\x05\xFF\xFF\xFF\xFFKEY", 8)}) {
    try {
      RunOnDataNodeThread([&] { TLinearRegressionBase::CreateFromKey(key); });
      ADD_FAILURE() << "accepted a key of " << key.size() << " characters";
    } catch (const EAssertionFailed& e) {
      EXPECT_STREQ(e.what(), "Assertion failure");
    }
  }
}

TEST_F(Indicators, EmaIsSeededWithTheOldestCloseOfTheSeries) {
  TStandardCandles* series = Series("EMA1", 5);
  TCounter counter;
  auto* ema = Node<TIntradayEma>(TGenericDataNodeFactory::Make<TIntradayEma>("EMA1", 5, 3), &counter);
  History(series, Closes({10, 12}));
  EXPECT_FALSE(Query([&] { return ema->IsValid(); }));
  EXPECT_EQ(Query([&] { return ema->GetDouble(); }), 0);
  Send(series, Flat(14));
  EXPECT_TRUE(Query([&] { return ema->IsValid(); }));
  EXPECT_DOUBLE_EQ(Query([&] { return ema->GetDouble(); }), 12.5);
  Send(series, Flat(10.5));
  EXPECT_DOUBLE_EQ(Query([&] { return ema->GetDouble(); }), 11.5);
  EXPECT_EQ(counter.hits, 3);  // once per series notification
}

TEST_F(Indicators, CciOfAKnownWindowAndOfIdenticalCandles) {
  TStandardCandles* series = Series("CCI1", 3);
  TFactoryRef factory = TCCI::MakeFactory(3, 3);
  factory->SetParam(kSymbolName, std::string("CCI1"));
  auto* cci = Node<TCCI>(factory);
  History(series, {Flat(50), Flat(1), Flat(2), Flat(3)});  // the first candle is outside the window
  EXPECT_TRUE(Query([&] { return cci->IsValid(); }));
  EXPECT_NEAR(Query([&] { return cci->GetDouble(); }), 100, 1e-12);  // (3 - 2) / 0.015 / (2/3)
  Send(series, Bar(4.2, 3.6, 3.9));                                  // typical price 3.9
  // Typical prices 2, 3, 3.9: mean 8.9 / 3, deviations 2.9 / 3, 0.1 / 3 and 2.8 / 3.
  EXPECT_NEAR(Query([&] { return cci->GetDouble(); }), (2.8 / 3) / 0.015 / (5.8 / 9), 1e-9);

  History(series, {Flat(448.37), Flat(448.37), Flat(448.37)});
  EXPECT_FALSE(Query([&] { return cci->IsValid(); }));
  EXPECT_EQ(Query([&] { return cci->GetDouble(); }), 0);
  auto log = TDebugLog::Instance().TakePending();
  ASSERT_EQ(log.size(), 1u);  // reported once per change, not per query
  EXPECT_TRUE(EndsWith(
      log[0], "Unexpected exception in TCCI.VerifyCurrent EZeroDivide: \"Floating point division by zero\""))
      << log[0];
}

TEST_F(Indicators, RsiOfRisingFlatAndMixedCloses) {
  struct TCase {
    const char* symbol;
    std::vector<TCandle> candles;
    double rsi;
  };
  const TCase cases[] = {
      {"RSIUP", Closes({10, 11, 12, 13, 14}), 100},
      {"RSIFLAT", Closes({10, 10, 10, 10}), 50},
      {"RSIDOWN", Closes({14, 13, 12, 11}), 0},
      {"RSIMIX", Closes({10, 11, 10, 12}), 75},                    // gains 1 + 2, losses 1, over 3 changes
      {"RSIFOLD", Closes({10, 11, 10, 12, 11}), 100 - 100 / 2.2},  // then a loss of 1 folded in
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.symbol);
    TStandardCandles* series = Series(c.symbol, 5);
    auto* rsi = Node<TRSI>(TGenericDataNodeFactory::Make<TRSI>(c.symbol, 5, 3));
    History(series, {c.candles.begin(), c.candles.begin() + 3});
    EXPECT_FALSE(Query([&] { return rsi->IsValid(); }));  // 3 bars need 4 candles
    for (auto it = c.candles.begin() + 3; it != c.candles.end(); ++it) Send(series, *it);
    EXPECT_TRUE(Query([&] { return rsi->IsValid(); }));
    EXPECT_NEAR(Query([&] { return rsi->GetDouble(); }), c.rsi, 1e-12);
  }
}

TEST_F(Indicators, RsiRecomputeIgnoresChangesBeforeItsWarmUp) {
  // With 3 bars and 20 candles the recompute starts at candle 20 - 3 - 1 - 9 = 7.
  std::vector<TCandle> calm = Wander(20, 30);
  std::vector<TCandle> wild = calm;
  for (int i = 0; i < 7; ++i) wild[i] = Flat(i % 2 ? 5 : 60);
  TStandardCandles* calmSeries = Series("RSICALM", 5);
  TStandardCandles* wildSeries = Series("RSIWILD", 5);
  auto* calmRsi = Node<TRSI>(TGenericDataNodeFactory::Make<TRSI>("RSICALM", 5, 3));
  auto* wildRsi = Node<TRSI>(TGenericDataNodeFactory::Make<TRSI>("RSIWILD", 5, 3));
  History(calmSeries, calm);
  History(wildSeries, wild);
  EXPECT_EQ(Query([&] { return calmRsi->GetDouble(); }), Query([&] { return wildRsi->GetDouble(); }));
  wild[7] = Flat(61);  // one candle later the difference shows
  History(wildSeries, wild);
  EXPECT_NE(Query([&] { return calmRsi->GetDouble(); }), Query([&] { return wildRsi->GetDouble(); }));
}

TEST_F(Indicators, RsiTellsItsListenersWhenItStopsBeingValid) {
  TStandardCandles* series = Series("RSINOTE", 5);
  TCounter counter;
  auto* rsi = Node<TRSI>(TGenericDataNodeFactory::Make<TRSI>("RSINOTE", 5, 3), &counter);
  History(series, Closes({1, 2}));
  EXPECT_EQ(counter.hits, 0);  // not valid before, not valid now
  History(series, Closes({1, 2, 3, 4}));
  EXPECT_EQ(counter.hits, 1);
  TStandardCandles::ResetCandles(*series);
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(counter.hits, 2);
  EXPECT_FALSE(Query([&] { return rsi->IsValid(); }));
  EXPECT_EQ(Query([&] { return rsi->GetDouble(); }), 0);
}

TEST_F(Indicators, UpCandlesCountTheRunBackFromTheLastCandle) {
  std::vector<TCandle> hundredUp{Bar(10, 9, 9.5), Bar(10, 9, 9.5)};
  for (int i = 1; i <= 100; ++i) hundredUp.push_back(Bar(10 + i, 9 + i, 9.5 + i));
  std::vector<TCandle> hundredAndOneUp = hundredUp;
  hundredAndOneUp.push_back(Bar(111, 110, 110.5));
  struct TCase {
    const char* name;
    std::vector<TCandle> candles;
    bool valid;
    std::int32_t value;
  };
  const TCase cases[] = {
      {"three up after neither",
       {Bar(10, 9, 9.5), Bar(11, 8, 9), Bar(12, 9, 10), Bar(13, 10, 11), Bar(14, 11, 12)},
       true,
       3},
      {"every candle up", {Bar(10, 9, 9.5), Bar(11, 10, 10), Bar(12, 11, 11)}, false, 0},
      {"two down after up",
       {Bar(10, 9, 9.5), Bar(11, 10, 10), Bar(10.5, 9.5, 10), Bar(10, 9, 9.5)},
       true,
       -2},
      {"last is neither", {Bar(10, 9, 9.5), Bar(11, 10, 10), Bar(12, 9, 10)}, true, 0},
      {"equal high is neither", {Bar(10, 9, 9.5), Bar(11, 10, 10), Bar(11, 10.5, 10.8)}, true, 0},
      {"one candle", {Bar(10, 9, 9.5)}, false, 0},
      {"a run of 100", hundredUp, true, 100},
      {"a run of 101", hundredAndOneUp, false, 0},
  };
  TStandardCandles* series = Series("UPC", 10);
  auto* up = Node<TUpCandles>(TGenericDataNodeFactory::Make<TUpCandles>("UPC", 10));
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    History(series, c.candles);
    EXPECT_EQ(Query([&] { return up->IsValid(); }), c.valid);
    EXPECT_EQ(Query([&] { return up->GetInteger(); }), c.value);
  }
}

TEST_F(Indicators, VwapWeighsTodaysPrintsAndSkipsSnapshots) {
  const TDateTime day = EncodeDateTime(2031, 5, 6, 8, 0);
  RunOnDataNodeThread([] { HandPrints("VWP"); });  // the print feed before its first reader
  auto* vwap = Node<TVWAP>(TGenericDataNodeFactory::Make<TVWAP>("VWP"));
  auto print = [&](double price, int size, TDateTime time, bool snapshot = false) {
    RunOnDataNodeThread([&] {
      TDataNode::SetCurrentTime(time);
      HandPrints("VWP").Print(price, size, time, snapshot);
    });
  };
  EXPECT_FALSE(Query([&] { return vwap->IsValid(); }));
  print(10.00, 100, day);
  print(10.40, 300, day + kOneMinute);
  print(50.00, 1000, day + 2 * kOneMinute, /*snapshot=*/true);
  EXPECT_TRUE(Query([&] { return vwap->IsValid(); }));
  EXPECT_DOUBLE_EQ(Query([&] { return vwap->GetDouble(); }), 10.30);
  print(11.00, 2000000000, day + 3 * kOneMinute);  // past 2^31 shares in the day
  print(11.00, 2000000000, day + 4 * kOneMinute);
  EXPECT_NEAR(Query([&] { return vwap->GetDouble(); }), (4120.0 + 44e9) / (400 + 4e9), 1e-9);
  print(12.00, 10, day + 1);  // the next day starts from nothing
  EXPECT_DOUBLE_EQ(Query([&] { return vwap->GetDouble(); }), 12.00);
}

TEST_F(Indicators, RegisteredNamesBuildTheirClassWithTheirMinutesAndBars) {
  RegisterIndicators();
  struct TCase {
    const char* name;
    int minutes;
    int candlesToBeValid;
  };
  const TCase cases[] = {{"CCI3", 3, 20},        {"RSI15", 15, 15},      {"UpCandles5", 5, 2},
                         {"UpCandles10", 10, 2}, {"UpCandles15", 15, 2}, {"UpCandles30", 30, 2}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string symbol = std::string("REG") + c.name;
    TFactoryRef factory = FindFactory(c.name)->Clone();
    factory->SetParam(kSymbolName, symbol);
    auto* node = Node<TGenericDataNode>(factory);
    ASSERT_NE(node, nullptr);
    TStandardCandles* series = Series(symbol, c.minutes);
    std::vector<TCandle> candles = Wander(c.candlesToBeValid, 20);
    candles.back() = Bar(100, 1, 50);  // neither up nor down: a value for up candles too
    History(series, {candles.begin(), candles.end() - 1});
    EXPECT_FALSE(Query([&] { return node->IsValid(); }));
    Send(series, candles.back());
    EXPECT_TRUE(Query([&] { return node->IsValid(); }));
  }
}

TEST_F(Indicators, ConstructorsCheckTheirParameters) {
  using F = TGenericDataNodeFactory;
  struct TCase {
    const char* name;
    TFactoryRef factory;
    const char* message;
  };
  const TCase cases[] = {
      {"EMA without bars", F::Make<TIntradayEma>("PAR", 5), "Expected params: (Symbol, Minutes/Bar, Bars)"},
      {"EMA of 0 bars", F::Make<TIntradayEma>("PAR", 5, 0), "Assertion failure"},
      {"CCI with four", F::Make<TCCI>("PAR", 5, 20, 1), "Expected params: (Symbol, Minutes/Bar, Bars)"},
      {"CCI of 2 bars", F::Make<TCCI>("PAR", 5, 2), "Assertion failure"},
      {"RSI without bars", F::Make<TRSI>("PAR", 5), "Expected params: (Symbol, Minutes/Bar, Bars)"},
      {"RSI of 2 bars", F::Make<TRSI>("PAR", 5, 2), "Assertion failure"},
      {"up candles with bars", F::Make<TUpCandles>("PAR", 5, 3), "Expected params: (Symbol, Minutes/Bar)"},
      {"up candles of 0 minutes", F::Make<TUpCandles>("PAR", 0), "Assertion failure"},
      {"VWAP with minutes", F::Make<TVWAP>("PAR", 5), "Assertion failure"},
  };
  const std::int32_t before = GenericNodeCount();
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      RunOnDataNodeThread([&] { c.factory->GetNode(); });
      ADD_FAILURE() << "built";
    } catch (const EAssertionFailed& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  EXPECT_EQ(GenericNodeCount(), before);
  EXPECT_NE(Node<TCCI>(F::Make<TCCI>("PAR", 5, 3)), nullptr);  // the smallest accepted
  EXPECT_NE(Node<TIntradayEma>(F::Make<TIntradayEma>("PAR", 5, 1)), nullptr);
}

}  // namespace
}  // namespace tarnwell
