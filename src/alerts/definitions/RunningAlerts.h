#pragma once
// Running alerts: a fast move of a stock in one direction, measured against its own volatility. The fast
// detector watches the inside quote in 30-second buckets; the intermediate one keeps a few turning points
// over up to 25 minutes and scores the move from each. Also "RelVol": today's volume against the normal
// volume up to this time of day.

#include <array>
#include <cstdint>
#include <string>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"
#include "marketdata/VolumeBlocks.h"

namespace tarnwell {

/// "RelVol": the day's volume divided by the normal volume up to now.
class TRelativeVolume : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TRelativeVolume";
  explicit TRelativeVolume(const TParamList& params);
  double GetDouble() override;
  /// After 06:30, with averages for the symbol, a valid volume and a normal volume above 0 by now.
  bool IsValid() override;

 private:
  void AveragesChanged();
  void BuildTable();
  /// The normal volume by the time of day of `now`; 0 before 06:30.
  double Expected(TDateTime now) const;

  TGenericDataNode* volume_;
  TAverageHistoricalData* averages_;
  std::array<std::int32_t, 28> expected_{};  // [1..27]: normal cumulative volume at each slot boundary
  bool tableReady_ = false;
};

/// The fast detector of one symbol and one price source; notifies only when it sees a run, with EventKind,
/// Move and EventQuality readable during the notification.
class TRunningCommon : public TDataNodeWithStringKey {
 public:
  enum TEventKind : std::uint8_t { ekNone = 0, ekUp = 1, ekDown = 2 };
  TEventKind EventKind() const { return eventKind_; }
  double Move() const { return move_; }
  double EventQuality() const { return eventQuality_; }

 protected:
  explicit TRunningCommon(const std::string& symbol);
  /// The low and high of the price source now; false when there are none.
  virtual bool GetQuotePrices(double& low, double& high) = 0;
  void PricesChanged();

 private:
  static TDateTime NextBoundary(TDateTime now);

  TEventKind eventKind_ = ekNone;
  double move_ = 0;
  double eventQuality_ = 0;
  TGenericDataNode* volatility_;
  bool initialized_ = false;
  double maxHigh_[3] = {};
  double minLow_[3] = {};
  double lowQuote_ = 0, highQuote_ = 0;
  TDateTime bucketEnd_ = 0;
};

/// Runs on the inside quote.
class TRunningCommonBBO : public TRunningCommon {
 public:
  static constexpr const char* kKeyClass = "TRunningCommonBBO";
  static TRunningCommonBBO* CreateFromKey(const std::string& symbol) { return Create<TRunningCommonBBO>(symbol); }
  explicit TRunningCommonBBO(const std::string& symbol);

 protected:
  bool GetQuotePrices(double& low, double& high) override;

 private:
  TGenericL1DataNode* l1_;
};

/// Runs on the last print (index symbols have no quote).
class TRunningCommonTosOnly : public TRunningCommon {
 public:
  static constexpr const char* kKeyClass = "TRunningCommonTosOnly";
  static TRunningCommonTosOnly* CreateFromKey(const std::string& symbol) {
    return Create<TRunningCommonTosOnly>(symbol);
  }
  explicit TRunningCommonTosOnly(const std::string& symbol);

 protected:
  bool GetQuotePrices(double& low, double& high) override;

 private:
  TGenericTosDataNode* tos_;
};

/// "RunningUp" / "RunningDown": "... in less than one minute."
class TRunning : public TAlert {
 public:
  static constexpr const char* kClassName = "TRunning";
  explicit TRunning(const TParamList& params);

 private:
  void Evaluate();
  bool up_;
  TRunningCommon* common_;
};

/// "RunningUpIntermediate" / "RunningDownIntermediate": a move scored from recent turning points.
class TIntermediateRunning : public TAlert {
 public:
  static constexpr const char* kClassName = "TIntermediateRunning";
  explicit TIntermediateRunning(const TParamList& params);

 private:
  struct TPivot {
    double Price = 0;
    TDateTime Time = 0;
    double BestScore = 0;
  };
  static constexpr int kMaxPivots = 7;

  void VolatilityChanged();
  void QuoteChanged();
  void PrintChanged();
  void Reset();
  bool Beyond(double a, double b) const { return up_ ? a > b : a < b; }
  double Dist(double a, double b) const { return up_ ? a - b : b - a; }
  /// The exit and entry sides of the quote; false when it is not usable.
  bool Sides(double& exit, double& entry) const;
  void StartPeriod(TDateTime now);
  void ClosePeriod(TDateTime now);
  void RemovePivot(int k);
  void Thin();
  void Evaluate(TDateTime now);

  bool up_;
  TGenericL1DataNode* l1_;
  TGenericTosDataNode* tos_;
  TGenericDataNode* volatilityNode_;
  std::array<TPivot, kMaxPivots> pivots_{};
  int pivotCount_ = 0;
  double bestExit_ = 0, bestEntry_ = 0;
  TDateTime bestTime_ = 0;
  double candidate_ = 0;
  TDateTime candidateTime_ = 0;
  bool candidateCurrent_ = false;
  TDateTime periodStart_ = 0;
  bool initialized_ = false;
  double volatility_ = 0;
};

/// Registers "RelVol", "RunningUp", "RunningDown", "RunningUpIntermediate", "RunningDownIntermediate".
void RegisterRunningAlerts();

}  // namespace tarnwell
