#pragma once
// Consolidation and channels: a channel is a stretch of the newest volume blocks whose prices stay unusually
// close together for the symbol's volatility. One shared channel node per symbol finds the best such stretch
// after every block; the alerts report consolidation while it lasts, breakouts of it seen on the quote,
// breakouts and fast runs confirmed by the next blocks, and a value measures the strength of the trend.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"
#include "marketdata/VolumeBlocks.h"

namespace tarnwell {

struct TChannelState {
  bool Valid = false;
  bool HasRange = false;  ///< Valid and Top > Bottom
  double Score = 0;       ///< 10 - 20 x the tightness ratio; at least 2 when Valid
  double Top = 0;
  double Bottom = 0;
  std::int32_t Shares = 0;
  std::int32_t Blocks = 0;
  TDateTime StartTime = 0;
  TDateTime ComputedAt = 0;
};

/// The best channel of the newest blocks (at least seven). Only Valid and HasRange are cleared when there is
/// none: the rest keeps the last channel found.
void ComputeChannel(const TVolumeBlocks& blocks, double tickVolatility, std::int32_t blockVolume,
                    TDateTime now, TChannelState& state);

/// A move between two prices n blocks apart, in the symbol's volatilities.
double ChannelSpeed(std::int32_t blocks, double older, double newer, double tickVolatility);

/// Channel updates to skip after reporting a channel of that many blocks: 0 up to 8, 1 up to 16, 2 up
/// to 32...
std::int32_t ConsolidationCountdown(std::int32_t blocks);

/// The symbol's channel, recomputed at every block; listeners read the last three states.
class TChannel : public TDataNodeWithStringKey {
 public:
  static constexpr const char* kKeyClass = "TChannel";
  static TChannel* CreateFromKey(const std::string& symbol) { return Create<TChannel>(symbol); }
  static std::pair<TChannel*, TDataNodeLink*> Find(const std::string& symbol, TCallback callback = {}) {
    return FindOrCreate<TChannel>(symbol, std::move(callback));
  }
  explicit TChannel(const std::string& symbol);

  const TChannelState& Current() const { return current_; }
  const TChannelState& Previous() const { return previous_; }
  const TChannelState& BeforePrevious() const { return beforePrevious_; }
  TNormalVolumeBreakBars& Bars() const { return *bars_; }
  /// The symbol's tick volatility when it is usable (0.001 or more).
  std::optional<double> Volatility() const;

 private:
  void OnBlocks();
  TNormalVolumeBreakBars* bars_;
  TGenericDataNode* volatility_;
  TChannelState current_, previous_, beforePrevious_;
};

/// (Symbol): the channel while it lasts, less often the longer it is.
class TConsolidation : public TAlert {
 public:
  static constexpr const char* kClassName = "TConsolidation";
  explicit TConsolidation(const TParamList& params);

 private:
  void OnChannel();
  TChannel* channel_;
  std::int32_t countdown_ = 0;
  TChannelState lastReported_;
};

/// Runs confirmed by volume: (Symbol, Up, BreakoutRequired). With BreakoutRequired, only the block that
/// leaves a channel fast enough; without, any fast run of the newest blocks not reported before.
class TRunningConfirmed : public TAlert {
 public:
  static constexpr const char* kClassName = "TRunningConfirmed";
  explicit TRunningConfirmed(const TParamList& params);

  /// A run from block j at speed r is news unless a run reported since j was at least as fast.
  static bool IsNewRun(const std::vector<std::pair<std::int32_t, double>>& reported, std::int32_t j,
                       double r);

 private:
  void OnChannel();
  /// The slower of the hi and lo moves from block `older` to `newer`, in the alert's direction.
  double Speed(const TVolumeBlocks& blocks, std::size_t older, std::size_t newer, double volatility) const;

  bool up_;
  bool breakoutRequired_;
  bool justBrokeOut_ = false;
  TChannel* channel_;
  std::vector<std::pair<std::int32_t, double>> reported_;  // block index, speed
};

/// (Symbol): the quote leaving the channel upward (TChannelBreakout) or downward (TChannelBreakdown).
class TChannelBreak : public TAlert {
 public:
  TChannelBreak(const TParamList& params, bool up);

 private:
  void OnChannel();
  void OnQuote();
  void OnPrint();
  /// A quote with both sides and the bid below the ask.
  const TL1Data* Quote() const;
  bool Beyond(double a, double b) const { return up_ ? a > b : a < b; }

  bool up_;
  TGenericL1DataNode* l1_;
  TGenericTosDataNode* tos_;
  TChannel* channel_;
  bool armed_ = false;
  double breakLevel_ = 0;
  bool haveChannel_ = false;
  TDateTime lastReportTime_ = 0;
};

class TChannelBreakout : public TChannelBreak {
 public:
  static constexpr const char* kClassName = "TChannelBreakout";
  explicit TChannelBreakout(const TParamList& params) : TChannelBreak(params, true) {}
};

class TChannelBreakdown : public TChannelBreak {
 public:
  static constexpr const char* kClassName = "TChannelBreakdown";
  explicit TChannelBreakdown(const TParamList& params) : TChannelBreak(params, false) {}
};

/// The fastest run into the newest block, in volatilities (8 x speed - 9), for up (or down) trends.
double TrendStrength(const TVolumeBlocks& blocks, double tickVolatility, bool up);

/// (Symbol, Up): the trend strength as a value.
class TTrendStrength : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TTrendStrength";
  explicit TTrendStrength(const TParamList& params);
  bool IsValid() override;
  double GetDouble() override;

 private:
  void OnBlocks();
  void OnVolatility();
  void Reset();
  /// Brings the value up to the current blocks.
  void Refresh();

  TNormalVolumeBreakBars* bars_;
  TGenericDataNode* volatility_;
  bool up_;
  double value_ = 0;
  bool valid_ = false;
  std::int32_t blockCountUsed_ = 0;
};

/// Registers "Consolidation", the confirmed runs and breakouts, the channel breaks and the trend strengths.
void RegisterConsolidationAlerts();

}  // namespace tarnwell
