#pragma once
// Alerts on candle-based indicators: narrow-range candles, Woodie's CCI entries and PTS entry signals.

#include <cstdint>
#include <string>
#include <vector>

#include "alerts/Alert.h"
#include "analytics/Candles.h"
#include "analytics/Indicators.h"

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

/// (Symbol, Minutes Per Bar, Up): the PTS entry signal: the 3-bar EMA, the close and the 3-bar regression all
/// rising since the last candle, the short regression above the EMA and the 23-bar regression above both the
/// close and the short regression (all mirrored for down).
class TPtsEntrySignals : public TAlert {
 public:
  static constexpr const char* kClassName = "TPtsEntrySignals";
  explicit TPtsEntrySignals(const TParamList& params);

 private:
  void Evaluate();
  void UpdateReferences();
  /// The last completed candle's close; 0 without one.
  double LastClose();

  std::int32_t minutes_;
  bool up_;
  TStandardCandles* series_;
  TLinearRegressionBase* long_;
  TLinearRegressionBase* short_;
  TGenericDataNode* ema_;
  bool ready_ = false;
  bool signalOn_ = false;
  double refEma_ = 0, refClose_ = 0, refShort_ = 0;
  TDateTime lastReportTime_ = 0;
};

/// Registers "NR7-15", "WoodiesCciEntryUp3" / "WoodiesCciEntryDown3" and "PtsEntryUp5" ... "PtsEntryDown90".
void RegisterIndicatorAlerts();

}  // namespace tarnwell
