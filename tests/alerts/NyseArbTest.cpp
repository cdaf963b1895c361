// NYSE arbitrage on level-2 books set by hand (no tape carries a book).
#include <gtest/gtest.h>

#include "HandFeed.h"
#include "alerts/definitions/LockedCrossedAlerts.h"

namespace tarnwell {
namespace {

using testing::Hand;
using testing::RunOnDataNodeThread;
using testing::THandBook;

class NyseArb : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterLockedCrossedAlerts(); }
  void SetUp() override { testing::InstallHandFeed(); }
  void TearDown() override {
    TDataNodeThread::Instance().Flush();
    testing::ClearFeedImplementations();
    clock::UseSystem();
  }
  static void Book(const std::string& symbol, int h, int m, int s, TL2EntryArray bids, TL2EntryArray asks) {
    clock::SetManual(EncodeDateTime(2026, 12, 9, h, m, s));
    RunOnDataNodeThread([&] {
      THandBook& book = Hand<THandBook>(symbol);
      book.bids = std::move(bids);
      book.asks = std::move(asks);
      book.Publish();
    });
  }
};

TEST_F(NyseArb, ReportsEachOpportunityOnceAndItsEnd) {
  testing::TProbe arb("NyseArb", "ARB");
  testing::TProbe end("NyseArbEnd", "ARB");
  // A regional bid of 1,000 at 10.10 over an NYSE ask of 500 at 10.05 (and no NYSE bid): buy on the NYSE.
  const TL2EntryArray bids = {{"PSE", 10.10, 1000}, {"NSDQ", 10.00, 300}};
  Book("ARB", 7, 0, 0, bids, {{"NYSE", 10.05, 500}, {"THRD", 10.20, 100}});
  Book("ARB", 7, 0, 5, bids, {{"NYSE", 10.05, 200}, {"THRD", 10.20, 100}});  // smaller: profit 10
  Book("ARB", 7, 0, 12, {{"NYSE", 10.00, 500}}, {{"PSE", 10.05, 500}});      // over
  const auto reports = arb.Take();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].Text, "Buy NYSE 500 @ 10.05 < 1,000 @ 10.10");
  EXPECT_NEAR(*reports[0].Quality, 25, 1e-9);
  const auto ended = end.Take();
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_EQ(ended[0].Text,
            "Arb Ended.  $10.00 - $25.00, 12.00 seconds.  \"Buy NYSE 500 @ 10.05 < 1,000 @ 10.10\"");
  EXPECT_FALSE(ended[0].Quality);

  // Selling on the NYSE, with the regional asks at the best price summed.
  Book("ARB", 7, 1, 0, {{"NYSE", 10.20, 2000}}, {{"THRD", 10.10, 1500}, {"PSE", 10.10, 1000}});
  const auto sell = arb.Take();
  ASSERT_EQ(sell.size(), 1u);
  EXPECT_EQ(sell[0].Text, "Sell NYSE 2,000 @ 10.20 > 2,500 @ 10.10");
  EXPECT_NEAR(*sell[0].Quality, 2000 * 0.10, 1e-6);
}

TEST_F(NyseArb, NoOpportunityOutsideTheFloorsHoursOrWithoutACrossedBook) {
  testing::TProbe arb("NyseArb", "ARC");
  const TL2EntryArray bids = {{"PSE", 10.10, 1000}}, asks = {{"NYSE", 10.05, 500}};
  Book("ARC", 12, 30, 0, bids, asks);                                  // after 12:28:48
  Book("ARC", 7, 0, 0, {{"PSE", 10.10, 1000}}, {{"NYSE", 10.05, 1}});  // a one-share NYSE quote is no quote
  Book("ARC", 7, 0, 1, {{"PSE", 10.00, 1000}}, asks);                  // the book is not crossed at the top
  EXPECT_TRUE(arb.Take().empty());
  Book("ARC", 7, 0, 2, bids, asks);
  EXPECT_EQ(arb.Take().size(), 1u);
}

}  // namespace
}  // namespace tarnwell
