#include "alerts/definitions/IndicatorAlerts.h"

namespace tarnwell {

std::int32_t NarrowRangeRun(const std::vector<TCandle>& candles) {
  auto narrow = [&](std::size_t i) {
    if (i < 6) return false;
    const double range = candles[i].High - candles[i].Low;
    for (std::size_t k = i - 6; k < i; ++k) {
      if (!(candles[k].High - candles[k].Low > range)) return false;
    }
    return true;
  };
  std::int32_t run = 0;
  for (std::size_t i = candles.size(); i-- > 0 && narrow(i);) ++run;
  return run;
}

TNR7::TNR7(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, Minutes / Bar)");
  auto [series, link] =
      TStandardCandles::Find(params[0].AsString(), params[1].AsInteger(), TW_METHOD(this, OnCandles));
  series_ = series;
  AddAutoLink(link);
}

void TNR7::OnCandles() {
  const TCandleArray candles = series_->GetCandles();
  if (!candles) return;
  const std::int32_t run = NarrowRangeRun(*candles);
  if (run == 1) ReportAlert("NR7", 1);
  if (run > 1) ReportAlert("NR7-" + std::to_string(run), run);
}

TWoodieCciBuySell::TWoodieCciBuySell(const TParamList& params) {
  CheckParamCount(params, 3, "Expected: (Symbol, Minutes Per Bar, Up)");
  minutes_ = params[1].AsInteger();
  up_ = params[2].AsBoolean();
  TFactoryRef factory = TCCI::MakeFactory(minutes_, 20)->Clone();
  factory->SetParam(kSymbolName, params[0].AsString());
  cci_ = Adopt(factory->GetNode(TW_METHOD(this, OnCci)));
  if (previous_ == 0) previous_ = Zone();
}

int TWoodieCciBuySell::Zone() {
  if (!cci_->IsValid()) return 0;
  const double cci = cci_->GetDouble();
  return (up_ ? cci <= -100 : cci >= 100) ? 2 : 1;
}

void TWoodieCciBuySell::OnCci() {
  const int zone = Zone();
  if (zone == 1 && previous_ == 2) {
    ReportAlert(std::string("CCI ") + (up_ ? "rising above -100" : "falling below +100") + " on a " +
                std::to_string(minutes_) + " minute chart");
  }
  previous_ = zone;
}

TPtsEntrySignals::TPtsEntrySignals(const TParamList& params) {
  CheckParamCount(params, 3, "Expected: (Symbol, Minutes Per Bar, Up)");
  const std::string symbol = params[0].AsString();
  minutes_ = params[1].AsInteger();
  up_ = params[2].AsBoolean();
  series_ = Adopt(TStandardCandles::Find(symbol, minutes_, TW_METHOD(this, Evaluate)));
  long_ = Adopt(TLinearRegressionBase::Find(symbol, minutes_, 23));
  short_ = Adopt(TLinearRegressionBase::Find(symbol, minutes_, 3));
  ema_ = Adopt(TGenericDataNodeFactory::Make<TIntradayEma>(symbol, minutes_, 3)->GetNode());
  RunOnDataNodeThread(1, TW_METHOD(this, UpdateReferences));
}

double TPtsEntrySignals::LastClose() {
  const TCandleArray candles = series_->GetCandles();
  return candles && !candles->empty() ? candles->back().Close : 0;
}

void TPtsEntrySignals::UpdateReferences() {
  if (!ema_->IsValid() || !short_->IsValid()) return;
  double slope = 0, intercept = 0;
  refEma_ = ema_->GetDouble();
  refClose_ = LastClose();
  short_->LineEnd(slope, intercept, refShort_);
  ready_ = true;
}

void TPtsEntrySignals::Evaluate() {
  const TLastTransition transition = series_->LastTransition();
  if (transition == ltNew || transition == ltReset) ready_ = false;  // nothing to compare with
  bool signal = false;
  if (ready_ && ema_->IsValid() && short_->IsValid() && long_->IsValid()) {
    const double d = up_ ? 1 : -1;
    double slope = 0, intercept = 0, shortEnd = 0, longEnd = 0;
    short_->LineEnd(slope, intercept, shortEnd);
    long_->LineEnd(slope, intercept, longEnd);
    const double ema = ema_->GetDouble();
    const double close = LastClose();
    const double differences[] = {ema - refEma_,  close - refClose_, shortEnd - refShort_,
                                  shortEnd - ema, longEnd - close,   longEnd - shortEnd};
    signal = true;
    for (double difference : differences) signal = signal && d * difference > 0;
    if (signal && !signalOn_) {
      const double target = longEnd + d * long_->StdDev();
      std::string text = std::string("PTS ") + (up_ ? "long" : "short") + " entry signal, " +
                         std::to_string(minutes_) + " minute chart.";
      if (lastReportTime_ > 0) {
        text +=
            "  Previously reported " + DescribeTimeSpan(series_->LastStartTime(), lastReportTime_) + " ago.";
      }
      ReportAlert(text, d * (target - close));
      lastReportTime_ = series_->LastStartTime();
    }
  }
  signalOn_ = signal;
  UpdateReferences();
}

void RegisterIndicatorAlerts() {
  for (int minutes : {5, 15, 30, 90}) {
    RegisterClass<TPtsEntrySignals>("PtsEntryUp" + std::to_string(minutes), minutes, true);
    RegisterClass<TPtsEntrySignals>("PtsEntryDown" + std::to_string(minutes), minutes, false);
  }
  RegisterClass<TNR7>("NR7-15", 15);
  RegisterClass<TWoodieCciBuySell>("WoodiesCciEntryUp3", 3, true);
  RegisterClass<TWoodieCciBuySell>("WoodiesCciEntryDown3", 3, false);
}

}  // namespace tarnwell
