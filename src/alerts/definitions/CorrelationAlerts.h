#pragma once
// Correlation alerts: a stock's price against the price its related symbol (its sector, or the broad market
// fund "QQQQ") predicts from the related symbol's move. Each new whole percent beyond that expectation is
// reported, in the alert's direction.

#include <cstdint>
#include <string>

#include "alerts/Alert.h"
#include "marketdata/FeedNodes.h"

namespace tarnwell {

/// (Symbol): the previous close of a symbol as first seen before noon, kept for the node's life.
class TFuturesClose : public TGenericDataNode {
 public:
  static constexpr const char* kClassName = "TFuturesClose";
  explicit TFuturesClose(const TParamList& params);
  double GetDouble() override { return close_; }
  bool IsValid() override { return valid_; }

 private:
  void Update();
  TGenericL1DataNode* l1_;
  bool valid_ = false;
  double close_ = 0;
};

/// (Symbol, Up, ...): each new whole percent the stock trades beyond what its related symbol predicts.
class TCorrelationCommon : public TAlert {
 public:
  explicit TCorrelationCommon(const TParamList& params);

 protected:
  virtual bool IsReady() = 0;
  virtual double MainReference() = 0;
  virtual double CompareReference() = 0;

  /// Links the stock's own prints (which drive the evaluation) and quote, once.
  void LinkMainSymbol();
  void Reset();
  void Evaluate();
  /// Both prints above a cent, the factor set and the stock's quote and prints there.
  bool PricesReady() const;

  bool up_;
  std::string symbol_;
  std::string compareSymbol_;
  double correlation_ = 0;
  TGenericL1DataNode* mainQuote_ = nullptr;
  TGenericTosDataNode* mainPrints_ = nullptr;
  TGenericTosDataNode* comparePrints_ = nullptr;
  TGenericDataNode* factor_ = nullptr;

 private:
  bool armed_ = false;
  std::int32_t best_ = 0;
};

/// (Symbol, Up, FromTheClose): against the symbol's sector, from the open or from the previous close.
class TSectorBreakout : public TCorrelationCommon {
 public:
  static constexpr const char* kClassName = "TSectorBreakout";
  explicit TSectorBreakout(const TParamList& params);
  ~TSectorBreakout() override;

 private:
  bool IsReady() override;
  double MainReference() override { return Reference(mainQuote_); }
  double CompareReference() override { return Reference(compareQuote_); }
  double Reference(TGenericL1DataNode* quote) const;
  void OnCorrelationSymbol();
  void ReleaseCompare();

  bool fromTheClose_;
  TGenericDataNode* correlationSymbol_;
  TGenericL1DataNode* compareQuote_ = nullptr;
  // Held apart from the automatic links: they follow the related symbol when it changes.
  TDataNodeLink* compareQuoteLink_ = nullptr;
  TDataNodeLink* comparePrintsLink_ = nullptr;
};

/// (Symbol, Up): against "QQQQ" from both previous closes.
class TFuturesDivergence : public TCorrelationCommon {
 public:
  static constexpr const char* kClassName = "TFuturesDivergence";
  explicit TFuturesDivergence(const TParamList& params);

 private:
  bool IsReady() override;
  double MainReference() override;
  double CompareReference() override { return futuresClose_ ? futuresClose_->GetDouble() : 0; }
  void OnCorrelation();

  TGenericDataNode* futuresClose_ = nullptr;
};

/// Registers the four sector and the two futures divergence alert types.
void RegisterCorrelationAlerts();

}  // namespace tarnwell
