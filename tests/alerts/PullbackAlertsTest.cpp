#include "alerts/definitions/PullbackAlerts.h"

#include <gtest/gtest.h>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"

namespace tarnwell {
namespace {

using testing::Hand;
using testing::RunOnDataNodeThread;
using testing::TCounter;
using testing::THandPrints;
using testing::THandQuotes;

class Pullbacks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterPullbackAlerts(); }
  void SetUp() override {
    testing::InstallHandFeed();
    TDataNodeThread::Instance().Flush();
  }
  void TearDown() override {
    TDataNodeThread::Instance().Flush();
    clock::UseSystem();
  }

  static std::unique_ptr<testing::TNodeWatch> Watch(const char* name, const std::string& symbol) {
    return testing::WatchNode(name, symbol);
  }
  static TDateTime At(int h, int m, int s = 0) { return EncodeDateTime(2026, 8, 3, h, m, s); }
  static void Quote(const std::string& symbol, TDateTime time, double open, double high, double low,
                    double prevClose = 10.0) {
    clock::SetManual(time);
    RunOnDataNodeThread([&] {
      THandQuotes& q = Hand<THandQuotes>(symbol);
      q.data.Open = open;
      q.data.High = high;
      q.data.Low = low;
      q.data.PrevClose = prevClose;
      q.Publish();
    });
  }
  static void Print(const std::string& symbol, TDateTime time, double price) {
    clock::SetManual(time);
    RunOnDataNodeThread([&] { Hand<THandPrints>(symbol).Print(price, 100, time); });
  }
};

TEST_F(Pullbacks, ReportOnceAfterEachNewLowAndNeverInTheQuietStart) {
  auto pullback = Watch("PullbackFromLows25", "PBL");
  Quote("PBL", At(6, 20), 0, 0, 0);            // before the open: no open price yet
  Quote("PBL", At(6, 30), 9.80, 9.90, 9.70);   // the day starts
  Quote("PBL", At(7, 0), 9.80, 9.90, 9.00);    // a new low
  Print("PBL", At(7, 1), 9.24);
  EXPECT_EQ(pullback->counter.hits, 0);  // 24% of the way back to the close
  Print("PBL", At(7, 2), 9.26);
  ASSERT_EQ(pullback->counter.hits, 1);
  EXPECT_EQ(pullback->Alert().GetString(), "25% pullback from lows.");
  double quality = 0;
  ASSERT_TRUE(pullback->Alert().GetQuality(quality));
  EXPECT_NEAR(quality, 1.00, 1e-12);
  Print("PBL", At(7, 3), 9.50);
  EXPECT_EQ(pullback->counter.hits, 1);  // not again without a new low

  auto early = Watch("PullbackFromHighs75", "PBQ");
  Quote("PBQ", At(6, 20), 0, 0, 0);
  Quote("PBQ", At(6, 30), 10.20, 10.30, 10.10);
  Quote("PBQ", At(6, 30, 30), 10.20, 11.00, 10.10);  // a new high within the quiet start
  Print("PBQ", At(6, 31), 10.20);                    // 80% back: dropped, being quiet
  Print("PBQ", At(6, 33), 10.10);                    // and not taken up again later
  EXPECT_EQ(early->counter.hits, 0);
}

TEST_F(Pullbacks, CheckMarkIsHighLowHighAfterTheFirstMinutes) {
  auto mark = Watch("CheckMark", "CKM");
  auto inverted = Watch("InvertedCheckMark", "CKM");
  Quote("CKM", At(6, 40), 10.0, 10.5, 9.5);
  Quote("CKM", At(6, 41), 10.0, 10.6, 9.5);  // new high
  Quote("CKM", At(6, 42), 10.0, 10.6, 9.4);  // new low
  EXPECT_EQ(mark->counter.hits, 0);
  Quote("CKM", At(6, 43), 10.0, 10.7, 9.4);  // new high again
  ASSERT_EQ(mark->counter.hits, 1);
  EXPECT_EQ(mark->Alert().GetString(), "Check mark");
  double quality = 0;
  EXPECT_FALSE(mark->Alert().GetQuality(quality));
  EXPECT_EQ(inverted->counter.hits, 0);
  Quote("CKM", At(6, 44), 10.0, 10.7, 9.3);  // new low: low, high, low for the inverted one
  EXPECT_EQ(inverted->counter.hits, 1);
  EXPECT_EQ(inverted->Alert().GetString(), "Inverted check mark");

  auto early = Watch("CheckMark", "CKE");
  Quote("CKE", At(6, 30), 10.0, 10.5, 9.5);
  Quote("CKE", At(6, 31), 10.0, 10.6, 9.5);
  Quote("CKE", At(6, 31, 30), 10.0, 10.6, 9.4);
  Quote("CKE", At(6, 32), 10.0, 10.7, 9.4);
  EXPECT_EQ(early->counter.hits, 0);  // too early in the session
}

TEST_F(Pullbacks, DayRangeIsWhereTheLastPriceStands) {
  auto range = Watch("DayRange", "DRG");
  EXPECT_FALSE(RunOnDataNodeThread([&] { return range->node->IsValid(); }));
  Quote("DRG", At(8, 0), 10.5, 11, 10);
  Print("DRG", At(8, 0), 10.25);
  EXPECT_EQ(range->counter.hits, 2);  // both inputs pass their changes on
  EXPECT_DOUBLE_EQ(RunOnDataNodeThread([&] { return range->node->GetDouble(); }), 0.25);
  Quote("DRG", At(8, 1), 10.5, 10, 10);  // no range
  EXPECT_FALSE(RunOnDataNodeThread([&] { return range->node->IsValid(); }));
  EXPECT_EQ(RunOnDataNodeThread([&] { return range->node->GetDouble(); }), 0);
}

}  // namespace
}  // namespace tarnwell
