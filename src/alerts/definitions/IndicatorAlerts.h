#pragma once
// Alerts on candle-based indicators: narrow-range candles and Woodie's CCI entries.

#include <cstdint>
#include <string>
#include <vector>

#include "alerts/Alert.h"
#include "analytics/Candles.h"

namespace tarnwell {

/// How many narrow-range candles in a row end the list: a candle is narrow when six candles precede it and
/// each of those six had a wider range.
std::int32_t NarrowRangeRun(const std::vector<TCandle>& candles);

/// (Symbol, Minutes / Bar): "NR7" at the first narrow-range candle, "NR7-2", "NR7-3", ... while they go on.
class TNR7 : public TAlert {
 public:
  static constexpr const char* kClassName = "TNR7";
  explicit TNR7(const TParamList& params);

 private:
  void OnCandles();
  TStandardCandles* series_;
};

/// (Symbol, Minutes Per Bar, Up): the CCI of 20 bars climbing back above -100 (up) or falling back below
/// +100.
class TWoodieCciBuySell : public TAlert {
 public:
  static constexpr const char* kClassName = "TWoodieCciBuySell";
  explicit TWoodieCciBuySell(const TParamList& params);

 private:
  /// 0 without a value, 2 in the extreme zone, 1 out of it.
  int Zone();
  void OnCci();

  bool up_;
  std::int32_t minutes_;
  TGenericDataNode* cci_;
  int previous_ = 0;
};

/// Registers "NR7-15" and "WoodiesCciEntryUp3" / "WoodiesCciEntryDown3".
void RegisterIndicatorAlerts();

}  // namespace tarnwell
