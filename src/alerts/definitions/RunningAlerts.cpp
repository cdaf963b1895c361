#include "alerts/definitions/RunningAlerts.h"

#include <algorithm>
#include <cmath>

#include "marketdata/vendor/VendorField.h"

namespace tarnwell {
namespace {

TGenericDataNode* NamedValue(TDataNode& owner, const char* name, const std::string& symbol,
                             TCallback callback) {
  auto [node, link] = FindForSymbol(name, symbol, std::move(callback));
  owner.AddAutoLink(link);
  return node;
}

constexpr double kBucket = 30 * kOneSecond;

}  // namespace

// --- Relative volume -------------------------------------------------------------------------------------

TRelativeVolume::TRelativeVolume(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  const std::string symbol = params[0].AsString();
  volume_ = NamedValue(*this, "Volume", symbol, TW_METHOD(this, NotifyListeners));
  averages_ = Adopt(TAverageHistoricalData::Find(symbol, TW_METHOD(this, AveragesChanged)));
}

void TRelativeVolume::AveragesChanged() {
  tableReady_ = false;
  NotifyListeners();
}

void TRelativeVolume::BuildTable() {
  tableReady_ = true;
  expected_.fill(0);
  if (!averages_->HasData()) return;
  expected_[1] = averages_->PreMarketVolume();
  for (int i = 1; i <= 26; ++i) expected_[i + 1] = expected_[i] + averages_->PeriodVolume(i);
}

double TRelativeVolume::Expected(TDateTime now) const {
  const double a = static_cast<double>(TimeOfDayMs(now) - HoursMinutesMs(6, 30)) / (15 * 60000.0);
  if (a < 0) return 0;
  if (a > 26) return expected_[27];
  const int k = static_cast<int>(a);
  const double f = a - k;
  return (1 - f) * expected_[static_cast<std::size_t>(k + 1)] +
         f * expected_[static_cast<std::size_t>(k + 2)];
}

bool TRelativeVolume::IsValid() {
  if (!tableReady_) BuildTable();
  const TDateTime now = CurrentTime();
  // No normal volume yet (no history) makes a ratio meaningless, so the value is not valid then.
  return TimeOfDayMs(now) > HoursMinutesMs(6, 30) && averages_->HasData() && volume_->IsValid() &&
         Expected(now) > 0;
}

double TRelativeVolume::GetDouble() {
  if (!tableReady_) BuildTable();
  const double expected = Expected(CurrentTime());
  if (expected <= 0 || !volume_->IsValid()) return 0;
  return volume_->GetInteger() / expected;
}

// --- Fast running ----------------------------------------------------------------------------------------

TRunningCommon::TRunningCommon(const std::string& symbol) {
  volatility_ = NamedValue(*this, "TickVolatility", symbol, {});
}

TDateTime TRunningCommon::NextBoundary(TDateTime now) {
  const TDateTime date = std::floor(now);
  const std::int64_t ms = TimeOfDayMs(now);
  const std::int64_t step = 30000;
  return date + static_cast<double>((ms + step - 1) / step * step) / (kSecondsPerDay * 1000);
}

void TRunningCommon::PricesChanged() {
  eventKind_ = ekNone;
  double low = 0, high = 0;
  if (!GetQuotePrices(low, high) || !volatility_->IsValid() || volatility_->GetDouble() < 0.001) {
    initialized_ = false;
    return;
  }
  const double previousLow = lowQuote_, previousHigh = highQuote_;
  lowQuote_ = low;
  highQuote_ = high;
  const TDateTime now = CurrentTime();
  if (!initialized_ || now + kOneMinute < bucketEnd_) {
    std::fill(std::begin(maxHigh_), std::end(maxHigh_), highQuote_);
    std::fill(std::begin(minLow_), std::end(minLow_), lowQuote_);
    bucketEnd_ = NextBoundary(now);
    initialized_ = true;
    return;
  }
  const TDateTime past = now - bucketEnd_;
  if (past > 0) {
    if (past > kOneMinute) {
      std::fill(std::begin(maxHigh_), std::end(maxHigh_), previousHigh);
      std::fill(std::begin(minLow_), std::end(minLow_), previousLow);
    } else if (past > kBucket) {
      maxHigh_[0] = maxHigh_[1] = maxHigh_[2];
      maxHigh_[2] = previousHigh;
      minLow_[0] = minLow_[1] = minLow_[2];
      minLow_[2] = previousLow;
    } else {
      maxHigh_[0] = maxHigh_[1];
      maxHigh_[1] = maxHigh_[2];
      maxHigh_[2] = previousHigh;
      minLow_[0] = minLow_[1];
      minLow_[1] = minLow_[2];
      minLow_[2] = previousLow;
    }
    bucketEnd_ = NextBoundary(now);
  }
  const double threshold = volatility_->GetDouble() / std::sqrt(5.0);
  const double factor = kOneMinute / (kOneMinute - (bucketEnd_ - now));
  if (minLow_[0] - highQuote_ > threshold) {
    move_ = lowQuote_ - minLow_[0];
    eventQuality_ = (minLow_[0] - highQuote_) / threshold * factor * factor;
    eventKind_ = ekDown;
    NotifyListeners();
    std::fill(std::begin(minLow_), std::end(minLow_), lowQuote_);
  } else if (lowQuote_ - maxHigh_[0] > threshold) {
    move_ = highQuote_ - maxHigh_[0];
    eventQuality_ = (lowQuote_ - maxHigh_[0]) / threshold * factor * factor;
    eventKind_ = ekUp;
    NotifyListeners();
    std::fill(std::begin(maxHigh_), std::end(maxHigh_), highQuote_);
  }
  eventKind_ = ekNone;
  minLow_[2] = std::min(lowQuote_, minLow_[2]);
  maxHigh_[2] = std::max(highQuote_, maxHigh_[2]);
}

TRunningCommonBBO::TRunningCommonBBO(const std::string& symbol) : TRunningCommon(symbol) {
  l1_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, PricesChanged)));
}

