#include "marketdata/VolumeBlocks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "alerts/definitions/DayHistoryAlerts.h"
#include "framework/DebugLog.h"
#include "marketdata/FileData.h"

namespace tarnwell {
namespace {

using testing::RunOnDataNodeThread;

using testing::Hand;
using testing::TCounter;
using testing::THandPrints;
using testing::THandQuotes;

// A quote by hand: validity, open, high and low.
void Quote(const std::string& symbol, bool valid, double open, double high, double low) {
  THandQuotes& q = Hand<THandQuotes>(symbol);
  q.data.Open = open;
  q.data.High = high;
  q.data.Low = low;
  q.Publish(valid);
}

void Print(const std::string& symbol, double price, std::int32_t size, bool snapshot = false) {
  Hand<THandPrints>(symbol).Print(price, size, 0, snapshot);
}

class VolumeBlocks : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::InstallHandFeed();
    TDataNodeThread::Instance().Flush();
  }
  void TearDown() override {
    TDataNodeThread::Instance().Flush();
    testing::ClearFeedImplementations();
    SetUseHistory(false);
  }
};

TEST_F(VolumeBlocks, BlocksHoldAFixedVolumeAndThePricesWhereItTraded) {
  TVolumeBlockFactory factory(1000);
  TDateTime t = EncodeDateTime(2026, 5, 5, 7, 0);
  factory.AddPrint(400, t, 10.00);
  factory.AddPrint(400, t + kOneMinute, 10.10);
  factory.AddPrint(400, t + 2 * kOneMinute, 10.20);
  ASSERT_EQ(factory.GetCount(), 1);
  TVolumeBlock block = factory.GetBlocks()[0];
  EXPECT_EQ(block, (TVolumeBlock{10.20, 10.10, 10.10, 10.00, 10.00, t, t + 2 * kOneMinute}));
  factory.AddPrint(800, t + 3 * kOneMinute, 10.30);  // 200 at 10.20 carried over, then 800 at 10.30
  ASSERT_EQ(factory.GetCount(), 2);
  EXPECT_EQ(factory.GetBlocks()[1].Low, 10.20);
  EXPECT_EQ(factory.GetBlocks()[1].StartTime, t + 2 * kOneMinute);

  TVolumeBlockFactory big(1000);
  big.AddPrint(2500, t, 5.0);  // spills into the following blocks
  EXPECT_EQ(big.GetCount(), 2);
  big.AddPrint(499, t, 5.0);
  EXPECT_EQ(big.GetCount(), 2);
  big.AddPrint(1, t, 5.0);
  EXPECT_EQ(big.GetCount(), 3);

  TDebugLog::Instance().TakePending();
  TVolumeBlockFactory overflow(10);
  for (int i = 0; i < TVolumeBlockFactory::kMaxBlocks - 1; ++i) overflow.AddPrint(10, t, 1.0);
  EXPECT_EQ(overflow.GetCount(), TVolumeBlockFactory::kMaxBlocks - 1);
  overflow.AddPrint(10, t, 1.0);  // the 2048th block does not close: the factory stops for good
  EXPECT_EQ(overflow.GetCount(), 0);
  overflow.AddPrint(100, t, 1.0);
  EXPECT_EQ(overflow.GetCount(), 0);
  auto log = TDebugLog::Instance().TakePending();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_NE(log[0].find("Cutting off volume block list due to overflow."), std::string::npos);
}

TEST_F(VolumeBlocks, PeriodsAreFifteenMinuteSlicesOfTheSession) {
  struct Case {
    int h, m, s, ms;
    int period;
  } cases[] = {{6, 29, 59, 0, 0},  {6, 30, 0, 0, 1},  {6, 44, 59, 999, 1}, {6, 45, 0, 0, 2},
               {12, 59, 0, 0, 26}, {13, 0, 0, 0, 27}, {20, 0, 0, 0, 27}};
  for (const Case& c : cases) {
    EXPECT_EQ(PeriodOf(EncodeDateTime(2026, 5, 5, c.h, c.m, c.s, c.ms)), c.period) << c.h << ":" << c.m;
  }
}

