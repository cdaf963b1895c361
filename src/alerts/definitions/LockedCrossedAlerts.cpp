#include "alerts/definitions/LockedCrossedAlerts.h"

#include <algorithm>
#include <cstdio>

namespace tarnwell {
namespace {
/// Normal market needed before a lock or cross is news, in seconds.
constexpr double kQuietSeconds = 300;

bool Normal(std::uint8_t state) {
  return state == 1 || state == 4;
}
}  // namespace

TLockedOrCrossed::TLockedOrCrossed(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Symbol)");
  l1_ = Adopt(TGenericL1DataNode::Find(params[0].AsString(), TW_METHOD(this, Update)));
}

void TLockedOrCrossed::Update() {
  const std::uint8_t old = state_;
  state_ = 0;
  const TDateTime now = CurrentTime();
  const TL1Data* quote = l1_->Current();
  if (quote && TimeOfDayMs(now) >= HoursMinutesMs(6, 30) && quote->BidPrice > 0 && quote->AskPrice > 0) {
    state_ = Classify(*quote);
  }
  if (state_ == 3 && Normal(old)) {
    state_ = 4;
  } else if (state_ == 2 && ShouldRepeat()) {
    ReportCondition();
  } else if (state_ == 2 && old != 2 && lastChange_ != 0 &&
             (now - lastChange_) * kSecondsPerDay > kQuietSeconds) {
    // (A first quote already locked has shown no normal market at all: not news.)
    ReportCondition();
  }
  // The start of the current unbroken run of normal market.
  if (!(Normal(state_) && Normal(old))) lastChange_ = now;
}

std::uint8_t TMarketLocked::Classify(const TL1Data& quote) {
  if (quote.BidPrice == quote.AskPrice) return 2;
  return quote.BidPrice > quote.AskPrice ? 3 : 1;
}

TMarketCrossedBase::TMarketCrossedBase(const TParamList& params) : TLockedOrCrossed(params) {
  fundamental_ = Adopt(TGenericFundamentalDataNode::Find(params[0].AsString()));
}

std::uint8_t TMarketCrossedBase::Classify(const TL1Data& quote) {
  if (quote.BidPrice <= quote.AskPrice) return 1;
  amount_ = quote.BidPrice - quote.AskPrice;
  return 2;
}

void TMarketCrossedBase::ReportCondition() {
  direction_ = 2;
  const TL1Data* quote = l1_->Current();
  const TFundamentalData* fundamental = fundamental_->Current();
  if (quote && fundamental && !fundamental->ListedExchange.empty()) {
    const std::string& listed = fundamental->ListedExchange;
    if (quote->BidExchange == listed && quote->AskExchange != listed) direction_ = 0;
    if (quote->AskExchange == listed && quote->BidExchange != listed) direction_ = 1;
  }
  static const char* const kTexts[] = {"Market Crossed Down", "Market Crossed Up", "Market Crossed"};
  ReportAlert(kTexts[direction_], amount_);
  lastReportedAmount_ = amount_;
}

TMarketCrossedSelector::TMarketCrossedSelector(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, Type)");
  type_ = params[1].AsInteger();
  auto [node, link] = TGenericDataNodeFactory::Make<TMarketCrossedBase>(params[0].AsString())
                          ->GetNode(TW_METHOD(this, OnCrossed));
  crossed_ = static_cast<TMarketCrossedBase*>(node);
  AddAutoLink(link);
}

void TMarketCrossedSelector::OnCrossed() {
  if (crossed_->Direction() != type_) return;
  double quality = 0;
  if (crossed_->GetQuality(quality)) {
    ReportAlert(crossed_->GetString(), quality);
  } else {
    ReportAlert(crossed_->GetString());
  }
}

// --- NYSE arbitrage ----------------------------------------------------------------------------------------

namespace {
bool Regional(const std::string& marketMaker) {
  return marketMaker == "THRD" || marketMaker == "PSE";
}

TNyseArbBase* FindArb(const std::string& symbol, TCallback callback, TDataNode& owner) {
  auto [node, link] = TGenericDataNodeFactory::Make<TNyseArbBase>(symbol)->GetNode(std::move(callback));
  owner.AddAutoLink(link);
  return static_cast<TNyseArbBase*>(node);
}

std::string Format(const char* format, double size1, double price1, double size2, double price2) {
  char text[200];
  std::snprintf(text, sizeof text, format, TAlert::FormatWhole(size1).c_str(), price1,
                TAlert::FormatWhole(size2).c_str(), price2);
  return text;
}
}  // namespace

