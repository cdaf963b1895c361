#include "marketdata/NamedValues.h"

#include <algorithm>
#include <utility>

#include "framework/StandardGenericNodes.h"
#include "marketdata/Combinators.h"
#include "marketdata/StandardColors.h"
#include "marketdata/vendor/VendorField.h"

namespace tarnwell {
namespace {

// Calls 0: the puts are moved above every real ratio, so that such symbols sort first.
constexpr double kNoCallsOffset = 2147483648.0;

/// A copy of a registered value's factory, for use inside a formula.
TFactoryRef Named(const char* name) {
  return FindFactory(name, true)->Clone();
}

/// The one parameter of a per-symbol node, as text (an unfilled "Symbol Name" gives "").
std::string SymbolParam(const TParamList& params, const char* expected) {
  TGenericDataNode::CheckParamCount(params, 1, expected);
  return params[0].AsString();
}

}  // namespace

// --- Readers ---------------------------------------------------------------------------------------------

TL1User::TL1User(const TParamList& params) {
  auto [node, link] =
      TGenericL1DataNode::Find(SymbolParam(params, "Assertion failure"), TW_METHOD(this, Changed));
  l1_ = node;
  AddAutoLink(link);
}

TTosUser::TTosUser(const TParamList& params) {
  auto [node, link] =
      TGenericTosDataNode::Find(SymbolParam(params, "Assertion failure"), TW_METHOD(this, Changed));
  tos_ = node;
  AddAutoLink(link);
}

TQuoteAndPrintUser::TQuoteAndPrintUser(const TParamList& params, const char* expected) {
  const std::string symbol = SymbolParam(params, expected);
  l1_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, NotifyListeners)));
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, NotifyListeners)));
}

TFundamentalUser::TFundamentalUser(const TParamList& params)
    : symbol_(SymbolParam(params, "Assertion failure")) {
  fundamental_ = Adopt(TGenericFundamentalDataNode::Find(symbol_, TW_METHOD(this, Changed)));
}

std::string TListedExchange::GetString() {
  if (IsIndexSymbol(symbol_)) return "$NDX";
  const TFundamentalData* record = Record();
  return record ? record->ListedExchange : std::string();
}

bool TListedExchange::IsValid() {
  return IsIndexSymbol(symbol_) || TFundamentalUser::IsValid();
}

std::string TPrintableName::GetString() {
  const TFundamentalData* record = Record();
  if (record && !record->CompanyName.empty()) return record->CompanyName;
  return symbol_;
}

// --- TDoubleUpTick ---------------------------------------------------------------------------------------

TDoubleUpTick::TDoubleUpTick(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Source)");
  source_ = LinkInput(*this, params[0], TW_METHOD(this, Update));
  // The source may already hold its first value; it must count as the starting point.
  RunOnDataNodeThread(1, TW_METHOD(this, Update));
}

void TDoubleUpTick::Update() {
  if (!source_->IsValid()) {
    hasDirection_ = false;
    NotifyListeners();
    return;
  }
  const double value = source_->GetDouble();
  if (!started_) {
    last_ = value;
    started_ = true;
    return;
  }
  if (value == last_) return;
  hasDirection_ = true;
  up_ = value > last_;
  last_ = value;
  NotifyListeners();
}

// --- TOpenPrice ------------------------------------------------------------------------------------------

TOpenPrice::TOpenPrice(const TParamList& params) {
  const std::string symbol = SymbolParam(params, "Expected params: (Symbol)");
  // Slash symbols have no regular session whose first print could stand for the open.
  if (!IsSlashSymbol(symbol)) {
    tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, OnPrint)));
  }
  l1_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, NotifyListeners)));
}

bool TOpenPrice::HoldsFirstPrice() const {
  return firstPrice_ != 0 && CurrentTime() <= firstPriceUntil_;
}

double TOpenPrice::GetDouble() {
  if (l1_->IsValid() && l1_->GetData()->Open != 0) return l1_->GetData()->Open;
  return HoldsFirstPrice() ? firstPrice_ : 0;
}

void TOpenPrice::OnPrint() {
  if (!HoldsFirstPrice() && tos_->IsValid()) {
    const TTosData& print = *tos_->GetData();
    if (!print.Snapshot && !print.FormT) {
      firstPrice_ = print.Price;
      firstPriceUntil_ = std::ceil(print.Time);  // the midnight that ends the print's day
    }
  }
  NotifyListeners();
}

// --- TExpectedOpen ---------------------------------------------------------------------------------------

TExpectedOpen::TExpectedOpen(const TParamList& params) {
  const std::string symbol = SymbolParam(params, "Expected params: (Symbol)");
  slashSymbol_ = IsSlashSymbol(symbol);
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, NotifyListeners)));
  open_ =
      LinkInput(*this, TGenericDataNodeFactory::Make<TOpenPrice>(symbol), TW_METHOD(this, NotifyListeners));
}

