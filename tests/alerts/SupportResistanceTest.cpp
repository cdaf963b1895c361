#include <gtest/gtest.h>

#include <vector>

#include "alerts/definitions/SupportResistanceAlerts.h"

namespace tarnwell {
namespace {

struct TLevelCase {
  const char* what;
  int direction;
  std::vector<double> prices;
  std::vector<std::pair<double, int>> levels;  // price, block index: farthest first
};

TEST(SupportOrResistanceAccumulator, KeepsTheLevelsStillStanding) {
  const TLevelCase cases[] = {
      {"a peak is a level once a lower block follows it", 1, {10, 12, 11}, {{12, 1}}},
      {"a rising run has no level", 1, {10, 11, 12, 13}, {}},
      {"a block beyond a level takes it down", 1, {10, 12, 11, 12.5}, {}},
      {"and every nearer one with it", 1, {10, 14, 11, 12, 11, 13}, {{14, 1}}},
      {"a lower peak stands nearer", 1, {10, 14, 11, 12, 11}, {{14, 1}, {12, 3}}},
      {"two peaks at one price keep one level", 1, {10, 12, 11, 12, 11}, {{12, 1}}},
      {"troughs make supports", -1, {10, 8, 9, 8.5, 9.5}, {{8, 1}, {8.5, 3}}},
  };
  for (const TLevelCase& c : cases) {
    SCOPED_TRACE(c.what);
    TSupportOrResistanceAccumulator accumulator(c.direction, 0.25);
    for (double price : c.prices) accumulator.AddPrice(price);
    std::vector<std::pair<double, int>> levels;
    for (const auto& level : accumulator.Levels()) levels.emplace_back(level.Price, level.BlockIndex);
    EXPECT_EQ(levels, c.levels);
    EXPECT_EQ(accumulator.Added(), static_cast<int>(c.prices.size()));
  }
}

TEST(SupportOrResistanceAccumulator, ARepeatedPeakRefreshesItsThresholdAndBreaksFindTheFarthestLevel) {
  TSupportOrResistanceAccumulator accumulator(1, 0.25);
  for (double price : {10.0, 14.0, 11.0, 12.0, 11.0}) accumulator.AddPrice(price);
  ASSERT_EQ(accumulator.Levels().size(), 2u);
  EXPECT_DOUBLE_EQ(accumulator.Levels()[1].Threshold, 11.75);
  EXPECT_FALSE(accumulator.IsBreak(12.0)) << "at the level is not beyond it";
  EXPECT_TRUE(accumulator.IsBreak(12.5));
  EXPECT_DOUBLE_EQ(accumulator.FindLevel(12.5)->Price, 12.0);
  EXPECT_DOUBLE_EQ(accumulator.FindLevel(15.0)->Price, 14.0) << "the farthest level passed";
  EXPECT_EQ(accumulator.FindLevel(11.5), nullptr);
}

}  // namespace
}  // namespace tarnwell
