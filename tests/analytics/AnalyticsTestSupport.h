#pragma once
// A print feed driven by hand for candle and indicator tests: a stand-in print node class installed behind
// the generic print node, and market time moved with the synchronized timer, as the fake data window does.

#include <algorithm>
#include <cmath>
#include <string>

#include "FrameworkTestSupport.h"
#include "HandFeed.h"
#include "framework/BarCounter.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell::testing {

/// The hand-driven print node of a symbol (installs the stand-in class first). Data node thread.
inline THandPrints& HandPrints(const std::string& symbol) {
  TGenericTosDataNode::SetImplementation<THandPrints>();
  return Hand<THandPrints>(symbol);
}

/// A session minute of a day: minute 0 is 06:30.
inline TDateTime SessionMinute(int year, int month, int day, int minute, int second = 0) {
  return EncodeDateTime(year, month, day, 6, 30) + minute * kOneMinute + second * kOneSecond;
}

/// A trading day later than any market time this process has seen, so that tests may run in any order
/// (market time only moves forward).
inline TDateTime FreshTradingDay() {
  static TDateTime last = EncodeDateTime(2031, 1, 1);
  last = std::max(last + 2, std::floor(TSynchronizedTimer::Instance().MinuteStart()) + 2);
  return last;
}

/// A session minute of a day given as a date (days since 1899-12-30).
inline TDateTime SessionMinuteOf(TDateTime day, int minute, int second = 0) {
  return day + 6.5 / 24 + minute * kOneMinute + second * kOneSecond;
}

/// Moves market time to `time`, as the first print of that minute would. Data node thread.
inline void MarketTime(TDateTime time) { TSynchronizedTimer::AdvanceTo(time); }

}  // namespace tarnwell::testing
