#pragma once
// Candlestick patterns and short-term movement. The pattern alerts judge the candle that has just completed
// in a standard candle series, measuring every size against one yardstick: the price range of the last 40
// candles, computed once per completed candle by a chart node shared by all patterns of a (symbol, width).
// The short-term values keep a ring of one-minute snapshots of the last price and the day's volume, and
// answer how far the price moved and how many shares traded over the last N minutes.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "alerts/Alert.h"
#include "analytics/Candles.h"
#include "framework/GenericNode.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

/// One per (symbol, minutes per bar): notifies when the series changed and holds 40 candles or more with a
/// range above zero. Data node thread.
class TStandardCandleChart : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TStandardCandleChart";
  static constexpr std::size_t kRangeCandles = 40;
  /// The key text is that of the candle series; an empty one fails "Assertion failure".
  static TStandardCandleChart* CreateFromKey(const std::string& keyText);
  /// The shared chart and a new inactive link to `callback` that the caller owns.
  static std::pair<TStandardCandleChart*, TDataNodeLink*> Find(const std::string& symbol, int minutesPerBar,
                                                               TCallback callback = {});

  TStandardCandleChart(const std::string& symbol, int minutesPerBar);

  TCandleArray Candles() { return candles_->GetCandles(); }
  /// The high-low range of the last 40 candles while the chart notifies; 0 at any other time.
  double RecentRange() const { return recentRange_; }
  bool HasRecentRange() const { return recentRange_ > 0; }
  int MinutesPerBar() const { return candles_->MinutesPerBar(); }
  /// The series' change counter: tells a listener whether the chart skipped a change of the series.
  std::int32_t SeriesEpoch() const { return candles_->Epoch(); }

 private:
  void CandlesChanged();

  TStandardCandles* candles_;
  double recentRange_ = 0;
};

/// What the pattern alerts share: (Symbol, Minutes / Bar, ...) and the chart of that width; Judge runs on
/// each chart notification.
class TCandlePatternAlert : public TAlert {
 protected:
  TCandlePatternAlert(const TParamList& params, std::size_t paramCount, const char* expected);
  /// `candles` holds 40 or more, the newest last; `range` is above zero.
  virtual void Judge(const std::vector<TCandle>& candles, double range) = 0;

  TStandardCandleChart* chart_;
  std::string symbol_;

 private:
  void ChartChanged();
};

/// "5 minute Dragonfly Doji", "... Gravestone Doji", "... Doji", "... Long-Legged Doji"; no quality.
class TDoji : public TCandlePatternAlert {
 public:
  static constexpr const char* kClassName = "TDoji";
  explicit TDoji(const TParamList& params);

 private:
  void Judge(const std::vector<TCandle>& candles, double range) override;
};

/// Prints leaving a tight run of candle bodies: "5 minute consolidation breakout" (or breakdown), "... with
/// follow through", "... with significant follow through"; quality: the distance beyond the edge.
class TTraditionalChannelBreak : public TCandlePatternAlert {
 public:
  static constexpr const char* kClassName = "TTraditionalChannelBreak";
  static constexpr int kMinimumCandles = 7;
  explicit TTraditionalChannelBreak(const TParamList& params);

 private:
  void Judge(const std::vector<TCandle>& candles, double range) override;
  void CandleStep(const std::vector<TCandle>* candles, double range);
  void CandleStepAtCreation() { CandleStep(nullptr, 0); }
  void NewPrint();

  TGenericTosDataNode* tos_;
  bool up_;
  bool hasChannel_ = false;
  double edge_ = 0;
  double step_ = 0;
  std::int32_t breakLevel_ = 0;
  std::int32_t prevBreakLevel_ = 0;
  std::int32_t seenEpoch_ = 0;  // the series' epoch at the last candle step
};

/// "Hammer" low in the recent range, "Hanging Man" high in it; quality: shadow and gap against the range.
class THammerOrHangingMan : public TCandlePatternAlert {
 public:
  static constexpr const char* kClassName = "THammerOrHangingMan";
  explicit THammerOrHangingMan(const TParamList& params);

 private:
  void Judge(const std::vector<TCandle>& candles, double range) override;
  bool isHammer_;
};

/// "Bullish Engulfing" / "Bearish Engulfing"; quality: body against the range, weighted by volume.
class TEngulfing : public TCandlePatternAlert {
 public:
  static constexpr const char* kClassName = "TEngulfing";
  explicit TEngulfing(const TParamList& params);