double TExpectedOpen::GetDouble() {
  const double open = open_->GetDouble();
  if (slashSymbol_) return open;
  const TTosData* print = tos_->Current();
  const bool extendedHours = print && print->FormT;
  if (open != 0 && !extendedHours) return open;
  return print ? print->Price : 0;
}

// --- Quote statistics ------------------------------------------------------------------------------------

bool TPutCallRatio::IsValid() {
  const TL1Data* quote = Record();
  if (!quote) return false;
  return quote->PutVolume >= 0 && quote->CallVolume >= 0 && (quote->PutVolume > 0 || quote->CallVolume > 0);
}

double TPutCallRatio::GetDouble() {
  if (!IsValid()) return 0;
  const TL1Data& quote = *Record();
  if (quote.CallVolume == 0) return quote.PutVolume + kNoCallsOffset;
  return static_cast<double>(quote.PutVolume) / quote.CallVolume;
}

bool TDistanceFromNbbo::IsValid() {
  if (!TQuoteAndPrintUser::IsValid()) return false;
  const TL1Data& quote = *l1_->GetData();
  return quote.BidPrice > 0 && quote.AskPrice > 0;
}

double TDistanceFromNbbo::GetDouble() {
  if (!IsValid()) return 0;
  const TL1Data& quote = *l1_->GetData();
  // A crossed quote still has an inside: between the lower and the higher of the two.
  const double high = std::max(quote.BidPrice, quote.AskPrice);
  const double low = std::min(quote.BidPrice, quote.AskPrice);
  const double price = tos_->GetData()->Price;
  if (price > high) return (price - high) / high * 100;
  if (price < low) return (low - price) / low * 100;
  return 0;
}

bool TTodaysRange::IsValid() {
  const TL1Data* quote = Record();
  return quote && quote->High > 0 && quote->Low > 0;
}

double TTodaysRange::GetDouble() {
  return IsValid() ? Record()->High - Record()->Low : 0;
}

// --- TNamedDoubleValue -----------------------------------------------------------------------------------

TNamedDoubleValue::TNamedDoubleValue(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Name, Symbol)");
  TFactoryRef factory = FindFactory(params[0].AsString(), true)->Clone();
  factory->SetParam(kSymbolName, params[1]);
  source_ = LinkInput(*this, factory, TW_METHOD(this, NotifyListeners));
}

// --- Registration ----------------------------------------------------------------------------------------

void RegisterNamedValues() {
  using F = TGenericDataNodeFactory;
  RegisterClass<TBidSize>("BidSize");
  RegisterClass<TBidPrice>("BidPrice");
  RegisterClass<TAskSize>("AskSize");
  RegisterClass<TAskPrice>("AskPrice");
  RegisterClass<TVolume>("Volume");
  RegisterClass<TOpenPrice>("OpenPrice");
  RegisterClass<TClosePrice>("ClosePrice");
  RegisterClass<TTodaysClosePrice>("TodaysClosePrice");
  RegisterClass<TBidExchange>("BidExchange");
  RegisterClass<TAskExchange>("AskExchange");
  RegisterClass<TListedExchange>("ListedExchange");
  RegisterClass<TLastPrintExchange>("LastPrintExchange");
  RegisterClass<TLastPrintFormT>("LastPrintFormT");
  RegisterClass<THighPrice>("HighPrice");
  RegisterClass<TLowPrice>("LowPrice");
  RegisterFactory("BidTick", F::Make<TDoubleUpTick>(Named("BidPrice")));
  RegisterClass<TLastPrintPrice>("LastPrintPrice");
  RegisterClass<TLastPrintTime>("LastPrintTime");
  RegisterClass<TLastPrintSize>("LastPrintSize");
  RegisterClass<TConstantStringDataNode>("Symbol");
  RegisterClass<TCompanyName>("CompanyName");
  RegisterClass<TPrintableName>("PrintableName");
  RegisterClass<T52WeekHigh>("52WeekHigh");
  RegisterClass<T52WeekLow>("52WeekLow");
  RegisterFactory("YearRange", F::Make<TPositionInRange>(Named("52WeekLow"), Named("LastPrintPrice"),
                                                         Named("52WeekHigh")));
  RegisterFactory("ChangeFromClose", F::Make<TSubtract>(Named("LastPrintPrice"), Named("ClosePrice")));
  RegisterFactory("ChangeFromOpen", F::Make<TSubtract>(Named("LastPrintPrice"), Named("OpenPrice")));
  RegisterClass<T52HighDate>("52HighDate");
  RegisterClass<T52LowDate>("52LowDate");
  RegisterClass<TExpectedOpen>("ExpectedOpen");
  RegisterFactory("Gap",
                  F::Make<TSubtract>(Named("ExpectedOpen"),
                                     F::Make<TNamedDoubleValue>("MostRecentClose", SymbolNamePlaceHolder())));
  RegisterClass<TPutCallRatio>("PutCallRatio");
  RegisterClass<TDistanceFromNbbo>("DistanceFromNbbo");
  RegisterClass<TTodaysRange>("TodaysRange");
  RegisterStandardColors();
}

}  // namespace tarnwell
