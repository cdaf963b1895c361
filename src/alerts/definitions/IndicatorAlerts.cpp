#include "alerts/definitions/IndicatorAlerts.h"

#include "analytics/Indicators.h"

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
  auto [cci, link] = factory->GetNode(TW_METHOD(this, OnCci));
  cci_ = cci;
  AddAutoLink(link);
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

void RegisterIndicatorAlerts() {
  RegisterClass<TNR7>("NR7-15", 15);
  RegisterClass<TWoodieCciBuySell>("WoodiesCciEntryUp3", 3, true);
  RegisterClass<TWoodieCciBuySell>("WoodiesCciEntryDown3", 3, false);
}

}  // namespace tarnwell