bool TRunningCommonBBO::GetQuotePrices(double& low, double& high) {
  if (!l1_->IsValid()) return false;
  const TL1Data& q = *l1_->GetData();
  low = std::min(q.BidPrice, q.AskPrice);
  high = std::max(q.BidPrice, q.AskPrice);
  return low > 0;
}

TRunningCommonTosOnly::TRunningCommonTosOnly(const std::string& symbol) : TRunningCommon(symbol) {
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, PricesChanged)));
}

bool TRunningCommonTosOnly::GetQuotePrices(double& low, double& high) {
  if (!tos_->IsValid()) return false;
  low = high = tos_->GetData()->Price;
  return low > 0;
}

TRunning::TRunning(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, Up)");
  const std::string symbol = params[0].AsString();
  up_ = params[1].AsBoolean();
  if (IsIndexSymbol(symbol)) {
    auto [common, link] =
        TDataNodeWithStringKey::FindOrCreate<TRunningCommonTosOnly>(symbol, TW_METHOD(this, Evaluate));
    common_ = common;
    AddAutoLink(link);
  } else {
    auto [common, link] =
        TDataNodeWithStringKey::FindOrCreate<TRunningCommonBBO>(symbol, TW_METHOD(this, Evaluate));
    common_ = common;
    AddAutoLink(link);
  }
}

void TRunning::Evaluate() {
  const std::string move = FormatPrice(true, common_->Move());
  if (up_ && common_->EventKind() == TRunningCommon::ekUp) {
    ReportAlert("Running up:  " + move + " in less than one minute.", common_->EventQuality());
  } else if (!up_ && common_->EventKind() == TRunningCommon::ekDown) {
    ReportAlert("Running down:  " + move + " in less than one minute.", common_->EventQuality());
  }
}

// --- Intermediate running --------------------------------------------------------------------------------

TIntermediateRunning::TIntermediateRunning(const TParamList& params) {
  CheckParamCount(params, 2, "Expected: (Symbol, Up)");
  const std::string symbol = params[0].AsString();
  up_ = params[1].AsBoolean();
  l1_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, QuoteChanged)));
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, PrintChanged)));
  volatilityNode_ = NamedValue(*this, "TickVolatility", symbol, TW_METHOD(this, VolatilityChanged));
  RunOnDataNodeThread(1, TW_METHOD(this, VolatilityChanged));
}

void TIntermediateRunning::Reset() {
  pivotCount_ = 0;
  initialized_ = false;
}

void TIntermediateRunning::VolatilityChanged() {
  if (volatilityNode_->IsValid() && volatilityNode_->GetDouble() == volatility_) return;
  volatility_ = volatilityNode_->IsValid() ? volatilityNode_->GetDouble() : 0;
  Reset();
}

bool TIntermediateRunning::Sides(double& exit, double& entry) const {
  if (!l1_->IsValid()) return false;
  const TL1Data& q = *l1_->GetData();
  if (q.BidPrice <= 0 || q.AskPrice <= 0) return false;
  const double low = std::min(q.BidPrice, q.AskPrice), high = std::max(q.BidPrice, q.AskPrice);
  exit = up_ ? low : high;
  entry = up_ ? high : low;
  return true;
}

void TIntermediateRunning::StartPeriod(TDateTime now) {
  double exit = 0, entry = 0;
  if (!Sides(exit, entry)) return;
  periodStart_ = now;
  bestExit_ = exit;
  bestEntry_ = entry;
  bestTime_ = now;
  candidate_ = entry;
  candidateTime_ = now;
  candidateCurrent_ = true;
  initialized_ = true;
}

