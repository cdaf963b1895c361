#include "alerts/definitions/PullbackAlerts.h"

#include <algorithm>

#include "marketdata/VolumeBlocks.h"

namespace tarnwell {

// --- Pullbacks -------------------------------------------------------------------------------------------

TPullbackCommon::TPullbackCommon(const TParamList& params, bool fromLows) : fromLows_(fromLows) {
  CheckParamCount(params, 3,
                  "Expected params: (Symbol, min pullback as decimal fraction, min pullback as string)");
  const std::string symbol = params[0].AsString();
  minFraction_ = params[1].AsDouble();
  fractionText_ = params[2].AsString();
  auto [newDay, dayLink] = TNewDay::Find(symbol, TW_METHOD(this, NewDay));
  AddAutoLink(dayLink);
  l1_ = Adopt(TGenericL1DataNode::Find(symbol, TW_METHOD(this, TrackExtreme)));
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, OnPrint)));
}

void TPullbackCommon::NewDay() {
  Quiet();
  dayStarted_ = false;
  TrackExtreme();
  stage_ = 0;
}

void TPullbackCommon::TrackExtreme() {
  if (!l1_->IsValid()) return;
  const TL1Data& q = *l1_->GetData();
  double x = fromLows_ ? q.Low : q.High;
  if (tos_->IsValid())
    x = fromLows_ ? std::min(x, tos_->GetData()->Price) : std::max(x, tos_->GetData()->Price);
  if (x <= 0) return;
  if (!dayStarted_) {
    extreme_ = x;
    dayStarted_ = true;
    return;
  }
  if (fromLows_ ? x < extreme_ : x > extreme_) {
    extreme_ = x;
    stage_ = 1;
  }
}

void TPullbackCommon::OnPrint() {
  TrackExtreme();
  Evaluate();
}

void TPullbackCommon::Evaluate() {
  if (stage_ != 1 || !l1_->IsValid() || !tos_->IsValid()) return;
  const TL1Data& q = *l1_->GetData();
  const double price = tos_->GetData()->Price;
  const double distance =
      fromLows_ ? std::max(q.PrevClose, q.Open) - extreme_ : extreme_ - std::min(q.PrevClose, q.Open);
  if (distance <= 0.01) return;
  const double recovery = fromLows_ ? (price - extreme_) / distance : (extreme_ - price) / distance;
  if (recovery < minFraction_) return;
  if (q.Low == q.High) {
    Quiet();  // a one-price day so far: nothing to pull back from yet
  } else if (CurrentTime() > quietUntil_) {
    ReportAlert(fractionText_ + (fromLows_ ? " pullback from lows." : " pullback from highs."), distance);
  }
  stage_ = 0;
}

// --- Check marks -----------------------------------------------------------------------------------------

TCheckMark::TCheckMark(const TParamList& params) {
  CheckParamCount(params, 2, "Expected (Symbol, Inverted)");
  inverted_ = params[1].AsBoolean();
  l1_ = Adopt(TGenericL1DataNode::Find(params[0].AsString(), TW_METHOD(this, QuoteChanged)));
}

void TCheckMark::QuoteChanged() {
  const bool valid = l1_->IsValid();
  const double high = valid ? l1_->GetData()->High : 0;
  const double low = valid ? l1_->GetData()->Low : 0;
  // Classes: 1 first, 2 equal, 3 a new extreme, 4 back but within the mark, 5 back past the mark.
  int highClass = 0, lowClass = 0;
  if (valid && high > 0) {
    highClass = highMove_ == 0 ? 1 : high == lastHigh_ ? 2 : high > lastHigh_ ? 3 : high >= markHigh_ ? 4 : 5;
    lastHigh_ = high;
  }
  if (valid && low > 0) {
    lowClass = lowMove_ == 0 ? 1 : low == lastLow_ ? 2 : low < lastLow_ ? 3 : low <= markLow_ ? 4 : 5;
    lastLow_ = low;
  }
  highMove_ = highClass;
  lowMove_ = lowClass;
  if (highClass == 0 || lowClass == 0) {
    stage_ = 0;
    return;
  }
  if (stage_ == 0 || (highClass >= 4 && lowClass >= 4)) {
    stage_ = 1;
    return;
  }
  const int x = inverted_ ? highClass : lowClass;
  const int y = inverted_ ? lowClass : highClass;
  switch (stage_) {
    case 1:
      if (y == 3) {
        Save();
        stage_ = 2;
      }
      break;
    case 2:
      if (y == 5) {
        stage_ = 1;
      } else if (x == 3) {
        Save();
        stage_ = 4;
      }
      break;
    case 3:
      if (y == 5) {
        stage_ = 4;
      } else if (x == 5) {
        stage_ = 1;
      } else if (x == 3) {
        Save();
        stage_ = 4;
      }
      break;
    case 4:
      if (x == 5) {
        Save();
        stage_ = 2;
      } else if (y == 5) {
        Save();
        stage_ = 1;
      } else if (y == 3) {
        Save();
        stage_ = 3;
        // Not in the first three minutes of the session, when the range is still being made.
        if (TimeOfDayMs(CurrentTime()) > HoursMinutesMs(6, 33)) {
          ReportAlert(inverted_ ? "Inverted check mark" : "Check mark");
        }
      }
      break;
  }
}

// --- Day range -------------------------------------------------------------------------------------------

bool TDayRange::IsValid() {
  if (!TQuoteAndPrintUser::IsValid()) return false;
  const TL1Data& q = *l1_->GetData();
  return q.High > q.Low && q.Low > 0;
}

double TDayRange::GetDouble() {
  if (!IsValid()) return 0;
  const TL1Data& q = *l1_->GetData();
  return (tos_->GetData()->Price - q.Low) / (q.High - q.Low);
}

void RegisterPullbackAlerts() {
  using F = TGenericDataNodeFactory;
  const auto& symbol = SymbolNamePlaceHolder();
  RegisterFactory("PullbackFromLows25", F::Make<TPullbackFromLows>(symbol, 0.25, "25%"));
  RegisterFactory("PullbackFromLows75", F::Make<TPullbackFromLows>(symbol, 0.75, "75%"));
  RegisterFactory("PullbackFromHighs25", F::Make<TPullbackFromHighs>(symbol, 0.25, "25%"));
  RegisterFactory("PullbackFromHighs75", F::Make<TPullbackFromHighs>(symbol, 0.75, "75%"));
  RegisterFactory("CheckMark", F::Make<TCheckMark>(symbol, false));
  RegisterFactory("InvertedCheckMark", F::Make<TCheckMark>(symbol, true));
  RegisterClass<TDayRange>("DayRange");
}

}  // namespace tarnwell