 private:
  void Judge(const std::vector<TCandle>& candles, double range) override;
  bool up_;
};

/// "Piercing Pattern" (Up) / "Dark Cloud Cover"; quality: bodies against the range, weighted by volume.
class TDarkCloudCoverOrPeircing : public TCandlePatternAlert {
 public:
  static constexpr const char* kClassName = "TDarkCloudCoverOrPeircing";
  explicit TDarkCloudCoverOrPeircing(const TParamList& params);

 private:
  void Judge(const std::vector<TCandle>& candles, double range) override;
  bool up_;
};

struct TMinuteSnapshot {
  double Price = 0;
  std::int32_t TotalVolume = 0;
};

/// Per symbol: the last price and the day's volume as they stood at the end of each of the last 30 clock
/// minutes; a minute without prints repeats the one before. Data node thread.
class TShortTermCandles : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TShortTermCandles";
  static constexpr int kSnapshots = 30;
  static TShortTermCandles* CreateFromKey(const std::string& symbol);
  static std::pair<TShortTermCandles*, TDataNodeLink*> Find(const std::string& symbol,
                                                            TCallback callback = {});

  explicit TShortTermCandles(const std::string& symbol);

  /// Closes the minutes that ended before the current data time. Readers call it before each read.
  void Advance();
  /// Depth 1 is the newest; a depth outside 1 to SnapshotCount fails "Assertion failure".
  const TMinuteSnapshot& GetSnapshot(int depth) const;
  int SnapshotCount() const { return snapshotCount_; }
  int Head() const { return head_; }
  /// Snapshots pushed since creation: changes whenever the ring does, even when Head comes round again.
  std::uint64_t PushCount() const { return pushCount_; }
  TDateTime LastPrintTime() const { return lastPrintTime_; }
  TDateTime NextBoundary() const { return nextBoundary_; }
  /// The symbol's current print, or null while the print node is not valid.
  const TTosData* CurrentPrint() const { return tos_->Current(); }

 private:
  void NewPrint();
  void Push(const TMinuteSnapshot& snapshot);

  TGenericTosDataNode* tos_;
  TMinuteSnapshot snapshots_[kSnapshots];
  int head_ = 0;
  int snapshotCount_ = 0;
  TMinuteSnapshot pendingSnapshot_;
  bool hasPending_ = false;
  std::int64_t nextBoundaryMs_ = 0;  // NextBoundary in whole milliseconds, 0 until the first advance
  TDateTime nextBoundary_ = 0;
  TDateTime lastPrintTime_ = 0;
  std::uint64_t pushCount_ = 0;
};

/// What the two short-term values share: (Symbol, Count) and the symbol's snapshot ring.
class TShortTermValue : public TGenericDataNode {
 protected:
  explicit TShortTermValue(const TParamList& params);
  /// The snapshot Count minutes back and the current print, when both exist (runs Advance first).
  bool Read(const TMinuteSnapshot*& then, const TTosData*& now);

  TShortTermCandles* candles_;
  int count_;
};

/// "TimedMovement5" ...: the last price less the price Count minutes ago; 0 while not valid.
class TTimedMovement : public TShortTermValue {
 public:
  static constexpr const char* kClassName = "TTimedMovement";
  explicit TTimedMovement(const TParamList& params);
  bool IsValid() override;
  double GetDouble() override;
};

/// "VolumeChange5" ...: shares traded over the last Count minutes; -1 while there is no snapshot that old.
class TVolumeChange : public TShortTermValue {
 public:
  static constexpr const char* kClassName = "TVolumeChange";
  explicit TVolumeChange(const TParamList& params);
  bool IsValid() override { return GetInteger() >= 0; }
  std::int32_t GetInteger() override;
};

/// "ShortTermCandlesDebug": the snapshot ring as text for the market view's debug column.
class TShortTermCandlesDebug : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TShortTermCandlesDebug";
  explicit TShortTermCandlesDebug(const TParamList& params);
  bool IsValid() override { return true; }
  std::string GetString() override { return text_; }

 private:
  void Update();

  TShortTermCandles* candles_;
  std::uint8_t lastHead_ = 255;
  std::uint64_t lastPushCount_ = 0;
  std::string text_;
};

/// Registers the 36 pattern alerts ("Doji-5" ... "DarkCloudCover-30"), "TimedMovement5" ...
/// "TimedMovement30", "VolumeChange5" ... "VolumeChange30" and "ShortTermCandlesDebug". Module
/// initialisation.
void RegisterCandlestickAlerts();

}  // namespace tarnwell
