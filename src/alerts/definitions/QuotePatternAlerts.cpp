#include "alerts/definitions/QuotePatternAlerts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analytics/Indicators.h"
#include "marketdata/FileData.h"
#include "marketdata/VolumeBlocks.h"
#include "marketdata/vendor/RegionalQuotes.h"
#include "marketdata/vendor/VendorField.h"

namespace tarnwell {

// --- Trading above or below the quote ----------------------------------------------------------------------

TTradingAboveBelow::TTradingAboveBelow(const TParamList& params) {
  CheckParamCount(params, 3, "Expected params: (Symbol, Above, SpecialistOnly)");
  symbol_ = params[0].AsString();
  above_ = params[1].AsBoolean();
  specialistOnly_ = params[2].AsBoolean();
  if (IsIndexSymbol(symbol_)) return;  // an index has no quote to trade outside of
  if (!specialistOnly_) {
    tos_ = Adopt(TGenericTosDataNode::Find(symbol_, TW_METHOD(this, OnPrint)));
    l1_ = Adopt(TGenericL1DataNode::Find(symbol_));
    return;
  }
  fundamental_ = Adopt(TGenericFundamentalDataNode::Find(symbol_, TW_METHOD(this, OnFundamental)));
  RunOnDataNodeThread(1, TW_METHOD(this, OnFundamental));
}

void TTradingAboveBelow::OnFundamental() {
  const TFundamentalData* fundamental = listingKnown_ ? nullptr : fundamental_->Current();
  if (!fundamental) return;
  listingKnown_ = true;
  // Only the floor exchanges have a specialist whose quote means something apart from the market's.
  if (fundamental->ListedExchange != "NYSE" && fundamental->ListedExchange != "AMEX") return;
  auto [tos, tosLink] = TGenericTosDataNode::Find(symbol_, TW_METHOD(this, OnPrint));
  tos_ = tos;
  tosLink->SetReceiveInput(true);
  AddAutoLink(tosLink);
  regional_ = Adopt(TVendorRegionalBidAsk::Find(symbol_));
}

bool TTradingAboveBelow::Outside(double price, double bid, double ask) const {
  return above_ ? price > bid && price > ask : price < bid && price < ask;
}

void TTradingAboveBelow::OnPrint() {
  const TTosData* print = tos_->Current();
  if (!print || print->Snapshot) return;
  bool qualifies = false;
  if (!specialistOnly_) {
    const TL1Data* quote = l1_->Current();
    qualifies = quote && Outside(print->Price, quote->BidPrice, quote->AskPrice);
  } else {
    qualifies =
        !print->FormT && regional_->Valid() && Outside(print->Price, regional_->Bid(), regional_->Ask());
  }
  if (!qualifies) return;
  std::string text =
      std::string("Trading ") + (above_ ? "above" : "below") + (specialistOnly_ ? " specialist" : "");
  if (!print->Exchange.empty()) text += " (" + print->Exchange + ")";
  const TDateTime now = CurrentTime();
  if ((now - lastReport_) * kSecondsPerDay >= 180) {
    allowance_ = 0;
    firstTime_ = 0;
    count_ = 0;
    lastReport_ = now;
    ReportAlert(text, 1);
    return;
  }
  // Within a burst each report waits for twice as many prints as the one before.
  if (count_ < allowance_) {
    ++count_;
    if (firstTime_ == 0) firstTime_ = now;
    return;
  }
  if (count_ < 1) {
    ReportAlert(text, 2);
  } else {
    ReportAlert(text + " " + std::to_string(count_ + 1) + " times in " + DescribeTimeSpan(now, firstTime_),
                2.0 * (count_ + 1));
  }
  lastReport_ = now;
  allowance_ = 2 * allowance_ + 1;
  firstTime_ = 0;
  count_ = 0;
}

// --- Stepping down -----------------------------------------------------------------------------------------

std::int32_t TSteppingDown::Threshold(const std::string& symbol, std::int32_t averageDailyVolume) {
  if (IsIndexSymbol(symbol) || IsSlashSymbol(symbol) || averageDailyVolume <= 0) return 0;
  if (averageDailyVolume <= 1000000) return 10000;
  if (averageDailyVolume <= 3000000) return 15000;
  if (averageDailyVolume <= 10000000) return 30000;
  return 0;  // such a stock shows large offers all day long
}

TSteppingDown::TSteppingDown(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Symbol)");
  const std::string symbol = params[0].AsString();
  threshold_ = Threshold(symbol, AverageDailyVolumeOf(symbol));
  if (threshold_ == 0) return;
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, Evaluate)));
  l1_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, Evaluate)));
}

void TSteppingDown::Restart() {
  count_ = 0;
  lastAsk_ = 0;
  lastQualifiedTime_ = 0;
}

void TSteppingDown::Evaluate() {
  const TDateTime now = CurrentTime();
  if (qualified_) {
    lastQualifiedTime_ = now;
  } else if (lastQualifiedTime_ > 0 && now - lastQualifiedTime_ > kOneMinute) {
    Restart();
  }
  qualified_ = false;
  const TTosData* print = tos_->Current();
  const TL1Data* quote = l1_->Current();
  if (!print || !quote) return;
  if (quote->AskPrice > lastAsk_) Restart();
  qualified_ = quote->AskSize >= threshold_ && std::abs(quote->AskPrice - (print->Price + 0.01)) < 0.00005;
  if (!qualified_ || (count_ > 0 && quote->AskPrice >= lastAsk_)) return;
  ++count_;
  lastAsk_ = quote->AskPrice;
  if (count_ == 3) ReportAlert("Offer stepping down.");
  if (count_ > 3) ReportAlert("Offer continuing to step down.");
}

