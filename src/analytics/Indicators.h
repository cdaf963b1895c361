#pragma once
// Indicators over a symbol's candle series (regression, EMA, CCI, RSI, runs of up or down candles) and over
// its prints (VWAP). Each is a shared node, computed lazily: it keeps the series epoch it last used, folds in
// one candle when exactly one was appended since then, and recomputes from the whole list otherwise. All
// state belongs to the data node thread.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "analytics/Candles.h"
#include "framework/GenericNode.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

/// Registers "CCI3", "RSI15" and "UpCandles5" ... "UpCandles30". Module initialisation; a second call
/// changes nothing.
void RegisterIndicators();

/// What an indicator does with a series change.
enum TEpochStep {
  esNone,       ///< the epoch is the one last used
  esFold,       ///< exactly one candle was appended since then
  esRecompute,  ///< anything else: a reset, a new series, or more than one change since the last update
  esIgnore,     ///< the bar in progress changed; the completed candles did not
};

/// Follows a series' epoch for one consumer.
class TEpochFollower {
 public:
  /// The step owed to the series since the last call, taking its epoch.
  TEpochStep Take(const TStandardCandles& series);

 private:
  std::int32_t lastEpoch_ = 0;  // series epochs start at 1
};

/// Least-squares line through the last Bars closes of a series; x is a candle's index in the whole series.
/// Every query brings the node up to date with its series first.
class TLinearRegressionBase : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TLinearRegressionBase";
  /// Minutes per bar as one character, Bars as 4 little-endian bytes, then the symbol.
  static std::string KeyText(const std::string& symbol, int minutesPerBar, std::int32_t bars);
  /// Fails "Assertion failure" for a key of 4 characters or less, minutes 0 or Bars below 2.
  static TLinearRegressionBase* CreateFromKey(const std::string& keyText);
  /// The shared node and a new inactive link to `callback`, which runs after each series notification.
  static std::pair<TLinearRegressionBase*, TDataNodeLink*> Find(const std::string& symbol, int minutesPerBar,
                                                                std::int32_t bars, TCallback callback = {});

  bool IsValid();
  /// The sample standard deviation of the window's closes; 0 when not valid.
  double StdDev();
  /// Both 0 when not valid.
  void SlopeIntercept(double& slope, double& intercept);
  /// As SlopeIntercept, plus the line's value at the last candle of the series.
  void LineEnd(double& slope, double& intercept, double& endValue);
  std::int32_t Bars() const { return bars_; }

 private:
  friend class TDataNode;
  TLinearRegressionBase(const std::string& symbol, int minutesPerBar, std::int32_t bars);
  void OnSeries();
  void Update();
  void Full(const std::vector<TCandle>& candles);
  void Add(const std::vector<TCandle>& candles, std::int32_t index, double sign);
  std::string DescribeSums() const;

  TStandardCandles* series_;
  TEpochFollower epoch_;
  std::int32_t bars_;
  bool valid_ = false;
  std::int32_t terms_ = 0;  // candles in the sums: Bars, except part-way through a failed recompute
  std::int32_t folds_ = 0;  // candles folded in since the sums were last built from the window
  // The sums run over x - originX and y - originY: the line and the spread do not change with the origin,
  // and sums of small numbers keep the digits that sums of whole indexes and prices cancel away.
  double originX_ = 0;
  double originY_ = 0;
  double sx_ = 0, sxx_ = 0, sy_ = 0, syy_ = 0, sxy_ = 0;
};

/// What the bar-based generic indicators share: the series of (Symbol, Minutes/Bar) and its epoch.
class TCandleIndicator : public TGenericDataNode {
 protected:
  struct TParams {
    std::string symbol;
    int minutesPerBar;
    std::int32_t bars;  ///< 0 for classes without Bars
  };
  /// (Symbol, Minutes/Bar, Bars) with Bars of at least `minBars`, checked before anything is linked.
  static TParams BarParams(const TParamList& params, std::int32_t minBars);
  /// (Symbol, Minutes/Bar).
  static TParams SeriesParams(const TParamList& params);

  /// Links the series to OnSeries.
  explicit TCandleIndicator(const TParams& params);
  virtual void OnSeries() { NotifyListeners(); }

  TStandardCandles* series_;
  TEpochFollower epoch_;
};

/// (Symbol, Minutes/Bar, Bars): exponential average of closes, seeded with the oldest close of the series.
class TIntradayEma final : public TCandleIndicator {
 public:
  static constexpr const char* kClassName = "TIntradayEma";
  explicit TIntradayEma(const TParamList& params);
  double GetDouble() override;
  bool IsValid() override;

 private:
  void OnSeries() override;
  void Update();

  std::int32_t bars_;
  double alpha_;
  bool valid_ = false;
  double value_ = 0;
};

/// (Symbol, Minutes/Bar, Bars): commodity channel index of the last candle over the last Bars candles.
class TCCI final : public TCandleIndicator {
 public:
  static constexpr const char* kClassName = "TCCI";
  explicit TCCI(const TParamList& params);
  /// A factory with the "Symbol Name" place holder, the minutes and the bars.
  static TFactoryRef MakeFactory(int minutesPerBar, int bars);
  double GetDouble() override;
  bool IsValid() override;

 private:
  void VerifyCurrent();

  std::int32_t bars_;
  bool valid_ = false;
  double value_ = 0;
};

/// (Symbol, Minutes/Bar, Bars): relative strength index with Wilder smoothing of close-to-close changes.
class TRSI final : public TCandleIndicator {
 public:
  static constexpr const char* kClassName = "TRSI";
  explicit TRSI(const TParamList& params);
  /// A factory with the "Symbol Name" place holder, the minutes and the bars.
  static TFactoryRef MakeFactory(int minutesPerBar, int bars);
  double GetDouble() override;
  bool IsValid() override;

 private:
  void OnSeries() override { Update(); }
  void Update();
  void Invalidate();
  void Full(const std::vector<TCandle>& candles);
  void Fold(double change);

  std::int32_t bars_;
  bool valid_ = false;
  double avgGain_ = 0;
  double avgLoss_ = 0;
  double value_ = 0;
};

/// (Symbol, Minutes/Bar): how many candles in a row, back from the last, rose (positive) or fell
/// (negative) in both high and low; 0 when the last did neither. Not valid while the run reaches the start
/// of the series or passes 100 candles.
class TUpCandles final : public TCandleIndicator {
 public:
  static constexpr const char* kClassName = "TUpCandles";
  explicit TUpCandles(const TParamList& params);
  std::int32_t GetInteger() override;
  bool IsValid() override;

 private:
  void Update();

  bool valid_ = false;
  std::int32_t value_ = 0;
};

/// (Symbol): today's volume-weighted average price of the prints (snapshots excluded).
class TVWAP final : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TVWAP";
  explicit TVWAP(const TParamList& params);
  /// 0 when not valid.
  double GetDouble() override;
  /// Some volume traded today.
  bool IsValid() override { return totalVolume_ > 0; }

 private:
  void OnQuote() { CheckDay(); }
  void OnPrint();
  void CheckDay();

  double day_ = -1;
  // 64 bits: a heavily traded symbol passes 2^31 shares in a day.
  std::int64_t totalVolume_ = 0;
  double priceVolume_ = 0;
  TGenericTosDataNode* tos_;
};

}  // namespace tarnwell
