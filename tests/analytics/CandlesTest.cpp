#include "analytics/Candles.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "AnalyticsTestSupport.h"
#include "framework/DebugLog.h"
#include "framework/UserInterfaceThread.h"

namespace tarnwell {
namespace {

using testing::HandPrints;
using testing::MarketTime;
using testing::RunOnDataNodeThread;

using testing::TCounter;

// Each test trades its own day (market time only moves forward in a process) and, where the counter's
// history matters, its own bar width.
class Candles : public ::testing::Test {
 protected:
  void SetUp() override {
    TDataNodeThread::Instance().Flush();
    TDebugLog::Instance().TakePending();
  }
  void TearDown() override {
    TDataNodeThread::Instance().Flush();
    SetUseHistory(false);
  }

  struct TWatch {
    TStandardCandles* node;
    TOwnedLink link;
    TCounter counter;
  };
  static std::unique_ptr<TWatch> Watch(const std::string& symbol, int minutes) {
    auto watch = std::make_unique<TWatch>();
    RunOnDataNodeThread([&] {
      HandPrints(symbol);
      auto [node, link] = TStandardCandles::Find(symbol, minutes, TW_METHOD(&watch->counter, Hit));
      watch->node = node;
      watch->link.Reset(link);
      watch->link->SetReceiveInput(true);
    });
    return watch;
  }
  static void Print(const std::string& symbol, double price, int size, TDateTime time) {
    RunOnDataNodeThread([&] {
      MarketTime(time);
      HandPrints(symbol).Print(price, size, time);
    });
  }
  static void Minute(TDateTime time) {
    RunOnDataNodeThread([&] { MarketTime(time); });
  }
};

TEST_F(Candles, BarsAreBuiltFromPrintsAndClosedInTwoPhases) {
  const TDateTime base = testing::FreshTradingDay();
  auto day = [base](int minute, int second = 0) { return testing::SessionMinuteOf(base, minute, second); };
  Minute(day(0) - kOneMinute);  // before the open: no bar yet
  auto w = Watch("BLD", 3);
  Print("BLD", 10.0, 100, day(0) - 30 * kOneSecond);  // pre-market: ignored, no current bar
  Print("BLD", 10.5, 100, day(1, 10));                // created mid-session: the first bar starts here
  Print("BLD", 11.0, 50, day(1, 20));
  Print("BLD", 10.2, 25, day(2, 59));
  EXPECT_EQ(w->counter.hits, 0);  // prints change only the bar in progress
  Print("BLD", 12.0, 10, day(3));  // bar 1 starts: bar 0 closes
  EXPECT_EQ(w->counter.hits, 1);
  TCandleArray first = RunOnDataNodeThread([&] { return w->node->GetCandles(); });
  ASSERT_EQ(first->size(), 1u);
  EXPECT_EQ(first->at(0), (TCandle{10.5, 11.0, 10.2, 10.2, 175}));
  EXPECT_EQ(w->node->LastTransition(), ltNewCandle);
  EXPECT_EQ(RunOnDataNodeThread([&] { return w->node->GetCandles(); }), first);  // the same object

  // A print stamped before the current minute is late and dropped; one exactly at its start counts.
  Print("BLD", 13.0, 10, day(4));
  RunOnDataNodeThread([&] {
    HandPrints("BLD").Print(99.0, 1, day(4) - kOneSecond);
    HandPrints("BLD").Print(12.5, 5, day(4));
  });
  Print("BLD", 12.0, 1, day(6));
  TCandleArray second = RunOnDataNodeThread([&] { return w->node->GetCandles(); });
  ASSERT_EQ(second->size(), 2u);
  EXPECT_NE(second, first);
  EXPECT_EQ(second->at(1), (TCandle{12.0, 13.0, 12.0, 12.5, 25}));

  // A bar without prints starts the series again from nothing.
  std::int32_t epoch = w->node->Epoch();
  Minute(day(9));
  Minute(day(12));
  EXPECT_EQ(w->node->HistoricalCandleCount(), 0);
  EXPECT_EQ(w->node->LastTransition(), ltReset);
  EXPECT_GT(w->node->Epoch(), epoch);

  auto same = Watch("BLD", 3);
  auto other = Watch("BLD", 15);
  EXPECT_EQ(same->node, w->node);
  EXPECT_NE(other->node, w->node);
}

TEST_F(Candles, TheLastShortBarClosesWithTheSessionAndTheNextDayStartsAfresh) {
  const TDateTime base = testing::FreshTradingDay();
  auto day = [base](int d, int minute) { return testing::SessionMinuteOf(base + d - 4, minute); };
  Minute(day(4, 380));
  auto w = Watch("END", 7);
  Print("END", 20.0, 10, day(4, 385));  // bar 55 (minutes 385 to 389): 5 minutes long
  Print("END", 21.0, 10, day(4, 389));
  Minute(day(4, 390));  // 13:00: out of session
  TCandleArray candles = RunOnDataNodeThread([&] { return w->node->GetCandles(); });
  ASSERT_EQ(candles->size(), 1u);
  EXPECT_EQ(candles->at(0), (TCandle{20.0, 21.0, 20.0, 21.0, 20}));
  Print("END", 22.0, 10, day(5, 0));  // next day: skipped bars reset the series
  EXPECT_EQ(w->node->HistoricalCandleCount(), 0);
  EXPECT_EQ(w->node->LastTransition(), ltReset);
}

TEST_F(Candles, OvernightHistorySeedsNewSeriesUnlessTheCounterSawASession) {
  auto home = std::filesystem::temp_directory_path() / ("tarnwell_candles_" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  ::setenv("TARNWELL_HOME", home.c_str(), 1);
  std::ofstream(home / "SC_OvernightData.csv")
      << "Symbol,11,13,17\n"
      << "HIS,10.5:11:10:10.75:12000;10.75:11.2:10.6:11:9000,10.5:11:10:10.75:12000,10.5:11:10\n"
      << "OLD,,10.5:11:10:10.75:12000,\n";
  SetUseHistory(true);

  std::vector<TCandle> loaded = RunOnDataNodeThread([] { return TStandardCandles::LoadOvernightCandles("HIS", 11); });
  ASSERT_EQ(loaded.size(), 2u);
  EXPECT_EQ(loaded[0], (TCandle{10.5, 11, 10, 10.75, 12000}));
  EXPECT_EQ(loaded[1], (TCandle{10.75, 11.2, 10.6, 11, 9000}));
  EXPECT_TRUE(RunOnDataNodeThread([] { return TStandardCandles::LoadOvernightCandles("OLD", 11); }).empty());
  EXPECT_TRUE(TDebugLog::Instance().TakePending().empty());  // an empty cell is no error
  EXPECT_TRUE(RunOnDataNodeThread([] { return TStandardCandles::LoadOvernightCandles("HIS", 17); }).empty());
  auto log = TDebugLog::Instance().TakePending();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("Error reading standard candle data.  Symbol=HIS, MinutesPerBar=17, Classname=EConvertError:  "),
            std::string::npos)
      << log[0];

  // A counter of 11 minutes new today: the first bar appends after the history.
  const TDateTime base = testing::FreshTradingDay();
  auto day = [base](int d, int minute) { return testing::SessionMinuteOf(base + d - 1, minute); };
  Minute(day(1, 0) - kOneHour);
  auto fresh = Watch("HIS", 11);
  EXPECT_EQ(fresh->node->HistoricalCandleCount(), 2);
  EXPECT_EQ(fresh->node->LastTransition(), ltReset);
  Print("HIS", 11.1, 100, day(1, 0));
  Print("HIS", 11.3, 100, day(1, 11));
  EXPECT_EQ(fresh->node->HistoricalCandleCount(), 3);

  // A counter of 13 minutes that saw yesterday's session: today's first bar discards the history.
  TOwnedLink counter(TBarCounter::Find(13).second);  // keeps the counter when the series goes
  auto seen = Watch("OLD", 13);
  Print("OLD", 5.0, 1, day(1, 12));
  Minute(day(1, 390));
  seen.reset();
  RunOnDataNodeThread([] {});  // the series is gone; the counter stays out of session
  auto reloaded = Watch("OLD", 13);
  EXPECT_EQ(reloaded->node->HistoricalCandleCount(), 1);
  Print("OLD", 5.5, 1, day(2, 0));
  EXPECT_EQ(reloaded->node->HistoricalCandleCount(), 0);
  EXPECT_EQ(reloaded->node->LastTransition(), ltReset);
  std::filesystem::remove_all(home);
}

TEST_F(Candles, TestToolsReachTheSeriesThroughItsChannelAndScreensGetACopy) {
  auto w = Watch("DBG", 5);
  TStandardCandles::SetHistory(*w->node, {{1, 2, 0.5, 1.5, 10}, {1.5, 3, 1, 2, 20}});
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(w->counter.hits, 1);
  EXPECT_EQ(w->node->HistoricalCandleCount(), 2);
  EXPECT_EQ(w->node->LastTransition(), ltReset);
  TStandardCandles::SendCandle(*w->node, {2, 2.5, 1.9, 2.4, 5});
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(w->node->HistoricalCandleCount(), 3);
  EXPECT_EQ(w->node->LastTransition(), ltNewCandle);

  TScreenUpdater::Interface();  // made without a timer: this test beats by hand
  TPlainUserInterfaceThread ui;
  SetUserInterfaceThread(&ui);
  TCounter screen;
  auto [copy, copyLink] = TThreadSafeCandles::Find("DBG", 5, TW_METHOD(&screen, Hit));
  TOwnedLink hold(copyLink);
  hold->SetReceiveInput(true);
  testing::ScreenBeat(ui);
  EXPECT_EQ(screen.hits, 1);
  EXPECT_EQ(copy->Candles().size(), 3u);
  EXPECT_EQ(copy->Epoch(), w->node->Epoch());
  testing::ScreenBeat(ui);
  EXPECT_EQ(screen.hits, 1);  // nothing changed
  TStandardCandles::ResetCandles(*w->node);
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(copy->Candles().size(), 3u);  // until the beat
  testing::ScreenBeat(ui);
  EXPECT_TRUE(copy->Candles().empty());
  RunOnDataNodeThread([&] { hold.Reset(); });
  SetUserInterfaceThread(nullptr);
}

}  // namespace
}  // namespace tarnwell
