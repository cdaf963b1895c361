#include "alerts/definitions/CrossingAlerts.h"

#include <gtest/gtest.h>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "OvernightHome.h"
#include "alerts/Registration.h"

namespace tarnwell {
namespace {

using testing::Hand;
using testing::RunOnDataNodeThread;
using testing::TCounter;
using testing::THandPrints;
using testing::THandQuotes;

// A price level set by hand.
class TTestLevel : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TTestLevel";
  explicit TTestLevel(const TParamList&) {}
  bool IsValid() override { return value > 0; }
  double GetDouble() override { return value; }
  void Set(double v) {
    value = v;
    NotifyListeners();
  }
  double value = 0;
};

class Crossings : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::make_unique<testing::TOvernightHome>();
    home_->Write("OvernightData.csv", "Symbol,Volume Break\nCVB,1000\nCPV,1000\n");
    RegisterStandardFactories();
    testing::InstallHandFeed();
    TDataNodeThread::Instance().Flush();
  }
  void TearDown() override {
    home_.reset();
    testing::ClearFeedImplementations();
    clock::UseSystem();
  }

  static std::unique_ptr<testing::TNodeWatch> Watch(TFactoryRef factory) { return testing::WatchNode(factory); }
  static std::unique_ptr<testing::TNodeWatch> Watch(const char* name, const std::string& symbol) {
    return testing::WatchNode(name, symbol);
  }
  static TDateTime At(int h, int m, int s = 0) { return EncodeDateTime(2027, 9, 7, h, m, s); }
  static void Quote(const std::string& symbol, double open, double prevClose) {
    RunOnDataNodeThread([&] {
      THandQuotes& q = Hand<THandQuotes>(symbol);
      q.data.Open = open;
      q.data.PrevClose = prevClose;
      q.Publish();
    });
  }
  static void Print(const std::string& symbol, TDateTime time, double price, int size = 100) {
    clock::SetManual(time);
    RunOnDataNodeThread([&] { Hand<THandPrints>(symbol).Print(price, size, time); });
  }

  std::unique_ptr<testing::TOvernightHome> home_;
};

TEST_F(Crossings, FastCrossingsOfTheCloseReportTheTimeSinceTheLastOne) {
  auto above = Watch("CrossedAboveClose", "CCL");
  auto below = Watch("CrossedBelowClose", "CCL");
  clock::SetManual(At(9, 0));
  Quote("CCL", 19.50, 20.00);
  Print("CCL", At(9, 0), 19.95);
  Print("CCL", At(9, 1), 20.00);  // equal: still below
  EXPECT_EQ(above->counter.hits, 0);
  Print("CCL", At(9, 2), 20.05);
  ASSERT_EQ(above->counter.hits, 1);
  EXPECT_EQ(above->Alert().GetString(), "Price crossed above close:  20.00");
  double quality = 0;
  ASSERT_TRUE(above->Alert().GetQuality(quality));
  EXPECT_EQ(quality, 300);  // the first crossing of the symbol
  Print("CCL", At(9, 4, 30), 19.90);
  ASSERT_EQ(below->counter.hits, 1);
  EXPECT_EQ(below->Alert().GetString(), "Price crossed below close:  20.00");
  ASSERT_TRUE(below->Alert().GetQuality(quality));
  EXPECT_NEAR(quality, 150, 1e-3);  // seconds since the crossing above
  EXPECT_EQ(above->counter.hits, 1);
}

TEST_F(Crossings, FastCrossingsOfTheOpenNeedASideFirstAndAValidPrint) {
  auto above = Watch("CrossedAboveOpen", "COP");
  auto below = Watch("CrossedBelowOpen", "COP");
  clock::SetManual(At(9, 30));
  Print("COP", At(9, 30), 10.10);  // no quote yet: no level, no side
  Quote("COP", 10.00, 9.90);
  Print("COP", At(9, 31), 10.10);  // the first side seen: above
  EXPECT_EQ(below->counter.hits + above->counter.hits, 0);
  Print("COP", At(9, 32), 9.95);
  ASSERT_EQ(below->counter.hits, 1);
  EXPECT_EQ(below->Alert().GetString(), "Price crossed below open:  10.00");
  RunOnDataNodeThread([] { Hand<THandPrints>("COP").Publish(false); });  // prints gone: the side is forgotten
  Print("COP", At(9, 33), 10.05);
  EXPECT_EQ(above->counter.hits, 0);
  Print("COP", At(9, 34), 9.99);
  Print("COP", At(9, 35), 10.01);
  ASSERT_EQ(above->counter.hits, 1);
  EXPECT_EQ(above->Alert().GetString(), "Price crossed above open:  10.00");
}

TEST_F(Crossings, VolumeBlocksConfirmASideOnlyWhenThreeQuartersTradedBeyondTheLevel) {
  TFactoryRef levelFactory = TGenericDataNodeFactory::Make<TTestLevel>("CVB");
  auto above = Watch(TGenericDataNodeFactory::Make<TConfirmedCrossing>("CVB", levelFactory, "test level", true));
  auto [level, levelLink] = levelFactory->GetNode();
  TOwnedLink holdLevel(levelLink);
  auto* testLevel = static_cast<TTestLevel*>(level);
  RunOnDataNodeThread([&] { testLevel->Set(10.00); });
  Print("CVB", At(10, 0), 9.50, 1000);  // a block below: the side is below
  RunOnDataNodeThread([&] { testLevel->Set(10.40); });
  Print("CVB", At(10, 1), 10.35, 1000);  // within the level's range since the last block: undecided
  EXPECT_EQ(above->counter.hits, 0);
  Print("CVB", At(10, 2), 10.50, 1000);  // above every value the level took
  ASSERT_EQ(above->counter.hits, 1);
  EXPECT_EQ(above->Alert().GetString(), "Price crossed above test level (10.40).  Confirmed by volume.");

  auto open = Watch("CrossedAboveOpenConfirmed", "CPV");
  Quote("CPV", 10.20, 10.00);
  Print("CPV", At(10, 0), 10.00, 1000);  // below the open
  Print("CPV", At(10, 1), 10.10, 250);   // a block of 10.10 to 10.30 decides nothing
  Print("CPV", At(10, 1), 10.20, 500);
  Print("CPV", At(10, 1), 10.30, 250);
  EXPECT_EQ(open->counter.hits, 0);
  Print("CPV", At(10, 2), 10.40, 1000);  // the side was still below
  ASSERT_EQ(open->counter.hits, 1);
  EXPECT_EQ(open->Alert().GetString(), "Price crossed above open (10.20).  Confirmed by volume.");
}

}  // namespace
}  // namespace tarnwell
