#include "alerts/definitions/CorrelationAlerts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

#include "marketdata/vendor/VendorField.h"

namespace tarnwell {
namespace {
constexpr const char* kFutures = "QQQQ";
/// Each day starts from a mark of 0: evaluations before this hour clear it.
constexpr std::int64_t kDayStartMs = HoursMinutesMs(5, 15);
}  // namespace

TFuturesClose::TFuturesClose(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  l1_ = Adopt(TGenericL1DataNode::Find(params[0].AsString(), TW_METHOD(this, Update)));
}

void TFuturesClose::Update() {
  if (valid_ || TimeOfDayMs(CurrentTime()) > HoursMinutesMs(12, 0)) return;
  const TL1Data* quote = l1_->Current();
  if (!quote || quote->PrevClose <= 0 || quote->PrevClose == close_) return;
  close_ = quote->PrevClose;
  valid_ = true;
  NotifyListeners();
}

// ---------------------------------------------------------------------------------------------------------

TCorrelationCommon::TCorrelationCommon(const TParamList& params) {
  if (params.size() < 2) throw EAssertionFailed("Expected:  (Symbol, Up, ...)");
  symbol_ = params[0].AsString();
  up_ = params[1].AsBoolean();
}

void TCorrelationCommon::LinkMainSymbol() {
  if (!mainPrints_) {
    auto [prints, link] = TGenericTosDataNode::Find(symbol_, TW_METHOD(this, Evaluate));
    mainPrints_ = prints;
    link->SetReceiveInput(true);
    AddAutoLink(link);
  }
  if (!mainQuote_) {
    mainQuote_ = Adopt(TGenericL1DataNode::Find(symbol_));
  }
}

void TCorrelationCommon::Reset() {
  armed_ = false;
  best_ = 0;
  Evaluate();
}

bool TCorrelationCommon::PricesReady() const {
  if (!factor_ || !mainQuote_ || !mainPrints_ || !comparePrints_ || correlation_ == 0) return false;
  const TTosData* main = mainPrints_->Current();
  const TTosData* compare = comparePrints_->Current();
  return mainQuote_->IsValid() && main && compare && main->Price > 0.01 && compare->Price > 0.01;
}

void TCorrelationCommon::Evaluate() {
  if (TimeOfDayMs(CurrentTime()) < kDayStartMs) {
    best_ = 0;
    armed_ = false;
    return;
  }
  if (!IsReady()) {
    armed_ = false;
    return;
  }
  const double compareReference = CompareReference();
  const double ratio =
      (comparePrints_->Current()->Price - compareReference) / compareReference * correlation_ + 1;
  const double expected = MainReference() * ratio;
  double percent = (mainPrints_->Current()->Price - expected) / std::abs(expected) * 100;
  if (!std::isfinite(percent) || std::abs(percent) >= 2147483647.0) {
    armed_ = false;  // no expectation to measure against (a zero expected price)
    return;
  }
  auto whole = static_cast<std::int32_t>(std::trunc(percent));
  if (!up_) whole = -whole;
  if (whole > best_ + 50) {
    best_ = whole;  // a jump this large is a data fault more often than a move: it only moves the mark
  } else if (whole > best_) {
    best_ = whole;
    if (armed_) {
      char text[160];
      std::snprintf(text, sizeof text, "Trading %d%% %s expectations based on %s", best_,
                    up_ ? "Above" : "Below", compareSymbol_.c_str());
      ReportAlert(text, best_);
    }
  } else if (whole < best_ - 25) {
    best_ = std::max(0, whole);
  }
  armed_ = true;
}

// ---------------------------------------------------------------------------------------------------------

TSectorBreakout::TSectorBreakout(const TParamList& params) : TCorrelationCommon(params) {
  CheckParamCount(params, 3, "Expected:  (Symbol, Up, FromTheClose)");
  fromTheClose_ = params[2].AsBoolean();
  correlationSymbol_ = Adopt(FindForSymbol("CorrelationSymbol", symbol_, TW_METHOD(this, OnCorrelationSymbol)));
  RunOnDataNodeThread(1, TW_METHOD(this, OnCorrelationSymbol));
}

TSectorBreakout::~TSectorBreakout() {
  ReleaseCompare();
}

void TSectorBreakout::ReleaseCompare() {
  for (TDataNodeLink** link : {&compareQuoteLink_, &comparePrintsLink_}) {
    if (*link) TDataNodeLink::Release(*link);
    *link = nullptr;
  }
  compareQuote_ = nullptr;
  comparePrints_ = nullptr;
}

double TSectorBreakout::Reference(TGenericL1DataNode* quote) const {
  const TL1Data* data = quote ? quote->Current() : nullptr;
  if (!data) return 0;
  return fromTheClose_ ? data->PrevClose : data->Open;
}

bool TSectorBreakout::IsReady() {
  return PricesReady() && compareQuote_ && compareQuote_->IsValid() && MainReference() > 0 &&
         CompareReference() > 0;
}

void TSectorBreakout::OnCorrelationSymbol() {
  // An index has no open of its own to measure from.
  if (IsIndexSymbol(symbol_) && !fromTheClose_) return;
  const std::string newSymbol = correlationSymbol_->IsValid() ? correlationSymbol_->GetString() : "";
  double newFactor = 0;
  if (!newSymbol.empty()) {
    if (!factor_) {
      auto [factor, link] = FindForSymbol("CorrelationM", symbol_, TW_METHOD(this, OnCorrelationSymbol));
      factor_ = factor;
      link->SetReceiveInput(true);
      AddAutoLink(link);
    }
    if (factor_->IsValid()) newFactor = factor_->GetDouble();
  }
  const bool changed = newSymbol != compareSymbol_ || newFactor != correlation_;
  if (newSymbol != compareSymbol_) {
    ReleaseCompare();
    compareSymbol_.clear();
    if (!newSymbol.empty()) {
      LinkMainSymbol();
      compareSymbol_ = newSymbol;
      std::tie(compareQuote_, compareQuoteLink_) = TGenericL1DataNode::Find(newSymbol);
      std::tie(comparePrints_, comparePrintsLink_) = TGenericTosDataNode::Find(newSymbol);
    }
  }
  correlation_ = newFactor;
  if (changed) Reset();
}

// ---------------------------------------------------------------------------------------------------------

TFuturesDivergence::TFuturesDivergence(const TParamList& params) : TCorrelationCommon(params) {
  compareSymbol_ = kFutures;
  factor_ = Adopt(FindForSymbol("FCorrelationM", symbol_, TW_METHOD(this, OnCorrelation)));
  RunOnDataNodeThread(1, TW_METHOD(this, OnCorrelation));
}

double TFuturesDivergence::MainReference() {
  const TL1Data* quote = mainQuote_ ? mainQuote_->Current() : nullptr;
  return quote ? quote->PrevClose : 0;
}

bool TFuturesDivergence::IsReady() {
  return PricesReady() && futuresClose_ && futuresClose_->IsValid() && MainReference() > 0;
}

void TFuturesDivergence::OnCorrelation() {
  const double newFactor = factor_->IsValid() ? factor_->GetDouble() : 0;
  if (newFactor == correlation_) return;
  correlation_ = newFactor;
  if (newFactor != 0) {
    LinkMainSymbol();
    if (!futuresClose_) {
      auto [close, link] = TGenericDataNodeFactory::Make<TFuturesClose>(std::string(kFutures))
                               ->GetNode(TW_METHOD(this, OnCorrelation));
      futuresClose_ = close;
      link->SetReceiveInput(true);
      AddAutoLink(link);
    }
    if (!comparePrints_) {
      comparePrints_ = Adopt(TGenericTosDataNode::Find(kFutures));
    }
  }
  Reset();
}

void RegisterCorrelationAlerts() {
  RegisterClass<TSectorBreakout>("SectorBreakoutOpen", true, false);
  RegisterClass<TSectorBreakout>("SectorBreakdownOpen", false, false);
  RegisterClass<TSectorBreakout>("SectorBreakoutClose", true, true);
  RegisterClass<TSectorBreakout>("SectorBreakdownClose", false, true);
  RegisterClass<TFuturesDivergence>("PositiveFuturesDivergence", true);
  RegisterClass<TFuturesDivergence>("NegativeFuturesDivergence", false);
}

}  // namespace tarnwell
