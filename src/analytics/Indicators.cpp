#include "analytics/Indicators.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "framework/DebugLog.h"
#include "framework/Errors.h"

namespace tarnwell {
namespace {

constexpr const char* kExpectedBarParams = "Expected params: (Symbol, Minutes/Bar, Bars)";
constexpr const char* kExpectedSeriesParams = "Expected params: (Symbol, Minutes/Bar)";
// Regression inputs outside this range are taken for bad data, not prices.
constexpr double kLargestClose = 100000;
// A run this long is no longer a signal; it says the series is one long trend.
constexpr std::int32_t kLongestRun = 101;

class EZeroDivide : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string FormatDouble(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

double TypicalPrice(const TCandle& candle) {
  return (candle.High + candle.Low + candle.Close) / 3;
}

// +1 when both high and low rose from the previous candle, -1 when both fell, 0 otherwise.
int CandleClass(const TCandle& previous, const TCandle& candle) {
  if (candle.High > previous.High && candle.Low > previous.Low) return 1;
  if (candle.High < previous.High && candle.Low < previous.Low) return -1;
  return 0;
}

}  // namespace

// --- TEpochFollower --------------------------------------------------------------------------------------

TEpochStep TEpochFollower::Take(const TStandardCandles& series) {
  const std::int32_t epoch = series.Epoch();
  if (epoch == lastEpoch_) return esNone;
  // A consumer that missed a change cannot fold: the last candle alone would skip the missed one.
  const bool oneChange = epoch == lastEpoch_ + 1;
  lastEpoch_ = epoch;
  switch (series.LastTransition()) {
    case ltUpdateCurrentCandle:
      return oneChange ? esIgnore : esRecompute;
    case ltNewCandle:
      return oneChange ? esFold : esRecompute;
    default:
      return esRecompute;
  }
}

// --- TLinearRegressionBase -------------------------------------------------------------------------------

std::string TLinearRegressionBase::KeyText(const std::string& symbol, int minutesPerBar, std::int32_t bars) {
  std::string key(1, static_cast<char>(static_cast<unsigned char>(minutesPerBar)));
  const auto raw = static_cast<std::uint32_t>(bars);
  for (int shift = 0; shift < 32; shift += 8) key.push_back(static_cast<char>((raw >> shift) & 0xFF));
  return key + symbol;
}

TLinearRegressionBase* TLinearRegressionBase::CreateFromKey(const std::string& keyText) {
  // Checked before the node exists, so a refused key leaves nothing half-built in the registry.
  Assert(keyText.size() > 4);
  const int minutesPerBar = static_cast<unsigned char>(keyText[0]);
  std::uint32_t raw = 0;
  for (int i = 0; i < 4; ++i) raw |= std::uint32_t{static_cast<unsigned char>(keyText[1 + i])} << (8 * i);
  const auto bars = static_cast<std::int32_t>(raw);
  Assert(minutesPerBar != 0);
  Assert(bars > 1);
  return Create<TLinearRegressionBase>(keyText.substr(5), minutesPerBar, bars);
}

std::pair<TLinearRegressionBase*, TDataNodeLink*> TLinearRegressionBase::Find(const std::string& symbol,
                                                                              int minutesPerBar,
                                                                              std::int32_t bars,
                                                                              TCallback callback) {
  return FindOrCreate<TLinearRegressionBase>(KeyText(symbol, minutesPerBar, bars), std::move(callback));
}

TLinearRegressionBase::TLinearRegressionBase(const std::string& symbol, int minutesPerBar, std::int32_t bars)
    : bars_(bars) {
  series_ = Adopt(TStandardCandles::Find(symbol, minutesPerBar, TW_METHOD(this, OnSeries)));
}

void TLinearRegressionBase::OnSeries() {
  Update();
  NotifyListeners();
}

void TLinearRegressionBase::Update() {
  const TEpochStep step = epoch_.Take(*series_);
  if (step == esNone || step == esIgnore) return;
  try {
    const TCandleArray candles = series_->GetCandles();
    const auto count = static_cast<std::int32_t>(candles->size());
    // Once the window has turned over, the sums start again from a new origin: rounding cannot build up
    // over a day, and a window of equal closes gets exactly no spread, for one candle's worth of adds.
    if (step == esFold && valid_ && ++folds_ < bars_) {
      Add(*candles, count - 1, 1);
      Add(*candles, count - 1 - bars_, -1);
      return;
    }
    Full(*candles);
  } catch (...) {
    valid_ = false;
    const TExceptionInfo info = DescribeException(std::current_exception());
    std::string line = info.className + ": " + info.message + ": " + DescribeSums();
    if (info.faultAddress) line += ", Exception at $" + HexAddress(info.faultAddress);
    AddLine(line);
  }
}

void TLinearRegressionBase::Full(const std::vector<TCandle>& candles) {
  const auto count = static_cast<std::int32_t>(candles.size());
  if (count < bars_) {
    valid_ = false;
    return;
  }
  sx_ = sxx_ = sy_ = syy_ = sxy_ = 0;
  terms_ = 0;
  folds_ = 0;
  originX_ = count - bars_;
  originY_ = candles[static_cast<std::size_t>(count - bars_)].Close;
  for (std::int32_t i = count - bars_; i < count; ++i) Add(candles, i, 1);
  valid_ = true;
}

void TLinearRegressionBase::Add(const std::vector<TCandle>& candles, std::int32_t index, double sign) {
  Assert(index >= 0 && static_cast<std::size_t>(index) < candles.size());
  const double y = candles[static_cast<std::size_t>(index)].Close;
  Assert(y >= 0 && y < kLargestClose);
  const double dx = index - originX_;
  const double dy = y - originY_;
  sx_ += sign * dx;
  sxx_ += sign * dx * dx;
  sy_ += sign * dy;
  syy_ += sign * dy * dy;
  sxy_ += sign * dx * dy;
  terms_ += sign > 0 ? 1 : -1;
}

std::string TLinearRegressionBase::DescribeSums() const {
  // The sums over whole indexes and prices, as a reader of the log expects them.
  const double n = terms_;
  const double x0 = originX_;
  const double y0 = originY_;
  const double sx = sx_ + n * x0;
  const double sxx = sxx_ + 2 * x0 * sx_ + n * x0 * x0;
  const double sy = sy_ + n * y0;
  const double syy = syy_ + 2 * y0 * sy_ + n * y0 * y0;
  const double sxy = sxy_ + x0 * sy_ + y0 * sx_ + n * x0 * y0;
  return "Candles=" + std::to_string(bars_) + ", SX=" + FormatDouble(sx) + ", SXX=" + FormatDouble(sxx) +
         ", SY=" + FormatDouble(sy) + ", SYY=" + FormatDouble(syy) + ", SXY=" + FormatDouble(sxy);
}

bool TLinearRegressionBase::IsValid() {
  Update();
  return valid_;
}

double TLinearRegressionBase::StdDev() {
  if (!IsValid()) return 0;
  const double n = bars_;
  // Rounding can leave a flat window a hair below zero; its spread is 0, not NaN.
  const double variance = (n * syy_ - sy_ * sy_) / (n * (n - 1));
  return variance > 0 ? std::sqrt(variance) : 0;
}

void TLinearRegressionBase::SlopeIntercept(double& slope, double& intercept) {
  slope = 0;
  intercept = 0;
  if (!IsValid()) return;
  const double n = bars_;
  slope = (sxy_ - sx_ * sy_ / n) / (sxx_ - sx_ * sx_ / n);
  // The line through the window's mean point, moved from the origin back to index 0.
  intercept = (sy_ - slope * sx_) / n + originY_ - slope * originX_;
}

void TLinearRegressionBase::LineEnd(double& slope, double& intercept, double& endValue) {
  SlopeIntercept(slope, intercept);
  endValue = slope * (series_->HistoricalCandleCount() - 1) + intercept;
}

// --- TCandleIndicator ------------------------------------------------------------------------------------

TCandleIndicator::TParams TCandleIndicator::BarParams(const TParamList& params, std::int32_t minBars) {
  CheckParamCount(params, 3, kExpectedBarParams);
  TParams result{params[0].AsString(), params[1].AsInteger(), params[2].AsInteger()};
  Assert(result.bars >= minBars);
  Assert(result.minutesPerBar >= 1 && result.minutesPerBar <= 255);
  return result;
}

TCandleIndicator::TParams TCandleIndicator::SeriesParams(const TParamList& params) {
  CheckParamCount(params, 2, kExpectedSeriesParams);
  TParams result{params[0].AsString(), params[1].AsInteger(), 0};
  Assert(result.minutesPerBar >= 1 && result.minutesPerBar <= 255);
  return result;
}

TCandleIndicator::TCandleIndicator(const TParams& params) {
  auto [series, link] =
      TStandardCandles::Find(params.symbol, params.minutesPerBar, TW_METHOD(this, OnSeries));
  series_ = series;
  AddAutoLink(link);
}

// --- TIntradayEma ----------------------------------------------------------------------------------------

TIntradayEma::TIntradayEma(const TParamList& params)
    : TCandleIndicator(BarParams(params, 1)), bars_(params[2].AsInteger()), alpha_(2.0 / (bars_ + 1)) {}

void TIntradayEma::OnSeries() {
  Update();
  NotifyListeners();
}

void TIntradayEma::Update() {
  const TEpochStep step = epoch_.Take(*series_);
  if (step == esNone || step == esIgnore) return;
  if (series_->HistoricalCandleCount() < bars_) {
    valid_ = false;
    value_ = 0;
    return;
  }
  const TCandleArray candles = series_->GetCandles();
  if (step == esFold && valid_) {
    value_ = (1 - alpha_) * value_ + alpha_ * candles->back().Close;
    return;
  }
  value_ = candles->front().Close;
  for (std::size_t i = 1; i < candles->size(); ++i)
    value_ = (1 - alpha_) * value_ + alpha_ * (*candles)[i].Close;
  valid_ = true;
}

double TIntradayEma::GetDouble() {
  Update();
  return value_;
}

bool TIntradayEma::IsValid() {
  Update();
  return valid_;
}

// --- TCCI ------------------------------------------------------------------------------------------------

TCCI::TCCI(const TParamList& params) : TCandleIndicator(BarParams(params, 3)), bars_(params[2].AsInteger()) {}

TFactoryRef TCCI::MakeFactory(int minutesPerBar, int bars) {
  return TGenericDataNodeFactory::Make<TCCI>(SymbolNamePlaceHolder(), minutesPerBar, bars);
}

void TCCI::VerifyCurrent() {
  if (epoch_.Take(*series_) == esNone) return;
  valid_ = false;
  value_ = 0;
  if (series_->HistoricalCandleCount() < bars_) return;
  try {
    const TCandleArray candles = series_->GetCandles();
    const std::size_t first = candles->size() - static_cast<std::size_t>(bars_);
    // Averaged as offsets from the window's first price: identical candles then give exactly no
    // deviation instead of a rounding residue that would read as a real signal.
    const double base = TypicalPrice((*candles)[first]);
    double offsets = 0;
    for (std::size_t i = first; i < candles->size(); ++i) offsets += TypicalPrice((*candles)[i]) - base;
    const double mean = base + offsets / bars_;
    double deviations = 0;
    for (std::size_t i = first; i < candles->size(); ++i)
      deviations += std::fabs(TypicalPrice((*candles)[i]) - mean);
    const double meanDeviation = deviations / bars_;
    if (meanDeviation == 0) throw EZeroDivide("Floating point division by zero");
    value_ = (TypicalPrice(candles->back()) - mean) / 0.015 / meanDeviation;
    valid_ = true;
  } catch (...) {
    ReportException(std::current_exception(), "TCCI.VerifyCurrent");
  }
}

double TCCI::GetDouble() {
  VerifyCurrent();
  return value_;
}

bool TCCI::IsValid() {
  VerifyCurrent();
  return valid_;
}

// --- TRSI ------------------------------------------------------------------------------------------------

TRSI::TRSI(const TParamList& params) : TCandleIndicator(BarParams(params, 3)), bars_(params[2].AsInteger()) {}

TFactoryRef TRSI::MakeFactory(int minutesPerBar, int bars) {
  return TGenericDataNodeFactory::Make<TRSI>(SymbolNamePlaceHolder(), minutesPerBar, bars);
}

void TRSI::Update() {
  const TEpochStep step = epoch_.Take(*series_);
  if (step == esNone || step == esIgnore) return;
  if (series_->HistoricalCandleCount() <= bars_) {
    Invalidate();
    return;
  }
  const TCandleArray candles = series_->GetCandles();
  if (step == esFold && valid_) {
    const std::size_t last = candles->size() - 1;
    Fold((*candles)[last].Close - (*candles)[last - 1].Close);
  } else {
    Full(*candles);
  }
  if (avgLoss_ > 0) {
    value_ = 100 - 100 / (avgGain_ / avgLoss_ + 1);
  } else {
    value_ = avgGain_ > 0 ? 100 : 50;
  }
  valid_ = true;
  NotifyListeners();
}

void TRSI::Invalidate() {
  value_ = 0;
  if (!valid_) return;
  valid_ = false;
  NotifyListeners();
}

void TRSI::Full(const std::vector<TCandle>& candles) {
  const auto count = static_cast<std::int32_t>(candles.size());
  // Three periods of warm-up before the last Bars changes are enough for the seed to fade.
  const std::int32_t start = std::max(count - bars_ - 1 - 3 * bars_, 0);
  double gains = 0;
  double losses = 0;
  for (std::int32_t i = start + 1; i <= start + bars_; ++i) {
    const double change =
        candles[static_cast<std::size_t>(i)].Close - candles[static_cast<std::size_t>(i - 1)].Close;
    if (change > 0) gains += change;
    if (change < 0) losses -= change;
  }
  avgGain_ = gains / bars_;
  avgLoss_ = losses / bars_;
  for (std::int32_t i = start + bars_ + 1; i < count; ++i) {
    Fold(candles[static_cast<std::size_t>(i)].Close - candles[static_cast<std::size_t>(i - 1)].Close);
  }
}

void TRSI::Fold(double change) {
  const double gain = change > 0 ? change : 0;
  const double loss = change < 0 ? -change : 0;
  avgGain_ = ((bars_ - 1) * avgGain_ + gain) / bars_;
  avgLoss_ = ((bars_ - 1) * avgLoss_ + loss) / bars_;
}

double TRSI::GetDouble() {
  Update();
  return value_;
}

bool TRSI::IsValid() {
  Update();
  return valid_;
}

// --- TUpCandles ------------------------------------------------------------------------------------------

TUpCandles::TUpCandles(const TParamList& params) : TCandleIndicator(SeriesParams(params)) {}

void TUpCandles::Update() {
  if (epoch_.Take(*series_) == esNone) return;
  valid_ = false;
  value_ = 0;
  const TCandleArray candles = series_->GetCandles();
  const std::size_t count = candles->size();
  if (count < 2) return;
  const int direction = CandleClass((*candles)[count - 2], (*candles)[count - 1]);
  if (direction == 0) {
    valid_ = true;
    return;
  }
  std::int32_t run = 0;
  for (std::size_t k = count - 1; k >= 1 && CandleClass((*candles)[k - 1], (*candles)[k]) == direction; --k) {
    if (++run == kLongestRun) return;
    if (k == 1) return;  // the run reaches the first candle, whose class is unknown
  }
  valid_ = true;
  value_ = direction * run;
}

std::int32_t TUpCandles::GetInteger() {
  Update();
  return value_;
}

bool TUpCandles::IsValid() {
  Update();
  return valid_;
}

// --- TVWAP -----------------------------------------------------------------------------------------------

TVWAP::TVWAP(const TParamList& params) {
  CheckParamCount(params, 1, "Assertion failure");
  const std::string symbol = params[0].AsString();
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, OnPrint)));
  auto [l1, l1Link] = TGenericL1DataNode::Find(symbol, TW_METHOD(this, OnQuote));
  AddAutoLink(l1Link);
}

void TVWAP::CheckDay() {
  const double day = std::floor(CurrentTime());
  if (day == day_) return;
  day_ = day;
  totalVolume_ = 0;
  priceVolume_ = 0;
  NotifyListeners();
}

void TVWAP::OnPrint() {
  CheckDay();
  if (!tos_->IsValid()) return;
  const TTosData& print = *tos_->GetData();
  if (print.Snapshot) return;
  totalVolume_ += print.Size;
  priceVolume_ += print.Size * print.Price;
  NotifyListeners();
}

double TVWAP::GetDouble() {
  return totalVolume_ > 0 ? priceVolume_ / static_cast<double>(totalVolume_) : 0;
}

// --- Registration ----------------------------------------------------------------------------------------

void RegisterIndicators() {
  RegisterFactory("CCI3", TCCI::MakeFactory(3, 20));
  RegisterFactory("RSI15", TRSI::MakeFactory(15, 14));
  for (int minutes : {5, 10, 15, 30}) {
    RegisterFactory("UpCandles" + std::to_string(minutes),
                    TGenericDataNodeFactory::Make<TUpCandles>(SymbolNamePlaceHolder(), minutes));
  }
}

}  // namespace tarnwell
