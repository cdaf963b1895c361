#pragma once
// Locked and crossed markets: a quote whose bid equals its ask, or stands above it, after a stretch of normal
// market; the crossed market also told by the side on which the listing exchange stands.

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

/// Registers "MarketLocked", "MarketCrossed", "MarketCrossedUp" and "MarketCrossedDown".
void RegisterLockedCrossedAlerts();

}  // namespace tarnwell