TNyseArbBase::TNyseArbBase(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  book_ = Adopt(TGenericLevel2DataNode::Find(params[0].AsString(), TW_METHOD(this, Update)));
  RunOnDataNodeThread(1, TW_METHOD(this, Update));
}

void TNyseArbBase::Update() {
  valid_ = false;
  const std::int64_t timeOfDay = TimeOfDayMs(CurrentTime());
  // Only while the floor trades: from the open to 12:28:48 (0.52 of a day).
  if (timeOfDay >= HoursMinutesMs(6, 30) && timeOfDay <= static_cast<std::int64_t>(0.52 * kMsPerDay)) {
    double nyseBid = -1.7e308, regionalBid = -1.7e308, nyseAsk = 1.7e308, regionalAsk = 1.7e308;
    std::int32_t nyseBidSize = 0, regionalBidSize = 0, nyseAskSize = 0, regionalAskSize = 0;
    const TL2EntryArray bids = book_->GetBids(true);
    const TL2EntryArray asks = book_->GetAsks(true);
    if (!bids.empty() && !asks.empty() && bids.front().Price > asks.front().Price) {
      for (const TL2Entry& entry : bids) {
        if (Regional(entry.MarketMakerId)) {
          if (entry.Price > regionalBid) {
            regionalBid = entry.Price;
            regionalBidSize = entry.Size;
          } else if (entry.Price == regionalBid) {
            regionalBidSize += entry.Size;
          }
        } else if (entry.MarketMakerId == "NYSE" && entry.Size > 1) {  // a one-share quote is a placeholder
          nyseBid = entry.Price;
          nyseBidSize = entry.Size;
        }
      }
      for (const TL2Entry& entry : asks) {
        if (Regional(entry.MarketMakerId)) {
          if (entry.Price < regionalAsk) {
            regionalAsk = entry.Price;
            regionalAskSize = entry.Size;
          } else if (entry.Price == regionalAsk) {
            regionalAskSize += entry.Size;
          }
        } else if (entry.MarketMakerId == "NYSE" && entry.Size > 1) {
          nyseAsk = entry.Price;
          nyseAskSize = entry.Size;
        }
      }
      if (nyseBid > regionalAsk) {
        valid_ = true;
        description_ =
            Format("Sell NYSE %s @ %.2f > %s @ %.2f", nyseBidSize, nyseBid, regionalAskSize, regionalAsk);
        profit_ = std::min(nyseBidSize, regionalAskSize) * (nyseBid - regionalAsk);
      } else if (regionalBid > nyseAsk) {
        valid_ = true;
        description_ =
            Format("Buy NYSE %s @ %.2f < %s @ %.2f", nyseAskSize, nyseAsk, regionalBidSize, regionalBid);
        profit_ = std::min(nyseAskSize, regionalBidSize) * (regionalBid - nyseAsk);
      }
    }
  }
  NotifyListeners();
}

TNyseArb::TNyseArb(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  arb_ = FindArb(params[0].AsString(), TW_METHOD(this, OnArb), *this);
}

void TNyseArb::OnArb() {
  if (!arb_->IsValid()) {
    reported_ = false;
    return;
  }
  if (reported_) return;
  reported_ = true;
  ReportAlert(arb_->GetString(), arb_->Profit());
}

TNyseArbEnd::TNyseArbEnd(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  arb_ = FindArb(params[0].AsString(), TW_METHOD(this, OnArb), *this);
}

void TNyseArbEnd::OnArb() {
  if (arb_->IsValid()) {
    const double profit = arb_->Profit();
    if (!inArb_) {
      inArb_ = true;
      highProfit_ = lowProfit_ = profit;
      firstDescription_ = arb_->GetString();
      startTime_ = CurrentTime();
      return;
    }
    lowProfit_ = std::min(lowProfit_, profit);
    highProfit_ = std::max(highProfit_, profit);
    return;
  }
  if (!inArb_) return;
  inArb_ = false;
  char text[300];
  std::snprintf(text, sizeof text, "Arb Ended.  $%.2f - $%.2f, %.2f seconds.  \"%s\"", lowProfit_,
                highProfit_, (CurrentTime() - startTime_) * kSecondsPerDay, firstDescription_.c_str());
  ReportAlert(text);
}

void RegisterLockedCrossedAlerts() {
  RegisterClass<TNyseArb>("NyseArb");
  RegisterClass<TNyseArbEnd>("NyseArbEnd");
  RegisterClass<TMarketLocked>("MarketLocked");
  RegisterClass<TMarketCrossedSelector>("MarketCrossedDown", 0);
  RegisterClass<TMarketCrossedSelector>("MarketCrossedUp", 1);
  RegisterClass<TMarketCrossedSelector>("MarketCrossed", 2);
}

}  // namespace tarnwell