void TIntermediateRunning::QuoteChanged() {
  double exit = 0, entry = 0;
  if (!Sides(exit, entry)) {
    Reset();
    return;
  }
  if (volatility_ == 0) return;
  const TDateTime now = CurrentTime();
  if (!initialized_) {
    StartPeriod(now);
    return;
  }
  if (now - periodStart_ >= kBucket) {
    ClosePeriod(now);
    return;
  }
  if (Beyond(exit, bestExit_)) {
    bestExit_ = exit;
    bestEntry_ = entry;
    bestTime_ = now;
  }
  if (Beyond(entry, candidate_)) {
    candidateCurrent_ = false;
    return;
  }
  candidate_ = entry;
  bestTime_ = now;
  candidateCurrent_ = true;
}

void TIntermediateRunning::PrintChanged() {
  if (!initialized_ || volatility_ == 0) return;
  const TDateTime now = CurrentTime();
  if (now - periodStart_ >= kBucket) ClosePeriod(now);
}

void TIntermediateRunning::RemovePivot(int k) {
  if (k > 0) pivots_[k - 1].BestScore = std::max(pivots_[k - 1].BestScore, pivots_[k].BestScore);
  for (int i = k; i + 1 < pivotCount_; ++i) pivots_[i] = pivots_[i + 1];
  --pivotCount_;
}

void TIntermediateRunning::Thin() {
  int best = 1;
  double smallest = 0;
  for (int i = 1; i <= 6; ++i) {
    const double gap = (pivots_[i].Time - pivots_[i - 1].Time) * std::pow(2.0, i - 1);
    if (i == 1 || gap < smallest) {
      smallest = gap;
      best = i;
    }
  }
  if (best == 1) {
    RemovePivot(1);
    return;
  }
  const double after = best == 6 ? candidate_ : pivots_[best + 1].Price;
  const double middle = (pivots_[best - 2].Price + after) / 2;
  if (std::fabs(pivots_[best].Price - middle) < std::fabs(pivots_[best - 1].Price - middle)) {
    RemovePivot(best - 1);
  } else {
    RemovePivot(best);
  }
}

void TIntermediateRunning::ClosePeriod(TDateTime now) {
  while (pivotCount_ > 0 && !Beyond(candidate_, pivots_[pivotCount_ - 1].Price)) RemovePivot(pivotCount_ - 1);
  if (pivotCount_ > 0 && pivots_[0].Time < now - 25 * kOneMinute) RemovePivot(0);
  if (pivotCount_ == kMaxPivots) Thin();
  if (candidateCurrent_) candidateTime_ = now;
  pivots_[pivotCount_++] = TPivot{candidate_, candidateTime_, 0};
  Evaluate(now);
  StartPeriod(now);
}

void TIntermediateRunning::Evaluate(TDateTime now) {
  double runningBest = 0;
  int chosen = -1;
  int lastConsidered = -1;
  for (int i = 0; i < pivotCount_; ++i) {
    TPivot& pivot = pivots_[i];
    if (!(pivot.Time < bestTime_ - kBucket)) continue;  // too close to the best quote to score
    const double score =
        Dist(bestExit_, pivot.Price) / std::sqrt((bestTime_ - pivot.Time) / (15 * kOneMinute)) / volatility_;
    if (chosen < 0 || score > runningBest) {
      chosen = i;
      runningBest = score;
    }
    lastConsidered = i;
    if (!(runningBest > pivot.BestScore)) chosen = -1;
  }
  if (chosen < 0) return;
  TPivot& last = pivots_[lastConsidered];
  last.BestScore = std::max(last.BestScore, runningBest);
  if (now - bestTime_ > kOneMinute || !(runningBest > 2)) return;
  ReportAlert(std::string("Running ") + (up_ ? "up" : "down") + ": " +
                  FormatPrice(true, bestEntry_ - pivots_[chosen].Price) + " in " +
                  DescribeTimeSpan(bestTime_, pivots_[chosen].Time),
              runningBest);
}

void RegisterRunningAlerts() {
  RegisterClass<TRelativeVolume>("RelVol");
  RegisterFactory("RunningUp", TGenericDataNodeFactory::Make<TRunning>(SymbolNamePlaceHolder(), true));
  RegisterFactory("RunningDown", TGenericDataNodeFactory::Make<TRunning>(SymbolNamePlaceHolder(), false));
  RegisterFactory("RunningUpIntermediate",
                  TGenericDataNodeFactory::Make<TIntermediateRunning>(SymbolNamePlaceHolder(), true));
  RegisterFactory("RunningDownIntermediate",
                  TGenericDataNodeFactory::Make<TIntermediateRunning>(SymbolNamePlaceHolder(), false));
}

}  // namespace tarnwell
