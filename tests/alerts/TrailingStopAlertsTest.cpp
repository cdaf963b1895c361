#include "alerts/definitions/TrailingStopAlerts.h"

#include <gtest/gtest.h>

#include "framework/Random.h"

namespace tarnwell {
namespace {

TEST(TrailingStop, MovesAreWrittenInQuarterPercentsAndWeighedByTheirRoundness) {
  const std::tuple<std::int64_t, bool, const char*> texts[] = {
      {2, false, "+0.5%"}, {3, false, "+0.75%"}, {4, false, "+1%"}, {5, false, "+1.25%"}, {8, true, "-2%"}};
  for (const auto& [steps, down, text] : texts)
    EXPECT_EQ(TTrailingStopPercent::DescribePercent(steps, down), text);
  const std::pair<std::int64_t, std::int32_t> powers[] = {{0, 0}, {-4, 0}, {1, 1},  {3, 1},
                                                          {2, 2}, {12, 4}, {16, 16}};
  for (const auto& [steps, power] : powers) EXPECT_EQ(TTrailingStop::PowerOfTwo(steps), power) << steps;
}

TEST(Random, DrawsFromZeroToOneAndRepeatsForASeed) {
  SeedRandom(7);
  std::vector<double> first;
  for (int i = 0; i < 1000; ++i) {
    first.push_back(UniformRandom());
    ASSERT_GE(first.back(), 0.0);
    ASSERT_LT(first.back(), 1.0);
  }
  SeedRandom(7);
  for (double drawn : first) ASSERT_EQ(UniformRandom(), drawn);
}

}  // namespace
}  // namespace tarnwell
