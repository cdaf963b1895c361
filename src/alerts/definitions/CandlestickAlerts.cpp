#include "alerts/definitions/CandlestickAlerts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "framework/Errors.h"

namespace tarnwell {
namespace {

constexpr std::int64_t kMsPerMinute = 60000;

/// "hh:nn:ss" of a date-time's time of day.
std::string FormatTimeOfDay(TDateTime time) {
  const TDateTimeParts parts = DecodeDateTime(time);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", parts.hour % 100, parts.minute % 100,
                parts.second % 100);
  return text;
}

/// The sum of the volumes of the newest `count` candles. Summed wide: thirty-two bits of busy candles
/// overflow.
double RecentVolume(const std::vector<TCandle>& candles, std::size_t count) {
  count = std::min(count, candles.size());
  std::int64_t sum = 0;
  for (auto it = candles.end() - static_cast<std::ptrdiff_t>(count); it != candles.end(); ++it)
    sum += it->Volume;
  return static_cast<double>(sum);
}

/// Restores a value when it goes, however the scope is left.
class TRestore {
 public:
  TRestore(double& target, double value) : target_(target), value_(value) {}
  ~TRestore() { target_ = value_; }
  TRestore(const TRestore&) = delete;
  TRestore& operator=(const TRestore&) = delete;

