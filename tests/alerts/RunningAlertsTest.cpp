#include "alerts/definitions/RunningAlerts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "OvernightHome.h"
#include "marketdata/FileData.h"
#include "marketdata/NamedValues.h"

namespace tarnwell {
namespace {

using testing::Hand;
using testing::RunOnDataNodeThread;
using testing::TCounter;
using testing::THandPrints;
using testing::THandQuotes;

// Overnight files with each symbol's tick volatility and period averages, and a hand-driven feed.
class RunningAlerts : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterFileDataValues();
    RegisterNamedValues();
    RegisterRunningAlerts();
  }
  void SetUp() override {
    home_ = std::make_unique<testing::TOvernightHome>();
    home_->Write("OvernightData.csv", "Symbol,Tick Volatility\nRUN,0.447\nCALM,0.0005\n$IDX,0.447\nMID,0.1\n");
    home_->Write("V_OvernightData.csv", "Symbol,Pre,1,2\nRV,10000,40000,50000\n");
    testing::InstallHandFeed();
    TDataNodeThread::Instance().Flush();
  }
  void TearDown() override {
    home_.reset();
    testing::ClearFeedImplementations();
    clock::UseSystem();
  }

  static std::unique_ptr<testing::TNodeWatch> Watch(const char* name, const std::string& symbol) {
    return testing::WatchNode(name, symbol);
  }
  /// A quote at a time of the day: the job runs with that time as its current time.
  static void Quote(const std::string& symbol, TDateTime time, double bid, double ask) {
    clock::SetManual(time);
    RunOnDataNodeThread([&] {
      THandQuotes& q = Hand<THandQuotes>(symbol);
      q.data.BidPrice = bid;
      q.data.AskPrice = ask;
      q.Publish();
    });
  }

  std::unique_ptr<testing::TOvernightHome> home_;
};

// A day after the real one: the clock only moves forward, as it does in the program.
TDateTime At(int h, int m, int s = 0) { return EncodeDateTime(2027, 7, 6, h, m, s); }

TEST_F(RunningAlerts, RelativeVolumeInterpolatesTheNormalVolumeWithinTheSlot) {
  TFactoryRef factory = FindFactory("RelVol")->Clone();
  factory->SetParam(kSymbolName, "RV");
  auto [relVol, link] = factory->GetNode();
  TOwnedLink hold(link);
  clock::SetManual(At(6, 37, 30));
  RunOnDataNodeThread([] {
    THandPrints& p = Hand<THandPrints>("RV");
    p.data.TotalVolume = 60000;
    p.Publish();
  });
  EXPECT_TRUE(RunOnDataNodeThread([&] { return relVol->IsValid(); }));
  EXPECT_NEAR(RunOnDataNodeThread([&] { return relVol->GetDouble(); }), 2.0, 1e-12);  // 60000 / (10000 + 20000)
  clock::SetManual(At(6, 29));
  EXPECT_FALSE(RunOnDataNodeThread([&] { return relVol->IsValid(); }));  // before the open
  EXPECT_EQ(RunOnDataNodeThread([&] { return relVol->GetDouble(); }), 0);

  TFactoryRef noHistory = FindFactory("RelVol")->Clone();
  noHistory->SetParam(kSymbolName, "NOHIST");
  auto [none, noneLink] = noHistory->GetNode();
  TOwnedLink holdNone(noneLink);
  RunOnDataNodeThread([] {
    THandPrints& p = Hand<THandPrints>("NOHIST");
    p.data.TotalVolume = 1000;
    p.Publish();
  });
  clock::SetManual(At(7, 0));
  EXPECT_FALSE(RunOnDataNodeThread([&] { return none->IsValid(); }));
}

TEST_F(RunningAlerts, FastRunReportsWhenTheWholeSpreadPassesTheOldestBucket) {
  auto up = Watch("RunningUp", "RUN");
  auto down = Watch("RunningDown", "RUN");
  auto calm = Watch("RunningUp", "CALM");
  for (const char* symbol : {"RUN", "CALM"}) {
    for (int s = 0; s <= 60; s += 10) Quote(symbol, At(10, 0, s), 10.00, 10.05);
    Quote(symbol, At(10, 1, 10), 10.30, 10.35);
  }
  ASSERT_EQ(up->counter.hits, 1);
  EXPECT_EQ(up->Alert().GetString(), "Running up:  +0.30 in less than one minute.");
  double quality = 0;
  ASSERT_TRUE(up->Alert().GetQuality(quality));
  // (10.30 - 10.05) / (0.447 / sqrt 5), with 10 s of the bucket gone: F = 60 / (60 - 20).
  EXPECT_NEAR(quality, 0.25 / (0.447 / std::sqrt(5.0)) * 1.5 * 1.5, 1e-6);  // times are day fractions
  EXPECT_EQ(down->counter.hits, 0);
  EXPECT_EQ(calm->counter.hits, 0);  // too little volatility to judge

  Quote("RUN", At(10, 1, 15), 10.31, 10.36);  // the buckets now start from the new level
  EXPECT_EQ(up->counter.hits, 1);
}

TEST_F(RunningAlerts, IndexSymbolsRunOnPrints) {
  auto up = Watch("RunningUp", "$IDX");
  auto print = [](TDateTime time, double price) {
    clock::SetManual(time);
    RunOnDataNodeThread([&] { Hand<THandPrints>("$IDX").Print(price, 0, time); });
  };
  for (int s = 0; s <= 60; s += 15) print(At(11, 0, s), 100.00);
  print(At(11, 1, 5), 100.25);
  ASSERT_EQ(up->counter.hits, 1);
  EXPECT_EQ(up->Alert().GetString(), "Running up:  +0.25 in less than one minute.");
}

TEST_F(RunningAlerts, IntermediateRunScoresTheMoveFromAnEarlierTurningPoint) {
  auto up = Watch("RunningUpIntermediate", "MID");
  // Flat for two minutes, then a rise of a dollar: far beyond the volatility of 0.10.
  for (int s = 0; s <= 120; s += 10) Quote("MID", At(12, 0, s), 10.00, 10.01);
  EXPECT_EQ(up->counter.hits, 0);
  for (int s = 130; s <= 200; s += 10) Quote("MID", At(12, 0, 0) + s * kOneSecond, 11.00, 11.01);
  ASSERT_GE(up->counter.hits, 1);
  EXPECT_EQ(up->Alert().GetString().rfind("Running up: +1.00 in ", 0), 0u) << up->Alert().GetString();
  double quality = 0;
  ASSERT_TRUE(up->Alert().GetQuality(quality));
  EXPECT_GT(quality, 2);

  // Without a volatility the detector stays silent.
  auto silent = Watch("RunningUpIntermediate", "NOVOL");
  for (int s = 0; s <= 120; s += 10) Quote("NOVOL", At(12, 10, s), 10.00, 10.01);
  for (int s = 130; s <= 200; s += 10) Quote("NOVOL", At(12, 10, 0) + s * kOneSecond, 11.00, 11.01);
  EXPECT_EQ(silent->counter.hits, 0);
}

}  // namespace
}  // namespace tarnwell
