#include "alerts/definitions/IndicatorAlerts.h"

#include <gtest/gtest.h>

namespace tarnwell {
namespace {

std::vector<TCandle> WithRanges(std::initializer_list<double> ranges) {
  std::vector<TCandle> candles;
  for (double range : ranges) candles.push_back({10, 10 + range, 10, 10, 100});
  return candles;
}

TEST(NarrowRange, CountsTheRunOfCandlesNarrowerThanTheirSixPredecessors) {
  EXPECT_EQ(NarrowRangeRun(WithRanges({1.0, 0.9, 0.8, 0.7, 0.6, 0.5})), 0) << "six candles: none has six before it";
  EXPECT_EQ(NarrowRangeRun(WithRanges({1.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4})), 1);
  EXPECT_EQ(NarrowRangeRun(WithRanges({1.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.3})), 2);
  EXPECT_EQ(NarrowRangeRun(WithRanges({1.0, 0.9, 0.8, 0.7, 0.6, 0.4, 0.4})), 0) << "an equal range is not wider";
  EXPECT_EQ(NarrowRangeRun(WithRanges({1.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.4, 0.45})), 0) << "the run ended";
}

}  // namespace
}  // namespace tarnwell