// --- Large specialist spread -------------------------------------------------------------------------------

TLargeSpread::TLargeSpread(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Symbol)");
  symbol_ = params[0].AsString();
  if (IsIndexSymbol(symbol_)) return;
  fundamental_ = Adopt(TGenericFundamentalDataNode::Find(symbol_, TW_METHOD(this, OnFundamental)));
  RunOnDataNodeThread(1, TW_METHOD(this, OnFundamental));
}

void TLargeSpread::OnFundamental() {
  const TFundamentalData* fundamental = listingKnown_ ? nullptr : fundamental_->Current();
  if (!fundamental) return;
  listingKnown_ = true;
  if (fundamental->ListedExchange != "NYSE") return;
  auto [regional, link] = TVendorRegionalBidAsk::Find(symbol_, TW_METHOD(this, OnRegional));
  regional_ = regional;
  link->SetReceiveInput(true);
  AddAutoLink(link);
}

void TLargeSpread::OnRegional() {
  const TSpread state = !regional_->Valid()                              ? spInvalid
                        : regional_->Ask() - regional_->Bid() > 0.499999 ? spWide
                                                                         : spNarrow;
  const TDateTime now = CurrentTime();
  if (state == spWide && previous_ == spNarrow && (now - lastNotNarrowTime_) * kSecondsPerDay > 30) {
    ReportAlert("Large Spread");
  }
  if (previous_ != spNarrow) lastNotNarrowTime_ = now;
  previous_ = state;
}

// --- VWAP divergence ---------------------------------------------------------------------------------------

TVwapDivergenceAlert::TVwapDivergenceAlert(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, Up)");
  const std::string symbol = params[0].AsString();
  up_ = params[1].AsBoolean();
  tos_ = Adopt(TGenericTosDataNode::Find(symbol));
  TFactoryRef vwap = TGenericDataNodeFactory::MakeForSymbol<TVWAP>();
  vwap->SetParam(kSymbolName, symbol);
  vwap_ = Adopt(vwap->GetNode(TW_METHOD(this, OnVwap)));
}

void TVwapDivergenceAlert::OnVwap() {
  const TTosData* print = tos_->Current();
  if (!print || !vwap_->IsValid()) return;
  const double vwap = vwap_->GetDouble();
  if (vwap <= 0 || print->Price <= 0) return;
  double percent = (print->Price - vwap) / vwap * 100;
  if (!up_) percent = -percent;
  const double level = std::floor(percent);
  if (level > last_) {
    char text[64];
    std::snprintf(text, sizeof text, "Trading %.0f%% %s VWAP", level, up_ ? "above" : "below");
    ReportAlert(text, level);
    last_ = level;
  } else if (level < last_ - 4.5) {
    last_ = std::max(level, 0.0);  // back near the VWAP: the ladder starts again
  }
}

// --- Unusual number of prints ------------------------------------------------------------------------------

TUnusualNumberOfPrints::TUnusualNumberOfPrints(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Symbol)");
  const std::string symbol = params[0].AsString();
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, OnPrint)));
  averages_ = Adopt(TAverageHistoricalData::Find(symbol));
  sharesPerPrint_ = Adopt(FindForSymbol("SharesPerPrint", symbol, TW_METHOD(this, OnPrint)));
}

std::int32_t TUnusualNumberOfPrints::NormalPrints(int slot) {
  if (!averages_->HasData() || !sharesPerPrint_->IsValid()) return 0;
  // Outside the session the nearest session slot stands in: the extended hours' own averages are too thin.
  const double volume = averages_->PeriodVolume(std::clamp(slot, 1, 26));
  const double prints = std::nearbyint(volume / sharesPerPrint_->GetDouble());
  if (!std::isfinite(prints) || prints < 5 || prints > 2147483647.0) return 0;
  return static_cast<std::int32_t>(prints);
}

void TUnusualNumberOfPrints::OnPrint() {
  const TTosData* print = tos_->Current();
  if (!print || print->Snapshot) return;
  const TDateTime now = CurrentTime();
  if (MsOf(now) >= MsOf(nextCheck_)) {
    // A new three-minute window: it takes as many steps as the last one reached before it reports.
    nextCheck_ = now + 3 * kOneMinute;
    const int slot = PeriodOf(now);
    if (slot != slot_) {
      slot_ = slot;
      unit_ = NormalPrints(slot);
    }
    countdown_ = unit_;
    allowed_ = hit_ ? count_ : std::max(0, allowed_ - 1);
    hit_ = false;
    count_ = 0;
  }
  if (unit_ < 1 || --countdown_ >= 1) return;
  ++count_;
  if (count_ > allowed_) ReportAlert("Unusual number of prints", 5.0 * count_);
  countdown_ = unit_;
  hit_ = true;
}

void RegisterQuotePatternAlerts() {
  RegisterClass<TUnusualNumberOfPrints>("UnusualNumberOfPrints");
  RegisterClass<TTradingAboveBelow>("TradingAbove", true, false);
  RegisterClass<TTradingAboveBelow>("TradingBelow", false, false);
  RegisterClass<TTradingAboveBelow>("TradingAboveSpecialist", true, true);
  RegisterClass<TTradingAboveBelow>("TradingBelowSpecialist", false, true);
  RegisterClass<TSteppingDown>("SteppingDown");
  RegisterClass<TLargeSpread>("LargeSpread");
  RegisterClass<TVwapDivergenceAlert>("VwapDivergenceUp", true);
  RegisterClass<TVwapDivergenceAlert>("VwapDivergenceDown", false);
}

}  // namespace tarnwell