TEST_F(VolumeBlocks, TheVolumeBreakChoosesTheBlockSizeAndSnapshotsNeverCount) {
  auto home = std::filesystem::temp_directory_path() / ("tarnwell_vb_" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  ::setenv("TARNWELL_HOME", home.c_str(), 1);
  std::ofstream(home / "OvernightData.csv") << "Symbol,Volume Break\nLOW,999\nVBK,1000\n/SL,20\n";
  std::ofstream(home / "VB_OvernightData.csv") << "Symbol,Vol\nVBK_1000,1:2:3:4:5:46000.1:46000.2;6:7:8:9:10:46001:46001.5\n";
  RegisterFileDataValues();
  SetUseHistory(true);

  struct Case {
    const char* symbol;
    std::int32_t expectedBreak;
  } cases[] = {{"LOW", 0}, {"VBK", 1000}, {"/SL", 20}};
  for (const Case& c : cases) {
    auto [bars, link] = TNormalVolumeBreakBars::Find(c.symbol);
    TOwnedLink hold(link);
    TDataNodeThread::Instance().Flush();
    EXPECT_EQ(bars->CurrentBreak(), c.expectedBreak) << c.symbol;
    if (c.expectedBreak == 0) {
      EXPECT_TRUE(RunOnDataNodeThread([&] { return bars->GetBlocks().empty(); }));
    }
  }

  TCounter counter;
  auto [bars, link] = TNormalVolumeBreakBars::Find("VBK", TW_METHOD(&counter, Hit));
  TOwnedLink hold(link);
  hold->SetReceiveInput(true);
  TDataNodeThread::Instance().Flush();
  EXPECT_EQ(bars->GetCount(), 2);  // yesterday's blocks from the history file
  RunOnDataNodeThread([&] {
    Print("VBK", 20.0, 5000, true);  // a snapshot adds nothing
    Print("VBK", 20.0, 999);
  });
  EXPECT_EQ(counter.hits, 0);
  RunOnDataNodeThread([&] { Print("VBK", 20.1, 1); });
  EXPECT_EQ(counter.hits, 1);
  EXPECT_EQ(RunOnDataNodeThread([&] { return bars->GetBlocks().size(); }), 3u);
  EXPECT_EQ(RunOnDataNodeThread([&] { return bars->GetBlocks()[0]; }),
            (TVolumeBlock{1, 2, 3, 4, 5, 46000.1, 46000.2}));
  std::filesystem::remove_all(home);
}

TEST_F(VolumeBlocks, RecentHighSurvivesResetsAndTheNewDayComesOnce) {
  RegisterDayHistoryAlerts();
  auto [high, highLink] = TRecentHighLow::Find("RHL", true);
  TOwnedLink holdHigh(highLink);
  TFactoryRef newDay = FindFactory("NewDay")->Clone();
  newDay->SetParam(kSymbolName, "RHL");
  TCounter reports;
  auto [alertNode, alertLink] = newDay->GetNode(TW_METHOD(&reports, Hit));
  TOwnedLink holdAlert(alertLink);
  holdAlert->SetReceiveInput(true);
  TDataNodeThread::Instance().Flush();

  RunOnDataNodeThread([] { Quote("RHL", true, 0, 10.5, 10.0); });
  EXPECT_DOUBLE_EQ(high->Value(), 10.5);
  RunOnDataNodeThread([] { Quote("RHL", true, 0, 0, 0); });  // a vendor reset
  EXPECT_DOUBLE_EQ(high->Value(), 10.5);
  RunOnDataNodeThread([] { Quote("RHL", false, 0, 0, 0); });
  EXPECT_DOUBLE_EQ(high->Value(), 10.5);
  EXPECT_TRUE(high->IsValid());
  EXPECT_EQ(reports.hits, 0);

  RunOnDataNodeThread([] { Quote("RHL", true, 0, 10.5, 10.0); });  // no open yet
  RunOnDataNodeThread([] { Quote("RHL", true, 10.2, 10.5, 10.0); });
  RunOnDataNodeThread([] { Quote("RHL", true, 10.2, 10.6, 10.0); });
  EXPECT_EQ(reports.hits, 1);
  auto* alert = static_cast<TAlert*>(alertNode);
  EXPECT_EQ(alert->GetString(), "New Day!");
  double quality = 0;
  EXPECT_TRUE(alert->GetQuality(quality));
  EXPECT_EQ(quality, 1);
}

TEST_F(VolumeBlocks, AveragesPerPeriodComeFromTheirFile) {
  auto home = std::filesystem::temp_directory_path() / ("tarnwell_avg_" + std::to_string(::getpid()));
  std::filesystem::create_directories(home);
  ::setenv("TARNWELL_HOME", home.c_str(), 1);
  std::ofstream(home / "V_OvernightData.csv") << "Symbol,Pre,1,2,27\nAVG,5000,12000,x,300\n";
  auto [avg, link] = TAverageHistoricalData::Find("AVG");
  TOwnedLink hold(link);
  auto [none, noneLink] = TAverageHistoricalData::Find("NONE");
  TOwnedLink holdNone(noneLink);
  EXPECT_TRUE(avg->HasData());
  EXPECT_EQ(avg->PreMarketVolume(), 5000);
  EXPECT_EQ(avg->PeriodVolume(1), 12000);
  EXPECT_EQ(avg->PeriodVolume(2), 0);  // not an integer
  EXPECT_EQ(avg->PeriodVolume(3), 0);  // no column
  EXPECT_EQ(avg->PeriodVolume(27), 300);
  EXPECT_FALSE(none->HasData());
  EXPECT_EQ(none->PeriodVolume(1), 0);
  std::filesystem::remove_all(home);
}

}  // namespace
}  // namespace tarnwell
