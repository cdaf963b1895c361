#include "alerts/definitions/ConsolidationAlerts.h"

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

TVolumeBlocks Blocks(std::initializer_list<double> prices) {
  TVolumeBlocks blocks;
  for (double price : prices) blocks.push_back({price, price, price, price, price, 0, 0});
  return blocks;
}

TEST(Channel, NeedsSevenTightBlocks) {
  TChannelState state;
  ComputeChannel(Blocks({10, 10, 10, 10, 10, 10}), 0.1, 1000, 0, state);
  EXPECT_FALSE(state.Valid) << "six blocks never make a channel";
  ComputeChannel(Blocks({10, 10, 10, 10, 10, 10, 10}), 0.1, 1000, 0, state);
  ASSERT_TRUE(state.Valid);
  EXPECT_FALSE(state.HasRange);
  EXPECT_EQ(state.Blocks, 7) << "on a tie the shorter channel stays";
  EXPECT_EQ(state.Shares, 7000);
  EXPECT_DOUBLE_EQ(state.Score, 10);

  // A ratio of 0.4 is the loosest channel there is (score 2): a range of 0.4 x sqrt(7) x volatility.
  const double edge = 0.4 * std::sqrt(7.0) * 0.5;
  ComputeChannel(Blocks({10, 10 + edge, 10, 10, 10, 10, 10}), 0.5, 1000, 0, state);
  ASSERT_TRUE(state.Valid);
  EXPECT_NEAR(state.Score, 2, 1e-9);
  EXPECT_TRUE(state.HasRange);
  ComputeChannel(Blocks({10, 10 + edge * 1.025, 10, 10, 10, 10, 10}), 0.5, 1000, 0, state);
  EXPECT_FALSE(state.Valid) << "a ratio of 0.41";
  EXPECT_NEAR(state.Score, 2, 1e-9) << "a lost channel keeps its last figures";

  ComputeChannel(Blocks({10, 10, 10, 10, 10, 10, 10}), 0.0009, 1000, 0, state);
  EXPECT_FALSE(state.Valid) << "no usable volatility";
}

TEST(Channel, ReportsLessOftenTheLongerItIs) {
  const std::pair<int, int> cases[] = {{7, 0}, {8, 0}, {9, 1}, {16, 1}, {17, 2}, {32, 2}, {33, 3}};
  for (const auto& [blocks, skipped] : cases) EXPECT_EQ(ConsolidationCountdown(blocks), skipped) << blocks;
}

TEST(RunningConfirmed, ARunIsNewUnlessOneAsFastWasReportedSinceItsStart) {
  const std::vector<std::pair<std::int32_t, double>> reported = {{3, 4.0}, {8, 2.0}};
  EXPECT_FALSE(TRunningConfirmed::IsNewRun(reported, 8, 2.0));
  EXPECT_TRUE(TRunningConfirmed::IsNewRun(reported, 8, 2.5));
  EXPECT_FALSE(TRunningConfirmed::IsNewRun(reported, 2, 3.0)) << "the run reported from block 3 was faster";
  EXPECT_TRUE(TRunningConfirmed::IsNewRun(reported, 9, 1.5)) << "nothing reported since block 9";
}

TEST(TrendStrength, TheFastestRunIntoTheNewestBlock) {
  // Up: each older block below every newer one counts: 10.6 one back (speed 2), 10.5 two back (2.12), 10.0
  // three back (0.8 / sqrt(3) / 0.1 = 4.62); 10.4 four back is above 10.0 and does not.
  const TVolumeBlocks blocks = Blocks({10.4, 10.0, 10.5, 10.6, 10.8});
  EXPECT_NEAR(TrendStrength(blocks, 0.1, true), 8 * (0.8 / std::sqrt(3.0) / 0.1) - 9, 1e-9);
  // Down: only the block just before counts (none older is above it), and the price rose from it: speed -2.
  EXPECT_NEAR(TrendStrength(blocks, 0.1, false), 8 * -2.0 - 9, 1e-9);
}

}  // namespace
}  // namespace tarnwell
