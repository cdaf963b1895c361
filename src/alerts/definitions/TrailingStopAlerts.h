#pragma once
// Trailing stops: how far a stock has moved from the start of its current run, reported at each new step of
// the move, the step being a quarter percent of the price or a quarter of the symbol's tick volatility. A
// run's start is forgotten when the price falls back to it; a new one is recorded after a pullback.

#include <cstdint>
#include <string>
#include <vector>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

/// (Symbol, Down).
class TTrailingStop : public TAlert {
 public:
  explicit TTrailingStop(const TParamList& params);

  /// The largest power of two that divides steps (1 for an odd number); 0 when steps is not positive.
  static std::int32_t PowerOfTwo(std::int64_t steps);

 protected:
  /// One step of a run that started at the price.
  virtual double StepSize(double price) = 0;
  virtual std::string DescribeMove(std::int64_t steps, double move) = 0;
  /// The quality of a move whose step count is divisible by `power`, before the jitter.
  virtual double StepQuality(std::int32_t power) = 0;
  void Reset();

  int direction_;  // +1 up, -1 down

 private:
  struct TEntry {
    double StartPrice;
    TDateTime StartTime;
    double Target;  ///< the next price at which the move from this start is reported
  };
  void NewTosData();
  /// 1 at the level, 2 beyond it in the alert's direction, 0 behind it.
  int Side(double price, double level) const;

  TGenericTosDataNode* tos_;
  std::vector<TEntry> entries_;  // the starts still in use, oldest first
  bool initialized_ = false;
};

/// Steps of a quarter percent: "+1.25%", "-2%".
class TTrailingStopPercent : public TTrailingStop {
 public:
  static constexpr const char* kClassName = "TTrailingStopPercent";
  using TTrailingStop::TTrailingStop;
  static std::string DescribePercent(std::int64_t steps, bool down);

 private:
  double StepSize(double price) override { return price * 0.0025; }
  std::string DescribeMove(std::int64_t steps, double) override {
    return DescribePercent(steps, direction_ < 0);
  }
  double StepQuality(std::int32_t power) override { return power / 4.0; }
};

/// Steps of a quarter of the tick volatility: "+0.35".
class TTrailingStopSigma : public TTrailingStop {
 public:
  static constexpr const char* kClassName = "TTrailingStopSigma";
  explicit TTrailingStopSigma(const TParamList& params);

 private:
  void OnVolatility();
  double StepSize(double) override { return sigma_ / 2; }
  std::string DescribeMove(std::int64_t, double move) override { return FormatPrice(true, move); }
  double StepQuality(std::int32_t power) override { return power / 2.0; }

  double sigma_ = 0;
  TGenericDataNode* volatility_;
};

/// Registers the four "TTrailingStop..." alert types.
void RegisterTrailingStopAlerts();

}  // namespace tarnwell
