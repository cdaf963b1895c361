#pragma once
// The basic alerts: volume against its usual pace, gaps that reverse or retrace, block prints, short-term
// highs and lows, large quotes, the day's percent and volatility moves, and opening range breaks. Each
// watches one symbol's quote, prints, fundamentals or overnight values and reports on the transition into
// its condition; most stay quiet until a re-arm condition has been seen again.

#include <cstdint>
#include <string>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

class TNormalVolumeBreakBars;
class TAverageHistoricalData;

/// A completed volume block that traded faster than one and a half times the symbol's usual pace.
class THighVolume : public TAlert {
 public:
  static constexpr const char* kClassName = "THighVolume";
  explicit THighVolume(const TParamList& params);

 private:
  void OnBlocks();
  TNormalVolumeBreakBars* bars_;
  TAverageHistoricalData* averages_;
};

/// (Symbol): a gap alert, judged again on every quote of the symbol; one state of the day's quote arms
/// it and the next fires it.
class TGapAlert : public TAlert {
 public:
  explicit TGapAlert(const TParamList& params);

 protected:
  virtual void Evaluate() = 0;

  TGenericL1DataNode* l1_;
  bool armed_ = false;
};

/// A gap down whose high comes back above the previous close.
class TGapDownReversal : public TGapAlert {
 public:
  static constexpr const char* kClassName = "TGapDownReversal";
  using TGapAlert::TGapAlert;

 private:
  void Evaluate() override;
};

/// A gap up whose low comes back below the previous close.
class TGapUpReversal : public TGapAlert {
 public:
  static constexpr const char* kClassName = "TGapUpReversal";
  using TGapAlert::TGapAlert;

 private:
  void Evaluate() override;
};

/// A single print of at least 20000 shares (5000 for a thinly traded symbol), with where it traded.
class TBlockPrint : public TAlert {
 public:
  static constexpr const char* kClassName = "TBlockPrint";
  explicit TBlockPrint(const TParamList& params);

 private:
  void OnPrint();
  void ComputeThreshold();
  TGenericTosDataNode* tos_ = nullptr;
  TGenericL1DataNode* l1_ = nullptr;
  TGenericDataNode* averageVolume_ = nullptr;
  // Until the average volume has been read, only the size that is a block for every symbol counts.
  std::int32_t threshold_ = 20000;
};

/// A gap alert that is also judged again when the symbol's "TickVolatility" changes.
class TGapRetracementArc : public TGapAlert {
 public:
  explicit TGapRetracementArc(const TParamList& params);

 protected:
  TGenericDataNode* volatility_;
};

/// A gap up larger than the tick volatility that fell back toward the close and then crossed above its
/// open by more than the volatility.
class TGapRetracementArcUp : public TGapRetracementArc {
 public:
  static constexpr const char* kClassName = "TGapRetracementArcUp";
  using TGapRetracementArc::TGapRetracementArc;

 private:
  void Evaluate() override;
};

/// The mirror of TGapRetracementArcUp for a gap down.
class TGapRetracementArcDown : public TGapRetracementArc {
 public:
  static constexpr const char* kClassName = "TGapRetracementArcDown";
  using TGapRetracementArc::TGapRetracementArc;

 private:
  void Evaluate() override;
};

/// A print beyond the high (or low) of the previous period of Minutes minutes; once per period.
class IntraDayHighLow : public TAlert {
 public:
  static constexpr const char* kClassName = "IntraDayHighLow";
  explicit IntraDayHighLow(const TParamList& params);

 private:
  void OnPrint();
  bool Beyond(double price, double extreme) const { return highs_ ? price > extreme : price < extreme; }
  std::int64_t PeriodOfTime(TDateTime time) const;

  TGenericTosDataNode* tos_;
  bool highs_;
  std::int32_t minutes_;
  std::string description_;
  double current_ = 0;
  bool currentValid_ = false;
  double previous_ = 0;
  bool previousValid_ = false;
  bool reported_ = false;
  TDateTime lastPrintTime_ = 0;
};

/// A large size on one side of the quote after a while without one, then up to four follow-ups while it
/// grows or moves.
class TLargeBidOrAsk : public TAlert {
 public:
  static constexpr const char* kClassName = "TLargeBidOrAsk";
  explicit TLargeBidOrAsk(const TParamList& params);

 private:
  enum TPhase { phLarge, phGoneAfterLarge, phStart, phGoneAfterSmall, phSmall };
  void OnQuote();

  TGenericL1DataNode* l1_ = nullptr;
  bool bidSide_;
  std::int32_t threshold_ = 0;  // 0: the symbol never reports
  TPhase phase_ = phStart;
  TDateTime smallSince_ = 0;
  double lowPrice_ = 0;
  double highPrice_ = 0;
  std::int32_t maxSize_ = 0;
  std::int32_t reports_ = 0;
};

/// The day's high (or low) at each new whole percent from the previous close, from 3 % on.
class TPercentChangeForTheDay : public TAlert {
 public:
  static constexpr const char* kClassName = "TPercentChangeForTheDay";
  explicit TPercentChangeForTheDay(const TParamList& params);

 private:
  void OnQuote();
  TGenericL1DataNode* l1_;
  bool up_;
  std::int64_t day_ = 0;
  double best_ = 0;
  std::int32_t lastLevel_ = 0;
  bool wasValid_ = false;
};

/// The day's volume at each new whole multiple of the average daily volume.
class TStrongVolume : public TAlert {
 public:
  static constexpr const char* kClassName = "TStrongVolume";
  explicit TStrongVolume(const TParamList& params);

 private:
  void Refresh();
  void OnPrint();
  TGenericTosDataNode* tos_;
  TGenericDataNode* averageVolume_;
  std::int32_t averageDailyVolume_ = 0;
  bool enabled_ = false;
  bool armed_ = false;
  std::int32_t lastRatio_ = 0;
};

/// The first print beyond the range of the day's first Minutes minutes.
class TOpeningRangeBreak : public TAlert {
 public:
  static constexpr const char* kClassName = "TOpeningRangeBreak";
  explicit TOpeningRangeBreak(const TParamList& params);

 private:
  enum TExchangeKind { ekNone, ekNasdaq, ekNyse, ekIndex, ekOther };
  void OnFundamental();
  void OnPrint();

  TGenericTosDataNode* tos_ = nullptr;
  TGenericFundamentalDataNode* fundamental_ = nullptr;
  bool up_;
  std::int32_t minutes_;
  std::string description_;
  TExchangeKind exchange_ = ekNone;
  int stage_ = 0;  // 0 waiting for the opening print, 1 in the range, 2 done for the day
  TDateTime rangeEnd_ = 0;
  double extreme_ = 0;
  TDateTime resetTime_;
};

/// The day's high (or low) at each new whole standard deviation of the symbol's volatility.
class TBrightBands : public TAlert {
 public:
  static constexpr const char* kClassName = "TBrightBands";
  explicit TBrightBands(const TParamList& params);

 private:
  void VolatilityChanged();
  void Reset();
  void Evaluate();

  TGenericL1DataNode* l1_;
  TGenericDataNode* volatility_;
  bool up_;
  double volatilityValue_ = 0;
  std::int64_t day_ = 0;
  double best_ = 0;
  std::int32_t lastLevel_ = 0;
  bool wasValid_ = false;
};

/// Registers the 34 basic alert types under their catalogue names. Start-up, after the overnight values.
void RegisterBasicAlerts();

}  // namespace tarnwell
