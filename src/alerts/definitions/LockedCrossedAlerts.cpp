#include "alerts/definitions/LockedCrossedAlerts.h"

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
  auto [l1, link] = TGenericL1DataNode::Find(params[0].AsString(), TW_METHOD(this, Update));
  l1_ = l1;
  AddAutoLink(link);
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
  auto [fundamental, link] = TGenericFundamentalDataNode::Find(params[0].AsString());
  fundamental_ = fundamental;
  AddAutoLink(link);
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

void RegisterLockedCrossedAlerts() {
  RegisterClass<TMarketLocked>("MarketLocked");
  RegisterClass<TMarketCrossedSelector>("MarketCrossedDown", 0);
  RegisterClass<TMarketCrossedSelector>("MarketCrossedUp", 1);
  RegisterClass<TMarketCrossedSelector>("MarketCrossed", 2);
}

}  // namespace tarnwell