 private:
  double& target_;
  double value_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// Chart

TStandardCandleChart* TStandardCandleChart::CreateFromKey(const std::string& keyText) {
  Assert(!keyText.empty());
  return Create<TStandardCandleChart>(keyText.substr(1), static_cast<unsigned char>(keyText[0]));
}

std::pair<TStandardCandleChart*, TDataNodeLink*> TStandardCandleChart::Find(const std::string& symbol,
                                                                            int minutesPerBar,
                                                                            TCallback callback) {
  return FindOrCreate<TStandardCandleChart>(TStandardCandles::KeyText(symbol, minutesPerBar),
                                            std::move(callback));
}

TStandardCandleChart::TStandardCandleChart(const std::string& symbol, int minutesPerBar) {
  auto [candles, link] = TStandardCandles::Find(symbol, minutesPerBar, TW_METHOD(this, CandlesChanged));
  candles_ = candles;
  AddAutoLink(link);
}

void TStandardCandleChart::CandlesChanged() {
  TRestore clear(recentRange_, 0);  // listeners may read the range only from inside their callback
  TCandleArray candles = candles_->GetCandles();
  if (candles->size() < kRangeCandles) return;
  double high = -std::numeric_limits<double>::max();
  double low = std::numeric_limits<double>::max();
  for (auto it = candles->end() - kRangeCandles; it != candles->end(); ++it) {
    high = std::max(high, it->High);
    low = std::min(low, it->Low);
  }
  recentRange_ = high - low;
  if (recentRange_ > 0) NotifyListeners();
}

// ---------------------------------------------------------------------------------------------------------
// Pattern alerts

TCandlePatternAlert::TCandlePatternAlert(const TParamList& params, std::size_t paramCount,
                                         const char* expected) {
  CheckParamCount(params, paramCount, expected);
  symbol_ = params[0].AsString();
  auto [chart, link] =
      TStandardCandleChart::Find(symbol_, params[1].AsInteger(), TW_METHOD(this, ChartChanged));
  chart_ = chart;
  AddAutoLink(link);
}

void TCandlePatternAlert::ChartChanged() {
  const double range = chart_->RecentRange();
  if (range <= 0) return;
  TCandleArray candles = chart_->Candles();
  if (candles->size() < TStandardCandleChart::kRangeCandles) return;
  Judge(*candles, range);
}

TDoji::TDoji(const TParamList& params)
    : TCandlePatternAlert(params, 2, "Expected params: (Symbol, Minutes / Bar)") {}

void TDoji::Judge(const std::vector<TCandle>& candles, double range) {
  const TCandle& last = candles.back();
  const double shadow = 0.09 * range;
  if (last.Open != last.Close || !(last.High - last.Low > shadow)) return;
  const char* kind = "Long-Legged Doji";
  if (last.Open == last.High) {
    kind = "Dragonfly Doji";
  } else if (last.Open == last.Low) {
    kind = "Gravestone Doji";
  } else if (last.High - last.Open <= shadow || last.Open - last.Low <= shadow) {
    kind = "Doji";
  }
  ReportAlert(std::to_string(chart_->MinutesPerBar()) + " minute " + kind);
}

TTraditionalChannelBreak::TTraditionalChannelBreak(const TParamList& params)
    : TCandlePatternAlert(params, 3, "Expected params: (Symbol, Minutes / Bar, Up)"),
      up_(params[2].AsBoolean()) {
  tos_ = Adopt(TGenericTosDataNode::Find(symbol_, TW_METHOD(this, NewPrint)));
  RunOnDataNodeThread(1, TW_METHOD(this, CandleStepAtCreation));
}

void TTraditionalChannelBreak::Judge(const std::vector<TCandle>& candles, double range) {
  CandleStep(&candles, range);
}

void TTraditionalChannelBreak::CandleStep(const std::vector<TCandle>* candles, double range) {
  prevBreakLevel_ = breakLevel_;
  breakLevel_ = 0;
  hasChannel_ = false;
  seenEpoch_ = chart_->SeriesEpoch();
  if (!candles || !(range > 0)) return;
  step_ = 0.09 * range;
  double top = -1.7e308;
  double bottom = 1.7e308;
  int taken = 0;
  for (auto it = candles->rbegin(); it != candles->rend() && taken < 40; ++it, ++taken) {
    const double newTop = std::max(top, std::max(it->Open, it->Close));
    const double newBottom = std::min(bottom, std::min(it->Open, it->Close));
    if (newTop - newBottom > step_) break;
    top = newTop;
    bottom = newBottom;
  }
  hasChannel_ = taken >= kMinimumCandles;
  edge_ = up_ ? top : bottom;
}

void TTraditionalChannelBreak::NewPrint() {
  // The chart says nothing while the series holds fewer than 40 candles, so a series emptied by a bar
  // without prints (or by the night) would leave the channel of candles it has discarded: the change the
  // chart skipped ends the candle period like a step without a range.
  if (chart_->SeriesEpoch() != seenEpoch_) CandleStep(nullptr, 0);
  if (!hasChannel_ || !tos_->IsValid()) return;
  const TTosData& print = *tos_->GetData();
  if (print.FormT || print.Snapshot) return;
  const double distance = up_ ? print.Price - edge_ : edge_ - print.Price;
  const double steps = std::ceil(distance / step_);
  if (!std::isfinite(steps) || steps > std::numeric_limits<std::int32_t>::max() ||
      steps < std::numeric_limits<std::int32_t>::min()) {
    return;  // not a level an integer can count: the print is skipped
  }
  const auto level = static_cast<std::int32_t>(steps);
  if (level <= breakLevel_) return;
  if (level > prevBreakLevel_) {
    const char* followThrough = level == 2  ? " with follow through"
                                : level > 2 ? " with significant follow through"
                                            : "";
    ReportAlert(std::to_string(chart_->MinutesPerBar()) + " minute " +
                    (up_ ? "consolidation breakout" : "consolidation breakdown") + followThrough,
                distance);
  }
  breakLevel_ = level;
}

THammerOrHangingMan::THammerOrHangingMan(const TParamList& params)
    : TCandlePatternAlert(params, 3, "Expected params: (Symbol, Minutes / Bar, IsHammer)"),
      isHammer_(params[2].AsBoolean()) {}

void THammerOrHangingMan::Judge(const std::vector<TCandle>& candles, double range) {
  const TCandle& last = candles.back();
  const TCandle& previous = candles[candles.size() - 2];
  const double top = std::max(last.Open, last.Close);
  const double bottom = std::min(last.Open, last.Close);
  if (top != last.High || !(bottom - last.Low >= 2 * (top - bottom)) || !(top - bottom >= 0.02 * range))
    return;
  // The range of the nine candles before the newest.
  double high = -std::numeric_limits<double>::max();
  double low = std::numeric_limits<double>::max();
  for (std::size_t i = candles.size() - 10; i < candles.size() - 1; ++i) {
    high = std::max(high, candles[i].High);
    low = std::min(low, candles[i].Low);
  }
  auto priorRangeLevel = [&](double x) { return low + (high - low) * x; };
  if (isHammer_) {
    const double gap = previous.Low - top;
    const double quality = (bottom - last.Low + gap / 2) / range * 100;
    if (quality > 0 && last.High < priorRangeLevel(0.25)) ReportAlert("Hammer", quality);
    return;
  }
  const double gap = bottom - previous.High;
  const double quality = (bottom - last.Low + gap / 2) / range * 100 * 2 / 3;
  if (quality > 0 && last.High > priorRangeLevel(0.75)) ReportAlert("Hanging Man", quality);
}

TEngulfing::TEngulfing(const TParamList& params)
    : TCandlePatternAlert(params, 3, "Expected params: (Symbol, Minutes / Bar, Up)"),
      up_(params[2].AsBoolean()) {}

void TEngulfing::Judge(const std::vector<TCandle>& candles, double range) {
  const TCandle& last = candles.back();
  const TCandle& previous = candles[candles.size() - 2];
  // A..B is the previous body and D..C the newest, both oriented so that the pattern runs from B to C.
  const double a = up_ ? previous.Open : previous.Close;
  const double b = up_ ? previous.Close : previous.Open;
  const double c = up_ ? last.Close : last.Open;
  const double d = up_ ? last.Open : last.Close;
  if (!(a - b > 0.025 * range) || !(c - a > 0.01 * range) || !(b - d > 0.01 * range)) return;
  double quality = (c - d) / range * 100;
  const double volume = RecentVolume(candles, 10);
  if (volume > 0) quality = std::min(last.Volume / volume * 100 + quality * 0.5, 100.0);
  ReportAlert(up_ ? "Bullish Engulfing" : "Bearish Engulfing", quality);
}

TDarkCloudCoverOrPeircing::TDarkCloudCoverOrPeircing(const TParamList& params)
    : TCandlePatternAlert(params, 3, "Expected params: (Symbol, Minutes / Bar, Up)"),
      up_(params[2].AsBoolean()) {}

void TDarkCloudCoverOrPeircing::Judge(const std::vector<TCandle>& candles, double range) {
  const TCandle& last = candles.back();
  const TCandle& previous = candles[candles.size() - 2];
  // Written for the dark cloud; the piercing pattern is its mirror image, so its prices are negated.
  const double sign = up_ ? -1 : 1;
  const double a = sign * previous.Close;
  const double b = sign * previous.Open;
  const double e = sign * last.Open;
  const double f = sign * last.Close;
  const double h = sign * (up_ ? previous.Low : previous.High);
  const double middle = (a + b) / 2;
  if (!(a - b > 0.04 * range) || !(e > h) || !(e - a > 0.005 * range) || !(middle > f) || !(f > b)) return;
  double quality = (e - f + a - b) / range * 50;
  const double volume = RecentVolume(candles, 20);
  if (volume > 0) {
    quality =
        std::min((static_cast<double>(last.Volume) + previous.Volume) / volume * 100 + quality * 0.5, 100.0);
  }
  ReportAlert(up_ ? "Piercing Pattern" : "Dark Cloud Cover", quality);
}

// ---------------------------------------------------------------------------------------------------------
// Minute snapshots

TShortTermCandles* TShortTermCandles::CreateFromKey(const std::string& symbol) {
  return Create<TShortTermCandles>(symbol);
}

std::pair<TShortTermCandles*, TDataNodeLink*> TShortTermCandles::Find(const std::string& symbol,
                                                                      TCallback callback) {
  return FindOrCreate<TShortTermCandles>(symbol, std::move(callback));
}

TShortTermCandles::TShortTermCandles(const std::string& symbol) {
  tos_ = Adopt(TGenericTosDataNode::Find(symbol, TW_METHOD(this, NewPrint)));
}

void TShortTermCandles::NewPrint() {
  const TTosData* print = CurrentPrint();
  const TDateTime now = CurrentTime();
  if (!print || now < lastPrintTime_) return;
  lastPrintTime_ = now;
  Advance();
  // Every record counts, extended-hours prints and restated prices included: the snapshot is the state.
  pendingSnapshot_ = {print->Price, print->TotalVolume};
  hasPending_ = true;
  NotifyListeners();
}

void TShortTermCandles::Advance() {
  const std::int64_t nowMs = MsOf(CurrentTime());
  if (nextBoundaryMs_ - nowMs >= 1) return;
  const std::int64_t minute =
      nowMs >= 0 ? nowMs / kMsPerMinute : -((-nowMs + kMsPerMinute - 1) / kMsPerMinute);
  const std::int64_t boundaryMs = (minute + 1) * kMsPerMinute;
  std::int64_t passed = nextBoundaryMs_ > 0 ? (boundaryMs - nextBoundaryMs_) / kMsPerMinute : 0;
  if (hasPending_) {
    Push(pendingSnapshot_);
    hasPending_ = false;
    passed = std::max<std::int64_t>(0, passed - 1);
  }
  if (snapshotCount_ > 0) {
    const TMinuteSnapshot newest = GetSnapshot(1);
    for (std::int64_t i = std::min<std::int64_t>(passed, kSnapshots); i > 0; --i) Push(newest);
  }
  nextBoundaryMs_ = boundaryMs;
  nextBoundary_ = static_cast<double>(boundaryMs) / kMsPerDay;
}

void TShortTermCandles::Push(const TMinuteSnapshot& snapshot) {
  snapshots_[head_] = snapshot;
  snapshotCount_ = std::min(snapshotCount_ + 1, kSnapshots);
  head_ = (head_ + 1) % kSnapshots;
  ++pushCount_;
}

const TMinuteSnapshot& TShortTermCandles::GetSnapshot(int depth) const {
  Assert(depth >= 1 && depth <= snapshotCount_);
  return snapshots_[(head_ - depth + kSnapshots) % kSnapshots];
}

TShortTermValue::TShortTermValue(const TParamList& params) {
  CheckParamCount(params, 2, "Expected params: (Symbol, Count)");
  count_ = params[1].AsInteger();
  candles_ = Adopt(TShortTermCandles::Find(params[0].AsString(), TW_METHOD(this, NotifyListeners)));
}

bool TShortTermValue::Read(const TMinuteSnapshot*& then, const TTosData*& now) {
  candles_->Advance();
  now = candles_->CurrentPrint();
  // A count outside the ring never has a snapshot: it reads as not valid instead of failing the reader.
  if (!now || count_ < 1 || count_ > candles_->SnapshotCount()) return false;
  then = &candles_->GetSnapshot(count_);
  return true;
}

TTimedMovement::TTimedMovement(const TParamList& params) : TShortTermValue(params) {}

bool TTimedMovement::IsValid() {
  const TMinuteSnapshot* then = nullptr;
  const TTosData* now = nullptr;
  return Read(then, now);
}

double TTimedMovement::GetDouble() {
  const TMinuteSnapshot* then = nullptr;
  const TTosData* now = nullptr;
  if (!Read(then, now)) return 0;
  return now->Price - then->Price;
}

TVolumeChange::TVolumeChange(const TParamList& params) : TShortTermValue(params) {}

std::int32_t TVolumeChange::GetInteger() {
  const TMinuteSnapshot* then = nullptr;
  const TTosData* now = nullptr;
  if (!Read(then, now)) return -1;
  return now->TotalVolume - then->TotalVolume;
}

TShortTermCandlesDebug::TShortTermCandlesDebug(const TParamList& params) {
  CheckParamCount(params, 1, "Expected params: (Symbol)");
  candles_ = Adopt(TShortTermCandles::Find(params[0].AsString(), TW_METHOD(this, Update)));
  RunOnDataNodeThread(1, TW_METHOD(this, Update));
}

void TShortTermCandlesDebug::Update() {
  // Head alone can come round to the same slot after a full ring of pushes; the push count cannot.
  if (candles_->Head() == lastHead_ && candles_->PushCount() == lastPushCount_) return;
  lastHead_ = static_cast<std::uint8_t>(candles_->Head());
  lastPushCount_ = candles_->PushCount();
  const int count = candles_->SnapshotCount();
  auto price = [&](int depth) { return TAlert::FormatPrice(false, candles_->GetSnapshot(depth).Price); };
  std::string text;
  for (int depth = 1; depth <= std::min(count, 5); ++depth) {
    if (depth > 1) text += ", ";
    text += price(depth);
  }
  if (count > 9) text.append("; ").append(price(10));
  if (count > 14) text.append("; ").append(price(15));
  if (count < TShortTermCandles::kSnapshots) {
    text.append(" (").append(std::to_string(count)).append(")");
  } else {
    text.append("; ").append(price(30));
  }
  text.append(" ").append(FormatTimeOfDay(candles_->LastPrintTime()));
  text.append(" ").append(FormatTimeOfDay(candles_->NextBoundary()));
  text_ = std::move(text);
  NotifyListeners();
}

// ---------------------------------------------------------------------------------------------------------

void RegisterCandlestickAlerts() {
  for (int minutes : {5, 10, 15, 30}) {
    const std::string width = std::string("-").append(std::to_string(minutes));
    RegisterClass<TDoji>("Doji" + width, minutes);
    RegisterClass<TTraditionalChannelBreak>("TraditionalChannelBreakout" + width, minutes, true);
    RegisterClass<TTraditionalChannelBreak>("TraditionalChannelBreakdown" + width, minutes, false);
    RegisterClass<THammerOrHangingMan>("Hammer" + width, minutes, true);
    RegisterClass<THammerOrHangingMan>("HangingMan" + width, minutes, false);
    RegisterClass<TEngulfing>("BullishEngulfing" + width, minutes, true);
    RegisterClass<TEngulfing>("BearishEngulfing" + width, minutes, false);
    RegisterClass<TDarkCloudCoverOrPeircing>("PiercingPattern" + width, minutes, true);
    RegisterClass<TDarkCloudCoverOrPeircing>("DarkCloudCover" + width, minutes, false);
  }
  for (int count : {5, 10, 15, 30}) {
    RegisterClass<TTimedMovement>("TimedMovement" + std::to_string(count), count);
    RegisterClass<TVolumeChange>("VolumeChange" + std::to_string(count), count);
  }
  RegisterClass<TShortTermCandlesDebug>("ShortTermCandlesDebug");
}

}  // namespace tarnwell
