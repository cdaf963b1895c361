#pragma once
// The quote itself: locked and crossed markets (a bid equal to or above the ask after a stretch of normal
// market, the cross also told by the listing exchange's side), and NYSE arbitrage (the NYSE's quote and the
// best regional quote crossing in the level-2 book, so that shares could be bought on one and sold on the
// other).

#include <cstdint>
#include <string>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

/// (Symbol): a condition of the quote reported when it begins after more than five minutes of normal market.
class TLockedOrCrossed : public TAlert {
 public:
  explicit TLockedOrCrossed(const TParamList& params);

 protected:
  /// 1 normal, 2 the watched condition, 3 crossed (for the locked alert).
  virtual std::uint8_t Classify(const TL1Data& quote) = 0;
  virtual void ReportCondition() = 0;
  /// Whether the condition is reported again while it lasts.
  virtual bool ShouldRepeat() { return false; }

  TGenericL1DataNode* l1_;

 private:
  void Update();
  // 0 no usable quote, 1 normal, 2 the condition, 3 crossed from a state other than normal, 4 crossed
  // straight from normal (counts as normal).
  std::uint8_t state_ = 0;
  TDateTime lastChange_ = 0;
};

class TMarketLocked : public TLockedOrCrossed {
 public:
  static constexpr const char* kClassName = "TMarketLocked";
  using TLockedOrCrossed::TLockedOrCrossed;

 private:
  std::uint8_t Classify(const TL1Data& quote) override;
  void ReportCondition() override { ReportAlert("Market Locked"); }
};

/// A crossed quote, with the amount as quality; again whenever the amount passes the last one reported.
class TMarketCrossedBase : public TLockedOrCrossed {
 public:
  static constexpr const char* kClassName = "TMarketCrossedBase";
  explicit TMarketCrossedBase(const TParamList& params);
  /// 0 down (the bid on the listing exchange), 1 up (the ask there), 2 neither.
  std::uint8_t Direction() const { return direction_; }

 private:
  std::uint8_t Classify(const TL1Data& quote) override;
  bool ShouldRepeat() override { return amount_ > lastReportedAmount_; }
  void ReportCondition() override;

  TGenericFundamentalDataNode* fundamental_;
  double lastReportedAmount_ = 1.7e308;
  double amount_ = 0;
  std::uint8_t direction_ = 2;
};

/// (Symbol, Type): the crossed markets of one direction.
class TMarketCrossedSelector : public TAlert {
 public:
  static constexpr const char* kClassName = "TMarketCrossedSelector";
  explicit TMarketCrossedSelector(const TParamList& params);

 private:
  void OnCrossed();
  std::int32_t type_;
  TMarketCrossedBase* crossed_;
};

/// (Symbol): the arbitrage opportunity of a symbol's book, shared by the arbitrage alerts. Valid while one
/// exists; its string is the opportunity in words.
class TNyseArbBase : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TNyseArbBase";
  explicit TNyseArbBase(const TParamList& params);
  std::string GetString() override { return description_; }
  bool IsValid() override { return valid_; }
  /// The size that can be traded times the price difference.
  double Profit() const { return profit_; }

 private:
  void Update();
  TGenericLevel2DataNode* book_;
  bool valid_ = false;
  std::string description_;
  double profit_ = 0;
};

/// (Symbol): the start of each arbitrage opportunity, with its profit as quality.
class TNyseArb : public TAlert {
 public:
  static constexpr const char* kClassName = "TNyseArb";
  explicit TNyseArb(const TParamList& params);

 private:
  void OnArb();
  TNyseArbBase* arb_;
  bool reported_ = false;
};

/// (Symbol): the end of each arbitrage opportunity, with the range of its profit and how long it lasted.
class TNyseArbEnd : public TAlert {
 public:
  static constexpr const char* kClassName = "TNyseArbEnd";
  explicit TNyseArbEnd(const TParamList& params);

 private:
  void OnArb();
  TNyseArbBase* arb_;
  bool inArb_ = false;
  std::string firstDescription_;
  double highProfit_ = 0;
  double lowProfit_ = 0;
  TDateTime startTime_ = 0;
};

/// Registers "MarketLocked", "MarketCrossed", "MarketCrossedUp", "MarketCrossedDown", "NyseArb" and
/// "NyseArbEnd".
void RegisterLockedCrossedAlerts();

}  // namespace tarnwell
