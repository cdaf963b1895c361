#pragma once
// Patterns of quotes and prints: prints outside the quote (or the specialist's quote), an offer stepping down
// one cent above the last trade, a specialist's spread opening wide, and the price drawing away from the
// VWAP.

#include <cstdint>
#include <string>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

class TAverageHistoricalData;
class TVendorRegionalBidAsk;

/// (Symbol, Above, SpecialistOnly): prints above (below) both sides of the quote, or of the specialist's
/// quote for NYSE and AMEX stocks; reports thin out within a burst.
class TTradingAboveBelow : public TAlert {
 public:
  static constexpr const char* kClassName = "TTradingAboveBelow";
  explicit TTradingAboveBelow(const TParamList& params);

 private:
  void OnFundamental();
  void OnPrint();
  bool Outside(double price, double bid, double ask) const;

  std::string symbol_;
  bool above_;
  bool specialistOnly_;
  bool listingKnown_ = false;
  TGenericFundamentalDataNode* fundamental_ = nullptr;
  TGenericTosDataNode* tos_ = nullptr;
  TGenericL1DataNode* l1_ = nullptr;
  TVendorRegionalBidAsk* regional_ = nullptr;
  std::int32_t count_ = 0;
  std::int32_t allowance_ = 0;
  TDateTime firstTime_ = 0;
  TDateTime lastReport_ = 0;
};

/// (Symbol): the third and later offers in a row, each lower, each a large size one cent above the last
/// trade.
class TSteppingDown : public TAlert {
 public:
  static constexpr const char* kClassName = "TSteppingDown";
  explicit TSteppingDown(const TParamList& params);
  /// The offer size that counts for a symbol of that average daily volume; 0: the symbol never reports.
  static std::int32_t Threshold(const std::string& symbol, std::int32_t averageDailyVolume);

 private:
  void Evaluate();
  void Restart();

  std::int32_t threshold_;
  TGenericTosDataNode* tos_ = nullptr;
  TGenericL1DataNode* l1_ = nullptr;
  bool qualified_ = false;
  TDateTime lastQualifiedTime_ = 0;
  std::int32_t count_ = 0;
  double lastAsk_ = 0;
};

/// (Symbol): the NYSE specialist's spread widening to half a dollar after more than 30 seconds narrow.
class TLargeSpread : public TAlert {
 public:
  static constexpr const char* kClassName = "TLargeSpread";
  explicit TLargeSpread(const TParamList& params);

 private:
  enum TSpread { spInvalid, spWide, spNarrow };
  void OnFundamental();
  void OnRegional();

  std::string symbol_;
  bool listingKnown_ = false;
  TGenericFundamentalDataNode* fundamental_ = nullptr;
  TVendorRegionalBidAsk* regional_ = nullptr;
  TSpread previous_ = spInvalid;
  TDateTime lastNotNarrowTime_ = 0;
};

/// (Symbol, Up): each new whole percent the last print stands above (below) the VWAP.
class TVwapDivergenceAlert : public TAlert {
 public:
  static constexpr const char* kClassName = "TVwapDivergenceAlert";
  explicit TVwapDivergenceAlert(const TParamList& params);

 private:
  void OnVwap();
  bool up_;
  TGenericTosDataNode* tos_;
  TGenericDataNode* vwap_;
  double last_ = 0;
};

/// (Symbol): prints coming at five times their usual rate for the time of day, or faster, within a
/// three-minute window; the quality is the multiple of the usual rate.
class TUnusualNumberOfPrints : public TAlert {
 public:
  static constexpr const char* kClassName = "TUnusualNumberOfPrints";
  explicit TUnusualNumberOfPrints(const TParamList& params);

 private:
  void OnPrint();
  /// The usual number of prints in a quarter hour of the slot; 0 when unknown or too few to judge.
  std::int32_t NormalPrints(int slot);

  TGenericTosDataNode* tos_;
  TAverageHistoricalData* averages_;
  TGenericDataNode* sharesPerPrint_;
  int slot_ = -1;
  TDateTime nextCheck_ = 0;
  std::int32_t unit_ = 0;
  std::int32_t countdown_ = 0;
  std::int32_t allowed_ = 0;
  std::int32_t count_ = 0;
  bool hit_ = false;
};

/// Registers "TradingAbove", "TradingBelow", their specialist forms, "SteppingDown", "LargeSpread" and the
/// VWAP divergences and "UnusualNumberOfPrints".
void RegisterQuotePatternAlerts();

}  // namespace tarnwell
